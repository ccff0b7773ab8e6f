#pragma once

#include <string>
#include <vector>

#include "framework/WinApp.h"

class PathHandoff;

// The application object: opens the main window, or the list window for a
// checksum file, several files or a folder, and ends when it closes.
class DigestApp : public CWinApp {
 public:
  DigestApp() = default;
  ~DigestApp() override = default;

  BOOL InitInstance() override;

 private:
  void RunMainWindow(const std::string& strPath);
  void RunListWindow(const std::string& strChecksumFile, const std::vector<std::string>& paths,
                     PathHandoff* pHandoff);
};
