// The row model's texts: results, the summary as rows settle and while a
// run goes on, tooltips, and the Copy text.

#include <gtest/gtest.h>

#include "engine/FileRows.h"

namespace {

FileRow Row(RowResult result, const std::string& name = "x") {
  FileRow row;
  row.result = result;
  row.strName = name;
  return row;
}

}  // namespace

TEST(FileRows, ResultTexts) {
  // clang-format off
  const struct { RowResult result; const char* pszText; bool bGood; } kCases[] = {
    {RowResult::kPending, "", false},           {RowResult::kHashed, "", false},
    {RowResult::kMatch, "Match", true},         {RowResult::kNoMatch, "No match", false},
    {RowResult::kMissing, "Missing", false},    {RowResult::kUnreadable, "Unreadable", false},
    {RowResult::kRefused, "Refused", false},    {RowResult::kNotListed, "Not listed", false},
    {RowResult::kMoved, "Moved", false},
  };
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_STREQ(c.pszText, ResultText(c.result));
    EXPECT_EQ(c.bGood, IsGoodResult(c.result)) << c.pszText;
  }
}

TEST(FileRows, SummaryTexts) {
  RowCounts counts;
  RunFigures done;
  EXPECT_EQ("0 files", SummaryText(counts, done));
  counts.Add(RowResult::kHashed);
  EXPECT_EQ("1 file", SummaryText(counts, done));
  for (int i = 0; i < 119; ++i) counts.Add(RowResult::kPending);
  EXPECT_EQ("120 files", SummaryText(counts, done));
  // Rows settle: a pending row is taken out and its result put in.
  const RowResult settled[] = {RowResult::kMatch,   RowResult::kMatch,      RowResult::kNoMatch,
                               RowResult::kMissing, RowResult::kUnreadable, RowResult::kRefused,
                               RowResult::kRefused, RowResult::kNotListed,  RowResult::kMoved};
  for (RowResult result : settled) {
    counts.Remove(RowResult::kPending);
    counts.Add(result);
  }
  EXPECT_EQ(
      "120 files: 2 match, 1 no match, 1 missing, 1 unreadable, 2 refused, 1 not listed, 1 moved",
      SummaryText(counts, done));
  RowCounts some;
  for (int i = 0; i < 1000; ++i) some.Add(RowResult::kMatch);
  some.Add(RowResult::kMissing);
  EXPECT_EQ("1001 files: 1000 match, 1 missing", SummaryText(some, done));  // plain digits

  // clang-format off
  const struct { ULONGLONG qwRate, qwLeft; bool bStopped; const char* pszTail; } kRuns[] = {
    {312ULL << 20, 41,     false, ", 312 MiB/s, 0:41 left"},
    {0,            ~0ULL,  false, ""},
    {5ULL << 20,   ~0ULL,  false, ", 5 MiB/s"},
    {0,            65,     false, ", 1:05 left"},
    {1,            3599,   false, ", 0 MiB/s, 59:59 left"},
    {2ULL << 30,   3600,   false, ", 2048 MiB/s, 1:00:00 left"},
    {7ULL << 20,   36671,  false, ", 7 MiB/s, 10:11:11 left"},
    {0,            0,      false, ", 0:00 left"},
  };
  // clang-format on
  for (const auto& run : kRuns) {
    RunFigures running;
    running.bRunning = true;
    running.qwBytesPerSecond = run.qwRate;
    running.qwSecondsLeft = run.qwLeft;
    EXPECT_EQ(std::string("1001 files: 1000 match, 1 missing") + run.pszTail,
              SummaryText(some, running));
  }
  RunFigures stopped;
  stopped.bStopped = true;
  EXPECT_EQ(
      "120 files: 2 match, 1 no match, 1 missing, 1 unreadable, 2 refused, 1 not listed, "
      "1 moved, stopped",
      SummaryText(counts, stopped));
  RowCounts none;
  for (int i = 0; i < 3; ++i) none.Add(RowResult::kPending);
  EXPECT_EQ("3 files, stopped", SummaryText(none, stopped));

  std::vector<FileRow> rows;
  for (RowResult result : settled) rows.push_back(Row(result));
  const RowCounts counted = CountRows(rows);
  EXPECT_EQ(9u, counted.nRows);
  EXPECT_EQ(2u, counted.nMatch);
  EXPECT_EQ(2u, counted.nRefused);
  EXPECT_EQ(1u, counted.nMoved);
}

TEST(FileRows, Tooltips) {
  FileRow noMatch = Row(RowResult::kNoMatch);
  noMatch.strExpected = "ab12";
  EXPECT_EQ("Expected ab12", RowTooltip(noMatch));
  FileRow unreadable = Row(RowResult::kUnreadable);
  unreadable.dwError = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(SystemMessageText(ERROR_SHARING_VIOLATION), RowTooltip(unreadable));
  EXPECT_NE("Error 32", RowTooltip(unreadable));  // the system's own text
  EXPECT_NE('\n', RowTooltip(unreadable).back());
  FileRow refused = Row(RowResult::kRefused);
  refused.strReason = "A device name (CON, NUL, AUX, PRN, COM1, LPT1, ...) is never opened";
  EXPECT_EQ(refused.strReason, RowTooltip(refused));
  FileRow moved = Row(RowResult::kMoved);
  moved.strReason = "old\\name.iso";
  EXPECT_EQ("Listed as old\\name.iso", RowTooltip(moved));
  FileRow missing = Row(RowResult::kMissing);
  missing.dwError = ERROR_FILE_NOT_FOUND;
  missing.strReason = "Moved to new.iso";
  EXPECT_EQ(SystemMessageText(ERROR_FILE_NOT_FOUND) + "\nMoved to new.iso", RowTooltip(missing));
  EXPECT_EQ("", RowTooltip(Row(RowResult::kMatch)));
  EXPECT_EQ("Error 3735928559", SystemMessageText(0xDEADBEEF));
}

TEST(FileRows, CopyText) {
  std::vector<FileRow> rows;
  FileRow match = Row(RowResult::kMatch, "sub\\a.iso");
  match.nEntry = kAlgorithmSHA256;
  match.strDigest = std::string(64, 'e');
  rows.push_back(match);
  rows.push_back(Row(RowResult::kMissing, "b.iso"));
  rows.push_back(Row(RowResult::kPending, "c.iso"));
  FileRow keccak = Row(RowResult::kNoMatch, "d");
  keccak.nEntry = kAlgorithmFIPS_SHA3_256;
  keccak.strDigest = "01";
  rows.push_back(keccak);
  const std::string all = "Match\tSHA2-256\t" + std::string(64, 'e') + "\tsub\\a.iso\r\n" +
                          "Missing\t\t\tb.iso\r\n" + "\t\t\tc.iso\r\n" +
                          "No match\tSHA3-256 (FIPS 202)\t01\td\r\n";
  EXPECT_EQ(all, CopyText(rows, {}));
  EXPECT_EQ("No match\tSHA3-256 (FIPS 202)\t01\td\r\nMissing\t\t\tb.iso\r\n",
            CopyText(rows, {3, 1, 99}));
  EXPECT_EQ("", CopyText(std::vector<FileRow>(), {}));
  FileSet set;
  set.strFolder = "C:\\dl";
  EXPECT_EQ("C:\\dl\\sub\\a.iso", set.FullPath(match));
  set.strFolder.clear();
  EXPECT_EQ("sub\\a.iso", set.FullPath(match));
}
