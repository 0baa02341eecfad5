#pragma once

#include "core/file_stream.h"
#include "core/journal.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// A change made inside a library's files instead of replacing them: bytes patched where they lie,
// a file grown at its end, and at most one small file replaced whole (the index). Begin writes a
// journal beside the data file (TJournal, jmInPlace) before any byte that a reader could see
// changes; it holds what undoes the change and what finishes it, and the next opening finishes or
// undoes a change that a crash interrupted, so the files are always all old or all new:
// - with a replaced file, its rename decides: while the new file still lies beside its target the
//   change is undone (grown files cut back to their old size, old bytes written back), once it
//   took the target's place the change is finished;
// - without one, the change is finished: the journal holds the new bytes.
// So a change that grows a file must replace one too, and bytes written into the grown part must
// be written between Begin and Commit (Commit flushes them before the rename). Grown parts lie
// past what the old index names, so writing them changes nothing a reader sees; the patches and
// the rename are made under the folder lock.
class TInPlaceChange {
public:
    explicit TInPlaceChange(std::string DataFile);
    TInPlaceChange(const TInPlaceChange&) = delete;
    TInPlaceChange& operator=(const TInPlaceChange&) = delete;
    // A change begun and not committed is undone; one never begun leaves the files untouched.
    ~TInPlaceChange();

    // Bytes to write at Position of File (the open stream of the file Path) on Commit. The old
    // bytes are read now; only the part that differs is kept. Raises EFileError.
    void Patch(TFileStream& File, const std::string& Path, int64_t Position,
               std::span<const uint8_t> Bytes);
    // File (the open stream of Path) grows from its present size to NewSize.
    void Grow(TFileStream& File, const std::string& Path, int64_t NewSize);
    // The stream of the complete new content of Target, renamed over it on Commit. Raises
    // EFileError.
    TFileStream& Replace(const std::string& Target);
    // The file that becomes Target of Replace; a handle opened on it reads the target afterwards.
    const std::string& ReplacementName() const { return FNewFile; }
    bool Empty() const { return FPatches.empty() && FGrown.empty() && FNewFile.empty(); }

    // Flushes the replacement and writes the journal: from here on the files may change. Raises
    // EFileError (nothing changed then).
    void Begin();
    // Writes the patches, flushes every changed file, renames the replacement and removes the
    // journal. Raises EFileError; before the rename the destructor then undoes what was done,
    // after it (EReplacementIncomplete) the journal stays for the next opening to finish.
    void Commit();

private:
    struct TFile {
        TFileStream* Stream = nullptr;
        std::string Path; // with its links followed
        int64_t OldSize = -1, NewSize = -1;
    };
    size_t FileOf(TFileStream& File, const std::string& Path);
    void Undo() noexcept;
    // Ends the change through the streams that Begin started (see TFileStream::BeginOwnChange).
    void EndOwnChanges() noexcept;

    std::string FDataFile;
    std::string FJournal;
    std::vector<TFile> FFiles;
    std::vector<TJournal::TPatch> FPatches;
    std::vector<size_t> FGrown;
    std::string FTarget, FNewFile;
    std::unique_ptr<TFileStream> FNewStream;
    bool FBegun = false;
    bool FDone = false;
    bool FOwnChangesEnded = false;
};

} // namespace velmora
