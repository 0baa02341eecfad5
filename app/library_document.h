#pragma once

#include "app/worker.h"
#include "core/game_images.h"
#include "core/library_lock.h"
#include "operations/delete_images.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QUndoCommand>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

class QFileSystemWatcher;
class QTimer;
class QUndoStack;

namespace velmora {

class TLibraryDocument;
class TThumbnailCache;

// How a job of a document ended, told on the window's thread.
struct TJobEnd {
    std::exception_ptr Error;               // what escaped the job
    std::optional<TJobCancelled> Cancelled; // the user stopped it there
};

// What the window hears of a job: its progress and its end (both on the window's thread).
struct TJobHandlers {
    std::function<void(int done, int total)> Progress;
    std::function<void(const TJobEnd& end)> Finished;
};

// Another program changed the library after the step to be undone or redone was made: the step
// is not applied, since it would write back records the editor did not write.
class EChangedOutside : public std::runtime_error {
public:
    EChangedOutside() : std::runtime_error("the library was changed by another program") {}
};

// One edit of a document as an undo step. Undoing it brings back the records the library held
// before the edit, redoing it those after it; either is written as an edit of its own (crash-safe
// like any other), and only when the library still holds exactly what the step left, checked
// under the library's edit lock. An offset move undoes and redoes as an offset change, which the
// formats patch in place; consecutive moves of one image merge into one step.
class TEditCommand : public QUndoCommand {
public:
    // The kind of step that merges: offset moves of one image.
    static constexpr int kOffsetMoveId = 1;

    TEditCommand(TLibraryDocument& document, const QString& name,
                 std::shared_ptr<const TRecordList> before,
                 std::shared_ptr<const TRecordList> after);

    // An offset change of image index from `from` to `to`; a move at time `at` (ms since the
    // epoch) merges with the next move of the image, -1 never merges.
    void SetOffsetMove(int index, TPoint from, TPoint to, int64_t at);
    bool IsOffsetMove() const { return FIndex >= 0; }

    const std::shared_ptr<const TRecordList>& Before() const { return FBefore; }
    const std::shared_ptr<const TRecordList>& After() const { return FAfter; }

    // Brings the library from the records of one side to those of the other (on any thread):
    // throws EChangedOutside when it does not hold `from` now, and whatever the edit throws.
    // Returns the records the library holds afterwards.
    std::shared_ptr<const TRecordList> Apply(TGameImages& library, bool toBefore) const;
    // The records of one side of the step (those the library holds after applying it that way).
    void SetSide(bool before, std::shared_ptr<const TRecordList> records);
    // The step was applied by the document (on a worker): the next undo() or redo() only moves
    // the stack.
    void SkipNext() { FSkipNext = true; }

    // The same step, for a stack built anew; it merges with nothing.
    TEditCommand* Copy() const;
    // Memory the step holds in records of its own (not in any file).
    void CountOwnedBytes(std::unordered_set<const TImageData*>& seen, uint64_t& bytes) const;

    void undo() override;
    void redo() override;
    int id() const override { return IsOffsetMove() ? kOffsetMoveId : -1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    TLibraryDocument& FDocument;
    std::shared_ptr<const TRecordList> FBefore;
    std::shared_ptr<const TRecordList> FAfter;
    // Pushed after the edit was made, so the first redo() has nothing to do; likewise after the
    // document applied a step itself.
    bool FSkipNext = true;
    int FIndex = -1;
    TPoint FFrom, FTo;
    int64_t FAt = 0;
};

// An open library as the editor works on it: the library object with its current snapshot, the
// undo steps of the edits made to it, and the selection the commands act on. Views (grid,
// preview, status line, animation) read from it and are told by its signals; commands and
// dialogs are handed the document, never a global. Several documents can exist at once.
//
// Long work runs on the document's worker thread (one job at a time) while the window stays
// responsive; Busy() is true for as long as a job or an edit runs, and the document takes no
// other edit meanwhile.
//
// The document watches its files. A change by another program reads the library anew at once,
// keeps the selection where its image still exists and clears the undo steps, with a note; an
// edit that finds the library changed (the library reads it again before building on it) clears
// them as well, so that an undo never writes back records it did not write.
class TLibraryDocument : public QObject {
    Q_OBJECT
public:
    // Offset moves of one image within this time of the last merge into one step.
    static constexpr int kMergeMs = 500;
    // Memory the undo steps may hold in records of their own.
    static constexpr uint64_t kMaxOwnedBytes = 256ull << 20;

    // Takes an opened library (Initialized); password is the one a Pak library was opened with.
    TLibraryDocument(std::unique_ptr<TGameImages> library, std::string password,
                     QObject* parent = nullptr);
    ~TLibraryDocument() override;

    TGameImages& Library() const { return *FLibrary; }
    // The library object, shared with what must read it after the document let it go (images
    // copied from it, a comparison running on it).
    std::shared_ptr<TGameImages> SharedLibrary() const { return FLibrary; }
    const std::string& FileName() const { return FLibrary->FileName(); }
    TImageType Kind() const { return FLibrary->ImageType(); }
    int ImageCount() const { return FLibrary->ImageCount(); }
    const std::string& PassWord() const { return FPassWord; }
    // The password a Pak library now opens with (after 密码更改).
    void SetPassWord(const std::string& password) { FPassWord = password; }
    TThumbnailCache* Thumbnails() const { return FThumbnails; }
    QUndoStack* UndoStack() const { return FUndoStack; }

    // --- Selection: the current image and the anchor of a range, -1 for none; never an index
    // past the last image.
    int Current() const { return FCurrent; }
    int Anchor() const { return FAnchor; }
    // The first and last image selected; (-1, -1) when nothing is. A selection of single images
    // (SelectImages) gives the current image alone: commands act on it.
    std::pair<int, int> SelectedRange() const;
    // The single images selected (by 比较), in order; empty when the selection is a range.
    const std::vector<int>& SelectedImages() const { return FImages; }
    bool IsSelected(int index) const;
    // The range a command works on: the selection when it holds several images, otherwise the
    // current image to `lastOtherwise` (-1: the current image alone, -2: the last image).
    std::pair<int, int> CommandRange(int lastOtherwise = -1) const;
    // Selects one image; an index outside the library selects nothing.
    void Select(int index);
    // Selects anchor .. current (both cut to the library).
    void SelectRange(int anchor, int current);
    // Selects single images (those past the last are left out) with current among them (the
    // first when it is not); no image selects nothing. A change of the records ends such a
    // selection, keeping its current image.
    void SelectImages(std::vector<int> images, int current = -1);

    // --- Jobs and edits.
    bool Busy() const;
    // A job runs on the document's worker (Busy() is also true for edits made at once).
    bool JobRunning() const;
    // Runs body now as one edit: when it changed the records it becomes an undo step named name.
    // What body throws passes on, after the views were told what the library holds.
    void Edit(const QString& name, const std::function<void(TGameImages&)>& body);
    // Runs body on the worker as one edit (undoable false: the records are written anew by a
    // command that cannot be undone, and the steps before it are forgotten). False while busy.
    bool StartEdit(const QString& name, std::function<void(TGameImages&, TJobControl&)> body,
                   TJobHandlers handlers, bool undoable = true);
    // Runs body on the worker without changing the records (a check, an export).
    bool StartJob(std::function<void(TGameImages&, TJobControl&)> body, TJobHandlers handlers);
    void CancelJob();
    // Marks the document busy for its lifetime (work that runs on threads of its own).
    class TBusyGuard {
    public:
        explicit TBusyGuard(TLibraryDocument& document);
        ~TBusyGuard();
        TBusyGuard(const TBusyGuard&) = delete;
        TBusyGuard& operator=(const TBusyGuard&) = delete;

    private:
        TLibraryDocument& FDocument;
    };

    // Changes the offset of image index to value, or moves it by delta from what it holds, as one
    // edit written at once; the step undoes it in place. Moves of the same image within kMergeMs
    // of each other become one step. The result says what was stored, or why nothing was (an
    // image out of range or without an offset, a refusing library, an offset past 16 bits).
    // Throws what the edit throws (EFileError, ELibraryBusy).
    TOffsetResult SetOffset(int index, TPoint value);
    TOffsetResult MoveOffset(int index, QPoint delta);

    // --- Undo and redo, on the worker. handlers.Finished hears of a failure (EChangedOutside
    // when another program changed the library; the steps are cleared then).
    bool CanUndo() const;
    bool CanRedo() const;
    QString UndoName() const;
    QString RedoName() const;
    void Undo(TJobHandlers handlers = {});
    void Redo(TJobHandlers handlers = {});
    // Forgets every step (the records were written anew by a command that cannot be undone).
    void ForgetHistory();
    // Memory the steps hold in records of their own, and what they may hold (kMaxOwnedBytes
    // unless set otherwise).
    uint64_t OwnedBytes() const;
    void SetHistoryLimit(uint64_t bytes) { FHistoryLimit = bytes; }

    // --- The files on disk.
    // Reads the library anew (on the worker) when another program changed its files since the
    // document last saw them; waits while busy. True when a reading was started.
    bool CheckFiles();
    // Waits for the worker's job (tests, shutdown).
    void WaitForJob();
    // A note for the status line of the document's tab, from a command that ran on it.
    void PostNote(const QString& text) { emit Note(text); }

signals:
    // The records changed (an edit, an undo, a reading anew): the count, the images, or both.
    void RecordsChanged();
    void SelectionChanged();
    void BusyChanged(bool busy);
    // How far the running job is (any job on the worker).
    void JobProgress(int done, int total);
    // A note for the status line.
    void Note(const QString& text);
    // The library was read anew into another object (another program changed it).
    void LibraryReplaced();
    // The library's files are gone; the window closes the document.
    void FilesLost(const QString& reason);

private:
    friend class TEditCommand;
    struct TPendingEdit {
        QString Name;
        std::shared_ptr<const TRecordList> Before;
        uint64_t Reloads = 0;
        bool Undoable = true;
    };

    TPendingEdit BeginPending(const QString& name, bool undoable) const;
    // Makes a finished edit an undo step (or clears the steps) and tells the views.
    void FinishEdit(const TPendingEdit& edit);
    TOffsetResult ChangeOffset(int index, const std::function<TPoint(TPoint)>& to, bool merge);
    void PushStep(const QString& name, std::shared_ptr<const TRecordList> before,
                  std::shared_ptr<const TRecordList> after);
    // After a step was applied: its side and the neighbouring step's (which starts or ends on
    // the same records) become the records the library holds now.
    void Relink(TEditCommand& command, bool toBefore, std::shared_ptr<const TRecordList> now);
    void TrimHistory();
    void ChangedOutside();
    void AfterRecordsChanged();
    void SetBusy(int delta);
    bool StartWork(std::function<void(TGameImages&, TJobControl&)> body,
                   std::function<void(const TJobEnd&)> finished, TJobHandlers handlers);
    void Step(bool undo, TJobHandlers handlers);
    TEditCommand* StepCommand(bool undo) const;
    // The state of the library's files now, and whether it differs from what the document saw.
    std::vector<TFileStamp> FileStamps() const;
    void StampFiles();
    void WatchFiles();
    void RefreshIfChanged();
    void ReloadFailed(const std::string& path, const std::exception_ptr& error);
    void InstallReloaded(std::unique_ptr<TGameImages> library);
    void ClampSelection();
    void SetSelection(int anchor, int current);

    std::shared_ptr<TGameImages> FLibrary;
    std::string FPassWord;
    TThumbnailCache* FThumbnails = nullptr;
    QUndoStack* FUndoStack = nullptr;
    TWorker* FWorker = nullptr;
    QFileSystemWatcher* FWatcher = nullptr;
    QTimer* FCheckTimer = nullptr;
    std::vector<std::string> FFiles;
    std::vector<TFileStamp> FStamps;
    uint64_t FHistoryLimit = kMaxOwnedBytes;
    int FBusy = 0;
    int FCurrent = -1;
    int FAnchor = -1;
    std::vector<int> FImages;
};

// What the commands that write whole library files (新建, 数据转换) need to know of the open
// documents: whether a file is open, and closing it when the user agrees.
class TOpenLibraries {
public:
    virtual ~TOpenLibraries() = default;
    // The open document of the library file at path (any spelling that reaches it), or null.
    virtual TLibraryDocument* DocumentOf(const std::string& path) const = 0;
    // Closes the document; false when it cannot close now (a job runs).
    virtual bool CloseDocument(TLibraryDocument& document) = 0;
};

} // namespace velmora
