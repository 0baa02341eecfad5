#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The journal of a save that changes a library's files in more than one step. It lies beside the
// library's data file under a hidden name, appears by rename (complete or not at all) before the
// first visible change, and goes after the last. The next program that edits the library finds it
// there and finishes or undoes the save (see RecoverLibrary).
//
// Files in the journal's own folder are named by their plain names, so that any path that
// reaches the folder (a link, another mount, the folder moved or renamed) recovers; files
// elsewhere (a target a link leads into another folder, the program's password list) by their
// whole path.
struct TJournal {
    enum TMode : uint8_t {
        // New files renamed over their targets in order; recovery finishes the renames.
        jmReplace,
        // Bytes written where they lie and files grown, committed by the rename of one replaced
        // file: while its new file still lies beside the target the change is undone, once it
        // took the target's place the change is finished (without one it is always finished).
        jmInPlace,
    };
    struct TRename {
        std::string NewFile, Target;
        // A hash (StableHash) of the content the target had when the new one was made from it:
        // when the target changed meanwhile, recovery leaves it as it is.
        std::optional<uint64_t> Guard;
    };
    struct TFile {
        std::string Path;
        int64_t OldSize = -1, NewSize = -1;
    };
    struct TPatch {
        size_t File = 0; // in Files
        int64_t Position = 0;
        std::vector<uint8_t> Old, New;
    };

    TMode Mode = jmReplace;
    std::vector<TRename> Renames; // jmInPlace: at most one
    std::vector<TFile> Files;     // jmInPlace: the files written where they lie
    std::vector<TPatch> Patches;
};

// The journal of the library whose data file is path, beside the file path leads to.
std::string JournalNameFor(const std::string& path);

// Writes the journal under another name, flushes it, renames it into place and syncs its folder:
// when this returns, the journal is on the disk. File names must not hold line breaks. Raises
// EFileError naming Library (nothing is left behind then).
void WriteJournal(const std::string& JournalPath, const TJournal& Journal,
                  const std::string& Library);

// Reads a journal; names come back joined with the journal's folder as it was given. None for a
// journal that is not complete or not well formed, with the reason in Why. Raises EFileError
// when it cannot be read.
std::optional<TJournal> ReadJournal(const std::string& JournalPath, std::string& Why);

} // namespace velmora
