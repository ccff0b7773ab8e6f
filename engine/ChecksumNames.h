#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "engine/Catalogue.h"

// What a file's name says about checksum files: whether it is one, which
// entry its lines are, and the names and tags Save writes.

// Whether the last path component of name names a checksum file: it ends
// in .md5, .sha1, .sha224, .sha256, .sha384, .sha512, .sha3, .b2 or .sfv,
// or is MD5SUMS, SHA1SUMS, SHA224SUMS, SHA256SUMS, SHA384SUMS, SHA512SUMS,
// B2SUMS or CHECKSUMS; letter case aside. ASCII only, so any bytes are safe.
bool IsChecksumFileName(const std::string& name);

// The entry the checksum file's name gives a line of nDigits digits:
// .md5/MD5SUMS MD5, .sha1/SHA1SUMS SHA1, .sha224 .. .sha512 and their SUMS
// the SHA2 entries, .sha3 the standard SHA-3 entry of that length, .b2/B2SUMS
// BLAKE2b-512, .sfv CRC32. kAlgorithmCount when the name says nothing
// (CHECKSUMS, any other name) or its entry has another length: the digit
// count then decides.
UINT EntryOfChecksumName(const std::string& name, size_t nDigits);

// The file name Save proposes for rows of one entry: SHA256SUMS, MD5SUMS,
// B2SUMS and the like where a name is customary (the standard SHA-3 entries:
// CHECKSUMS.sha3), else CHECKSUMS; every one reads back as a checksum file.
// For kAlgorithmCount (rows of several entries) CHECKSUMS.
std::string ChecksumFileNameFor(UINT nAlgorithm);

// Whether the name ChecksumFileNameFor gives fixes the entry on reading
// back; where it does not (CHECKSUMS), the tag form keeps the entry.
bool NameFixesEntry(UINT nAlgorithm);

// The tag of the BSD form for an entry ("SHA256", "SHA3-256", "BLAKE2b",
// "Keccak-256", ...): what tools print where there is a custom, and always
// a tag that the checksum-text reader maps back to this very entry. Empty
// outside the catalogue.
std::string BsdTagOf(UINT nAlgorithm);
