#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "fileio/OwnedHandle.h"

// Explorer starts one Vexorin per selected file; those processes gather into
// one list window. The receiving process owns a message-only window of a
// known class; a later process with paths finds it and hands its paths over
// (WM_COPYDATA) instead of opening a window of its own. Finding and becoming
// the receiver happen under one named mutex, so of processes started at
// once exactly one receives.
class PathHandoff {
 public:
  using Sink = std::function<void(const std::vector<std::string>&)>;

  // bStarting: this process has just started with paths; it counts as
  // starting (see StartingCount) until it hands over or receives.
  explicit PathHandoff(bool bStarting);
  ~PathHandoff();
  PathHandoff(const PathHandoff&) = delete;
  PathHandoff& operator=(const PathHandoff&) = delete;

  // Hands the paths to the receiver if there is one (true: the caller is
  // done with them); else, with bBecome, makes this process the receiver.
  bool HandOverOrReceive(const std::vector<std::string>& paths, bool bBecome = true);

  // The receiver: waits while other processes are still starting (and a
  // short quiet time after the last hand-over), serving hand-overs, and
  // returns every path gathered, the own first; nMaxMs at the most.
  std::vector<std::string> Gather(const std::vector<std::string>& own, DWORD nQuietMs = 400,
                                  DWORD nMaxMs = 5000);

  // Where later hand-overs go (user-interface thread, through the message
  // loop); without a sink they are kept for Gather.
  void SetSink(Sink sink) { m_sink = std::move(sink); }
  // Stops receiving: later processes open windows of their own.
  void StopReceiving();
  bool IsReceiving() const { return m_hWnd != nullptr; }

  // Hands paths to the receiver there is now, waiting up to nWaitMs for one
  // to appear (a process just started to be one); false when none came.
  static bool HandOverWhenReady(const std::vector<std::string>& paths, DWORD nWaitMs);

  // Opens the paths in a list window: the receiver there is, or a new
  // Vexorin started with the list-only switch; false when neither took them.
  static bool OpenInListWindow(const std::vector<std::string>& paths);
  // The program's one argument that opens an empty list window, to wait
  // for the paths handed to it.
  static const char* ListOnlySwitch() { return "/list"; }

  // The count of processes between their start and their hand-over (or
  // their becoming the receiver), which Gather waits for.
  LONG StartingCount() const;

 private:
  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static bool SendPaths(HWND hReceiver, const std::vector<std::string>& paths);
  void Receive(const std::vector<std::string>& paths);
  void LeaveStarting();

  HWND m_hWnd = nullptr;
  OwnedHandle m_mutex;
  OwnedHandle m_counter;        // a shared LONG: processes still starting
  LONG* m_pStarting = nullptr;  // in the view of m_counter
  bool m_bCounted = false;
  DWORD m_dwLastArrival = 0;
  std::vector<std::string> m_gathered;
  Sink m_sink;
};
