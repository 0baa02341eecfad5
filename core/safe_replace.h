#pragma once

#include "core/file_stream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Crash-safe replacement of a library's files. Every full rewrite writes the new files beside the
// old ones, flushes them to the disk and then renames them over the old ones, so that a crash, a
// kill or a full disk never leaves a half-written file behind.
//
// A library of two files (data and index) is replaced as one: before the first rename a small
// journal beside the data file records which new files replace which old ones. The journal
// appears by rename, complete or not at all, and only once every new file is on the disk; it is
// removed after the last rename. RecoverReplacement, called before a library is opened, finishes
// a replacement whose journal is still there, so both files are always old or both new.
//
// A target reached through symbolic links is the file the links lead to: the new content goes
// there and the links stay links. Temporary files and the journal have short names (a dot, 16 hex
// digits of a hash of the file name, a suffix: at most 32 characters), so that a file whose name
// is near the system's limit can still be replaced.
class TFileReplacement {
public:
    // Creates an empty temporary file beside each target (the first target is the data file, which
    // names the journal). Raises EFileError.
    explicit TFileReplacement(std::vector<std::string> Targets);
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;
    // Without Commit the temporary files are removed; the targets were never touched.
    ~TFileReplacement();

    // The stream of the new content of Targets[i].
    TFileStream& Stream(size_t i) { return *FStreams.at(i); }
    // Targets[i] with its symbolic links followed: the file that is replaced.
    const std::string& Target(size_t i) const { return FTargets.at(i); }
    // The temporary file that becomes Targets[i]; a handle opened on it before Commit reads the
    // target afterwards.
    const std::string& Temporary(size_t i) const { return FTemporaries.at(i); }

    // Flushes the new files, gives them the permissions of the files they replace and renames them
    // over the targets as one step. Raises EFileError; a failure before the first rename leaves
    // the targets untouched.
    void Commit();

private:
    std::vector<std::string> FTargets;
    std::vector<std::string> FTemporaries;
    std::vector<std::unique_ptr<TFileStream>> FStreams;
    bool FCommitted = false;
};

// A change made inside a library's files instead of replacing them: bytes patched where they lie,
// a file grown at its end, and at most one small file replaced whole (the index). Begin writes a
// journal beside the data file, complete or not at all, before the first byte changes; it holds
// what undoes the change and what finishes it. RecoverReplacement then finishes or undoes a change
// that a crash interrupted, so the files are always all old or all new:
// - with a replaced file, its rename decides: while the new file still lies beside its target the
//   change is undone (grown files cut back to their old size, old bytes written back), once it
//   took the target's place the change is finished;
// - without one, the change is finished: the journal holds the new bytes.
// So a change that grows a file must replace one too, and bytes written into the grown part must
// be written between Begin and Commit (Commit flushes them before the rename).
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
    // journal. Raises EFileError; the destructor then undoes what was done.
    void Commit();

private:
    struct TFile {
        TFileStream* Stream = nullptr;
        std::string Path; // with its links followed
        int64_t OldSize = -1, NewSize = -1;
    };
    struct TPatchBytes {
        size_t File = 0;
        int64_t Position = 0;
        std::vector<uint8_t> Old, New;
    };
    size_t FileOf(TFileStream& File, const std::string& Path);
    void Undo() noexcept;

    std::string FDataFile;
    std::string FJournal;
    std::vector<TFile> FFiles;
    std::vector<TPatchBytes> FPatches;
    std::vector<size_t> FGrown;
    std::string FTarget, FNewFile;
    std::unique_ptr<TFileStream> FNewStream;
    bool FBegun = false;
    bool FDone = false;
};

// Renames complete files over their targets as one step, through the journal of DataFile:
// (new file, target) pairs, each new file in the folder of the file its target leads to (see
// ResolveLinks). Each new file is flushed to the disk first and given the permissions of its
// target. Raises EFileError.
void ReplaceFilesAtomically(const std::string& DataFile,
                            const std::vector<std::pair<std::string, std::string>>& Pairs);

// Finishes a replacement of the library whose data file is DataFile that a crash interrupted after
// its journal was written, and removes new files that an interrupted save left before that point
// (the old files are then complete). Companions are the library's other files. A journal is
// followed only where it replaces the library's own files. The names earlier versions gave their
// journals and temporary files are recognised too. Failures are ignored: the library is opened as
// it is found.
void RecoverReplacement(const std::string& DataFile,
                        const std::vector<std::string>& Companions = {});

// path with the symbolic links of its last part followed to the file they lead to (which need not
// exist); path itself when it is no link. Raises EFileError for a loop of links.
std::string ResolveLinks(const std::string& path);

// A short hidden name in the folder of path for a file of its own: a dot, 16 hex digits of a hash
// of path's file name, then suffix. The name depends on the file name only.
std::string HiddenNameFor(const std::string& path, const std::string& suffix);

// The name of the temporary file that replaces path, beside the file path leads to.
std::string ReplacementNameFor(const std::string& path);
// The name of the journal of the library whose data file is path, beside the file path leads to.
std::string JournalNameFor(const std::string& path);

} // namespace velmora
