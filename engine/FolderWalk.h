#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/FileRows.h"

// The recursive walk of a folder, and the rows of a set to hash made of
// paths and folders.
//
// Order: within each folder its files and subfolders together, by name,
// letter case aside (the invariant upper case of UTF-16, compared code unit
// by code unit, as the file system itself compares names), ties by the
// exact bytes; a subfolder's contents follow its own place. That is the
// order ComparePathNames gives whole relative paths, and Save sorts by it.
//
// Links: no reparse point that stands for another name (junction, mount
// point, symbolic link; a name-surrogate tag) is followed, file or folder:
// each is an entry of its own, kLink, not read. Other reparse points (cloud
// placeholders, deduplicated files) are ordinary files and folders. A
// folder that is one of its own ancestors (by volume and file id: a loop the
// system does not mark as a link, as a host's symbolic link under Wine) is
// not entered again and is a kLink entry too. Paths of any length (wide
// calls, the extended form from MAX_PATH on).

struct WalkEntry {
  enum class Kind : unsigned char {
    kFile,
    kLink,        // a junction or symbolic link: not followed
    kUnlistable,  // a folder that could not be listed: dwError
  };
  std::string strName;  // relative to the walked folder, '\' separators
  ULONGLONG qwSize = 0;
  DWORD dwError = 0;
  Kind kind = Kind::kFile;
};

// Walks folder (full path, UTF-8, closing '\' or not) into *pEntries, in the
// order above. False when the folder itself cannot be listed (*pdwError the
// system's code), *pStop became set (ERROR_CANCELLED), or the entries are
// too many for memory (ERROR_NOT_ENOUGH_MEMORY, entries dropped).
bool WalkFolder(const std::string& folder, std::vector<WalkEntry>* pEntries, DWORD* pdwError,
                const std::atomic<int>* pStop = nullptr);

// Relative paths ('\' or '/') in the walk's order: < 0, 0, > 0.
int ComparePathNames(const std::string& a, const std::string& b);

// Whether two paths name the same file as the file system compares names:
// segment by segment, letter case aside, '\' and '/' alike.
bool SamePathName(const std::string& a, const std::string& b);

// Adds rows to hash, entry nEntry, for paths (full, UTF-8): a file is a row,
// a folder is walked and each of its files is a row. The set's folder
// becomes the folder all its rows' paths share (rows already there are
// renamed when it moves up); a folder given alone is that folder itself, so
// names are relative to the dropped folder. Links are Refused rows ("not
// followed"), folders that cannot be listed and paths that cannot be read
// Unreadable rows with the system's code. False only when stopped
// (ERROR_CANCELLED) or too many for memory (ERROR_NOT_ENOUGH_MEMORY; the
// set is then left as it was); *pdwError set then.
bool AddPathsToSet(FileSet* pSet, const std::vector<std::string>& paths, UINT nEntry,
                   DWORD* pdwError, const std::atomic<int>* pStop = nullptr);

// A walk entry as a row of a set: kFile Pending (or result when given),
// kLink Refused with the rule, kUnlistable Unreadable.
FileRow RowOfWalkEntry(const WalkEntry& entry, const std::string& prefix,
                       RowResult fileResult = RowResult::kPending);
