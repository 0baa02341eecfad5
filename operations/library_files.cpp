#include "operations/library_files.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "formats/wil.h"
#include "formats/wzl.h"

#include <cstdio>

namespace velmora {

namespace {

// The index file a library at path uses (an existing one in any case, else the name it writes).
std::string IndexFileOf(const std::string& path, TImageType kind) {
    if (kind == t_Wil)
        return TWil(path).IndexFileName();
    if (kind == t_Wzl)
        return TWzl(path).IndexFileName();
    return {};
}

} // namespace

std::vector<std::string> LibraryFiles(const std::string& path, TImageType kind) {
    std::vector<std::string> files{path};
    const std::string index = IndexFileOf(path, kind);
    if (!index.empty())
        files.push_back(index);
    return files;
}

std::string TemporaryNameFor(const std::string& path) {
    // FNV-1a over the file name.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : ExtractFileName(path)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return ExtractFilePath(path) + "." + digits + ".vwork" + ExtractFileExt(path);
}

} // namespace velmora
