// Vexorin.exe as its own process, driven from outside purely by window
// messages, the way another program or a user would: its window, both ways
// out, String and File digests end to end, and closing during a job.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/Hasher.h"
#include "res/resource.h"
#include "tests/common/GuiTestSupport.h"
#include "tests/common/TempFile.h"
#include "tests/common/DeepFile.h"
#include "tests/program/Program.h"

namespace {

using namespace guitest;
using namespace programtest;

const char kQuitQuestion[] = "There are a file is calculating, are you sure you want to quit?";
const int kMd2 = kAlgorithmMD2;
const int kMd5 = kAlgorithmMD5;
const int kSha256 = kAlgorithmSHA256;

// The crash dialog of the system's debugger, had any process failed.
bool CrashDialogShown() { return !TopLevelWindows(0, nullptr, "Program Error").empty(); }

TEST(ProgramStart, OwnTaskBarWindowThatWidensAndExitEndsWithCodeZero) {
  Program program;
  ASSERT_NE(program.Window(), nullptr) << "no window titled Vexorin from " << ProgramPath();
  EXPECT_EQ(ClassOf(program.Window()), "#32770");
  EXPECT_EQ(::GetWindow(program.Window(), GW_OWNER), nullptr);
  const LONG lStyle = ::GetWindowLongA(program.Window(), GWL_STYLE);
  const LONG lExStyle = ::GetWindowLongA(program.Window(), GWL_EXSTYLE);
  EXPECT_TRUE(lExStyle & WS_EX_APPWINDOW);
  EXPECT_TRUE(lStyle & WS_MINIMIZEBOX);
  EXPECT_TRUE(lStyle & WS_MAXIMIZEBOX);
  EXPECT_TRUE(lStyle & WS_THICKFRAME);
  EXPECT_EQ(program.Text(IDC_START), "Start");

  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

TEST(ProgramStart, CloseBoxEndsWithCodeZero) {
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.PostCloseBox();
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

TEST(ProgramEndToEnd, StringDigestsOfPublishedVectors) {
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  ASSERT_TRUE(program.Checked(IDC_STRING));

  program.SelectAlgorithm(kMd5);
  program.SetText(IDC_DATA, "abc");
  EXPECT_EQ(program.Text(IDC_RESULT), "900150983cd24fb0d6963f7d28e17f72");

  program.SelectAlgorithm(kSha256);
  EXPECT_EQ(program.Text(IDC_RESULT),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  // A published digest as pages print it, then one digit off.
  program.SetText(IDC_EXPECTED,
                  "0xBA7816BF 8F01CFEA 414140DE 5DAE2223 B00361A3 96177A9C B410FF61 F20015AD");
  EXPECT_EQ(program.Text(IDC_VERDICT), "Match");
  program.SetText(IDC_EXPECTED, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae");
  EXPECT_EQ(program.Text(IDC_VERDICT), "No match");
  program.SetText(IDC_EXPECTED, "");
  EXPECT_EQ(program.Text(IDC_VERDICT), "");

  program.SelectAlgorithm(0);
  program.SetText(IDC_DATA, "123456789");
  EXPECT_EQ(program.Text(IDC_RESULT), "cbf43926");

  // HMAC-MD5, RFC 2202 case 2, then shown in upper case.
  program.SelectAlgorithm(kMd5);
  program.Click(IDC_HMAC);
  ASSERT_TRUE(program.Checked(IDC_HMAC));
  program.SetText(IDC_DATA, "what do ya want for nothing?");
  EXPECT_EQ(program.Text(IDC_RESULT), "") << "no digest before the key is typed";
  program.SetText(IDC_KEY, "Jefe");
  EXPECT_EQ(program.Text(IDC_RESULT), "750c783e6ab0b503eaa86e310a5db738");
  program.Click(IDC_UPPERCASE);
  EXPECT_EQ(program.Text(IDC_RESULT), "750C783E6AB0B503EAA86E310A5DB738");

  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

// The full path of the common-controls library loaded into a process, in
// lower case; empty if it is not loaded.
std::string LoadedComctlPath(DWORD dwProcess) {
  HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcess);
  if (hProcess == nullptr) return "";
  HMODULE modules[1024];
  DWORD dwNeeded = 0;
  std::string path;
  if (::EnumProcessModules(hProcess, modules, sizeof(modules), &dwNeeded)) {
    const DWORD nModules = std::min<DWORD>(dwNeeded / sizeof(HMODULE), 1024);
    for (DWORD i = 0; i < nModules && path.empty(); ++i) {
      char szName[MAX_PATH] = {};
      ::GetModuleBaseNameA(hProcess, modules[i], szName, sizeof(szName));
      if (::lstrcmpiA(szName, "comctl32.dll") != 0) continue;
      char szPath[MAX_PATH] = {};
      ::GetModuleFileNameExA(hProcess, modules[i], szPath, sizeof(szPath));
      path = szPath;
    }
  }
  ::CloseHandle(hProcess);
  for (char& c : path) c = (char)::tolower((unsigned char)c);
  return path;
}

TEST(ProgramManifest, VisualStylesAndTheUtf8CodePage) {
  // This test links the program's manifest, so it shares its code page;
  // what the program does with it shows in the digests below.
  EXPECT_EQ(::GetACP(), 65001u);
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  // Version 6 comes from the side-by-side store, as the assembly of that
  // name and version; without the manifest the system folder's copy loads.
  EXPECT_NE(LoadedComctlPath(program.ProcessId())
                .find("_microsoft.windows.common-controls_6595b64144ccf1df_6."),
            std::string::npos)
      << LoadedComctlPath(program.ProcessId());
  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

// Real key presses in several scripts are hashed as the UTF-8 bytes of the
// text, the way other tools hash it. The digests come from an independent
// implementation (Python's hashlib and hmac).
TEST(ProgramManifest, TypedTextIsHashedAsItsUtf8Bytes) {
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.SelectAlgorithm(kSha256);
  ASSERT_TRUE(program.FocusOn(IDC_DATA));
  // clang-format off
  const struct {
    const wchar_t* pszTyped;
    const char* pszUtf8;
    const char* pszSha256;
  } cases[] = {
      {L"\u00e9",             "\xc3\xa9",
       "4a99557e4033c3539de2eb65472017cad5f9557f7a0625a09f1c3f6e2ba69c4c"},
      {L"\u041f\u0440\u0438\u0432\u0435\u0442", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
       "dd679c0b9fd408a04148aa7d30c9df393f67b7227f65693fffe0ed6d0f0ade59"},
      {L"\u4f60\u597d",       "\xe4\xbd\xa0\xe5\xa5\xbd",
       "670d9743542cae3ea7ebe36af56bd53648b0a1126162e78d81a32934a711302e"},
      {L"\xd83d\xde42",       "\xf0\x9f\x99\x82",
       "d06f1525f791397809f9bc98682b5c13318eca4c3123433467fd4dffda44fd14"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszUtf8);
    program.SetText(IDC_DATA, "");
    guitest::TypeUnicode(c.pszTyped);
    EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_RESULT) == c.pszSha256; }, 15000))
        << program.Text(IDC_RESULT);
    EXPECT_EQ(program.Text(IDC_DATA), c.pszUtf8);
  }

  // HMAC-SHA2-256 of "Привет" under the key "ключ".
  program.SetText(IDC_DATA, "");
  guitest::TypeUnicode(L"\u041f\u0440\u0438\u0432\u0435\u0442");
  // The click is sent, so it would overtake keys still queued.
  ASSERT_TRUE(WaitUntil(
      [&] { return program.Text(IDC_DATA) == "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"; },
      15000));
  program.Click(IDC_HMAC);
  ASSERT_TRUE(program.FocusOn(IDC_KEY));
  guitest::TypeUnicode(L"\u043a\u043b\u044e\u0447");
  EXPECT_TRUE(WaitUntil(
      [&] {
        return program.Text(IDC_RESULT) ==
               "6d7e9c93ce119cdc9af66fbfcb2611cd5d38a6288da924c7a84cc2f4d06ab72d";
      },
      15000))
      << program.Text(IDC_RESULT);
  EXPECT_EQ(program.Text(IDC_KEY), "\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87");

  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

TEST(ProgramEndToEnd, FileDigestsAndFilesThatCannotBeRead) {
  TempFile abc("abc.txt", "abc");
  const std::string bytes = Pattern(3 * 1048576 + 17);  // four chunks, the last one short
  TempFile pattern("pattern.bin", bytes);
  ASSERT_TRUE(abc.Written() && pattern.Written());

  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.Click(IDC_FILE);
  ASSERT_TRUE(program.Checked(IDC_FILE));
  ASSERT_TRUE(program.Enabled(IDC_START));

  program.SelectAlgorithm(kMd5);
  EXPECT_EQ(program.RunFileJob(abc.Path()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(program.ProgressPos(), 100);

  program.SelectAlgorithm(kSha256);
  EXPECT_EQ(program.RunFileJob(pattern.Path()), Expected(kSha256, bytes));
  EXPECT_EQ(program.ProgressPos(), 100);
  EXPECT_TRUE(program.Enabled(IDC_DATA) && program.Enabled(IDC_ALGORITHM));

  // The system's own text for the failure, in a box of the program's name:
  // a missing file, and one this process holds open for writing.
  HANDLE hHeld = ::CreateFileA(pattern.Path(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
  const struct {
    std::string path;
    DWORD dwError;
  } failures[] = {{std::string(abc.Path()) + ".missing", ERROR_FILE_NOT_FOUND},
                  {pattern.Path(), ERROR_SHARING_VIOLATION}};
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.path);
    program.SetText(IDC_DATA, failure.path);
    program.PostClick(IDC_START);
    HWND hBox = program.WaitForBox("Vexorin");
    ASSERT_NE(hBox, nullptr);
    char szSystem[512] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     failure.dwError, 0, szSystem, sizeof(szSystem), nullptr);
    EXPECT_EQ(BoxText(hBox), szSystem);
    AnswerBox(hBox, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_START) == "Start"; }));
    EXPECT_EQ(program.Text(IDC_RESULT), "");
    EXPECT_EQ(program.ProgressPos(), 0);
  }
  ::CloseHandle(hHeld);

  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

// What the program shows after a file job: a notice's text, or the result.
std::string JobOutcome(Program& program, const std::string& path) {
  program.SetText(IDC_DATA, path);
  program.PostClick(IDC_START);
  std::string outcome = "<nothing>";
  WaitUntil([&] {
    const std::vector<HWND> boxes =
        TopLevelWindows(program.ProcessId(), "#32770", "Vexorin", program.Window());
    if (!boxes.empty()) {
      outcome = "notice: " + BoxText(boxes.front());
      AnswerBox(boxes.front(), IDOK);
      return true;
    }
    if (program.Text(IDC_START) == "Start" && !program.Text(IDC_RESULT).empty()) {
      outcome = "digest: " + program.Text(IDC_RESULT);
      return true;
    }
    return false;
  });
  WaitUntil([&] { return program.Text(IDC_START) == "Start"; });
  return outcome;
}

std::string Notice(DWORD dwError) {
  char sz[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                   sz, sizeof(sz), nullptr);
  return std::string("notice: ") + sz;
}

// Names and files a careless or hostile user may give the program: each
// ends in a clear notice or the digest of the file named, never a crash, a
// hang or the digest of something else.
TEST(ProgramHostileInputs, EachGivesANoticeOrTheRightDigest) {
  const TempFile abc("hostile.txt", "abc");
  const std::string abcDigest = "digest: " + Expected(kMd5, "abc");
  std::string deleted;
  {
    const TempFile gone("deleted.txt", "gone");
    deleted = gone.Path();
  }
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(szTemp), szTemp);
  const std::string folder(szTemp, std::strlen(szTemp) - 1);
  const std::string pipeName =
      "\\\\.\\pipe\\vexorin-hostile-" + std::to_string(::GetCurrentProcessId());
  HANDLE hPipe = ::CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096,
                                    4096, 0, nullptr);
  ASSERT_NE(hPipe, INVALID_HANDLE_VALUE);
  const TempFile locked("locked.txt", "locked");
  HANDLE hLock = ::CreateFileA(locked.Path(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hLock, INVALID_HANDLE_VALUE);

  const std::string notAFile = Notice(ERROR_NOT_SUPPORTED);
  const struct {
    std::string path;
    std::string outcome;  // empty: any notice
  } cases[] = {
      {"CON", ""},  // the device, or no console to name: either way a notice
      {"NUL", notAFile},
      {"COM1", ""},
      {pipeName, notAFile},
      {"\\\\.\\pipe\\vexorin-no-such-pipe", Notice(ERROR_FILE_NOT_FOUND)},
      {std::string(abc.Path()) + ".", abcDigest},
      {std::string(abc.Path()) + "  ", abcDigest},
      {std::string(abc.Path()) + " . .", abcDigest},
      {folder, Notice(ERROR_ACCESS_DENIED)},
      {std::string(szTemp) + std::string(300, 'x') + "\\file.bin", ""},
      {locked.Path(), Notice(ERROR_SHARING_VIOLATION)},
      {deleted, Notice(ERROR_FILE_NOT_FOUND)},
  };
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.Click(IDC_FILE);
  program.SelectAlgorithm(kMd5);
  for (const auto& c : cases) {
    const std::string outcome = JobOutcome(program, c.path);
    std::printf("[ input  ] %.60s -> %s\n", c.path.c_str(), outcome.c_str());
    if (c.outcome.empty())
      EXPECT_EQ(outcome.rfind("notice: ", 0), 0u) << c.path << ": " << outcome;
    else
      EXPECT_EQ(outcome, c.outcome) << c.path;
    EXPECT_EQ(program.Text(IDC_RESULT), outcome.rfind("digest: ", 0) == 0 ? outcome.substr(8) : "");
  }
  ::CloseHandle(hLock);
  ::CloseHandle(hPipe);

  // A file that grows while it is read: the digest of the bytes it had when
  // the job began. Windows writers cannot share it with the job (that is
  // the locked case above); the host can.
  const std::string grown = Pattern(12 * 1048576);
  const TempFile growing("growing.bin", grown);
  program.SelectAlgorithm(kMd2);
  program.SetText(IDC_DATA, growing.Path());
  program.PostClick(IDC_START);
  // The first report means the job has the file open and its size known.
  ASSERT_TRUE(WaitUntil([&] { return program.ProgressPos() > 0; }));
  if (ResizeFromHost(growing.Path(), grown.size() + 4 * 1048576)) {
    const bool bGrewDuringTheJob = program.Text(IDC_START) == "Stop";
    EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_START) == "Start"; }));
    std::printf("[ input  ] a file that grew from 12 to 16 MiB during the job -> digest: %s\n",
                program.Text(IDC_RESULT).c_str());
    if (bGrewDuringTheJob) {
      EXPECT_EQ(program.Text(IDC_RESULT), Expected(kMd2, grown));
    }
  }
  EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_START) == "Start"; }));

  // A key of 1 MiB, pasted as a user would, over a file and over a typed
  // text: the digest covers all of it.
  std::string key(1048576, 'k');
  for (size_t i = 0; i < key.size(); ++i) key[i] = (char)('!' + (i * 7 + i / 997) % 90);
  ASSERT_TRUE(PutOnClipboard(key));
  program.SelectAlgorithm(kMd5);
  program.Click(IDC_HMAC);
  program.Send(IDC_KEY, WM_PASTE, 0, 0);
  EXPECT_EQ(program.Send(IDC_KEY, WM_GETTEXTLENGTH, 0, 0), (LRESULT)key.size());
  Hasher hasher(kMd5);
  const std::string keyed = hasher.HashString("abc", key, 1, 0);
  const std::string outcome = JobOutcome(program, abc.Path());
  std::printf("[ input  ] a 1 MiB key over a file -> %s\n", outcome.c_str());
  EXPECT_EQ(outcome, "digest: " + keyed);
  program.Click(IDC_STRING);
  program.SetText(IDC_DATA, "abc");
  EXPECT_EQ(program.Text(IDC_RESULT), keyed);
  EXPECT_FALSE(CrashDialogShown());
  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

bool RunsUnderWine() {
  return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Picks path with Browse: the program's open dialog is found, the path
// written into its file-name field and Open pressed. True once the data
// source shows the path.
bool PickWithBrowse(Program& program, const std::string& path) {
  program.SetText(IDC_DATA, "");
  program.PostClick(IDC_BROWSE);
  HWND hPicker = program.WaitForBox("Open");
  if (hPicker == nullptr) return false;
  HWND hField = ::GetDlgItem(hPicker, cmb13);
  if (hField == nullptr) hField = ::GetDlgItem(hPicker, edt1);
  ::SendMessageA(hField, WM_SETTEXT, 0, (LPARAM)path.c_str());
  ::PostMessageA(hPicker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return WaitUntil([&] { return program.Text(IDC_DATA) == path; }, 15000);
}

// Names that only the UTF-8 code page carries, and a path beyond MAX_PATH
// that only the extended form opens, set into the data source and picked
// with Browse. The open dialog of Wine keeps the chosen path in a MAX_PATH
// buffer of its own and overruns it with a longer one, so under Wine the
// long path is not picked (the picker's own buffer takes it: picker tests).
TEST(ProgramFileNames, MixedScriptsAndLongPathsThroughTheFieldAndBrowse) {
  const std::string bytes = Pattern(300000);
  TempFile mixed(
      "\xd0\xbe\xd1\x82\xd1\x87\xd1\x91\xd1\x82-\xe6\x8a\xa5\xe5\x91\x8a-\xf0\x9f\x99\x82.bin",
      bytes);  // "отчёт-报告-🙂.bin"
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(szTemp), szTemp);
  DeepFile deep(
      std::string(szTemp) + "vexorin-program-deep-" + std::to_string(::GetCurrentProcessId()),
      "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb-\xe6\x96\x87\xe4\xbb\xb6.bin", bytes);  // "файл-文件.bin"
  ASSERT_TRUE(mixed.Written());
  ASSERT_TRUE(deep.Made());
  ASSERT_GT(deep.Path().size(), 300u);
  const std::string expected = Expected(kSha256, bytes);

  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.Click(IDC_FILE);
  program.SelectAlgorithm(kSha256);
  for (const std::string& path : {std::string(mixed.Path()), deep.Path()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(program.RunFileJob(path), expected);
    if (path.size() >= MAX_PATH && RunsUnderWine()) continue;
    ASSERT_TRUE(PickWithBrowse(program, path)) << program.Text(IDC_DATA);
    program.PostClick(IDC_START);
    EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_RESULT) == expected; }))
        << program.Text(IDC_RESULT);
    EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_START) == "Start"; }));
  }

  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

// "Vexorin.exe <path>", as Open with, Send To and a drop on the icon run
// it, with a path of mixed scripts beyond MAX_PATH: the program opens in
// File mode on the whole path and waits for Start; with a published digest
// on the clipboard it checks the file at once. Further arguments are
// ignored; a missing path still goes into the field.
TEST(ProgramCommandLine, OpensOnTheFileAndChecksAtOnceWithAClipboardDigest) {
  const std::string bytes = Pattern(70000);
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(szTemp), szTemp);
  DeepFile deep(std::string(szTemp) + "vexorin-\xd0\xbf\xd1\x83\xd1\x82\xd1\x8c-" +
                    std::to_string(::GetCurrentProcessId()),
                "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb-\xe6\x96\x87\xe4\xbb\xb6-\xf0\x9f\x99\x82.iso",
                bytes);  // "путь", "файл-文件-🙂.iso"
  ASSERT_TRUE(deep.Made());
  ASSERT_GT(deep.Path().size(), 300u);
  const std::wstring wide = WideFromUtf8(deep.Path());
  const std::string sha256 = Expected(kSha256, bytes);

  for (bool bClipboard : {false, true}) {
    SCOPED_TRACE(bClipboard ? "a digest on the clipboard" : "an empty clipboard");
    if (bClipboard) {
      ASSERT_TRUE(PutOnClipboard(sha256));
    } else {
      EmptyTheClipboard();
    }
    Program program(L"\"" + wide + L"\"", false);
    ASSERT_NE(program.Window(), nullptr);
    EXPECT_TRUE(program.Checked(IDC_FILE));
    EXPECT_EQ(program.Text(IDC_DATA), deep.Path());
    if (bClipboard) {
      EXPECT_EQ(program.Text(IDC_EXPECTED), sha256);
      EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_VERDICT) == "Match"; }))
          << program.Text(IDC_VERDICT);
      EXPECT_EQ(program.Text(IDC_RESULT), sha256);
      EXPECT_EQ(program.Text(IDC_START), "Start");
      EXPECT_EQ(program.Send(IDC_ALGORITHM, CB_GETCURSEL, 0, 0), kSha256);
    } else {
      EXPECT_EQ(program.Text(IDC_EXPECTED), "");
      ::Sleep(500);  // time for a job that should not start
      EXPECT_EQ(program.Text(IDC_RESULT), "");
      EXPECT_EQ(program.Text(IDC_START), "Start");
      EXPECT_EQ(program.RunFileJob(deep.Path()), Expected(0, bytes));  // CRC32, as today
    }
  }

  // A missing path goes into the field; Start gives today's notice.
  EmptyTheClipboard();
  const std::string missing = std::string(szTemp) + "no-such-download.iso";
  Program program(L"\"" + WideFromUtf8(missing) + L"\"");
  ASSERT_NE(program.Window(), nullptr);
  EXPECT_EQ(program.Text(IDC_DATA), missing);
  EXPECT_EQ(program.WaitForBox("Vexorin", 1000), nullptr);
  program.PostClick(IDC_START);
  HWND hBox = program.WaitForBox("Vexorin");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), SystemTextOf(ERROR_FILE_NOT_FOUND));
  AnswerBox(hBox, IDOK);
}

// A file MD2 takes a second or more over, shared by the tests below.
class ProgramCloseDuringJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_pSlow = new TempFile("slow.bin", Pattern(24 * 1048576)); }
  static void TearDownTestSuite() {
    delete s_pSlow;
    s_pSlow = nullptr;
  }

  // Starts MD2 over the slow file and waits until the first chunk is in:
  // from then on the program counts the job as running.
  static void StartSlowJob(Program& program) {
    ASSERT_TRUE(s_pSlow->Written());
    program.Click(IDC_FILE);
    program.SelectAlgorithm(kMd2);
    program.SetText(IDC_DATA, s_pSlow->Path());
    program.PostClick(IDC_START);
    ASSERT_TRUE(WaitUntil([&] { return program.ProgressPos() > 0; }));
    ASSERT_EQ(program.Text(IDC_START), "Stop");
    ASSERT_FALSE(program.Enabled(IDC_DATA));
  }

  // Closes by the close box or by Exit; returns the quit question.
  static HWND AskToClose(Program& program, bool bCloseBox) {
    if (bCloseBox)
      program.PostCloseBox();
    else
      program.PostClick(IDOK);
    HWND hBox = program.WaitForBox("Warning");
    if (hBox != nullptr) {
      EXPECT_EQ(BoxText(hBox), kQuitQuestion);
    }
    return hBox;
  }

  static TempFile* s_pSlow;
};

TempFile* ProgramCloseDuringJob::s_pSlow = nullptr;

TEST_F(ProgramCloseDuringJob, NoKeepsWindowAndJobThenYesEnds) {
  for (bool bCloseBox : {false, true}) {
    SCOPED_TRACE(bCloseBox ? "close box" : "Exit");
    Program program;
    ASSERT_NE(program.Window(), nullptr);
    ASSERT_NO_FATAL_FAILURE(StartSlowJob(program));

    HWND hBox = AskToClose(program, bCloseBox);
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(program.Text(IDC_START), "Stop");
    AnswerBox(hBox, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
    EXPECT_FALSE(program.Exited());
    EXPECT_TRUE(::IsWindowVisible(program.Window()));
    EXPECT_EQ(program.Text(IDC_START), "Stop");

    hBox = AskToClose(program, bCloseBox);
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(program.Text(IDC_START), "Stop");
    AnswerBox(hBox, IDYES);
    EXPECT_EQ(program.WaitExitCode(), 0u);
  }
}

TEST_F(ProgramCloseDuringJob, YesEndsTheProgramCleanlyEveryTime) {
  for (int i = 0; i < 20; ++i) {
    const bool bCloseBox = i % 2 != 0;
    SCOPED_TRACE(std::string("run ") + std::to_string(i) + (bCloseBox ? ", close box" : ", Exit"));
    Program program;
    ASSERT_NE(program.Window(), nullptr);
    ASSERT_NO_FATAL_FAILURE(StartSlowJob(program));
    HWND hBox = AskToClose(program, bCloseBox);
    ASSERT_NE(hBox, nullptr);
    ASSERT_EQ(program.Text(IDC_START), "Stop") << "the job ended before the question";
    AnswerBox(hBox, IDYES);
    const DWORD dwCode = program.WaitExitCode();
    ASSERT_EQ(dwCode, 0u) << std::hex << "exit code 0x" << dwCode;
    ASSERT_FALSE(CrashDialogShown());
  }
}

// Not a test: tools/screenshots.sh runs it to photograph four states. Each
// state is held until the script has taken its picture: the test writes the
// window's geometry (WxH+X+Y) to shot-NAME and waits for shot-NAME-done.
// A pop-up that reaches beyond the window (a tooltip) widens the picture.
bool HoldForShot(const Program& program, const char* pszName, HWND hPopup = nullptr) {
  RECT rc = {};
  ::GetWindowRect(program.Window(), &rc);
  RECT rcPopup;
  if (hPopup != nullptr && ::GetWindowRect(hPopup, &rcPopup)) ::UnionRect(&rc, &rc, &rcPopup);
  return guitest::HoldForShot(rc, pszName);
}

TEST(ProgramScreenshots, DISABLED_HoldStates) {
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  ::SetWindowPos(program.Window(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ::SetForegroundWindow(program.Window());

  program.SelectAlgorithm(kMd5);
  program.SetText(IDC_DATA, "abc");
  ASSERT_TRUE(HoldForShot(program, "string"));

  // A digest of another length, its tooltip under the pointer: the entry
  // chosen by hand after the digest was pasted, so no search overrides it.
  program.SetText(IDC_EXPECTED, Expected(kMd5, "abc"));
  program.SelectAlgorithm(kSha256);
  ASSERT_EQ(program.Text(IDC_VERDICT), "No match");
  std::vector<HWND> tips;
  ASSERT_TRUE(guitest::HoverUntil(guitest::CentreOf(program.Item(IDC_VERDICT)), [&] {
    tips = TopLevelWindows(program.ProcessId(), "tooltips_class32",
                           "32 digits: MD2, MD4, MD5, RIPEMD-128");
    return !tips.empty();
  }));
  ASSERT_TRUE(HoldForShot(program, "nomatch", tips.front()));
  guitest::MoveMouseTo(POINT{0, 0});
  program.SetText(IDC_EXPECTED, "");

  // Checking a download: its published SHA2-256 pasted, the file hashed.
  const std::string sample = Pattern(1048576);
  TempFile small("sample.bin", sample);
  program.Click(IDC_FILE);
  program.SelectAlgorithm(kSha256);
  program.SetText(IDC_EXPECTED, Expected(kSha256, sample));
  program.SetText(IDC_DATA, small.Path());
  // Clicked rather than posted, so that the focus moves to the button as
  // under a user's hand: starting a job returns at once.
  program.Click(IDC_START);
  ASSERT_TRUE(WaitUntil(
      [&] { return program.Text(IDC_START) == "Start" && !program.Text(IDC_RESULT).empty(); }));
  ASSERT_EQ(program.Text(IDC_VERDICT), "Match");
  ASSERT_TRUE(HoldForShot(program, "file"));

  // A published BLAKE2s-256 digest with SHA2-256 selected: the second pass
  // finds the entry, its tooltip under the pointer.
  program.SelectAlgorithm(kSha256);
  program.SetText(IDC_EXPECTED, Expected(kAlgorithmBLAKE2s256, sample));
  program.Click(IDC_START);
  ASSERT_TRUE(WaitUntil(
      [&] { return program.Text(IDC_START) == "Start" && !program.Text(IDC_RESULT).empty(); }));
  ASSERT_EQ(program.Text(IDC_VERDICT), "Match");
  ASSERT_TRUE(guitest::HoverUntil(guitest::CentreOf(program.Item(IDC_VERDICT)), [&] {
    tips = TopLevelWindows(program.ProcessId(), "tooltips_class32",
                           "Found by the digest's length: BLAKE2s-256");
    return !tips.empty();
  }));
  ASSERT_TRUE(HoldForShot(program, "search", tips.front()));
  guitest::MoveMouseTo(POINT{0, 0});

  // Mostly unwritten, so it costs no disk, yet MD2 takes its time over it.
  TempFile large("large.bin", "");
  HANDLE h = ::CreateFileA(large.Path(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = 128LL * 1048576;
  ASSERT_TRUE(::SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
  ::CloseHandle(h);
  program.SelectAlgorithm(kMd2);
  program.SetText(IDC_EXPECTED, "");
  program.SetText(IDC_DATA, large.Path());
  program.Click(IDC_START);
  ASSERT_TRUE(WaitUntil([&] { return program.ProgressPos() >= 30; }, 60000));
  ASSERT_TRUE(HoldForShot(program, "job"));

  program.PostClick(IDOK);
  HWND hBox = program.WaitForBox("Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}

}  // namespace

// Not a test either: tools/screenshots.sh runs it on a screen 1024 pixels
// wide to photograph the window maximized with a 128-digit digest.
TEST(ProgramScreenshots, DISABLED_HoldMaximized) {
  Program program;
  ASSERT_NE(program.Window(), nullptr);
  program.SelectAlgorithm(kAlgorithmSHA512);
  program.SetText(IDC_DATA, "abc");
  program.Send(0, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(program.Window()) != FALSE; }));
  // The frame of a maximized window lies beyond the screen.
  RECT rc, rcScreen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::GetWindowRect(program.Window(), &rc);
  ::IntersectRect(&rc, &rc, &rcScreen);
  ASSERT_TRUE(guitest::HoldForShot(rc, "maximized"));
  program.PostClick(IDOK);
  EXPECT_EQ(program.WaitExitCode(), 0u);
}
