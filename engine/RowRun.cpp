#include "engine/RowRun.h"

#include <utility>

RowTone ToneOf(RowResult result) {
  if (*ResultText(result) == '\0') return RowTone::kNone;
  return IsGoodResult(result) ? RowTone::kGood : RowTone::kBad;
}

RowRun::RowRun(SharedRows& shared, EntryChooser& chooser, std::function<void()> onChange)
    : m_shared(shared), m_chooser(chooser), m_onChange(std::move(onChange)) {}

bool RowRun::Run(size_t nFirst, const std::atomic<int>& stop) {
  m_nFirst = nFirst;
  m_inFlight.clear();
  m_nAskedAgain = static_cast<size_t>(-1);
  const std::vector<FileRow>& rows = m_shared.set.rows;
  const size_t nTasks = rows.size() > nFirst ? rows.size() - nFirst : 0;
  ULONGLONG qwTotal = 0;
  bool bSizesKnown = true;
  for (size_t i = nFirst; i < rows.size(); ++i) {
    if (!rows[i].NeedsRun()) continue;
    qwTotal += rows[i].qwSize;
    if (rows[i].qwSize == 0) bSizesKnown = false;
  }
  {
    CriticalSection::Hold hold(m_shared.lock);
    m_shared.progress = FileSetProgress();
    m_shared.progress.qwTotal = qwTotal;
    m_shared.bRunning = true;
    m_shared.bSizesKnown = bSizesKnown;
    m_shared.nTasks = nTasks;
  }
  FileSetRun run(stop);
  const bool bDone = run.Run(nTasks, qwTotal, *this);
  {
    CriticalSection::Hold hold(m_shared.lock);
    m_shared.bRunning = false;
  }
  m_onChange();
  return bDone;
}

int RowRun::Position(const SharedRows& shared, int nScale) {
  const FileSetProgress& p = shared.progress;
  if (shared.bSizesKnown && p.qwTotal != 0)
    return (int)(p.qwDone >= p.qwTotal ? nScale : p.qwDone * (ULONGLONG)nScale / p.qwTotal);
  if (shared.nTasks == 0) return nScale;
  return (int)((ULONGLONG)p.nDelivered * (ULONGLONG)nScale / shared.nTasks);
}

FileSetSink::Answer RowRun::Begin(size_t nIndex, FileSetTask* pTask) {
  const FileRow& row = m_shared.set.rows[m_nFirst + nIndex];
  std::vector<UINT> entries = m_chooser.EntriesFor(row);
  // A search over a digit count waits for the files before it: one that
  // matches fixes the entry, and this file then computes that one alone.
  if (entries.size() > 1 && m_nAskedAgain != nIndex && !m_inFlight.empty()) {
    m_nAskedAgain = nIndex;
    return kAskAfterEarlier;
  }
  pTask->strPath = m_shared.set.FullPath(row);
  pTask->qwCounted = row.NeedsRun() && row.qwSize != 0 ? row.qwSize : FileSetTask::kSizeUnknown;
  pTask->entries = entries;
  m_inFlight.push_back(std::move(entries));
  return kRead;
}

void RowRun::Result(size_t nIndex, FileSetResult& result) {
  std::vector<UINT> entries;
  if (!m_inFlight.empty()) {
    entries = std::move(m_inFlight.front());
    m_inFlight.pop_front();
  }
  if (entries.empty()) return;  // nothing was read: the row stays as it is
  FileRow& row = m_shared.set.rows[m_nFirst + nIndex];
  FileRow settled = row;
  if (result.dwError != 0) {
    EntryChooser::Fail(&settled, result.dwError);
  } else {
    settled.qwSize = result.qwSize;
    m_chooser.Settle(&settled, entries, result.digests);
  }
  {
    CriticalSection::Hold hold(m_shared.lock);
    m_shared.counts.Remove(row.result);
    m_shared.counts.Add(settled.result);
    row = std::move(settled);
  }
  m_onChange();
}

void RowRun::Progress(const FileSetProgress& progress) {
  {
    CriticalSection::Hold hold(m_shared.lock);
    m_shared.progress = progress;
  }
  m_onChange();
}
