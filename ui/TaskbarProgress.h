#pragma once

#include <windows.h>
#include <shobjidl.h>

// A file job's progress on the program's taskbar button, through the
// shell's ITaskbarList3. The shell announces the button with the message
// ButtonCreatedMessage(); only then is the interface made (Attach), and
// again whenever the shell restarts. Without it (no shell, an older
// Windows) every call does nothing. All calls, COM set-up included, come
// from the thread of the window, so the interface lives in that thread's
// apartment.
class TaskbarProgress {
 public:
  TaskbarProgress() = default;
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // "TaskbarButtonCreated", registered once per process.
  static UINT ButtonCreatedMessage();

  // The button of hWnd exists: make the interface, and show on it what is
  // under way.
  void Attach(HWND hWnd);
  // The window goes: let go of the interface and of COM.
  void Detach();

  // A job runs and has done nPercent of its work.
  void Show(int nPercent);
  // No job runs (it ended, stopped or failed).
  void Clear();

  // Worker thread: a job's percentage for the button of hWnd, queued
  // behind the messages the worker sent before (the bar's move) and ahead
  // of those it sends after (the job's end).
  static void Report(HWND hWnd, int nPercent);
  // The window's procedure gives every message here first: the reports and
  // the shell's ButtonCreatedMessage. True when the message was one of them.
  BOOL OnMessage(HWND hWnd, UINT message, WPARAM wParam);
  // The message of Report; the window uses no message of its own with it.
  static const UINT kReportMessage = WM_APP + 2;

  // Makes the interface; tests put a recorder in its place. Returns null
  // where the system has none.
  typedef ITaskbarList3* (*CreateFunction)();
  static CreateFunction s_pfnCreate;

 private:
  void Apply();

  ITaskbarList3* m_pList = nullptr;
  HWND m_hWnd = nullptr;
  bool m_bComStarted = false;
  bool m_bShown = false;     // a job's progress is (to be) on the button
  bool m_bStateSet = false;  // the button is in the normal progress state
  int m_nPercent = 0;
};
