#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ExpectedText.h"

// A check of results against Expected's text: which digest of the text
// applies, what a job computes for it, and the verdict on what it computed.
// Each has a form on a text parsed once (ParseExpectedText), for callers
// that judge one text often, and one on the text itself.

// The digest that applies to a file, or why none does.
struct ExpectedChoice {
  bool bFound = false;
  ExpectedDigest digest;  // when found
  std::string strReason;  // when not: "No line names ubuntu.iso", a clash
};

// In File mode (fileName not empty) the line naming the file's last path
// component applies (letter case aside, "./" and "*" prefixes aside); a text
// with one digest applies whatever its name. In String mode (fileName empty)
// only a text with one digest applies. Lines of several algorithms for
// the file are no clash: the one of nSelected (by tag, or by length when
// untagged) applies, else the first; two lines of one algorithm with
// different digests are.
ExpectedChoice ChooseExpectedDigest(const ExpectedText& parsed, const std::string& fileName,
                                    UINT nSelected = kAlgorithmCount);

// The plan of a check: the entries a job computes, first pass first.
struct CheckPlan {
  std::vector<UINT> entries;  // [0]: first pass; the rest: second pass; empty: nothing to search
  ExpectedChoice choice;      // the digest the check holds results against
};

// What a job for Expected's text should compute, given the file name (empty
// in String mode), the selected entry and the HMAC flag. A tag chooses its
// entry alone; a digest without a tag has the candidates of its length.
// Nothing to search (no entries) when no digest applies, it is not
// hexadecimal, or no entry has its length or tag: the job then computes the
// selected entry as ever, and JudgeResult says why it cannot match.
CheckPlan PlanCheck(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                    bool bHmac);
CheckPlan PlanCheck(const std::string& expected, const std::string& fileName, UINT nSelected,
                    bool bHmac);

// A verdict on results, with the tooltip text that explains it.
struct CheckVerdict {
  DigestVerdict verdict = DigestVerdict::kNone;
  UINT nMatched = kAlgorithmCount;  // the entry whose result matched; kAlgorithmCount: none
  std::string strTooltip;
};

// The verdict on one entry's result (the selected entry, a choice made by
// hand included): a tag that chooses another entry, a Keccak entry held
// against a standard SHA-3 line, a missing or clashing name all give
// "No match" with the reason in the tooltip.
CheckVerdict JudgeResult(const ExpectedText& parsed, const std::string& fileName, UINT nAlgorithm,
                         const std::string& result);
CheckVerdict JudgeResult(const std::string& expected, const std::string& fileName, UINT nAlgorithm,
                         const std::string& result);

// The verdict on the results of a check's entries (results[i] of
// entries[i]; an empty result is one not computed). The first entry that
// matches wins; with none, the tooltip names every entry tried. nSelected is
// the entry the list showed when the check began, so the tooltip can say
// when the match was found by the digest's length.
CheckVerdict JudgeResults(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                          const std::vector<UINT>& entries,
                          const std::vector<std::string>& results);
CheckVerdict JudgeResults(const std::string& expected, const std::string& fileName, UINT nSelected,
                          const std::vector<UINT>& entries,
                          const std::vector<std::string>& results);
