#include "ui/FileSearch.h"

#include <algorithm>
#include <vector>

#include "engine/Hasher.h"

namespace {

// The other candidates in one more read. False when the search ends here:
// stopped (nothing to show) or failed (outcome says why).
bool RunSecondPass(FileJob& job, const FileSearchInput& in, const std::vector<UINT>& entries,
                   FileSearchSteps& steps, const ProgressCallback& progress,
                   std::vector<std::string>& results, FileSearchOutcome& outcome) {
  const std::vector<UINT> others(entries.begin() + 1, entries.end());
  Hasher hasher(others.front());
  hasher.m_pOuterStop = &job.StopFlag();
  if (job.StopRequested()) return false;
  std::vector<std::string> found;
  bool bStopped = false;
  {
    FileJob::Run run(job, &hasher.m_bStop);
    steps.OnPassReady(true);
    found =
        hasher.HashFileMany(in.strPath.c_str(), in.strKey, in.nHmac, in.nUpper, others, progress);
    bStopped = hasher.m_bStop != 0 || job.StopRequested();
  }
  if (bStopped || found.front().empty()) {
    if (!bStopped) {
      outcome.bFailed = true;
      outcome.dwError = hasher.ErrorCode();
    }
    return false;
  }
  std::copy(found.begin(), found.end(), results.begin() + 1);
  return true;
}

}  // namespace

FileSearchOutcome SearchFile(FileJob& job, const FileSearchInput& in, FileSearchSteps& steps,
                             ProgressCallback progress) {
  FileSearchOutcome outcome;
  const ExpectedText parsed = ParseExpectedText(in.strExpected);
  const std::string strName = LastPathComponent(in.strPath);
  // The entries to compute: the selected one, or, unless the user chose it,
  // those Expected's digest may be from, the first pass's first.
  std::vector<UINT> entries(1, in.nSelected);
  if (!in.bHandChoice) {
    const CheckPlan plan = PlanCheck(parsed, strName, in.nSelected, in.nHmac != 0);
    if (!plan.entries.empty()) entries = plan.entries;
  }
  Hasher hasher(entries[0]);
  hasher.m_pOuterStop = &job.StopFlag();
  std::string strResult;
  bool bStopped = false;
  {
    FileJob::Run run(job, &hasher.m_bStop);
    outcome.bRan = true;
    steps.OnPassReady(false);
    strResult = hasher.HashFile(in.strPath.c_str(), in.strKey, in.nHmac, in.nUpper, progress);
    bStopped = hasher.m_bStop != 0 || job.StopRequested();
  }
  if (strResult.empty() && !bStopped) {
    outcome.bFailed = true;
    outcome.dwError = hasher.ErrorCode();
  }
  if (!strResult.empty()) {
    outcome.search.nEntry = entries[0];
    outcome.search.strResult = strResult;
  }
  if (strResult.empty() || !SearchesBeyond(entries, in.nSelected)) return outcome;
  std::vector<std::string> results(entries.size());
  results[0] = strResult;
  if (!bStopped && entries.size() > 1 &&
      JudgeResult(parsed, strName, entries[0], strResult).verdict != DigestVerdict::kMatch &&
      !RunSecondPass(job, in, entries, steps, progress, results, outcome)) {
    outcome.search = EntrySearch();
    return outcome;
  }
  outcome.search = JudgeSearch(parsed, strName, in.nSelected, entries, results);
  return outcome;
}
