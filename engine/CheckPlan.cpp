#include "engine/CheckPlan.h"

#include <cstring>

namespace {

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(),
                                      static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                        &wide[0], n);
  return wide;
}

// A name in capitals by the invariant locale's table (the kernel's,
// present since the oldest Windows the program runs on).
std::wstring UpperWide(const std::string& s) {
  std::wstring wide = Wide(s);
  if (wide.empty()) return wide;
  ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                 &wide[0], static_cast<int>(wide.size()));
  return wide;
}

// Names are equal letter case aside: the whole of Unicode where both are
// UTF-8, ASCII letters otherwise.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0 &&
      std::strlen(a.c_str()) == a.size())
    return true;
  const std::wstring wa = UpperWide(a);
  return !wa.empty() && wa == UpperWide(b);
}

std::string EntryName(UINT nAlgorithm) {
  const CatalogueEntry* pEntry = CatalogueEntryAt(nAlgorithm);
  return pEntry ? pEntry->pszName : "";
}

// Where a digest came from, for a tooltip; empty for a bare digest.
std::string LineNote(const ExpectedText& parsed, const ExpectedDigest& digest) {
  if (!parsed.bChecksumText) return std::string();
  return "Line " + std::to_string(digest.nLine) + ": " + digest.strLine;
}

std::string Joined(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "\n" + b;
}

// Whether the digest's tag rules out entry nAlgorithm, and why.
std::string TagMismatch(const ExpectedDigest& digest, UINT nAlgorithm) {
  if (digest.strTag.empty() || digest.nAlgorithm == nAlgorithm) return std::string();
  if (digest.nAlgorithm == kAlgorithmCount)
    return "The tag " + digest.strTag + " names no entry of the list";
  std::string why = "The tag " + digest.strTag + " names " + EntryName(digest.nAlgorithm) +
                    ", not " + EntryName(nAlgorithm);
  const std::string twin = StandardSha3Hint(nAlgorithm);
  return twin.empty() ? why : why + "\n" + twin;
}

}  // namespace

ExpectedChoice ChooseExpectedDigest(const ExpectedText& parsed, const std::string& fileName,
                                    UINT nSelected) {
  ExpectedChoice choice;
  if (parsed.digests.empty()) {
    choice.strReason = parsed.strProblem;
    return choice;
  }
  if (parsed.digests.size() == 1) {
    choice.bFound = true;
    choice.digest = parsed.digests[0];
    return choice;
  }
  if (fileName.empty()) {
    choice.strReason = "The text holds " + std::to_string(parsed.digests.size()) +
                       " digests; a string is checked against one";
    return choice;
  }
  const std::string wanted = LastPathComponent(fileName);
  std::vector<const ExpectedDigest*> named;
  for (const ExpectedDigest& digest : parsed.digests) {
    std::string name = digest.strName;
    if (name.compare(0, 2, "./") == 0 || name.compare(0, 2, ".\\") == 0) name.erase(0, 2);
    if (!name.empty() && SameName(LastPathComponent(name), wanted)) named.push_back(&digest);
  }
  if (named.empty()) {
    choice.strReason = "No line names " + wanted;
    return choice;
  }
  // Lines of other algorithms for the same file are no clash; the selected
  // entry's line, then the first, is the one that applies.
  const ExpectedDigest* pChosen = named[0];
  for (const ExpectedDigest* pDigest : named) {
    const bool bFits =
        pDigest->nAlgorithm != kAlgorithmCount
            ? pDigest->nAlgorithm == nSelected
            : CatalogueEntryAt(nSelected) != nullptr &&
                  CatalogueEntryAt(nSelected)->HexDigits() == pDigest->strDigits.size();
    if (bFits) {
      pChosen = pDigest;
      break;
    }
  }
  for (const ExpectedDigest* pDigest : named) {
    const bool bSameKind = pDigest->nAlgorithm == pChosen->nAlgorithm &&
                           pDigest->strDigits.size() == pChosen->strDigits.size();
    if (bSameKind && _stricmp(pDigest->strDigits.c_str(), pChosen->strDigits.c_str()) != 0) {
      const ExpectedDigest* pFirst = pDigest->nLine < pChosen->nLine ? pDigest : pChosen;
      const ExpectedDigest* pSecond = pFirst == pDigest ? pChosen : pDigest;
      choice.strReason = "Lines " + std::to_string(pFirst->nLine) + " and " +
                         std::to_string(pSecond->nLine) + " name " + wanted +
                         " with different digests";
      return choice;
    }
  }
  choice.bFound = true;
  choice.digest = *pChosen;
  return choice;
}

CheckPlan PlanCheck(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                    bool bHmac) {
  CheckPlan plan;
  plan.choice = ChooseExpectedDigest(parsed, fileName, nSelected);
  if (!plan.choice.bFound || !IsHexText(plan.choice.digest.strDigits)) return plan;
  const ExpectedDigest& digest = plan.choice.digest;
  if (!digest.strTag.empty()) {
    // A tag chooses its entry alone; a tag of no entry has nothing to run.
    if (digest.nAlgorithm != kAlgorithmCount &&
        CatalogueEntryAt(digest.nAlgorithm)->HexDigits() == digest.strDigits.size())
      plan.entries.push_back(digest.nAlgorithm);
    return plan;
  }
  plan.entries = CandidateEntries(digest.strDigits.size(), nSelected, bHmac);
  return plan;
}

CheckPlan PlanCheck(const std::string& expected, const std::string& fileName, UINT nSelected,
                    bool bHmac) {
  return PlanCheck(ParseExpectedText(expected), fileName, nSelected, bHmac);
}

CheckVerdict JudgeResult(const ExpectedText& parsed, const std::string& fileName, UINT nAlgorithm,
                         const std::string& result) {
  CheckVerdict verdict;
  if (result.empty() || (parsed.digests.empty() && parsed.strProblem.empty())) return verdict;
  const ExpectedChoice choice = ChooseExpectedDigest(parsed, fileName, nAlgorithm);
  verdict.verdict = DigestVerdict::kNoMatch;
  if (!choice.bFound) {
    verdict.strTooltip = choice.strReason;
    return verdict;
  }
  const std::string note = LineNote(parsed, choice.digest);
  const std::string mismatch = TagMismatch(choice.digest, nAlgorithm);
  if (!mismatch.empty()) {
    verdict.strTooltip = Joined(mismatch, note);
    return verdict;
  }
  const DigestComparison comparison =
      CompareWithExpected(choice.digest.strDigits, result, nAlgorithm);
  verdict.verdict = comparison.verdict;
  verdict.strTooltip = Joined(comparison.strHint, note);
  if (verdict.verdict == DigestVerdict::kMatch) verdict.nMatched = nAlgorithm;
  return verdict;
}

CheckVerdict JudgeResult(const std::string& expected, const std::string& fileName, UINT nAlgorithm,
                         const std::string& result) {
  return JudgeResult(ParseExpectedText(expected), fileName, nAlgorithm, result);
}

CheckVerdict JudgeResults(const ExpectedText& parsed, const std::string& fileName, UINT nSelected,
                          const std::vector<UINT>& entries,
                          const std::vector<std::string>& results) {
  std::vector<size_t> tried;
  for (size_t i = 0; i < entries.size() && i < results.size(); ++i)
    if (!results[i].empty()) tried.push_back(i);
  if (tried.empty()) return JudgeResult(parsed, fileName, nSelected, std::string());
  std::string names;
  for (size_t i : tried) {
    const CheckVerdict one = JudgeResult(parsed, fileName, entries[i], results[i]);
    if (one.verdict == DigestVerdict::kMatch) {
      CheckVerdict found = one;
      if (entries[i] != nSelected) {
        const ExpectedChoice choice = ChooseExpectedDigest(parsed, fileName, entries[i]);
        const char* pszHow = choice.digest.strTag.empty() ? "Found by the digest's length: "
                                                          : "Chosen by the line's tag: ";
        found.strTooltip = Joined(pszHow + EntryName(entries[i]), one.strTooltip);
      }
      return found;
    }
    names += (names.empty() ? "" : ", ") + EntryName(entries[i]);
  }
  // None matched: the first entry's reasons, and every entry tried.
  CheckVerdict none = JudgeResult(parsed, fileName, entries[tried[0]], results[tried[0]]);
  if (tried.size() > 1) none.strTooltip = Joined("Tried " + names, none.strTooltip);
  return none;
}

CheckVerdict JudgeResults(const std::string& expected, const std::string& fileName, UINT nSelected,
                          const std::vector<UINT>& entries,
                          const std::vector<std::string>& results) {
  return JudgeResults(ParseExpectedText(expected), fileName, nSelected, entries, results);
}
