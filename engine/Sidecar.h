#pragma once

#include <string>

// The published digest of a single file X found beside it: the first line
// naming X in X.sha256, X.sha512, X.sha1, X.md5, X.sfv or X.b2 (in that
// order; in these a bare digest with no name names X too), else in
// SHA256SUMS, SHA512SUMS, SHA1SUMS, MD5SUMS or B2SUMS of X's folder (a line
// names X when its name, "./" and "*" aside, is X's name, letter case
// aside). Each file is read as a stream, at most kMaxSidecarBytes of it; a
// file with a NUL byte in its first 4 KiB is binary and skipped, as is one
// that cannot be opened.

struct SidecarLine {
  bool bFound = false;
  std::string strLine;    // the line (UTF-8, no CR LF), as the Expected field takes it
  std::string strSource;  // the full path of the file it came from
  size_t nLine = 0;       // its line number there
};

const unsigned long long kMaxSidecarBytes = 64ULL << 20;

// filePath: full path of X (UTF-8, any length).
SidecarLine FindSidecarLine(const std::string& filePath);
