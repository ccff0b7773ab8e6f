// The framework layer under the program's dialogs, on dialogs of its own:
// DoModal runs on the test's thread while a second thread plays the user
// (window messages, and real keys where the dialog manager reads them).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"
#include "tests/common/GuiTestSupport.h"
#include "tests/framework/FrameworkTestRes.h"

using namespace guitest;

namespace {

const char kAppName[] = "Framework Probe";
CWinApp g_app(kAppName);

// The progress bar of the template needs its class before any dialog opens.
const bool g_bControls = [] {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  return ::InitCommonControlsEx(&icc) != FALSE;
}();

std::string TextOf(HWND hWnd) {
  char sz[256] = "";
  ::SendMessageA(hWnd, WM_GETTEXT, sizeof(sz), (LPARAM)sz);
  return sz;
}

// What a dialog saw, readable from the user's thread.
class Log {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
  }
  // Index of the first entry equal to s from nFrom on, or -1.
  int Find(const std::string& s, int nFrom = 0) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = nFrom; i < m_entries.size(); ++i)
      if (m_entries[i] == s) return (int)i;
    return -1;
  }
  bool Has(const std::string& s) const { return Find(s) >= 0; }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_entries;
};

class BaseProbe : public CDialog {
 public:
  explicit BaseProbe(UINT nIDTemplate) : CDialog(nIDTemplate) {}
  Log m_handled;  // the map handlers that ran

  void OnButtonA() { m_handled.Add("base A"); }
  void OnButtonB() { m_handled.Add("base B"); }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseProbe, CDialog)
ON_BN_CLICKED(IDC_FW_A, OnButtonA)
ON_BN_CLICKED(IDC_FW_B, OnButtonB)
END_MESSAGE_MAP()

struct BoxCase {
  UINT nType;
  LPCSTR pszIcon;  // the system icon the box must show
  int nAnswer;
  bool bFromStringTable;
};

const BoxCase kBoxCases[] = {
    {MB_OK, IDI_EXCLAMATION, IDOK, false}, {MB_OKCANCEL, IDI_EXCLAMATION, IDCANCEL, false},
    {MB_YESNO, IDI_QUESTION, IDNO, false}, {MB_OK | MB_ICONINFORMATION, IDI_ASTERISK, IDOK, false},
    {MB_OK, IDI_EXCLAMATION, IDOK, true},
};

class Probe : public BaseProbe {
 public:
  explicit Probe(UINT nIDTemplate = IDD_FW_PROBE) : BaseProbe(nIDTemplate) {}

  Log m_seen;  // what PreTranslateMessage and the window procedure saw
  std::atomic<HWND> m_hShown{nullptr};
  std::atomic<bool> m_bSwallowEnter{false};
  std::function<void(Probe&)> m_onInit;

  // DDX_Control's work as OnInitDialog found it.
  HWND m_hComboBound = nullptr, m_hComboItem = nullptr;
  HWND m_hProgressBound = nullptr, m_hProgressItem = nullptr;
  int m_nPreviousPos = -1;

  HICON m_hDragIcon = ::LoadIconA(nullptr, IDI_HAND);
  HDROP m_hDrop = nullptr;
  std::string m_dropped;

  std::atomic<int> m_nBoxCase{0};
  std::atomic<int> m_nBoxResult{0};
  std::atomic<HWND> m_hChild{nullptr};
  std::atomic<INT_PTR> m_nChildResult{0};

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_hComboBound = m_combo.m_hWnd;
    m_hComboItem = GetDlgItem(IDC_FW_COMBO);
    m_hProgressBound = m_progress.m_hWnd;
    m_hProgressItem = GetDlgItem(IDC_FW_PROGRESS);
    m_combo.AddString("one");
    m_combo.AddString("two");
    m_combo.SetCurSel(1);
    m_nPreviousPos = m_progress.SetPos(40);
    m_hShown = m_hWnd;
    if (m_onInit) m_onInit(*this);
    return TRUE;
  }

  void DoDataExchange(CDataExchange* pDX) override {
    BaseProbe::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FW_COMBO, m_combo);
    DDX_Control(pDX, IDC_FW_PROGRESS, m_progress);
  }

  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message >= WM_APP || pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP)
      m_seen.Add("pre " + Name(pMsg->message, pMsg->wParam, pMsg->hwnd));
    if (pMsg->message == WM_APP + 2) return TRUE;
    if (m_bSwallowEnter && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) return TRUE;
    return BaseProbe::PreTranslateMessage(pMsg);
  }

  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
    if ((message == WM_SHOWWINDOW && wParam) ||
        (message == WM_WINDOWPOSCHANGING &&
         (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)))
      m_seen.Add("shown");
    if (message >= WM_APP) m_seen.Add("dispatch " + Name(message, wParam, m_hWnd));
    if (message == WM_COMMAND) m_seen.Add("command " + std::to_string(LOWORD(wParam)));
    // Colours and list box keys answer with their value, not in DWLP_MSGRESULT.
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
      *pResult = (LRESULT)::GetStockObject(GRAY_BRUSH);
      return TRUE;
    }
    if (message == WM_VKEYTOITEM) {
      *pResult = -2;  // the key is dealt with
      return TRUE;
    }
    return BaseProbe::OnWndMsg(message, wParam, lParam, pResult);
  }

  void OnDerivedA() { m_handled.Add("derived A"); }
  void OnSelChange() { m_handled.Add("selchange"); }
  void OnBox() {
    const BoxCase& c = kBoxCases[m_nBoxCase];
    m_nBoxResult = c.bFromStringTable ? AfxMessageBox(IDS_FW_PROMPT, c.nType)
                                      : AfxMessageBox("Probe text", c.nType);
  }
  void OnChild() {
    Probe child;
    child.m_onInit = [this](Probe& c) { m_hChild = c.m_hWnd; };
    m_nChildResult = child.DoModal();
  }
  HCURSOR OnQueryDragIcon() { return (HCURSOR)m_hDragIcon; }
  void OnDropFiles(HDROP hDropInfo) {
    m_hDrop = hDropInfo;
    char sz[MAX_PATH] = "";
    ::DragQueryFileA(hDropInfo, 0, sz, sizeof(sz));
    m_dropped = sz;
  }

  CComboBox m_combo;
  CProgressCtrl m_progress;

 private:
  std::string Name(UINT message, WPARAM wParam, HWND hWnd) const {
    std::string s = message >= WM_APP       ? "app+" + std::to_string(message - WM_APP)
                    : message == WM_KEYDOWN ? "keydown " + std::to_string(wParam)
                                            : "keyup " + std::to_string(wParam);
    if (message >= WM_APP) s += hWnd == nullptr ? " thread" : hWnd == m_hWnd ? " dialog" : " child";
    return s;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, BaseProbe)
ON_BN_CLICKED(IDC_FW_A, OnDerivedA)
ON_CBN_SELCHANGE(IDC_FW_COMBO, OnSelChange)
ON_BN_CLICKED(IDC_FW_BOX, OnBox)
ON_BN_CLICKED(IDC_FW_CHILD, OnChild)
ON_WM_QUERYDRAGICON()
ON_WM_DROPFILES()
END_MESSAGE_MAP()

// Shows the dialog on this thread while pfnUser acts on it from another;
// returns what DoModal returned. A dialog the user leaves open is
// cancelled, so that a failing check cannot hang the run.
template <class Dialog>
INT_PTR RunModal(Dialog& dialog, const std::function<void(HWND)>& pfnUser) {
  dialog.m_hShown = nullptr;
  std::thread user([&] {
    HWND hDlg = nullptr;
    if (!WaitUntil(
            [&] { return (hDlg = dialog.m_hShown) != nullptr && ::IsWindowVisible(hDlg); })) {
      ADD_FAILURE() << "the dialog did not appear";
      return;
    }
    pfnUser(hDlg);
    if (!WaitUntil([&] { return !::IsWindow(hDlg); }, 3000)) {
      ADD_FAILURE() << "the dialog stayed open";
      ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    }
  });
  const INT_PTR nResult = dialog.DoModal();
  user.join();
  return nResult;
}

// Makes the window the one that takes the keyboard, with the focus on hFocus.
bool TakeKeyboard(HWND hDlg, HWND hFocus) {
  ::SetForegroundWindow(hDlg);
  const DWORD dwThread = ::GetWindowThreadProcessId(hDlg, nullptr);
  return WaitUntil([&] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return ::GetForegroundWindow() == hDlg && ::GetGUIThreadInfo(dwThread, &info) &&
           info.hwndFocus == hFocus;
  });
}

// The icon a message box shows. Its static has a different id under Wine
// (0x440) than under Windows (0x14), so it is found by its SS_ICON style.
HICON BoxIcon(HWND hBox) {
  for (HWND hChild = ::GetWindow(hBox, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
    if ((::GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      return (HICON)::SendMessageA(hChild, STM_GETICON, 0, 0);
  return nullptr;
}

struct OwnedSearch {
  HWND hOwner;
  const char* pszCaption;
  HWND hFound;
};

BOOL CALLBACK MatchOwned(HWND hWnd, LPARAM lParam) {
  OwnedSearch* p = reinterpret_cast<OwnedSearch*>(lParam);
  char szClass[16] = "";
  ::GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (std::strcmp(szClass, "#32770") == 0 && ::GetWindow(hWnd, GW_OWNER) == p->hOwner &&
      ::IsWindowVisible(hWnd) && TextOf(hWnd) == p->pszCaption) {
    p->hFound = hWnd;
    return FALSE;
  }
  return TRUE;
}

// A #32770 window owned by hOwner with this caption, once it shows.
HWND WaitForOwned(HWND hOwner, const char* pszCaption) {
  OwnedSearch search = {hOwner, pszCaption, nullptr};
  WaitUntil([&] {
    ::EnumWindows(&MatchOwned, (LPARAM)&search);
    return search.hFound != nullptr;
  });
  return search.hFound;
}

void PostClick(HWND hDlg, int nID) {
  ::PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), (LPARAM)::GetDlgItem(hDlg, nID));
}

// A plain top-level window on the test's thread as the application's main
// window, active before each test.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "FrameworkProbeMain";
    ::RegisterClassA(&wc);
    m_main.m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "Main", WS_OVERLAPPEDWINDOW, 50, 50, 300,
                                      200, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(m_main.m_hWnd, nullptr);
    ::ShowWindow(m_main.m_hWnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(m_main.m_hWnd);
    PumpUntil([&] { return ::GetActiveWindow() == m_main.m_hWnd; });
    g_app.m_pMainWnd = &m_main;
  }
  void TearDown() override {
    g_app.m_pMainWnd = nullptr;
    ::DestroyWindow(m_main.m_hWnd);
    m_main.m_hWnd = nullptr;
    Pump();
  }

  CWnd m_main;
};

// Message maps ----------------------------------------------------------------

TEST(MessageMapTest, DerivedMapFirstCommandsMatchCodeAndIdTheRestGoesToTheDialogManager) {
  Probe dialog;
  HDROP hDrop = nullptr;
  LRESULT lDragIcon = 0, lDefId = 0, lVKeyToItem = 0;
  std::vector<LRESULT> brushes;
  std::string caption;
  const INT_PTR nResult = RunModal(dialog, [&](HWND hDlg) {
    // A real click on A, then commands as other sources would send them.
    ::SendMessageA(::GetDlgItem(hDlg, IDC_FW_A), BM_CLICK, 0, 0);
    const auto command = [hDlg](int nID, WORD wCode) {
      ::SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nID, wCode), (LPARAM)::GetDlgItem(hDlg, nID));
    };
    command(IDC_FW_B, BN_CLICKED);
    command(IDC_FW_A, BN_DOUBLECLICKED);
    command(IDC_FW_B, BN_SETFOCUS);
    command(IDC_FW_COMBO, BN_CLICKED);
    command(IDC_FW_COMBO, CBN_SELCHANGE);
    command(IDC_FW_EDIT, BN_CLICKED);

    HWND hCombo = ::GetDlgItem(hDlg, IDC_FW_COMBO);
    HDC hDC = ::GetDC(hCombo);
    for (UINT nColour : {WM_CTLCOLORLISTBOX, WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC})
      brushes.push_back(::SendMessageA(hDlg, nColour, (WPARAM)hDC, (LPARAM)hCombo));
    ::ReleaseDC(hCombo, hDC);
    lVKeyToItem = ::SendMessageA(hDlg, WM_VKEYTOITEM, MAKEWPARAM(VK_DOWN, 0), (LPARAM)hCombo);
    lDragIcon = ::SendMessageA(hDlg, WM_QUERYDRAGICON, 0, 0);
    lDefId = ::SendMessageA(hDlg, DM_GETDEFID, 0, 0);
    caption = TextOf(hDlg);

    const char kPath[] = "C:\\dropped.txt\0";
    hDrop = (HDROP)::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + sizeof(kPath));
    DROPFILES* pFiles = (DROPFILES*)::GlobalLock(hDrop);
    pFiles->pFiles = sizeof(DROPFILES);
    std::memcpy(pFiles + 1, kPath, sizeof(kPath));
    ::GlobalUnlock(hDrop);
    ::SendMessageA(hDlg, WM_DROPFILES, (WPARAM)hDrop, 0);

    ::SendMessageA(::GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(nResult, IDOK);
  EXPECT_EQ(dialog.m_handled.Entries(),
            (std::vector<std::string>{"derived A", "base B", "selchange"}));
  EXPECT_EQ(lDragIcon, (LRESULT)dialog.m_hDragIcon);
  const LRESULT lGray = (LRESULT)::GetStockObject(GRAY_BRUSH);
  EXPECT_EQ(brushes, (std::vector<LRESULT>{lGray, lGray, lGray}));
  EXPECT_EQ(lVKeyToItem, -2);
  EXPECT_EQ(lDefId, MAKELRESULT(IDOK, DC_HASDEFID));
  EXPECT_EQ(caption, "Probe");
  EXPECT_EQ(dialog.m_hDrop, hDrop);
  EXPECT_EQ(dialog.m_dropped, "C:\\dropped.txt");
  ::GlobalFree(hDrop);
}

// Colours of the controls, and a tooltip on one of them: the dialog answers
// every colour question through its map, the label's in its own colour.
class ColourProbe : public CDialog {
 public:
  ColourProbe() : CDialog(IDD_FW_PROBE) {}

  std::atomic<HWND> m_hShown{nullptr};
  Log m_asked;  // "id kind" of each colour question
  CStatic m_label;
  CToolTipCtrl m_tip;
  BOOL m_bToolAdded = FALSE;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (m_tip.Create(this)) m_bToolAdded = m_tip.AddTool(&m_label, "first");
    m_hShown = m_hWnd;
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_FW_LABEL, m_label); }

  HBRUSH OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor) {
    m_asked.Add(std::to_string(hWnd ? ::GetDlgCtrlID(hWnd) : 0) + " " + std::to_string(nCtlColor));
    if (hWnd != nullptr && hWnd == m_label.m_hWnd) {
      ::SetTextColor(hDC, RGB(200, 0, 0));
      return (HBRUSH)::GetStockObject(BLACK_BRUSH);
    }
    return CDialog::OnCtlColor(hDC, hWnd, nCtlColor);
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ColourProbe, CDialog)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

TEST(MessageMapTest, OnCtlColorAnswersEveryColourMessageAndTheBaseGivesTheSystemColours) {
  ColourProbe dialog;
  const HBRUSH hWindow = ::GetSysColorBrush(COLOR_WINDOW), hFace = ::GetSysColorBrush(COLOR_3DFACE);
  const COLORREF crText = ::GetSysColor(COLOR_WINDOWTEXT), crRed = RGB(200, 0, 0);
  const struct {
    UINT nMessage;
    int nID;  // 0: no control
    UINT nKind;
    HBRUSH hBrush;
    COLORREF crText;
  } cases[] = {
      {WM_CTLCOLORSTATIC, IDC_FW_LABEL, CTLCOLOR_STATIC, (HBRUSH)::GetStockObject(BLACK_BRUSH),
       crRed},
      {WM_CTLCOLORSTATIC, IDC_FW_EDIT, CTLCOLOR_STATIC, hFace, crText},
      {WM_CTLCOLOREDIT, IDC_FW_EDIT, CTLCOLOR_EDIT, hWindow, crText},
      {WM_CTLCOLORLISTBOX, IDC_FW_COMBO, CTLCOLOR_LISTBOX, hWindow, crText},
      {WM_CTLCOLORBTN, IDC_FW_A, CTLCOLOR_BTN, hFace, crText},
      {WM_CTLCOLORSCROLLBAR, IDC_FW_COMBO, CTLCOLOR_SCROLLBAR, nullptr, 0},
      {WM_CTLCOLORDLG, 0, CTLCOLOR_DLG, hFace, crText},
      {WM_CTLCOLORMSGBOX, 0, CTLCOLOR_MSGBOX, hFace, crText},
  };
  std::string tipFirst, tipSecond;
  int nTools = 0;
  HWND hTip = nullptr;
  RunModal(dialog, [&](HWND hDlg) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.nMessage);
      HWND hCtl = c.nID != 0 ? ::GetDlgItem(hDlg, c.nID) : hDlg;
      HDC hDC = ::CreateCompatibleDC(nullptr);
      ::SetTextColor(hDC, RGB(9, 9, 9));
      const LRESULT lBrush = ::SendMessageA(hDlg, c.nMessage, (WPARAM)hDC, (LPARAM)hCtl);
      const COLORREF crGot = ::GetTextColor(hDC);
      ::DeleteDC(hDC);
      const std::string asked =
          std::to_string(c.nID != 0 ? c.nID : ::GetDlgCtrlID(hDlg)) + " " + std::to_string(c.nKind);
      EXPECT_TRUE(dialog.m_asked.Has(asked)) << asked;
      if (c.hBrush == nullptr) continue;  // the scroll bar's answer is the system's own
      EXPECT_EQ(lBrush, (LRESULT)c.hBrush);
      EXPECT_EQ(crGot, c.crText);
    }
    // A real repaint of the label asks through the same map.
    const int nBefore = (int)dialog.m_asked.Entries().size();
    ::RedrawWindow(::GetDlgItem(hDlg, IDC_FW_LABEL), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    // Asked from this thread, the repaint may come after the call returns.
    EXPECT_TRUE(WaitUntil([&] {
      return dialog.m_asked.Find(std::to_string(IDC_FW_LABEL) + " 6", nBefore) >= nBefore;
    }));

    hTip = dialog.m_tip.m_hWnd;
    EXPECT_EQ(::GetWindow(hTip, GW_OWNER), hDlg);
    nTools = dialog.m_tip.GetToolCount();
    tipFirst = dialog.m_tip.GetText(&dialog.m_label);
    dialog.m_tip.UpdateTipText("second", &dialog.m_label);
    tipSecond = dialog.m_tip.GetText(&dialog.m_label);
    PostClick(hDlg, IDOK);
  });
  EXPECT_TRUE(dialog.m_bToolAdded);
  EXPECT_EQ(nTools, 1);
  EXPECT_EQ(tipFirst, "first");
  EXPECT_EQ(tipSecond, "second");
  EXPECT_FALSE(::IsWindow(hTip)) << "the tooltip goes with its dialog";
}

// DoModal ---------------------------------------------------------------------

TEST(DoModalTest, EndsWithTheValueOfTheButtonKeyOrCloseBoxThatEndedIt) {
  Probe dialog;
  EXPECT_EQ(
      RunModal(dialog, [](HWND hDlg) { ::SendMessageA(::GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0); }),
      IDOK);
  EXPECT_EQ(RunModal(dialog,
                     [](HWND hDlg) {
                       ASSERT_TRUE(TakeKeyboard(hDlg, ::GetDlgItem(hDlg, IDC_FW_EDIT)));
                       PressKey(VK_ESCAPE);
                     }),
            IDCANCEL);
  EXPECT_EQ(RunModal(dialog,
                     [](HWND hDlg) {
                       ASSERT_TRUE(TakeKeyboard(hDlg, ::GetDlgItem(hDlg, IDC_FW_EDIT)));
                       PressKey(VK_RETURN);  // the default button
                     }),
            IDOK);
  EXPECT_EQ(RunModal(dialog, [](HWND hDlg) { ::PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0); }),
            IDCANCEL);
}

TEST(DoModalTest, PreTranslateMessageSeesQueuedMessagesFirstAndTrueSwallowsThem) {
  Probe dialog;
  const INT_PTR nResult = RunModal(dialog, [&](HWND hDlg) {
    HWND hEdit = ::GetDlgItem(hDlg, IDC_FW_EDIT);
    ::PostMessageA(hDlg, WM_APP + 1, 0, 0);
    ::PostMessageA(hEdit, WM_APP + 1, 0, 0);
    ::PostMessageA(hDlg, WM_APP + 2, 0, 0);
    ::PostThreadMessageA(::GetWindowThreadProcessId(hDlg, nullptr), WM_APP + 3, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return dialog.m_seen.Has("pre app+3 thread"); }));
    const int nPre = dialog.m_seen.Find("pre app+1 dialog");
    const int nDispatch = dialog.m_seen.Find("dispatch app+1 dialog");
    EXPECT_GE(nPre, 0);
    EXPECT_GT(nDispatch, nPre);
    EXPECT_TRUE(dialog.m_seen.Has("pre app+1 child"));
    EXPECT_TRUE(dialog.m_seen.Has("pre app+2 dialog"));
    EXPECT_FALSE(dialog.m_seen.Has("dispatch app+2 dialog"));

    // Enter swallowed: the default button never hears of it.
    dialog.m_bSwallowEnter = true;
    ASSERT_TRUE(TakeKeyboard(hDlg, hEdit));
    PressKey(VK_RETURN);
    // The release of the Enter that closed an earlier dialog may still come
    // to this one: only a release after this press shows the press is done.
    EXPECT_TRUE(WaitUntil([&] {
      const int nDown = dialog.m_seen.Find("pre keydown 13");
      return nDown >= 0 && dialog.m_seen.Find("pre keyup 13", nDown) >= 0;
    }));
    EXPECT_FALSE(dialog.m_seen.Has("command 1"));
    EXPECT_TRUE(::IsWindowVisible(hDlg));

    dialog.m_bSwallowEnter = false;
    PressKey(VK_RETURN);
  });
  EXPECT_EQ(nResult, IDOK);
}

TEST_F(MainWindowTest, TheOwnerOrItsLastActivePopupIsDisabledWhileTheDialogRuns) {
  HWND hMain = m_main.m_hWnd;
  Probe dialog;
  const INT_PTR nResult = RunModal(dialog, [&](HWND hDlg) {
    EXPECT_EQ(::GetWindow(hDlg, GW_OWNER), hMain);
    EXPECT_FALSE(::IsWindowEnabled(hMain));

    // A dialog opened from this one belongs to it, not to the main window.
    PostClick(hDlg, IDC_FW_CHILD);
    HWND hChild = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (hChild = dialog.m_hChild) && ::IsWindowVisible(hChild); }));
    EXPECT_EQ(::GetWindow(hChild, GW_OWNER), hDlg);
    EXPECT_FALSE(::IsWindowEnabled(hDlg));
    EXPECT_FALSE(::IsWindowEnabled(hMain));
    ::PostMessageA(hChild, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hChild); }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(hDlg) != FALSE; }));
    EXPECT_FALSE(::IsWindowEnabled(hMain));
    EXPECT_EQ(dialog.m_nChildResult, IDCANCEL);

    ::PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(nResult, IDOK);
  EXPECT_TRUE(::IsWindowEnabled(hMain));
  EXPECT_EQ(::GetActiveWindow(), hMain);
}

TEST_F(MainWindowTest, AMissingTemplateReturnsMinusOneAndLeavesTheOwnerAlone) {
  Probe dialog(IDD_FW_MISSING);
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(dialog.m_hShown, nullptr);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_TRUE(::IsWindowEnabled(m_main.m_hWnd));
}

TEST_F(MainWindowTest, AMainWindowObjectThatOutlivedItsWindowOwnsNothing) {
  ::DestroyWindow(m_main.m_hWnd);  // the object keeps the old handle
  Probe dialog;
  EXPECT_EQ(RunModal(dialog,
                     [](HWND hDlg) {
                       EXPECT_EQ(::GetWindow(hDlg, GW_OWNER), nullptr);
                       PostClick(hDlg, IDOK);
                     }),
            IDOK);
}

TEST_F(MainWindowTest, EndDialogInOnInitDialogReturnsWithoutEverShowing) {
  for (UINT nTemplate : {IDD_FW_PROBE, IDD_FW_VISIBLE, IDD_FW_VISIBLE_OLD}) {
    SCOPED_TRACE(nTemplate);
    Probe dialog(nTemplate);
    dialog.m_onInit = [](Probe& d) { d.EndDialog(5); };
    EXPECT_EQ(dialog.DoModal(), 5);
    EXPECT_FALSE(dialog.m_seen.Has("shown"));
    EXPECT_TRUE(::IsWindowEnabled(m_main.m_hWnd));
    EXPECT_FALSE(::IsWindow(dialog.m_hShown));
  }
  // Not ended, the visible template shows as usual.
  Probe visible(IDD_FW_VISIBLE);
  EXPECT_EQ(RunModal(visible, [](HWND hDlg) { PostClick(hDlg, IDOK); }), IDOK);
  EXPECT_TRUE(visible.m_seen.Has("shown"));
}

TEST_F(MainWindowTest, QuitDuringTheLoopEndsItAndIsLeftForTheOuterLoop) {
  Probe dialog;
  HWND hDlg = nullptr;
  RunModal(dialog, [&](HWND h) {
    hDlg = h;
    ::PostThreadMessageA(::GetWindowThreadProcessId(h, nullptr), WM_QUIT, 42, 0);
  });
  EXPECT_FALSE(::IsWindow(hDlg));
  EXPECT_TRUE(::IsWindowEnabled(m_main.m_hWnd));
  MSG msg = {};
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(MainWindowTest, EndDialogFromAnotherThreadEndsTheLoop) {
  Probe dialog;
  EXPECT_EQ(RunModal(dialog, [&](HWND) { dialog.EndDialog(77); }), 77);
  EXPECT_TRUE(::IsWindowEnabled(m_main.m_hWnd));
  // The ended loop does not carry over into the next one.
  EXPECT_EQ(RunModal(dialog, [&](HWND hDlg) { PostClick(hDlg, IDCANCEL); }), IDCANCEL);
}

// DDX_Control and the control wrappers ----------------------------------------

TEST(DdxControlTest, BindsTheMembersToEachNewWindowsControls) {
  Probe dialog;
  for (int nRun = 0; nRun < 2; ++nRun) {
    SCOPED_TRACE(nRun);
    int nCount = -1, nSel = -1, nPos = -1;
    RunModal(dialog, [&](HWND hDlg) {
      nCount = (int)::SendDlgItemMessageA(hDlg, IDC_FW_COMBO, CB_GETCOUNT, 0, 0);
      nSel = (int)::SendDlgItemMessageA(hDlg, IDC_FW_COMBO, CB_GETCURSEL, 0, 0);
      nPos = (int)::SendDlgItemMessageA(hDlg, IDC_FW_PROGRESS, PBM_GETPOS, 0, 0);
      ::SendDlgItemMessageA(hDlg, IDC_FW_COMBO, CB_SETCURSEL, 0, 0);
      EXPECT_EQ(dialog.m_combo.GetCurSel(), 0);
      EXPECT_EQ(dialog.m_combo.GetCount(), 2);
      EXPECT_EQ(dialog.m_progress.GetPos(), 40);
      PostClick(hDlg, IDOK);
    });
    ASSERT_NE(dialog.m_hComboItem, nullptr);
    ASSERT_NE(dialog.m_hProgressItem, nullptr);
    EXPECT_EQ(dialog.m_hComboBound, dialog.m_hComboItem);
    EXPECT_EQ(dialog.m_hProgressBound, dialog.m_hProgressItem);
    EXPECT_EQ(nCount, 2);
    EXPECT_EQ(nSel, 1);
    EXPECT_EQ(nPos, 40);
    EXPECT_EQ(dialog.m_nPreviousPos, 0);
  }
}

// AfxMessageBox ---------------------------------------------------------------

TEST_F(MainWindowTest, AfxMessageBoxHasTheAppCaptionAnIconAndTheLastActivePopupAsOwner) {
  Probe dialog;
  RunModal(dialog, [&](HWND hDlg) {
    for (int i = 0; i < (int)(sizeof(kBoxCases) / sizeof(kBoxCases[0])); ++i) {
      SCOPED_TRACE(i);
      const BoxCase& c = kBoxCases[i];
      dialog.m_nBoxCase = i;
      dialog.m_nBoxResult = 0;
      PostClick(hDlg, IDC_FW_BOX);
      HWND hBox = WaitForOwned(hDlg, kAppName);
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(TextOf(::GetDlgItem(hBox, 0xFFFF)),
                c.bFromStringTable ? "Loaded from the string table." : "Probe text");
      EXPECT_EQ(BoxIcon(hBox), ::LoadIconA(nullptr, c.pszIcon));
      EXPECT_FALSE(::IsWindowEnabled(hDlg));
      ::PostMessageA(hBox, WM_COMMAND, MAKEWPARAM(c.nAnswer, BN_CLICKED), 0);
      EXPECT_TRUE(WaitUntil([&] { return dialog.m_nBoxResult == c.nAnswer; }));
      EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(hDlg) != FALSE; }));
    }
    PostClick(hDlg, IDOK);
  });
}

TEST(AfxMessageBoxTest, FromAWorkerTheBoxBelongsToTheMainWindowWhichWaitsDisabled) {
  Probe dialog;
  g_app.m_pMainWnd = &dialog;
  const INT_PTR nResult = RunModal(dialog, [&](HWND hDlg) {
    EXPECT_EQ(::GetWindow(hDlg, GW_OWNER), nullptr);  // the main window has no owner
    std::atomic<int> nAnswer{0};
    std::thread worker([&] { nAnswer = AfxMessageBox(IDS_FW_PROMPT); });
    HWND hBox = WaitForOwned(hDlg, kAppName);
    EXPECT_NE(hBox, nullptr);
    if (hBox != nullptr) {
      EXPECT_EQ(TextOf(::GetDlgItem(hBox, 0xFFFF)), "Loaded from the string table.");
      EXPECT_EQ(BoxIcon(hBox), ::LoadIconA(nullptr, IDI_EXCLAMATION));
      EXPECT_FALSE(::IsWindowEnabled(hDlg));
      ::PostMessageA(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    worker.join();
    EXPECT_EQ(nAnswer, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(hDlg) != FALSE; }));
    PostClick(hDlg, IDOK);
  });
  g_app.m_pMainWnd = nullptr;
  EXPECT_EQ(nResult, IDOK);
}

// CWinApp ---------------------------------------------------------------------

TEST(WinAppTest, SetAppNameKeepsItsOwnCopyAndAfxGetAppIsTheRegisteredObject) {
  EXPECT_EQ(AfxGetApp(), &g_app);
  EXPECT_EQ(AfxGetInstanceHandle(), ::GetModuleHandleA(nullptr));

  char szName[] = "Renamed";
  g_app.SetAppName(szName);
  szName[0] = 'X';
  EXPECT_STREQ(g_app.m_pszAppName, "Renamed");
  EXPECT_NE(g_app.m_pszAppName, szName);
  g_app.SetAppName(g_app.m_pszAppName);  // its own title again
  EXPECT_STREQ(g_app.m_pszAppName, "Renamed");
  g_app.SetAppName("");
  EXPECT_STREQ(g_app.m_pszAppName, "");
  g_app.SetAppName(kAppName);
  EXPECT_STREQ(g_app.m_pszAppName, kAppName);
}

}  // namespace
