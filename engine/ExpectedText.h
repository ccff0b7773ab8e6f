#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Catalogue.h"

// What the Expected field holds: a bare digest, or the text of a checksum
// file (GNU and BSD lines, SFV, certutil and Get-FileHash output), parsed
// into the digests it gives and what it says about each.

// One digest of the text.
struct ExpectedDigest {
  std::string strDigits;  // hex digits, normalised as NormaliseExpectedDigest does
  std::string strName;    // the file name the line names; empty when none
  std::string strTag;     // the algorithm the line names ("SHA256"); empty when none
  // The entry the tag chooses; kAlgorithmCount when the length decides (no
  // tag) or no entry is that algorithm (a tag of none).
  UINT nAlgorithm = kAlgorithmCount;
  size_t nLine = 0;     // 1-based line of the text the digest came from
  std::string strLine;  // that line, shortened for a tooltip
};

struct ExpectedText {
  std::vector<ExpectedDigest> digests;  // in text order
  bool bChecksumText = false;           // lines with names or tags, not one bare digest
  // Why the text gives no digest (empty text: empty reason).
  std::string strProblem;
};

// Parses Expected's text (UTF-8 or ANSI bytes; a byte order mark, CRLF or
// LF). Linear in the length of the text, whatever it holds.
ExpectedText ParseExpectedText(const std::string& text);

// The last path component, with or without "./" or "*" in front: the name
// a checksum line gives a file by.
std::string LastPathComponent(const std::string& name);

// Whether a text may be a published digest: a bare digest of a length some
// entry has, or checksum-file text.
bool IsPublishedDigest(const std::string& text);

// Whether every character is a hexadecimal digit (and there is one).
bool IsHexText(const std::string& text);
