#pragma once

#include "core/game_images.h"

#include <string>
#include <vector>

namespace velmora {

// The files a library consists of: the data file, and for WIL and WZL its index file (".WIX",
// ".wzx"; an existing one in any letter case).
std::vector<std::string> LibraryFiles(const std::string& path, TImageType kind);

// A safe rewrite of a library: the library's files are copied to temporary names in the same
// folder, the caller edits the copy (WorkPath), and Commit renames the copies over the originals.
// Without Commit the copies are removed and the originals stay as they were, so an edit that fails
// half-way leaves nothing half-written. Commit replaces data and index as one
// (ReplaceFilesAtomically).
class TLibraryTransaction {
public:
    // Copies the files; raises EFileError when they cannot be copied.
    TLibraryTransaction(const std::string& path, TImageType kind);
    TLibraryTransaction(const TLibraryTransaction&) = delete;
    TLibraryTransaction& operator=(const TLibraryTransaction&) = delete;
    ~TLibraryTransaction();

    const std::string& WorkPath() const { return FWorkPath; }
    // Renames the edited copies over the originals; raises EFileError.
    void Commit();

private:
    void RemoveCopies();

    std::string FPath;
    std::string FWorkPath;
    // (copy, original) pairs.
    std::vector<std::pair<std::string, std::string>> FFiles;
    bool FCommitted = false;
};

// A short hidden name for a temporary copy of a library, beside the file `path` leads to (its links
// followed), that keeps a short extension.
std::string TemporaryNameFor(const std::string& path);

} // namespace velmora
