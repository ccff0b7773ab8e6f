#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/ChecksumWriter.h"
#include "engine/EntryChooser.h"
#include "engine/RowRun.h"
#include "framework/AnchorLayout.h"
#include "framework/Dialog.h"
#include "ui/FileJob.h"
#include "ui/ListRowsView.h"
#include "ui/TaskbarProgress.h"

// The cells of a shared set, each read under the set's lock.
class SharedRowsSource : public ListRowSource {
 public:
  explicit SharedRowsSource(const SharedRows& shared) : m_shared(shared) {}
  size_t RowCount() const override;
  std::string CellText(size_t nRow, int nColumn) const override;
  std::string RowTip(size_t nRow) const override;
  Tone RowTone(size_t nRow) const override;

 private:
  const SharedRows& m_shared;
};

// The list window: verifies a checksum file against its folder, or hashes
// files and folders, one row per file, on a worker thread (a FileJob);
// copies the rows and saves them as a checksum file.
// The worker writes the rows under the set's lock and posts nothing: a
// timer on the window's thread reads where the run stands, so a run of a
// million small files costs the window a few redraws a second, and input
// always comes first.
class ListDialog : public CDialog, public FileJobOwner {
 public:
  ListDialog();
  ~ListDialog() override;

  // Before DoModal, on the user-interface thread: verify this checksum file.
  void SetChecksumFile(const std::string& path);
  // Before DoModal or while the window is up (user-interface thread): hash
  // these files and folders (folders walked recursively); new rows are
  // appended and hashed, after any run under way.
  void AddPaths(const std::vector<std::string>& paths);
  // Whether the window verifies a checksum file (it then takes no AddPaths).
  bool IsVerifying() const;

  void RunJob(FileJob& job) override;
  void OnWaitingStart() override {}

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  // The path and form Save writes; false when the user cancelled. A test
  // answers for the system's dialog.
  virtual bool ChooseSavePath(const std::string& proposed, std::string* pPath, ChecksumForm* pForm);

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnDestroy();
  void OnBnClickedStop();
  void OnBnClickedCopy();
  void OnBnClickedSave();
  void OnBnClickedUnlisted();
  void OnCbnSelchangeAlgorithm();

  DECLARE_MESSAGE_MAP()

  SharedRows m_shared;
  FileJob m_job{*this};

 private:
  class JobEnd;
  // What the next job is to do, set on this thread before it starts.
  struct Order {
    std::vector<std::string> paths;  // to add (hashing)
    UINT nEntry = kAlgorithmSHA256;  // of the rows added (hashing)
    bool bUnlisted = false;          // add the files no line names (verifying)
  };

  BOOL OnLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void SetCaptionFrom(const std::string& path);
  BOOL ConfirmQuit();
  void CloseWindow();
  // Starts the job the window's state asks for, when none runs.
  void ContinueWork();
  void RestartWork();
  void StartJob();
  void OnJobEnded(bool bStopped);
  // Worker: the phases of a job.
  bool ReadPlan(FileJob& job, std::string* pNotice);
  bool AddRows(FileJob& job, const Order& order, std::string* pNotice);
  bool AddUnlisted(FileJob& job, std::string* pNotice);
  // The timer's look at the run: rows, bar, summary, taskbar.
  void Refresh();
  void ShowEntryOfSet();
  UINT SelectedEntry() const;

  static const UINT WM_LIST_START = WM_APP + 2;
  static const UINT_PTR kRefreshTimer = 1;

  ListRowsView m_view;
  SharedRowsSource m_source{m_shared};
  AnchorLayout m_layout;
  TaskbarProgress m_taskbar;

  std::string m_strChecksumFile;
  std::string m_strCaptionPath;
  std::vector<std::string> m_pendingPaths;
  Order m_order;  // the running job's; the worker reads it
  EntryChooser m_chooser;
  // Worker-side state between jobs (the worker of one job at a time).
  bool m_bPlanRead = false;
  bool m_bUnlistedAdded = false;
  // User-interface thread.
  UINT m_nEntryHashed = kAlgorithmSHA256;
  bool m_bStopped = false;
  bool m_bRestartWanted = false;  // a Stop that a choice asked for
  bool m_bClosing = false;
  size_t m_nShownRows = 0;
  std::string m_strSummary;
};
