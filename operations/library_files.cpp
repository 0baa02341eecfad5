#include "operations/library_files.h"

#include "core/file_stream.h"
#include "core/file_ops.h"
#include "core/utils.h"
#include "formats/library_factory.h"

#include <filesystem>

namespace velmora {

std::vector<std::string> LibraryFiles(const std::string& path, TImageType kind) {
    std::vector<std::string> files{path};
    const std::string index = IndexFileNameOf(kind, path);
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

namespace velmora {

std::string DataFileOfIndex(const std::string& path) {
    const std::string ext = ExtractFileExt(path);
    std::string dataExt;
    if (SameText(ext, ".WIX"))
        dataExt = ".Wil";
    else if (SameText(ext, ".WZX"))
        dataExt = ".Wzl";
    else
        return {};
    const std::string stem = path.substr(0, path.size() - ext.size());
    // The data file as it is spelled on disk, when one exists.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(stem).has_parent_path()
                                             ? std::filesystem::path(stem).parent_path()
                                             : std::filesystem::path(".");
    const std::string name = std::filesystem::path(stem).filename().string();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (SameText(candidate, name + dataExt))
            return stem.substr(0, stem.size() - name.size()) + candidate;
    }
    return stem + dataExt;
}

} // namespace velmora
