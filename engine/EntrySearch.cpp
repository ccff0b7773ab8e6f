#include "engine/EntrySearch.h"

#include "engine/Hasher.h"

bool SearchesBeyond(const std::vector<UINT>& entries, UINT nSelected) {
  return entries.size() > 1 || (entries.size() == 1 && entries[0] != nSelected);
}

EntrySearch JudgeSearch(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                        const std::vector<UINT>& entries, const std::vector<std::string>& results) {
  EntrySearch search;
  search.bSearched = true;
  search.verdict = JudgeResults(parsed, fileName, nSelected, entries, results);
  size_t nShown = 0;  // no match: the first pass's entry
  for (size_t i = 0; i < entries.size() && i < results.size(); ++i)
    if (entries[i] == search.verdict.nMatched) nShown = i;
  if (nShown < entries.size()) search.nEntry = entries[nShown];
  if (nShown < results.size()) search.strResult = results[nShown];
  return search;
}

EntrySearch SearchString(const std::string& data, const std::string& key, int hmac, int upper,
                         const ExpectedText& parsed, UINT nSelected, bool bHandChoice) {
  const CheckPlan plan = bHandChoice ? CheckPlan() : PlanCheck(parsed, "", nSelected, hmac != 0);
  if (SearchesBeyond(plan.entries, nSelected)) {
    const std::vector<std::string> results =
        Hasher::HashStringMany(data, key, hmac, upper, plan.entries);
    return JudgeSearch(parsed, "", nSelected, plan.entries, results);
  }
  EntrySearch plain;
  plain.nEntry = nSelected;
  plain.strResult = Hasher(nSelected).HashString(data, key, hmac, upper);
  return plain;
}
