#include "operations/library_files.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "formats/wil.h"
#include "formats/wzl.h"

#include <filesystem>
#include <system_error>

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

void CopyOrThrow(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
        throw EFileError(to, ec.message());
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
    const std::string name = ExtractFileName(path);
    return ExtractFilePath(path) + "." + FileNameWithoutExt(name) + ".velmora-tmp" +
           ExtractFileExt(name);
}

TLibraryTransaction::TLibraryTransaction(const std::string& path, TImageType kind)
    : FPath(path), FWorkPath(TemporaryNameFor(path)) {
    const std::string index = IndexFileOf(path, kind);
    const std::string workIndex = IndexFileOf(FWorkPath, kind);
    // Pairs are recorded before copying so that the destructor removes whatever was made.
    FFiles.emplace_back(FWorkPath, FPath);
    if (FileExists(FPath))
        CopyOrThrow(FPath, FWorkPath);
    if (!index.empty()) {
        FFiles.emplace_back(workIndex, index);
        if (FileExists(index))
            CopyOrThrow(index, workIndex);
    }
}

TLibraryTransaction::~TLibraryTransaction() {
    if (FCommitted)
        return;
    for (const auto& [copy, original] : FFiles) {
        std::error_code ec;
        std::filesystem::remove(copy, ec);
    }
}

void TLibraryTransaction::Commit() {
    for (const auto& [copy, original] : FFiles) {
        if (!FileExists(copy))
            continue;
        std::error_code ec;
        std::filesystem::rename(copy, original, ec);
        if (ec)
            throw EFileError(original, ec.message());
    }
    FCommitted = true;
}

} // namespace velmora
