#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/CheckPlan.h"
#include "engine/Hasher.h"
#include "fileio/OwnedHandle.h"
#include "framework/AnchorLayout.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/CallbackThunk.h"
#include "ui/FilePicker.h"
#include "ui/TaskbarProgress.h"

// The program's window: algorithm list, String/File data source, HMAC key,
// result with copy and case switch, an expected digest with its verdict, and
// the file job on a worker thread.
// The worker reaches the dialog only through window messages; the fields it
// shares with the user-interface thread are atomics.
class MainDialog : public CDialog {
 public:
  // The points a worker passes, in order.
  enum WorkerStep {
    kPathRead,
    kStopShown,
    kHasherMade,
    kControlsDisabled,
    kReported,
    kSecondPass,  // the second pass's Hasher is in m_pHasher, its run not begun
    kResultPut
  };

  MainDialog();
  ~MainDialog() override;

  // The path the command line named: the dialog opens on it in File mode.
  void SetStartPath(const std::string& strPath) { m_strStartPath = strPath; }

  void SetDataType(bool bString);
  void EnableControls(bool bEnable);
  void UpdateStringDigest();
  void UpdateVerdict();
  std::string ReadControlText(HWND hWnd) const;
  void OnProgress(int nPercent);
  void ShowSystemError(DWORD dwError);
  DWORD __stdcall HashFileThread(LPVOID lpParameter);

  CProgressCtrl m_progress;
  CComboBox m_algorithms;
  HICON m_hIcon;
  FilePicker m_picker;
  // A job is under way: from the Start click that starts it until it has
  // put its result in. Closing asks while it is set; Start does nothing.
  std::atomic<BOOL> m_bRunning{FALSE};
  CallbackThunk m_thunk;
  std::atomic<Hasher*> m_pHasher{nullptr};

  // The verdict on the expected digest, its words' colour and the tooltip
  // that says why a text cannot be the selected entry's digest.
  CStatic m_verdict;
  CToolTipCtrl m_verdictTip;
  DigestVerdict m_nVerdict = DigestVerdict::kNone;

  // The worker of the current (or last) job; kept so that closing the
  // dialog can stop it and wait for it.
  OwnedHandle m_thread;
  DWORD m_dwThreadId = 0;
  // Workers of earlier jobs that had put their result in but not yet
  // returned when the next job started; closing waits for them too.
  std::vector<OwnedHandle> m_endingThreads;
  std::atomic<BOOL> m_bClosing{FALSE};
  // The last percentage the worker put on the bar (worker thread only).
  int m_nLastReport = -1;
  // Guards the hand-over of m_pHasher between the threads, so that a Stop
  // never writes into a Hasher that the worker is destroying.
  CRITICAL_SECTION m_csHasher;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnInitDialog() override;
  void OnOK() override;

  // Thread creation, separate so that its failure can be tried out.
  virtual void* BindWorker();
  virtual HANDLE CreateWorker(void* pfnStart, DWORD* pdwThreadId);

  // Called by the worker at each step; a test can hold it there.
  virtual void OnWorkerStep(WorkerStep) {}

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
  // What a worker hands back to the user-interface thread at its end.
  struct JobEnd {
    std::string strResult;
    bool bControlsDisabled = false;
    UINT nNotice = 0;      // a string to show before the job ends
    bool bFailed = false;  // the file could not be hashed: show dwError
    DWORD dwError = 0;
    // The entry whose result strResult is (the list selects it), and the
    // verdict of a search over several entries.
    UINT nEntry = kAlgorithmCount;
    bool bSearched = false;
    CheckVerdict verdict;
    std::string strExpected;
  };

  // What a search over several entries judged, kept while the list, the
  // result and Expected still show what it judged: its tooltip names the
  // entries tried, which one entry's verdict cannot.
  struct SearchOutcome {
    bool bValid = false;
    UINT nEntry = kAlgorithmCount;
    std::string strResult;
    std::string strExpected;
    CheckVerdict verdict;
  };
  SearchOutcome m_search;
  // The user chose the entry by hand since Expected last changed: no
  // search overrides that choice. Read by the worker at a job's start.
  std::atomic<bool> m_bHandChoice{false};
  // A Stop was confirmed during the current job (the second pass's run
  // clears its Hasher's flag when it begins, so the job keeps its own).
  std::atomic<bool> m_bStopAsked{false};

  // The command line's path, the clipboard's pick-ups into Expected, and a
  // note the verdict's tooltip adds (where Expected's text came from, or why
  // a dropped file was not taken).
  std::string m_strStartPath;
  DWORD m_dwClipboardSeen = 0;  // the clipboard's sequence number last looked at
  DWORD m_dwOwnCopy = 0;        // its number right after our own Copy
  std::string m_strPickedUp;    // what the last pick-up put into Expected
  std::string m_strExpectedNote;

  // Selects a found entry without it counting as a choice by hand.
  void SelectFoundEntry(UINT nAlgorithm);
  // The chosen file's name in File mode (a checksum text's line names it),
  // empty in String mode.
  std::string CheckedFileName() const;
  // Takes the clipboard's text into Expected when it may; true if it did.
  bool PickUpClipboard(bool bOpening);
  void InitExpected();
  void OnExpectedDrop(HDROP hDropInfo);
  static LRESULT CALLBACK ExpectedProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR uIdSubclass, DWORD_PTR dwRefData);
  // Sent by the worker with a JobEnd: puts the result in and ends the job
  // in one step on the user-interface thread.
  static const UINT WM_JOB_ENDED = WM_APP + 1;
  // Notified by the worker with a percentage, or kTaskbarClear: the
  // taskbar button follows the job on the user-interface thread, where the
  // interface was made.
  static const UINT WM_JOB_TASKBAR = WM_APP + 2;
  static const WPARAM kTaskbarClear = static_cast<WPARAM>(-1);

  // The window's width: sizing, its least and fixed height, DPI changes.
  // True when the message needs nothing more.
  BOOL OnLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam);
  AnchorLayout m_layout;

  // The job's last notice is open (user-interface thread only), and a
  // Start click came after its OK, to be run once the job has ended.
  bool m_bNoticeOpen = false;
  bool m_bStartWaiting = false;

  void RunFileJob(JobEnd& end);
  void RunSecondPass(JobEnd& end, const std::string& strPath, const std::string& strKey, int nHmac,
                     int nUpper, const std::vector<UINT>& entries,
                     std::vector<std::string>& results);
  void OnJobEnded(const JobEnd& end);
  // Stops a running job and waits for its worker, serving the messages the
  // worker sends meanwhile.
  void EndJobThread();
  BOOL ConfirmQuit();
  void ReportToTaskbar(WPARAM wPercent);

  TaskbarProgress m_taskbar;
};
