#include "ui/DigestApp.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "engine/StartRoute.h"
#include "fileio/LongPath.h"
#include "res/resource.h"
#include "ui/ListDialog.h"
#include "ui/MainDialog.h"
#include "ui/PathHandoff.h"

DigestApp theApp;

namespace {

// The command line's paths, read as UTF-16 so that a path of any script or
// length arrives whole, and made absolute: a process they are handed to
// has another current folder. bListOnly: the only argument is the switch.
std::vector<std::string> CommandLinePaths(bool* pbListOnly) {
  std::vector<std::string> paths;
  int nArgs = 0;
  LPWSTR* ppszArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
  if (ppszArgs == nullptr) return paths;
  *pbListOnly = nArgs == 2 && NarrowFromWide(ppszArgs[1], -1) == PathHandoff::ListOnlySwitch();
  for (int i = 1; i < nArgs && !*pbListOnly; ++i) {
    if (ppszArgs[i][0] == L'\0') continue;
    const DWORD nLength = ::GetFullPathNameW(ppszArgs[i], 0, nullptr, nullptr);
    std::wstring full(nLength, L'\0');
    if (nLength == 0 || ::GetFullPathNameW(ppszArgs[i], nLength, &full[0], nullptr) == 0)
      full = ppszArgs[i];
    paths.push_back(NarrowFromWide(full.c_str(), -1));
  }
  ::LocalFree(ppszArgs);
  return paths;
}

}  // namespace

BOOL DigestApp::InitInstance() {
  // The control-container and 3-D control switches of other toolkits have
  // no counterpart here: the system draws the controls itself.
  char szTitle[256] = {};
  ::LoadStringA(m_hInstance, IDS_APP_TITLE, szTitle, sizeof(szTitle));
  SetAppName(szTitle);

  // The switch opens an empty list window that waits for the paths a main
  // window's drop hands it.
  bool bListOnly = false;
  std::vector<std::string> paths = CommandLinePaths(&bListOnly);
  if (paths.empty() && !bListOnly) {
    RunMainWindow(std::string());
    return FALSE;
  }
  const StartRoute route = bListOnly ? StartRoute::kHash : ChooseStartRoute(paths);
  if (route == StartRoute::kVerify) {
    RunListWindow(paths.front(), std::vector<std::string>(), nullptr);
    return FALSE;
  }
  // Explorer starts one process per selected file: the first gathers the
  // others' paths, and they exit.
  PathHandoff handoff(!bListOnly);
  if (handoff.HandOverOrReceive(paths)) return FALSE;
  if (route == StartRoute::kMainWindow) {
    paths = handoff.Gather(paths);
    if (paths.size() == 1) {
      handoff.StopReceiving();
      RunMainWindow(paths.front());
      return FALSE;
    }
  }
  RunListWindow(std::string(), paths, &handoff);
  return FALSE;
}

void DigestApp::RunMainWindow(const std::string& strPath) {
  MainDialog dlg;
  dlg.SetStartPath(strPath);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
}

void DigestApp::RunListWindow(const std::string& strChecksumFile,
                              const std::vector<std::string>& paths, PathHandoff* pHandoff) {
  ListDialog dlg;
  if (!strChecksumFile.empty()) dlg.SetChecksumFile(strChecksumFile);
  if (!paths.empty()) dlg.AddPaths(paths);
  if (pHandoff != nullptr)
    pHandoff->SetSink([&dlg](const std::vector<std::string>& more) { dlg.AddPaths(more); });
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  // No hand-over may reach the window once it is gone.
  if (pHandoff != nullptr) pHandoff->StopReceiving();
}
