#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

inline constexpr size_t kMaxRecentFiles = 20;
// The recent-file list: one full path per line, newest first (no sections despite the name).
inline constexpr const char* kRecentFilesName = "Config.ini";

// g_AppDir + "Config.ini".
std::string RecentFilesPath();

// The list as kept at start: the file's lines, then every entry whose file does not exist now
// removed, then cut to the first kMaxRecentFiles. A missing or unreadable file gives an empty list.
std::vector<std::string> LoadRecentFileList(const std::string& fileName);

// Puts path at the head of list. An entry equal to it without regard to case is removed first
// (true is returned: the list kept its length); otherwise the list is cut to kMaxRecentFiles after
// inserting (false).
bool PutRecentFirst(std::vector<std::string>& list, const std::string& path);

// Writes the list in the encoding the file already has (UTF-8 for a new one). Failures are
// ignored: the recent-file list is a convenience, never worth interrupting the user.
void SaveRecentFileList(const std::string& fileName, const std::vector<std::string>& list);

} // namespace velmora
