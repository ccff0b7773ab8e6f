// Save: the text of both forms, read back by the plan; the file replaced
// whole or not at all.

#include <gtest/gtest.h>

#include "engine/ChecksumNames.h"
#include "engine/ChecksumPlan.h"
#include "engine/ChecksumWriter.h"
#include "engine/FolderWalk.h"
#include "tests/common/TempTree.h"

namespace {

FileRow Hashed(const std::string& name, UINT nEntry, char digit,
               RowResult result = RowResult::kHashed) {
  FileRow row;
  row.strName = name;
  row.nEntry = nEntry;
  row.result = result;
  row.strDigest = std::string(CatalogueEntryAt(nEntry)->HexDigits(), digit);
  return row;
}

std::vector<std::string> FolderNames(const TempTree& tree) {
  std::vector<WalkEntry> entries;
  DWORD dwError = 0;
  WalkFolder(tree.Root(), &entries, &dwError);
  std::vector<std::string> names;
  for (const WalkEntry& entry : entries) names.push_back(entry.strName);
  return names;
}

}  // namespace

TEST(ChecksumWriter, GnuFormReadsBack) {
  TempTree tree("save-gnu");
  FileSet set;
  set.strFolder = tree.Root();
  set.rows = {Hashed("zeta.iso", kAlgorithmSHA256, 'a'),
              Hashed("sub\\Beta.iso", kAlgorithmSHA256, 'b', RowResult::kMatch),
              Hashed("alpha.iso", kAlgorithmSHA256, 'c', RowResult::kNoMatch),
              Hashed(" lead space", kAlgorithmSHA256, 'd'),
              Hashed("two  spaces", kAlgorithmSHA256, 'e'),
              Hashed("00", kAlgorithmSHA256, 'f', RowResult::kNotListed),
              Hashed("caf\xC3\xA9 (1) = x.txt", kAlgorithmSHA256, '1', RowResult::kMoved),
              Hashed("SHA256SUMS", kAlgorithmSHA256, '2')};  // the file itself: never listed
  FileRow missing = Hashed("missing", kAlgorithmSHA256, '3', RowResult::kMissing);
  missing.strDigest.clear();
  set.rows.push_back(missing);
  FileRow refused;
  refused.strName = "../x";
  refused.result = RowResult::kRefused;
  set.rows.push_back(refused);

  std::string text;
  DWORD dwError = 1;
  ASSERT_TRUE(ChecksumFileText(set, tree.Path("SHA256SUMS"), ChecksumForm::kGnu, &text, &dwError));
  EXPECT_EQ(0u, dwError);
  const std::string expected = std::string(64, 'd') + "   lead space\n" + std::string(64, 'f') +
                               "  00\n" + std::string(64, 'c') + "  alpha.iso\n" +
                               std::string(64, '1') + "  caf\xC3\xA9 (1) = x.txt\n" +
                               std::string(64, 'b') + "  sub/Beta.iso\n" + std::string(64, 'e') +
                               "  two  spaces\n" + std::string(64, 'a') + "  zeta.iso\n";
  EXPECT_EQ(expected, text);

  ASSERT_TRUE(SaveChecksumFile(set, tree.Path("SHA256SUMS"), ChecksumForm::kGnu, &dwError));
  EXPECT_EQ(expected, tree.Read("SHA256SUMS"));
  EXPECT_EQ(std::vector<std::string>{"SHA256SUMS"}, FolderNames(tree));  // no temporary file left

  ChecksumPlan plan;
  ASSERT_TRUE(ReadChecksumPlan(tree.Path("SHA256SUMS"), &plan, &dwError));
  ASSERT_EQ(7u, plan.set.rows.size());
  const char* const kBack[] = {
      " lead space",   "00",          "alpha.iso", "caf\xC3\xA9 (1) = x.txt",
      "sub\\Beta.iso", "two  spaces", "zeta.iso"};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(kBack[i], plan.set.rows[i].strName);
    EXPECT_EQ(RowResult::kPending, plan.set.rows[i].result) << plan.set.rows[i].strReason;
    EXPECT_EQ(kAlgorithmSHA256, plan.set.rows[i].nEntry);
  }
  EXPECT_EQ(std::string(64, 'b'), plan.set.rows[4].strExpected);
}

// GNU tools' escape for names with a line break or a backslash: read back
// by the same reader.
TEST(ChecksumWriter, EscapedNames) {
  FileSet set;
  set.strFolder = "C:\\dl";
  set.rows = {Hashed("line\nbreak", kAlgorithmMD5, 'a')};
  std::string text;
  DWORD dwError = 0;
  ASSERT_TRUE(ChecksumFileText(set, "C:\\dl\\MD5SUMS", ChecksumForm::kGnu, &text, &dwError));
  EXPECT_EQ("\\" + std::string(32, 'a') + "  line\\nbreak\n", text);
  ExpectedDigest digest;
  ASSERT_TRUE(ParseChecksumLine(text.substr(0, text.size() - 1), 1, &digest));
  EXPECT_EQ("line\nbreak", digest.strName);
  EXPECT_EQ(std::string(32, 'a'), digest.strDigits);
  // The tag form cannot carry a line break.
  EXPECT_FALSE(ChecksumFileText(set, "C:\\dl\\CHECKSUMS", ChecksumForm::kBsdTag, &text, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), dwError);
}

// The tag form with every entry: each line reads back as its own entry.
TEST(ChecksumWriter, TagFormEveryEntryReadsBack) {
  TempTree tree("save-bsd");
  FileSet set;
  set.strFolder = tree.Root();
  for (UINT n = 0; n < kAlgorithmCount; ++n)
    set.rows.push_back(Hashed("f" + std::string(1, char('a' + n)), n, "0123456789abcdef"[n % 16]));
  DWORD dwError = 0;
  ASSERT_TRUE(SaveChecksumFile(set, tree.Path("CHECKSUMS"), ChecksumForm::kBsdTag, &dwError));
  const std::string text = tree.Read("CHECKSUMS");
  EXPECT_EQ(0u, text.find("CRC32 (fa) = " + set.rows[0].strDigest + "\n"));
  EXPECT_NE(std::string::npos, text.find("SHA256 (fo) = "));
  EXPECT_EQ(std::string::npos, text.find('\r'));
  ChecksumPlan plan;
  ASSERT_TRUE(ReadChecksumPlan(tree.Path("CHECKSUMS"), &plan, &dwError));
  ASSERT_EQ(size_t(kAlgorithmCount), plan.set.rows.size());
  for (UINT n = 0; n < kAlgorithmCount; ++n) {
    EXPECT_EQ(set.rows[n].strName, plan.set.rows[n].strName);
    EXPECT_EQ(n, plan.set.rows[n].nEntry) << CatalogueEntryAt(n)->pszName;
    EXPECT_EQ(set.rows[n].strDigest, plan.set.rows[n].strExpected);
  }
  EXPECT_EQ(kAlgorithmCount, CommonEntry(set));
  EXPECT_EQ(tree.Path("CHECKSUMS"), DefaultSavePath(set));
  set.rows.resize(1);
  set.rows[0] = Hashed("x", kAlgorithmBLAKE2b512, 'a');
  EXPECT_EQ(kAlgorithmBLAKE2b512, CommonEntry(set));
  EXPECT_EQ(tree.Path("B2SUMS"), DefaultSavePath(set));
}

TEST(ChecksumWriter, ReplaceAndFailuresLeaveTheOldFileWhole) {
  TempTree tree("save-fail");
  ASSERT_TRUE(tree.File("MD5SUMS", "old contents\n"));
  FileSet set;
  set.strFolder = tree.Root();
  set.rows = {Hashed("a", kAlgorithmMD5, 'a')};
  const std::string fresh = std::string(32, 'a') + "  a\n";
  DWORD dwError = 0;
  ASSERT_TRUE(SaveChecksumFile(set, tree.Path("MD5SUMS"), ChecksumForm::kGnu, &dwError));
  EXPECT_EQ(fresh, tree.Read("MD5SUMS"));

  // The target held open by another program, without sharing.
  {
    HANDLE hHeld = ::CreateFileA(tree.Path("MD5SUMS").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    set.rows[0].strDigest = std::string(32, 'b');
    EXPECT_FALSE(SaveChecksumFile(set, tree.Path("MD5SUMS"), ChecksumForm::kGnu, &dwError));
    EXPECT_NE(0u, dwError);
    ::CloseHandle(hHeld);
    EXPECT_EQ(fresh, tree.Read("MD5SUMS"));
    EXPECT_EQ(std::vector<std::string>{"MD5SUMS"}, FolderNames(tree));
  }
  // A folder that is not there: nothing made anywhere.
  FileSet absent = set;
  absent.strFolder = tree.Path("absent");
  EXPECT_FALSE(
      SaveChecksumFile(absent, tree.Path("absent\\MD5SUMS"), ChecksumForm::kGnu, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), dwError);
  // A target that is a folder.
  ASSERT_TRUE(tree.Folder("folder"));
  EXPECT_FALSE(SaveChecksumFile(set, tree.Path("folder"), ChecksumForm::kGnu, &dwError));
  EXPECT_NE(0u, dwError);
  // Rows outside the target's folder cannot be named from it.
  EXPECT_FALSE(SaveChecksumFile(set, tree.Path("folder\\MD5SUMS"), ChecksumForm::kGnu, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), dwError);
  EXPECT_EQ((std::vector<std::string>{"MD5SUMS"}), FolderNames(tree));
  EXPECT_EQ(fresh, tree.Read("MD5SUMS"));
  // From a folder above, the names take the folder between.
  std::string text;
  set.strFolder = tree.Path("folder");
  ASSERT_TRUE(ChecksumFileText(set, tree.Path("MD5SUMS"), ChecksumForm::kGnu, &text, &dwError));
  EXPECT_EQ(std::string(32, 'b') + "  folder/a\n", text);
}
