#include "core/file_replacement.h"

#include "core/file_ops.h"
#include "core/journal.h"
#include "core/library_lock.h"

#include <set>

namespace velmora {

namespace {

// Puts complete new files in place: flushed first, then (several of them) under the journal of
// library, in order, under its folder lock. Raises as TFileReplacement::Commit.
void CommitRenames(const std::vector<TJournal::TRename>& renames, const std::string& library) {
    if (renames.empty())
        return;
    for (const TJournal::TRename& rename : renames) {
        // A rename across folders could cross file systems, and recovery follows only new files
        // that lie beside their targets.
        if (!SameFolder(rename.NewFile, rename.Target))
            throw EFileError(rename.Target, "the new file " + rename.NewFile +
                                                " is not in the folder of the file it replaces");
        SyncNewFile(rename.NewFile, rename.Target);
    }
    TFolderLock folder(library, TFolderLock::flExclusive);
    std::string journal;
    if (renames.size() > 1) {
        journal = JournalNameFor(library);
        TJournal entries;
        entries.Renames = renames;
        WriteJournal(journal, entries, library);
    }
    size_t renamed = 0;
    try {
        std::set<std::string> folders;
        for (const TJournal::TRename& rename : renames) {
            RenameFile(rename.NewFile, rename.Target, rename.Target);
            ++renamed;
            folders.insert(FolderOf(rename.Target));
        }
        for (const std::string& name : folders)
            SyncFolder(name + "/", library);
    } catch (const EFileError& e) {
        if (renamed == 0) {
            // Nothing changed: the journal goes, and with it any claim on the new files. Should
            // it stay, it names targets that are all there, and the next opening just drops it.
            if (!journal.empty()) {
                RemoveQuietly(journal);
                try {
                    SyncFolder(journal, library);
                } catch (const EFileError&) {
                }
            }
            throw;
        }
        throw EReplacementIncomplete(e, renamed);
    }
    // Every new file is in place and durable: a journal that cannot be removed now is dropped by
    // the next opening, which finds nothing left to do.
    if (!journal.empty()) {
        RemoveQuietly(journal);
        try {
            SyncFolder(journal, library);
        } catch (const EFileError&) {
        }
    }
}

} // namespace

EReplacementIncomplete::EReplacementIncomplete(const EFileError& Cause, size_t Renamed)
    : EFileError(Cause.Path(), std::string(Cause.what()).substr(Cause.Path().size() + 2) +
                                   "; the save is finished when the library is next opened"),
      FRenamed(Renamed) {}

TFileReplacement::TFileReplacement(std::vector<std::string> Targets, const std::string& Library) {
    try {
        FLibrary = ResolveLinks(Library.empty() ? Targets.at(0) : Library);
        for (const std::string& target : Targets)
            FTargets.push_back(ResolveLinks(target));
        for (const std::string& target : FTargets) {
            FTemporaries.push_back(HiddenNameFor(target, ".new"));
            FStreams.push_back(std::make_unique<TFileStream>(
                FTemporaries.back(), TFileStream::fmCreate, Targets[FStreams.size()]));
        }
    } catch (...) {
        FStreams.clear();
        for (const std::string& name : FTemporaries)
            RemoveQuietly(name);
        throw;
    }
}

TFileReplacement::~TFileReplacement() {
    FStreams.clear();
    if (FCommitted)
        return;
    for (const std::string& name : FTemporaries)
        RemoveQuietly(name);
    for (const auto* files : {&FPreceding, &FAccompanying})
        for (const TAccompanyingFile& file : *files)
            RemoveQuietly(file.NewFile);
}

void TFileReplacement::Accompany(const TAccompanyingFile& File) {
    FAccompanying.push_back({File.NewFile, ResolveLinks(File.Target), File.Guard});
}

void TFileReplacement::Precede(const TAccompanyingFile& File) {
    FPreceding.push_back({File.NewFile, ResolveLinks(File.Target), File.Guard});
}

void TFileReplacement::Commit() {
    std::vector<TJournal::TRename> renames;
    for (const TAccompanyingFile& file : FPreceding)
        renames.push_back({file.NewFile, file.Target, file.Guard});
    for (size_t i = 0; i < FTargets.size(); ++i) {
        FStreams[i]->Close();
        renames.push_back({FTemporaries[i], FTargets[i], std::nullopt});
    }
    for (const TAccompanyingFile& file : FAccompanying)
        renames.push_back({file.NewFile, file.Target, file.Guard});
    try {
        CommitRenames(renames, FLibrary);
    } catch (const EReplacementIncomplete&) {
        // The journal names the new files not yet in place: they stay for the next opening.
        FCommitted = true;
        throw;
    }
    FCommitted = true;
}

void ReplaceFilesAtomically(const std::string& DataFile,
                            const std::vector<std::pair<std::string, std::string>>& Pairs) {
    std::vector<TJournal::TRename> renames;
    for (const auto& [newFile, target] : Pairs)
        renames.push_back({newFile, ResolveLinks(target), std::nullopt});
    CommitRenames(renames, ResolveLinks(DataFile));
}

} // namespace velmora
