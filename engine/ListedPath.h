#pragma once

#include <string>

// A path as a line of a checksum file names it. A checksum file is
// downloaded text, so its paths are hostile: a path is either a file under
// the checksum file's folder, reached by a name the system takes
// literally, or refused with the rule it breaks. A refused path is never
// opened, nor even handed to a run.

struct ListedPath {
  bool bRefused = false;
  // When refused: the rule, a short text for the row's tooltip
  // ("A device name (CON, NUL, COM1, ...) is never opened").
  std::string strRule;
  // When not: the path relative to the folder, '\' between segments, "."
  // segments and inner ".." applied ("sub\file.iso"): the Name column.
  std::string strName;
  // folder + '\' + strName.
  std::string strFullPath;
};

// Resolves name (UTF-8, as the line gives it, "./" and "/" allowed) against
// folder (a full path, closing '\' or not). Refused, in this order:
// - not valid UTF-8, or holding a control character (NUL, CR, LF, ...);
// - empty;
// - a UNC, "\\?\" or "\\.\" path (either slash);
// - a drive ("C:", "C:\x", "C:x") or an absolute path ("\x", "/x");
// - an alternate data stream or any other ':';
// - a character Windows does not allow in a name (< > " | ? *);
// - an empty segment ("a//b", "a/"), or one that ends in a dot or a space
//   (the system would strip them and open another name);
// - a device name in any segment (CON, PRN, AUX, NUL, CLOCK$, COM0-COM9,
//   LPT0-LPT9, the superscript COM and LPT digits, CONIN$, CONOUT$), with or
//   without an extension, any case, with trailing spaces before the dot;
// - a ".." that leaves the folder (inner ones that stay inside are applied);
// - nothing left after "." segments (the folder itself).
ListedPath ResolveListedPath(const std::string& folder, const std::string& name);

// A name that may be any bytes, made fit to show: control characters and
// bytes that are not UTF-8 become U+FFFD, and a text longer than nMaxBytes
// is cut at a character and ends in "...". The Name column of refused rows.
std::string ShownName(const std::string& name, size_t nMaxBytes = 200);
