// Checksum text in the Expected field: the forms tools print, the line that
// applies to a file, and the verdict on results, hostile text included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/CheckPlan.h"
#include "engine/ExpectedText.h"
#include "engine/Hasher.h"

namespace {

const std::string k32(32, 'a');
const std::string k64 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string k64Upper = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

std::string NameOf(UINT nAlgorithm) {
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  return pEntry ? pEntry->pszName : "";
}

std::string Digest(UINT nAlgorithm, const std::string& text) {
  return Hasher(nAlgorithm).HashString(text, "", 0, 0);
}

// One digest a form gives: digits, name, the entry its tag chooses (list
// text; "" when the length decides) and the line it came from.
TEST(ExpectedText, EachForm) {
  const struct {
    const char* pszForm;
    std::string text;
    std::string digits;
    std::string name;
    std::string entry;
    size_t nLine;
  } cases[] = {
      {"bare, today's separators",
       "  0xE3:B0-C4 42\xC2\xA0"
       "98\t\r\n",
       "E3B0C44298", "", "", 1},
      {"bare in spaced pairs over lines", "e3 b0\nc4 42\n", "e3b0c442", "", "", 1},
      {"GNU text mode", k64 + "  ubuntu 22.04 desktop.iso\n", k64, "ubuntu 22.04 desktop.iso", "",
       1},
      {"GNU binary mode", k64 + " *dir/sub/x.iso", k64, "dir/sub/x.iso", "", 1},
      {"GNU escaped name", "\\" + k32 + "  a\\\\b\\nc.txt", k32, "a\\b\nc.txt", "", 1},
      {"GNU one space", k32 + " notes.txt", k32, "notes.txt", "", 1},
      {"BSD", "SHA256 (ubuntu.iso) = " + k64, k64, "ubuntu.iso", "SHA2-256", 1},
      {"BSD, name with ( ) = and spaces", "SHA256 (a (1) = b) = c.iso) = " + k64, k64,
       "a (1) = b) = c.iso", "SHA2-256", 1},
      {"OpenSSL", "SHA2-256(x.iso)= " + k64, k64, "x.iso", "SHA2-256", 1},
      {"OpenSSL lower case", "sha512(x)= ab12", "ab12", "x", "SHA2-512", 1},
      {"MD2", "MD2 (f) = ab", "ab", "f", "MD2", 1},
      {"MD4", "MD4 (f) = ab", "ab", "f", "MD4", 1},
      {"MD5", "MD5 (f) = ab", "ab", "f", "MD5", 1},
      {"SHA1", "SHA1 (f) = ab", "ab", "f", "SHA1", 1},
      {"SHA224", "SHA224 (f) = ab", "ab", "f", "SHA2-224", 1},
      {"SHA384", "SHA384 (f) = ab", "ab", "f", "SHA2-384", 1},
      {"SHA2-512", "SHA2-512 (f) = ab", "ab", "f", "SHA2-512", 1},
      {"RMD160", "RMD160 (f) = ab", "ab", "f", "RIPEMD-160", 1},
      {"RIPEMD160", "RIPEMD160 (f) = ab", "ab", "f", "RIPEMD-160", 1},
      {"RIPEMD-128", "RIPEMD-128 (f) = ab", "ab", "f", "RIPEMD-128", 1},
      {"RMD256", "RMD256 (f) = ab", "ab", "f", "RIPEMD-256", 1},
      {"RIPEMD320", "RIPEMD320 (f) = ab", "ab", "f", "RIPEMD-320", 1},
      {"TIGER", "TIGER (f) = ab", "ab", "f", "Tiger", 1},
      {"WHIRLPOOL", "WHIRLPOOL (f) = ab", "ab", "f", "Whirlpool", 1},
      {"CRC32", "CRC32 (f) = ab", "ab", "f", "CRC32", 1},
      {"SHA3-224: the standard", "SHA3-224 (f) = ab", "ab", "f", "SHA3-224 (FIPS 202)", 1},
      {"SHA3-256: the standard", "SHA3-256 (f) = ab", "ab", "f", "SHA3-256 (FIPS 202)", 1},
      {"SHA3-384: the standard", "SHA3-384(f)= ab", "ab", "f", "SHA3-384 (FIPS 202)", 1},
      {"SHA3-512: the standard", "sha3-512 (f) = ab", "ab", "f", "SHA3-512 (FIPS 202)", 1},
      {"KECCAK-224", "KECCAK-224 (f) = ab", "ab", "f", "SHA3-224", 1},
      {"KECCAK-256", "KECCAK-256 (f) = ab", "ab", "f", "SHA3-256", 1},
      {"KECCAK-384", "Keccak-384 (f) = ab", "ab", "f", "SHA3-384", 1},
      {"KECCAK-512", "KECCAK-512(f)= ab", "ab", "f", "SHA3-512", 1},
      {"BLAKE2b", "BLAKE2b (f) = ab", "ab", "f", "BLAKE2b-512", 1},
      {"BLAKE2B-512", "BLAKE2B-512(f)= ab", "ab", "f", "BLAKE2b-512", 1},
      {"BLAKE2s", "BLAKE2s (f) = ab", "ab", "f", "BLAKE2s-256", 1},
      {"BLAKE2S-256", "BLAKE2S-256(f)= ab", "ab", "f", "BLAKE2s-256", 1},
      {"a tag of no entry", "BLAKE2b-256 (f) = ab", "ab", "f", "", 1},
      {"SFV", "; made by hand\r\n;\r\nfile one.bin 1A2B3C4D\r\n", "1A2B3C4D", "file one.bin",
       "CRC32", 3},
      {"certutil, spaced pairs",
       "SHA256 hash of C:\\Users\\me\\my file.iso:\r\ne3 b0 c4 42 98 fc 1c 14 9a fb f4 c8 99 6f b9 "
       "24 27 ae 41 e4 64 9b 93 4c a4 95 99 1b 78 52 b8 55\r\nCertUtil: -hashfile command "
       "completed successfully.\r\n",
       k64, "C:\\Users\\me\\my file.iso", "SHA2-256", 1},
      {"certutil, one run of digits",
       "MD5 hash of x.bin:\n" + k32 + "\nCertUtil: -hashfile command completed successfully.\n",
       k32, "x.bin", "MD5", 1},
      {"Get-FileHash table",
       "\r\nAlgorithm       Hash                                                                   "
       "Path\r\n---------       ----                                                          "
       "         ----\r\nSHA256          " +
           k64Upper + "       C:\\Users\\me\\my file.iso\r\n\r\n\r\n",
       k64Upper, "C:\\Users\\me\\my file.iso", "SHA2-256", 4},
      {"Get-FileHash list",
       "\r\n\r\nAlgorithm : SHA256\r\nHash      : " + k64Upper +
           "\r\nPath      : C:\\Users\\me\\my file.iso\r\n\r\n\r\n",
       k64Upper, "C:\\Users\\me\\my file.iso", "SHA2-256", 3},
      {"Get-FileHash list, MD5", "Algorithm : MD5\nHash : " + k32 + "\nPath : D:\\a.txt", k32,
       "D:\\a.txt", "MD5", 1},
      {"byte order mark and CRLF", "\xEF\xBB\xBF" + k64 + "  a.iso\r\n", k64, "a.iso", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszForm);
    const ExpectedText parsed = ParseExpectedText(c.text);
    ASSERT_EQ(1u, parsed.digests.size());
    const ExpectedDigest& d = parsed.digests[0];
    EXPECT_EQ(c.digits, d.strDigits);
    EXPECT_EQ(c.name, d.strName);
    EXPECT_EQ(c.entry, NameOf(d.nAlgorithm));
    EXPECT_EQ(c.nLine, d.nLine);
    EXPECT_FALSE(d.strLine.empty());
    EXPECT_EQ(c.name.empty() && c.entry.empty(), !parsed.bChecksumText);
  }
}

// A checksum file as publishers ship it: names of files, in any case, with
// "./" and "*" and folders in front.
TEST(ExpectedText, TheLineThatNamesTheFile) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
  const std::string sums = "\xEF\xBB\xBF# SHA256SUMS\r\n" + a + "  ubuntu.iso\r\n" + b +
                           "  ./Other.ISO\r\n" + c + " *dir/third image.img\r\n";
  const ExpectedText parsed = ParseExpectedText(sums);
  ASSERT_EQ(3u, parsed.digests.size());
  const struct {
    const char* pszFile;
    bool bFound;
    std::string digits;
    size_t nLine;
    const char* pszReason;
  } cases[] = {
      {"C:\\Downloads\\ubuntu.iso", true, a, 2, ""},
      {"C:\\Downloads\\UBUNTU.ISO", true, a, 2, ""},
      {"D:/x/other.iso", true, b, 3, ""},
      {"third image.img", true, c, 4, ""},
      {"C:\\Downloads\\debian.iso", false, "", 0, "No line names debian.iso"},
      {"C:\\Downloads\\dir", false, "", 0, "No line names dir"},
      {"", false, "", 0, "The text holds 3 digests; a string is checked against one"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.pszFile);
    const ExpectedChoice choice = ChooseExpectedDigest(parsed, t.pszFile);
    EXPECT_EQ(t.bFound, choice.bFound);
    EXPECT_EQ(t.digits, choice.digest.strDigits);
    EXPECT_EQ(t.nLine, choice.digest.nLine);
    EXPECT_EQ(t.pszReason, choice.strReason);
  }

  // Two lines for the file: the same digest is no clash, another one is.
  const ExpectedText same = ParseExpectedText(sums + a + "  UBUNTU.iso\n");
  EXPECT_TRUE(ChooseExpectedDigest(same, "ubuntu.iso").bFound);
  const ExpectedChoice clash =
      ChooseExpectedDigest(ParseExpectedText(sums + c + "  ubuntu.iso\n"), "C:\\ubuntu.iso");
  EXPECT_FALSE(clash.bFound);
  EXPECT_EQ("Lines 2 and 5 name ubuntu.iso with different digests", clash.strReason);

  // One digest applies whatever it names, in both modes.
  for (const char* file : {"C:\\else.bin", ""}) {
    const ExpectedChoice one = ChooseExpectedDigest(ParseExpectedText(a + "  ubuntu.iso"), file);
    EXPECT_TRUE(one.bFound) << file;
    EXPECT_EQ(a, one.digest.strDigits);
  }

  // Lines of two algorithms for one file: the selected entry's applies.
  const std::string both =
      "MD5 (f.iso) = " + k32 + "\nSHA256 (f.iso) = " + k64 + "\n" + b + "  f.iso\n";
  const ExpectedText mixed = ParseExpectedText(both);
  EXPECT_EQ(k64, ChooseExpectedDigest(mixed, "f.iso", kAlgorithmSHA256).digest.strDigits);
  EXPECT_EQ(k32, ChooseExpectedDigest(mixed, "f.iso", kAlgorithmMD5).digest.strDigits);
  EXPECT_EQ(b, ChooseExpectedDigest(mixed, "f.iso", kAlgorithmPanama).digest.strDigits);
  EXPECT_EQ(k32, ChooseExpectedDigest(mixed, "f.iso", kAlgorithmCRC32).digest.strDigits);

  // Names beyond ASCII: letter case aside in UTF-8; bytes that are no UTF-8
  // match only themselves.
  const std::string utf8 = a + "  \xC3\x89t\xC3\xA9.iso\n" + b + "  \xFF.iso\n";
  const ExpectedText accented = ParseExpectedText(utf8);
  EXPECT_EQ(a, ChooseExpectedDigest(accented, "C:\\\xC3\xA9T\xC3\x89.ISO").digest.strDigits);
  EXPECT_EQ(b, ChooseExpectedDigest(accented, "\xFF.iso").digest.strDigits);
  EXPECT_FALSE(ChooseExpectedDigest(accented, "\xFE.iso").bFound);
}

TEST(ExpectedText, PlanOfACheck) {
  const struct {
    std::string expected;
    const char* pszFile;
    UINT nSelected;
    bool bHmac;
    std::string entries;  // list texts, first pass first
    const char* pszReason;
  } cases[] = {
      {k64, "x.iso", kAlgorithmMD5, false,
       "SHA2-256, Panama, RIPEMD-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256", ""},
      {k64 + "  x.iso", "", kAlgorithmFIPS_SHA3_256, false,
       "SHA3-256 (FIPS 202), SHA2-256, Panama, RIPEMD-256, SHA3-256, BLAKE2s-256", ""},
      // A tag chooses its entry alone, the standard SHA-3 over a Keccak
      // selection included.
      {"SHA3-256 (x.iso) = " + k64, "x.iso", kAlgorithmSHA3_256, false, "SHA3-256 (FIPS 202)", ""},
      {"KECCAK-256 (x.iso) = " + k64, "x.iso", kAlgorithmSHA256, false, "SHA3-256", ""},
      {"SHA256 (x.iso) = " + k32, "x.iso", kAlgorithmSHA256, false, "", ""},
      {"BLAKE2b-256 (x.iso) = " + k64, "x.iso", kAlgorithmSHA256, false, "", ""},
      // Nothing to search.
      {"not a digest", "x.iso", kAlgorithmSHA256, false, "", ""},
      {std::string(10, 'a'), "x.iso", kAlgorithmSHA256, false, "", ""},
      {k64 + "  a.iso\n" + k64 + "  b.iso\n", "c.iso", kAlgorithmSHA256, false, "",
       "No line names c.iso"},
      {"", "x.iso", kAlgorithmSHA256, false, "", ""},
      {"12345678", "x.iso", kAlgorithmSHA256, true, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 40));
    const CheckPlan plan = PlanCheck(c.expected, c.pszFile, c.nSelected, c.bHmac);
    std::string names;
    for (UINT n : plan.entries) names += (names.empty() ? "" : ", ") + NameOf(n);
    EXPECT_EQ(c.entries, names);
    EXPECT_EQ(c.pszReason, plan.choice.strReason);
  }
}

TEST(ExpectedText, VerdictOnOneResult) {
  const std::string text = "abc";
  const std::string standard = Digest(kAlgorithmFIPS_SHA3_256, text);
  const std::string keccak = Digest(kAlgorithmSHA3_256, text);
  const std::string sha256 = Digest(kAlgorithmSHA256, text);
  const std::string sums = "# sums\n" + sha256 + "  abc.txt\n" + keccak + "  other.txt\n";
  const struct {
    std::string expected;
    const char* pszFile;
    UINT nAlgorithm;
    std::string result;
    DigestVerdict verdict;
    std::string tooltip;
  } cases[] = {
      {"", "abc.txt", kAlgorithmSHA256, sha256, DigestVerdict::kNone, ""},
      {sha256, "abc.txt", kAlgorithmSHA256, "", DigestVerdict::kNone, ""},
      {sha256, "abc.txt", kAlgorithmSHA256, sha256, DigestVerdict::kMatch, ""},
      {sums, "C:\\abc.txt", kAlgorithmSHA256, sha256, DigestVerdict::kMatch,
       "Line 2: " + sha256 + "  abc.txt"},
      {sums, "C:\\nothing.txt", kAlgorithmSHA256, sha256, DigestVerdict::kNoMatch,
       "No line names nothing.txt"},
      // A standard SHA-3 line is never held against a Keccak result.
      {"SHA3-256 (abc.txt) = " + standard, "abc.txt", kAlgorithmFIPS_SHA3_256, standard,
       DigestVerdict::kMatch, "Line 1: SHA3-256 (abc.txt) = " + standard},
      {"SHA3-256 (abc.txt) = " + keccak, "abc.txt", kAlgorithmSHA3_256, keccak,
       DigestVerdict::kNoMatch,
       "The tag SHA3-256 names SHA3-256 (FIPS 202), not SHA3-256\n" +
           StandardSha3Hint(kAlgorithmSHA3_256) + "\nLine 1: SHA3-256 (abc.txt) = " + keccak},
      {"KECCAK-256 (abc.txt) = " + keccak, "abc.txt", kAlgorithmSHA3_256, keccak,
       DigestVerdict::kMatch, "Line 1: KECCAK-256 (abc.txt) = " + keccak},
      {"BLAKE2b-256 (abc.txt) = " + sha256, "abc.txt", kAlgorithmSHA256, sha256,
       DigestVerdict::kNoMatch,
       "The tag BLAKE2b-256 names no entry of the list\nLine 1: BLAKE2b-256 (abc.txt) = " + sha256},
      // A bare Keccak digest keeps today's hint; the length hint stays too.
      {standard, "", kAlgorithmSHA3_256, keccak, DigestVerdict::kNoMatch,
       StandardSha3Hint(kAlgorithmSHA3_256)},
      {"abcd", "", kAlgorithmSHA256, sha256, DigestVerdict::kNoMatch,
       "4 digits: no entry has a digest of this length"},
      {"sha256: nothing", "", kAlgorithmSHA256, sha256, DigestVerdict::kNoMatch,
       "Not hexadecimal: a digest holds only the digits 0-9 and the letters A-F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 40) + " / " + NameOf(c.nAlgorithm));
    const CheckVerdict verdict = JudgeResult(c.expected, c.pszFile, c.nAlgorithm, c.result);
    EXPECT_EQ(c.verdict, verdict.verdict);
    EXPECT_EQ(c.tooltip, verdict.strTooltip);
    EXPECT_EQ(c.verdict == DigestVerdict::kMatch ? c.nAlgorithm : kAlgorithmCount,
              verdict.nMatched);
  }
}

// The second pass: every candidate's result, the first that matches wins.
TEST(ExpectedText, VerdictOnCandidates) {
  const std::string text = "The quick brown fox";
  for (size_t nDigits : {32u, 64u, 128u}) {
    const std::vector<UINT> entries = CandidateEntries(nDigits, kAlgorithmSHA256, false);
    const std::vector<std::string> results = Hasher::HashStringMany(text, "", 0, 0, entries);
    for (size_t i = 0; i < entries.size(); ++i) {
      SCOPED_TRACE(NameOf(entries[i]));
      const CheckVerdict found = JudgeResults(results[i], "", kAlgorithmSHA256, entries, results);
      EXPECT_EQ(DigestVerdict::kMatch, found.verdict);
      EXPECT_EQ(entries[i], found.nMatched);
      if (entries[i] == kAlgorithmSHA256) {
        EXPECT_EQ("", found.strTooltip);
      } else {
        EXPECT_EQ("Found by the digest's length: " + NameOf(entries[i]), found.strTooltip);
      }
    }
    // None matches: every entry tried is named, the selection's reason kept.
    const CheckVerdict none =
        JudgeResults(std::string(nDigits, '0'), "", kAlgorithmSHA256, entries, results);
    EXPECT_EQ(DigestVerdict::kNoMatch, none.verdict);
    EXPECT_EQ(kAlgorithmCount, none.nMatched);
    std::string tried = "Tried ";
    for (size_t i = 0; i < entries.size(); ++i) tried += (i ? ", " : "") + NameOf(entries[i]);
    if (entries.size() > 1) {
      EXPECT_EQ(0u, none.strTooltip.find(tried)) << none.strTooltip;
    }
  }
  // A tag chose the entry, not the length.
  const std::string blake = Digest(kAlgorithmBLAKE2s256, text);
  const std::string line = "BLAKE2s (fox.txt) = " + blake;
  const CheckVerdict tagged =
      JudgeResults(line, "fox.txt", kAlgorithmSHA256, {kAlgorithmBLAKE2s256}, {blake});
  EXPECT_EQ(DigestVerdict::kMatch, tagged.verdict);
  EXPECT_EQ("Chosen by the line's tag: BLAKE2s-256\nLine 1: " + line, tagged.strTooltip);

  // Results not computed (a stopped pass) are not tried.
  const std::vector<UINT> entries = {kAlgorithmSHA256, kAlgorithmPanama};
  const std::string sha = Digest(kAlgorithmSHA256, text);
  EXPECT_EQ(DigestVerdict::kNone,
            JudgeResults(sha, "", kAlgorithmSHA256, entries, {"", ""}).verdict);
  const CheckVerdict first = JudgeResults(sha, "", kAlgorithmSHA256, entries, {sha, ""});
  EXPECT_EQ(DigestVerdict::kMatch, first.verdict);
  EXPECT_EQ(kAlgorithmSHA256, first.nMatched);
}

// Text that is no checksum text, or built to make the parser slow, gets a
// clear verdict and nothing worse.
TEST(ExpectedText, HostileText) {
  const std::string sha = Digest(kAlgorithmSHA256, "x");
  std::string binary;
  for (int i = 0; i < 65536; ++i) binary.push_back(static_cast<char>(i * 7 % 256));
  std::string manyLines, manyLinesNamed;
  for (int i = 0; i < 100000; ++i) manyLines += k64 + "  file" + std::to_string(i) + ".bin\r\n";
  manyLinesNamed = manyLines + sha + "  x.iso\n";
  const std::string million(1000000, 'a');
  const struct {
    const char* pszWhat;
    std::string text;
    DigestVerdict verdict;
    const char* pszTooltipStart;
  } cases[] = {
      {"binary bytes with NULs", binary, DigestVerdict::kNoMatch,
       "No line of the text is a digest"},
      {"NULs in a digest", std::string("e3b0\0c442", 9), DigestVerdict::kNoMatch,
       "Not hexadecimal"},
      {"a line of a million digits", million, DigestVerdict::kNoMatch, "1000000 digits"},
      {"a million digits in a tag line", "SHA256 (x.iso) = " + million, DigestVerdict::kNoMatch,
       "1000000 digits"},
      {"a million ( in an unterminated tag", "SHA256 " + std::string(1000000, '('),
       DigestVerdict::kNoMatch, "Not hexadecimal"},
      {"a million )= after a tag", "SHA256 (" + std::string(1000000, ')') + "= " + sha,
       DigestVerdict::kMatch, "Line 1"},
      {"a million ) = without a digest", "SHA256 (x" + std::string(1000000, ')') + " = ",
       DigestVerdict::kNoMatch, "Not hexadecimal"},
      {"a million spaces in a name", sha + "  " + std::string(1000000, ' ') + "x.iso",
       DigestVerdict::kMatch, "Line 1"},
      {"unterminated tag", "SHA256 (x.iso = " + sha, DigestVerdict::kNoMatch, "Not hexadecimal"},
      {"100,000 lines, none names the file", manyLines, DigestVerdict::kNoMatch,
       "No line names x.iso"},
      {"100,000 lines, the last names it", manyLinesNamed, DigestVerdict::kMatch, "Line 100001"},
      {"100,000 empty lines", std::string(100000, '\n'), DigestVerdict::kNone, ""},
      {"100,000 comment lines",
       [] {
         std::string s;
         for (int i = 0; i < 100000; ++i) s += ";(\n";
         return s;
       }(),
       DigestVerdict::kNoMatch, "No line of the text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszWhat);
    const CheckVerdict verdict = JudgeResult(c.text, "C:\\x.iso", kAlgorithmSHA256, sha);
    EXPECT_EQ(c.verdict, verdict.verdict);
    EXPECT_EQ(0u, verdict.strTooltip.find(c.pszTooltipStart)) << verdict.strTooltip.substr(0, 200);
    // Tooltips stay short, whatever the line.
    EXPECT_LT(verdict.strTooltip.size(), 400u);
    const CheckPlan plan = PlanCheck(c.text, "C:\\x.iso", kAlgorithmSHA256, false);
    EXPECT_LE(plan.entries.size(), 6u);
  }
}

}  // namespace
