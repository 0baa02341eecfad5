#pragma once

#include <string>

namespace velmora {

// The name of the log inside the program folder.
inline constexpr const char* kLogFileName = "VelmoraLog.txt";

// Appends text and a line end to the log as one whole line; with withTime the line starts with the
// local time "yyyy-mm-dd hh:mm:ss" and a blank. Safe from any thread: one process-wide lock keeps
// lines from interleaving. The log is never shortened. Raises EFileError when it cannot be opened
// or written (the lock is released).
void WriteLog(const std::string& text, bool withTime);

// The log file: g_AppDir + "VelmoraLog.txt" unless another path was set. An empty path restores
// the default.
void SetLogFileName(const std::string& fileName);
std::string LogFileName();

} // namespace velmora
