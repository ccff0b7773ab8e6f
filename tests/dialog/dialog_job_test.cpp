// File jobs through the real dialog and worker: every entry, a file cut
// short while it is read, Start clicks as soon as a job has ended, closing
// at every step of a job's start-up, and long pasted texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

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
  EXPECT_FALSE(d.m_dialog.m_job.m_bRunning);
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

  // Each entry's digest pasted into Expected, with an entry of another
  // length selected (MD2 runs only when chosen): the job finds the entry,
  // through the second pass where the first entry of that length is another.
  SetHmac(d, "");
  const std::string bytes = sizes[1];
  for (UINT nIndex = 0; nIndex < kAlgorithmCount; ++nIndex) {
    SCOPED_TRACE(CatalogueEntryAt(nIndex)->pszName);
    d.SelectAlgorithm(nIndex == kAlgorithmMD2                                    ? kAlgorithmMD2
                      : nIndex == kAlgorithmCRC32 || nIndex == kAlgorithmAdler32 ? kAlgorithmMD5
                                                                                 : kAlgorithmCRC32);
    d.SetText(IDC_EXPECTED, Expected(nIndex, bytes));
    EXPECT_EQ(d.RunFileJob(files[1]->Path()), Expected(nIndex, bytes));
    EXPECT_EQ(d.Selected(), nIndex);
    EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
  }
  d.SetText(IDC_EXPECTED, "");
}

// A file cut short by the host while the worker reads it: the job ends like
// a failed open, with the system's text, and no digest of part of the file.
TEST(MainDialogJobs, AFileCutShortWhileReadEndsLikeAFailedOpen) {
  // Three reads' worth: the third is still to come when the file is cut.
  const TempFile file("cut-short.bin",
                      Pattern(3 * ChunkPipeline::kChunksPerView * Hasher::kChunkSize + 17));
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
  // The moment between a notice's OK and its end, held still: the owner is
  // enabled again while the box is up and the caption still reads "Stop".
  // A click then asks nothing, and starts the next job once the box is gone.
  d.SetText(IDC_DATA, missing);
  d.PostClick(IDC_START);
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  const int nBefore = d.m_dialog.m_nThreadsStarted;
  ::EnableWindow(d.m_hWnd, TRUE);
  DWORD_PTR dwResult = 0;
  ASSERT_TRUE(
      ::SendMessageTimeoutA(d.Item(IDC_START), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &dwResult))
      << "the click waits on a question";
  EXPECT_EQ(FindOwnedBox(d.m_hWnd, "Warning"), nullptr);
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nBefore);
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
  HWND hNext = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hNext, nullptr) << "the click started no job";
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nBefore + 1);
  AnswerBox(hNext, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  ExpectIdle(d);
}

// Checking a file against a published digest ---------------------------------

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = (char)::toupper((unsigned char)c);
  return text;
}

// A digest in spaced pairs, as certutil prints it.
std::string Pairs(const std::string& digits) {
  std::string text;
  for (size_t i = 0; i < digits.size(); i += 2) text += (i ? " " : "") + digits.substr(i, 2);
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

// The entry is found by the digest's length: a first pass of one entry, and
// a second over the others of that length when it does not match. The list
// follows a match; without one it keeps the first pass's entry and result.
TEST(MainDialogSearch, FileJobsFindTheEntryOfThePublishedDigest) {
  const std::string bytes = Pattern(3 * Hasher::kChunkSize + 5);
  const TempFile file("search.iso", bytes);
  const std::string zeros(64, '0');
  struct Case {
    const char* pszName;
    UINT nSelected;
    std::string expected;
    bool bUpper;
    std::string key;
    UINT nShown;  // the entry selected at the end
    bool bSecondPass;
    const char* pszVerdict;
    const char* pszTip;  // a part of the tooltip
  };
  const Case cases[] = {
      {"the selected entry matches", kAlgorithmSHA256, Expected(kAlgorithmSHA256, bytes), false, "",
       kAlgorithmSHA256, false, "Match", ""},
      {"the first pass moves the list", kAlgorithmMD5, Expected(kAlgorithmSHA256, bytes), false, "",
       kAlgorithmSHA256, false, "Match", "SHA2-256"},
      {"the second pass finds the entry", kAlgorithmSHA256,
       Upper(Expected(kAlgorithmBLAKE2s256, bytes)), true, "", kAlgorithmBLAKE2s256, true, "Match",
       "BLAKE2s-256"},
      {"the second pass finds a Keccak entry", kAlgorithmSHA512,
       Expected(kAlgorithmSHA3_512, bytes), false, "", kAlgorithmSHA3_512, true, "Match",
       "SHA3-512"},
      {"keyed candidates under one key", kAlgorithmSHA256,
       Expected(kAlgorithmFIPS_SHA3_256, bytes, "Jefe", 1), false, "Jefe", kAlgorithmFIPS_SHA3_256,
       true, "Match", "SHA3-256 (FIPS 202)"},
      {"no match keeps the first pass", kAlgorithmSHA256, zeros, false, "", kAlgorithmSHA256, true,
       "No match", "RIPEMD-256"},
  };
  DialogDriver d;
  d.Click(IDC_FILE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    d.SelectAlgorithm(c.nSelected);
    if (d.Checked(IDC_UPPERCASE) != c.bUpper) d.Click(IDC_UPPERCASE);
    SetHmac(d, c.key);
    d.SetText(IDC_EXPECTED, c.expected);
    const int nPasses = d.m_dialog.m_nSecondPasses;
    const std::string result = d.RunFileJob(file.Path());
    const std::string shown = Expected(c.nShown, bytes, c.key, !c.key.empty());
    EXPECT_EQ(result, c.bUpper ? Upper(shown) : shown);
    EXPECT_EQ(d.Selected(), c.nShown);
    EXPECT_EQ(d.m_dialog.m_nSecondPasses, nPasses + (c.bSecondPass ? 1 : 0));
    EXPECT_EQ(d.Text(IDC_VERDICT), c.pszVerdict);
    EXPECT_TRUE(Contains(VerdictTip(d), c.pszTip)) << VerdictTip(d);
    EXPECT_EQ(d.ProgressPos(), 100);
    ExpectIdle(d);
    // The key and HMAC box follow the shown entry.
    EXPECT_EQ(d.Enabled(IDC_HMAC), OffersHmac(c.nShown));
  }
  // No match names every entry tried.
  const std::string tip = VerdictTip(d);
  for (UINT nEntry : CandidateEntries(64, kAlgorithmSHA256, false))
    EXPECT_TRUE(Contains(tip, CatalogueEntryAt(nEntry)->pszName)) << tip;
  SetHmac(d, "");
  if (d.Checked(IDC_UPPERCASE)) d.Click(IDC_UPPERCASE);

  // A choice made by hand stands until Expected changes: that entry alone,
  // its own verdict, and the list stays.
  d.SetText(IDC_EXPECTED, Expected(kAlgorithmBLAKE2s256, bytes));
  d.SelectAlgorithm(kAlgorithmSHA256);
  int nPasses = d.m_dialog.m_nSecondPasses;
  EXPECT_EQ(d.RunFileJob(file.Path()), Expected(kAlgorithmSHA256, bytes));
  EXPECT_EQ(d.Selected(), kAlgorithmSHA256);
  EXPECT_EQ(d.Text(IDC_VERDICT), "No match");
  EXPECT_EQ(d.m_dialog.m_nSecondPasses, nPasses);
  d.SetText(IDC_EXPECTED, " " + Expected(kAlgorithmBLAKE2s256, bytes));
  EXPECT_EQ(d.RunFileJob(file.Path()), Expected(kAlgorithmBLAKE2s256, bytes));
  EXPECT_EQ(d.Selected(), kAlgorithmBLAKE2s256);
  EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
}

// Stop, a read failure and closing during the second pass end the job as
// they end a one-entry job.
TEST(MainDialogSearch, TheSecondPassStopsFailsAndClosesLikeAnyJob) {
  const std::string bytes = Pattern(3 * Hasher::kChunkSize + 5);
  const TempFile file("second-pass.iso", bytes);
  // SHA2-256 first, then the other 64-digit entries: none matches.
  const auto searchFor64Zeros = [&](DialogDriver& d) {
    d.Click(IDC_FILE);
    d.SelectAlgorithm(kAlgorithmSHA256);
    d.SetText(IDC_EXPECTED, std::string(64, '0'));
    d.SetText(IDC_DATA, file.Path());
  };
  {
    DialogDriver d;
    searchFor64Zeros(d);

    // Stop answered Yes in the second pass: no result, the bar at 0.
    d.m_dialog.HoldAt(MainDialog::kSecondPass);
    d.PostClick(IDC_START);
    ASSERT_TRUE(d.m_dialog.WaitHeld());
    d.m_dialog.HoldAt(MainDialog::kReported);
    d.m_dialog.Release();
    ASSERT_TRUE(d.m_dialog.WaitHeld());  // the second pass's first report
    EXPECT_EQ(d.Text(IDC_START), "Stop");
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hBox, nullptr);
    AnswerBox(hBox, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
    d.m_dialog.Release();
    ASSERT_TRUE(d.WaitJobGone());
    EXPECT_EQ(d.Text(IDC_RESULT), "");
    EXPECT_EQ(d.Text(IDC_VERDICT), "");
    EXPECT_EQ(d.ProgressPos(), 0);
    EXPECT_EQ(FindOwnedBox(d.m_hWnd, "Vexorin"), nullptr);
    ExpectIdle(d);

    // The file goes away between the passes: one notice, no result.
    {
      TempFile gone("gone-between-passes.iso", bytes);
      d.SetText(IDC_DATA, gone.Path());
      d.m_dialog.HoldAt(MainDialog::kSecondPass);
      d.PostClick(IDC_START);
      ASSERT_TRUE(d.m_dialog.WaitHeld());
      ASSERT_TRUE(::DeleteFileA(gone.Path()));
      d.m_dialog.Release();
      hBox = WaitForBox(d.m_hWnd, "Vexorin");
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(BoxText(hBox), SystemText(ERROR_FILE_NOT_FOUND));
      EXPECT_EQ(d.Text(IDC_START), "Stop");
      AnswerBox(hBox, IDOK);
      ASSERT_TRUE(d.WaitJobGone());
    }
    EXPECT_EQ(FindOwnedBox(d.m_hWnd, "Vexorin"), nullptr);
    EXPECT_EQ(d.Text(IDC_RESULT), "");
    EXPECT_EQ(d.ProgressPos(), 0);
    EXPECT_EQ(d.m_dialog.m_nSecondPasses, 2);
    ExpectIdle(d);
  }
  // Closing in the second pass asks, and Yes ends the job and the dialog.
  DialogDriver d;
  searchFor64Zeros(d);
  d.m_dialog.HoldAt(MainDialog::kSecondPass);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  EXPECT_EQ(BoxText(hBox), kQuitQuestion);
  AnswerBox(hBox, IDYES);
  d.m_dialog.Release();
  EXPECT_TRUE(d.WaitEnded());
  EXPECT_EQ(d.m_dialog.m_job.RunStop(), nullptr);
}

// Checksum text in Expected, in File mode: the line that names the chosen
// file applies; a tag chooses its entry; the tooltip says which line or why
// none.
TEST(MainDialogSearch, ChecksumTextChoosesTheLineOfTheFile) {
  const std::string bytes = "abc";
  const TempFile file("Ubuntu-24.04.iso", bytes);
  const std::string path = file.Path();
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  const std::string upper = Upper(name);  // names match whatever their case
  const std::string sha256 = Expected(kAlgorithmSHA256, bytes);
  const std::string md5 = Expected(kAlgorithmMD5, bytes);
  const std::string other = std::string(64, 'e');
  const std::string fips = Expected(kAlgorithmFIPS_SHA3_256, bytes);
  struct Case {
    const char* pszName;
    std::string text;
    const char* pszVerdict;
    UINT nShown;
    std::string tip;  // a part of the tooltip
  };
  const Case cases[] = {
      {"a GNU line", sha256 + "  " + upper, "Match", kAlgorithmSHA256, "SHA2-256"},
      {"a whole file, BOM and CRLF",
       "\xEF\xBB\xBF" + other + "  ./a.iso\r\n" + sha256 + " *./" + name + "\r\n" + other +
           "  b.iso\r\n",
       "Match", kAlgorithmSHA256, "Line 2"},
      {"a BSD tag", "MD5 (" + name + ") = " + md5, "Match", kAlgorithmMD5, "MD5"},
      {"the SHA-3 tag chooses the standard entry", "SHA3-256 (" + name + ") = " + fips, "Match",
       kAlgorithmFIPS_SHA3_256, "SHA3-256 (FIPS 202)"},
      {"an SFV line", "; made by hand\n" + name + " 352441c2\n", "Match", kAlgorithmCRC32,
       "Line 2"},
      {"certutil's output",
       "SHA256 hash of C:\\Downloads\\" + name + ":\r\n" + Pairs(sha256) +
           "\r\nCertUtil: -hashfile command completed successfully.\r\n",
       "Match", kAlgorithmSHA256, ""},
      {"Get-FileHash as a list",
       "\r\nAlgorithm : SHA256\r\nHash      : " + Upper(sha256) +
           "\r\nPath      : C:\\Downloads\\" + name + "\r\n",
       "Match", kAlgorithmSHA256, ""},
      {"no line names the file", sha256 + "  a.iso\n" + sha256 + "  b.iso\n", "No match",
       kAlgorithmCRC32, "No line names " + name},
      {"two lines clash", other + "  " + name + "\n" + sha256 + "  " + upper + "\n", "No match",
       kAlgorithmCRC32, "different digests"},
  };
  DialogDriver d;
  d.Click(IDC_FILE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    d.SelectAlgorithm(kAlgorithmCRC32);
    d.SetText(IDC_EXPECTED, c.text);
    EXPECT_EQ(d.Text(IDC_EXPECTED), c.text);  // taken whole, line breaks and all
    EXPECT_EQ(d.RunFileJob(file.Path()), Expected(c.nShown, bytes));
    EXPECT_EQ(d.Selected(), c.nShown);
    EXPECT_EQ(d.Text(IDC_VERDICT), c.pszVerdict);
    EXPECT_TRUE(Contains(VerdictTip(d), c.tip)) << VerdictTip(d);
  }
}

// String mode: every change of the data, the key or Expected searches all
// candidates at once; a choice by hand stands.
TEST(MainDialogSearch, StringModeSearchesOnEveryChange) {
  DialogDriver d;
  d.SelectAlgorithm(kAlgorithmMD5);
  d.SetText(IDC_EXPECTED, Expected(kAlgorithmRIPEMD128, "abc"));
  d.SetText(IDC_DATA, "ab");
  EXPECT_EQ(d.Text(IDC_VERDICT), "No match");
  EXPECT_EQ(d.Selected(), kAlgorithmMD5);
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
  EXPECT_EQ(d.Selected(), kAlgorithmRIPEMD128);
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kAlgorithmRIPEMD128, "abc"));
  EXPECT_TRUE(Contains(VerdictTip(d), "RIPEMD-128")) << VerdictTip(d);
  // By hand: that entry's verdict, and no search on the next keys.
  d.SelectAlgorithm(kAlgorithmMD4);
  EXPECT_EQ(d.Text(IDC_VERDICT), "No match");
  d.SetText(IDC_DATA, "abcd");
  d.SetText(IDC_DATA, "abc");
  EXPECT_EQ(d.Selected(), kAlgorithmMD4);
  EXPECT_EQ(d.Text(IDC_VERDICT), "No match");
  // A new Expected searches again, here from the keyed entries.
  d.Click(IDC_HMAC);
  d.SetText(IDC_KEY, "key");
  d.SetText(IDC_EXPECTED, Expected(kAlgorithmMD5, "abc", "key", 1));
  EXPECT_EQ(d.Selected(), kAlgorithmMD5);
  EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
}

// The clipboard's published digest is taken when the window opens or comes
// back to the front, never over the user's text, never our own Copy.
TEST(MainDialogClipboard, TakesAPublishedDigestOnlyWhereItMay) {
  const std::string sha256 = Expected(kAlgorithmSHA256, "abc");
  const std::string md5 = Expected(kAlgorithmMD5, "abc");
  auto activate = [](DialogDriver& d) { ::SendMessageA(d.m_hWnd, WM_ACTIVATE, WA_ACTIVE, 0); };
  // Taken at the start, in UTF-16 form too; the tooltip says where from.
  ASSERT_TRUE(guitest::PutOnClipboardWide(std::wstring(sha256.begin(), sha256.end()) + L"\r\n"));
  {
    DialogDriver d(false);
    EXPECT_EQ(NormaliseExpectedDigest(d.Text(IDC_EXPECTED)), sha256);
    EXPECT_TRUE(Contains(VerdictTip(d), "clipboard")) << VerdictTip(d);
    d.SetText(IDC_DATA, "abc");
    EXPECT_EQ(d.Text(IDC_VERDICT), "Match");
    EXPECT_EQ(d.Selected(), kAlgorithmSHA256);
    // A later digest replaces an earlier pick-up.
    ASSERT_TRUE(PutOnClipboard(md5));
    activate(d);
    EXPECT_EQ(d.Text(IDC_EXPECTED), md5);
    // Text that is no digest is left where it is.
    ASSERT_TRUE(PutOnClipboard("a shopping list"));
    activate(d);
    EXPECT_EQ(d.Text(IDC_EXPECTED), md5);
  }
  // Not over typed text; not our own Copy.
  ASSERT_TRUE(PutOnClipboard(sha256));
  DialogDriver d(false);
  d.SetText(IDC_EXPECTED, "typed");
  ASSERT_TRUE(PutOnClipboard(md5));
  activate(d);
  EXPECT_EQ(d.Text(IDC_EXPECTED), "typed");
  d.SetText(IDC_EXPECTED, "");
  d.SelectAlgorithm(kAlgorithmSHA1);
  d.SetText(IDC_DATA, "abc");
  d.PostClick(IDC_COPY);
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
  EXPECT_EQ(ClipboardText(), Expected(kAlgorithmSHA1, "abc"));
  activate(d);
  EXPECT_EQ(d.Text(IDC_EXPECTED), "");
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
  EXPECT_FALSE(d.m_dialog.m_job.HasWorker());
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
  // A whole checksum file pasted into Expected: every line arrives.
  std::string sums;
  for (int i = 0; i < 2000; ++i)
    sums += std::string(64, 'a' + i % 6) + "  file-" + std::to_string(i) + ".iso\r\n";
  const Case cases[] = {{IDC_DATA, data}, {IDC_KEY, key}, {IDC_EXPECTED, sums}};
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

// The taskbar button through a recorder in place of the shell's interface:
// what a job shows on it at each of its steps, always from the dialog's own
// thread.
namespace {

class RecordingTaskbar : public ITaskbarList3 {
 public:
  RecordingTaskbar() { ::InitializeCriticalSection(&m_cs); }
  virtual ~RecordingTaskbar() { ::DeleteCriticalSection(&m_cs); }

  // "init", "normal", "none" or the percentage set, in the order called.
  std::vector<std::string> Calls() {
    ::EnterCriticalSection(&m_cs);
    std::vector<std::string> calls = m_calls;
    ::LeaveCriticalSection(&m_cs);
    return calls;
  }
  void Forget() {
    ::EnterCriticalSection(&m_cs);
    m_calls.clear();
    ::LeaveCriticalSection(&m_cs);
  }

  std::atomic<long> m_nRefs{0};
  std::atomic<bool> m_bOtherThread{false};  // a call came from elsewhere
  std::atomic<bool> m_bOtherWindow{false};  // a call named another window
  DWORD m_dwThread = 0;
  HWND m_hWnd = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_nRefs; }
  HRESULT STDMETHODCALLTYPE HrInit() override { return Record(m_hWnd, "init"); }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND hWnd, ULONGLONG ullDone,
                                             ULONGLONG ullTotal) override {
    return Record(hWnd, std::to_string(ullDone) + (ullTotal == 100 ? "" : " of ?"));
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND hWnd, TBPFLAG flags) override {
    return Record(hWnd, flags == TBPF_NORMAL ? "normal" : flags == TBPF_NOPROGRESS ? "none" : "?");
  }
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return E_NOTIMPL; }

 private:
  HRESULT Record(HWND hWnd, const std::string& call) {
    if (::GetCurrentThreadId() != m_dwThread) m_bOtherThread = true;
    if (hWnd != m_hWnd) m_bOtherWindow = true;
    ::EnterCriticalSection(&m_cs);
    m_calls.push_back(call);
    ::LeaveCriticalSection(&m_cs);
    return S_OK;
  }

  CRITICAL_SECTION m_cs;
  std::vector<std::string> m_calls;
};

RecordingTaskbar* g_pTaskbar = nullptr;

ITaskbarList3* CreateRecorder() {
  if (g_pTaskbar != nullptr) g_pTaskbar->AddRef();
  return g_pTaskbar;
}

// The dialog with the recorder (or, given null, with no interface at all)
// announced to it the way the shell announces the button.
class TaskbarDialog {
 public:
  explicit TaskbarDialog(RecordingTaskbar* pRecorder) {
    g_pTaskbar = pRecorder;
    TaskbarProgress::s_pfnCreate = &CreateRecorder;
    m_pDriver.reset(new DialogDriver);
    if (pRecorder != nullptr) {
      pRecorder->m_hWnd = m_pDriver->m_hWnd;
      pRecorder->m_dwThread = ::GetWindowThreadProcessId(m_pDriver->m_hWnd, nullptr);
    }
    AnnounceButton();
  }
  ~TaskbarDialog() {
    m_pDriver.reset();
    TaskbarProgress::s_pfnCreate = m_pfnOriginal;
    g_pTaskbar = nullptr;
  }
  void AnnounceButton() {
    ::SendMessageA(m_pDriver->m_hWnd, ::RegisterWindowMessageA("TaskbarButtonCreated"), 0, 0);
  }
  DialogDriver& operator*() { return *m_pDriver; }

 private:
  TaskbarProgress::CreateFunction m_pfnOriginal = TaskbarProgress::s_pfnCreate;
  std::unique_ptr<DialogDriver> m_pDriver;
};

typedef std::vector<std::string> Calls;

}  // namespace

TEST(MainDialogTaskbar, FollowsAJobThroughEachOfItsEndings) {
  const TempFile four("four-chunks.bin", Pattern(4 * Hasher::kChunkSize));
  const std::string missing = TempPath("missing-for-taskbar.bin");
  RecordingTaskbar recorder;
  {
    TaskbarDialog dialog(&recorder);
    DialogDriver& d = *dialog;
    EXPECT_EQ(recorder.Calls(), Calls({"init"}));
    EXPECT_EQ(recorder.m_nRefs, 1);
    d.Click(IDC_FILE);
    d.SelectAlgorithm(kMd5);

    // To the end: normal from the first step, the first report and the
    // last, between them those a tenth of a second apart, then cleared.
    recorder.Forget();
    EXPECT_EQ(d.RunFileJob(four.Path()), Expected(kMd5, Pattern(4 * Hasher::kChunkSize)));
    Calls calls = recorder.Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3), Calls({"normal", "0", "25"}));
    EXPECT_EQ(Calls(calls.end() - 2, calls.end()), Calls({"100", "none"}));
    Calls between(calls.begin() + 3, calls.end() - 2);
    EXPECT_LE(between.size(), 2u);
    for (size_t i = 0; i < between.size(); ++i) {
      EXPECT_TRUE(between[i] == "50" || between[i] == "75") << between[i];
      if (i > 0) {
        EXPECT_LT(between[i - 1], between[i]);
      }
    }

    // A failure: cleared before its notice shows, and nothing after.
    recorder.Forget();
    d.SetText(IDC_DATA, missing);
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return recorder.Calls().size() == 3; }));
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "none"}));
    AnswerBox(hBox, IDOK);
    ASSERT_TRUE(d.WaitJobGone());
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "none"}));

    // Stopped after its first report.
    recorder.Forget();
    d.SetText(IDC_DATA, four.Path());
    d.m_dialog.HoldAt(MainDialog::kReported);
    d.PostClick(IDC_START);
    ASSERT_TRUE(d.m_dialog.WaitHeld());
    // A shell that restarts announces the button again: the new interface
    // shows the job where it is.
    dialog.AnnounceButton();
    EXPECT_TRUE(WaitUntil([&] { return recorder.Calls().size() >= 6; }));
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "25", "init", "normal", "25"}));
    EXPECT_EQ(recorder.m_nRefs, 1) << "the old interface is released";
    d.PostClick(IDC_START);
    HWND hQuestion = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hQuestion, nullptr);
    AnswerBox(hQuestion, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hQuestion); }));
    d.m_dialog.Release();
    ASSERT_TRUE(d.WaitJobGone());
    EXPECT_EQ(d.Text(IDC_RESULT), "");
    const Calls stopped = recorder.Calls();
    ASSERT_FALSE(stopped.empty());
    EXPECT_EQ(stopped.back(), "none");
    EXPECT_EQ(std::count(stopped.begin(), stopped.end(), "none"), 1);

    // Ended before hashing (no path, an HMAC without key): nothing shown.
    recorder.Forget();
    d.SetText(IDC_DATA, "");
    d.PostClick(IDC_START);
    hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    AnswerBox(hBox, IDOK);
    ASSERT_TRUE(d.WaitJobGone());
    d.Click(IDC_HMAC);
    EXPECT_EQ(d.RunFileJob(four.Path()), "");
    EXPECT_EQ(recorder.Calls(), Calls());

    EXPECT_FALSE(recorder.m_bOtherThread) << "a call came from another thread than the dialog's";
    EXPECT_FALSE(recorder.m_bOtherWindow);
  }
  EXPECT_EQ(recorder.m_nRefs, 0) << "closing the dialog releases the interface";
}

// Where the system has no such interface, jobs run as they always did.
TEST(MainDialogTaskbar, WithoutTheInterfaceJobsRunAsBefore) {
  const TempFile abc("abc.txt", "abc");
  TaskbarDialog dialog(nullptr);
  DialogDriver& d = *dialog;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  EXPECT_EQ(d.RunFileJob(abc.Path()), Expected(kMd5, "abc"));
  EXPECT_EQ(d.ProgressPos(), 100);
  ExpectIdle(d);
}

// No page of the process is writable and executable at once, at any point
// where one of the program's callback adapters is bound: with the dialog
// open, the picker's hook, a job's worker, the About box's link
// subclasses, and after all of them. The walk covers every committed page
// the process can see, the system's modules included: under Wine they
// are plain images with read-only code, as on Windows, so nothing needs to
// be left out.
namespace {

struct WritableCode {
  const void* pBase;
  SIZE_T nSize;
  DWORD dwProtect;
  DWORD dwType;
  std::string strOwner;  // the module of an image, else the allocation
};

std::string OwnerOf(const MEMORY_BASIC_INFORMATION& info) {
  char szName[MAX_PATH] = {};
  if (info.Type == MEM_IMAGE &&
      ::GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), szName, MAX_PATH) != 0)
    return szName;
  char szAllocation[64];
  std::snprintf(szAllocation, sizeof(szAllocation), "%s allocation at %p",
                info.Type == MEM_PRIVATE  ? "private"
                : info.Type == MEM_MAPPED ? "mapped"
                                          : "image",
                info.AllocationBase);
  return szAllocation;
}

std::vector<WritableCode> WritableCodePages() {
  SYSTEM_INFO si;
  ::GetSystemInfo(&si);
  std::vector<WritableCode> found;
  const char* p = static_cast<const char*>(si.lpMinimumApplicationAddress);
  MEMORY_BASIC_INFORMATION info;
  while (p < static_cast<const char*>(si.lpMaximumApplicationAddress) &&
         ::VirtualQuery(p, &info, sizeof(info)) == sizeof(info)) {
    const DWORD dwProtect = info.Protect & 0xFF;
    if (info.State == MEM_COMMIT &&
        (dwProtect == PAGE_EXECUTE_READWRITE || dwProtect == PAGE_EXECUTE_WRITECOPY))
      found.push_back({info.BaseAddress, info.RegionSize, info.Protect, info.Type, OwnerOf(info)});
    p = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return found;
}

void ExpectNoWritableCode(const char* pszWhen) {
  for (const WritableCode& page : WritableCodePages()) {
    ADD_FAILURE() << pszWhen << ": " << page.nSize << " bytes at " << page.pBase
                  << " writable and executable (protection 0x" << std::hex << page.dwProtect
                  << std::dec << ", " << page.strOwner << ")";
  }
}

}  // namespace

TEST(MainDialogMemory, NoPageIsWritableAndExecutableWhileTheAdaptersAreBound) {
  // The walk sees such a page where there is one.
  void* pProbe = ::VirtualAlloc(nullptr, 1, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  ASSERT_NE(pProbe, nullptr);
  const std::vector<WritableCode> probe = WritableCodePages();
  ::VirtualFree(pProbe, 0, MEM_RELEASE);
  ASSERT_EQ(probe.size(), 1u);
  EXPECT_EQ(probe.front().pBase, pProbe);

  const TempFile four("four-chunks.bin", Pattern(4 * Hasher::kChunkSize));
  DialogDriver d;
  ExpectNoWritableCode("with the dialog open");
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);

  d.PostClick(IDC_BROWSE);
  HWND hPicker = WaitForBox(d.m_hWnd, "Open");
  ASSERT_NE(hPicker, nullptr);
  ExpectNoWritableCode("with the picker open");
  ::PostMessageA(hPicker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hPicker); }));

  d.SetText(IDC_DATA, four.Path());
  d.m_dialog.HoldAt(MainDialog::kReported);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  ExpectNoWritableCode("during a file job");
  d.m_dialog.Release();
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, Pattern(4 * Hasher::kChunkSize)));

  d.PostClick(IDC_ABOUT);
  HWND hAbout = WaitForBox(d.m_hWnd, "About");
  ASSERT_NE(hAbout, nullptr);
  ExpectNoWritableCode("with the About box open");
  ::PostMessageA(hAbout, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }));
  ExpectNoWritableCode("after all of them");
}
