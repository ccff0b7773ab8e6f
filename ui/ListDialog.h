#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/AnchorLayout.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/ListRowsView.h"
#include "ui/TaskbarProgress.h"

// The list window: verifies a checksum file against its folder, or hashes
// files and folders, one row per file, on a worker thread; copies the rows
// and saves them as a checksum file.
class ListDialog : public CDialog {
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

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnDestroy();
  void OnBnClickedStop();
  void OnBnClickedCopy();
  void OnBnClickedSave();
  void OnBnClickedUnlisted();
  void OnCbnSelchangeAlgorithm();

  DECLARE_MESSAGE_MAP()

 private:
  BOOL OnLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void SetCaptionFrom(const std::string& path);
  BOOL ConfirmQuit();
  void CloseWindow();

  CProgressCtrl m_progress;
  CComboBox m_algorithms;
  ListRowsView m_view;
  AnchorLayout m_layout;
  TaskbarProgress m_taskbar;

  std::string m_strChecksumFile;
  std::vector<std::string> m_pendingPaths;
};
