// The list window's job, on its worker thread: the rows of the checksum
// file or of the paths, the files no line names, and the run over the rows.
#include <utility>

#include "engine/ChecksumPlan.h"
#include "engine/FolderWalk.h"
#include "engine/RowEdits.h"
#include "engine/UnlistedFiles.h"
#include "framework/MessageBox.h"
#include "ui/ListDialog.h"

namespace {

const char kTooMany[] =
    "There are more files than this computer's memory can list. The list shows the rows it "
    "could hold.";

std::string NoticeFor(DWORD dwError) {
  return dwError == ERROR_NOT_ENOUGH_MEMORY ? std::string(kTooMany) : SystemMessageText(dwError);
}

// Rows appended to the shared set, counted as they go in.
void AppendRows(SharedRows& shared, std::vector<FileRow>& rows) {
  CriticalSection::Hold hold(shared.lock);
  shared.set.rows.reserve(shared.set.rows.size() + rows.size());
  for (FileRow& row : rows) {
    shared.counts.Add(row.result);
    shared.set.rows.push_back(std::move(row));
  }
}

size_t FirstToRun(const std::vector<FileRow>& rows) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].NeedsRun()) return i;
  return rows.size();
}

}  // namespace

// What a job hands back: a notice to read first, and whether a Stop ended it.
class ListDialog::JobEnd : public FileJobEnd {
 public:
  JobEnd(ListDialog& dialog, std::string notice, bool bStopped)
      : m_dialog(dialog), m_strNotice(std::move(notice)), m_bStopped(bStopped) {}
  bool HasNotice() const override { return !m_strNotice.empty(); }
  void ShowNotice() override { AfxMessageBox(m_strNotice.c_str()); }
  void Apply() override { m_dialog.OnJobEnded(m_bStopped); }

 private:
  ListDialog& m_dialog;
  std::string m_strNotice;
  bool m_bStopped;
};

void ListDialog::RunJob(FileJob& job) {
  const Order order = m_order;
  std::string notice;
  bool bGoOn = true;
  if (IsVerifying()) {
    if (!m_bPlanRead) bGoOn = ReadPlan(job, &notice);
    if (bGoOn && order.bUnlisted && !m_bUnlistedAdded) bGoOn = AddUnlisted(job, &notice);
  } else if (!order.paths.empty()) {
    bGoOn = AddRows(job, order, &notice);
  }
  bool bStopped = job.StopRequested();
  if (bGoOn && !bStopped) {
    RowRun run(m_shared, m_chooser, [] {});
    bStopped = !run.Run(FirstToRun(m_shared.set.rows), job.StopFlag());
  }
  if (m_bUnlistedAdded) {
    CriticalSection::Hold hold(m_shared.lock);
    MarkMoved(&m_shared.set);
    m_shared.counts = CountRows(m_shared.set.rows);
  }
  JobEnd end(*this, bStopped ? std::string() : notice, bStopped);
  job.HandBack(end);
}

bool ListDialog::ReadPlan(FileJob& job, std::string* pNotice) {
  ChecksumPlan plan;
  DWORD dwError = 0;
  const bool bRead = ReadChecksumPlan(m_strChecksumFile, &plan, &dwError, &job.StopFlag());
  if (!bRead && dwError == ERROR_CANCELLED) return false;
  *pNotice = bRead ? EmptyPlanText(plan) : NoticeFor(dwError);
  {
    CriticalSection::Hold hold(m_shared.lock);
    m_shared.set = std::move(plan.set);
    m_shared.counts = CountRows(m_shared.set.rows);
  }
  m_bPlanRead = true;
  // The rows read before a failure are checked all the same.
  return bRead || (dwError != ERROR_NOT_ENOUGH_MEMORY && !m_shared.set.rows.empty());
}

bool ListDialog::AddUnlisted(FileJob& job, std::string* pNotice) {
  // Found in a copy of the names, so the rows stay on show meanwhile.
  FileSet names = NamesOnly(m_shared.set);
  const size_t nBefore = names.rows.size();
  DWORD dwError = 0;
  if (!AddUnlistedRows(&names, &dwError, &job.StopFlag())) {
    if (dwError != ERROR_CANCELLED) *pNotice = NoticeFor(dwError);
    return dwError != ERROR_CANCELLED;
  }
  std::vector<FileRow> added(std::make_move_iterator(names.rows.begin() + nBefore),
                             std::make_move_iterator(names.rows.end()));
  AppendRows(m_shared, added);
  m_bUnlistedAdded = true;
  return true;
}

bool ListDialog::AddRows(FileJob& job, const Order& order, std::string* pNotice) {
  DWORD dwError = 0;
  bool bAdded = false;
  if (m_shared.set.rows.empty()) {
    // The first paths are walked apart from the shown set, which is empty.
    FileSet set;
    bAdded = AddPathsToSet(&set, order.paths, order.nEntry, &dwError, &job.StopFlag());
    if (bAdded) {
      CriticalSection::Hold hold(m_shared.lock);
      m_shared.set = std::move(set);
      m_shared.counts = CountRows(m_shared.set.rows);
    }
  } else {
    // Later paths may move the set's folder up, renaming every row: the
    // window waits for the few paths a hand-over brings.
    CriticalSection::Hold hold(m_shared.lock);
    bAdded = AddPathsToSet(&m_shared.set, order.paths, order.nEntry, &dwError, &job.StopFlag());
    if (bAdded) m_shared.counts = CountRows(m_shared.set.rows);
  }
  if (!bAdded && dwError != ERROR_CANCELLED) *pNotice = NoticeFor(dwError);
  return bAdded;
}
