#pragma once

#include <windows.h>

#include <string>

#include "engine/EntrySearch.h"
#include "engine/ProgressCallback.h"
#include "ui/FileJob.h"

// The steps a file search reports to its window, on the job's worker.
class FileSearchSteps {
 public:
  // A pass's Hasher is made and held by the job, its read not begun: the
  // first pass (bSecond false) or the second.
  virtual void OnPassReady(bool bSecond) = 0;

 protected:
  ~FileSearchSteps() = default;
};

// What a file job reads from its window before it searches.
struct FileSearchInput {
  std::string strPath;
  std::string strKey;
  int nHmac = 0;
  int nUpper = 0;
  UINT nSelected = kAlgorithmCount;  // the entry the list shows
  bool bHandChoice = false;          // the user chose it: no search
  std::string strExpected;
};

struct FileSearchOutcome {
  bool bRan = false;     // a pass began (OnPassReady was called)
  bool bFailed = false;  // the file could not be hashed: dwError
  DWORD dwError = 0;
  EntrySearch search;  // strResult empty: failed or stopped
};

// One file's digest on a job's worker, checked against Expected's text:
// the entries its plan names, first pass first, and when that entry does
// not match, the other candidates from one more read of the file, each on
// its own thread. Every pass reads the job's stop request, so a Stop or a
// close ends it however early it came; a Stop between the passes ends the
// search there.
FileSearchOutcome SearchFile(FileJob& job, const FileSearchInput& in, FileSearchSteps& steps,
                             ProgressCallback progress);
