#include "engine/Catalogue.h"

#include <algorithm>
#include <cstring>

namespace {

const char kFips202Suffix[] = " (FIPS 202)";

#define VEXORIN_CATALOGUE_CHECKSUM(TEXT, NAME, BYTES, DIGEST) {TEXT, BYTES, false},
#define VEXORIN_CATALOGUE_KEYED(TEXT, NAME, BYTES, DIGEST) {TEXT, BYTES, true},
const CatalogueEntry kEntries[kAlgorithmCount] = {
    VEXORIN_CATALOGUE(VEXORIN_CATALOGUE_CHECKSUM, VEXORIN_CATALOGUE_KEYED)};
#undef VEXORIN_CATALOGUE_CHECKSUM
#undef VEXORIN_CATALOGUE_KEYED

// White space of the ANSI code page, the no-break space of pasted web text
// included.
bool IsSeparator(char c) {
  switch (static_cast<unsigned char>(c)) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case '\v':
    case '\f':
    case 0xA0:
    case ':':
    case '-':
      return true;
    default:
      return false;
  }
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The entries publishers print most, most used first; the entries not named
// here follow them in list order.
const UINT kPublisherOrder[] = {kAlgorithmSHA256, kAlgorithmSHA512, kAlgorithmSHA1, kAlgorithmMD5,
                                kAlgorithmSHA384, kAlgorithmSHA224, kAlgorithmCRC32};

std::string LengthHint(size_t nDigits) {
  std::string hint = std::to_string(nDigits) + (nDigits == 1 ? " digit: " : " digits: ");
  const std::string names = NamesWithHexDigits(nDigits);
  return hint + (names.empty() ? "no entry has a digest of this length" : names);
}

}  // namespace

const CatalogueEntry* CatalogueEntryAt(UINT nAlgorithm) {
  return nAlgorithm < kAlgorithmCount ? &kEntries[nAlgorithm] : nullptr;
}

bool OffersHmac(UINT nAlgorithm) {
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  return pEntry != nullptr && pEntry->bHmac;
}

std::string NamesWithHexDigits(size_t nDigits) {
  std::string names;
  for (const CatalogueEntry& entry : kEntries) {
    if (entry.HexDigits() != nDigits) continue;
    if (!names.empty()) names += ", ";
    names += entry.pszName;
  }
  return names;
}

std::vector<UINT> CandidateEntries(size_t nDigits, UINT nSelected, bool bHmac) {
  std::vector<UINT> order;
  order.reserve(kAlgorithmCount);
  for (UINT nAlgorithm : kPublisherOrder) order.push_back(nAlgorithm);
  for (UINT nAlgorithm = 0; nAlgorithm < kAlgorithmCount; ++nAlgorithm) {
    if (std::find(order.begin(), order.end(), nAlgorithm) == order.end())
      order.push_back(nAlgorithm);
  }
  std::vector<UINT> candidates;
  const CatalogueEntry* pSelected = CatalogueEntryAt(nSelected);
  if (pSelected != nullptr && pSelected->HexDigits() == nDigits) candidates.push_back(nSelected);
  for (UINT nAlgorithm : order) {
    if (nAlgorithm == nSelected || kEntries[nAlgorithm].HexDigits() != nDigits) continue;
    // MD2 runs at a tenth of the others' speed: only a user who chose it
    // waits for it.
    if (nAlgorithm == kAlgorithmMD2) continue;
    if (bHmac && !kEntries[nAlgorithm].bHmac) continue;
    candidates.push_back(nAlgorithm);
  }
  return candidates;
}

std::string NormaliseExpectedDigest(const std::string& expected) {
  std::string digits;
  for (size_t i = 0; i < expected.size(); ++i) {
    // The no-break space of UTF-8 text is C2 A0; A0 alone is the ANSI one.
    const bool bNbspLead = static_cast<unsigned char>(expected[i]) == 0xC2 &&
                           i + 1 < expected.size() &&
                           static_cast<unsigned char>(expected[i + 1]) == 0xA0;
    if (!bNbspLead && !IsSeparator(expected[i])) digits += expected[i];
  }
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits.erase(0, 2);
  return digits;
}

DigestComparison CompareWithExpected(const std::string& expected, const std::string& result,
                                     UINT nAlgorithm) {
  const std::string digits = NormaliseExpectedDigest(expected);
  // Separators alone are no digest yet, as an empty field is not.
  if (digits.empty() || result.empty()) return {DigestVerdict::kNone, ""};
  for (char c : digits) {
    if (!IsHexDigit(c))
      return {DigestVerdict::kNoMatch,
              "Not hexadecimal: a digest holds only the digits 0-9 and the letters A-F"};
  }
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  if (pEntry == nullptr || digits.size() != pEntry->HexDigits())
    return {DigestVerdict::kNoMatch, LengthHint(digits.size())};
  const bool bSame =
      digits.size() == result.size() && _stricmp(digits.c_str(), result.c_str()) == 0;
  if (bSame) return {DigestVerdict::kMatch, ""};
  return {DigestVerdict::kNoMatch, StandardSha3Hint(nAlgorithm)};
}

std::string StandardSha3Hint(UINT nAlgorithm) {
  // The Keccak entries and their standard twins share a list text but for
  // the suffix, so the pairing follows the catalogue.
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  if (pEntry == nullptr) return std::string();
  const std::string twin = std::string(pEntry->pszName) + kFips202Suffix;
  for (const CatalogueEntry& entry : kEntries) {
    if (twin == entry.pszName)
      return std::string(pEntry->pszName) + " gives the original Keccak digest; " + twin +
             " gives the standard SHA-3 digest that is published today.";
  }
  return std::string();
}
