#include "files/log.h"

#include "files/app_dir.h"
#include "files/text_file.h"

#include <ctime>
#include <mutex>

namespace velmora {

namespace {

// One lock for the whole process, for the file name as well as the writing.
std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

std::string& LogFileOverride() {
    static std::string name;
    return name;
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
}

std::string LogFileNameLocked() {
    const std::string& name = LogFileOverride();
    return name.empty() ? g_AppDir + kLogFileName : name;
}

} // namespace

void SetLogFileName(const std::string& fileName) {
    std::lock_guard guard(LogLock());
    LogFileOverride() = fileName;
}

std::string LogFileName() {
    std::lock_guard guard(LogLock());
    return LogFileNameLocked();
}

void WriteLog(const std::string& text, bool withTime) {
    std::string line = withTime ? LocalTimeText() + " " + text : text;
    // A line end inside the text would start a line that does not look like a log entry; keep
    // every event on one line.
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::lock_guard guard(LogLock());
    AppendTextLine(LogFileNameLocked(), line);
}

} // namespace velmora
