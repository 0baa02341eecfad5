#include "operations/library_files.h"

#include "core/file_stream.h"
#include "core/safe_replace.h"
#include "core/utils.h"
#include "formats/wil.h"
#include "formats/wzl.h"

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
    // The extension tells the kind of a library; every extension that names one is short, so a
    // long one is dropped to keep the name short.
    std::string ext = ExtractFileExt(path);
    if (ext.size() > 8)
        ext.clear();
    return HiddenNameFor(ResolveLinks(path), ".work" + ext);
}

} // namespace velmora
