#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/CheckPlan.h"
#include "engine/ExpectedText.h"

// The search for the entry a published digest is from: which result is
// shown, and the verdict over every entry computed.
struct EntrySearch {
  // More than the selected entry was computed: verdict is the search's,
  // whose tooltip names the entries tried.
  bool bSearched = false;
  UINT nEntry = kAlgorithmCount;  // the entry whose result is shown
  std::string strResult;
  CheckVerdict verdict;
};

// Whether a plan's entries ask for more than the selected entry alone.
bool SearchesBeyond(const std::vector<UINT>& entries, UINT nSelected);

// The verdict on the results of a plan's entries (results[i] of entries[i],
// empty when not computed), and the result shown: the matching entry's,
// else the first pass's.
EntrySearch JudgeSearch(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                        const std::vector<UINT>& entries, const std::vector<std::string>& results);

// A string's digest: unless the user chose the entry, every entry
// Expected's digest may be from is computed at once (texts are short) and a
// match is shown; otherwise, or with nothing to search, the selected entry's.
EntrySearch SearchString(const std::string& data, const std::string& key, int hmac, int upper,
                         const ExpectedText& parsed, UINT nSelected, bool bHandChoice);
