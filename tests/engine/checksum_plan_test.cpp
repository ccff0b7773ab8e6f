// The plan of a checksum file: each form a publisher ships, the entry of
// each line, hostile lines and hostile streams, and the rule that the first
// match of a digit count fixes its entry.

#include <gtest/gtest.h>

#include <thread>

#include "engine/ChecksumPlan.h"
#include "engine/EntryChooser.h"
#include "engine/LineStream.h"
#include "engine/RowBudget.h"
#include "tests/common/TempTree.h"

namespace {

const std::string k64(64, 'a'), k32(32, 'b'), k40(40, 'c'), k128(128, 'd');

ChecksumPlan PlanOf(const TempTree& tree, const std::string& name, const std::string& bytes,
                    DWORD* pdwError = nullptr) {
  EXPECT_TRUE(tree.File(name, bytes));
  ChecksumPlan plan;
  DWORD dwError = 0;
  const bool ok = ReadChecksumPlan(tree.Path(name), &plan, &dwError);
  if (pdwError) *pdwError = dwError;
  EXPECT_EQ(ok, dwError == 0);
  return plan;
}

std::string EntryText(UINT n) { return n < kAlgorithmCount ? CatalogueEntryAt(n)->pszName : "-"; }

// The utf-16 bytes of an ASCII or BMP text, with the byte order mark.
std::string Utf16(const std::wstring& text, bool bBigEndian) {
  std::string bytes = bBigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (wchar_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
    bytes += bBigEndian ? hi : lo;
    bytes += bBigEndian ? lo : hi;
  }
  return bytes;
}

}  // namespace

TEST(ChecksumPlan, EachForm) {
  TempTree tree("plan-forms");
  const std::string text =
      "\xEF\xBB\xBF# made by hand\r\n" + k64 + "  plain.iso\r\n" + k64 + " *binary.iso\n" +
      "SHA256 (bsd.iso) = " + k64 + "\n" + "SHA2-512(openssl.iso)= " + k128 + "\n" +
      "SHA3-256 (standard.iso) = " + k64 + "\n" + "BLAKE2b (b2.iso) = " + k128 + "\n" +
      "sfv.bin 1A2B3C4D\n" + "; a comment\n" + "\n" + "\\" + k64 + "  back\\\\slash\n" +
      "./sub/nested.iso  \n" + k32 + "  sub/../md5.iso\n" + k40 + "  UPPER.ISO\n" +
      std::string(64, 'A') + "  caps.iso";
  const ChecksumPlan plan = PlanOf(tree, "CHECKSUMS", text);
  // clang-format off
  const struct { const char* pszName; size_t nLine; const char* pszEntry; RowResult result; } kRows[] = {
    {"plain.iso",    2,  "-",                   RowResult::kPending},
    {"binary.iso",   3,  "-",                   RowResult::kPending},
    {"bsd.iso",      4,  "SHA2-256",            RowResult::kPending},
    {"openssl.iso",  5,  "SHA2-512",            RowResult::kPending},
    {"standard.iso", 6,  "SHA3-256 (FIPS 202)", RowResult::kPending},
    {"b2.iso",       7,  "BLAKE2b-512",         RowResult::kPending},
    {"sfv.bin",      8,  "CRC32",               RowResult::kPending},
    // GNU's escaped '\' is a separator here: no Windows name holds one.
    {"back\\slash",  11, "-",                   RowResult::kPending},
    {"md5.iso",      13, "-",                   RowResult::kPending},
    {"UPPER.ISO",    14, "-",                   RowResult::kPending},
    {"caps.iso",     15, "-",                   RowResult::kPending},
  };
  // clang-format on
  ASSERT_EQ(sizeof(kRows) / sizeof(kRows[0]), plan.set.rows.size());
  for (size_t i = 0; i < plan.set.rows.size(); ++i) {
    const FileRow& row = plan.set.rows[i];
    EXPECT_EQ(kRows[i].pszName, row.strName) << i;
    EXPECT_EQ(kRows[i].nLine, row.nLine) << row.strName;
    EXPECT_EQ(kRows[i].pszEntry, EntryText(row.nEntry)) << row.strName;
    EXPECT_EQ(kRows[i].result, row.result) << row.strName << ": " << row.strReason;
    EXPECT_TRUE(row.strDigest.empty());
  }
  EXPECT_EQ("1a2b3c4d", plan.set.rows[6].strExpected);
  EXPECT_EQ(k64, plan.set.rows[10].strExpected);  // lower case
  EXPECT_EQ(1u, plan.nOtherLines);                // "./sub/nested.iso" has no digest
  EXPECT_EQ(12u, plan.nFirstOtherLine);
  EXPECT_EQ(tree.Root(), plan.set.strFolder);
  EXPECT_EQ("CHECKSUMS", plan.set.strChecksumFile);
  EXPECT_EQ(tree.Path("md5.iso"), plan.set.FullPath(plan.set.rows[8]));
  EXPECT_FALSE(plan.bUtf16);
}

// Plain GNU lines take a short way; every line, plain or not, reads as the
// Expected field's reader reads it.
TEST(ChecksumPlan, EachLineAsTheExpectedFieldReadsIt) {
  const std::string lines[] = {
      k64 + "  plain.iso",
      k64 + " *binary.iso",
      k64 + "\t*tab",
      k64 + "  two  spaces",
      k64 + "   lead",
      k64 + "  ends in colon:",
      k64 + "  trailing  ",
      "deadbeef  crc-sized",
      "deadbeef 0badf00d",
      "\\" + k64 + "  esc\\\\aped",
      k64 + "  (paren) = x",
      "abc1234  short",
      k64 + "  caf\xC3\xA9\xC2\xA0",
      k64 + "  " + std::string(300, 'n'),
      "SHA1 (x) = " + k40,
      k64 + "  ",
      k64,
      k64 + "z  name",
      "1A2B3C4D hash of x:",
      k64 + "  x" + std::string(1, '\0') + "y",
  };
  for (const std::string& line : lines) {
    const ExpectedText parsed = ParseExpectedText("#\n" + line);
    ExpectedDigest digest;
    ASSERT_EQ(!parsed.digests.empty(), ParseChecksumLine(line, 7, &digest)) << line;
    if (parsed.digests.empty()) continue;
    const ExpectedDigest& want = parsed.digests[0];
    EXPECT_EQ(want.strDigits, digest.strDigits) << line;
    EXPECT_EQ(want.strName, digest.strName) << line;
    EXPECT_EQ(want.strTag, digest.strTag) << line;
    EXPECT_EQ(want.nAlgorithm, digest.nAlgorithm) << line;
    EXPECT_EQ(want.strLine, digest.strLine) << line;
    EXPECT_EQ(7u, digest.nLine);
  }
}

// The name of the checksum file gives untagged lines their entry; a tag
// still wins, and a length the name's entry lacks leaves it to the count.
TEST(ChecksumPlan, TheFileNameGivesTheEntry) {
  TempTree tree("plan-names");
  const std::string text = k64 + "  a\n" + k128 + "  b\n" + "MD5 (c) = " + k32 + "\n";
  const ChecksumPlan sums = PlanOf(tree, "sha256sums", text);
  ASSERT_EQ(3u, sums.set.rows.size());
  EXPECT_EQ("SHA2-256", EntryText(sums.set.rows[0].nEntry));
  EXPECT_EQ("-", EntryText(sums.set.rows[1].nEntry));
  EXPECT_EQ("MD5", EntryText(sums.set.rows[2].nEntry));
  const ChecksumPlan sha3 = PlanOf(tree, "release.SHA3", text);
  EXPECT_EQ("SHA3-256 (FIPS 202)", EntryText(sha3.set.rows[0].nEntry));
  EXPECT_EQ("SHA3-512 (FIPS 202)", EntryText(sha3.set.rows[1].nEntry));
  const ChecksumPlan sfv = PlanOf(tree, "game.sfv", "; made by a tool\nlevel1.dat DEADBEEF\n");
  ASSERT_EQ(1u, sfv.set.rows.size());
  EXPECT_EQ("CRC32", EntryText(sfv.set.rows[0].nEntry));
  EXPECT_EQ("deadbeef", sfv.set.rows[0].strExpected);
}

// Hostile lines are rows of their own, refused with the rule and never
// given a path; what no entry can check is refused too.
TEST(ChecksumPlan, HostileLinesAreRefusedRows) {
  TempTree tree("plan-hostile");
  const std::string text = k64 + "  ../../Windows/win.ini\n" + k64 + "  C:\\boot.ini\n" + k64 +
                           "  \\\\server\\share\\x\n" + k64 + "  NUL.txt\n" + k64 +
                           "  file:stream\n" + "SHA256 (ok.iso) = " + k32 + "\n" +
                           "NOSUCH (x) = " + k32 + "\n" + std::string(30, 'e') + "  odd\n" +
                           "SHA256 (notes) = zz\n" + k64 + "  good\n";
  const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", text);
  const char* const kRules[] = {"leaves",      "drive",     "network",
                                "device name", "stream",    "64 digits, not 32",
                                "NOSUCH",      "30 digits", "not hexadecimal"};
  ASSERT_EQ(10u, plan.set.rows.size());
  for (size_t i = 0; i < 9; ++i) {
    const FileRow& row = plan.set.rows[i];
    EXPECT_EQ(RowResult::kRefused, row.result) << row.strName;
    EXPECT_FALSE(row.NeedsRun());
    EXPECT_NE(std::string::npos, row.strReason.find(kRules[i])) << row.strReason;
    EXPECT_EQ(row.strReason, RowTooltip(row));
  }
  EXPECT_EQ("../../Windows/win.ini", plan.set.rows[0].strName);
  EXPECT_EQ(RowResult::kPending, plan.set.rows[9].result);
}

// Streams built to hurt: each gives a clear outcome in one pass, without
// holding more than a line at a time.
TEST(ChecksumPlan, HostileStreams) {
  TempTree tree("plan-streams");
  {
    // A million lines.
    std::string text;
    text.reserve(1000000 * 80);
    for (int i = 0; i < 1000000; ++i) text += k64 + "  f" + std::to_string(i) + "\n";
    const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", text);
    ASSERT_EQ(1000000u, plan.set.rows.size());
    EXPECT_EQ("f999999", plan.set.rows.back().strName);
    EXPECT_EQ(1000000u, plan.set.rows.back().nLine);
  }
  {
    // One line of 100 MB between two good ones: a refused row, no more held.
    std::string text =
        k64 + "  before\n" + k64 + "  " + std::string(100u << 20, 'x') + "\n" + k64 + "  after\n";
    const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", text);
    ASSERT_EQ(3u, plan.set.rows.size());
    EXPECT_EQ("before", plan.set.rows[0].strName);
    EXPECT_EQ(RowResult::kRefused, plan.set.rows[1].result);
    EXPECT_NE(std::string::npos, plan.set.rows[1].strReason.find("longer than 128 KiB"));
    EXPECT_GE(130u, plan.set.rows[1].strName.size());
    EXPECT_EQ("after", plan.set.rows[2].strName);
    EXPECT_EQ(3u, plan.set.rows[2].nLine);
  }
  {
    // The same line with no line break after it, at the end of the file.
    const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", k64 + "  " + std::string(300000, 'y'));
    ASSERT_EQ(1u, plan.set.rows.size());
    EXPECT_EQ(RowResult::kRefused, plan.set.rows[0].result);
  }
  {
    // NUL bytes: in a name (refused), in a digest (no checksum line), alone.
    const std::string text = k64 + std::string("  a\0b\n", 6) + std::string("\0\0\0\n", 4) +
                             std::string("aa\0a  x\n", 8) + k64 + "  fine\n";
    const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", text);
    ASSERT_EQ(2u, plan.set.rows.size());
    EXPECT_EQ(RowResult::kRefused, plan.set.rows[0].result);
    EXPECT_NE(std::string::npos, plan.set.rows[0].strReason.find("control character"));
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b",
        plan.set.rows[0].strName);
    EXPECT_EQ("fine", plan.set.rows[1].strName);
    EXPECT_EQ(2u, plan.nOtherLines);
  }
  {
    // Invalid UTF-8 in a name: refused, shown with U+FFFD; the rest read.
    const ChecksumPlan plan =
        PlanOf(tree, "SHA256SUMS", k64 + "  caf\xE9.iso\n" + k64 + "  caf\xC3\xA9.iso\n");
    ASSERT_EQ(2u, plan.set.rows.size());
    EXPECT_EQ(RowResult::kRefused, plan.set.rows[0].result);
    EXPECT_EQ("caf\xEF\xBF\xBD.iso", plan.set.rows[0].strName);
    EXPECT_EQ(RowResult::kPending, plan.set.rows[1].result);
    EXPECT_EQ("caf\xC3\xA9.iso", plan.set.rows[1].strName);
  }
  for (bool bBigEndian : {false, true}) {
    // UTF-16 with its byte order mark, both byte orders, CRLF; a name
    // outside the BMP and a lone surrogate.
    std::wstring text = std::wstring(k64.begin(), k64.end()) + L"  caf\x00E9.iso\r\n" +
                        std::wstring(k64.begin(), k64.end()) + L"  \xD83D\xDE42.txt\r\n" +
                        std::wstring(k64.begin(), k64.end()) + L"  lone\xD800.txt";
    const ChecksumPlan plan = PlanOf(tree, "SHA256SUMS", Utf16(text, bBigEndian));
    EXPECT_TRUE(plan.bUtf16);
    ASSERT_EQ(3u, plan.set.rows.size()) << bBigEndian;
    EXPECT_EQ("caf\xC3\xA9.iso", plan.set.rows[0].strName);
    EXPECT_EQ("\xF0\x9F\x99\x82.txt", plan.set.rows[1].strName);
    EXPECT_EQ("lone\xEF\xBF\xBD.txt", plan.set.rows[2].strName);
    EXPECT_EQ(k64, plan.set.rows[2].strExpected);
  }
  {
    // A UTF-16 text cut in the middle of a unit.
    const ChecksumPlan plan = PlanOf(
        tree, "SHA256SUMS", Utf16(std::wstring(k64.begin(), k64.end()) + L"  x", false) + "A");
    ASSERT_EQ(1u, plan.set.rows.size());
    EXPECT_EQ("x\xEF\xBF\xBD", plan.set.rows[0].strName);
  }
}

TEST(ChecksumPlan, FilesThatGiveNoRows) {
  TempTree tree("plan-empty");
  DWORD dwError = 0;
  const ChecksumPlan empty = PlanOf(tree, "MD5SUMS", "", &dwError);
  EXPECT_EQ(0u, dwError);
  EXPECT_EQ("MD5SUMS is empty", EmptyPlanText(empty));
  const ChecksumPlan comments = PlanOf(tree, "MD5SUMS", "# nothing\n\n; here\n");
  EXPECT_EQ("No line of MD5SUMS names a file", EmptyPlanText(comments));
  const ChecksumPlan prose = PlanOf(tree, "MD5SUMS", "Dear user,\nthese are not digests.\n");
  EXPECT_EQ("No line of MD5SUMS is a checksum line (line 1 is the first that is not)",
            EmptyPlanText(prose));
  const ChecksumPlan binary = PlanOf(tree, "MD5SUMS",
                                     std::string("\x7F"
                                                 "ELF\0\0\x01\n\xFF",
                                                 9));
  EXPECT_TRUE(binary.set.rows.empty());
  EXPECT_EQ("", EmptyPlanText(PlanOf(tree, "MD5SUMS", k32 + "  x\n")));

  ChecksumPlan plan;
  EXPECT_FALSE(ReadChecksumPlan(tree.Path("absent.md5"), &plan, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), dwError);
  EXPECT_FALSE(ReadChecksumPlan("NUL", &plan, &dwError));  // a device is no checksum file
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), dwError);
  EXPECT_FALSE(ReadChecksumPlan(tree.Root(), &plan, &dwError));  // nor is a folder
  EXPECT_NE(0u, dwError);
}

TEST(ChecksumPlan, StopAndASetTooLargeForMemory) {
  TempTree tree("plan-limits");
  std::string text;
  for (int i = 0; i < 20000; ++i) text += k32 + "  f" + std::to_string(i) + "\n";
  ASSERT_TRUE(tree.File("MD5SUMS", text));
  ChecksumPlan plan;
  DWORD dwError = 0;
  std::atomic<int> stop{1};
  EXPECT_FALSE(ReadChecksumPlan(tree.Path("MD5SUMS"), &plan, &dwError, &stop));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), dwError);
  g_nRowLimit = 5000;
  EXPECT_FALSE(ReadChecksumPlan(tree.Path("MD5SUMS"), &plan, &dwError));
  g_nRowLimit = static_cast<size_t>(-1);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), dwError);
  EXPECT_TRUE(plan.set.rows.empty());
  EXPECT_TRUE(ReadChecksumPlan(tree.Path("MD5SUMS"), &plan, &dwError));
  EXPECT_EQ(20000u, plan.set.rows.size());
}

// The first file of a digit count that matches fixes that count's entry;
// tagged lines and other counts keep their own.
TEST(EntryChooser, TheFirstMatchFixesTheCount) {
  EntryChooser chooser;
  FileRow open64, next64, tagged, open40, pending;
  open64.strExpected = next64.strExpected = tagged.strExpected = k64;
  tagged.nEntry = kAlgorithmSHA256;
  open40.strExpected = k40;
  const std::vector<UINT> candidates = chooser.EntriesFor(open64);
  ASSERT_EQ(CandidateEntries(64, kAlgorithmCount, false), candidates);
  EXPECT_EQ(kAlgorithmSHA256, candidates[0]);
  EXPECT_EQ(kAlgorithmSHA256, chooser.SetEntry());  // nothing settled yet: the first given

  // Nothing matched: No match with the first entry's digest, the count stays open.
  std::vector<std::string> digests(candidates.size(), std::string(64, '0'));
  chooser.Settle(&open64, candidates, digests);
  EXPECT_EQ(RowResult::kNoMatch, open64.result);
  EXPECT_EQ(kAlgorithmSHA256, open64.nEntry);
  EXPECT_NE(std::string::npos, RowTooltip(open64).find("Expected " + k64));
  EXPECT_NE(std::string::npos, RowTooltip(open64).find("Tried SHA2-256, "));
  EXPECT_EQ(candidates, chooser.EntriesFor(next64));

  // BLAKE2s-256 matches (upper-case digest): it now decides every 64-digit line.
  const size_t nBlake =
      std::find(candidates.begin(), candidates.end(), kAlgorithmBLAKE2s256) - candidates.begin();
  ASSERT_LT(nBlake, candidates.size());
  digests[nBlake] = std::string(64, 'A');
  chooser.Settle(&next64, candidates, digests);
  EXPECT_EQ(RowResult::kMatch, next64.result);
  EXPECT_EQ(kAlgorithmBLAKE2s256, next64.nEntry);
  EXPECT_EQ(k64, next64.strDigest);
  FileRow later = FileRow();
  later.strExpected = k64;
  EXPECT_EQ(std::vector<UINT>{kAlgorithmBLAKE2s256}, chooser.EntriesFor(later));
  EXPECT_EQ(std::vector<UINT>{kAlgorithmSHA256}, chooser.EntriesFor(tagged));
  EXPECT_EQ(CandidateEntries(40, kAlgorithmCount, false), chooser.EntriesFor(open40));
  EXPECT_EQ(kAlgorithmSHA256, chooser.SetEntry());  // the first settled

  // Settled and refused rows are not run again; a not-listed row takes the set's entry.
  EXPECT_TRUE(chooser.EntriesFor(next64).empty());
  FileRow unlisted;
  unlisted.result = RowResult::kNotListed;
  EXPECT_EQ(std::vector<UINT>{kAlgorithmSHA256}, chooser.EntriesFor(unlisted));
  chooser.Settle(&unlisted, {kAlgorithmSHA256}, {"ABC"});
  EXPECT_EQ(RowResult::kNotListed, unlisted.result);
  EXPECT_EQ("abc", unlisted.strDigest);
  EXPECT_TRUE(chooser.EntriesFor(unlisted).empty());
  chooser.Settle(&pending, {kAlgorithmMD5}, {""});  // nothing computed: left alone
  EXPECT_EQ(RowResult::kPending, pending.result);
  chooser.Settle(&pending, {kAlgorithmMD5}, {"FF"});  // hashing: Hashed
  EXPECT_EQ(RowResult::kHashed, pending.result);
  EXPECT_EQ("MD5", AlgorithmText(pending));
}

TEST(EntryChooser, FailuresAndThreads) {
  // clang-format off
  const struct { bool bListed; RowResult before; DWORD dwError; RowResult after; } kCases[] = {
    {true,  RowResult::kPending,   ERROR_FILE_NOT_FOUND,     RowResult::kMissing},
    {true,  RowResult::kPending,   ERROR_PATH_NOT_FOUND,     RowResult::kMissing},
    {true,  RowResult::kPending,   ERROR_SHARING_VIOLATION,  RowResult::kUnreadable},
    {true,  RowResult::kPending,   ERROR_HANDLE_EOF,         RowResult::kUnreadable},
    {false, RowResult::kPending,   ERROR_FILE_NOT_FOUND,     RowResult::kUnreadable},
    {false, RowResult::kNotListed, ERROR_FILE_NOT_FOUND,     RowResult::kUnreadable},
  };
  // clang-format on
  for (const auto& c : kCases) {
    FileRow row;
    row.strExpected = c.bListed ? k32 : "";
    row.result = c.before;
    EntryChooser::Fail(&row, c.dwError);
    EXPECT_EQ(c.after, row.result) << c.dwError;
    EXPECT_EQ(c.dwError, row.dwError);
    EXPECT_EQ(SystemMessageText(c.dwError), RowTooltip(row));
  }
  // Many threads asking and settling at once agree on one fixed entry.
  EntryChooser chooser;
  std::vector<std::thread> threads;
  std::vector<FileRow> rows(400);
  for (FileRow& row : rows) row.strExpected = k32;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (size_t i = t; i < rows.size(); i += 4) {
        const std::vector<UINT> entries = chooser.EntriesFor(rows[i]);
        std::vector<std::string> digests;
        for (UINT n : entries) digests.push_back(n == kAlgorithmMD4 ? k32 : std::string(32, '0'));
        chooser.Settle(&rows[i], entries, digests);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const FileRow& row : rows) {
    EXPECT_EQ(RowResult::kMatch, row.result);
    EXPECT_EQ(kAlgorithmMD4, row.nEntry);
  }
}

// The line reader on its own: the widths of line breaks and a file read in
// many pieces.
TEST(LineStream, LinesAcrossReads) {
  TempTree tree("lines");
  std::string text;
  for (int i = 0; i < 300000; ++i) text += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  text += "last\r";
  ASSERT_TRUE(tree.File("t.txt", text));
  LineStream stream;
  ASSERT_TRUE(stream.Open(tree.Path("t.txt")));
  std::string line;
  bool bTooLong = true;
  for (int i = 0; i < 300000; ++i) {
    ASSERT_TRUE(stream.Next(&line, &bTooLong));
    ASSERT_EQ("line " + std::to_string(i), line);
    ASSERT_FALSE(bTooLong);
  }
  ASSERT_TRUE(stream.Next(&line, &bTooLong));
  EXPECT_EQ("last", line);
  EXPECT_FALSE(stream.Next(&line, &bTooLong));
  EXPECT_EQ(0u, stream.LastError());
  EXPECT_EQ(300001u, stream.LineNumber());
}
