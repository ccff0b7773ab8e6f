#include "engine/ExpectedText.h"

ExpectedText ParseExpectedText(const std::string& text) {
  ExpectedText parsed;
  const std::string digits = NormaliseExpectedDigest(text);
  if (digits.empty()) return parsed;
  ExpectedDigest digest;
  digest.strDigits = digits;
  digest.nLine = 1;
  digest.strLine = text.substr(0, 80);
  parsed.digests.push_back(digest);
  return parsed;
}

ExpectedChoice ChooseExpectedDigest(const ExpectedText& parsed, const std::string&) {
  ExpectedChoice choice;
  if (parsed.digests.size() == 1) {
    choice.bFound = true;
    choice.digest = parsed.digests[0];
  } else {
    choice.strReason = parsed.strProblem;
  }
  return choice;
}

CheckPlan PlanCheck(const std::string& expected, const std::string& fileName, UINT nSelected,
                    bool bHmac) {
  CheckPlan plan;
  plan.choice = ChooseExpectedDigest(ParseExpectedText(expected), fileName);
  if (plan.choice.bFound)
    plan.entries = CandidateEntries(plan.choice.digest.strDigits.size(), nSelected, bHmac);
  return plan;
}

CheckVerdict JudgeResult(const std::string& expected, const std::string&, UINT nAlgorithm,
                         const std::string& result) {
  const DigestComparison comparison = CompareWithExpected(expected, result, nAlgorithm);
  CheckVerdict verdict;
  verdict.verdict = comparison.verdict;
  verdict.strTooltip = comparison.strHint;
  if (verdict.verdict == DigestVerdict::kMatch) verdict.nMatched = nAlgorithm;
  return verdict;
}

CheckVerdict JudgeResults(const std::string& expected, const std::string& fileName, UINT,
                          const std::vector<UINT>& entries,
                          const std::vector<std::string>& results) {
  CheckVerdict last;
  for (size_t i = 0; i < entries.size() && i < results.size(); ++i) {
    if (results[i].empty()) continue;
    last = JudgeResult(expected, fileName, entries[i], results[i]);
    if (last.verdict == DigestVerdict::kMatch) return last;
  }
  return last;
}
