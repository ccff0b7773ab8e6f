// Which names are checksum files, the entries they give, and the names and
// tags Save writes, read back by the checksum-text reader.

#include <gtest/gtest.h>

#include "engine/ChecksumNames.h"
#include "engine/ExpectedText.h"

TEST(ChecksumNames, WhichNamesAreChecksumFiles) {
  // clang-format off
  const struct { const char* pszName; bool bChecksum; } kCases[] = {
    {"SHA256SUMS", true}, {"sha256sums", true}, {"Sha512Sums", true}, {"MD5SUMS", true},
    {"SHA1SUMS", true}, {"SHA224SUMS", true}, {"SHA384SUMS", true}, {"B2SUMS", true},
    {"CHECKSUMS", true}, {"checksums", true}, {"C:\\dl\\SHA256SUMS", true}, {"dl/B2SUMS", true},
    {"a.md5", true}, {"A.MD5", true}, {"x.sha1", true}, {"x.sha224", true}, {"x.sha256", true},
    {"x.SHA384", true}, {"x.sha512", true}, {"x.sha3", true}, {"x.b2", true}, {"game.sfv", true},
    {".md5", true},
    // Near misses.
    {"SHA256SUMS.txt", false}, {"SHA256SUM", false}, {"SHA3SUMS", false}, {"x.sha", false},
    {"x.sha2566", false}, {"x.md5.txt", false}, {"md5", false}, {"x.b2a", false},
    {"CHECKSUMS\\", false}, {"", false}, {"x.crc", false},
  };
  // clang-format on
  for (const auto& c : kCases) EXPECT_EQ(c.bChecksum, IsChecksumFileName(c.pszName)) << c.pszName;
  EXPECT_FALSE(IsChecksumFileName(std::string("SHA256SUMS\0.exe", 15)));
}

TEST(ChecksumNames, EntriesTheNamesGive) {
  // clang-format off
  const struct { const char* pszName; size_t nDigits; UINT nEntry; } kCases[] = {
    {"x.md5", 32, kAlgorithmMD5},             {"MD5SUMS", 32, kAlgorithmMD5},
    {"x.sha1", 40, kAlgorithmSHA1},           {"SHA1SUMS", 40, kAlgorithmSHA1},
    {"x.sha224", 56, kAlgorithmSHA224},       {"SHA224SUMS", 56, kAlgorithmSHA224},
    {"x.sha256", 64, kAlgorithmSHA256},       {"sha256sums", 64, kAlgorithmSHA256},
    {"x.sha384", 96, kAlgorithmSHA384},       {"SHA384SUMS", 96, kAlgorithmSHA384},
    {"x.sha512", 128, kAlgorithmSHA512},      {"SHA512SUMS", 128, kAlgorithmSHA512},
    {"x.sha3", 56, kAlgorithmFIPS_SHA3_224},  {"x.sha3", 64, kAlgorithmFIPS_SHA3_256},
    {"x.sha3", 96, kAlgorithmFIPS_SHA3_384},  {"x.sha3", 128, kAlgorithmFIPS_SHA3_512},
    {"x.b2", 128, kAlgorithmBLAKE2b512},      {"B2SUMS", 128, kAlgorithmBLAKE2b512},
    {"x.sfv", 8, kAlgorithmCRC32},
    // The name says nothing, or names an entry of another length: the
    // digit count decides.
    {"CHECKSUMS", 64, kAlgorithmCount},       {"SHA256SUMS", 128, kAlgorithmCount},
    {"x.b2", 64, kAlgorithmCount},            {"x.sha3", 40, kAlgorithmCount},
    {"notes.txt", 32, kAlgorithmCount},
  };
  // clang-format on
  for (const auto& c : kCases)
    EXPECT_EQ(c.nEntry, EntryOfChecksumName(c.pszName, c.nDigits)) << c.pszName << " " << c.nDigits;
}

// Every entry: the proposed name is a checksum file's, and where it fixes
// the entry it gives that entry back; every BSD tag reads back as its own
// entry through the Expected field's reader.
TEST(ChecksumNames, EveryEntrysNameAndTagReadBack) {
  for (UINT n = 0; n < kAlgorithmCount; ++n) {
    const CatalogueEntry* pEntry = CatalogueEntryAt(n);
    const std::string name = ChecksumFileNameFor(n);
    EXPECT_TRUE(IsChecksumFileName(name)) << name;
    const UINT nBack = EntryOfChecksumName(name, pEntry->HexDigits());
    EXPECT_TRUE(nBack == n || (nBack == kAlgorithmCount && !NameFixesEntry(n))) << pEntry->pszName;
    const std::string line = BsdTagOf(n) + " (file.bin) = " + std::string(pEntry->HexDigits(), 'a');
    const ExpectedText parsed = ParseExpectedText(line);
    ASSERT_EQ(1u, parsed.digests.size()) << line;
    EXPECT_EQ(n, parsed.digests[0].nAlgorithm) << line;
    EXPECT_EQ("file.bin", parsed.digests[0].strName);
  }
  EXPECT_EQ("SHA256SUMS", ChecksumFileNameFor(kAlgorithmSHA256));
  EXPECT_EQ("MD5SUMS", ChecksumFileNameFor(kAlgorithmMD5));
  EXPECT_EQ("B2SUMS", ChecksumFileNameFor(kAlgorithmBLAKE2b512));
  EXPECT_EQ("CHECKSUMS.sha3", ChecksumFileNameFor(kAlgorithmFIPS_SHA3_256));
  EXPECT_EQ("CHECKSUMS", ChecksumFileNameFor(kAlgorithmSHA3_256));  // Keccak: no custom
  EXPECT_EQ("CHECKSUMS", ChecksumFileNameFor(kAlgorithmCount));
  EXPECT_TRUE(NameFixesEntry(kAlgorithmSHA512));
  EXPECT_FALSE(NameFixesEntry(kAlgorithmTiger));
  EXPECT_EQ("", BsdTagOf(kAlgorithmCount));
}
