// File jobs through the real dialog and worker: every entry, a file cut
// short while it is read, Start clicks as soon as a job has ended, closing
// at every step of a job's start-up, and long pasted texts.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/Catalogue.h"
#include "engine/ChunkPipeline.h"
#include "engine/Hasher.h"
#include "tests/dialog/DialogDriver.h"

namespace {

CWinApp g_app("Vexorin");

const UINT kMd5 = kAlgorithmMD5;
const char kQuitQuestion[] = "There are a file is calculating, are you sure you want to quit?";

std::string Expected(UINT nAlgorithm, const std::string& data, const std::string& key = "",
                     int hmac = 0) {
  Hasher hasher(nAlgorithm);
  return hasher.HashString(data, key, hmac, 0);
}

std::string SystemText(DWORD dwError) {
  char sz[1024] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                   sz, sizeof(sz), nullptr);
  return sz;
}

void SetHmac(DialogDriver& d, const std::string& key) {
  if (d.Checked(IDC_HMAC) != !key.empty()) d.Click(IDC_HMAC);
  d.SetText(IDC_KEY, key);
}

// The state every ended job leaves: no job, Start, inputs back.
void ExpectIdle(DialogDriver& d) {
  EXPECT_FALSE(d.m_dialog.m_bRunning);
  EXPECT_EQ(d.Text(IDC_START), "Start");
  for (int nID : {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA, IDC_BROWSE, IDC_KEY})
    EXPECT_TRUE(d.Enabled(nID)) << nID;
}

void PressCtrlV() {
  guitest::KeyEvent(VK_LCONTROL, false);
  guitest::KeyEvent('V', false);
  guitest::KeyEvent('V', true);
  guitest::KeyEvent(VK_LCONTROL, true);
}

// Printable text of the given length with no line break.
std::string LongText(size_t nLength, char chFirst) {
  std::string text(nLength, ' ');
  for (size_t i = 0; i < nLength; ++i) text[i] = (char)(chFirst + (i * 7 + i / 997) % 26);
  return text;
}

}  // namespace

TEST(MainDialogEveryEntry, FileJobsEqualStringDigests) {
  // Empty, one chunk and a byte, and a few chunks with a short last one.
  const std::string sizes[] = {"", Pattern(Hasher::kChunkSize + 1),
                               Pattern(2 * Hasher::kChunkSize + 4099)};
  std::vector<std::unique_ptr<TempFile>> files;
  for (const std::string& bytes : sizes)
    files.emplace_back(new TempFile("entry-" + std::to_string(bytes.size()), bytes));
  DialogDriver d;
  d.Click(IDC_FILE);
  for (UINT nIndex = 0; nIndex < kAlgorithmCount; ++nIndex) {
    d.SelectAlgorithm(nIndex);
    for (const std::string& key : {std::string(), std::string("Jefe")}) {
      if (!key.empty() && !OffersHmac(nIndex)) continue;
      SetHmac(d, key);
      for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(d.RunFileJob(files[i]->Path()), Expected(nIndex, sizes[i], key, !key.empty()))
            << "entry " << nIndex << " key '" << key << "' size " << sizes[i].size();
        // An empty file has no chunk to report.
        EXPECT_EQ(d.ProgressPos(), sizes[i].empty() ? 0 : 100);
      }
    }
  }
  ExpectIdle(d);
}

// A file cut short by the host while the worker reads it: the job ends like
// a failed open, with the system's text, and no digest of part of the file.
TEST(MainDialogJobs, AFileCutShortWhileReadEndsLikeAFailedOpen) {
  // Three reads' worth: the third is still to come when the file is cut.
  const TempFile file("cut-short.bin",
                      Pattern(3 * ChunkPipeline::kChunksPerRead * Hasher::kChunkSize + 17));
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  d.SetText(IDC_DATA, file.Path());
  d.m_dialog.HoldAt(MainDialog::kReported);  // after the first chunk
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  const bool bCut = ResizeFromHost(file.Path(), 65536);
  d.m_dialog.Release();
  if (!bCut) {
    d.WaitJobGone();
    GTEST_SKIP() << "no host to cut the file from";
  }
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  const std::string text = BoxText(hBox);
  std::printf("[ cut    ] the notice: %s\n", text.c_str());
  EXPECT_TRUE(text == SystemText(ERROR_READ_FAULT) || text == SystemText(ERROR_NOACCESS)) << text;
  EXPECT_EQ(d.Text(IDC_START), "Stop");
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  ExpectIdle(d);
}

// Once a job has put its result in, a Start click starts the next job, even
// while the worker of the last one has not yet returned.
TEST(MainDialogJobs, StartRightAfterAJobEndedStartsTheNext) {
  const TempFile abc("abc.txt", "abc");
  const std::string missing = TempPath("missing.bin");
  struct Case {
    const char* pszName;
    bool bNotice;  // the first job ends with a notice rather than a result
  };
  const Case cases[] = {{"after the no-file notice", true}, {"after a finished job", false}};
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const int nBefore = d.m_dialog.m_nThreadsStarted;
    d.m_dialog.HoldAt(MainDialog::kResultPut);
    d.SetText(IDC_DATA, c.bNotice ? "" : abc.Path());
    d.PostClick(IDC_START);
    if (c.bNotice) {
      HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(BoxText(hBox), "Please specify the file name!");
      AnswerBox(hBox, IDOK);
    }
    // The first worker is held between its result and its return.
    ASSERT_TRUE(d.m_dialog.WaitHeld());
    EXPECT_EQ(d.Text(IDC_RESULT), c.bNotice ? "" : Expected(kMd5, "abc"));
    ExpectIdle(d);
    d.SetText(IDC_DATA, missing);
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(BoxText(hBox), SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nBefore + 2);
    AnswerBox(hBox, IDOK);
    d.m_dialog.Release();
    ASSERT_TRUE(d.WaitJobGone());
    ExpectIdle(d);
  }
  // A job that is still running keeps its one-job rule.
  d.SetText(IDC_DATA, abc.Path());
  d.m_dialog.HoldAt(MainDialog::kPathRead);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  const int nRunning = d.m_dialog.m_nThreadsStarted;
  d.Click(IDC_START);
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nRunning);
  d.m_dialog.Release();
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, "abc"));
}

// A path and a Start click sent from another thread right after the OK of
// a job's last notice: the job that showed it counts as done once it is
// closed, so the click starts the next job, every time. The OK is pressed
// with a sent click (which returns while the notice is going away) or a
// posted one that the test sees through until the notice is gone.
TEST(MainDialogJobs, AClickSentRightAfterTheLastNoticeStartsAJob) {
  const std::string missing = TempPath("missing.bin");
  const std::string missingText = SystemText(ERROR_FILE_NOT_FOUND);
  DialogDriver d;
  d.Click(IDC_FILE);
  for (int i = 0; i < 12; ++i) {
    const bool bNoFile = i % 3 != 2;  // else the first job fails to open
    const bool bSentOk = i % 2 == 0;
    SCOPED_TRACE(std::to_string(i) + (bNoFile ? " after the no-file notice" : " after a failure") +
                 (bSentOk ? ", OK sent" : ", OK posted"));
    d.SetText(IDC_DATA, bNoFile ? "" : missing);
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    ASSERT_EQ(BoxText(hBox), bNoFile ? "Please specify the file name!" : missingText);
    const int nBefore = d.m_dialog.m_nThreadsStarted;
    if (bSentOk) {
      DWORD_PTR dwResult = 0;
      ASSERT_TRUE(::SendMessageTimeoutA(::GetDlgItem(hBox, IDOK), BM_CLICK, 0, 0, SMTO_NORMAL,
                                        30000, &dwResult));
    } else {
      AnswerBox(hBox, IDOK);
      const DWORD dwStart = ::GetTickCount();
      while (::IsWindow(hBox) && ::GetTickCount() - dwStart < 60000) {
      }
    }
    d.SetText(IDC_DATA, missing);
    d.Click(IDC_START);
    HWND hNext = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hNext, nullptr) << "the click started no job";
    EXPECT_NE(hNext, hBox);
    EXPECT_EQ(BoxText(hNext), missingText);
    EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nBefore + 1);
    AnswerBox(hNext, IDOK);
    ASSERT_TRUE(d.WaitJobGone());
    ExpectIdle(d);
  }
}

// From the Start click until the result is in, the close box and Exit ask
// first, at every step the worker passes on its way in.
TEST(MainDialogClose, AsksAtEveryStepOfAJobsStartUp) {
  const TempFile abc("abc.txt", "abc");
  const MainDialog::WorkerStep steps[] = {MainDialog::kPathRead, MainDialog::kStopShown,
                                          MainDialog::kHasherMade, MainDialog::kControlsDisabled,
                                          MainDialog::kReported};
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  d.SetText(IDC_DATA, abc.Path());
  for (MainDialog::WorkerStep step : steps) {
    for (bool bCloseBox : {true, false}) {
      SCOPED_TRACE(std::to_string(step) + (bCloseBox ? " close box" : " Exit"));
      d.m_dialog.HoldAt(step);
      d.PostClick(IDC_START);
      ASSERT_TRUE(d.m_dialog.WaitHeld());
      if (bCloseBox)
        ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      else
        ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
      HWND hBox = WaitForBox(d.m_hWnd, "Warning");
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(BoxText(hBox), kQuitQuestion);
      AnswerBox(hBox, IDNO);
      ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
      EXPECT_FALSE(d.Ended());
      d.m_dialog.Release();
      ASSERT_TRUE(d.WaitJobGone());
      EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, "abc"));
      ExpectIdle(d);
    }
  }
  // Yes at the first step ends the dialog and the job with it.
  d.m_dialog.HoldAt(MainDialog::kPathRead);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  d.m_dialog.Release();
  EXPECT_TRUE(d.WaitEnded());
  EXPECT_FALSE(d.m_dialog.m_thread);
}

// A real Ctrl+V of a text far beyond the edit control's default limit, into
// each field: all of it arrives and the digest covers all of it.
TEST(MainDialogKeyboard, LongPastesAreTakenWhole) {
  const std::string data = LongText(100000, 'a');
  const std::string key = LongText(100000, 'A');
  DialogDriver d;
  ::SetForegroundWindow(d.m_hWnd);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == d.m_hWnd; }));
  d.SelectAlgorithm(kMd5);
  struct Case {
    int nField;
    const std::string& text;
  };
  const Case cases[] = {{IDC_DATA, data}, {IDC_KEY, key}};
  for (const Case& c : cases) {
    if (c.nField == IDC_KEY) d.Click(IDC_HMAC);
    ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(c.nField), TRUE);
    ASSERT_TRUE(PutOnClipboard(c.text));
    PressCtrlV();
    EXPECT_TRUE(WaitUntil([&] { return d.Text(c.nField).size() == c.text.size(); }))
        << c.nField << ": " << d.Text(c.nField).size();
    EXPECT_EQ(d.Text(c.nField), c.text);
  }
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, data, key, 1));
}
