#include "files/app_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velmora {

std::string g_AppDir;

namespace {

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != std::filesystem::path::preferred_separator)
        folder += std::filesystem::path::preferred_separator;
    return folder;
}

} // namespace

std::string FindAppDir(const std::string& executablePath) {
    namespace fs = std::filesystem;
    if (const char* home = std::getenv("VELMORA_HOME"); home && *home)
        return WithSeparator(home);
    std::error_code ec;
    const fs::path exeFolder = fs::absolute(fs::path(executablePath), ec).parent_path();
    if (!ec && !exeFolder.empty() && access(exeFolder.c_str(), W_OK) == 0)
        return WithSeparator(exeFolder.string());
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        data = fs::path(xdg) / "velmora";
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = fs::path(home) / ".local" / "share" / "velmora";
    else
        data = fs::temp_directory_path(ec) / "velmora";
    fs::create_directories(data, ec);
    return WithSeparator(data.string());
}

} // namespace velmora
