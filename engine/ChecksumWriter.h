#pragma once

#include <windows.h>

#include <string>

#include "engine/FileRows.h"

// Save: a checksum file of a set's hashed rows.

enum class ChecksumForm {
  kGnu,     // "<digest>  <name>": what sha256sum -c reads on any system
  kBsdTag,  // "SHA256 (<name>) = <digest>": the entry named on every line
};

// The text of the checksum file: the rows with a digest (Match, No match,
// Hashed, Not listed, Moved; the others were not hashed and are left out),
// sorted by name (ComparePathNames), names relative to targetFolder with '/'
// between segments, one LF after each line, UTF-8 without a byte order mark,
// never the file targetPath itself. GNU form: a name holding '\' or a line
// break is written as GNU tools write it ("\" before the line, "\\" and
// "\n" in the name), so the file reads back right. False (*pdwError
// ERROR_BAD_PATHNAME) when a row is not under the target's folder, or
// (BSD form) a name holds a line break, which that form cannot carry;
// ERROR_NOT_ENOUGH_MEMORY when the sorted names do not fit. The whole text
// in memory: for a look at it; SaveChecksumFile writes it in pieces.
bool ChecksumFileText(const FileSet& set, const std::string& targetPath, ChecksumForm form,
                      std::string* pText, DWORD* pdwError);

// Writes that text to targetPath (UTF-8, any length): first into a new
// temporary file in the same folder, flushed, then moved over the target
// with MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). On
// any failure the temporary file is removed, an old target is left whole,
// and false comes back with *pdwError the system's code.
bool SaveChecksumFile(const FileSet& set, const std::string& targetPath, ChecksumForm form,
                      DWORD* pdwError);

// The entry every hashed row shares, kAlgorithmCount when they differ or
// none is hashed; its ChecksumFileNameFor in the set's folder is the path
// Save proposes.
UINT CommonEntry(const FileSet& set);
std::string DefaultSavePath(const FileSet& set);
