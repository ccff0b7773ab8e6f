#pragma once

#include "framework/WinApp.h"

// The application object: runs the main dialog and ends when it closes.
class DigestApp : public CWinApp {
 public:
  DigestApp() = default;
  ~DigestApp() override = default;

  BOOL InitInstance() override;
};
