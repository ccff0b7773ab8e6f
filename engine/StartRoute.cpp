#include "engine/StartRoute.h"

#include "engine/ChecksumNames.h"
#include "engine/ExpectedText.h"
#include "fileio/LongPath.h"

StartRoute ChooseStartRoute(const std::vector<std::string>& paths) {
  if (paths.size() != 1) return StartRoute::kHash;
  if (IsFolderPath(paths[0])) return StartRoute::kHash;
  return IsChecksumFileName(LastPathComponent(paths[0])) ? StartRoute::kVerify
                                                         : StartRoute::kMainWindow;
}
