// A set's rows through a run (RowRun) and the window's edits between runs
// (RowEdits): what settles, what is left alone, the counts, the bar, Stop.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/Hasher.h"
#include "engine/RowEdits.h"
#include "engine/RowRun.h"
#include "tests/common/TempTree.h"

namespace {

std::string Digest(UINT nEntry, const std::string& bytes) {
  Hasher hasher(nEntry);
  return hasher.HashString(bytes, "", 0, 0);
}

FileRow Row(const std::string& name, RowResult result, UINT nEntry = kAlgorithmMD5,
            const std::string& expected = "") {
  FileRow row;
  row.strName = name;
  row.result = result;
  row.nEntry = nEntry;
  row.strExpected = expected;
  return row;
}

TEST(RowRun, SettlesTheRowsThatNeedARunAndKeepsTheCounts) {
  TempTree tree("row-run");
  ASSERT_TRUE(tree.File("a", "ay"));
  ASSERT_TRUE(tree.File("b", "bee"));
  SharedRows shared;
  shared.set.strFolder = tree.Root();
  shared.set.rows = {Row("a", RowResult::kPending, kAlgorithmMD5, Digest(kAlgorithmMD5, "ay")),
                     Row("b", RowResult::kPending, kAlgorithmMD5, Digest(kAlgorithmMD5, "x")),
                     Row("gone", RowResult::kPending, kAlgorithmMD5, Digest(kAlgorithmMD5, "x")),
                     Row("CON", RowResult::kRefused),
                     Row("b", RowResult::kPending, kAlgorithmSHA1)};
  shared.set.rows[3].strReason = "a device";
  shared.counts = CountRows(shared.set.rows);
  EntryChooser chooser;
  int nChanges = 0;
  RowRun run(shared, chooser, [&] { ++nChanges; });
  std::atomic<int> stop{0};
  EXPECT_TRUE(run.Run(0, stop));
  const std::vector<FileRow>& rows = shared.set.rows;
  EXPECT_EQ(RowResult::kMatch, rows[0].result);
  EXPECT_EQ(RowResult::kNoMatch, rows[1].result);
  EXPECT_EQ(Digest(kAlgorithmMD5, "bee"), rows[1].strDigest);
  EXPECT_EQ(RowResult::kMissing, rows[2].result);
  EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, rows[2].dwError);
  EXPECT_EQ(RowResult::kRefused, rows[3].result);  // never opened
  EXPECT_EQ("a device", rows[3].strReason);
  EXPECT_EQ(RowResult::kHashed, rows[4].result);
  EXPECT_EQ(Digest(kAlgorithmSHA1, "bee"), rows[4].strDigest);
  EXPECT_EQ(3u, rows[4].qwSize);
  EXPECT_EQ(1u, shared.counts.nMatch);
  EXPECT_EQ(1u, shared.counts.nNoMatch);
  EXPECT_EQ(1u, shared.counts.nMissing);
  EXPECT_EQ(1u, shared.counts.nRefused);
  EXPECT_GE(nChanges, 4);
  EXPECT_FALSE(shared.bRunning);
  // Sizes not known beforehand: the bar went by files, and ends full.
  EXPECT_FALSE(shared.bSizesKnown);
  EXPECT_EQ(1000, RowRun::Position(shared, 1000));
}

TEST(RowRun, StartsAtTheRowGivenAndByBytesWhenSizesAreKnown) {
  TempTree tree("row-run-from");
  ASSERT_TRUE(tree.File("a", "ay"));
  ASSERT_TRUE(tree.File("b", std::string(300000, 'b')));
  SharedRows shared;
  shared.set.strFolder = tree.Root();
  shared.set.rows = {Row("a", RowResult::kPending), Row("b", RowResult::kPending)};
  shared.set.rows[1].qwSize = 300000;
  EntryChooser chooser;
  RowRun run(shared, chooser, [] {});
  std::atomic<int> stop{0};
  EXPECT_TRUE(run.Run(1, stop));
  EXPECT_EQ(RowResult::kPending, shared.set.rows[0].result);
  EXPECT_EQ(RowResult::kHashed, shared.set.rows[1].result);
  EXPECT_TRUE(shared.bSizesKnown);
  EXPECT_EQ(300000u, shared.progress.qwDone);
  EXPECT_EQ(500, RowRun::Position(shared, 500));
}

TEST(RowRun, AStopBeforehandReadsNothing) {
  TempTree tree("row-run-stop");
  ASSERT_TRUE(tree.File("a", "ay"));
  SharedRows shared;
  shared.set.strFolder = tree.Root();
  shared.set.rows = {Row("a", RowResult::kPending)};
  EntryChooser chooser;
  RowRun run(shared, chooser, [] {});
  std::atomic<int> stop{1};
  EXPECT_FALSE(run.Run(0, stop));
  EXPECT_EQ(RowResult::kPending, shared.set.rows[0].result);
  EXPECT_EQ("", shared.set.rows[0].strDigest);
}

TEST(RowEdits, ResetDropAndNames) {
  FileSet set;
  set.strFolder = "C:\\f";
  set.strChecksumFile = "SHA1SUMS";
  set.rows = {Row("hashed", RowResult::kHashed),     Row("unread", RowResult::kUnreadable),
              Row("folder", RowResult::kUnreadable), Row("link", RowResult::kRefused),
              Row("missing", RowResult::kMissing),   Row("extra", RowResult::kNotListed),
              Row("moved", RowResult::kMoved)};
  set.rows[0].strDigest = "00";
  set.rows[1].dwError = ERROR_ACCESS_DENIED;
  set.rows[2].strReason = "The folder cannot be listed";
  set.rows[4].strReason = "Moved to moved";
  ResetRowsForEntry(&set, kAlgorithmSHA1);
  EXPECT_EQ(RowResult::kPending, set.rows[0].result);
  EXPECT_EQ("", set.rows[0].strDigest);
  EXPECT_EQ((UINT)kAlgorithmSHA1, set.rows[0].nEntry);
  EXPECT_EQ(RowResult::kPending, set.rows[1].result);
  EXPECT_EQ(0u, set.rows[1].dwError);
  EXPECT_EQ(RowResult::kUnreadable, set.rows[2].result);
  EXPECT_EQ(RowResult::kRefused, set.rows[3].result);

  const FileSet names = NamesOnly(set);
  EXPECT_EQ(set.strFolder, names.strFolder);
  EXPECT_EQ(set.strChecksumFile, names.strChecksumFile);
  ASSERT_EQ(set.rows.size(), names.rows.size());
  EXPECT_EQ("missing", names.rows[4].strName);
  EXPECT_EQ(RowResult::kMissing, names.rows[4].result);
  EXPECT_EQ("", names.rows[4].strReason);

  DropUnlistedRows(&set);
  ASSERT_EQ(5u, set.rows.size());
  EXPECT_EQ("missing", set.rows[4].strName);
  EXPECT_EQ("", set.rows[4].strReason);
}

TEST(RowRun, TonesOfTheResults) {
  EXPECT_EQ(RowTone::kNone, ToneOf(RowResult::kPending));
  EXPECT_EQ(RowTone::kNone, ToneOf(RowResult::kHashed));
  EXPECT_EQ(RowTone::kGood, ToneOf(RowResult::kMatch));
  for (RowResult result : {RowResult::kNoMatch, RowResult::kMissing, RowResult::kUnreadable,
                           RowResult::kRefused, RowResult::kNotListed, RowResult::kMoved})
    EXPECT_EQ(RowTone::kBad, ToneOf(result));
}

}  // namespace
