// Both dialogs at the display scales people use. Wine's LogPixels setting
// stands in for the display's scale; it is read when a process starts, so
// the test starts itself again under each setting and the child looks at
// the dialogs in-process: every control inside its dialog and wide and
// tall enough for its text, icons in the images made for the DPI, the
// About box's links in the dialog's font, hovered and not.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Dpi.h"
#include "tests/dialog/DialogDriver.h"
#include "tests/dialog/DialogLayout.h"

CWinApp g_app("Vexorin");

namespace {

using guitest::CentreOf;
using guitest::HoverUntil;
using guitest::IsUnderlined;

const char kDesktopKey[] = "Control Panel\\Desktop";

// Sets LogPixels for the processes started from now on, and puts the old
// setting back when it goes.
class LogPixelsSetting {
 public:
  explicit LogPixelsSetting(DWORD dwDpi) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &m_hKey, nullptr);
    DWORD dwType = 0;
    DWORD dwSize = sizeof(m_dwOld);
    m_bHadOld = ::RegQueryValueExA(m_hKey, "LogPixels", nullptr, &dwType, (BYTE*)&m_dwOld,
                                   &dwSize) == ERROR_SUCCESS &&
                dwType == REG_DWORD;
    Write(dwDpi);
  }
  ~LogPixelsSetting() {
    if (m_bHadOld)
      Write(m_dwOld);
    else
      ::RegDeleteValueA(m_hKey, "LogPixels");
    ::RegCloseKey(m_hKey);
  }
  LogPixelsSetting(const LogPixelsSetting&) = delete;
  LogPixelsSetting& operator=(const LogPixelsSetting&) = delete;

 private:
  void Write(DWORD dwDpi) {
    ::RegSetValueExA(m_hKey, "LogPixels", 0, REG_DWORD, (const BYTE*)&dwDpi, sizeof(dwDpi));
  }
  HKEY m_hKey = nullptr;
  DWORD m_dwOld = 0;
  bool m_bHadOld = false;
};

// Runs this test program again with a filter; its exit code.
DWORD RunChild(const std::string& filter) {
  char szSelf[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, szSelf, sizeof(szSelf));
  std::string command =
      std::string("\"") + szSelf +
      "\" --gtest_also_run_disabled_tests --gtest_brief=1 --gtest_filter=" + filter;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
    return ::GetLastError();
  ::WaitForSingleObject(pi.hProcess, 240000);
  DWORD dwCode = STILL_ACTIVE;
  ::GetExitCodeProcess(pi.hProcess, &dwCode);
  if (dwCode == STILL_ACTIVE) ::TerminateProcess(pi.hProcess, 99);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return dwCode;
}

TEST(Scaling, BothDialogsAtEveryScale) {
  for (DWORD dwDpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(std::to_string(dwDpi) + " DPI");
    LogPixelsSetting setting(dwDpi);
    EXPECT_EQ(RunChild("ScalingAtThisDpi.*"), 0u);
  }
}

// What a child checks.

std::string ClassOf(HWND hWnd) {
  char sz[64] = {};
  ::GetClassNameA(hWnd, sz, sizeof(sz));
  return sz;
}

SIZE TextExtent(HWND hWnd, const std::string& text) {
  HDC hDC = ::GetDC(hWnd);
  HGDIOBJ hOld = ::SelectObject(hDC, (HFONT)::SendMessageA(hWnd, WM_GETFONT, 0, 0));
  RECT rc = {0, 0, 0, 0};
  ::DrawTextA(hDC, text.c_str(), (int)text.size(), &rc, DT_CALCRECT | DT_SINGLELINE);
  ::SelectObject(hDC, hOld);
  ::ReleaseDC(hWnd, hDC);
  return SIZE{rc.right, rc.bottom};
}

int IconWidth(HICON hIcon) {
  ICONINFO info = {};
  if (hIcon == nullptr || !::GetIconInfo(hIcon, &info)) return 0;
  BITMAP bm = {};
  ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  return bm.bmWidth;
}

int FontHeight(HFONT hFont) {
  LOGFONTA lf = {};
  return ::GetObjectA(hFont, sizeof(lf), &lf) ? lf.lfHeight : 0;
}

// Every visible control lies inside the dialog's client area, and every
// label, button and check box is wide and tall enough for its text.
void ExpectNothingClipped(HWND hDlg, UINT nDpi) {
  RECT rcClient;
  ::GetClientRect(hDlg, &rcClient);
  ::MapWindowPoints(hDlg, nullptr, (POINT*)&rcClient, 2);
  const int nCheckBox = ::MulDiv(16, (int)nDpi, 96);  // the box and the gap after it
  const int nButtonEdges = ::MulDiv(6, (int)nDpi, 96);
  for (HWND h = ::GetWindow(hDlg, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT)) {
    if (!::IsWindowVisible(h)) continue;
    const std::string text = WindowText(h);
    SCOPED_TRACE(ClassOf(h) + " \"" + text + "\"");
    RECT rc;
    ::GetWindowRect(h, &rc);
    EXPECT_TRUE(rc.left >= rcClient.left && rc.top >= rcClient.top && rc.right <= rcClient.right &&
                rc.bottom <= rcClient.bottom);
    const LONG lStyle = ::GetWindowLongA(h, GWL_STYLE);
    const std::string cls = ClassOf(h);
    if (text.empty() || (cls == "Static" && (lStyle & SS_TYPEMASK) == SS_ICON)) continue;
    const SIZE extent = TextExtent(h, text);
    int nRoom = rc.right - rc.left;
    if (cls == "Button") {
      const LONG lType = lStyle & BS_TYPEMASK;
      if (lType == BS_GROUPBOX) continue;
      const bool bPush = lType == BS_PUSHBUTTON || lType == BS_DEFPUSHBUTTON;
      nRoom -= bPush ? nButtonEdges : nCheckBox;
    }
    EXPECT_LE(extent.cx, nRoom);
    EXPECT_LE(extent.cy, rc.bottom - rc.top);
  }
}

TEST(ScalingAtThisDpi, DISABLED_MainDialog) {
  DialogDriver d;
  const UINT nDpi = DpiForWindow(d.m_hWnd);
  std::printf("main dialog at %u DPI\n", nDpi);
  ExpectNothingClipped(d.m_hWnd, nDpi);
  d.Click(IDC_FILE);  // shows Browse
  ExpectNothingClipped(d.m_hWnd, nDpi);
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(d.m_hWnd, WM_GETICON, ICON_BIG, 0)),
            SystemMetricForDpi(SM_CXICON, nDpi));
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(d.m_hWnd, WM_GETICON, ICON_SMALL, 0)),
            SystemMetricForDpi(SM_CXSMICON, nDpi));

  // Moved to a monitor of twice the DPI: the icons follow.
  const UINT nNewDpi = nDpi * 2;
  RECT rc;
  ::GetWindowRect(d.m_hWnd, &rc);
  ::SendMessageA(d.m_hWnd, WM_DPICHANGED, MAKEWPARAM(nNewDpi, nNewDpi), (LPARAM)&rc);
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(d.m_hWnd, WM_GETICON, ICON_BIG, 0)),
            SystemMetricForDpi(SM_CXICON, nNewDpi));
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(d.m_hWnd, WM_GETICON, ICON_SMALL, 0)),
            SystemMetricForDpi(SM_CXSMICON, nNewDpi));
}

// The main window at its template size and wider: its arrangement, and the
// widest 64-digit texts and the SHA2-256 digest whole at the template size.
TEST(ScalingAtThisDpi, DISABLED_MainDialogWidens) {
  DialogDriver d;
  layouttest::ExpectWideningKeepsTheArrangement(d);
  layouttest::ExpectEvery64DigitTextWhole(d);
  d.SelectAlgorithm(kAlgorithmSHA256);
  d.SetText(IDC_DATA, "abc");
  for (bool bUpper : {false, true}) {
    if (d.Checked(IDC_UPPERCASE) != bUpper) d.Click(IDC_UPPERCASE);
    ASSERT_EQ(d.Text(IDC_RESULT).size(), 64u);
    EXPECT_TRUE(layouttest::ShowsWhole(d.Item(IDC_RESULT)));
  }
}

TEST(ScalingAtThisDpi, DISABLED_AboutBox) {
  DialogDriver d;
  d.PostClick(IDC_ABOUT);
  HWND hAbout = WaitForBox(d.m_hWnd, "About");
  ASSERT_NE(hAbout, nullptr);
  const UINT nDpi = DpiForWindow(hAbout);
  ExpectNothingClipped(hAbout, nDpi);

  HWND hIcon = nullptr;
  for (HWND h = ::GetWindow(hAbout, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT))
    if ((::GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) hIcon = h;
  ASSERT_NE(hIcon, nullptr);
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(hIcon, STM_GETICON, 0, 0)),
            SystemMetricForDpi(SM_CXICON, nDpi));

  // The links draw in the dialog's font, plain and under the pointer.
  const int nDialogFont = FontHeight((HFONT)::SendMessageA(hAbout, WM_GETFONT, 0, 0));
  ASSERT_NE(nDialogFont, 0);
  for (int nID : {IDC_WEB_LINK, IDC_MAIL_LINK}) {
    HWND hLink = ::GetDlgItem(hAbout, nID);
    SCOPED_TRACE(WindowText(hLink));
    EXPECT_EQ(FontHeight((HFONT)::SendMessageA(hLink, WM_GETFONT, 0, 0)), nDialogFont);
    // Hovered, then left for the icon in the same window. The pointer may
    // start over a link, where an earlier run left it, so the plain state
    // is checked after a leave the link has seen.
    EXPECT_TRUE(HoverUntil(CentreOf(hLink), [&] { return IsUnderlined(hLink); }));
    EXPECT_EQ(FontHeight((HFONT)::SendMessageA(hLink, WM_GETFONT, 0, 0)), nDialogFont);
    ExpectNothingClipped(hAbout, nDpi);
    EXPECT_TRUE(HoverUntil(CentreOf(hIcon), [&] { return !IsUnderlined(hLink); }));
    EXPECT_EQ(FontHeight((HFONT)::SendMessageA(hLink, WM_GETFONT, 0, 0)), nDialogFont);
  }

  // Moved to twice the DPI: the icon follows.
  const UINT nNewDpi = nDpi * 2;
  RECT rc;
  ::GetWindowRect(hAbout, &rc);
  ::SendMessageA(hAbout, WM_DPICHANGED, MAKEWPARAM(nNewDpi, nNewDpi), (LPARAM)&rc);
  EXPECT_EQ(IconWidth((HICON)::SendMessageA(hIcon, STM_GETICON, 0, 0)),
            SystemMetricForDpi(SM_CXICON, nNewDpi));
  ::PostMessageA(hAbout, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }));
}

}  // namespace

namespace {

// Not a test: tools/screenshots-scaled.sh runs it under each LogPixels
// setting. Each window is moved to 40,40 and held until its picture is
// taken: the geometry (WxH+X+Y) goes to shot-NAME, and the script answers
// with shot-NAME-done.
bool HoldForShot(HWND hWnd, const char* pszName) {
  ::SetWindowPos(hWnd, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
  guitest::Pump();
  RECT rc = {};
  ::GetWindowRect(hWnd, &rc);
  return guitest::HoldForShot(rc, pszName);
}

TEST(ScalingScreenshots, DISABLED_HoldBothDialogs) {
  DialogDriver d;
  d.SelectAlgorithm(7);  // MD5
  d.SetText(IDC_DATA, "abc");
  ASSERT_TRUE(HoldForShot(d.m_hWnd, "main"));
  d.PostClick(IDC_ABOUT);
  HWND hAbout = WaitForBox(d.m_hWnd, "About");
  ASSERT_NE(hAbout, nullptr);
  ::SetWindowPos(hAbout, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
  // The web link under the pointer, as in the other picture of the box.
  HWND hWeb = ::GetDlgItem(hAbout, IDC_WEB_LINK);
  ASSERT_TRUE(HoverUntil(CentreOf(hWeb), [&] { return IsUnderlined(hWeb); }));
  ASSERT_TRUE(HoldForShot(hAbout, "about"));
  ::PostMessageA(hAbout, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }));
}

}  // namespace
