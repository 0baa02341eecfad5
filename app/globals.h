#pragma once

#include "files/app_dir.h" // g_AppDir

#include <string>
#include <vector>

namespace velmora {

// Recently opened library files, newest first, at most kMaxRecentFiles, no two equal when compared
// without regard to case.
extern std::vector<std::string> g_RecentFiles;
// The folder selected in the folder tree, ending in a separator; empty until the first selection.
extern std::string g_CurrentDir;

} // namespace velmora
