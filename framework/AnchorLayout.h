#pragma once

#include <windows.h>

#include <cstddef>

// How a control of a dialog that widens follows the dialog's right edge.
// Controls without a rule stay where they are.
enum class Anchor {
  kGrow,  // the left edge stays, the right edge moves with the dialog's
  kMove,  // the size stays, the whole control moves with the right edge
};

struct AnchorRule {
  int nID;
  Anchor anchor;
};

// Lays out a dialog whose width the user may change and whose height is
// fixed: the size it has when captured is its least, and every extra pixel
// of width goes to the anchored controls. Each change moves the controls
// by the change of width, so a control that the dialog resizes itself in
// between (to another control's width, say) keeps following.
class AnchorLayout {
 public:
  // Takes the dialog's present size as its least and fixed height, at its
  // present DPI. Call from WM_INITDIALOG, after the dialog has its template
  // layout; the rules must outlive the layout.
  void Capture(HWND hDlg, const AnchorRule* pRules, size_t nRules);

  // The least client size at the present DPI: the template's.
  SIZE MinClientSize() const;

  // Routes the layout's messages (the three below); true when the message
  // needs nothing more.
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // WM_GETMINMAXINFO: no narrower than the template, never taller or
  // lower, maximized included.
  void OnGetMinMaxInfo(MINMAXINFO* pInfo);
  // WM_SIZE.
  void OnSize(UINT nType, int cx);
  // WM_DPICHANGED, before the dialog manager sees it: the window takes the
  // suggested rectangle and every control its place scaled to the new DPI,
  // widened as it was.
  void OnDpiChanged(UINT nDpi, const RECT* pSuggested);

 private:
  void Shift(int dx);
  void RememberFrame();

  HWND m_hDlg = nullptr;
  const AnchorRule* m_pRules = nullptr;
  size_t m_nRules = 0;
  SIZE m_sizeTemplate = {0, 0};  // client size at m_nTemplateDpi
  UINT m_nTemplateDpi = 96;
  UINT m_nDpi = 96;
  int m_cxLaid = 0;           // the client width the controls are placed for
  SIZE m_sizeFrame = {0, 0};  // window size less client size
  bool m_bScaling = false;
};
