#include "core/game_images.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/png_picture.h"
#include "core/file_ops.h"
#include "core/journal.h"
#include "core/utils.h"

#include <cfenv>
#include <unistd.h>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmora {

const char* EditRefusalText(TEditRefusal Refusal) {
    switch (Refusal) {
    case TEditRefusal::erNone:
        return "";
    case TEditRefusal::erNotOpen:
        return "the library is not open";
    case TEditRefusal::erReadOnlyFormat:
        return "WIS libraries cannot be changed (only their offsets)";
    case TEditRefusal::erReadOnlyFile:
        return "the library can be opened for reading only";
    case TEditRefusal::erIndexMissing:
        return "the index file is missing or empty; repair the library first";
    case TEditRefusal::erIndexDamaged:
        return "the index does not match the data file; repair the library first";
    case TEditRefusal::erFileCutShort:
        return "the file is cut short: it no longer tells where its images are";
    case TEditRefusal::erSavePending:
        return "an interrupted save waits to be finished and its journal cannot be applied "
               "(velmora-cli repair says what to do)";
    }
    return "";
}

EEditRefused::EEditRefused(const std::string& FileName, TEditRefusal Refusal)
    : std::runtime_error(FileName + ": " + EditRefusalText(Refusal)), FRefusal(Refusal) {}

TGameImages::TGameImages(const std::string& AFileName, TImageType Image)
    : FFileName(AFileName), FImageType(Image),
      FState(std::make_shared<const TClosedState>(Image, FBitCount)) {
    FSnapshot = std::make_shared<const TSnapshot>(TRecordList(), FState);
}

// A virtual call from here would reach only this class's Finalize, so derived classes call their
// own Finalize in their destructors; this runs the base part, which is safe to repeat.
TGameImages::~TGameImages() {
    TGameImages::Finalize();
}

void TGameImages::DoBeginRead() {
    if (FOnBeginRead)
        FOnBeginRead(this);
}
void TGameImages::DoRead() {
    if (FOnRead)
        FOnRead(this);
}
void TGameImages::DoEndRead() {
    if (FOnEndRead)
        FOnEndRead(this);
}

std::unique_ptr<TImageData> TGameImages::EncodeImage(TDIB&, int, int, uint8_t, const TDIB*) {
    return nullptr;
}

std::unique_ptr<TImageData> TGameImages::ConvertRecord(const TImageData*, TImageType, int,
                                                       uint8_t) {
    return nullptr;
}

// The thin calls on the current snapshot: a header that cannot be read (a read error, another
// program's change) reads as an image out of range; the readers that must tell (exports, the
// check, the grid) decode from a snapshot themselves.
TPicture* TGameImages::GetBitmap(int Index) {
    Source.reset();
    try {
        Source = Snapshot()->Bitmap(Index);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TGameImages::Get(int Index, int& px, int& py) {
    try {
        return Snapshot()->Get(Index, px, py);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TGameImages::GetPoint(int Index) {
    try {
        return Snapshot()->GetPoint(Index);
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<TImageDescription> TGameImages::Describe(int Index, bool WithAlpha) {
    try {
        return Snapshot()->Describe(Index, WithAlpha);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::unique_ptr<TDIB> TGameImages::FillDIB() const {
    return TClosedState(FImageType, FBitCount).FillDIB();
}

TIndexRepair TGameImages::RepairIndex(bool) {
    throw EEditRefused(FFileName, TEditRefusal::erReadOnlyFormat);
}

bool TGameImages::TryPassWord(const std::string&) {
    return false;
}

void TGameImages::ChangePassWord(const std::string&, bool, std::vector<TAccompanyingFile>) {
    throw EEditRefused(FFileName, TEditRefusal::erReadOnlyFormat);
}

void TGameImages::Initialize() {}

const TRecoveryReport& TGameImages::Recover() {
    FRecovery = {};
    FRecoveredForOpen = false;
    FRecovery = RecoverLibrary(RecoveryFiles(), FHeldLock);
    FRecoveredForOpen = true;
    return FRecovery;
}

void TGameImages::RecoverForOpen() {
    if (!FRecoveredForOpen)
        Recover();
    FRecoveredForOpen = false;
}

std::string TGameImages::RecoveryProblem() const {
    if (FRecovery.Problem.empty())
        return {};
    return "the journal " + ExtractFileName(FRecovery.Journal) +
           " of an interrupted save cannot be applied: " + FRecovery.Problem;
}

TFolderLock TGameImages::LockForReading() {
    for (int attempt = 0;; ++attempt) {
        TFolderLock lock(FFileName, TFolderLock::flShared);
        // A writer that died after the recovery left its journal: recover again, a few times.
        if (FHeldLock || attempt == 3 || !FRecovery.Problem.empty() ||
            !InterruptedSaveWaiting(FFileName))
            return lock;
        lock.Release();
        Recover();
    }
}

TLibraryLock TGameImages::LockForReplacing() {
    TLibraryLock lock;
    if (FileExists(FFileName))
        lock = TLibraryLock(FFileName);
    if (const TRecoveryReport report =
            RecoverLibrary(RecoveryFiles(), lock.Locked() ? &lock : nullptr);
        !report.Problem.empty())
        throw EFileError(FFileName,
                         "the journal " + ExtractFileName(report.Journal) +
                             " of an interrupted save cannot be applied: " + report.Problem);
    return lock;
}

void TGameImages::Finalize() {
    FState = std::make_shared<const TClosedState>(FImageType, FBitCount);
    TSnapshotPtr empty = std::make_shared<const TSnapshot>(TRecordList(), FState);
    {
        std::lock_guard lock(FSnapshotLock);
        FSnapshot.swap(empty);
    }
    FStamps.clear();
    Source.reset();
}

// The base class writes nothing: each format that can be created overrides it.
bool TGameImages::CreateFile(uint8_t, const std::string&) {
    return false;
}

TSnapshotPtr TGameImages::Snapshot() const {
    std::lock_guard lock(FSnapshotLock);
    return FSnapshot;
}

std::shared_ptr<const TRecordList> TGameImages::Records() const {
    TSnapshotPtr snapshot = Snapshot();
    const TRecordList* records = &snapshot->Records();
    return std::shared_ptr<const TRecordList>(std::move(snapshot), records);
}

int TGameImages::RecordCount() const {
    return Snapshot()->Count();
}

TRecord TGameImages::RecordAt(int Index) const {
    TSnapshotPtr snapshot = Snapshot();
    const TImageData* record = snapshot->Record(Index);
    if (!record)
        return nullptr;
    return TRecord(std::move(snapshot), record);
}

void TGameImages::SetState(std::shared_ptr<const TFormatState> State) {
    FState = std::move(State);
}

void TGameImages::SetRecords(TRecordList Records) {
    auto next = std::make_shared<const TSnapshot>(std::move(Records), FState);
    {
        std::lock_guard lock(FSnapshotLock);
        FSnapshot.swap(next);
    }
    // The old list is released outside the lock: the last snapshot of a file closes it.
    next.reset();
    StampFiles();
}

void TGameImages::StampFiles() {
    FStamps.clear();
    for (const std::string& name : WatchedFiles())
        FStamps.push_back(FileStampOf(name));
}

bool TGameImages::ChangedElsewhere() const {
    return m_FileStream && m_FileStream->ChangedElsewhere();
}

bool TGameImages::FilesChangedOnDisk() const {
    const std::vector<std::string> files = WatchedFiles();
    if (files.size() != FStamps.size())
        return true;
    for (size_t i = 0; i < files.size(); ++i)
        if (FileStampOf(files[i]) != FStamps[i])
            return true;
    return false;
}

TEditRefusal TGameImages::EditRefusal(bool) const {
    if (!FInitialized || !m_FileStream)
        return TEditRefusal::erNotOpen;
    if (!FRecovery.Problem.empty())
        return TEditRefusal::erSavePending;
    if (FReadOnly)
        return TEditRefusal::erReadOnlyFile;
    return TEditRefusal::erNone;
}

int64_t TGameImages::StoredSize() const {
    return m_FileStream ? m_FileStream->Size() : 0;
}

uint64_t TGameImages::RoomForRecords() const {
    const int64_t limit = std::numeric_limits<int32_t>::max();
    const int64_t size = StoredSize();
    if (size >= limit)
        return 0;
    return uint64_t(limit - size) / std::max<uint64_t>(1, BlankRecordBytes());
}

bool TGameImages::Reload() {
    const TNotifyEvent begin = FOnBeginRead, read = FOnRead, end = FOnEndRead;
    FOnBeginRead = FOnRead = FOnEndRead = nullptr;
    Finalize();
    Initialize();
    FOnBeginRead = begin;
    FOnRead = read;
    FOnEndRead = end;
    return FInitialized;
}

TRecordList TGameImages::SaveRecords(const TRecordList&, const TUpdateSummary&) {
    throw EFileError(FFileName, "this kind of library cannot be written");
}

TRecord TGameImages::WithPoint(const TImageData&, TPoint) const {
    return nullptr;
}

TGameImages::TUpdate TGameImages::BeginUpdate(int Index) {
    return BeginEdit(Index, false);
}

TGameImages::TUpdate TGameImages::BeginOffsetUpdate() {
    return BeginEdit(-1, true);
}

TGameImages::TUpdate TGameImages::BeginEdit(int Index, bool OffsetsOnly) {
    // A read-only file may yet be made writable (below); every other refusal stands.
    if (const TEditRefusal refusal = EditRefusal(OffsetsOnly);
        refusal != TEditRefusal::erNone && refusal != TEditRefusal::erReadOnlyFile)
        throw EEditRefused(FFileName, refusal);
    TLibraryLock lock(FFileName, FLockTimeout);
    // A file made read-only is made writable for the edit (the owner's write permission), as the
    // program has always done; reading alone never changes it.
    bool reload = false;
    if (FReadOnly)
        for (const std::string& name : WatchedFiles())
            if (FileExists(name) && ::access(name.c_str(), W_OK) != 0) {
                ResetFileAttributes(name);
                reload = true;
            }
    // Another program saved the library since it was read, or one that died left its save
    // unfinished: build the edit on what is on disk now, never over it.
    if (reload || FilesChangedOnDisk() || ChangedElsewhere() ||
        FileExists(JournalNameFor(FFileName))) {
        struct THeld {
            const TLibraryLock*& Held;
            ~THeld() { Held = nullptr; }
        } held{FHeldLock};
        FHeldLock = &lock;
        ++FReloadCount;
        if (!Reload())
            throw EFileError(FFileName,
                             "the library was changed by another program and cannot be read again");
    }
    if (const TEditRefusal refusal = EditRefusal(OffsetsOnly); refusal != TEditRefusal::erNone)
        throw EEditRefused(FFileName, refusal);
    return TUpdate(*this, Index, std::move(lock));
}

bool TGameImages::Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (StartIndex < 0 || StartIndex > StopIndex || StopIndex >= RecordCount())
        return false;
    TUpdate update = BeginUpdate(-1);
    if (!update.Delete(StartIndex, StopIndex, NotifyEvent))
        return false;
    update.EndUpdate();
    return true;
}

bool TGameImages::Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (StartIndex < 0 || StartIndex > StopIndex || StopIndex >= RecordCount())
        return false;
    TUpdate update = BeginUpdate(-1);
    if (!update.Fill(StartIndex, StopIndex, NotifyEvent))
        return false;
    update.EndUpdate();
    return true;
}

bool TGameImages::SetPoint(int Index, TPoint Value) {
    const TRecord record = RecordAt(Index);
    if (!record || !WithPoint(*record, Value))
        return false;
    TUpdate update = BeginEdit(-1, true);
    if (!update.SetPoint(Index, Value))
        return false;
    update.EndUpdate();
    return true;
}

TGameImages::TUpdate::TUpdate(TGameImages& Library, int Index, TLibraryLock Lock)
    : FLibrary(&Library), FRecords(Library.Snapshot()->Records()), m_nIndex(Index),
      FLock(std::move(Lock)) {}

TGameImages::TUpdate::TUpdate(TUpdate&& Other) noexcept
    : FLibrary(Other.FLibrary), FRecords(std::move(Other.FRecords)), m_nIndex(Other.m_nIndex),
      FLock(std::move(Other.FLock)), FSummary(std::move(Other.FSummary)), FChanged(Other.FChanged),
      FOpen(Other.FOpen) {
    Other.FOpen = false;
}

void TGameImages::TUpdate::NoteStructuralChange() {
    FChanged = true;
    FSummary.PointsOnly = false;
}

bool TGameImages::TUpdate::Add(TDIB& ASource, int X, int Y, uint8_t btEncr0, const TDIB* Alpha) {
    return FOpen && Add(FLibrary->EncodeImage(ASource, X, Y, btEncr0, Alpha));
}

bool TGameImages::TUpdate::Add(std::unique_ptr<TImageData> Record) {
    if (!FOpen || !Record)
        return false;
    FRecords.push_back(std::move(Record));
    FChanged = true;
    FSummary.PointsOnly = false;
    return true;
}

bool TGameImages::TUpdate::Insert(int, TDIB& ASource, int X, int Y, uint8_t btEncr0,
                                  const TDIB* Alpha) {
    return AtImage() && Insert(FLibrary->EncodeImage(ASource, X, Y, btEncr0, Alpha));
}

bool TGameImages::TUpdate::Insert(std::unique_ptr<TImageData> Record) {
    if (!AtImage() || !Record)
        return false;
    FRecords.insert(FRecords.begin() + m_nIndex, std::move(Record));
    ++m_nIndex;
    NoteStructuralChange();
    return true;
}

// A picture that cannot be encoded keeps the old record in its slot: removing the slot would
// renumber every later image of a library that the game addresses by number.
bool TGameImages::TUpdate::Replace(int, TDIB& ASource, int X, int Y, uint8_t btEncr0,
                                   const TDIB* Alpha) {
    return AtImage() && Replace(FLibrary->EncodeImage(ASource, X, Y, btEncr0, Alpha));
}

bool TGameImages::TUpdate::Replace(std::unique_ptr<TImageData> Record) {
    if (!AtImage() || !Record)
        return false;
    FRecords[size_t(m_nIndex)] = std::move(Record);
    ++m_nIndex;
    NoteStructuralChange();
    return true;
}

bool TGameImages::TUpdate::AtImage() const {
    return FOpen && m_nIndex >= 0 && size_t(m_nIndex) < FRecords.size();
}

bool TGameImages::TUpdate::Convert(const TImageData* SourceImageData, const TSnapshot& Source,
                                   uint8_t btEncr0) {
    if (!FOpen)
        return false;
    std::unique_ptr<TImageData> record =
        FLibrary->ConvertRecord(SourceImageData ? &SourceImageData->Loaded() : nullptr,
                                Source.Kind(), Source.BitCount(), btEncr0);
    if (!record)
        return false;
    FRecords.push_back(std::move(record));
    FChanged = true;
    FSummary.PointsOnly = false;
    return true;
}

bool TGameImages::TUpdate::Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (!FOpen || StartIndex < 0 || StartIndex > StopIndex || size_t(StopIndex) >= FRecords.size())
        return false;
    for (int i = StopIndex; i >= StartIndex; --i)
        if (NotifyEvent)
            NotifyEvent(FLibrary);
    FRecords.erase(FRecords.begin() + StartIndex, FRecords.begin() + StopIndex + 1);
    NoteStructuralChange();
    return true;
}

bool TGameImages::TUpdate::Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (!FOpen || StartIndex < 0 || StartIndex > StopIndex || size_t(StopIndex) >= FRecords.size())
        return false;
    const auto emptied = std::make_shared<const TImageData>();
    for (int i = StartIndex; i <= StopIndex; ++i) {
        if (NotifyEvent)
            NotifyEvent(FLibrary);
        FRecords[size_t(i)] = emptied;
    }
    NoteStructuralChange();
    return true;
}

bool TGameImages::TUpdate::SetPoint(int Index, TPoint Value) {
    if (!FOpen || Index < 0 || size_t(Index) >= FRecords.size())
        return false;
    TRecord changed = FLibrary->WithPoint(FRecords[size_t(Index)]->Loaded(), Value);
    if (!changed)
        return false;
    FRecords[size_t(Index)] = std::move(changed);
    FChanged = true;
    FSummary.PointsChanged.push_back(size_t(Index));
    return true;
}

void TGameImages::TUpdate::MarkChanged() {
    NoteStructuralChange();
}

void TGameImages::TUpdate::ReplaceAll(TRecordList Records) {
    if (!FOpen)
        return;
    FRecords = std::move(Records);
    m_nIndex = std::min<int32_t>(m_nIndex, int32_t(FRecords.size()));
    NoteStructuralChange();
}

void TGameImages::TUpdate::EndUpdate() {
    if (!FOpen)
        throw EFileError(FLibrary ? FLibrary->FFileName : std::string(),
                         "the edit has already ended");
    FOpen = false;
    // The lock goes with the edit, also when the save fails, so that the next edit can begin.
    struct TRelease {
        TLibraryLock& Lock;
        ~TRelease() { Lock.Release(); }
    } release{FLock};
    if (!FChanged)
        return;
    // The new list becomes current only once the files hold it.
    TRecordList saved = FLibrary->SaveRecords(FRecords, FSummary);
    FLibrary->SetRecords(std::move(saved));
}

void TGameImages::StretchBlt(int Index, TDIB& DC, int X, int Y, int& Width, int& Height) {
    TPicture* picture = GetBitmap(Index);
    if (!picture)
        return;
    FitToBox(picture->Width(), picture->Height(), Width, Height);
    DrawGraphic(*picture, DC, X, Y, Width, Height);
}

void FitToBox(int W, int H, int& Width, int& Height) {
    if (W > Width || H > Height) {
        // Round to nearest, halves to even (the default floating-point rounding).
        auto roundEven = [](double v) -> int {
            int mode = std::fegetround();
            std::fesetround(FE_TONEAREST);
            double r = std::nearbyint(v);
            std::fesetround(mode);
            return int(r);
        };
        if (W > H)
            Height = W != 0 ? roundEven(double(H) * double(Height) / double(W)) : 0;
        else
            Width = H != 0 ? roundEven(double(W) * double(Width) / double(H)) : 0;
    } else {
        Width = W;
        Height = H;
    }
}

void DrawGraphic(const TPicture& Picture, TDIB& DC, int X, int Y, int Width, int Height) {
    // 1. A working bitmap of the picture; alpha pictures become 32 bits with alpha on top.
    TDIB work;
    if (const TPngPicture* png = Picture.AsPng()) {
        std::unique_ptr<TDIB> converted = png->HasAlpha() ? png->ToDIBWithAlpha() : png->ToDIB();
        work = std::move(*converted);
    } else if (const TDIB* dib = Picture.AsDIB()) {
        work = *dib;
    } else {
        return;
    }
    if (Width <= 0 || Height <= 0 || work.Empty())
        return;
    // 2. Stretch it into a surface of the box's size, then compose with black transparent.
    TDIB stretched;
    stretched.SetSize(Width, Height, 32);
    stretched.StretchDraw(0, 0, Width, Height, work);
    BlitTransparent(DC, X, Y, stretched, RGBColor(0, 0, 0));
}

} // namespace velmora
