#include "core/recovery.h"

#include "core/file_ops.h"
#include "core/file_stream.h"
#include "core/journal.h"
#include "core/utils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::mutex g_ProgramFilesLock;
std::vector<std::string> g_ProgramFiles;

// The part of a file name before its last dot.
std::string StemOf(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

bool Removed(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

uint64_t ContentHash(const std::string& path) {
    return StableHash(TFileStream::ReadAll(path));
}

// What a journal of the library may name, and how it is recovered.
class TRecovery {
public:
    TRecovery(const std::vector<std::string>& files, TRecoveryReport& report) : FReport(report) {
        for (const std::string& file : files)
            FFiles.push_back(ResolveLinks(file));
        FData = FFiles.front();
        FStem = StemOf(FData);
        FJournal = JournalNameFor(FData);
    }

    const std::string& Data() const { return FData; }
    const std::string& Journal() const { return FJournal; }

    void Recover() {
        RemoveQuietly(FJournal + ".new"); // a journal that never appeared
        if (!FileExists(FJournal)) {
            RemoveLeftovers();
            return;
        }
        std::string why;
        const std::optional<TJournal> journal = ReadJournal(FJournal, why);
        if (!journal)
            return Keep("the journal is damaged: " + why);
        if (!Acceptable(*journal, why))
            return Keep(why);
        if (journal->Mode == TJournal::jmReplace)
            FinishRenames(*journal);
        else
            ApplyInPlace(*journal);
    }

private:
    void Keep(const std::string& problem) {
        FReport.Journal = FJournal;
        FReport.Problem = problem;
    }

    bool IsProgramFile(const std::string& path) const {
        for (const std::string& file : ProgramFiles())
            if (SamePlace(path, file))
                return true;
        return false;
    }

    // A file of the library: one of its own, or a file of its folder named like it (its index,
    // backups of either), or a file of the program a save may replace with it.
    bool IsLibraryFile(const std::string& path) const {
        const std::string name = ExtractFileName(path);
        if (SameFolder(path, FJournal) && name.starts_with(FStem + "."))
            return true;
        for (const std::string& file : FFiles)
            if (SamePlace(path, file))
                return true;
        return IsProgramFile(path);
    }

    bool Acceptable(const TJournal& journal, std::string& why) const {
        for (const TJournal::TRename& rename : journal.Renames) {
            if (!IsLibraryFile(rename.Target)) {
                why = "it names " + rename.Target + ", which is not a file of the library";
                return false;
            }
            const std::string name = ExtractFileName(rename.NewFile);
            if (name.size() < 2 || name[0] != '.' || !SameFolder(rename.NewFile, rename.Target)) {
                why = "it names " + rename.NewFile + " as a new file of " + rename.Target;
                return false;
            }
        }
        for (const TJournal::TFile& file : journal.Files) {
            if (!IsLibraryFile(file.Path)) {
                why = "it names " + file.Path + ", which is not a file of the library";
                return false;
            }
            if (!FileExists(file.Path)) {
                why = "the file " + file.Path + " it changes is gone";
                return false;
            }
        }
        return true;
    }

    // The new files were complete before the journal appeared: the renames are finished, in
    // order. A new file that is gone was renamed already; its target must then be there.
    void FinishRenames(const TJournal& journal) {
        for (const TJournal::TRename& rename : journal.Renames)
            if (!FileExists(rename.NewFile) && !FileExists(rename.Target))
                return Keep("the new file " + rename.NewFile + " of " + rename.Target + " is gone");
        std::set<std::string> folders;
        for (const TJournal::TRename& rename : journal.Renames) {
            if (!FileExists(rename.NewFile))
                continue;
            if (rename.Guard && FileExists(rename.Target) &&
                ContentHash(rename.Target) != *rename.Guard) {
                // Changed by someone else since the save made its new content: left as it is.
                FReport.Warnings.push_back(rename.Target +
                                           " was changed meanwhile and keeps its content");
                RemoveFile(rename.NewFile, FData);
                continue;
            }
            RenameFile(rename.NewFile, rename.Target, rename.Target);
            if (IsProgramFile(rename.Target))
                FReport.ProgramFilesChanged = true;
            folders.insert(FolderOf(rename.Target));
        }
        for (const std::string& folder : folders)
            SyncFolder(folder + "/", FData);
        RemoveFile(FJournal, FData);
        SyncFolder(FJournal, FData);
        FReport.Recovered = true;
    }

    void ApplyInPlace(const TJournal& journal) {
        const bool replaced = !journal.Renames.empty();
        const bool undo = replaced && FileExists(journal.Renames.front().NewFile);
        if (replaced && !undo && !FileExists(journal.Renames.front().Target))
            return Keep("the new file " + journal.Renames.front().NewFile + " of " +
                        journal.Renames.front().Target + " is gone");
        for (size_t f = 0; f < journal.Files.size(); ++f) {
            const TJournal::TFile& file = journal.Files[f];
            TFileStream stream(file.Path, TFileStream::fmOpenReadWrite, FData);
            for (const TJournal::TPatch& patch : journal.Patches)
                if (patch.File == f) {
                    stream.Seek(patch.Position);
                    stream.Write(undo ? patch.Old : patch.New);
                }
            if (undo && file.OldSize >= 0 && stream.Size() > file.OldSize)
                stream.SetSize(file.OldSize);
            stream.Flush();
        }
        // The journal goes before the new file an undo leaves: while the journal stays, that
        // file's presence is what says "undo", and the next attempt must decide the same way.
        RemoveFile(FJournal, FData);
        SyncFolder(FJournal, FData);
        if (undo && Removed(journal.Renames.front().NewFile))
            SyncFolder(FJournal, FData);
        FReport.Recovered = true;
    }

    // Without a journal no library file was touched: whatever a save left beside them is
    // incomplete, and goes.
    void RemoveLeftovers() {
        bool removed = false;
        std::set<std::string> names(FFiles.begin(), FFiles.end());
        const std::string folder = ExtractFilePath(FData);
        const std::string workPrefix = ExtractFileName(HiddenNameFor(FData, ".work"));
        std::vector<std::string> work;
        for (const std::string& entry : FolderEntries(FolderOf(FData))) {
            if (entry.starts_with(FStem + "."))
                names.insert(folder + entry);
            else if (entry.starts_with(workPrefix))
                work.push_back(folder + entry);
        }
        // The work files may not be there yet (the save was cut short while they were being
        // made): their names follow from the library's own, with its extensions in any case.
        for (const std::string& file : FFiles) {
            const std::string ext = ExtractFileExt(file);
            for (const std::string& e : {ext, LowerCase(ext), UpperCase(ext)})
                work.push_back(HiddenNameFor(FData, ".work" + e));
        }
        for (const std::string& name : names)
            removed = Removed(HiddenNameFor(name, ".new")) || removed;
        // A conversion into the library that was cut short leaves its unfinished work library,
        // and the temporary files and journal of the work library's own saves.
        for (const std::string& name : work) {
            for (const char* suffix : {".new", ".journal", ".journal.new"})
                removed = Removed(HiddenNameFor(name, suffix)) || removed;
            removed = Removed(name) || removed;
        }
        if (removed)
            SyncFolder(FData, FData);
        for (const std::string& file : ProgramFiles()) {
            const std::string temporary = ProgramFileTemporary(file, FData);
            if (!FileExists(temporary))
                continue;
            // Under the program file's own lock, which a save of it holds while it works.
            TLibraryLock lock = FileExists(file) ? TLibraryLock::TryToLock(file) : TLibraryLock();
            if ((lock.Locked() || !FileExists(file)) && Removed(temporary))
                SyncFolder(temporary, file);
        }
    }

    TRecoveryReport& FReport;
    std::vector<std::string> FFiles;
    std::string FData, FStem, FJournal;
};

} // namespace

void SetProgramFiles(std::vector<std::string> Files) {
    std::lock_guard lock(g_ProgramFilesLock);
    g_ProgramFiles = std::move(Files);
}

std::vector<std::string> ProgramFiles() {
    std::lock_guard lock(g_ProgramFilesLock);
    return g_ProgramFiles;
}

std::string ProgramFileTemporary(const std::string& ProgramFile, const std::string& DataFile) {
    return HiddenNameFor(ProgramFile,
                         "." + HexOf64(StableHash(ExtractFileName(DataFile))) + ".new");
}

TRecoveryReport RecoverLibrary(const std::vector<std::string>& Files, const TLibraryLock* Held) {
    TRecoveryReport report;
    if (Files.empty())
        return report;
    TRecovery recovery(Files, report);
    TLibraryLock own;
    if (!Held && FileExists(recovery.Data())) {
        own = TLibraryLock::TryToLock(recovery.Data());
        if (!own.Locked()) {
            report.Busy = true;
            return report;
        }
    }
    if (LookOnlyProcess()) {
        if (FileExists(recovery.Journal())) {
            report.Journal = recovery.Journal();
            report.Problem = "a save was cut short and waits to be finished by the next program "
                             "that opens the library to edit it";
        }
        return report;
    }
    TFolderLock folder(recovery.Data(), TFolderLock::flExclusive);
    recovery.Recover();
    return report;
}

TJournalAside SetJournalAside(const std::string& DataFile, bool DryRun) {
    TJournalAside aside;
    const std::string data = ResolveLinks(DataFile);
    aside.Journal = JournalNameFor(data);
    if (!FileExists(aside.Journal))
        return aside;
    TLibraryLock lock;
    if (!DryRun && FileExists(data))
        lock = TLibraryLock(data);
    const auto freeName = [](const std::string& base) {
        std::string name = base;
        for (int n = 1; ::access(name.c_str(), F_OK) == 0; ++n)
            name = base + std::to_string(n);
        return name;
    };
    aside.KeptAs = freeName(data + ".journal");
    std::string why;
    std::optional<TJournal> journal;
    try {
        journal = ReadJournal(aside.Journal, why);
    } catch (const EFileError&) {
    }
    if (journal)
        for (const TJournal::TRename& rename : journal->Renames)
            if (FileExists(rename.NewFile) && ExtractFileName(rename.NewFile).starts_with("."))
                aside.NewFiles.emplace_back(rename.NewFile,
                                            freeName(rename.Target + ".unfinished"));
    if (DryRun)
        return aside;
    TFolderLock folder(data, TFolderLock::flExclusive);
    for (const auto& [from, to] : aside.NewFiles)
        RenameFile(from, to, data);
    RenameFile(aside.Journal, aside.KeptAs, data);
    SyncFolder(data, data);
    return aside;
}

bool InterruptedSaveWaiting(const std::string& DataFile) {
    const std::string data = ResolveLinks(DataFile);
    if (!FileExists(JournalNameFor(data)))
        return false;
    try {
        return !FileExists(data) || TLibraryLock::TryToLock(data).Locked();
    } catch (const EFileError&) {
        return true;
    }
}

} // namespace velmora
