#include "engine/StartRoute.h"

#include <windows.h>

#include "engine/ChecksumNames.h"
#include "engine/ExpectedText.h"
#include "fileio/LongPath.h"

StartRoute ChooseStartRoute(const std::vector<std::string>& paths) {
  if (paths.size() != 1) return StartRoute::kHash;
  const DWORD dwAttributes = GetFileAttributesAnyLength(paths[0].c_str());
  if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return StartRoute::kHash;
  return IsChecksumFileName(LastPathComponent(paths[0])) ? StartRoute::kVerify
                                                         : StartRoute::kMainWindow;
}
