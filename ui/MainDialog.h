#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ReportGate.h"
#include "framework/AnchorLayout.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "ui/ExpectedRow.h"
#include "ui/FileJob.h"
#include "ui/PathHandoff.h"
#include "ui/FilePicker.h"
#include "ui/FileSearch.h"
#include "ui/TaskbarProgress.h"

// The program's window: algorithm list, String/File data source, HMAC key,
// result with copy and case switch, the Expected row, and the file job.
// The dialog wires its controls to the pieces that do the work: m_job (the
// worker, Stop, closing), m_expected (the field, its verdict and pick-ups)
// and SearchFile (what a job computes). The worker reaches the dialog only
// through window messages.
class MainDialog : public CDialog,
                   protected FileJobOwner,
                   protected ExpectedRowHost,
                   protected FileSearchSteps {
 public:
  // The points a worker passes, in order.
  enum WorkerStep {
    kPathRead,
    kStopShown,
    kHasherMade,
    kControlsDisabled,
    kReported,
    kSecondPass,  // the second pass's Hasher is held by the job, its run not begun
    kResultPut
  };

  MainDialog();
  ~MainDialog() override;

  // The path the command line named: the dialog opens on it in File mode.
  void SetStartPath(const std::string& strPath) { m_strStartPath = strPath; }

  void SetDataType(bool bString);
  void EnableControls(bool bEnable);
  void UpdateStringDigest();
  void UpdateVerdict() { m_expected.UpdateVerdict(); }
  std::string ReadControlText(HWND hWnd) const { return ReadWindowText(hWnd); }
  void OnProgress(int nPercent);
  void ShowSystemError(DWORD dwError) { ShowSystemErrorBox(dwError); }

  CProgressCtrl m_progress;
  CComboBox m_algorithms;
  HICON m_hIcon;
  FilePicker m_picker;
  FileJob m_job{*this};
  ExpectedRow m_expected{*this};

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnInitDialog() override;
  void OnOK() override;

  // Called by the worker at each step; a test can hold it there.
  virtual void OnWorkerStep(WorkerStep) {}
  // Several dropped files or a folder: the list window takes them.
  virtual bool OpenInListWindow(const std::vector<std::string>& paths) {
    return PathHandoff::OpenInListWindow(paths);
  }

  // The job's work and its waiting Start click (FileJobOwner).
  void RunJob(FileJob& job) override;
  void OnWaitingStart() override { OnBnClickedStart(); }
  // What the verdict judges (ExpectedRowHost).
  VerdictSubject CurrentSubject() const override;
  // A pass of the file search is about to read (FileSearchSteps).
  void OnPassReady(bool bSecond) override;

  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnDropFiles(HDROP hDropInfo);
  void OnDestroy();
  void OnBnClickedString();
  void OnBnClickedFile();
  void OnCbnSelchangeAlgorithm();
  void OnBnClickedHmac();
  void OnBnClickedBrowse();
  void OnBnClickedCopy();
  void OnBnClickedStart();
  void OnBnClickedUppercase();
  void OnBnClickedAbout();
  void OnEnChangeData();
  void OnEnChangeKey();
  void OnEnChangeResult();
  void OnEnChangeExpected();
  HBRUSH OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor);

  DECLARE_MESSAGE_MAP()

 private:
  class JobEnd;

  // The user chose the entry by hand since Expected last changed: no
  // search overrides that choice. Read by the worker at a job's start.
  std::atomic<bool> m_bHandChoice{false};
  std::string m_strStartPath;
  // The reports the worker puts on the bar (worker thread only).
  ReportGate m_reports;

  // A single file into the data source, with the line naming it from a
  // checksum file beside it into Expected when it may.
  void OpenFile(const std::string& strPath);
  // Selects a found entry without it counting as a choice by hand.
  void SelectFoundEntry(UINT nAlgorithm);
  // Shows a search's outcome: its entry selected, a search's verdict kept.
  void ShowSearch(const EntrySearch& search, const std::string& strExpected);
  void ShowJobNotice(const JobEnd& end);
  void ApplyJobEnd(const JobEnd& end);
  BOOL ConfirmQuit();
  TaskbarProgress m_taskbar;

  // The window's width: sizing, its least and fixed height, DPI changes.
  AnchorLayout m_layout;
};
