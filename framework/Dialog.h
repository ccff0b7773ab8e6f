#pragma once

#include <atomic>

#include "framework/DataExchange.h"
#include "framework/Dpi.h"
#include "framework/Wnd.h"

// A modal dialog on a template of the program's resources. DoModal runs the
// dialog's own message loop, so that every message passes
// PreTranslateMessage before the dialog manager sees it.
class CDialog : public CWnd {
 public:
  // No parent: the application's main window becomes the owner, unless this
  // dialog is the main window itself.
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* pDX);
  // Sees every message of the loop first, in its wide form.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // Ends the modal loop; DoModal returns nResult.
  void EndDialog(int nResult);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  void GotoDlgCtrl(HWND hWndCtrl) { SendMessage(WM_NEXTDLGCTL, (WPARAM)hWndCtrl, TRUE); }
  // Shows icon resource nIDIcon as the window's large and small icon, each
  // in the image made for the window's DPI, again after every DPI change.
  void SetDialogIcons(UINT nIDIcon);
  // Paints the minimized window: the icon, centred on its background.
  void PaintIcon(HICON hIcon);
  // The window moved to a monitor of another DPI. Runs before the system
  // scales the dialog and its controls; the base reloads the icons.
  virtual void OnDpiChanged(UINT nDpi);

  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  const AFX_MSGMAP* GetMessageMap() const override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  void LoadDialogIcons(UINT nDpi);

  UINT m_nIDTemplate;
  UINT m_nIDIcon = 0;
  CIconHandle m_iconLarge;
  CIconHandle m_iconSmall;
  CWnd* m_pParentWnd;
  // EndDialog may come from another thread: the flag publishes the result.
  std::atomic<bool> m_bEndLoop{false};
  int m_nModalResult = -1;
};
