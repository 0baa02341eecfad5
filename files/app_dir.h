#pragma once

#include <string>

namespace velmora {

// The program folder, with its trailing separator: the password list, the log and the recent-file
// list live here. The application decides it at start (FindAppDir) and assigns it before loading
// anything; empty means the current folder.
extern std::string g_AppDir;

// The program folder for an executable at executablePath: the VELMORA_HOME environment variable
// when set, else the executable's folder when it is writable, else the per-user data folder
// (~/.local/share/velmora/, created when missing). Always ends in a separator.
std::string FindAppDir(const std::string& executablePath);

} // namespace velmora
