#include "app/library_document.h"

#include "app/thumbnail_cache.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "operations/delete_images.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QStringList>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <unordered_set>

namespace velmora {

namespace {

// Both lists hold the very same records: nothing was written or read anew in between.
bool SameRecords(const TRecordList& a, const TRecordList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

// --- TEditCommand

TEditCommand::TEditCommand(TLibraryDocument& document, const QString& name,
                           std::shared_ptr<const TRecordList> before,
                           std::shared_ptr<const TRecordList> after)
    : QUndoCommand(name), FDocument(document), FBefore(std::move(before)),
      FAfter(std::move(after)) {}

void TEditCommand::SetOffsetMove(int index, TPoint from, TPoint to, int64_t at) {
    FIndex = index;
    FFrom = from;
    FTo = to;
    FAt = at;
}

std::shared_ptr<const TRecordList> TEditCommand::Apply(TGameImages& library, bool toBefore) const {
    const TRecordList& from = toBefore ? *FAfter : *FBefore;
    const TRecordList& to = toBefore ? *FBefore : *FAfter;
    if (IsOffsetMove() && library.ImageType() == t_Wis) {
        // A WIS library takes offsets only, through SetPoint, which reads the library again
        // when its file changed: look first.
        if (FDocument.FileStamps() != FDocument.FStamps || !SameRecords(*library.Records(), from))
            throw EChangedOutside();
        const uint64_t reloads = library.ReloadCount();
        library.SetPoint(FIndex, toBefore ? FFrom : FTo);
        if (library.ReloadCount() != reloads)
            throw EChangedOutside();
        return library.Records();
    }
    // The transaction holds the edit lock and has read the library again if another program
    // changed it: what it starts from tells whether the step still applies.
    TGameImages::TUpdate update = library.BeginUpdate(-1);
    if (!SameRecords(update.Records(), from))
        throw EChangedOutside();
    if (!IsOffsetMove() || !update.SetPoint(FIndex, toBefore ? FFrom : FTo))
        update.ReplaceAll(to);
    update.EndUpdate();
    return library.Records();
}

TEditCommand* TEditCommand::Copy() const {
    auto* copy = new TEditCommand(FDocument, text(), FBefore, FAfter);
    if (IsOffsetMove())
        copy->SetOffsetMove(FIndex, FFrom, FTo, -1);
    return copy;
}

void TEditCommand::SetSide(bool before, std::shared_ptr<const TRecordList> records) {
    (before ? FBefore : FAfter) = std::move(records);
}

void TEditCommand::undo() {
    if (std::exchange(FSkipNext, false))
        return;
    // Driven by the stack itself rather than by the document: applied here and now.
    FDocument.Relink(*this, true, Apply(FDocument.Library(), true));
    FDocument.StampFiles();
    FDocument.AfterRecordsChanged();
}

void TEditCommand::redo() {
    if (std::exchange(FSkipNext, false))
        return;
    FDocument.Relink(*this, false, Apply(FDocument.Library(), false));
    FDocument.StampFiles();
    FDocument.AfterRecordsChanged();
}

bool TEditCommand::mergeWith(const QUndoCommand* other) {
    const auto* next = dynamic_cast<const TEditCommand*>(other);
    // Moves (not offsets typed in) of one image, each starting where the last ended, in a burst.
    if (!next || !IsOffsetMove() || next->FIndex != FIndex || next->FBefore != FAfter || FAt < 0 ||
        next->FAt < FAt || next->FAt - FAt > TLibraryDocument::kMergeMs)
        return false;
    FAfter = next->FAfter;
    FTo = next->FTo;
    FAt = next->FAt;
    return true;
}

void TEditCommand::CountOwnedBytes(std::unordered_set<const TImageData*>& seen,
                                   uint64_t& bytes) const {
    for (const std::shared_ptr<const TRecordList>* list : {&FBefore, &FAfter}) {
        if (!*list)
            continue;
        for (const TRecord& record : **list)
            if (record && !record->InFile() && seen.insert(record.get()).second)
                bytes += record->Image.size();
    }
}

// --- TLibraryDocument

TLibraryDocument::TLibraryDocument(std::unique_ptr<TGameImages> library, std::string password,
                                   QObject* parent)
    : QObject(parent), FLibrary(std::move(library)), FPassWord(std::move(password)) {
    setObjectName(QStringLiteral("LibraryDocument"));
    FThumbnails = new TThumbnailCache(this);
    FThumbnails->SetLibrary(FLibrary.get());
    FUndoStack = new QUndoStack(this);
    FWorker = new TWorker(this);
    FWatcher = new QFileSystemWatcher(this);
    FCheckTimer = new QTimer(this);
    FCheckTimer->setSingleShot(true);
    // A save by another program is a burst of changes: look once it has settled.
    FCheckTimer->setInterval(200);
    connect(FCheckTimer, &QTimer::timeout, this, [this] { CheckFiles(); });
    const auto changed = [this] {
        // A file replaced by a rename is no longer watched under its name: watch it again.
        WatchFiles();
        FCheckTimer->start();
    };
    connect(FWatcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, changed);
    StampFiles();
    WatchFiles();
    if (ImageCount() > 0)
        SetSelection(0, 0);
}

TLibraryDocument::~TLibraryDocument() {
    // Nothing may read the library once it goes: the job first, then the thumbnail workers. The
    // job's end is not reported to anyone any more.
    disconnect(FWorker, nullptr, this, nullptr);
    FWorker->Cancel();
    FWorker->Wait();
    FThumbnails->SetLibrary(nullptr);
    FUndoStack->clear();
}

std::pair<int, int> TLibraryDocument::SelectedRange() const {
    if (FCurrent < 0)
        return {-1, -1};
    if (!FImages.empty())
        return {FCurrent, FCurrent};
    const int anchor = FAnchor < 0 ? FCurrent : FAnchor;
    return {std::min(anchor, FCurrent), std::max(anchor, FCurrent)};
}

std::pair<int, int> TLibraryDocument::CommandRange(int lastOtherwise) const {
    const auto [first, last] = SelectedRange();
    if (first < 0 || first < last)
        return {first, last};
    if (lastOtherwise == -2)
        return {first, ImageCount() - 1};
    return {first, first};
}

void TLibraryDocument::SetSelection(int anchor, int current) {
    if (current < 0)
        anchor = -1;
    if (anchor == FAnchor && current == FCurrent && FImages.empty())
        return;
    FAnchor = anchor;
    FCurrent = current;
    FImages.clear();
    emit SelectionChanged();
}

bool TLibraryDocument::IsSelected(int index) const {
    if (!FImages.empty())
        return std::binary_search(FImages.begin(), FImages.end(), index);
    const auto [first, last] = SelectedRange();
    return first >= 0 && index >= first && index <= last;
}

void TLibraryDocument::SelectImages(std::vector<int> images, int current) {
    const int count = ImageCount();
    std::sort(images.begin(), images.end());
    images.erase(std::unique(images.begin(), images.end()), images.end());
    images.erase(std::remove_if(images.begin(), images.end(),
                                [count](int i) { return i < 0 || i >= count; }),
                 images.end());
    if (images.empty()) {
        SetSelection(-1, -1);
        return;
    }
    if (!std::binary_search(images.begin(), images.end(), current))
        current = images.front();
    FImages = std::move(images);
    FAnchor = FCurrent = current;
    emit SelectionChanged();
}

void TLibraryDocument::Select(int index) {
    if (index < 0 || index >= ImageCount())
        SetSelection(-1, -1);
    else
        SetSelection(index, index);
}

void TLibraryDocument::SelectRange(int anchor, int current) {
    const int count = ImageCount();
    if (count <= 0 || current < 0) {
        SetSelection(-1, -1);
        return;
    }
    SetSelection(std::clamp(anchor < 0 ? current : anchor, 0, count - 1),
                 std::clamp(current, 0, count - 1));
}

void TLibraryDocument::ClampSelection() {
    const int count = ImageCount();
    // Single images were chosen for the records as they were: the current one stays.
    if (!FImages.empty()) {
        FImages.clear();
        FAnchor = FCurrent;
        emit SelectionChanged();
    }
    // An image that is gone takes the selection with it; a range keeps what is left of it.
    if (FCurrent >= count)
        SetSelection(-1, -1);
    else if (FAnchor >= count)
        SetSelection(count - 1, FCurrent);
}

bool TLibraryDocument::Busy() const {
    return FBusy > 0;
}

bool TLibraryDocument::JobRunning() const {
    return FWorker->Running();
}

void TLibraryDocument::SetBusy(int delta) {
    const bool was = Busy();
    FBusy += delta;
    if (Busy() != was)
        emit BusyChanged(Busy());
}

TLibraryDocument::TBusyGuard::TBusyGuard(TLibraryDocument& document) : FDocument(document) {
    FDocument.SetBusy(+1);
}

TLibraryDocument::TBusyGuard::~TBusyGuard() {
    FDocument.SetBusy(-1);
}

TLibraryDocument::TPendingEdit TLibraryDocument::BeginPending(const QString& name,
                                                              bool undoable) const {
    return {name, FLibrary->Records(), FLibrary->ReloadCount(), undoable};
}

void TLibraryDocument::FinishEdit(const TPendingEdit& edit) {
    const std::shared_ptr<const TRecordList> after = FLibrary->Records();
    if (FLibrary->ReloadCount() != edit.Reloads) {
        // The edit was built on what another program had written meanwhile: the records before
        // it are not the ones the steps lead back to.
        ChangedOutside();
    } else if (after != edit.Before) {
        if (edit.Undoable)
            PushStep(edit.Name, edit.Before, after);
        else
            ForgetHistory();
    }
    StampFiles();
    AfterRecordsChanged();
}

void TLibraryDocument::PushStep(const QString& name, std::shared_ptr<const TRecordList> before,
                                std::shared_ptr<const TRecordList> after) {
    FUndoStack->push(new TEditCommand(*this, name, std::move(before), std::move(after)));
    TrimHistory();
}

uint64_t TLibraryDocument::OwnedBytes() const {
    std::unordered_set<const TImageData*> seen;
    uint64_t bytes = 0;
    for (int i = 0; i < FUndoStack->count(); ++i)
        static_cast<const TEditCommand*>(FUndoStack->command(i))->CountOwnedBytes(seen, bytes);
    return bytes;
}

void TLibraryDocument::TrimHistory() {
    if (OwnedBytes() <= FHistoryLimit || FUndoStack->count() <= 1)
        return;
    // The stack cannot drop its oldest steps: it is built again without them.
    std::vector<const TEditCommand*> steps;
    for (int i = 0; i < FUndoStack->index(); ++i)
        steps.push_back(static_cast<const TEditCommand*>(FUndoStack->command(i)));
    const auto bytesFrom = [&steps](size_t first) {
        std::unordered_set<const TImageData*> seen;
        uint64_t bytes = 0;
        for (size_t i = first; i < steps.size(); ++i)
            steps[i]->CountOwnedBytes(seen, bytes);
        return bytes;
    };
    size_t dropped = 0;
    while (dropped + 1 < steps.size() && bytesFrom(dropped) > FHistoryLimit)
        ++dropped;
    std::vector<TEditCommand*> kept;
    for (size_t i = dropped; i < steps.size(); ++i)
        kept.push_back(steps[i]->Copy());
    FUndoStack->clear();
    // Pushed as made: their first redo has nothing to do.
    for (TEditCommand* command : kept)
        FUndoStack->push(command);
    if (dropped > 0)
        emit Note(
            tr("撤销记录超过 %1 MB，已放弃最早的 %2 步").arg(FHistoryLimit >> 20).arg(dropped));
}

void TLibraryDocument::Relink(TEditCommand& command, bool toBefore,
                              std::shared_ptr<const TRecordList> now) {
    int index = -1;
    for (int i = 0; i < FUndoStack->count() && index < 0; ++i)
        if (FUndoStack->command(i) == &command)
            index = i;
    const int neighbour = toBefore ? index - 1 : index + 1;
    if (index >= 0 && neighbour >= 0 && neighbour < FUndoStack->count())
        static_cast<TEditCommand*>(const_cast<QUndoCommand*>(FUndoStack->command(neighbour)))
            ->SetSide(!toBefore, now);
    command.SetSide(toBefore, std::move(now));
}

void TLibraryDocument::ForgetHistory() {
    FUndoStack->clear();
}

void TLibraryDocument::ChangedOutside() {
    const bool hadSteps = FUndoStack->count() > 0;
    FUndoStack->clear();
    emit Note(hadSteps ? tr("文件已被其他程序修改，撤销记录已清除")
                       : tr("文件已被其他程序修改，已重新读取"));
}

void TLibraryDocument::AfterRecordsChanged() {
    ClampSelection();
    emit RecordsChanged();
}

void TLibraryDocument::Edit(const QString& name, const std::function<void(TGameImages&)>& body) {
    if (Busy())
        return;
    RefreshIfChanged();
    const TPendingEdit edit = BeginPending(name, true);
    struct TFinish {
        TLibraryDocument* Document;
        const TPendingEdit& Edit;
        ~TFinish() {
            try {
                Document->FinishEdit(Edit);
            } catch (...) {
            }
        }
    } finish{this, edit};
    TBusyGuard busy(*this);
    body(*FLibrary);
}

TOffsetResult TLibraryDocument::SetOffset(int index, TPoint value) {
    return ChangeOffset(
        index, [value](TPoint) { return value; }, false);
}

TOffsetResult TLibraryDocument::MoveOffset(int index, QPoint delta) {
    return ChangeOffset(
        index,
        [delta](TPoint from) {
            return TPoint{from.X + delta.x(), from.Y + delta.y()};
        },
        true);
}

TOffsetResult TLibraryDocument::ChangeOffset(int index, const std::function<TPoint(TPoint)>& to,
                                             bool merge) {
    TOffsetResult stored;
    if (Busy())
        return stored;
    RefreshIfChanged();
    if (index < 0 || index >= ImageCount())
        return stored;
    const TPendingEdit edit = BeginPending(tr("坐标"), true);
    TOffsetResult from;
    bool finished = false;
    {
        struct TFinish {
            TLibraryDocument* Document;
            const TPendingEdit& Edit;
            const bool& Finished;
            ~TFinish() {
                if (!Finished)
                    try {
                        Document->FinishEdit(Edit);
                    } catch (...) {
                    }
            }
        } finish{this, edit, finished};
        TBusyGuard busy(*this);
        if (Kind() != t_Wis && FLibrary->EditRefusal() == TEditRefusal::erNone) {
            // The move is made on what the file holds when the edit lock is won: a save of
            // another program that the edit waited for is read in first.
            TGameImages::TUpdate update = FLibrary->BeginUpdate(-1);
            from = ReadOffset(*FLibrary, index);
            if (!from.Done)
                return from;
            const TPoint value = to(from.Offset);
            if (!StorableOffset(value)) {
                stored.Error = "offsets are stored as 16-bit values (-32768..32767)";
                return stored;
            }
            if (!update.SetPoint(index, value)) {
                stored.Error = "the library did not store the offset (an empty image has none)";
                return stored;
            }
            update.EndUpdate();
            stored.Offset = FLibrary->GetPoint(index);
            stored.Done = stored.Offset == value;
        } else {
            // WIS libraries take offsets through SetPoint alone; a refusing library says why.
            from = ReadOffset(*FLibrary, index);
            if (!from.Done)
                return from;
            stored = WriteOffset(*FLibrary, index, to(from.Offset));
        }
        finished = true;
    }
    // The step remembers the change, so that it undoes in place and quick moves merge.
    const std::shared_ptr<const TRecordList> after = FLibrary->Records();
    if (FLibrary->ReloadCount() != edit.Reloads) {
        ChangedOutside();
    } else if (after != edit.Before) {
        auto* command = new TEditCommand(*this, edit.Name, edit.Before, after);
        command->SetOffsetMove(index, from.Offset, stored.Offset, merge ? NowMs() : -1);
        FUndoStack->push(command);
    }
    StampFiles();
    AfterRecordsChanged();
    return stored;
}

bool TLibraryDocument::StartWork(std::function<void(TGameImages&, TJobControl&)> body,
                                 std::function<void(const TJobEnd&)> finished,
                                 TJobHandlers handlers) {
    if (Busy())
        return false;
    SetBusy(+1);
    auto progress = std::make_shared<QMetaObject::Connection>();
    auto done = std::make_shared<QMetaObject::Connection>();
    *progress = connect(FWorker, &TWorker::Progress, this, [this, handlers](int d, int total) {
        emit JobProgress(d, total);
        if (handlers.Progress)
            handlers.Progress(d, total);
    });
    *done = connect(FWorker, &TWorker::Finished, this, [=, this] {
        disconnect(*progress);
        disconnect(*done);
        const TJobEnd end{FWorker->Error(), FWorker->CancelledAt()};
        SetBusy(-1);
        if (finished)
            finished(end);
        if (handlers.Finished)
            handlers.Finished(end);
        // Changes that came while the job ran are looked at now.
        if (!Busy())
            FCheckTimer->start(0);
    });
    TGameImages* library = FLibrary.get();
    FWorker->Start(
        [library, body = std::move(body)](TJobControl& control) { body(*library, control); });
    return true;
}

bool TLibraryDocument::StartEdit(const QString& name,
                                 std::function<void(TGameImages&, TJobControl&)> body,
                                 TJobHandlers handlers, bool undoable) {
    if (Busy())
        return false;
    RefreshIfChanged();
    const TPendingEdit edit = BeginPending(name, undoable);
    return StartWork(
        std::move(body), [this, edit](const TJobEnd&) { FinishEdit(edit); }, std::move(handlers));
}

bool TLibraryDocument::StartJob(std::function<void(TGameImages&, TJobControl&)> body,
                                TJobHandlers handlers) {
    return StartWork(std::move(body), {}, std::move(handlers));
}

void TLibraryDocument::CancelJob() {
    FWorker->Cancel();
}

void TLibraryDocument::WaitForJob() {
    FWorker->Wait();
}

} // namespace velmora
