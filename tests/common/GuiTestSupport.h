#pragma once

// What the window tests share: a message pump that waits for a condition,
// real mouse and keyboard input through SendInput, and readers for what a
// user sees of a static control (its font and its text colour).
#include <windows.h>

#include <functional>

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

inline bool ShowsHandCursor() {
  return GetCursor() == LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
}

}  // namespace guitest
