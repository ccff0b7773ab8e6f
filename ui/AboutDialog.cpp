#include "ui/AboutDialog.h"

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
