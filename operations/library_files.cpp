#include "operations/library_files.h"

#include "core/file_stream.h"
#include "core/safe_replace.h"
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

// Copied through plain reads and writes: the system's copy shortcuts report a full disk or a file
// size limit as an input/output error, which would tell the user the wrong reason.
void CopyOrThrow(const std::string& from, const std::string& to) {
    TFileStream source(from, TFileStream::fmOpenRead);
    // Errors name the library, not its copy.
    TFileStream target(to, TFileStream::fmCreate, from);
    std::vector<uint8_t> buffer(size_t(1) << 20);
    for (;;) {
        const size_t n = source.Read(buffer);
        if (n == 0)
            break;
        target.Write({buffer.data(), n});
    }
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

TLibraryTransaction::TLibraryTransaction(const std::string& path, TImageType kind)
    : FPath(path), FWorkPath(TemporaryNameFor(path)) {
    // The copies lie beside the files the names lead to, where they replace them.
    const std::string index = IndexFileOf(path, kind);
    const std::string workIndex = IndexFileOf(FWorkPath, kind);
    // Pairs are recorded before copying so that whatever was made is removed on failure.
    try {
        FFiles.emplace_back(FWorkPath, FPath);
        if (FileExists(FPath))
            CopyOrThrow(FPath, FWorkPath);
        if (!index.empty()) {
            FFiles.emplace_back(workIndex, index);
            if (FileExists(index))
                CopyOrThrow(index, workIndex);
        }
    } catch (...) {
        RemoveCopies();
        throw;
    }
}

TLibraryTransaction::~TLibraryTransaction() {
    if (!FCommitted)
        RemoveCopies();
}

void TLibraryTransaction::RemoveCopies() {
    for (const auto& [copy, original] : FFiles) {
        std::error_code ec;
        std::filesystem::remove(copy, ec);
    }
}

void TLibraryTransaction::Commit() {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [copy, original] : FFiles)
        if (FileExists(copy))
            pairs.emplace_back(copy, original);
    // Data and index are replaced as one: a crash in between is completed by the next opening.
    try {
        ReplaceFilesAtomically(FPath, pairs);
    } catch (...) {
        if (pairs.size() > 1 && FileExists(JournalNameFor(FPath)))
            FCommitted = true;
        throw;
    }
    FCommitted = true;
}

} // namespace velmora
