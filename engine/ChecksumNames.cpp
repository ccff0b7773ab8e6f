#include "engine/ChecksumNames.h"

#include <cstring>

namespace {

// clang-format off
// The names and extensions of checksum files, and the entries they give:
// a name that gives no entry of a line's length leaves it to the count.
const struct {
  const char* pszName;       // a whole name ("SHA256SUMS") or an extension (".sha256")
  UINT nEntries[4];          // kAlgorithmCount where unused
} kChecksumNames[] = {
  {".md5",      {kAlgorithmMD5,    kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha1",     {kAlgorithmSHA1,   kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha224",   {kAlgorithmSHA224, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha256",   {kAlgorithmSHA256, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha384",   {kAlgorithmSHA384, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha512",   {kAlgorithmSHA512, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sha3",     {kAlgorithmFIPS_SHA3_224, kAlgorithmFIPS_SHA3_256, kAlgorithmFIPS_SHA3_384,
                 kAlgorithmFIPS_SHA3_512}},
  {".b2",       {kAlgorithmBLAKE2b512, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {".sfv",      {kAlgorithmCRC32,  kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"MD5SUMS",   {kAlgorithmMD5,    kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"SHA1SUMS",  {kAlgorithmSHA1,   kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"SHA224SUMS", {kAlgorithmSHA224, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"SHA256SUMS", {kAlgorithmSHA256, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"SHA384SUMS", {kAlgorithmSHA384, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"SHA512SUMS", {kAlgorithmSHA512, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"B2SUMS",    {kAlgorithmBLAKE2b512, kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
  {"CHECKSUMS", {kAlgorithmCount,  kAlgorithmCount, kAlgorithmCount, kAlgorithmCount}},
};

// The BSD tags Save writes: the spellings tools print, each read back by
// the checksum-text reader as this entry (a plain "SHA3-256" tag is the
// standard SHA-3, so the Keccak entries say Keccak).
const char* const kBsdTags[kAlgorithmCount] = {
  "CRC32", "ADLER32", "TIGER", "PANAMA", "WHIRLPOOL", "MD2", "MD4", "MD5",
  "RMD128", "RMD160", "RMD256", "RMD320", "SHA1", "SHA224", "SHA256", "SHA384", "SHA512",
  "Keccak-224", "Keccak-256", "Keccak-384", "Keccak-512",
  "SHA3-224", "SHA3-256", "SHA3-384", "SHA3-512", "BLAKE2b", "BLAKE2s",
};
// clang-format on

std::string LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && _strnicmp(s.c_str() + s.size() - n, suffix, n) == 0;
}

// The table's line for a name, null when it names no checksum file.
const UINT* EntriesOf(const std::string& path) {
  const std::string name = LastComponent(path);
  for (const auto& known : kChecksumNames) {
    const bool bExtension = known.pszName[0] == '.';
    if (bExtension ? EndsWithNoCase(name, known.pszName)
                   : _stricmp(name.c_str(), known.pszName) == 0 &&
                         std::strlen(name.c_str()) == name.size())
      return known.nEntries;
  }
  return nullptr;
}

}  // namespace

bool IsChecksumFileName(const std::string& name) { return EntriesOf(name) != nullptr; }

UINT EntryOfChecksumName(const std::string& name, size_t nDigits) {
  const UINT* pEntries = EntriesOf(name);
  if (pEntries == nullptr) return kAlgorithmCount;
  for (int i = 0; i < 4; ++i) {
    const CatalogueEntry* pEntry = CatalogueEntryAt(pEntries[i]);
    if (pEntry != nullptr && pEntry->HexDigits() == nDigits) return pEntries[i];
  }
  return kAlgorithmCount;
}

std::string ChecksumFileNameFor(UINT nAlgorithm) {
  switch (nAlgorithm) {
    case kAlgorithmMD5:
      return "MD5SUMS";
    case kAlgorithmSHA1:
      return "SHA1SUMS";
    case kAlgorithmSHA224:
      return "SHA224SUMS";
    case kAlgorithmSHA256:
      return "SHA256SUMS";
    case kAlgorithmSHA384:
      return "SHA384SUMS";
    case kAlgorithmSHA512:
      return "SHA512SUMS";
    case kAlgorithmBLAKE2b512:
      return "B2SUMS";
    case kAlgorithmFIPS_SHA3_224:
    case kAlgorithmFIPS_SHA3_256:
    case kAlgorithmFIPS_SHA3_384:
    case kAlgorithmFIPS_SHA3_512:
      return "CHECKSUMS.sha3";
    default:
      return "CHECKSUMS";
  }
}

bool NameFixesEntry(UINT nAlgorithm) {
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  return pEntry != nullptr &&
         EntryOfChecksumName(ChecksumFileNameFor(nAlgorithm), pEntry->HexDigits()) == nAlgorithm;
}

std::string BsdTagOf(UINT nAlgorithm) {
  return nAlgorithm < kAlgorithmCount ? kBsdTags[nAlgorithm] : "";
}
