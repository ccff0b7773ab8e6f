#pragma once

#include <string>
#include <vector>

// What a start with paths opens.
enum class StartRoute {
  kMainWindow,  // one ordinary file: the main window checks it
  kVerify,      // one checksum file: the list window verifies it
  kHash,        // several paths, or a folder: the list window hashes them
};

// Decides by the paths' names and by whether the first one is a folder; a
// path that does not exist counts as a file (the window then says so).
StartRoute ChooseStartRoute(const std::vector<std::string>& paths);
