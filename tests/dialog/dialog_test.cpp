// The main dialog driven as a user would: its states, rules, keyboard
// filter, close confirmation and hashing jobs.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <ostream>

#include "engine/Catalogue.h"
#include "engine/Hasher.h"
#include "tests/common/TempTree.h"
#include "tests/dialog/DialogDriver.h"
#include "tests/dialog/DialogLayout.h"

namespace {

CWinApp g_app("Vexorin");

const char kMd5Abc[] = "900150983cd24fb0d6963f7d28e17f72";

std::string SystemText(DWORD dwError) {
  char sz[1024] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                   sz, sizeof(sz), nullptr);
  return sz;
}

std::string Expected(UINT nAlgorithm, const std::string& data, const std::string& key = "",
                     int hmac = 0, int upper = 0) {
  Hasher hasher(nAlgorithm);
  return hasher.HashString(data, key, hmac, upper);
}

int DialogUnitsToPixels(HWND hDlg, int nWidth) {
  RECT rc = {0, 0, nWidth, 10};
  ::MapDialogRect(hDlg, &rc);
  return rc.right;
}

int WidthOf(HWND hWnd) {
  RECT rc;
  ::GetWindowRect(hWnd, &rc);
  return rc.right - rc.left;
}

HWND FocusOf(HWND hDlg) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(hDlg, nullptr), &info);
  return info.hwndFocus;
}

// Handlers that would open a box if they misbehaved are sent with a
// time-out: a send that does not come back means a box is open.
bool SendReturns(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR dwResult = 0;
  return ::SendMessageTimeoutA(hWnd, message, wParam, lParam, SMTO_NORMAL, 15000, &dwResult) != 0;
}

// The list ends in an empty name, so an empty drop holds two NULs.
HGLOBAL MakeDrop(const std::vector<std::string>& paths) {
  size_t nSize = sizeof(DROPFILES) + 2;
  for (const std::string& path : paths) nSize += path.size() + 1;
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, nSize);
  DROPFILES* pDrop = static_cast<DROPFILES*>(::GlobalLock(hMem));
  pDrop->pFiles = sizeof(DROPFILES);
  pDrop->fWide = FALSE;
  char* p = reinterpret_cast<char*>(pDrop) + sizeof(DROPFILES);
  for (const std::string& path : paths) {
    memcpy(p, path.c_str(), path.size() + 1);
    p += path.size() + 1;
  }
  ::GlobalUnlock(hMem);
  return hMem;
}

void Press(WORD wVk) {
  guitest::KeyEvent(wVk, false);
  guitest::KeyEvent(wVk, true);
}

void PressCtrlA() {
  guitest::KeyEvent(VK_LCONTROL, false);
  Press('A');
  guitest::KeyEvent(VK_LCONTROL, true);
}

std::pair<int, int> Selection(HWND hEdit) {
  DWORD dwStart = 0, dwEnd = 0;
  ::SendMessageA(hEdit, EM_GETSEL, (WPARAM)&dwStart, (LPARAM)&dwEnd);
  return {(int)dwStart, (int)dwEnd};
}

// A file big enough that MD2 runs for a while even natively; made once.
std::string SlowFile() {
  static const TempFile file("slow.bin", Pattern(24 * 1048576));
  return file.Path();
}

void StartSlowJob(DialogDriver& d) {
  d.Click(IDC_FILE);
  d.SelectAlgorithm(5);  // MD2
  d.SetText(IDC_DATA, SlowFile());
  // Running once the worker has disabled the inputs.
  d.m_dialog.HoldAt(MainDialog::kControlsDisabled);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  d.m_dialog.Release();
}

}  // namespace

TEST(MainDialogStart, OpensInStringModeWithFocusInTheDataSource) {
  DialogDriver d;
  EXPECT_EQ(WindowText(d.m_hWnd), "Vexorin");
  const LONG lStyle = ::GetWindowLongA(d.m_hWnd, GWL_STYLE);
  EXPECT_TRUE(::GetWindowLongA(d.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(lStyle & WS_MINIMIZEBOX);
  EXPECT_TRUE(lStyle & WS_MAXIMIZEBOX);
  EXPECT_TRUE(lStyle & WS_THICKFRAME);

  EXPECT_TRUE(d.Checked(IDC_STRING));
  EXPECT_FALSE(d.Checked(IDC_FILE));
  HWND hList = d.Item(IDC_ALGORITHM);
  ASSERT_EQ(::SendMessageA(hList, CB_GETCOUNT, 0, 0), (LRESULT)kAlgorithmCount);
  EXPECT_EQ(::SendMessageA(hList, CB_GETCURSEL, 0, 0), 0);
  for (UINT i = 0; i < kAlgorithmCount; ++i) {
    char sz[64] = {};
    ::SendMessageA(hList, CB_GETLBTEXT, i, (LPARAM)sz);
    EXPECT_STREQ(sz, CatalogueEntryAt(i)->pszName);
  }
  EXPECT_EQ(d.Text(IDC_DATA), "");
  EXPECT_EQ(d.Text(IDC_KEY), "");
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_FALSE(d.Enabled(IDC_HMAC));
  EXPECT_FALSE(d.Enabled(IDC_KEY));
  EXPECT_FALSE(d.Enabled(IDC_START));
  EXPECT_EQ(d.Text(IDC_START), "Start");
  EXPECT_FALSE(d.Visible(IDC_BROWSE));
  EXPECT_EQ(d.ProgressPos(), 0);
  EXPECT_EQ(FocusOf(d.m_hWnd), d.Item(IDC_DATA));

  // The data source leads the tab order; disabled and hidden controls are
  // passed over. Checking a radio button gives it the tab stop (the button
  // control does that), so "String" is in the order and "File" is not.
  std::vector<int> order;
  HWND hCtl = ::GetNextDlgTabItem(d.m_hWnd, nullptr, FALSE);
  for (int i = 0; i < 12 && hCtl != nullptr; ++i) {
    order.push_back(::GetDlgCtrlID(hCtl));
    hCtl = ::GetNextDlgTabItem(d.m_hWnd, hCtl, FALSE);
    if (hCtl == d.Item(IDC_DATA)) break;
  }
  EXPECT_EQ(order, (std::vector<int>{IDC_DATA, IDC_COPY, IDC_ALGORITHM, IDC_STRING, IDC_RESULT,
                                     IDC_EXPECTED, IDC_UPPERCASE, IDC_ABOUT, IDOK}));
  EXPECT_EQ(d.Text(IDC_EXPECTED), "");
  EXPECT_EQ(d.Text(IDC_VERDICT), "");
}

TEST(MainDialogStates, StringAndFileLayouts) {
  DialogDriver d;
  HWND hData = d.Item(IDC_DATA);
  RECT rcList, rcData, rcBefore;
  ::GetWindowRect(d.Item(IDC_ALGORITHM), &rcList);
  ::GetWindowRect(hData, &rcData);
  EXPECT_EQ(WidthOf(hData), DialogUnitsToPixels(d.m_hWnd, 392));
  EXPECT_EQ(rcData.bottom - rcData.top, rcList.bottom - rcList.top);
  EXPECT_FALSE(d.ReadOnly(IDC_DATA));
  EXPECT_FALSE(::GetWindowLongA(d.m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

  d.SetText(IDC_DATA, "abc");
  ASSERT_NE(d.Text(IDC_RESULT), "");
  rcBefore = rcData;
  ::SetFocus(nullptr);
  d.Click(IDC_FILE);
  EXPECT_EQ(d.Text(IDC_DATA), "");
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(WidthOf(hData), DialogUnitsToPixels(d.m_hWnd, 336));
  EXPECT_EQ(WidthOf(hData), WidthOf(d.Item(IDC_RESULT)));
  ::GetWindowRect(hData, &rcData);
  EXPECT_EQ(rcData.left, rcBefore.left);
  EXPECT_EQ(rcData.top, rcBefore.top);
  EXPECT_TRUE(d.ReadOnly(IDC_DATA));
  EXPECT_TRUE(d.Visible(IDC_BROWSE));
  EXPECT_TRUE(d.Enabled(IDC_BROWSE));
  EXPECT_TRUE(d.Enabled(IDC_START));
  EXPECT_TRUE(::GetWindowLongA(d.m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_TRUE(d.ReadOnly(IDC_RESULT));
  EXPECT_EQ(::GetNextDlgTabItem(d.m_hWnd, nullptr, FALSE), hData);

  // Choosing String puts the focus into the data source; File leaves it.
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(IDC_COPY), TRUE);
  d.SetText(IDC_DATA, "x:\\file");
  d.Click(IDC_STRING);
  EXPECT_EQ(d.Text(IDC_DATA), "");
  EXPECT_EQ(FocusOf(d.m_hWnd), hData);
  EXPECT_FALSE(d.ReadOnly(IDC_DATA));
  EXPECT_FALSE(d.Visible(IDC_BROWSE));
  EXPECT_FALSE(d.Enabled(IDC_START));
  EXPECT_EQ(WidthOf(hData), DialogUnitsToPixels(d.m_hWnd, 392));
  // A click focuses the button it presses by itself, so File is chosen
  // here the way a program would: check it and tell the dialog.
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(IDC_COPY), TRUE);
  ::SendMessageA(d.Item(IDC_STRING), BM_SETCHECK, BST_UNCHECKED, 0);
  ::SendMessageA(d.Item(IDC_FILE), BM_SETCHECK, BST_CHECKED, 0);
  ::SendMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FILE, BN_CLICKED), (LPARAM)d.Item(IDC_FILE));
  EXPECT_TRUE(d.ReadOnly(IDC_DATA));
  EXPECT_EQ(FocusOf(d.m_hWnd), d.Item(IDC_COPY));
}

TEST(MainDialogStates, EnableControlsAroundAJob) {
  DialogDriver d;
  const int inputs[] = {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA,     IDC_BROWSE,
                        IDC_KEY,       IDC_RESULT, IDC_COPY, IDC_UPPERCASE};
  d.Click(IDC_FILE);
  for (int nIndex : {0, 1, 7}) {
    d.SelectAlgorithm(nIndex);
    d.m_dialog.EnableControls(false);
    for (int nID : inputs) EXPECT_FALSE(d.Enabled(nID)) << nID;
    EXPECT_FALSE(d.Enabled(IDC_HMAC));
    for (int nID : {IDC_START, IDC_ABOUT, IDOK, IDC_PROGRESS}) EXPECT_TRUE(d.Enabled(nID)) << nID;
    d.m_dialog.EnableControls(true);
    for (int nID : inputs) EXPECT_TRUE(d.Enabled(nID)) << nID;
    // The key comes back whatever the algorithm; the HMAC box only where
    // an HMAC exists.
    EXPECT_EQ(d.Enabled(IDC_HMAC), nIndex == 7) << nIndex;
    EXPECT_TRUE(d.ReadOnly(IDC_KEY));
  }
}

TEST(MainDialogRules, AlgorithmChangeAndHmacBox) {
  DialogDriver d;
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Text(IDC_RESULT), "352441c2");
  d.SelectAlgorithm(7);
  EXPECT_EQ(d.Text(IDC_RESULT), kMd5Abc);
  EXPECT_TRUE(d.Enabled(IDC_HMAC));
  EXPECT_TRUE(d.Enabled(IDC_KEY));
  EXPECT_TRUE(d.ReadOnly(IDC_KEY));

  // Checked: the result waits for a key, each key character recomputes.
  d.Click(IDC_HMAC);
  EXPECT_TRUE(d.Checked(IDC_HMAC));
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_FALSE(d.ReadOnly(IDC_KEY));
  EXPECT_EQ(FocusOf(d.m_hWnd), d.Item(IDC_KEY));
  d.SetText(IDC_KEY, "k");
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(7, "abc", "k", 1));
  d.SetText(IDC_KEY, "ke");
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(7, "abc", "ke", 1));
  EXPECT_NE(d.Text(IDC_RESULT), kMd5Abc);

  // Unchecked with a key: the key goes and the plain digest returns.
  d.Click(IDC_HMAC);
  EXPECT_EQ(d.Text(IDC_KEY), "");
  EXPECT_TRUE(d.ReadOnly(IDC_KEY));
  EXPECT_EQ(d.Text(IDC_RESULT), kMd5Abc);
  // Unchecked with no key: nothing recomputes, the result stays empty.
  d.Click(IDC_HMAC);
  d.Click(IDC_HMAC);
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Text(IDC_RESULT), kMd5Abc);

  // CRC32 with the box left checked: box and key disabled, key emptied,
  // and no result until the box is unchecked under an HMAC algorithm.
  d.Click(IDC_HMAC);
  d.SetText(IDC_KEY, "secret");
  d.SelectAlgorithm(0);
  EXPECT_FALSE(d.Enabled(IDC_HMAC));
  EXPECT_FALSE(d.Enabled(IDC_KEY));
  EXPECT_TRUE(d.Checked(IDC_HMAC));
  EXPECT_EQ(d.Text(IDC_KEY), "");
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  d.SelectAlgorithm(1);
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  d.SelectAlgorithm(12);
  EXPECT_TRUE(d.Enabled(IDC_HMAC));
  EXPECT_FALSE(d.ReadOnly(IDC_KEY));  // the box is still checked
  d.Click(IDC_HMAC);
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Text(IDC_RESULT), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(MainDialogRules, StringDigestsFollowEveryInput) {
  DialogDriver d;
  d.SelectAlgorithm(7);
  d.SetText(IDC_DATA, "a");
  d.SetText(IDC_DATA, "ab");
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Text(IDC_RESULT), kMd5Abc);
  d.SetText(IDC_DATA, "");
  EXPECT_EQ(d.Text(IDC_RESULT), "");  // never the digest of empty input
  d.SetText(IDC_DATA, "abc");
  d.SelectAlgorithm(14);
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(14, "abc"));
  d.SelectAlgorithm(18);
  EXPECT_EQ(d.Text(IDC_RESULT), "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");

  // The case box re-cases a shown result, and new results follow it.
  d.Click(IDC_UPPERCASE);
  EXPECT_EQ(d.Text(IDC_RESULT), "4E03657AEA45A94FC7D47BA826C8D667C0D1E6E33A64A036EC44F58FA12D6C45");
  d.SelectAlgorithm(7);
  EXPECT_EQ(d.Text(IDC_RESULT), "900150983CD24FB0D6963F7D28E17F72");
  d.Click(IDC_UPPERCASE);
  EXPECT_EQ(d.Text(IDC_RESULT), kMd5Abc);
  d.SetText(IDC_DATA, "");
  d.Click(IDC_UPPERCASE);
  EXPECT_EQ(d.Text(IDC_RESULT), "");
}

TEST(MainDialogRules, CopyPutsExactlyTheShownTextOnTheClipboard) {
  DialogDriver d;
  if (::OpenClipboard(nullptr)) {
    ::EmptyClipboard();
    ::CloseClipboard();
  }
  // Empty result: no notice, clipboard untouched.
  EXPECT_TRUE(SendReturns(d.Item(IDC_COPY), BM_CLICK));
  EXPECT_EQ(ClipboardText(), "");

  d.SelectAlgorithm(7);
  d.SetText(IDC_DATA, "abc");
  d.Click(IDC_UPPERCASE);
  d.PostClick(IDC_COPY);
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), "The result copied to clipboard successed!");
  AnswerBox(hBox, IDOK);
  EXPECT_EQ(ClipboardText(), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(MainDialogRules, DroppedFiles) {
  DialogDriver d;
  const TempFile fileA("drop-a.txt", "a"), fileB("drop-b.txt", "b"), fileC("drop-c.txt", "c");
  const std::string a = fileA.Path(), b = fileB.Path(), c = fileC.Path();
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(szTemp), szTemp);

  // String mode refuses drops.
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({a}), 0);
  EXPECT_EQ(d.Text(IDC_DATA), "");

  // One file goes into the data source; several, or a folder, go whole to
  // the list window and leave the data source as it was.
  d.Click(IDC_FILE);
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({a}), 0);
  EXPECT_EQ(d.Text(IDC_DATA), a);
  EXPECT_TRUE(d.m_dialog.m_listed.empty());
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({b, c, a}), 0);
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({szTemp}), 0);
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({szTemp, b}), 0);
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({}), 0);
  EXPECT_EQ(d.Text(IDC_DATA), a);
  const std::vector<std::vector<std::string>> listed = {{b, c, a}, {szTemp}, {szTemp, b}};
  EXPECT_EQ(d.m_dialog.m_listed, listed);
  EXPECT_TRUE(d.Checked(IDC_FILE));
}

// A single file opened with a checksum file beside it: Expected takes the
// line naming it, and says where from; the user's own text and a digest on
// the clipboard come first; opened from the command line, it checks at once.
TEST(MainDialogRules, TheLineNamingAnOpenedFileComesFromAChecksumFileBesideIt) {
  TempTree tree("sidecar");
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::string sumsLine = "900150983cd24fb0d6963f7d28e17f72  y.iso";
  ASSERT_TRUE(tree.File("x.iso", "abc") && tree.File("y.iso", "abc") && tree.File("z.iso", "abc"));
  ASSERT_TRUE(tree.File("x.iso.sha256", abc + " *x.iso\n"));
  ASSERT_TRUE(tree.File("MD5SUMS", "00000000000000000000000000000000  w.iso\n" + sumsLine + "\n"));
  {
    DialogDriver d;
    d.Click(IDC_FILE);
    ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({tree.Path("x.iso")}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), abc + " *x.iso");
    EXPECT_EQ(d.RunFileJob(tree.Path("x.iso")), abc);  // found by the line's length
    EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
    EXPECT_EQ(VerdictTip(d).rfind("Expected was taken from x.iso.sha256, line 1.", 0), 0u)
        << VerdictTip(d);
    // Another file's line replaces it; a file with none takes it away.
    ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({tree.Path("y.iso")}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), sumsLine);
    ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({tree.Path("z.iso")}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), "");
    // What the user typed stays.
    d.SetText(IDC_EXPECTED, "typed");
    ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeDrop({tree.Path("x.iso")}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), "typed");
  }
  {
    DialogDriver d(true, tree.Path("x.iso"));
    EXPECT_EQ(d.Text(IDC_EXPECTED), abc + " *x.iso");
    EXPECT_TRUE(WaitUntil([&] { return d.Text(IDC_VERDICT) == "Match"; })) << d.Text(IDC_VERDICT);
    EXPECT_EQ(d.Selected(), (UINT)kAlgorithmSHA256);
  }
  const std::string md5 = "900150983cd24fb0d6963f7d28e17f72";
  ASSERT_TRUE(PutOnClipboard(md5));
  DialogDriver d(false, tree.Path("x.iso"));
  EXPECT_EQ(d.Text(IDC_EXPECTED), md5);
  EXPECT_TRUE(WaitUntil([&] { return d.Text(IDC_VERDICT) == "Match"; })) << d.Text(IDC_VERDICT);
  EXPECT_EQ(d.Selected(), (UINT)kAlgorithmMD5);
}

// A checksum file dropped on Expected, in either mode, gives its text as if
// pasted; UTF-16 with its mark arrives as text; a file over 1 MiB or one
// that is not text is refused, and the tooltip says why.
TEST(MainDialogRules, ChecksumFilesDroppedOnExpected) {
  const std::string sums =
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  a.iso\r\n"
      "0000000000000000000000000000000000000000000000000000000000000000  b.iso\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : sums) utf16 += std::string(1, c) + '\0';
  const TempFile plain("SHA256SUMS", sums), wide("SHA256SUMS.utf16", utf16),
      large("large.sha256", std::string(1048577, 'a')),
      binary("binary.bin", std::string("a\0b", 3));
  DialogDriver d;
  HWND hExpected = d.Item(IDC_EXPECTED);
  EXPECT_NE(::GetWindowLongA(hExpected, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  for (bool bFile : {false, true}) {
    SCOPED_TRACE(bFile ? "File mode" : "String mode");
    if (bFile) d.Click(IDC_FILE);
    d.SetText(IDC_EXPECTED, "");
    ::SendMessageA(hExpected, WM_DROPFILES, (WPARAM)MakeDrop({plain.Path()}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), sums);
    EXPECT_EQ(d.Text(IDC_DATA), "");  // the data source is not touched
    d.SetText(IDC_EXPECTED, "");
    ::SendMessageA(hExpected, WM_DROPFILES, (WPARAM)MakeDrop({wide.Path()}), 0);
    EXPECT_EQ(d.Text(IDC_EXPECTED), sums);
    for (const TempFile* pRefused : {&large, &binary}) {
      ::SendMessageA(hExpected, WM_DROPFILES, (WPARAM)MakeDrop({pRefused->Path()}), 0);
      EXPECT_EQ(d.Text(IDC_EXPECTED), sums);
      EXPECT_NE(VerdictTip(d).find(pRefused == &large ? "over 1 MiB" : "not text"),
                std::string::npos)
          << VerdictTip(d);
    }
  }
}

TEST(MainDialogRules, PaintsItsIconWhileMinimised) {
  DialogDriver d;
  ::SendMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(d.m_hWnd) != FALSE; }));
  ::InvalidateRect(d.m_hWnd, nullptr, TRUE);
  ::UpdateWindow(d.m_hWnd);
  ::SendMessageA(d.m_hWnd, WM_PAINT, 0, 0);
  EXPECT_EQ((HICON)::SendMessageA(d.m_hWnd, WM_QUERYDRAGICON, 0, 0), d.m_dialog.m_hIcon);
  EXPECT_NE(d.m_dialog.m_hIcon, nullptr);
  ::SendMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(d.m_hWnd); }));
  EXPECT_FALSE(d.Ended());
}

TEST(MainDialogKeyboard, EnterAndEscapeDoNothingAndCtrlASelectsAll) {
  DialogDriver d;
  ::SetForegroundWindow(d.m_hWnd);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == d.m_hWnd; }));
  HWND hData = d.Item(IDC_DATA);

  // Enter on Exit (command 1) and Escape anywhere: nothing happens. The
  // typed letter afterwards shows that the keys have been handled.
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(IDOK), TRUE);
  Press(VK_RETURN);
  Press(VK_ESCAPE);
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)hData, TRUE);
  Press(VK_ESCAPE);
  Press(VK_RETURN);
  Press('X');
  ASSERT_TRUE(WaitUntil([&] { return d.Text(IDC_DATA) == "x"; }));
  EXPECT_FALSE(d.Ended());
  EXPECT_TRUE(::IsWindowVisible(d.m_hWnd));

  // Ctrl+A in the data source, the key and the result field.
  d.SelectAlgorithm(7);
  d.Click(IDC_HMAC);
  d.SetText(IDC_DATA, "hello");
  d.SetText(IDC_KEY, "key!");
  d.SetText(IDC_EXPECTED, "0x12 34");
  for (int nID : {IDC_DATA, IDC_KEY, IDC_RESULT, IDC_EXPECTED}) {
    HWND hField = d.Item(nID);
    ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)hField, TRUE);
    ::SendMessageA(hField, EM_SETSEL, 0, 0);
    const int nLength = (int)d.Text(nID).size();
    ASSERT_GT(nLength, 0);
    PressCtrlA();
    EXPECT_TRUE(WaitUntil([&] { return Selection(hField) == std::make_pair(0, nLength); })) << nID;
  }
  // In an empty field Ctrl+A does nothing; typing still goes on after it.
  d.SetText(IDC_DATA, "");
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)hData, TRUE);
  PressCtrlA();
  Press('B');
  ASSERT_TRUE(WaitUntil([&] { return d.Text(IDC_DATA) == "b"; }));
  EXPECT_EQ(Selection(hData), std::make_pair(1, 1));
}

// The expected digest and its verdict -----------------------------------------

namespace {

const char kSha256Abc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const COLORREF kDarkGreen = RGB(0, 100, 0);
const COLORREF kDarkRed = RGB(139, 0, 0);

// What a user sees of the verdict: its word, and its colour as the dialog
// answers the static's colour message.
struct Shown {
  std::string word;
  COLORREF colour;
  bool operator==(const Shown& o) const { return word == o.word && colour == o.colour; }
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << '"' << s.word << "\" in " << std::hex << s.colour << std::dec;
}

Shown Verdict(DialogDriver& d) {
  LRESULT lBrush = 0;
  const COLORREF colour = guitest::TextColourOf(d.Item(IDC_VERDICT), &lBrush);
  EXPECT_NE(lBrush, 0) << "the dialog gave no brush for the verdict";
  return {d.Text(IDC_VERDICT), colour};
}

const Shown kMatch = {"Match", kDarkGreen};
const Shown kNoMatch = {"No match", kDarkRed};

}  // namespace

TEST(MainDialogExpected, VerdictsInWordsColoursAndTooltips) {
  DialogDriver d;
  d.SelectAlgorithm(kAlgorithmMD5);
  d.SetText(IDC_DATA, "abc");
  ASSERT_EQ(d.Text(IDC_RESULT), kMd5Abc);
  const char kNotHex[] = "Not hexadecimal: a digest holds only the digits 0-9 and the letters A-F";
  const std::string k64 = "64 digits: " + NamesWithHexDigits(64);
  const struct {
    const char* pszExpected;
    Shown shown;
    const char* pszTip;
  } cases[] = {
      {"900150983cd24fb0d6963f7d28e17f72", kMatch, ""},
      {"900150983CD24FB0D6963F7D28E17F72", kMatch, ""},
      {"9001 5098 3cd2 4fb0  d696 3f7d 28e1 7f72", kMatch, ""},
      {"90:01:50:98:3c:d2:4f:b0:d6:96:3f:7d:28:e1:7f:72", kMatch, ""},
      {"90015098-3cd2-4fb0-d696-3f7d28e17f72", kMatch, ""},
      {"0x900150983cd24fb0d6963f7d28e17f72", kMatch, ""},
      {" 0X900150983CD24FB0D6963F7D28E17F72 ", kMatch, ""},
      {"900150983cd24fb0d6963f7d28e17f73", kNoMatch, ""},
      {kSha256Abc, kNoMatch, k64.c_str()},
      {"900150983cd24fb0d6963f7d28e17f7", kNoMatch,
       "31 digits: no entry has a digest of this length"},
      {"900150983cd24fb0d6963f7d28e17f7z", kNoMatch, kNotHex},
      {"sha256sum output", kNoMatch, kNotHex},
      {"", {"", ::GetSysColor(COLOR_WINDOWTEXT)}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszExpected);
    d.SetText(IDC_EXPECTED, c.pszExpected);
    d.SelectAlgorithm(kAlgorithmMD5);  // by hand: that entry's verdict alone
    EXPECT_EQ(Verdict(d), c.shown);
    EXPECT_EQ(VerdictTip(d), c.pszTip);
  }

  // The tooltip comes up under the real pointer.
  d.SetText(IDC_EXPECTED, kSha256Abc);
  d.SelectAlgorithm(kAlgorithmMD5);
  ::SetForegroundWindow(d.m_hWnd);
  HWND hTip = TooltipOf(d.m_hWnd);
  ASSERT_NE(hTip, nullptr);
  EXPECT_TRUE(guitest::HoverUntil(guitest::CentreOf(d.Item(IDC_VERDICT)),
                                  [&] { return ::IsWindowVisible(hTip) != FALSE; }));
  EXPECT_EQ(WindowText(hTip), k64);
  guitest::MoveMouseTo(POINT{0, 0});
}

TEST(MainDialogExpected, FollowsTypingTheAlgorithmTheCaseAndTheMode) {
  DialogDriver d;
  ::SetForegroundWindow(d.m_hWnd);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == d.m_hWnd; }));
  HWND hExpected = d.Item(IDC_EXPECTED);
  d.SelectAlgorithm(kAlgorithmMD5);

  // Typed into the field with real keys: Enter and Escape do nothing there,
  // and Ctrl+A selects it all, so the next key replaces it.
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)hExpected, TRUE);
  Press('F');
  Press(VK_RETURN);
  Press(VK_ESCAPE);
  Press('0');
  ASSERT_TRUE(WaitUntil([&] { return d.Text(IDC_EXPECTED) == "f0"; }));
  EXPECT_FALSE(d.Ended());
  EXPECT_EQ(Verdict(d).word, "");  // no result yet
  PressCtrlA();
  Press('9');
  ASSERT_TRUE(WaitUntil([&] { return d.Text(IDC_EXPECTED) == "9"; }));
  d.SetText(IDC_EXPECTED, kMd5Abc);

  // Typing the data: the verdict follows every key.
  ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(IDC_DATA), TRUE);
  const struct {
    WORD wKey;
    const char* pszData;
    Shown shown;
  } typing[] = {{'A', "a", kNoMatch},
                {'B', "ab", kNoMatch},
                {'C', "abc", kMatch},
                {VK_BACK, "ab", kNoMatch},
                {'C', "abc", kMatch}};
  for (const auto& t : typing) {
    Press(t.wKey);
    ASSERT_TRUE(WaitUntil([&] { return d.Text(IDC_DATA) == t.pszData; })) << t.pszData;
    EXPECT_EQ(Verdict(d), t.shown) << t.pszData;
  }

  // The case box: the result changes its letters, the verdict stays.
  for (int i = 0; i < 2; ++i) {
    d.Click(IDC_UPPERCASE);
    EXPECT_EQ(d.Text(IDC_RESULT), i == 0 ? "900150983CD24FB0D6963F7D28E17F72" : kMd5Abc);
    EXPECT_EQ(Verdict(d), kMatch);
  }

  // Trying entries by hand against one published digest: the text stays,
  // and each entry shows its own verdict.
  d.SetText(IDC_EXPECTED, kSha256Abc);
  const std::string k64 = "64 digits: " + NamesWithHexDigits(64);
  const std::string keccak = StandardSha3Hint(kAlgorithmSHA3_256);
  const struct {
    UINT nAlgorithm;
    Shown shown;
    const char* pszTip;
  } entries[] = {{kAlgorithmMD5, kNoMatch, k64.c_str()},
                 {kAlgorithmSHA256, kMatch, ""},
                 {kAlgorithmSHA3_256, kNoMatch, keccak.c_str()},
                 {kAlgorithmCRC32, kNoMatch, k64.c_str()},
                 {kAlgorithmSHA256, kMatch, ""}};
  for (const auto& e : entries) {
    d.SelectAlgorithm(e.nAlgorithm);
    EXPECT_EQ(d.Text(IDC_EXPECTED), kSha256Abc);
    EXPECT_EQ(Verdict(d), e.shown) << e.nAlgorithm;
    EXPECT_EQ(VerdictTip(d), e.pszTip) << e.nAlgorithm;
  }

  // HMAC without a key has no result, so no verdict; with the key, one.
  d.Click(IDC_HMAC);
  EXPECT_EQ(Verdict(d).word, "");
  d.SetText(IDC_KEY, "key");
  EXPECT_EQ(Verdict(d), kNoMatch);
  d.Click(IDC_HMAC);
  EXPECT_EQ(Verdict(d), kMatch);

  // Both modes keep the text; the cleared result empties the verdict.
  d.Click(IDC_FILE);
  EXPECT_EQ(d.Text(IDC_EXPECTED), kSha256Abc);
  EXPECT_EQ(Verdict(d).word, "");
  d.Click(IDC_STRING);
  EXPECT_EQ(d.Text(IDC_EXPECTED), kSha256Abc);
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(Verdict(d), kMatch);
}

TEST(MainDialogExpected, AFileJobsResultIsJudgedAndTheFieldStaysUsableDuringIt) {
  DialogDriver d;
  const TempFile file("expected.bin", "abc");
  const std::string path = file.Path();
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kAlgorithmSHA256);
  d.SetText(IDC_EXPECTED, std::string("0x") + kSha256Abc);
  d.SetText(IDC_DATA, path);
  EXPECT_EQ(Verdict(d).word, "");
  EXPECT_EQ(d.RunFileJob(path), kSha256Abc);
  EXPECT_EQ(Verdict(d), kMatch);
  d.SetText(IDC_DATA, path);  // a new path clears the result, and the verdict
  EXPECT_EQ(Verdict(d).word, "");

  // During a job the field takes a pasted digest; the verdict waits for the
  // result.
  StartSlowJob(d);
  EXPECT_TRUE(d.Enabled(IDC_EXPECTED));
  EXPECT_FALSE(d.ReadOnly(IDC_EXPECTED));
  d.SetText(IDC_EXPECTED, kMd5Abc);
  EXPECT_EQ(d.Text(IDC_EXPECTED), kMd5Abc);
  EXPECT_EQ(Verdict(d).word, "");
  d.PostClick(IDC_START);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(Verdict(d).word, "");
  EXPECT_EQ(d.Text(IDC_EXPECTED), kMd5Abc);
}

// A checksum text of almost 1 MiB is parsed once per change of it, not again
// on every key typed elsewhere, and its verdicts stay the text's.
TEST(MainDialogExpected, ALongChecksumTextIsParsedOncePerChange) {
  DialogDriver d;
  const TempFile file("parse-once.bin", "abc");
  std::string text;
  size_t nLines = 0;
  while (text.size() < 1000000) {
    char szPart[16];
    for (unsigned k = 0; k < 8; ++k) {
      std::snprintf(szPart, sizeof(szPart), "%08x", (unsigned)(nLines * 8 + k));
      text += szPart;
    }
    text += "  file" + std::to_string(nLines) + ".bin\n";
    ++nLines;
    if (nLines == 5000)
      text += std::string(kSha256Abc) + "  " + LastPathComponent(file.Path()) + "\n";
  }
  d.SetText(IDC_EXPECTED, text);
  const size_t nParses = d.m_dialog.m_expected.ParseCount();
  const std::string tip =
      "The text holds " + std::to_string(nLines + 1) + " digests; a string is checked against one";
  for (const char* pszData : {"a", "ab", "abc"}) d.SetText(IDC_DATA, pszData);
  d.SelectAlgorithm(kAlgorithmSHA256);
  d.Click(IDC_UPPERCASE);
  d.Click(IDC_UPPERCASE);
  EXPECT_EQ(Verdict(d), kNoMatch);
  EXPECT_EQ(VerdictTip(d), tip);
  EXPECT_EQ(d.m_dialog.m_expected.ParseCount(), nParses);
  d.SetText(IDC_EXPECTED, text + "\n");
  EXPECT_EQ(d.m_dialog.m_expected.ParseCount(), nParses + 1);
  // In File mode the line naming the file applies.
  d.Click(IDC_FILE);
  EXPECT_EQ(d.RunFileJob(file.Path()), kSha256Abc);
  EXPECT_EQ(Verdict(d), kMatch);
  EXPECT_EQ(d.m_dialog.m_expected.ParseCount(), nParses + 1);
}

TEST(MainDialogLayout, TheRowSitsUnderProgressAndOnlyTheBottomRowAndHeightMoved) {
  DialogDriver d;
  // Template positions in dialog units. The data source changes its size
  // with the data type, and a drop-down list's window is its closed field.
  const struct {
    int nID;
    RECT rc;  // left, top, width, height
    bool bSize;
  } controls[] = {
      {IDC_COPY, {403, 74, 50, 13}, true},      {IDC_START, {403, 90, 50, 13}, true},
      {IDC_ALGORITHM, {61, 14, 392, 0}, false}, {IDC_STRING, {61, 30, 35, 8}, true},
      {IDC_FILE, {100, 30, 27, 8}, true},       {IDC_DATA, {61, 42, 0, 0}, false},
      {IDC_BROWSE, {403, 42, 50, 13}, true},    {IDC_KEY, {61, 58, 336, 12}, true},
      {IDC_HMAC, {403, 60, 50, 8}, true},       {IDC_RESULT, {61, 74, 336, 12}, true},
      {IDC_PROGRESS, {61, 90, 336, 12}, true},  {IDC_EXPECTED, {61, 106, 336, 12}, true},
      {IDC_VERDICT, {403, 106, 50, 12}, true},  {IDC_UPPERCASE, {7, 136, 82, 8}, true},
      {IDC_ABOUT, {357, 131, 50, 13}, true},    {IDOK, {411, 131, 50, 13}, true},
      {IDC_GROUP, {7, 3, 454, 123}, true},
  };
  // The labels, which have no id, in template order. They are 44 units
  // wide so their text fits at 192 DPI.
  const RECT statics[] = {{15, 16, 44, 8}, {15, 30, 44, 8}, {15, 44, 44, 8}, {15, 60, 44, 8},
                          {15, 76, 44, 8}, {15, 92, 44, 8}, {15, 108, 44, 8}};
  // Position and size are converted apart, as the dialog manager does.
  const auto pixels = [&](RECT rc) {
    ::MapDialogRect(d.m_hWnd, &rc);
    rc.right += rc.left;
    rc.bottom += rc.top;
    return rc;
  };
  const auto placed = [&](HWND hWnd) {
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    ::MapWindowPoints(nullptr, d.m_hWnd, (POINT*)&rc, 2);
    return rc;
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.nID);
    const RECT want = pixels(c.rc), got = placed(d.Item(c.nID));
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    if (c.bSize) {
      EXPECT_EQ(got.right, want.right);
      EXPECT_EQ(got.bottom, want.bottom);
    }
  }
  std::vector<RECT> found;
  for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT))
    if ((::GetDlgCtrlID(h) & 0xFFFF) == 0xFFFF) found.push_back(placed(h));
  ASSERT_EQ(found.size(), sizeof(statics) / sizeof(statics[0]));
  for (size_t i = 0; i < found.size(); ++i) {
    const RECT want = pixels(statics[i]);
    EXPECT_TRUE(::EqualRect(&found[i], &want)) << "static " << i;
  }
  RECT rcClient;
  ::GetClientRect(d.m_hWnd, &rcClient);
  const RECT want = pixels({0, 0, 468, 151});
  EXPECT_EQ(rcClient.right, want.right);
  EXPECT_EQ(rcClient.bottom, want.bottom);
  // The row's styles: a bordered, scrolling, writable edit; a static that
  // hears the pointer, for its tooltip.
  const LONG lEdit = ::GetWindowLongA(d.Item(IDC_EXPECTED), GWL_STYLE);
  EXPECT_TRUE((lEdit & (ES_AUTOHSCROLL | WS_TABSTOP)) == (ES_AUTOHSCROLL | WS_TABSTOP));
  // The dialog manager may turn the border into a sunken edge.
  EXPECT_TRUE((lEdit & WS_BORDER) ||
              (::GetWindowLongA(d.Item(IDC_EXPECTED), GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
  EXPECT_FALSE(lEdit & ES_READONLY);
  EXPECT_TRUE(::GetWindowLongA(d.Item(IDC_VERDICT), GWL_STYLE) & SS_NOTIFY);
}

TEST(MainDialogLayout, WiderSizesGrowTheFieldsAndMoveTheRightColumn) {
  DialogDriver d;
  layouttest::ExpectWideningKeepsTheArrangement(d);
}

TEST(MainDialogLayout, DigestsAreWholeAtTheTemplateSizeAndMaximizedOn1024Pixels) {
  DialogDriver d;
  ASSERT_EQ(DpiForWindow(d.m_hWnd), 96u);
  const int cxTemplate = layouttest::ClientSize(d.m_hWnd).cx;
  HWND hResult = d.Item(IDC_RESULT);
  layouttest::ExpectEvery64DigitTextWhole(d);
  d.SetText(IDC_DATA, "abc");
  for (bool bUpper : {false, true}) {
    if (d.Checked(IDC_UPPERCASE) != bUpper) d.Click(IDC_UPPERCASE);
    for (UINT i = 0; i < kAlgorithmCount; ++i) {
      const CatalogueEntry* pEntry = CatalogueEntryAt(i);
      SCOPED_TRACE(std::string(pEntry->pszName) + (bUpper ? ", upper case" : ""));
      d.SelectAlgorithm((int)i);
      ASSERT_EQ(d.Text(IDC_RESULT).size(), pEntry->HexDigits());
      // Up to 64 digits at the template's size; all, 128 included, on a
      // screen 1024 pixels wide, whose maximized client area it is.
      layouttest::SetClientWidth(d.m_hWnd, cxTemplate);
      if (pEntry->HexDigits() <= 64) {
        EXPECT_TRUE(layouttest::ShowsWhole(hResult));
      }
      layouttest::SetClientWidth(d.m_hWnd, 1024);
      EXPECT_TRUE(layouttest::ShowsWhole(hResult));
    }
  }
}

TEST(MainDialogLayout, ADpiChangeScalesTheWidenedLayoutAndTheLeastSize) {
  DialogDriver d;
  HWND hDlg = d.m_hWnd;
  const UINT nDpi = DpiForWindow(hDlg), nNewDpi = nDpi * 3 / 2;
  const auto scale = [&](LONG l) { return ::MulDiv(l, (int)nNewDpi, (int)nDpi); };
  const SIZE sizeTemplate = layouttest::ClientSize(hDlg);
  const int dx = 150;
  layouttest::SetClientWidth(hDlg, sizeTemplate.cx + dx);
  const std::vector<layouttest::Place> places = layouttest::Places(hDlg);
  RECT rcWindow;
  ::GetWindowRect(hDlg, &rcWindow);

  // Moved to a monitor of 1.5 times the DPI, with the size the system
  // suggests: every control at its place scaled, extra width included.
  RECT rcSuggested = {rcWindow.left, rcWindow.top,
                      rcWindow.left + scale(rcWindow.right - rcWindow.left),
                      rcWindow.top + scale(rcWindow.bottom - rcWindow.top)};
  ::SendMessageA(hDlg, WM_DPICHANGED, MAKEWPARAM(nNewDpi, nNewDpi), (LPARAM)&rcSuggested);
  const SIZE sizeLeast = {scale(sizeTemplate.cx), scale(sizeTemplate.cy)};
  std::vector<layouttest::Place> scaled = places;
  for (layouttest::Place& place : scaled)
    place.rc = RECT{scale(place.rc.left), scale(place.rc.top), scale(place.rc.right),
                    scale(place.rc.bottom)};
  // A drop-down list's closed field takes its height from its font.
  for (layouttest::Place& place : scaled)
    if (place.nID == IDC_ALGORITHM)
      place.rc.bottom = place.rc.top + (layouttest::Placed(hDlg, place.hWnd).bottom -
                                        layouttest::Placed(hDlg, place.hWnd).top);
  const SIZE sizeNow = layouttest::ClientSize(hDlg);
  EXPECT_EQ(sizeNow.cy, sizeLeast.cy);
  EXPECT_GT(sizeNow.cx, sizeLeast.cx);
  layouttest::ExpectFollowing(hDlg, scaled, sizeNow.cx - scale(sizeTemplate.cx + dx));

  // The least size is the template's at the new DPI.
  layouttest::SetClientWidth(hDlg, sizeLeast.cx - 30);
  EXPECT_EQ(layouttest::ClientSize(hDlg).cx, sizeLeast.cx);
  layouttest::ExpectFollowing(hDlg, scaled, sizeLeast.cx - scale(sizeTemplate.cx + dx));
  MINMAXINFO info = {};
  ::SendMessageA(hDlg, WM_GETMINMAXINFO, 0, (LPARAM)&info);
  ::GetWindowRect(hDlg, &rcWindow);
  EXPECT_EQ(info.ptMinTrackSize.x, rcWindow.right - rcWindow.left);
  EXPECT_EQ(info.ptMaxTrackSize.y, rcWindow.bottom - rcWindow.top);
  EXPECT_EQ(info.ptMaxSize.y, rcWindow.bottom - rcWindow.top);

  // Back at the first DPI and widened as before: the first layout, but for
  // a pixel of rounding.
  layouttest::SetClientWidth(hDlg, sizeNow.cx);
  ::GetWindowRect(hDlg, &rcWindow);
  RECT rcBack = {rcWindow.left, rcWindow.top,
                 rcWindow.left + ::MulDiv(rcWindow.right - rcWindow.left, (int)nDpi, (int)nNewDpi),
                 rcWindow.top + ::MulDiv(rcWindow.bottom - rcWindow.top, (int)nDpi, (int)nNewDpi)};
  ::SendMessageA(hDlg, WM_DPICHANGED, MAKEWPARAM(nDpi, nDpi), (LPARAM)&rcBack);
  layouttest::SetClientWidth(hDlg, sizeTemplate.cx + dx);
  EXPECT_EQ(layouttest::ClientSize(hDlg).cy, sizeTemplate.cy);
  layouttest::ExpectFollowing(hDlg, places, 0, 1);
  layouttest::SetClientWidth(hDlg, 1);
  EXPECT_EQ(layouttest::ClientSize(hDlg).cx, sizeTemplate.cx);
}

TEST(MainDialogClose, IdleExitAndCloseBoxAskNothing) {
  {
    DialogDriver d;
    ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
    ASSERT_TRUE(d.WaitEnded());
    EXPECT_EQ(d.m_nResult, IDOK);
  }
  {
    DialogDriver d;
    ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(d.WaitEnded());
    EXPECT_EQ(d.m_nResult, IDCANCEL);
  }
}

TEST(MainDialogClose, AsksWhileAJobRuns) {
  DialogDriver d;
  d.m_dialog.m_job.m_bRunning = TRUE;
  for (int i = 0; i < 2; ++i) {
    if (i == 0)
      ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
      ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
    HWND hBox = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(BoxText(hBox), "There are a file is calculating, are you sure you want to quit?");
    AnswerBox(hBox, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
    EXPECT_FALSE(d.Ended());
  }
  ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  EXPECT_TRUE(d.WaitEnded());
  EXPECT_EQ(d.m_nResult, IDOK);
}

TEST(MainDialogJobs, FileDigestsEqualStringDigests) {
  DialogDriver d;
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += (char)(i * 31 + 5);
  const TempFile file("job.bin", bytes);
  const std::string path = file.Path();
  d.Click(IDC_FILE);
  for (int nIndex : {0, 1, 7, 12, 14, 18}) {
    d.SelectAlgorithm(nIndex);
    EXPECT_EQ(d.RunFileJob(path), Expected(nIndex, bytes)) << nIndex;
    EXPECT_EQ(d.Text(IDC_START), "Start");
    EXPECT_EQ(d.ProgressPos(), 100);  // the last report stays
  }
  // HMAC over a file, in upper case.
  d.SelectAlgorithm(7);
  d.Click(IDC_HMAC);
  d.SetText(IDC_KEY, "key");
  d.Click(IDC_UPPERCASE);
  EXPECT_EQ(d.RunFileJob(path), Expected(7, bytes, "key", 1, 1));
  // Changing the path clears the result and the bar.
  d.SetText(IDC_DATA, path);
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  // After a CRC32 job the key field is back but the HMAC box is not.
  d.Click(IDC_HMAC);
  ASSERT_FALSE(d.Checked(IDC_HMAC));
  d.SelectAlgorithm(0);
  EXPECT_EQ(d.RunFileJob(path), Expected(0, bytes, "", 0, 1));
  EXPECT_FALSE(d.Enabled(IDC_HMAC));
  EXPECT_TRUE(d.Enabled(IDC_KEY));
}

TEST(MainDialogJobs, ALongJobDisablesTheInputs) {
  DialogDriver d;
  StartSlowJob(d);
  EXPECT_EQ(d.Text(IDC_START), "Stop");
  for (int nID : {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA, IDC_BROWSE, IDC_KEY, IDC_RESULT,
                  IDC_COPY, IDC_UPPERCASE, IDC_HMAC})
    EXPECT_FALSE(d.Enabled(nID)) << nID;
  for (int nID : {IDC_START, IDC_ABOUT, IDOK}) EXPECT_TRUE(d.Enabled(nID)) << nID;
  ASSERT_NE(d.m_dialog.m_job.RunStop(), nullptr);

  // A second Start is the Stop question; No lets the job finish.
  d.PostClick(IDC_START);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), "There are a file is calculating, are you sure you want to stop?");
  AnswerBox(hBox, IDNO);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT).size(), 32u);
  EXPECT_EQ(d.Text(IDC_START), "Start");
  EXPECT_EQ(d.ProgressPos(), 100);
  EXPECT_EQ(d.m_dialog.m_job.RunStop(), nullptr);
  EXPECT_FALSE(d.m_dialog.m_job.m_bRunning);
  for (int nID : {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA, IDC_BROWSE, IDC_KEY, IDC_RESULT,
                  IDC_COPY, IDC_UPPERCASE, IDC_HMAC})
    EXPECT_TRUE(d.Enabled(nID)) << nID;
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, 1);
}

TEST(MainDialogJobs, StopYesEndsWithoutResult) {
  DialogDriver d;
  StartSlowJob(d);
  d.PostClick(IDC_START);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  EXPECT_EQ(d.Text(IDC_START), "Start");
  EXPECT_EQ(FindOwnedBox(d.m_hWnd, "Vexorin"), nullptr);
  EXPECT_TRUE(d.Enabled(IDC_ALGORITHM));
}

TEST(MainDialogJobs, FailuresShowTheSystemText) {
  DialogDriver d;
  d.Click(IDC_FILE);
  // A missing file.
  d.SetText(IDC_DATA, TempPath("no-such-file.bin"));
  d.PostClick(IDC_START);
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), SystemText(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(d.Text(IDC_START), "Stop");  // the notice comes before the end
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  EXPECT_EQ(d.Text(IDC_START), "Start");

  // A file another handle holds open for writing.
  const TempFile lockedFile("locked.bin", "locked");
  const std::string locked = lockedFile.Path();
  HANDLE hLock =
      ::CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
  d.SetText(IDC_DATA, locked);
  d.PostClick(IDC_START);
  hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), SystemText(ERROR_SHARING_VIOLATION));
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  ::CloseHandle(hLock);
  EXPECT_EQ(d.Text(IDC_RESULT), "");

  // No path at all.
  d.SetText(IDC_DATA, "");
  d.PostClick(IDC_START);
  hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), "Please specify the file name!");
  EXPECT_EQ(d.Text(IDC_START), "Start");
  // While the notice is open the job still exists: another Start does not
  // start a second one.
  EXPECT_TRUE(SendReturns(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
                          (LPARAM)d.Item(IDC_START)));
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, 3);
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_START), "Start");

  // HMAC checked without a key ends at once and silently.
  d.SetText(IDC_DATA, locked);
  d.SelectAlgorithm(7);
  d.Click(IDC_HMAC);
  d.PostClick(IDC_START);
  ASSERT_TRUE(WaitUntil([&] { return d.m_dialog.m_nThreadsStarted == 4; }));
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(FindOwnedBox(d.m_hWnd, "Vexorin"), nullptr);
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  EXPECT_EQ(d.Text(IDC_START), "Start");

  // A code without a system text still names the code.
  struct Show {
    static DWORD WINAPI Run(LPVOID p) {
      static_cast<MainDialog*>(p)->ShowSystemError(0x2000FFFF);
      return 0;
    }
  };
  HANDLE hShow = ::CreateThread(nullptr, 0, &Show::Run, &d.m_dialog, 0, nullptr);
  hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), "Error 536936447 (0x2000FFFF).");
  AnswerBox(hBox, IDOK);
  ::WaitForSingleObject(hShow, 30000);
  ::CloseHandle(hShow);
}

TEST(MainDialogJobs, NoThreadMeansNoJob) {
  DialogDriver d;
  d.Click(IDC_FILE);
  const TempFile file("nothread.bin", "abc");
  d.SetText(IDC_DATA, file.Path());
  for (bool bBind : {true, false}) {
    d.m_dialog.m_bFailBind = bBind;
    d.m_dialog.m_bFailCreate = !bBind;
    EXPECT_TRUE(SendReturns(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
                            (LPARAM)d.Item(IDC_START)));
    EXPECT_FALSE(d.m_dialog.m_job.HasWorker());
    EXPECT_EQ(d.Text(IDC_START), "Start");
    EXPECT_TRUE(d.Enabled(IDC_ALGORITHM));
    EXPECT_FALSE(d.m_dialog.m_job.m_bRunning);
  }
  d.m_dialog.m_bFailBind = d.m_dialog.m_bFailCreate = false;
  EXPECT_EQ(d.RunFileJob(d.Text(IDC_DATA)), "352441c2");
}

TEST(MainDialogJobs, OneJobAtATime) {
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(5);
  d.SetText(IDC_DATA, SlowFile());
  // Two clicks in a row; the worker of the first is held before it sets
  // "Stop", so the second finds a job starting up.
  d.m_dialog.HoldAt(MainDialog::kPathRead);
  d.PostClick(IDC_START);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  EXPECT_TRUE(SendReturns(d.m_hWnd, WM_NULL));  // both clicks handled
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, 1);
  EXPECT_EQ(d.Text(IDC_START), "Start");
  d.m_dialog.HoldAt(MainDialog::kControlsDisabled);
  d.m_dialog.Release();
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  d.m_dialog.m_job.RunStop()->store(1);
  d.m_dialog.Release();
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_START), "Start");
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, 1);
}

TEST(MainDialogJobs, ClosingDuringAJobEndsItCleanly) {
  {
    DialogDriver d;
    StartSlowJob(d);
    ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND hBox = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hBox, nullptr);
    AnswerBox(hBox, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
    EXPECT_FALSE(d.Ended());
    EXPECT_TRUE(d.m_dialog.m_job.m_bRunning);
    EXPECT_EQ(d.Text(IDC_START), "Stop");
  }
  for (int i = 0; i < 20; ++i) {
    DialogDriver d;
    StartSlowJob(d);
    if (i % 2)
      ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
      ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
    HWND hBox = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hBox, nullptr);
    AnswerBox(hBox, IDYES);
    ASSERT_TRUE(d.WaitEnded()) << i;
    EXPECT_FALSE(d.m_dialog.m_job.HasWorker());
    EXPECT_EQ(d.m_dialog.m_job.RunStop(), nullptr);
  }
}
