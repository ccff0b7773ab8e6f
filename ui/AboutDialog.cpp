#include "ui/AboutDialog.h"

#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/AboutLinks.h"

AboutDialog::AboutDialog() : CDialog(IDD_ABOUTBOX, nullptr) {}

// The links detach themselves (members are destroyed mail link first); the
// window is gone by then, so only their fonts remain to be freed.
AboutDialog::~AboutDialog() = default;

BEGIN_MESSAGE_MAP(AboutDialog, CDialog)
END_MESSAGE_MAP()

void AboutDialog::DoDataExchange(CDataExchange*) {}

BOOL AboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  // A link that cannot attach stays plain text; the box shows in any case.
  m_linkWeb.Attach(GetDlgItem(IDC_WEB_LINK));
  m_linkMail.Attach(GetDlgItem(IDC_MAIL_LINK));
  m_linkWeb.SetURL(VEXORIN_WEB_ADDRESS);
  m_linkMail.SetURL("mailto:" VEXORIN_MAIL_ADDRESS);
  return TRUE;
}

void AboutDialog::OnDpiChanged(UINT nDpi) {
  CDialog::OnDpiChanged(nDpi);
  // The icon control keeps the image it was made with: give it the one
  // made for the new DPI.
  for (HWND hChild = ::GetWindow(m_hWnd, GW_CHILD); hChild != nullptr;
       hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
    if ((::GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    HICON hIcon = LoadIconForDpi(AfxGetResourceHandle(), IDR_MAINFRAME, true, nDpi);
    ::SendMessageA(hChild, STM_SETICON, (WPARAM)hIcon, 0);
    m_icon.Reset(hIcon);
  }
}
