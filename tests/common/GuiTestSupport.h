#pragma once

// What the window tests share: a message pump that waits for a condition,
// real mouse and keyboard input through SendInput, the clipboard's text,
// and readers for what a user sees of a static control (its font and its
// text colour).
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Pumps this thread's messages until the condition holds or a generous
// number of rounds has passed; returns the condition.
inline bool PumpUntil(const std::function<bool()>& condition, int nRounds = 400) {
  for (int i = 0; i < nRounds; ++i) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (condition()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return condition();
}

// Polls, without pumping, until the condition holds or the time is up;
// for a thread that watches windows of another thread or process.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 60000) {
  const DWORD dwStart = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - dwStart > dwTimeoutMs) return false;
    Sleep(10);
  }
  return true;
}

inline void Pump(int nRounds = 5) {
  PumpUntil([] { return false; }, nRounds);
}

inline bool SendMouseMove(POINT pt) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  int cx = GetSystemMetrics(SM_CXSCREEN);
  int cy = GetSystemMetrics(SM_CYSCREEN);
  // The smallest normalised value that maps back onto the pixel.
  input.mi.dx = (pt.x * 65536 + cx - 1) / cx;
  input.mi.dy = (pt.y * 65536 + cy - 1) / cy;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof(input));
  return PumpUntil([pt] {
    POINT now;
    GetCursorPos(&now);
    return now.x == pt.x && now.y == pt.y;
  });
}

// Moves the real pointer to a screen position the way a hand does, in a
// few steps, and waits until it is there.
inline bool MoveMouseTo(POINT pt) {
  POINT from;
  GetCursorPos(&from);
  const int nSteps = 4;
  for (int i = 1; i <= nSteps; ++i) {
    POINT step = {from.x + (pt.x - from.x) * i / nSteps, from.y + (pt.y - from.y) * i / nSteps};
    if (!SendMouseMove(step)) return false;
  }
  return true;
}

// Puts the pointer on pt and, until the condition holds, nudges it
// there every two seconds as a hand does: a window that appears under a
// still pointer hears of it only when the pointer moves. For a thread
// that watches windows of another thread.
inline bool HoverUntil(POINT pt, const std::function<bool()>& condition,
                       DWORD dwTimeoutMs = 15000) {
  if (!MoveMouseTo(pt)) return false;
  const DWORD dwStart = GetTickCount();
  for (int i = 1; !condition(); ++i) {
    if (GetTickCount() - dwStart > dwTimeoutMs) return false;
    if (i % 200 == 0 && !(SendMouseMove(POINT{pt.x + 1, pt.y}) && SendMouseMove(pt))) return false;
    Sleep(10);
  }
  return true;
}

inline void MouseButton(bool bDown) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = bDown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(input));
}

inline void PressKey(WORD wVk) {
  INPUT inputs[2] = {};
  inputs[0].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = wVk;
  inputs[1] = inputs[0];
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// Types text as an input method does: one Unicode key press per UTF-16
// unit (both halves of a surrogate pair included), to the focused window.
inline void TypeUnicode(const wchar_t* pszText) {
  for (const wchar_t* p = pszText; *p != L'\0'; ++p) {
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wScan = static_cast<WORD>(*p);
    inputs[0].ki.dwFlags = KEYEVENTF_UNICODE;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
  }
}

inline POINT CentreOf(HWND hWnd) {
  RECT rc;
  GetWindowRect(hWnd, &rc);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

inline bool IsUnderlined(HWND hWndControl) {
  HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hWndControl, WM_GETFONT, 0, 0));
  LOGFONTA lf = {};
  return hFont && GetObjectA(hFont, sizeof(lf), &lf) && lf.lfUnderline;
}

// The text colour the parent chooses for a static, as its paint code would
// ask for it; *pBrush gets the background brush the parent returned.
inline COLORREF TextColourOf(HWND hWndControl, LRESULT* pBrush = nullptr) {
  HDC hDC = CreateCompatibleDC(nullptr);
  SetTextColor(hDC, RGB(9, 9, 9));
  LRESULT lBrush =
      SendMessageA(GetParent(hWndControl), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                   reinterpret_cast<LPARAM>(hWndControl));
  COLORREF cr = GetTextColor(hDC);
  DeleteDC(hDC);
  if (pBrush) *pBrush = lBrush;
  return cr;
}

// The text of a window of any thread or process, of any length (WM_GETTEXT,
// since GetWindowText does not ask a window of another process). A window
// that does not answer reads as a marker no control ever shows.
inline std::string WindowText(HWND hWnd) {
  DWORD_PTR dwLength = 0;
  if (!::SendMessageTimeoutA(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &dwLength))
    return "<no answer>";
  std::vector<char> text(dwLength + 1, '\0');
  DWORD_PTR dwCopied = 0;
  if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, text.size(), (LPARAM)text.data(), SMTO_NORMAL, 10000,
                             &dwCopied))
    return "<no answer>";
  return std::string(text.data(), dwCopied);
}

inline std::string ClassOf(HWND hWnd) {
  char sz[64] = {};
  ::GetClassNameA(hWnd, sz, sizeof(sz));
  return sz;
}

// Visible top-level windows with this class (any when null) and caption,
// owned by hOwner (any owner when null), of the process dwProcess (any
// when 0).
inline std::vector<HWND> TopLevelWindows(DWORD dwProcess, const char* pszClass,
                                         const char* pszCaption, HWND hOwner = nullptr) {
  struct Search {
    DWORD dwProcess;
    const char* pszClass;
    const char* pszCaption;
    HWND hOwner;
    std::vector<HWND> found;
  } search = {dwProcess, pszClass, pszCaption, hOwner, {}};
  struct Enum {
    static BOOL CALLBACK Proc(HWND hWnd, LPARAM lParam) {
      Search* p = reinterpret_cast<Search*>(lParam);
      DWORD dwProcess = 0;
      ::GetWindowThreadProcessId(hWnd, &dwProcess);
      if ((p->dwProcess == 0 || dwProcess == p->dwProcess) && ::IsWindowVisible(hWnd) &&
          (p->pszClass == nullptr || ClassOf(hWnd) == p->pszClass) &&
          (p->hOwner == nullptr || ::GetWindow(hWnd, GW_OWNER) == p->hOwner) &&
          (p->pszCaption == nullptr || WindowText(hWnd) == p->pszCaption))
        p->found.push_back(hWnd);
      return TRUE;
    }
  };
  ::EnumWindows(&Enum::Proc, (LPARAM)&search);
  return search.found;
}

// A message box (or other dialog box) with this caption owned by hOwner.
inline HWND FindOwnedBox(HWND hOwner, const char* pszCaption) {
  const std::vector<HWND> found = TopLevelWindows(0, "#32770", pszCaption, hOwner);
  return found.empty() ? nullptr : found.front();
}

inline HWND WaitForBox(HWND hOwner, const char* pszCaption, DWORD dwTimeoutMs = 60000) {
  HWND hBox = nullptr;
  WaitUntil([&] { return (hBox = FindOwnedBox(hOwner, pszCaption)) != nullptr; }, dwTimeoutMs);
  return hBox;
}

// The text of a message box.
inline std::string BoxText(HWND hBox) { return WindowText(::GetDlgItem(hBox, 0xFFFF)); }

inline void AnswerBox(HWND hBox, int nButton) {
  ::PostMessageA(hBox, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
}

// The clipboard's text; a marker no test expects when it cannot be opened.
inline std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr)) return "<no clipboard>";
  if (HANDLE h = ::GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(::GlobalLock(h));
    ::GlobalUnlock(h);
  }
  ::CloseClipboard();
  return text;
}

// Empties the clipboard, so that a window opened next finds nothing on it
// that an earlier test left.
inline void EmptyTheClipboard() {
  if (!::OpenClipboard(nullptr)) return;
  ::EmptyClipboard();
  ::CloseClipboard();
}

// Puts UTF-16 text on the clipboard; false if it could not.
inline bool PutOnClipboardWide(const std::wstring& text) {
  if (!::OpenClipboard(nullptr)) return false;
  ::EmptyClipboard();
  const size_t nBytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, nBytes);
  bool bDone = false;
  if (void* p = hMem ? ::GlobalLock(hMem) : nullptr) {
    std::memcpy(p, text.c_str(), nBytes);
    ::GlobalUnlock(hMem);
    bDone = ::SetClipboardData(CF_UNICODETEXT, hMem) != nullptr;
  }
  if (!bDone && hMem) ::GlobalFree(hMem);
  ::CloseClipboard();
  return bDone;
}

// Puts text on the clipboard as a user's copy would; false if it could not.
inline bool PutOnClipboard(const std::string& text) {
  if (!::OpenClipboard(nullptr)) return false;
  ::EmptyClipboard();
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  bool bDone = false;
  if (void* p = hMem ? ::GlobalLock(hMem) : nullptr) {
    std::memcpy(p, text.c_str(), text.size() + 1);
    ::GlobalUnlock(hMem);
    bDone = ::SetClipboardData(CF_TEXT, hMem) != nullptr;
  }
  if (!bDone && hMem) ::GlobalFree(hMem);
  ::CloseClipboard();
  return bDone;
}

// Hands a screen area to the screenshot scripts: writes its geometry
// (WxH+X+Y) to shot-NAME in the current folder and waits until the script
// answers with shot-NAME-done. True when the picture was taken.
inline bool HoldForShot(const RECT& rc, const char* pszName) {
  const std::string marker = std::string("shot-") + pszName;
  const std::string done = marker + "-done";
  ::DeleteFileA(done.c_str());
  const std::string geometry = std::to_string(rc.right - rc.left) + "x" +
                               std::to_string(rc.bottom - rc.top) + "+" + std::to_string(rc.left) +
                               "+" + std::to_string(rc.top) + "\n";
  HANDLE h = ::CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD dwWritten = 0;
  ::WriteFile(h, geometry.data(), (DWORD)geometry.size(), &dwWritten, nullptr);
  ::CloseHandle(h);
  const bool bTaken = WaitUntil(
      [&] { return ::GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000);
  ::DeleteFileA(marker.c_str());
  ::DeleteFileA(done.c_str());
  return bTaken;
}

// A real key press or release.
inline void KeyEvent(WORD wVk, bool bUp) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = wVk;
  input.ki.wScan = (WORD)::MapVirtualKeyA(wVk, 0);
  input.ki.dwFlags = bUp ? KEYEVENTF_KEYUP : 0;
  ::SendInput(1, &input, sizeof(input));
}

inline bool ShowsHandCursor() {
  return GetCursor() == LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
}

}  // namespace guitest
