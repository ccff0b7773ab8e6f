#pragma once

// What the layout tests of the main dialog share at every scale: where its
// controls sit, how they follow a wider window, and whether a field shows
// its whole text.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "tests/dialog/DialogDriver.h"

namespace layouttest {

// A child's rectangle in its dialog's client coordinates.
inline RECT Placed(HWND hDlg, HWND hCtl) {
  RECT rc;
  ::GetWindowRect(hCtl, &rc);
  ::MapWindowPoints(nullptr, hDlg, (POINT*)&rc, 2);
  return rc;
}

inline SIZE ClientSize(HWND hDlg) {
  RECT rc;
  ::GetClientRect(hDlg, &rc);
  return SIZE{rc.right, rc.bottom};
}

// Asks for a client size; the window keeps its place.
inline void SetClientSize(HWND hDlg, int cx, int cy) {
  RECT rcWindow, rcClient;
  ::GetWindowRect(hDlg, &rcWindow);
  ::GetClientRect(hDlg, &rcClient);
  ::SetWindowPos(hDlg, nullptr, 0, 0, rcWindow.right - rcWindow.left - rcClient.right + cx,
                 rcWindow.bottom - rcWindow.top - rcClient.bottom + cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

inline void SetClientWidth(HWND hDlg, int cx) { SetClientSize(hDlg, cx, ClientSize(hDlg).cy); }

struct Place {
  HWND hWnd;
  int nID;
  RECT rc;
};

// Every control of the dialog and where it is.
inline std::vector<Place> Places(HWND hDlg) {
  std::vector<Place> places;
  for (HWND h = ::GetWindow(hDlg, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT))
    places.push_back(Place{h, ::GetDlgCtrlID(h), Placed(hDlg, h)});
  return places;
}

// How a control follows a wider window: the fields and the group box grow,
// the right column and the bottom buttons move, the rest stays.
enum class Follows { kStays, kGrows, kMoves };

inline Follows RuleFor(int nID) {
  switch (nID) {
    case IDC_ALGORITHM:
    case IDC_DATA:
    case IDC_KEY:
    case IDC_RESULT:
    case IDC_PROGRESS:
    case IDC_EXPECTED:
    case IDC_GROUP:
      return Follows::kGrows;
    case IDC_BROWSE:
    case IDC_HMAC:
    case IDC_COPY:
    case IDC_START:
    case IDC_VERDICT:
    case IDC_ABOUT:
    case IDOK:
      return Follows::kMoves;
    default:
      return Follows::kStays;
  }
}

// Each control where the rule puts it when the window is dx wider than
// when the places were taken, within nSlack pixels.
inline void ExpectFollowing(HWND hDlg, const std::vector<Place>& places, int dx, int nSlack = 0) {
  for (const Place& place : places) {
    SCOPED_TRACE("control " + std::to_string(place.nID) + " \"" + WindowText(place.hWnd) + "\", " +
                 std::to_string(dx) + " pixels wider");
    RECT want = place.rc;
    if (RuleFor(place.nID) == Follows::kGrows) want.right += dx;
    if (RuleFor(place.nID) == Follows::kMoves) ::OffsetRect(&want, dx, 0);
    const RECT got = Placed(hDlg, place.hWnd);
    EXPECT_NEAR(got.left, want.left, nSlack);
    EXPECT_NEAR(got.top, want.top, nSlack);
    EXPECT_NEAR(got.right, want.right, nSlack);
    EXPECT_NEAR(got.bottom, want.bottom, nSlack);
  }
}

// How many pixels of a window's place on the screen are dark, text or
// edges, after every pending paint is done: none where a control has been
// painted over.
inline int DarkPixelsShown(HWND hWnd) {
  ::RedrawWindow(::GetAncestor(hWnd, GA_ROOT), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT rc;
  ::GetWindowRect(hWnd, &rc);
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  HDC hScreen = ::GetDC(nullptr);
  HDC hMem = ::CreateCompatibleDC(hScreen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = cx;
  bi.bmiHeader.biHeight = -cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* pBits = nullptr;
  HBITMAP hBitmap = ::CreateDIBSection(hMem, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
  HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
  ::BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY);
  int nDark = 0;
  for (int i = 0; pBits != nullptr && i < cx * cy; ++i) {
    const DWORD dw = static_cast<const DWORD*>(pBits)[i];
    if ((dw & 0xFF) + ((dw >> 8) & 0xFF) + ((dw >> 16) & 0xFF) < 240) ++nDark;
  }
  ::SelectObject(hMem, hOld);
  ::DeleteObject(hBitmap);
  ::DeleteDC(hMem);
  ::ReleaseDC(nullptr, hScreen);
  return nDark;
}

inline int DroppedListHeight(HWND hCombo) {
  RECT rc = {};
  ::SendMessageA(hCombo, CB_GETDROPPEDCONTROLRECT, 0, (LPARAM)&rc);
  return rc.bottom - rc.top;
}

// The width of a text in an edit's font, and the width the edit has for
// text: its formatting rectangle, within the client area less margins.
inline int TextWidth(HWND hEdit, const std::string& text) {
  HDC hDC = ::GetDC(hEdit);
  HGDIOBJ hOld = ::SelectObject(hDC, (HFONT)::SendMessageA(hEdit, WM_GETFONT, 0, 0));
  SIZE size = {0, 0};
  ::GetTextExtentPoint32A(hDC, text.c_str(), (int)text.size(), &size);
  ::SelectObject(hDC, hOld);
  ::ReleaseDC(hEdit, hDC);
  return size.cx;
}

inline int TextRoom(HWND hEdit) {
  RECT rcFormat = {}, rcClient;
  ::SendMessageA(hEdit, EM_GETRECT, 0, (LPARAM)&rcFormat);
  ::GetClientRect(hEdit, &rcClient);
  const DWORD dwMargins = (DWORD)::SendMessageA(hEdit, EM_GETMARGINS, 0, 0);
  const int nClientRoom = rcClient.right - LOWORD(dwMargins) - HIWORD(dwMargins);
  const int nFormat = rcFormat.right - rcFormat.left;
  return nFormat < nClientRoom ? nFormat : nClientRoom;
}

// The field shows its whole text, none of it scrolled away.
inline ::testing::AssertionResult ShowsWhole(HWND hEdit) {
  const std::string text = WindowText(hEdit);
  const int nWidth = TextWidth(hEdit, text), nRoom = TextRoom(hEdit);
  if (!text.empty() && nWidth <= nRoom) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" (" << text.size() << " digits) takes "
                                       << nWidth << " pixels of " << nRoom;
}

// The widest 64 digits there are: each hex digit, in either case, 64 times.
inline void ExpectEvery64DigitTextWhole(DialogDriver& d) {
  for (char c : std::string("0123456789abcdefABCDEF")) {
    d.SetText(IDC_RESULT, std::string(64, c));
    EXPECT_TRUE(ShowsWhole(d.Item(IDC_RESULT)));
  }
  d.SetText(IDC_RESULT, "");
}

// The window at its template size and at two greater widths, maximized and
// back: the template's arrangement at the least size, the rule at each
// width, the data source following the String/File switch at each.
inline void ExpectWideningKeepsTheArrangement(DialogDriver& d) {
  HWND hDlg = d.m_hWnd;
  std::printf("main dialog widening at %u DPI\n", DpiForWindow(hDlg));
  const SIZE sizeTemplate = ClientSize(hDlg);
  const std::vector<Place> places = Places(hDlg);
  const int nDropped = DroppedListHeight(d.Item(IDC_ALGORITHM));
  const RECT rcList = Placed(hDlg, d.Item(IDC_ALGORITHM));
  ASSERT_GT(nDropped, rcList.bottom - rcList.top);  // the opened list, not the closed field

  // Narrower, lower or higher than the template is not to be had.
  SetClientSize(hDlg, sizeTemplate.cx - 40, sizeTemplate.cy + 60);
  EXPECT_EQ(ClientSize(hDlg).cx, sizeTemplate.cx);
  EXPECT_EQ(ClientSize(hDlg).cy, sizeTemplate.cy);
  // Greater widths that the screen has room for.
  RECT rcWindow;
  ::GetWindowRect(hDlg, &rcWindow);
  const int cxRoom = ::GetSystemMetrics(SM_CXMAXTRACK) - (rcWindow.right - rcWindow.left);
  const int cxWider = cxRoom < sizeTemplate.cx ? cxRoom : sizeTemplate.cx;
  if (cxWider < 40) std::printf("no room on this screen for a wider window\n");
  if (cxWider >= 4) {
    SetClientSize(hDlg, sizeTemplate.cx + 4, sizeTemplate.cy - 20);
    EXPECT_EQ(ClientSize(hDlg).cy, sizeTemplate.cy);
    ExpectFollowing(hDlg, places, 4);
  }
  for (int dx : {cxWider / 4, cxWider}) {
    if (dx < 10) continue;
    SetClientWidth(hDlg, sizeTemplate.cx + dx);
    ASSERT_EQ(ClientSize(hDlg).cx, sizeTemplate.cx + dx);
    ExpectFollowing(hDlg, places, dx);
    EXPECT_EQ(DroppedListHeight(d.Item(IDC_ALGORITHM)), nDropped);
    // The data source takes the result's width for File and the list's
    // for String, at whatever width the window has.
    d.Click(IDC_FILE);
    EXPECT_EQ(Placed(hDlg, d.Item(IDC_DATA)).right, Placed(hDlg, d.Item(IDC_RESULT)).right);
    EXPECT_LT(Placed(hDlg, d.Item(IDC_DATA)).right, Placed(hDlg, d.Item(IDC_BROWSE)).left);
    d.Click(IDC_STRING);
    ExpectFollowing(hDlg, places, dx);
  }
  // Switched while wide, then back to the least width: the File layout of
  // the template.
  d.Click(IDC_FILE);
  SetClientWidth(hDlg, sizeTemplate.cx);
  const RECT rcResult = Placed(hDlg, d.Item(IDC_RESULT));
  const RECT rcData = Placed(hDlg, d.Item(IDC_DATA));
  EXPECT_EQ(rcData.right - rcData.left, rcResult.right - rcResult.left);
  d.Click(IDC_STRING);
  ExpectFollowing(hDlg, places, 0);

  // Maximized: as wide as the screen's work area, as high as the template.
  ::ShowWindow(hDlg, SW_MAXIMIZE);
  EXPECT_TRUE(::IsZoomed(hDlg));
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  ::GetMonitorInfoA(::MonitorFromWindow(hDlg, MONITOR_DEFAULTTONEAREST), &info);
  const int cxWork = info.rcWork.right - info.rcWork.left;
  EXPECT_EQ(ClientSize(hDlg).cx, cxWork > sizeTemplate.cx ? cxWork : sizeTemplate.cx);
  EXPECT_EQ(ClientSize(hDlg).cy, sizeTemplate.cy);
  ExpectFollowing(hDlg, places, ClientSize(hDlg).cx - sizeTemplate.cx);
  // The moved buttons are drawn at their new places, not painted over. The
  // X server shows a maximized window a moment after Wine has placed it.
  for (int nID : {IDC_COPY, IDC_ABOUT, IDOK})
    EXPECT_TRUE(guitest::PumpUntil([&] { return DarkPixelsShown(d.Item(nID)) > 0; }, 100)) << nID;
  ::ShowWindow(hDlg, SW_RESTORE);
  EXPECT_FALSE(::IsZoomed(hDlg));
  ExpectFollowing(hDlg, places, 0);
}

}  // namespace layouttest
