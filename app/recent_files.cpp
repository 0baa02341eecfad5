#include "app/recent_files.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/app_dir.h"
#include "files/text_file.h"

#include <algorithm>
#include <exception>

namespace velmora {

std::string RecentFilesPath() {
    return g_AppDir + kRecentFilesName;
}

std::vector<std::string> LoadRecentFileList(const std::string& fileName) {
    std::vector<std::string> list;
    if (!FileExists(fileName))
        return list;
    ReadTextFile(fileName, list);
    for (size_t i = list.size(); i-- > 0;) {
        if (!FileExists(list[i]))
            list.erase(list.begin() + std::ptrdiff_t(i));
    }
    if (list.size() > kMaxRecentFiles)
        list.resize(kMaxRecentFiles);
    return list;
}

bool PutRecentFirst(std::vector<std::string>& list, const std::string& path) {
    const auto found = std::find_if(
        list.begin(), list.end(), [&](const std::string& entry) { return SameText(entry, path); });
    if (found != list.end()) {
        list.erase(found);
        list.insert(list.begin(), path);
        return true;
    }
    list.insert(list.begin(), path);
    if (list.size() > kMaxRecentFiles)
        list.resize(kMaxRecentFiles);
    return false;
}

void SaveRecentFileList(const std::string& fileName, const std::vector<std::string>& list) {
    try {
        RewriteTextFile(fileName, list);
    } catch (const std::exception&) {
    }
}

} // namespace velmora
