#pragma once

#include "core/file_stream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// A save that had begun to put its new files in place and could not finish: Renamed() targets
// (in order) already hold their new content, and the journal that stays lets the next opening of
// the library finish the rest. What the library shows until then is not what the save wrote.
class EReplacementIncomplete : public EFileError {
public:
    EReplacementIncomplete(const EFileError& Cause, size_t Renamed);
    size_t Renamed() const { return FRenamed; }

private:
    size_t FRenamed;
};

// A file of the program replaced in the same step as a library's own files (the password list,
// when a Pak's password changes): its new content lies complete in NewFile, beside Target. Guard
// is the StableHash of the target's content the new one was made from: a recovery leaves a target
// that changed meanwhile as it is.
struct TAccompanyingFile {
    std::string NewFile, Target;
    std::optional<uint64_t> Guard;
};

// Crash-safe replacement of a library's files. The new files are written beside the old ones,
// flushed to the disk and then renamed over the old ones, so that a crash, a kill or a full disk
// never leaves a half-written file behind.
//
// Files replaced together (data and index, a Pak and the password list) are replaced as one:
// before the first rename a journal beside the data file (see TJournal) names the new files and
// their targets, and the next opening finishes the renames after a crash (RecoverLibrary). The
// renames run under the folder lock, so an open never reads the data file of one save with the
// index of another.
//
// A target reached through symbolic links is the file the links lead to: the new content goes
// there and the links stay links.
class TFileReplacement {
public:
    // Creates an empty temporary file beside each target. Library is the data file whose journal
    // and folder lock the replacement uses; by default the first target. Raises EFileError.
    explicit TFileReplacement(std::vector<std::string> Targets, const std::string& Library = {});
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

    // A complete new file put in place in the same step, after the targets (a file of the
    // program) or before them (a backup of the file a target replaces); its new file is removed
    // with the rest when the replacement is not committed.
    void Accompany(const TAccompanyingFile& File);
    void Precede(const TAccompanyingFile& File);

    // Flushes the new files, gives them the permissions of the files they replace and renames them
    // over the targets as one step. Raises EFileError, before the first rename with the targets
    // untouched, after it EReplacementIncomplete.
    void Commit();

private:
    std::string FLibrary;
    std::vector<std::string> FTargets;
    std::vector<std::string> FTemporaries;
    std::vector<std::unique_ptr<TFileStream>> FStreams;
    std::vector<TAccompanyingFile> FPreceding, FAccompanying;
    bool FCommitted = false;
};

// Renames complete files over their targets as one step, through the journal of DataFile: (new
// file, target) pairs, each new file in the folder of the file its target leads to. Raises as
// TFileReplacement::Commit.
void ReplaceFilesAtomically(const std::string& DataFile,
                            const std::vector<std::pair<std::string, std::string>>& Pairs);

} // namespace velmora
