#include "framework/Dialog.h"

#include <cstring>
#include <vector>

#include "framework/WinApp.h"

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {
      {0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr, nullptr, nullptr}};
  static const AFX_MSGMAP messageMap = {&CWnd::GetThisMessageMap, &entries[0]};
  return &messageMap;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

INT_PTR CDialog::DoModal() {
  HWND hOwner = nullptr;
  if (m_pParentWnd != nullptr) {
    hOwner = m_pParentWnd->m_hWnd;
  } else if (CWinApp* pApp = AfxGetApp();
             pApp != nullptr && pApp->m_pMainWnd != nullptr && pApp->m_pMainWnd != this) {
    hOwner = pApp->m_pMainWnd->m_hWnd;
  }
  // A window object may outlive its window; the dialog then has no owner
  // rather than failing to open at all.
  if (hOwner != nullptr) hOwner = ::IsWindow(hOwner) ? ::GetLastActivePopup(hOwner) : nullptr;

  // A template visible by its style would be shown by the dialog manager
  // right after OnInitDialog, even when that ended the dialog: this loop
  // shows the window itself, from a copy without WS_VISIBLE.
  HINSTANCE hInstance = AfxGetResourceHandle();
  HRSRC hResource = ::FindResourceA(hInstance, MAKEINTRESOURCEA(m_nIDTemplate), RT_DIALOG);
  HGLOBAL hTemplate = hResource != nullptr ? ::LoadResource(hInstance, hResource) : nullptr;
  const BYTE* pTemplate = hTemplate != nullptr ? (const BYTE*)::LockResource(hTemplate) : nullptr;
  const DWORD dwSize = hResource != nullptr ? ::SizeofResource(hInstance, hResource) : 0;
  if (pTemplate == nullptr || dwSize < sizeof(DLGTEMPLATE)) return -1;
  std::vector<DWORD> copy(dwSize / sizeof(DWORD) + 1);
  std::memcpy(copy.data(), pTemplate, dwSize);
  // DLGTEMPLATEEX starts with the version 1 and the signature 0xFFFF; its
  // style follows the help id and the extended style.
  const bool bExtended = dwSize >= 16 && LOWORD(copy[0]) == 1 && HIWORD(copy[0]) == 0xFFFF;
  copy[bExtended ? 3 : 0] &= ~(DWORD)WS_VISIBLE;

  m_bEndLoop = false;
  m_nModalResult = -1;
  HWND hWnd = ::CreateDialogIndirectParamA(hInstance, (LPCDLGTEMPLATEA)copy.data(), hOwner,
                                           &CDialog::DialogProc, (LPARAM)this);
  if (hWnd == nullptr) return -1;

  const bool bEnableOwner = hOwner != nullptr && ::IsWindowEnabled(hOwner);
  if (bEnableOwner) ::EnableWindow(hOwner, FALSE);
  if (!m_bEndLoop && !::IsWindowVisible(hWnd)) ::ShowWindow(hWnd, SW_SHOWNORMAL);

  // The loop takes and hands on messages in their wide form: a narrow loop
  // would pass typed characters through the keyboard's code page, which
  // turns every character outside it into "?". The system converts for
  // windows that take narrow messages.
  MSG msg;
  while (!m_bEndLoop) {
    const BOOL bGot = ::GetMessageW(&msg, nullptr, 0, 0);
    if (bGot == 0) {  // WM_QUIT: end here and leave it for an outer loop
      ::PostQuitMessage((int)msg.wParam);
      break;
    }
    if (bGot == -1) break;
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  // The owner gets the activation back before this window goes away.
  if (bEnableOwner) ::EnableWindow(hOwner, TRUE);
  if (hOwner != nullptr && ::GetActiveWindow() == hWnd) ::SetActiveWindow(hOwner);
  ::DestroyWindow(hWnd);
  m_hWnd = nullptr;
  return m_nModalResult;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  m_bEndLoop = true;
  // The window stays up until DoModal has enabled the owner: hidden while
  // the owner is still disabled, it would hand the activation to no one.
  if (m_hWnd != nullptr) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wake the loop if it waits
}

void CDialog::SetDialogIcons(UINT nIDIcon) {
  m_nIDIcon = nIDIcon;
  LoadDialogIcons(DpiForWindow(m_hWnd));
}

void CDialog::OnDpiChanged(UINT nDpi) {
  if (m_nIDIcon != 0) LoadDialogIcons(nDpi);
}

void CDialog::LoadDialogIcons(UINT nDpi) {
  HINSTANCE hInstance = AfxGetResourceHandle();
  HICON hLarge = LoadIconForDpi(hInstance, m_nIDIcon, true, nDpi);
  HICON hSmall = LoadIconForDpi(hInstance, m_nIDIcon, false, nDpi);
  // The window lets go of the old icons before they are destroyed.
  SetIcon(hLarge, TRUE);
  SetIcon(hSmall, FALSE);
  m_iconLarge.Reset(hLarge);
  m_iconSmall.Reset(hSmall);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (m_hWnd == nullptr || (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))) return FALSE;
  return ::IsDialogMessageW(m_hWnd, pMsg);  // the loop's messages are wide
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (CWnd::OnWndMsg(message, wParam, lParam, pResult)) return TRUE;
  if (message == WM_DPICHANGED) {
    OnDpiChanged(LOWORD(wParam));
    return FALSE;  // the dialog manager then scales the window and its controls
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    pDialog->m_hWnd = hWnd;
    return pDialog->OnInitDialog();
  }
  CDialog* pDialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
  if (pDialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
  LRESULT lResult = 0;
  if (!pDialog->OnWndMsg(message, wParam, lParam, &lResult)) return FALSE;
  switch (message) {
    case WM_DESTROY:
      return FALSE;  // the dialog manager still cleans up after the handler
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return (INT_PTR)lResult;  // these return their value directly
    default:
      ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
      return TRUE;
  }
}

void CDialog::PaintIcon(HICON hIcon) {
  PAINTSTRUCT ps;
  HDC hDC = ::BeginPaint(m_hWnd, &ps);
  SendMessage(WM_ICONERASEBKGND, (WPARAM)hDC, 0);
  RECT rc;
  GetClientRect(&rc);
  const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(hDC, x, y, hIcon);
  ::EndPaint(m_hWnd, &ps);
}
