// The document's undo and redo steps, and its library's files: watched, and read anew when
// another program changed them.

#include "app/library_document.h"

#include "app/thumbnail_cache.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <QFileSystemWatcher>
#include <QStringList>
#include <QTimer>
#include <QUndoStack>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

namespace {

template <class E> bool Holds(const std::exception_ptr& error) {
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const E&) {
        return true;
    } catch (...) {
    }
    return false;
}

// A library read anew from its files with the password it was opened with; raises EFileError
// with the reason when it cannot be read.
std::unique_ptr<TGameImages> ReadAnew(const std::string& path, TImageType kind,
                                      const std::string& password) {
    if (!FileExists(path))
        throw EFileError(path, "the file does not exist");
    std::unique_ptr<TGameImages> library = CreateLibrary(kind, path);
    if (!library)
        throw EFileError(path, "not a readable library");
    if (kind == t_Quillrand && !TryPakPassword(*library, password))
        throw EFileError(path, "wrong password");
    library->Initialize();
    if (!library->Initialized())
        throw EFileError(path, "not a readable library");
    return library;
}

} // namespace

TEditCommand* TLibraryDocument::StepCommand(bool undo) const {
    const int index = FUndoStack->index() - (undo ? 1 : 0);
    if (index < 0 || index >= FUndoStack->count())
        return nullptr;
    return const_cast<TEditCommand*>(static_cast<const TEditCommand*>(FUndoStack->command(index)));
}

bool TLibraryDocument::CanUndo() const {
    return FUndoStack->canUndo();
}

bool TLibraryDocument::CanRedo() const {
    return FUndoStack->canRedo();
}

QString TLibraryDocument::UndoName() const {
    return FUndoStack->undoText();
}

QString TLibraryDocument::RedoName() const {
    return FUndoStack->redoText();
}

void TLibraryDocument::Undo(TJobHandlers handlers) {
    Step(true, std::move(handlers));
}

void TLibraryDocument::Redo(TJobHandlers handlers) {
    Step(false, std::move(handlers));
}

void TLibraryDocument::Step(bool undo, TJobHandlers handlers) {
    if (Busy() || !StepCommand(undo))
        return;
    // Another program's change seen now clears the steps; nothing is undone then.
    if (FileStamps() != FStamps) {
        RefreshIfChanged();
        if (handlers.Finished)
            handlers.Finished({std::make_exception_ptr(EChangedOutside()), std::nullopt});
        return;
    }
    TEditCommand* command = StepCommand(undo);
    const uint64_t reloads = FLibrary->ReloadCount();
    const QString name = command->text();
    auto now = std::make_shared<std::shared_ptr<const TRecordList>>();
    StartWork([command, undo, now](TGameImages& library,
                                   TJobControl&) { *now = command->Apply(library, undo); },
              [this, command, undo, now, reloads, name](const TJobEnd& end) {
                  if (!end.Error && FLibrary->ReloadCount() == reloads) {
                      Relink(*command, undo, *now);
                      command->SkipNext();
                      if (undo)
                          FUndoStack->undo();
                      else
                          FUndoStack->redo();
                      emit Note((undo ? tr("已撤销: %1") : tr("已重做: %1")).arg(name));
                  } else if (Holds<EChangedOutside>(end.Error) ||
                             FLibrary->ReloadCount() != reloads) {
                      ChangedOutside();
                  }
                  StampFiles();
                  AfterRecordsChanged();
              },
              std::move(handlers));
}

std::vector<TFileStamp> TLibraryDocument::FileStamps() const {
    std::vector<TFileStamp> stamps;
    for (const std::string& file : FFiles)
        stamps.push_back(FileStampOf(file));
    return stamps;
}

void TLibraryDocument::StampFiles() {
    FFiles = LibraryFiles(FileName(), Kind());
    FStamps = FileStamps();
}

void TLibraryDocument::WatchFiles() {
    const QStringList watched = FWatcher->files() + FWatcher->directories();
    if (!watched.isEmpty())
        FWatcher->removePaths(watched);
    QStringList paths;
    for (const std::string& file : LibraryFiles(FileName(), Kind()))
        if (FileExists(file))
            paths << QString::fromStdString(file);
    // The folder tells of an index file that comes or goes, and of a file renamed over another.
    const std::string folder = ExtractFilePath(FileName());
    paths << QString::fromStdString(folder.empty() ? std::string(".") : folder);
    FWatcher->addPaths(paths);
}

bool TLibraryDocument::CheckFiles() {
    if (FileStamps() == FStamps)
        return false;
    if (Busy()) {
        // Looked at again when the job is done.
        FCheckTimer->start();
        return false;
    }
    // The library is read anew on the worker, into an object of its own that nothing sees until
    // it is installed.
    auto read = std::make_shared<std::unique_ptr<TGameImages>>();
    const std::string path = FileName();
    const TImageType kind = Kind();
    const std::string password = FPassWord;
    return StartWork([read, path, kind, password](
                         TGameImages&, TJobControl&) { *read = ReadAnew(path, kind, password); },
                     [this, read, path](const TJobEnd& end) {
                         if (*read)
                             InstallReloaded(std::move(*read));
                         else
                             ReloadFailed(path, end.Error);
                     },
                     {});
}

void TLibraryDocument::RefreshIfChanged() {
    if (Busy() || FileStamps() == FStamps)
        return;
    // Before an edit: read at once, so that the edit builds on what is on disk.
    std::unique_ptr<TGameImages> read;
    std::exception_ptr error;
    {
        TBusyGuard busy(*this);
        try {
            read = ReadAnew(FileName(), Kind(), FPassWord);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (read)
        InstallReloaded(std::move(read));
    else
        ReloadFailed(FileName(), error);
}

void TLibraryDocument::ReloadFailed(const std::string& path, const std::exception_ptr& error) {
    StampFiles();
    if (!FileExists(path)) {
        emit FilesLost(tr("文件已被其他程序删除或移走"));
        return;
    }
    QString reason;
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        reason = QString::fromStdString(e.what());
    } catch (...) {
    }
    emit Note(tr("文件已被其他程序修改，但无法重新读取：%1").arg(reason));
}

void TLibraryDocument::InstallReloaded(std::unique_ptr<TGameImages> library) {
    FThumbnails->SetLibrary(library.get());
    std::shared_ptr<TGameImages> old = std::move(FLibrary);
    FLibrary = std::move(library);
    old.reset();
    ChangedOutside();
    StampFiles();
    WatchFiles();
    emit LibraryReplaced();
    AfterRecordsChanged();
}

} // namespace velmora
