#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The algorithm catalogue, in list order: the position of a line is the
// algorithm index. CHECKSUM lines offer no HMAC, KEYED lines do. Columns:
// the list text, the suffix of the per-entry members (HashStringSHA256,
// HashFileSHA256), the digest length in bytes, and the digest object that
// Hasher.cpp computes the entry with (it checks the length against it).
// The digest object's hash class says whose code runs: the library's class,
// or one of engine/FastDigests.h (chosen by measurement, giving the library
// class's bytes faster; fast_digests::DigestLibrary names it).
// Everything that names, counts or dispatches entries expands this list.
// clang-format off
#define VEXORIN_CATALOGUE(CHECKSUM, KEYED)                                                                            \
  CHECKSUM("CRC32",               CRC32,         4,  Crc32Checksum<fast_digests::Crc32>)                              \
  CHECKSUM("Adler32",             Adler32,       4,  PlainChecksum<fast_digests::Adler32>)                            \
  KEYED(   "Tiger",               Tiger,         24, LibraryHmac<CryptoPP::Tiger>)                                    \
  KEYED(   "Panama",              Panama,        32, LibraryHmac<CryptoPP::Weak::PanamaHash<CryptoPP::LittleEndian>>) \
  KEYED(   "Whirlpool",           Whirlpool,     64, LibraryHmac<fast_digests::Whirlpool>)                            \
  KEYED(   "MD2",                 MD2,           16, LibraryHmac<CryptoPP::Weak::MD2>)                                \
  KEYED(   "MD4",                 MD4,           16, LibraryHmac<CryptoPP::Weak::MD4>)                                \
  KEYED(   "MD5",                 MD5,           16, LibraryHmac<fast_digests::MD5>)                                  \
  KEYED(   "RIPEMD-128",          RIPEMD128,     16, LibraryHmac<CryptoPP::RIPEMD128>)                                \
  KEYED(   "RIPEMD-160",          RIPEMD160,     20, LibraryHmac<CryptoPP::RIPEMD160>)                                \
  KEYED(   "RIPEMD-256",          RIPEMD256,     32, LibraryHmac<CryptoPP::RIPEMD256>)                                \
  KEYED(   "RIPEMD-320",          RIPEMD320,     40, LibraryHmac<CryptoPP::RIPEMD320>)                                \
  KEYED(   "SHA1",                SHA1,          20, LibraryHmac<CryptoPP::SHA1>)                                     \
  KEYED(   "SHA2-224",            SHA224,        28, LibraryHmac<CryptoPP::SHA224>)                                   \
  KEYED(   "SHA2-256",            SHA256,        32, LibraryHmac<CryptoPP::SHA256>)                                   \
  KEYED(   "SHA2-384",            SHA384,        48, LibraryHmac<fast_digests::SHA384>)                               \
  KEYED(   "SHA2-512",            SHA512,        64, LibraryHmac<fast_digests::SHA512>)                               \
  KEYED(   "SHA3-224",            SHA3_224,      28, KeccakHmac<fast_digests::Keccak224>)                             \
  KEYED(   "SHA3-256",            SHA3_256,      32, KeccakHmac<fast_digests::Keccak256>)                             \
  KEYED(   "SHA3-384",            SHA3_384,      48, KeccakHmac<fast_digests::Keccak384>)                             \
  KEYED(   "SHA3-512",            SHA3_512,      64, KeccakHmac<fast_digests::Keccak512>)                             \
  KEYED(   "SHA3-224 (FIPS 202)", FIPS_SHA3_224, 28, LibraryHmac<fast_digests::SHA3_224>)                             \
  KEYED(   "SHA3-256 (FIPS 202)", FIPS_SHA3_256, 32, LibraryHmac<fast_digests::SHA3_256>)                             \
  KEYED(   "SHA3-384 (FIPS 202)", FIPS_SHA3_384, 48, LibraryHmac<fast_digests::SHA3_384>)                             \
  KEYED(   "SHA3-512 (FIPS 202)", FIPS_SHA3_512, 64, LibraryHmac<fast_digests::SHA3_512>)                             \
  KEYED(   "BLAKE2b-512",         BLAKE2b512,    64, LibraryHmac<fast_digests::BLAKE2b>)                              \
  KEYED(   "BLAKE2s-256",         BLAKE2s256,    32, LibraryHmac<CryptoPP::BLAKE2s>)
// clang-format on

// The algorithm indexes by name (kAlgorithmMD5 == 7), and the entry count.
#define VEXORIN_CATALOGUE_INDEX(TEXT, NAME, BYTES, DIGEST) kAlgorithm##NAME,
enum : UINT { VEXORIN_CATALOGUE(VEXORIN_CATALOGUE_INDEX, VEXORIN_CATALOGUE_INDEX) kAlgorithmCount };
#undef VEXORIN_CATALOGUE_INDEX

struct CatalogueEntry {
  const char* pszName;  // the list text
  UINT nDigestBytes;
  bool bHmac;  // HMAC offered
  size_t HexDigits() const { return 2 * nDigestBytes; }
};

// The entry of an algorithm index; null outside the catalogue (an empty
// list's selection, CB_ERR, included).
const CatalogueEntry* CatalogueEntryAt(UINT nAlgorithm);

// Whether the entry offers HMAC; false outside the catalogue.
bool OffersHmac(UINT nAlgorithm);

// The list texts of the entries whose digest text has nDigits digits, in
// index order and separated by ", " ("" when there are none).
std::string NamesWithHexDigits(size_t nDigits);

// The entries to try for a published digest of nDigits digits, in order.
// The first is the first pass: nSelected when its digest has that many
// digits, else the entry of that length that publishers use most. The rest
// are the second pass: every other entry of that length, MD2 only when it
// is nSelected, and with bHmac only entries that offer HMAC. Empty when no
// entry has that many digits.
std::vector<UINT> CandidateEntries(size_t nDigits, UINT nSelected, bool bHmac);

// A published digest held against a shown result.
enum class DigestVerdict {
  kNone,     // nothing to compare: either text is empty
  kMatch,    // the same digest, letter case aside
  kNoMatch,  // different, of another length, or not hexadecimal
};

struct DigestComparison {
  DigestVerdict verdict;
  std::string strHint;  // why a text cannot be the entry's digest; else empty
};

// The expected text without white space, colons and dashes, and without a
// leading "0x" or "0X": the digest as it is printed in lists and on pages.
std::string NormaliseExpectedDigest(const std::string& expected);

// For a Keccak entry, one line naming the standard SHA-3 entry of its size:
// a published "SHA3" digest is the standard's, so a Keccak entry's "No
// match" says where to look. Empty for every other entry.
std::string StandardSha3Hint(UINT nAlgorithm);

// Compares a typed or pasted digest with the result of entry nAlgorithm.
DigestComparison CompareWithExpected(const std::string& expected, const std::string& result,
                                     UINT nAlgorithm);
