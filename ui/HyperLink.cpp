#include "ui/HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>

#include "framework/Dpi.h"

const char HyperLink::PROP_OBJECT_PTR[] = "HyperLink::PROP_OBJECT_PTR";
std::vector<HyperLink::ParentEntry> HyperLink::s_parents;

namespace {

bool IsUnderPointer(HWND hWnd) {
  POINT pt;
  return GetCursorPos(&pt) && WindowFromPoint(pt) == hWnd;
}

}  // namespace

static_assert(sizeof(SHELLEXECUTEINFOA) == (sizeof(void*) == 4 ? 60 : 112),
              "the shell expects the platform's layout");
static_assert(sizeof(LOGFONTA) == 60, "the font description is read as 60 bytes");

HyperLink::HyperLink() {
  ZeroMemory(&m_logFont, sizeof(m_logFont));
  m_hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
}

HyperLink::~HyperLink() { Detach(); }

void HyperLink::SetURL(const char* pszURL) { m_strURL = pszURL ? pszURL : ""; }

std::vector<HyperLink::ParentEntry>::iterator HyperLink::FindParent(HWND hWndParent) {
  for (auto it = s_parents.begin(); it != s_parents.end(); ++it) {
    if (it->hWndParent == hWndParent) return it;
  }
  return s_parents.end();
}

BOOL HyperLink::Attach(HWND hWndControl) {
  if (!hWndControl || !IsWindow(hWndControl)) return FALSE;
  if (m_hWnd && !Detach()) return FALSE;
  // Only a child has a parent whose colour messages we can serve, and a
  // control can belong to one link only.
  if (!(GetWindowLongA(hWndControl, GWL_STYLE) & WS_CHILD)) return FALSE;
  HWND hWndParent = GetParent(hWndControl);
  if (!hWndParent || GetPropA(hWndControl, PROP_OBJECT_PTR)) return FALSE;

  // Bind both before installing anything: a null entry must never become a
  // window procedure.
  void* pControlEntry = m_controlThunk.BindMember(this, &HyperLink::ControlProc);
  void* pParentEntry = m_parentThunk.BindMember(this, &HyperLink::ParentProc);
  if (!pControlEntry || !pParentEntry) return FALSE;

  m_pfnOldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hWndControl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pControlEntry)));
  if (!m_pfnOldProc) return FALSE;
  m_hWnd = hWndControl;
  if (!SetPropA(m_hWnd, PROP_OBJECT_PTR, this)) {
    SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldProc));
    m_hWnd = nullptr;
    m_pfnOldProc = nullptr;
    return FALSE;
  }

  auto it = FindParent(hWndParent);
  if (it != s_parents.end()) {
    ++it->nLinks;
  } else {
    WNDPROC pfnOld = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pParentEntry)));
    if (!pfnOld) {
      RemovePropA(m_hWnd, PROP_OBJECT_PTR);
      SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldProc));
      m_hWnd = nullptr;
      m_pfnOldProc = nullptr;
      return FALSE;
    }
    m_pfnOldParentProc = pfnOld;
    s_parents.push_back({hWndParent, 1, this});
  }

  // Statics are transparent to the mouse unless they notify.
  SetWindowLongA(m_hWnd, GWL_STYLE, GetWindowLongA(m_hWnd, GWL_STYLE) | SS_NOTIFY);

  m_hOriginalFont = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  // A control without a font of its own draws in the system font.
  UseFont(m_hOriginalFont ? static_cast<HGDIOBJ>(m_hOriginalFont) : GetStockObject(SYSTEM_FONT));
  return TRUE;
}

void HyperLink::UseFont(HGDIOBJ hSource) {
  ZeroMemory(&m_logFont, sizeof(m_logFont));
  GetObjectA(hSource, sizeof(m_logFont), &m_logFont);
  LOGFONTA logFont = m_logFont;
  HFONT hOldFont = m_hFont;
  HFONT hOldUnderlineFont = m_hUnderlineFont;
  logFont.lfUnderline = FALSE;
  m_hFont = CreateFontIndirectA(&logFont);
  logFont.lfUnderline = TRUE;
  m_hUnderlineFont = CreateFontIndirectA(&logFont);

  if (m_nUnderline == 0 || (m_nUnderline == 1 && m_bHover))
    SetControlFont(m_hUnderlineFont);
  else
    SetControlFont(m_hFont);
  // Deleted only once the control no longer draws with them.
  if (hOldFont) DeleteObject(hOldFont);
  if (hOldUnderlineFont) DeleteObject(hOldUnderlineFont);
  SizeToText();
}

void HyperLink::FollowParentFont() {
  // After a DPI change the dialog manager gives its controls the dialog's
  // font for the new DPI, but not ours: take the dialog's font again.
  HFONT hParentFont = reinterpret_cast<HFONT>(SendMessageA(GetParent(m_hWnd), WM_GETFONT, 0, 0));
  if (!hParentFont) return;
  m_hOriginalFont = hParentFont;
  UseFont(hParentFont);
}

void HyperLink::SizeToText() {
  int nLength = GetWindowTextLengthA(m_hWnd);
  std::string strText(nLength + 1, '\0');
  nLength = GetWindowTextA(m_hWnd, &strText[0], nLength + 1);
  RECT rc = {0, 0, 0, 0};
  HDC hDC = GetDC(m_hWnd);
  if (hDC) {
    HGDIOBJ hOld = SelectObject(hDC, m_hFont);
    DrawTextA(hDC, strText.c_str(), nLength, &rc, DT_CALCRECT);
    SelectObject(hDC, hOld);
    ReleaseDC(m_hWnd, hDC);
  }
  SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL HyperLink::Detach() {
  if (!m_hWnd) return TRUE;
  BOOL bResult = TRUE;
  HWND hWndParent = nullptr;
  // The property also tells our control from a window that was given its
  // handle after it was destroyed.
  if (IsWindow(m_hWnd) && GetPropA(m_hWnd, PROP_OBJECT_PTR) == this) {
    hWndParent = GetParent(m_hWnd);
    RemovePropA(m_hWnd, PROP_OBJECT_PTR);
    if (!SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldProc)))
      bResult = FALSE;
    // Also when it had none: the control must not keep a font we delete.
    SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_hOriginalFont), FALSE);
    InvalidateRect(m_hWnd, nullptr, TRUE);
  }
  if (m_hFont) DeleteObject(m_hFont);
  if (m_hUnderlineFont) DeleteObject(m_hUnderlineFont);
  m_hFont = nullptr;
  m_hUnderlineFont = nullptr;
  if (hWndParent) ReleaseParent(hWndParent);

  // Unattached again, so that a second Detach or a new Attach cannot
  // release the parent twice.
  m_hWnd = nullptr;
  m_pfnOldProc = nullptr;
  m_hOriginalFont = nullptr;
  m_bHover = FALSE;
  m_bPressed = FALSE;
  return bResult;
}

void HyperLink::ReleaseParent(HWND hWndParent) {
  auto it = FindParent(hWndParent);
  if (it == s_parents.end()) return;
  HyperLink* pOwner = it->pOwner;
  if (--it->nLinks > 0 && pOwner != this) return;

  HyperLink* pHeir = nullptr;
  if (it->nLinks > 0) {
    // The parent runs our thunk, which dies with us: hand the subclassing
    // to a link that stays.
    HeirSearch search = {hWndParent, this, nullptr};
    EnumChildWindows(hWndParent, FindHeir, reinterpret_cast<LPARAM>(&search));
    pHeir = search.pHeir;
  }

  WNDPROC pfnOld = pOwner->m_pfnOldParentProc;
  pOwner->m_pfnOldParentProc = nullptr;
  if (pHeir) {
    pHeir->m_pfnOldParentProc = pfnOld;
    it->pOwner = pHeir;
    void* pEntry = pHeir->m_parentThunk.BindMember(pHeir, &HyperLink::ParentProc);
    SetWindowLongPtrA(hWndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pEntry));
    return;
  }
  if (IsWindow(hWndParent))
    SetWindowLongPtrA(hWndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnOld));
  s_parents.erase(it);
}

BOOL CALLBACK HyperLink::FindHeir(HWND hWndChild, LPARAM lParam) {
  HeirSearch* pSearch = reinterpret_cast<HeirSearch*>(lParam);
  HyperLink* pLink = static_cast<HyperLink*>(GetPropA(hWndChild, PROP_OBJECT_PTR));
  if (pLink && pLink != pSearch->pLeaving && pLink->m_hWnd == hWndChild &&
      GetParent(hWndChild) == pSearch->hWndParent) {
    pSearch->pHeir = pLink;
    return FALSE;
  }
  return TRUE;
}

void HyperLink::SetControlFont(HFONT hFont) {
  SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

void HyperLink::ShowHandCursor() {
  // Without a hand cursor (older systems) keep the current one rather than
  // hiding the pointer.
  if (m_hCursor) SetCursor(m_hCursor);
}

LRESULT HyperLink::ControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Navigate may detach us; the message still goes where it went before.
  WNDPROC pfnOldProc = m_pfnOldProc;
  switch (message) {
    case WM_MOUSEMOVE: {
      if (!m_bHover) SetControlFont(m_nUnderline == 2 ? m_hFont : m_hUnderlineFont);
      m_bHover = TRUE;
      ShowHandCursor();
      TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE | TME_HOVER, hWnd, 1};
      _TrackMouseEvent(&tme);
      // A quick flick can deliver the move once the pointer has gone, and
      // not every system then sends a leave: end the hover ourselves.
      if (!IsUnderPointer(hWnd)) PostMessageA(hWnd, WM_MOUSELEAVE, 0, 0);
      break;
    }
    case WM_LBUTTONDOWN: {
      m_bPressed = TRUE;
      ShowHandCursor();
      InvalidateRect(hWnd, nullptr, TRUE);
      HWND hWndFocus = GetFocus();
      if (hWndFocus && hWndFocus != hWnd)
        SendMessageA(hWndFocus, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
      SetFocus(hWnd);
      break;
    }
    case WM_LBUTTONUP:
      if (m_bPressed) {
        m_bVisited = TRUE;
        Navigate();
      }
      m_bPressed = FALSE;
      ShowHandCursor();
      InvalidateRect(hWnd, nullptr, TRUE);
      break;
    case WM_MOUSELEAVE:
      SetControlFont(m_nUnderline == 0 ? m_hUnderlineFont : m_hFont);
      m_bHover = FALSE;
      m_bPressed = FALSE;
      InvalidateRect(hWnd, nullptr, TRUE);
      break;
    case WM_DPICHANGED_AFTERPARENT:
      FollowParentFont();
      break;
    case WM_NCDESTROY:
      // Windows do not free their properties on destruction everywhere.
      RemovePropA(hWnd, PROP_OBJECT_PTR);
      break;
  }
  return CallWindowProcA(pfnOldProc, hWnd, message, wParam, lParam);
}

LRESULT HyperLink::ParentProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Only the link that subclassed the parent runs here; it holds the
  // previous procedure for all links under this parent.
  LRESULT lResult = CallWindowProcA(m_pfnOldParentProc, hWnd, message, wParam, lParam);
  if (message == WM_CTLCOLORSTATIC) {
    HWND hWndControl = reinterpret_cast<HWND>(lParam);
    HyperLink* pLink = static_cast<HyperLink*>(GetPropA(hWndControl, PROP_OBJECT_PTR));
    if (pLink && pLink->m_hWnd == hWndControl) {
      COLORREF cr = pLink->m_crNormal;
      if (pLink->m_bVisited)
        cr = pLink->m_crVisited;
      else if (pLink->m_bPressed)
        cr = pLink->m_crPressed;
      else if (pLink->m_bHover)
        cr = pLink->m_crHover;
      SetTextColor(reinterpret_cast<HDC>(wParam), cr);
    }
  } else if (message == WM_NCDESTROY) {
    // The parent is gone: forget it, so that a later window with the same
    // handle gets subclassed afresh.
    auto it = FindParent(hWnd);
    if (it != s_parents.end() && it->pOwner == this) {
      s_parents.erase(it);
      m_pfnOldParentProc = nullptr;
    }
  }
  return lResult;
}

BOOL HyperLink::Navigate() {
  if (m_strURL.empty()) return FALSE;
  SHELLEXECUTEINFOA sei;
  ZeroMemory(&sei, sizeof(sei));
  sei.cbSize = sizeof(sei);
  sei.lpVerb = "open";
  sei.lpFile = m_strURL.c_str();
  sei.nShow = SW_SHOWNORMAL;
  return ShellExecuteExA(&sei);
}
