#include "core/in_place_change.h"

#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/library_lock.h"

namespace velmora {

namespace {

void SyncFolderQuietly(const std::string& path) {
    try {
        SyncFolder(path, path);
    } catch (const EFileError&) {
    }
}

} // namespace

TInPlaceChange::TInPlaceChange(std::string DataFile)
    : FDataFile(ResolveLinks(DataFile)), FJournal(JournalNameFor(FDataFile)) {}

TInPlaceChange::~TInPlaceChange() {
    if (!FDone)
        Undo();
    EndOwnChanges();
}

size_t TInPlaceChange::FileOf(TFileStream& File, const std::string& Path) {
    for (size_t i = 0; i < FFiles.size(); ++i)
        if (FFiles[i].Stream == &File)
            return i;
    FFiles.push_back({&File, ResolveLinks(Path)});
    return FFiles.size() - 1;
}

void TInPlaceChange::Patch(TFileStream& File, const std::string& Path, int64_t Position,
                           std::span<const uint8_t> Bytes) {
    if (FBegun)
        throw EFileError(Path, "a patch after the change began");
    std::vector<uint8_t> old(Bytes.size(), 0);
    if (File.ReadAt(Position, old) != old.size())
        throw EFileError(Path, "a patch outside the file");
    size_t first = 0, last = Bytes.size();
    while (first < last && old[first] == Bytes[first])
        ++first;
    while (last > first && old[last - 1] == Bytes[last - 1])
        --last;
    if (first == last)
        return;
    TJournal::TPatch patch;
    patch.File = FileOf(File, Path);
    patch.Position = Position + int64_t(first);
    patch.Old.assign(old.begin() + long(first), old.begin() + long(last));
    patch.New.assign(Bytes.begin() + long(first), Bytes.begin() + long(last));
    FPatches.push_back(std::move(patch));
}

void TInPlaceChange::Grow(TFileStream& File, const std::string& Path, int64_t NewSize) {
    if (FBegun)
        throw EFileError(Path, "a file grown after the change began");
    const size_t i = FileOf(File, Path);
    FFiles[i].OldSize = File.Size();
    FFiles[i].NewSize = NewSize;
    FGrown.push_back(i);
}

TFileStream& TInPlaceChange::Replace(const std::string& Target) {
    if (FBegun || FNewStream)
        throw EFileError(Target, "a second replacement in one change");
    FTarget = ResolveLinks(Target);
    FNewFile = HiddenNameFor(FTarget, ".new");
    FNewStream = std::make_unique<TFileStream>(FNewFile, TFileStream::fmCreate, Target);
    return *FNewStream;
}

void TInPlaceChange::Begin() {
    if (!FGrown.empty() && FNewFile.empty())
        throw EFileError(FDataFile, "a file grown in place needs a replaced file to commit it");
    if (FNewStream) {
        FNewStream->Close();
        SyncNewFile(FNewFile, FTarget);
    }
    TJournal journal;
    journal.Mode = TJournal::jmInPlace;
    for (const TFile& file : FFiles)
        journal.Files.push_back({file.Path, file.OldSize, file.NewSize});
    journal.Patches = FPatches;
    if (!FNewFile.empty())
        journal.Renames.push_back({FNewFile, FTarget, std::nullopt});
    // Begun before the journal is written: a journal that appeared and then failed to become
    // durable is undone like any other, the journal removed before the new file it decides by.
    // From here on the files change through their streams: readers of this program's snapshots
    // must not take that for another program's change.
    FBegun = true;
    for (const TFile& file : FFiles)
        file.Stream->BeginOwnChange();
    WriteJournal(FJournal, journal, FDataFile);
}

void TInPlaceChange::Commit() {
    if (!FBegun)
        Begin();
    TFolderLock folder(FDataFile, TFolderLock::flExclusive);
    for (const TJournal::TPatch& patch : FPatches) {
        TFileStream& stream = *FFiles[patch.File].Stream;
        stream.Seek(patch.Position);
        stream.Write(patch.New);
    }
    for (const TFile& file : FFiles)
        file.Stream->Flush();
    if (!FNewFile.empty()) {
        RenameFile(FNewFile, FTarget, FTarget);
        // From here the change can only be finished: the journal says so now.
        FDone = true;
        try {
            SyncFolder(FTarget, FDataFile);
        } catch (const EFileError& e) {
            throw EReplacementIncomplete(e, 1);
        }
    }
    FDone = true;
    EndOwnChanges();
    RemoveQuietly(FJournal);
    SyncFolderQuietly(FJournal);
}

void TInPlaceChange::EndOwnChanges() noexcept {
    if (!FBegun || FOwnChangesEnded)
        return;
    FOwnChangesEnded = true;
    for (const TFile& file : FFiles)
        file.Stream->EndOwnChange();
}

void TInPlaceChange::Undo() noexcept {
    FNewStream.reset();
    if (!FBegun) {
        if (!FNewFile.empty())
            RemoveQuietly(FNewFile);
        return;
    }
    // Everything is put back before the journal goes, and the journal goes before the new file
    // whose presence tells the next opening to undo: a failure at any step leaves a journal that
    // still undoes the change.
    struct TEnd {
        TInPlaceChange& Change;
        ~TEnd() { Change.EndOwnChanges(); }
    } end{*this};
    try {
        TFolderLock folder(FDataFile, TFolderLock::flExclusive);
        for (const TJournal::TPatch& patch : FPatches) {
            TFileStream& stream = *FFiles[patch.File].Stream;
            stream.Seek(patch.Position);
            stream.Write(patch.Old);
        }
        for (size_t i : FGrown)
            FFiles[i].Stream->SetSize(FFiles[i].OldSize);
        for (const TFile& file : FFiles)
            file.Stream->Flush();
        RemoveFile(FJournal, FDataFile);
        SyncFolder(FJournal, FDataFile);
    } catch (...) {
        return;
    }
    if (!FNewFile.empty()) {
        RemoveQuietly(FNewFile);
        SyncFolderQuietly(FNewFile);
    }
}

} // namespace velmora
