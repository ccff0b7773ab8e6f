// The algorithm catalogue as published, the length hint built from it, and
// the comparison of a typed or pasted digest with a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "engine/Catalogue.h"
#include "engine/Hasher.h"

namespace {

TEST(Catalogue, EntriesInListOrderWithLengthsAndHmac) {
  const struct {
    const char* pszName;
    UINT nDigestBytes;
    bool bHmac;
  } published[] = {
      {"CRC32", 4, false},      {"Adler32", 4, false},    {"Tiger", 24, true},
      {"Panama", 32, true},     {"Whirlpool", 64, true},  {"MD2", 16, true},
      {"MD4", 16, true},        {"MD5", 16, true},        {"RIPEMD-128", 16, true},
      {"RIPEMD-160", 20, true}, {"RIPEMD-256", 32, true}, {"RIPEMD-320", 40, true},
      {"SHA1", 20, true},       {"SHA2-224", 28, true},   {"SHA2-256", 32, true},
      {"SHA2-384", 48, true},   {"SHA2-512", 64, true},   {"SHA3-224", 28, true},
      {"SHA3-256", 32, true},   {"SHA3-384", 48, true},   {"SHA3-512", 64, true},
      {"SHA3-224 (FIPS 202)", 28, true}, {"SHA3-256 (FIPS 202)", 32, true},
      {"SHA3-384 (FIPS 202)", 48, true}, {"SHA3-512 (FIPS 202)", 64, true},
      {"BLAKE2b-512", 64, true},         {"BLAKE2s-256", 32, true},
  };
  ASSERT_EQ(kAlgorithmCount, sizeof(published) / sizeof(published[0]));
  for (UINT i = 0; i < kAlgorithmCount; ++i) {
    SCOPED_TRACE(published[i].pszName);
    const CatalogueEntry* pEntry = CatalogueEntryAt(i);
    ASSERT_NE(pEntry, nullptr);
    EXPECT_STREQ(pEntry->pszName, published[i].pszName);
    EXPECT_EQ(pEntry->nDigestBytes, published[i].nDigestBytes);
    EXPECT_EQ(pEntry->HexDigits(), 2 * published[i].nDigestBytes);
    EXPECT_EQ(pEntry->bHmac, published[i].bHmac);
    EXPECT_EQ(OffersHmac(i), published[i].bHmac);
  }
  EXPECT_EQ(kAlgorithmMD5, 7u);
  EXPECT_EQ(kAlgorithmSHA3_512, 20u);
  EXPECT_EQ(kAlgorithmBLAKE2s256, 26u);
  // Outside: the count itself, the selection of an empty list, any larger.
  const UINT outside[] = {kAlgorithmCount, (UINT)-1, 1000u};
  for (UINT n : outside) {
    EXPECT_EQ(CatalogueEntryAt(n), nullptr) << n;
    EXPECT_FALSE(OffersHmac(n)) << n;
  }
}

TEST(Catalogue, EachKeccakEntryNamesItsStandardTwin) {
  const UINT keccak[] = {kAlgorithmSHA3_224, kAlgorithmSHA3_256, kAlgorithmSHA3_384,
                         kAlgorithmSHA3_512};
  for (UINT n : keccak) {
    const std::string name = CatalogueEntryAt(n)->pszName;
    EXPECT_EQ(StandardSha3Hint(n), name + " gives the original Keccak digest; " + name +
                                       " (FIPS 202) gives the standard SHA-3 digest that is "
                                       "published today.");
  }
  for (UINT n = 0; n < kAlgorithmCount; ++n) {
    if (std::find(std::begin(keccak), std::end(keccak), n) == std::end(keccak))
      EXPECT_EQ(StandardSha3Hint(n), "") << n;
  }
  EXPECT_EQ(StandardSha3Hint(kAlgorithmCount), "");
}

TEST(Catalogue, NamesByDigestLength) {
  const struct {
    size_t nDigits;
    const char* pszNames;
  } cases[] = {
      {8, "CRC32, Adler32"},
      {32, "MD2, MD4, MD5, RIPEMD-128"},
      {40, "RIPEMD-160, SHA1"},
      {48, "Tiger"},
      {56, "SHA2-224, SHA3-224, SHA3-224 (FIPS 202)"},
      {64, "Panama, RIPEMD-256, SHA2-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
      {80, "RIPEMD-320"},
      {96, "SHA2-384, SHA3-384, SHA3-384 (FIPS 202)"},
      {128, "Whirlpool, SHA2-512, SHA3-512, SHA3-512 (FIPS 202), BLAKE2b-512"},
      {0, ""},
      {4, ""},
      {63, ""},
      {256, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NamesWithHexDigits(c.nDigits), c.pszNames) << c.nDigits;
}

const char kMd5Abc[] = "900150983cd24fb0d6963f7d28e17f72";
const char kSha256Abc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kNotHex[] = "Not hexadecimal: a digest holds only the digits 0-9 and the letters A-F";

TEST(ExpectedDigest, Normalisation) {
  const struct {
    const char* pszTyped;
    const char* pszDigits;
  } cases[] = {
      {"", ""},
      {"AbC", "AbC"},
      {" 12 34\t56\r\n78\v9\fa\xA0"
       "b ",
       "123456789ab"},
      {"12\xC2\xA0"
       "34\xC2\xA0",
       "1234"},  // the no-break space of UTF-8 text
      {"12\xC2"
       "34",
       "12\xC2"
       "34"},  // a lead byte alone is no space
      {"12:34:56", "123456"},
      {"12-34-56", "123456"},
      {"0x1234", "1234"},
      {"0X1234", "1234"},
      {"  0x 12:34 ", "1234"},  // leading after the separators
      {"-0x12", "12"},
      {"0x", ""},
      {"0", "0"},
      {"0x0x12", "0x12"},  // only one leading prefix goes
      {"12 0x34", "120x34"},
      {"x0", "x0"},
      {" :-\t", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NormaliseExpectedDigest(c.pszTyped), c.pszDigits) << '"' << c.pszTyped << '"';
}

TEST(ExpectedDigest, Verdicts) {
  const std::string md5Upper = "900150983CD24FB0D6963F7D28E17F72";
  const struct {
    std::string expected;
    std::string result;
    UINT nAlgorithm;
    DigestVerdict verdict;
    std::string hint;
  } cases[] = {
      // The same digest, however it is written.
      {kMd5Abc, kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch, ""},
      {md5Upper, kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch, ""},
      {kMd5Abc, md5Upper, kAlgorithmMD5, DigestVerdict::kMatch, ""},
      {"9001 5098 3cd2 4fb0 d696 3f7d 28e1 7f72", kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch,
       ""},
      {"90:01:50:98:3C:D2:4F:B0:D6:96:3F:7D:28:E1:7F:72", kMd5Abc, kAlgorithmMD5,
       DigestVerdict::kMatch, ""},
      {"90015098-3cd2-4fb0-d696-3f7d28e17f72", kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch, ""},
      {"0x900150983cd24fb0d6963f7d28e17f72", kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch, ""},
      {"\t0X900150983CD24FB0D6963F7D28E17F72  \r\n", kMd5Abc, kAlgorithmMD5, DigestVerdict::kMatch,
       ""},
      {"0xCBF43926", "cbf43926", kAlgorithmCRC32, DigestVerdict::kMatch, ""},
      // One digit off, at either end.
      {"900150983cd24fb0d6963f7d28e17f73", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch, ""},
      {"800150983cd24fb0d6963f7d28e17f72", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch, ""},
      // Another length: the entries that have it are named.
      {kSha256Abc, kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       "64 digits: Panama, RIPEMD-256, SHA2-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
      {"900150983cd24fb0d6963f7d28e17f7", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       "31 digits: no entry has a digest of this length"},
      {"900150983cd24fb0d6963f7d28e17f7200", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       "34 digits: no entry has a digest of this length"},
      {"a", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       "1 digit: no entry has a digest of this length"},
      {kMd5Abc, kSha256Abc, kAlgorithmSHA256, DigestVerdict::kNoMatch,
       "32 digits: MD2, MD4, MD5, RIPEMD-128"},
      // Not hexadecimal, whatever the length.
      {"900150983cd24fb0d6963f7d28e17f7g", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       kNotHex},
      {"9001 0x50983cd24fb0d6963f7d28e17f72", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch,
       kNotHex},
      {"md5", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch, kNotHex},
      {"\xE9", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNoMatch, kNotHex},
      // Nothing to compare.
      {"", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNone, ""},
      {" : - ", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNone, ""},
      {"0x", kMd5Abc, kAlgorithmMD5, DigestVerdict::kNone, ""},
      {kMd5Abc, "", kAlgorithmMD5, DigestVerdict::kNone, ""},
      {"zz", "", kAlgorithmMD5, DigestVerdict::kNone, ""},
      // A Keccak entry's "No match" names the standard entry of its size;
      // the standard entries and every other entry add nothing.
      {"a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a",
       "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470", kAlgorithmSHA3_256,
       DigestVerdict::kNoMatch,
       "SHA3-256 gives the original Keccak digest; SHA3-256 (FIPS 202) gives the standard SHA-3 "
       "digest that is published today."},
      {"c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470",
       "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a", kAlgorithmFIPS_SHA3_256,
       DigestVerdict::kNoMatch, ""},
      {kSha256Abc, kSha256Abc, kAlgorithmSHA3_256, DigestVerdict::kMatch, ""},
      // No entry selected: no length fits.
      {kMd5Abc, kMd5Abc, (UINT)-1, DigestVerdict::kNoMatch, "32 digits: MD2, MD4, MD5, RIPEMD-128"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE('"' + c.expected + "\" against \"" + c.result + '"');
    const DigestComparison comparison = CompareWithExpected(c.expected, c.result, c.nAlgorithm);
    EXPECT_EQ(comparison.verdict, c.verdict);
    EXPECT_EQ(comparison.strHint, c.hint);
  }
}

// Every entry's own result matches itself in both cases and with every
// separator, so the lengths of the catalogue are the lengths of the texts.
TEST(ExpectedDigest, EveryEntryMatchesItsOwnResult) {
  for (UINT i = 0; i < kAlgorithmCount; ++i) {
    SCOPED_TRACE(CatalogueEntryAt(i)->pszName);
    Hasher hasher(i);
    const std::string lower = hasher.HashString("abc", "", 0, 0);
    const std::string upper = hasher.HashString("abc", "", 0, 1);
    std::string spaced;
    for (size_t n = 0; n < upper.size(); n += 2) spaced += upper.substr(n, 2) + (n % 4 ? " " : ":");
    EXPECT_EQ(CompareWithExpected(upper, lower, i).verdict, DigestVerdict::kMatch);
    EXPECT_EQ(CompareWithExpected("0x" + spaced, lower, i).verdict, DigestVerdict::kMatch);
    EXPECT_EQ(CompareWithExpected(lower + "0", lower, i).verdict, DigestVerdict::kNoMatch);
  }
}

// The candidates of a published digest, by list text: the first pass, then
// the second.
std::string CandidateNames(size_t nDigits, UINT nSelected, bool bHmac) {
  std::string names;
  for (UINT n : CandidateEntries(nDigits, nSelected, bHmac))
    names += (names.empty() ? "" : ", ") + std::string(CatalogueEntryAt(n)->pszName);
  return names;
}

TEST(Catalogue, CandidatesOfADigitCount) {
  const struct {
    size_t nDigits;
    UINT nSelected;
    bool bHmac;
    const char* pszNames;
  } cases[] = {
      // The selected entry first when its length fits.
      {64, kAlgorithmPanama, false,
       "Panama, SHA2-256, RIPEMD-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
      {64, kAlgorithmFIPS_SHA3_256, false,
       "SHA3-256 (FIPS 202), SHA2-256, Panama, RIPEMD-256, SHA3-256, BLAKE2s-256"},
      // Else the one publishers use most.
      {64, kAlgorithmMD5, false,
       "SHA2-256, Panama, RIPEMD-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
      {128, kAlgorithmCRC32, false,
       "SHA2-512, Whirlpool, SHA3-512, SHA3-512 (FIPS 202), BLAKE2b-512"},
      {40, kAlgorithmSHA256, false, "SHA1, RIPEMD-160"},
      {96, kAlgorithmSHA256, false, "SHA2-384, SHA3-384, SHA3-384 (FIPS 202)"},
      {56, kAlgorithmSHA256, false, "SHA2-224, SHA3-224, SHA3-224 (FIPS 202)"},
      {8, kAlgorithmSHA256, false, "CRC32, Adler32"},
      {8, kAlgorithmAdler32, false, "Adler32, CRC32"},
      {48, kAlgorithmSHA256, false, "Tiger"},
      {80, kAlgorithmSHA256, false, "RIPEMD-320"},
      // MD2 only when it is chosen.
      {32, kAlgorithmSHA256, false, "MD5, MD4, RIPEMD-128"},
      {32, kAlgorithmMD4, false, "MD4, MD5, RIPEMD-128"},
      {32, kAlgorithmMD2, false, "MD2, MD5, MD4, RIPEMD-128"},
      // With HMAC only keyed entries join; a chosen checksum still goes first.
      {8, kAlgorithmSHA256, true, ""},
      {8, kAlgorithmCRC32, true, "CRC32"},
      {32, kAlgorithmMD2, true, "MD2, MD5, MD4, RIPEMD-128"},
      {128, kAlgorithmMD5, true, "SHA2-512, Whirlpool, SHA3-512, SHA3-512 (FIPS 202), BLAKE2b-512"},
      // No entry of the length, or no list selection.
      {10, kAlgorithmSHA256, false, ""},
      {0, kAlgorithmSHA256, false, ""},
      {64, kAlgorithmCount, false,
       "SHA2-256, Panama, RIPEMD-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
      {64, (UINT)-1, false,
       "SHA2-256, Panama, RIPEMD-256, SHA3-256, SHA3-256 (FIPS 202), BLAKE2s-256"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.pszNames, CandidateNames(c.nDigits, c.nSelected, c.bHmac))
        << c.nDigits << " digits, selected " << c.nSelected << (c.bHmac ? ", HMAC" : "");
  }
  // Every entry of a length is a candidate once, whichever is selected.
  for (UINT selected = 0; selected < kAlgorithmCount; ++selected) {
    const size_t nDigits = CatalogueEntryAt(selected)->HexDigits();
    std::vector<UINT> candidates = CandidateEntries(nDigits, selected, false);
    ASSERT_FALSE(candidates.empty());
    EXPECT_EQ(selected, candidates[0]);
    std::sort(candidates.begin(), candidates.end());
    EXPECT_EQ(candidates.end(), std::adjacent_find(candidates.begin(), candidates.end()));
    for (UINT n = 0; n < kAlgorithmCount; ++n) {
      const bool bSameLength = CatalogueEntryAt(n)->HexDigits() == nDigits;
      const bool bIn = std::binary_search(candidates.begin(), candidates.end(), n);
      EXPECT_EQ(bSameLength && (n != kAlgorithmMD2 || selected == n), bIn) << selected << " " << n;
    }
  }
}

}  // namespace
