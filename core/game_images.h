#pragma once

#include "core/dib.h"
#include "core/file_replacement.h"
#include "core/file_stream.h"
#include "core/image_record.h"
#include "core/library_lock.h"
#include "core/picture.h"
#include "core/recovery.h"
#include "core/snapshot.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

class TGameImages;
// A notification called with the library as sender.
using TNotifyEvent = std::function<void(TGameImages* Sender)>;

// Why a library takes no edit.
enum class TEditRefusal : uint8_t {
    erNone,
    erNotOpen,        // nothing is open
    erReadOnlyFormat, // WIS libraries take offsets only
    erReadOnlyFile,   // the file could be opened for reading only
    erIndexMissing,   // the index file is missing, empty or not a file
    erIndexDamaged,   // the index names records the data file does not hold
    erSavePending,    // an interrupted save's journal cannot be applied (see RecoveryProblem)
    erFileCutShort,   // the file ends before the part that tells where its images are
};
// The reason in English, for the command line and the log.
const char* EditRefusalText(TEditRefusal Refusal);

// An edit was asked of a library that refuses edits (see TGameImages::EditRefusal).
class EEditRefused : public std::runtime_error {
public:
    EEditRefused(const std::string& FileName, TEditRefusal Refusal);
    TEditRefusal Refusal() const { return FRefusal; }

private:
    TEditRefusal FRefusal;
};

// What a rebuild of the index found in the data file.
struct TIndexRepair {
    int Found = 0;           // records found, one after another from the first record position
    int64_t UnreadBytes = 0; // bytes after the last record found that are not understood
    bool Written = false;    // the new index replaced the old one (false: it was the same)
    std::string IndexFile;   // the index file written (or that would be written)
    std::string BackupFile;  // where the old index was kept; empty when there was none
};

// The abstract library: one object stands for one library file.
//
// The library object owns the current snapshot (TSnapshot: the records and the format state they
// are decoded with) and writes the next one. Readers (the grid's thumbnail workers, export
// workers, the check, the command line) take the current snapshot and decode from it alone, on
// any thread, without locks or busy flags; Get, GetBitmap, GetPoint and Describe are thin calls
// on the current snapshot. An edit is a transaction, TUpdate, opened by BeginUpdate: it builds the
// next list of records from the current one (sharing the records it does not change); EndUpdate
// writes the library's files through a crash-safe replacement and, only when that succeeded,
// makes the new list the current snapshot. A failure or an exception discards the transaction,
// so what the library shows is always what is on disk. Delete, Fill, SetPoint (and a Pak
// library's ChangePassword) are transactions of their own.
//
// A transaction holds an exclusive advisory lock on the data file, and a library changed on disk
// by another program since it was read is read again before the edit is built.
//
// Refusals are results (false, null, (0, 0)); file-system errors while writing raise EFileError.
class TGameImages {
public:
    class TUpdate;

    TGameImages(const std::string& AFileName, TImageType Image);
    TGameImages(const TGameImages&) = delete;
    TGameImages& operator=(const TGameImages&) = delete;
    // Derived classes call their own Finalize in their destructors.
    virtual ~TGameImages();

    // Reading, on the current snapshot: Get, GetPoint, Describe and Snapshot may be used from any
    // thread; GetBitmap and StretchBlt, which share Source, from one thread at a time. A header
    // that cannot be read gives what an image out of range gives.
    //
    // The library keeps the picture (it becomes Source) until the next GetBitmap or Finalize.
    TPicture* GetBitmap(int Index);
    // A new picture the caller owns; px, py receive the offset.
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py);
    TPoint GetPoint(int Index);
    // A new 1x1 blank picture of the library's bit count.
    std::unique_ptr<TDIB> FillDIB() const;
    // Size, offset and kind of image Index as the format stores them, read from its header where
    // the format has one (WithAlpha decodes a compressed image to tell whether it carries an alpha
    // plane; without it that stays unknown). None out of range.
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha);

    virtual void Initialize();
    virtual void Finalize();

    // Finishes or undoes a save of this library that a crash, a kill or an I/O error cut short,
    // before anything is read (see RecoverLibrary); Initialize runs it first, and an open that
    // must settle the password list first (a Pak's password change) runs it before. Raises
    // EFileError when a step fails: the library must then not be read.
    const TRecoveryReport& Recover();
    // What the last recovery found.
    const TRecoveryReport& LastRecovery() const { return FRecovery; }
    // Every file a save of the library may write, the data file first: what its journals may
    // name, and whose leftovers a recovery removes.
    virtual std::vector<std::string> RecoveryFiles() const { return {FFileName}; }
    // A journal of an interrupted save that cannot be applied: the journal and what is wrong with
    // it, in one sentence; empty when there is none. The library then takes no edit.
    std::string RecoveryProblem() const;

    // Builds a record from a picture in the library's layout; null when the picture cannot be
    // stored.
    virtual std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                                    const TDIB* Alpha);
    // Builds the record that stands for a record of another library during a conversion: an
    // empty record when that record cannot be converted, so that numbering stays aligned; null
    // when this kind takes no converted records. SourceKind and SourceBitCount are those of the
    // source library's snapshot.
    virtual std::unique_ptr<TImageData> ConvertRecord(const TImageData* SourceImageData,
                                                      TImageType SourceKind, int SourceBitCount,
                                                      uint8_t btEncr0);
    virtual bool CreateFile(uint8_t ABitCount, const std::string& PassWord);

    // Opens an edit transaction with its cursor at Index (for Insert and Replace). Raises
    // EEditRefused when the library takes no edits, ELibraryBusy when another program holds the
    // library's lock for longer than the lock timeout, EFileError when the library was changed on
    // disk and cannot be read again.
    TUpdate BeginUpdate(int Index);
    // Opens an edit of offsets alone (TUpdate::SetPoint only), which the kinds that take no other
    // edit (WIS) take as well. Raises as BeginUpdate.
    TUpdate BeginOffsetUpdate();
    // Removes (Delete) or empties (Fill) images StartIndex .. StopIndex as one transaction;
    // NotifyEvent is called once per image. False, with nothing written, for a range outside the
    // library. Raises as BeginUpdate and EndUpdate.
    bool Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    bool Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    // Stores a new offset for image Index as one transaction. False, with nothing written, for an
    // index out of range and for images that hold no offset (empty slots). Raises as BeginUpdate
    // and EndUpdate.
    bool SetPoint(int Index, TPoint Value);

    // Draws image Index into DC with its top-left corner at (X, Y), fitted into Width x Height;
    // returns the drawn size in Width and Height. Draws nothing (sizes unchanged) when
    // GetBitmap yields null.
    void StretchBlt(int Index, TDIB& DC, int X, int Y, int& Width, int& Height);

    // The current snapshot. Never null.
    TSnapshotPtr Snapshot() const;
    // The records of the current snapshot (kept alive with it). Never null.
    std::shared_ptr<const TRecordList> Records() const;
    // The number of records: the bound of every index.
    int RecordCount() const;
    // What the user interface calls the image count: the number of records.
    int ImageCount() const { return RecordCount(); }
    // The image count the file's header gives, shown as information only; it may differ from the
    // records when the library is damaged.
    virtual int HeaderImageCount() const { return RecordCount(); }
    // How many more blank images the library's files can take before one of them would outgrow
    // the 2 GiB their 32-bit positions address.
    uint64_t RoomForRecords() const;
    // What is wrong with the library's files as a whole (an index missing or not matching the
    // data file, a file cut short), as one sentence; empty when nothing is.
    virtual std::string DamageText() const { return {}; }
    // Why the library takes no edit (erNone when it takes them). OffsetsOnly asks about SetPoint.
    virtual TEditRefusal EditRefusal(bool OffsetsOnly = false) const;

    // The format's own facts about the open library's files.
    TFormatFacts Facts() const { return Snapshot()->State().Facts(); }

    // The index file of a WIL or WZL library: its state when the library was read, its name, and
    // its rebuild from the data file. Other kinds have none (isGood, no name).
    TIndexState IndexState() const { return Snapshot()->State().IndexState(); }
    virtual std::string IndexFileName() const { return {}; }
    // Rebuilds the index by scanning the data file from its first record on, stopping cleanly at
    // the first record that does not fit. Unless DryRun, the old index (if any) is kept as its
    // name + ".bak", the new one replaces it crash-safely and the library is read again. Runs under
    // the library's edit lock. Raises EFileError (nothing is changed then); EEditRefused
    // (erReadOnlyFormat) for a kind without an index file.
    virtual TIndexRepair RepairIndex(bool DryRun);

    // Password protection (Pak libraries). TryPassWord gives the library a password and checks it
    // against the file before Initialize (false when it does not fit, and for every other kind).
    virtual bool TakesPassWord() const { return false; }
    virtual bool TryPassWord(const std::string& PassWord);
    // Re-keys the opened library under a new password (empty = the default password) as one
    // edit; with Backup a copy of the old file becomes FileName + ".bak" in the same step. Along
    // are files of the program replaced in that step too, after the library (the password list
    // naming the new password). Raises EEditRefused when the library takes no password or no
    // edits, EFileError when it cannot be written (it stays as it was; EReplacementIncomplete:
    // the next opening finishes the change).
    virtual void ChangePassWord(const std::string& NewPassWord, bool Backup,
                                std::vector<TAccompanyingFile> Along);

    const std::string& FileName() const { return FFileName; }
    TImageType ImageType() const { return FImageType; }
    int BitCount() const { return FBitCount; }
    bool Initialized() const { return FInitialized; }
    // The data file could be opened for reading only.
    bool ReadOnly() const { return FReadOnly; }

    // Whether an edit may be written into the library's files where they lie (new records after
    // the end, changed headers patched) instead of writing them anew. On by default; off, every
    // edit takes the full rewrite, whose bytes the in-place saves reproduce exactly.
    void SetInPlaceSaves(bool Allowed) { FInPlaceSaves = Allowed; }
    bool InPlaceSaves() const { return FInPlaceSaves; }

    // How many times an edit found the library changed on disk by another program and read it
    // again before building on it. An editor that keeps undo steps compares it around an edit: a
    // step built on a library read anew does not start from what the editor showed before.
    uint64_t ReloadCount() const { return FReloadCount.load(); }

    // How long a transaction waits for another program's lock.
    void SetLockTimeout(std::chrono::milliseconds Timeout) { FLockTimeout = Timeout; }

    void SetOnBeginRead(TNotifyEvent e) { FOnBeginRead = std::move(e); }
    void SetOnRead(TNotifyEvent e) { FOnRead = std::move(e); }
    void SetOnEndRead(TNotifyEvent e) { FOnEndRead = std::move(e); }
    // The installed read events, so that a command borrowing them can put them back.
    const TNotifyEvent& OnBeginRead() const { return FOnBeginRead; }
    const TNotifyEvent& OnRead() const { return FOnRead; }
    const TNotifyEvent& OnEndRead() const { return FOnEndRead; }

protected:
    // What a transaction changed, so that a format can choose how to write it.
    struct TUpdateSummary {
        // Only offsets changed, in these records (no record added, removed or replaced).
        bool PointsOnly = true;
        std::vector<size_t> PointsChanged;
    };

    // Writes the library's files from Records, the complete list of the next snapshot, and
    // returns the records as they now lie in the new files (their payloads read from there),
    // having made the state of the new files current (SetState). The old files and the format's
    // state must stay as they were when it raises.
    virtual TRecordList SaveRecords(const TRecordList& Records, const TUpdateSummary& Summary);
    // The record with its stored offset changed, or null when it holds none.
    virtual TRecord WithPoint(const TImageData& Record, TPoint Value) const;
    // BeginUpdate for an edit of offsets alone (SetPoint), which WIS libraries take.
    TUpdate BeginEdit(int Index, bool OffsetsOnly);
    // The bytes a blank image adds to the library's largest file, and that file's size now.
    virtual uint64_t BlankRecordBytes() const { return 4; }
    virtual int64_t StoredSize() const;
    // Reads the library again after another program changed it. False when it cannot be read.
    virtual bool Reload();
    // The files whose change on disk means the library must be read again.
    virtual std::vector<std::string> WatchedFiles() const { return {FFileName}; }
    // Recover, unless it ran just before for this open.
    void RecoverForOpen();
    // The shared folder lock an open reads the library's files under, so that it never sees a
    // save half made; a save that a writer left meanwhile is recovered first.
    TFolderLock LockForReading();
    // The edit lock of a library that a new one is about to replace, with any save of it that
    // was cut short settled first (no lock when the file is not there). Raises EFileError when
    // such a save cannot be settled.
    TLibraryLock LockForReplacing();

    // The format state of the library's files as they are now: the next snapshot's.
    void SetState(std::shared_ptr<const TFormatState> State);
    const std::shared_ptr<const TFormatState>& State() const { return FState; }
    // Installs the records of a freshly read or written library, with the current state, as the
    // current snapshot and notes the state of the watched files.
    void SetRecords(TRecordList Records);
    // Notes the state of the watched files (after an edit that patched them in place).
    void StampFiles();
    bool FilesChangedOnDisk() const;
    // The open files were changed through another handle (TFileStream::ChangedElsewhere), which
    // tells another library object of this program at once, whatever the clock's tick.
    virtual bool ChangedElsewhere() const;
    // The whole record at Index of the current snapshot (its header read), or null.
    TRecord RecordAt(int Index) const;

    void DoBeginRead();
    void DoRead();
    void DoEndRead();

    std::shared_ptr<TFileStream> m_FileStream;
    std::string FFileName;
    TImageType FImageType;
    int32_t FBitCount = 8;
    bool FInitialized = false;
    bool FReadOnly = false;
    bool FInPlaceSaves = true;
    std::unique_ptr<TPicture> Source;
    TNotifyEvent FOnBeginRead, FOnRead, FOnEndRead;

private:
    mutable std::mutex FSnapshotLock;
    TSnapshotPtr FSnapshot;
    std::shared_ptr<const TFormatState> FState;
    std::vector<TFileStamp> FStamps;
    std::chrono::milliseconds FLockTimeout = TLibraryLock::kDefaultTimeout;
    TRecoveryReport FRecovery;
    // Recover ran for the open that follows (so the open need not run it again).
    bool FRecoveredForOpen = false;
    // The edit lock this object holds while an edit reads the library again (BeginEdit).
    const TLibraryLock* FHeldLock = nullptr;
    std::atomic<uint64_t> FReloadCount{0};
};

// An edit of a library: a new list of records built from the snapshot it started on. Without
// EndUpdate (an early return, an exception) the edit is discarded and nothing is written.
class TGameImages::TUpdate {
public:
    TUpdate(TUpdate&& Other) noexcept;
    TUpdate& operator=(TUpdate&&) = delete;
    TUpdate(const TUpdate&) = delete;
    ~TUpdate() = default;

    // Appends an encoded record. False when the picture cannot be stored.
    bool Add(TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);
    // Insert and Replace work at the cursor (Index is not used) and refuse unless it stands on an
    // image; each moves the cursor on by one, so successive calls land in order. A picture that
    // cannot be stored leaves the list as it was.
    bool Insert(int Index, TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);
    bool Replace(int Index, TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);
    // The same with a record the library's EncodeImage has already made (on another thread, say);
    // false for a null record.
    bool Add(std::unique_ptr<TImageData> Record);
    bool Insert(std::unique_ptr<TImageData> Record);
    bool Replace(std::unique_ptr<TImageData> Record);
    // Appends the record that stands for a record of another library's snapshot Source
    // (ConvertRecord). False when this kind takes no converted records.
    bool Convert(const TImageData* SourceImageData, const TSnapshot& Source, uint8_t btEncr0);
    // Removes or empties a range; false (nothing changed) when it is not inside the list.
    bool Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    bool Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    // Changes the offset of one record; false for an index out of range or a record without one.
    bool SetPoint(int Index, TPoint Value);
    // Has the library written anew although no record changed (a new key or header).
    void MarkChanged();
    // Makes Records the whole new list (an earlier snapshot brought back).
    void ReplaceAll(TRecordList Records);

    // The list as it stands in the transaction.
    const TRecordList& Records() const { return FRecords; }
    int Count() const { return int(FRecords.size()); }
    int Cursor() const { return m_nIndex; }
    bool Changed() const { return FChanged; }

    // Writes the library from the new list and makes it the current snapshot. Raises EFileError
    // (the library's files and its snapshot are then as they were). The transaction ends either
    // way; an edit that changed nothing writes nothing.
    void EndUpdate();

private:
    friend class TGameImages;
    TUpdate(TGameImages& Library, int Index, TLibraryLock Lock);
    void NoteStructuralChange();
    // The cursor stands on a record of the open transaction.
    bool AtImage() const;

    TGameImages* FLibrary;
    TRecordList FRecords;
    int32_t m_nIndex;
    TLibraryLock FLock;
    TUpdateSummary FSummary;
    bool FChanged = false;
    bool FOpen = true;
};

// Draws a picture fitted into Width x Height at (X, Y) of DC with black transparent: pictures with
// alpha (PNG colour types 4 and 6) are made 32-bit with the alpha in the top bytes first.
void DrawGraphic(const TPicture& Picture, TDIB& DC, int X, int Y, int Width, int Height);

// The fit rule of StretchBlt: a picture larger than the box shrinks keeping its aspect ratio
// (round half to even), a smaller one keeps its natural size.
void FitToBox(int W, int H, int& Width, int& Height);

} // namespace velmora
