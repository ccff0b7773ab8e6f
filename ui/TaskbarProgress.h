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
