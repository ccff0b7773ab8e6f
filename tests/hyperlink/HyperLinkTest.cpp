// HyperLink on real windows: a popup parent with static controls, driven by
// window messages and by real mouse input.
#include "ui/HyperLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/common/FakeShell.h"
#include "tests/common/GuiTestSupport.h"

using namespace guitest;

namespace {

const COLORREF kNormal = RGB(0, 0, 255);
const COLORREF kHover = RGB(255, 0, 255);
const COLORREF kPressed = RGB(255, 0, 0);
const COLORREF kVisited = RGB(128, 0, 128);
const COLORREF kParentText = RGB(1, 2, 3);  // what the parent gives every static
HBRUSH g_hParentBrush = nullptr;

LRESULT CALLBACK TestParentProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC) {
    SetTextColor(reinterpret_cast<HDC>(wParam), kParentText);
    return reinterpret_cast<LRESULT>(g_hParentBrush);
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Records clicks instead of starting a browser; optionally runs the real one.
class RecordingLink : public HyperLink {
 public:
  BOOL Navigate() override {
    ++m_nNavigations;
    m_strTarget = m_strURL;
    m_bResult = m_bCallBase ? HyperLink::Navigate() : TRUE;
    return m_bResult;
  }
  int m_nNavigations = 0;
  std::string m_strTarget;
  BOOL m_bCallBase = FALSE;
  BOOL m_bResult = -1;
};

WNDPROC ProcOf(HWND hWnd) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
}

class HyperLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_hParentBrush = CreateSolidBrush(RGB(240, 240, 240));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TestParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // arrow
    wc.hbrBackground = g_hParentBrush;
    wc.lpszClassName = "HyperLinkTestParent";
    RegisterClassA(&wc);
  }

  void SetUp() override {
    m_hFont = CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                          "Tahoma");
    m_hParent = CreateParent();
    m_hLink1 = CreateStatic(m_hParent, "http://www.vexorin.example/", 20, 20);
    m_hLink2 = CreateStatic(m_hParent, "support@vexorin.example", 20, 60);
    m_hPlain = CreateStatic(m_hParent, "Vexorin 4.0.1.0", 20, 100);
    m_pfnParentProc = ProcOf(m_hParent);
    SetForegroundWindow(m_hParent);
    Pump();
  }

  void TearDown() override {
    if (IsWindow(m_hParent)) DestroyWindow(m_hParent);
    DeleteObject(m_hFont);
    // Whatever a test did, no parent may stay registered.
    EXPECT_TRUE(HyperLink::s_parents.empty());
  }

  HWND CreateParent() {
    return CreateWindowExA(0, "HyperLinkTestParent", "links", WS_POPUP | WS_VISIBLE, 100, 100, 400,
                           300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }

  HWND CreateStatic(HWND hParent, const char* pszText, int x, int y) {
    HWND hWnd = CreateWindowExA(0, "STATIC", pszText, WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP, x,
                                y, 300, 30, hParent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    return hWnd;
  }

  // A spot of the parent that is on no control.
  POINT EmptySpot() const { return POINT{100 + 350, 100 + 250}; }

  HFONT m_hFont = nullptr;
  HWND m_hParent = nullptr;
  HWND m_hLink1 = nullptr;
  HWND m_hLink2 = nullptr;
  HWND m_hPlain = nullptr;
  WNDPROC m_pfnParentProc = nullptr;
};

// --- Attaching and detaching ---------------------------------------------

TEST_F(HyperLinkTest, AttachMakesTheControlNotifyAndSizesItToItsText) {
  LONG lStyleBefore = GetWindowLongA(m_hLink1, GWL_STYLE);
  ASSERT_FALSE(lStyleBefore & SS_NOTIFY);
  HyperLink link;
  ASSERT_TRUE(link.Attach(m_hLink1));

  EXPECT_EQ(GetWindowLongA(m_hLink1, GWL_STYLE), lStyleBefore | SS_NOTIFY);
  char szText[64];
  GetWindowTextA(m_hLink1, szText, sizeof(szText));
  EXPECT_STREQ(szText, "http://www.vexorin.example/");

  // Same face and size, not underlined while the mouse is elsewhere.
  HFONT hNow = reinterpret_cast<HFONT>(SendMessageA(m_hLink1, WM_GETFONT, 0, 0));
  LOGFONTA lfNow = {}, lfOriginal = {};
  GetObjectA(hNow, sizeof(lfNow), &lfNow);
  GetObjectA(m_hFont, sizeof(lfOriginal), &lfOriginal);
  EXPECT_NE(hNow, m_hFont);
  EXPECT_FALSE(lfNow.lfUnderline);
  EXPECT_EQ(lfNow.lfHeight, lfOriginal.lfHeight);
  EXPECT_STREQ(lfNow.lfFaceName, "Tahoma");

  RECT rcText = {0, 0, 0, 0};
  HDC hDC = GetDC(m_hLink1);
  HGDIOBJ hOld = SelectObject(hDC, m_hFont);
  DrawTextA(hDC, szText, -1, &rcText, DT_CALCRECT);
  SelectObject(hDC, hOld);
  ReleaseDC(m_hLink1, hDC);
  RECT rc;
  GetWindowRect(m_hLink1, &rc);
  MapWindowPoints(HWND_DESKTOP, m_hParent, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(rc.left, 20);
  EXPECT_EQ(rc.top, 20);
  EXPECT_GT(rcText.right, 50);
  EXPECT_EQ(rc.right - rc.left, rcText.right);
  EXPECT_EQ(rc.bottom - rc.top, rcText.bottom);
}

TEST_F(HyperLinkTest, AttachRefusesWhatCannotBeALinkAndInstallsNothing) {
  HyperLink link;
  EXPECT_FALSE(link.Attach(nullptr));
  EXPECT_FALSE(link.Attach(reinterpret_cast<HWND>(0x1234560)));
  HWND hGone = CreateStatic(m_hParent, "gone", 20, 140);
  DestroyWindow(hGone);
  EXPECT_FALSE(link.Attach(hGone));
  // A top-level window has no parent whose colours we could choose.
  EXPECT_FALSE(link.Attach(m_hParent));
  EXPECT_EQ(ProcOf(m_hParent), m_pfnParentProc);

  // A control that already is a link stays with its first link.
  HyperLink first;
  ASSERT_TRUE(first.Attach(m_hLink1));
  WNDPROC pfnLinked = ProcOf(m_hLink1);
  WNDPROC pfnParentLinked = ProcOf(m_hParent);
  EXPECT_FALSE(link.Attach(m_hLink1));
  EXPECT_EQ(ProcOf(m_hLink1), pfnLinked);
  EXPECT_EQ(ProcOf(m_hParent), pfnParentLinked);
  EXPECT_EQ(HyperLink::s_parents.size(), 1u);
  EXPECT_EQ(HyperLink::s_parents[0].nLinks, 1u);
  EXPECT_EQ(GetPropA(m_hLink1, HyperLink::PROP_OBJECT_PTR), static_cast<HANDLE>(&first));
  // The refused object is still unattached: nothing to undo.
  EXPECT_TRUE(link.Detach());
}

TEST_F(HyperLinkTest, TwoLinksSubclassTheParentOnceAndReverseDetachRestoresAll) {
  WNDPROC pfnControl1 = ProcOf(m_hLink1);
  WNDPROC pfnControl2 = ProcOf(m_hLink2);
  HyperLink link1, link2;
  ASSERT_TRUE(link1.Attach(m_hLink1));
  WNDPROC pfnSubclassed = ProcOf(m_hParent);
  EXPECT_NE(pfnSubclassed, m_pfnParentProc);
  ASSERT_TRUE(link2.Attach(m_hLink2));
  EXPECT_EQ(ProcOf(m_hParent), pfnSubclassed);
  EXPECT_NE(ProcOf(m_hLink1), pfnControl1);
  EXPECT_NE(ProcOf(m_hLink2), pfnControl2);
  ASSERT_EQ(HyperLink::s_parents.size(), 1u);
  EXPECT_EQ(HyperLink::s_parents[0].nLinks, 2u);

  EXPECT_TRUE(link2.Detach());
  EXPECT_EQ(ProcOf(m_hLink2), pfnControl2);
  EXPECT_EQ(ProcOf(m_hParent), pfnSubclassed);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(m_hLink2, WM_GETFONT, 0, 0)), m_hFont);
  EXPECT_EQ(GetPropA(m_hLink2, HyperLink::PROP_OBJECT_PTR), nullptr);
  EXPECT_EQ(TextColourOf(m_hLink1), kNormal);
  EXPECT_EQ(TextColourOf(m_hLink2), kParentText);

  // A second Detach must not release the parent a second time.
  EXPECT_TRUE(link2.Detach());
  EXPECT_EQ(HyperLink::s_parents[0].nLinks, 1u);
  EXPECT_EQ(TextColourOf(m_hLink1), kNormal);

  EXPECT_TRUE(link1.Detach());
  EXPECT_EQ(ProcOf(m_hLink1), pfnControl1);
  EXPECT_EQ(ProcOf(m_hParent), m_pfnParentProc);
  EXPECT_TRUE(HyperLink::s_parents.empty());
  EXPECT_EQ(TextColourOf(m_hLink1), kParentText);

  // And the same objects can become links again.
  EXPECT_TRUE(link1.Attach(m_hLink1));
  EXPECT_NE(ProcOf(m_hParent), m_pfnParentProc);
}

TEST_F(HyperLinkTest, DestructorsLeaveNothingSubclassedInEitherOrder) {
  WNDPROC pfnControl1 = ProcOf(m_hLink1);
  WNDPROC pfnControl2 = ProcOf(m_hLink2);
  {
    HyperLink link1, link2;  // destroyed in reverse order
    ASSERT_TRUE(link1.Attach(m_hLink1));
    ASSERT_TRUE(link2.Attach(m_hLink2));
  }
  EXPECT_EQ(ProcOf(m_hParent), m_pfnParentProc);
  EXPECT_EQ(ProcOf(m_hLink1), pfnControl1);
  EXPECT_EQ(ProcOf(m_hLink2), pfnControl2);
  EXPECT_EQ(GetPropA(m_hLink1, HyperLink::PROP_OBJECT_PTR), nullptr);
  EXPECT_EQ(GetPropA(m_hLink2, HyperLink::PROP_OBJECT_PTR), nullptr);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(m_hLink1, WM_GETFONT, 0, 0)), m_hFont);

  // The link that subclassed the parent goes first: the other one takes
  // over, so the parent never runs a freed procedure.
  auto pFirst = std::make_unique<HyperLink>();
  auto pSecond = std::make_unique<HyperLink>();
  ASSERT_TRUE(pFirst->Attach(m_hLink1));
  ASSERT_TRUE(pSecond->Attach(m_hLink2));
  pFirst.reset();
  EXPECT_EQ(ProcOf(m_hLink1), pfnControl1);
  EXPECT_NE(ProcOf(m_hParent), m_pfnParentProc);
  EXPECT_EQ(TextColourOf(m_hLink1), kParentText);
  EXPECT_EQ(TextColourOf(m_hLink2), kNormal);
  SendMessageA(m_hParent, WM_NULL, 0, 0);
  InvalidateRect(m_hParent, nullptr, TRUE);
  UpdateWindow(m_hParent);
  pSecond.reset();
  EXPECT_EQ(ProcOf(m_hParent), m_pfnParentProc);
  EXPECT_EQ(ProcOf(m_hLink2), pfnControl2);
}

TEST_F(HyperLinkTest, LinksOutliveTheirWindowsWithoutLeavingTheParentListed) {
  HyperLink link1, link2;
  ASSERT_TRUE(link1.Attach(m_hLink1));
  ASSERT_TRUE(link2.Attach(m_hLink2));
  DestroyWindow(m_hParent);
  EXPECT_TRUE(HyperLink::s_parents.empty());
  EXPECT_TRUE(link2.Detach());
  EXPECT_TRUE(link1.Detach());

  // A new parent is subclassed afresh.
  m_hParent = CreateParent();
  HWND hControl = CreateStatic(m_hParent, "again", 10, 10);
  WNDPROC pfnBefore = ProcOf(m_hParent);
  ASSERT_TRUE(link1.Attach(hControl));
  EXPECT_NE(ProcOf(m_hParent), pfnBefore);
  EXPECT_EQ(TextColourOf(hControl), kNormal);
  EXPECT_TRUE(link1.Detach());
}

// --- Colours by state --------------------------------------------------------

TEST_F(HyperLinkTest, EachLinkIsColouredByItsOwnStateAndVisitedWins) {
  RecordingLink link1;
  HyperLink link2;
  link1.SetURL("http://www.vexorin.example/");
  ASSERT_TRUE(link1.Attach(m_hLink1));
  ASSERT_TRUE(link2.Attach(m_hLink2));
  LRESULT lBrush = 0;
  EXPECT_EQ(TextColourOf(m_hLink1, &lBrush), kNormal);
  EXPECT_EQ(lBrush, reinterpret_cast<LRESULT>(g_hParentBrush));
  EXPECT_EQ(TextColourOf(m_hPlain, &lBrush), kParentText);
  EXPECT_EQ(lBrush, reinterpret_cast<LRESULT>(g_hParentBrush));

  SendMessageA(m_hLink1, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColourOf(m_hLink1), kHover);
  EXPECT_TRUE(IsUnderlined(m_hLink1));
  EXPECT_EQ(TextColourOf(m_hLink2), kNormal);
  EXPECT_FALSE(IsUnderlined(m_hLink2));
  EXPECT_EQ(TextColourOf(m_hPlain), kParentText);

  SendMessageA(m_hLink1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColourOf(m_hLink1), kPressed);
  EXPECT_EQ(GetFocus(), m_hLink1);
  SendMessageA(m_hLink1, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(link1.m_nNavigations, 1);
  EXPECT_EQ(link1.m_strTarget, "http://www.vexorin.example/");
  EXPECT_EQ(TextColourOf(m_hLink1), kVisited);

  // Visited stays, hovered or pressed or neither.
  SendMessageA(m_hLink1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColourOf(m_hLink1), kVisited);
  SendMessageA(m_hLink1, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(TextColourOf(m_hLink1), kVisited);
  EXPECT_FALSE(IsUnderlined(m_hLink1));
  // The leave cancelled the press: a release now opens nothing.
  SendMessageA(m_hLink1, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(link1.m_nNavigations, 1);

  // The parent's own answer reaches the system for every link.
  EXPECT_EQ(TextColourOf(m_hLink2, &lBrush), kNormal);
  EXPECT_EQ(lBrush, reinterpret_cast<LRESULT>(g_hParentBrush));
  SendMessageA(m_hLink2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColourOf(m_hLink2), kPressed);
  EXPECT_EQ(TextColourOf(m_hPlain), kParentText);
}

// --- Real mouse ----------------------------------------------------------

TEST_F(HyperLinkTest, PointerOverALinkUnderlinesItAndShowsTheHand) {
  HyperLink link1, link2;
  ASSERT_TRUE(link1.Attach(m_hLink1));
  ASSERT_TRUE(link2.Attach(m_hLink2));
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
  Pump();
  EXPECT_FALSE(IsUnderlined(m_hLink1));

  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink1)));
  EXPECT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink1); }));
  EXPECT_TRUE(ShowsHandCursor());
  EXPECT_EQ(TextColourOf(m_hLink1), kHover);
  EXPECT_FALSE(IsUnderlined(m_hLink2));

  // Straight from one link to the other.
  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink2)));
  EXPECT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink2) && !IsUnderlined(m_hLink1); }));
  EXPECT_EQ(TextColourOf(m_hLink1), kNormal);
  EXPECT_EQ(TextColourOf(m_hLink2), kHover);

  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
  EXPECT_TRUE(PumpUntil([&] { return !IsUnderlined(m_hLink2); }));
  EXPECT_EQ(TextColourOf(m_hLink2), kNormal);
  EXPECT_TRUE(PumpUntil([] { return !ShowsHandCursor(); }));
}

// A quick flick across a link: its move arrives when the pointer is
// already elsewhere, where no leave would ever follow.
TEST_F(HyperLinkTest, AMoveSeenAfterThePointerLeftLeavesTheLinkPlain) {
  HyperLink link;
  ASSERT_TRUE(link.Attach(m_hLink1));
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
  Pump();
  SendMessageA(m_hLink1, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(PumpUntil([&] { return !IsUnderlined(m_hLink1); }));
  Pump(20);
  EXPECT_FALSE(IsUnderlined(m_hLink1));
  EXPECT_EQ(TextColourOf(m_hLink1), kNormal);

  // The pointer still works the link afterwards.
  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink1)));
  EXPECT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink1); }));
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
  EXPECT_TRUE(PumpUntil([&] { return !IsUnderlined(m_hLink1); }));
}

TEST_F(HyperLinkTest, ClickOnALinkOpensItOnceAndReleaseElsewhereNothing) {
  RecordingLink link1, link2;
  link1.SetURL("http://www.vexorin.example/");
  link2.SetURL(std::string("mailto:") + "support@vexorin.example");
  ASSERT_TRUE(link1.Attach(m_hLink1));
  ASSERT_TRUE(link2.Attach(m_hLink2));

  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink1)));
  ASSERT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink1); }));
  MouseButton(true);
  EXPECT_TRUE(PumpUntil([&] { return TextColourOf(m_hLink1) == kPressed; }));
  MouseButton(false);
  EXPECT_TRUE(PumpUntil([&] { return link1.m_nNavigations > 0; }));
  Pump(20);
  EXPECT_EQ(link1.m_nNavigations, 1);
  EXPECT_EQ(link1.m_strTarget, "http://www.vexorin.example/");
  EXPECT_EQ(TextColourOf(m_hLink1), kVisited);

  // Press on the mail link, move off, release on the parent.
  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink2)));
  ASSERT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink2); }));
  MouseButton(true);
  EXPECT_TRUE(PumpUntil([&] { return TextColourOf(m_hLink2) == kPressed; }));
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
  EXPECT_TRUE(PumpUntil([&] { return !IsUnderlined(m_hLink2); }));
  MouseButton(false);
  Pump(20);
  EXPECT_EQ(link2.m_nNavigations, 0);
  EXPECT_EQ(TextColourOf(m_hLink2), kNormal);

  // A real click on it now hands the mail target over; away from the first
  // press, so that the system does not make it a double click.
  POINT pt = CentreOf(m_hLink2);
  pt.x -= 20;
  ASSERT_TRUE(MoveMouseTo(pt));
  ASSERT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink2); }));
  MouseButton(true);
  MouseButton(false);
  EXPECT_TRUE(PumpUntil([&] { return link2.m_nNavigations > 0; }));
  EXPECT_EQ(link2.m_strTarget, "mailto:support@vexorin.example");
  EXPECT_EQ(link1.m_nNavigations, 1);
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
}

TEST_F(HyperLinkTest, NavigateHandsTheTargetToTheShellsOpenVerb) {
  fakeshell::Reset(TRUE);
  HyperLink link;
  link.SetURL("mailto:support@vexorin.example");
  EXPECT_TRUE(link.Navigate());
  fakeshell::Reset(FALSE);
  link.SetURL(std::string("http://www.vexorin.example/"));
  EXPECT_FALSE(link.Navigate());  // the shell's refusal comes back as it is
  std::vector<fakeshell::Call> calls = fakeshell::Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].cbSize, sizeof(void*) == 4 ? 60u : 112u);
  EXPECT_EQ(calls[0].fMask, 0u);
  EXPECT_EQ(calls[0].hwnd, nullptr);
  EXPECT_EQ(calls[0].strVerb, "open");
  EXPECT_EQ(calls[0].strFile, "http://www.vexorin.example/");
  EXPECT_FALSE(calls[0].bParameters);
  EXPECT_FALSE(calls[0].bDirectory);
  EXPECT_EQ(calls[0].nShow, SW_SHOWNORMAL);
  fakeshell::Reset(TRUE);
}

TEST_F(HyperLinkTest, LinkWithoutTargetOnlyTurnsVisited) {
  fakeshell::Reset(TRUE);
  HyperLink unattached;
  EXPECT_FALSE(unattached.Navigate());
  unattached.SetURL(static_cast<const char*>(nullptr));
  EXPECT_FALSE(unattached.Navigate());

  RecordingLink link;
  link.m_bCallBase = TRUE;
  ASSERT_TRUE(link.Attach(m_hLink1));
  ASSERT_TRUE(MoveMouseTo(CentreOf(m_hLink1)));
  ASSERT_TRUE(PumpUntil([&] { return IsUnderlined(m_hLink1); }));
  MouseButton(true);
  MouseButton(false);
  EXPECT_TRUE(PumpUntil([&] { return link.m_nNavigations > 0; }));
  EXPECT_EQ(link.m_bResult, FALSE);
  EXPECT_TRUE(fakeshell::Calls().empty());
  EXPECT_EQ(TextColourOf(m_hLink1), kVisited);
  EXPECT_TRUE(IsWindow(m_hParent));
  ASSERT_TRUE(MoveMouseTo(EmptySpot()));
}

}  // namespace
