#pragma once

#include "core/file_stream.h"
#include "core/game_images.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class TSequentialWriter;

// What an index file said of its data file when the library was opened.
enum class TIndexState : uint8_t {
    isGood,
    isMissing, // no index file, an empty one, or a folder in its place
    isDamaged, // it names more positions than it holds, or records the data file does not hold
};

// What a rebuild of the index found in the data file.
struct TIndexRepair {
    int Found = 0;           // records found, one after another from the first record position
    int64_t UnreadBytes = 0; // bytes after the last record found that are not understood
    bool Written = false;    // the new index replaced the old one (false: it was the same)
    std::string IndexFile;   // the index file written (or that would be written)
    std::string BackupFile;  // where the old index was kept; empty when there was none
};

// The part WIL and WZL libraries share: a data file of a header and image records one after
// another, and an index file of a header and the position of every record. Opening reads the
// headers, the index and every record's header; payloads are read from the open data file when a
// picture is needed.
//
// An edit is written in one of two ways, with the same bytes as the result. The full rewrite writes
// both files anew through the crash-safe replacement, reading the unchanged records one after
// another from the old data file. When the files hold exactly what a full rewrite would write,
// images appended are written after the data file's end with a new index (TInPlaceChange), and
// changed offsets are patched into the record headers. Emptied images are patched in place too
// (a WIL record header becomes the blank one, a WZL index entry the empty slot); their old bytes
// stay unused in the data file until the next full rewrite.
//
// A library whose index is missing or does not match its data file opens with the records the
// index describes (none when it is missing) and refuses every edit until RepairIndex rebuilt it.
class TIndexedLibrary : public TGameImages {
public:
    void Initialize() override;
    void Finalize() override;
    TPicture* GetBitmap(int Index) override;
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;
    std::unique_ptr<TPicture> GetRecord(const TRecord& Record, int& px, int& py) override;
    TPoint GetPoint(int Index) override;
    int HeaderImageCount() const override { return FHeaderImageCount; }
    TEditRefusal EditRefusal(bool OffsetsOnly = false) const override;
    std::string DamageText() const override;

    TIndexState IndexState() const { return FIndexState; }
    // Writes a new, empty library at FileName (see the formats), replacing any old data and index
    // file as one step so that a failure leaves the old library whole. Raises EFileError.
    bool CreateFile(uint8_t ABitCount, const std::string& PassWord) override;
    // The index file: an existing one whatever the case of its extension, else the data file's
    // base name with the format's index extension.
    std::string IndexFileName() const;
    std::vector<std::string> RecoveryFiles() const override;
    // Rebuilds the index by scanning the data file from its first record on, stopping cleanly at
    // the first record that does not fit. Unless DryRun, the old index (if any) is kept as its
    // name + ".bak", the new one replaces it crash-safely and the library is read again. Runs under
    // the library's edit lock. Raises EFileError (nothing is changed then).
    TIndexRepair RepairIndex(bool DryRun);

protected:
    struct TLayout {
        int FirstRecordAt = 0;   // the first byte after the data file's header
        int IndexHeaderSize = 0; // bytes before the positions in the index file
        int ImageHeaderSize = 0; // per-image header
        const char* IndexExt = "";
        int MinimumDataSize = 0; // a shorter data file is not a library of the kind
        // Index positions below FirstRecordAt stand for empty slots rather than records.
        bool EmptySlotsBelowFirstRecord = false;
        int XAt = 0, YAt = 0; // the offset's fields in the image header, signed 16-bit
        // The bytes an emptied record is written as, or none when an empty image is an empty
        // slot (position 0 in the index, nothing in the data file).
        std::vector<uint8_t> EmptyRecord;
    };

    TIndexedLibrary(const std::string& AFileName, TImageType Kind);

    // Reads the data file's header (the file holds at least MinimumDataSize bytes); false when it
    // is not a library of this kind. Also called on the new data file after every save.
    virtual bool ReadDataHeader(const TFileStream& Data) = 0;
    virtual TLayout Layout() const = 0;
    // The record an index entry stands for, without its file: its header bytes were read at
    // Position (zero beyond the end of the file), which is DataSize bytes long. Records that cannot
    // be honoured become the format's blank or empty record. The same rules give the records of a
    // file just written, so that the library shows after a save what it shows when opened.
    virtual std::shared_ptr<TImageData>
    LoadedRecord(int32_t Position, std::span<const uint8_t> Header, int64_t DataSize) const = 0;
    // The size of the record whose header starts at Header when the data file is scanned; 0 when
    // no record starts there. Blank is set for a record whose payload may be absent.
    virtual uint64_t ScannedRecordSize(std::span<const uint8_t> Header, bool& Blank) const = 0;
    // The bytes of the new data file's header and of the index file's header for Count records.
    virtual std::vector<uint8_t> DataHeaderBytes(uint32_t Count) const = 0;
    virtual std::vector<uint8_t> IndexHeaderBytes(uint32_t Count) const = 0;
    // The offset stored in a header ((0, 0) when it is too short to hold one).
    TPoint PointOf(std::span<const uint8_t> Header) const;
    // True for records that read as the blank picture (their offset is not reported by Get).
    virtual bool IsBlank(const TImageData& Record) const = 0;
    // The picture of a record; null when it cannot be decoded.
    virtual std::unique_ptr<TPicture> DecodeRecord(const TImageData& Record) const = 0;
    // The data and index file of a new, empty library of a bit count.
    virtual std::pair<std::vector<uint8_t>, std::vector<uint8_t>> NewFiles(int BitCount) const = 0;

    TRecordList SaveRecords(const TRecordList& Records, const TUpdateSummary& Summary) override;
    uint64_t BlankRecordBytes() const override;
    int64_t StoredSize() const override;
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override;
    std::vector<std::string> WatchedFiles() const override;

    std::shared_ptr<TFileStream> m_IndexStream;
    int32_t FHeaderImageCount = 0;
    // The layout of the open library (Layout() as it was when the data file's header was read).
    TLayout FLayout;

private:
    // Where a full rewrite puts each record (0 for an empty slot) and where the data file ends.
    struct TPlacement {
        std::vector<int32_t> Positions;
        int64_t End = 0;
    };

    void LoadIndex();
    // Raises EFileError when the records would not fit the 32-bit positions.
    TPlacement PlaceRecords(const TRecordList& Records) const;
    // True when the files are laid out as a full rewrite of Records would lay them out.
    bool LaidOutAsRewrite(const TRecordList& Records) const;
    // Writes one record (or the empty record for an emptied image) as the rewrite does.
    void WriteRecord(TSequentialWriter& Writer, const TImageData& Record) const;
    // The record as it lies at Position of a data file of DataSize bytes after it was written
    // there (or read from there); Next is where the next record starts (or the file's end).
    // AsWritten, when given, is cleared when the stored bytes differ from what a rewrite writes
    // for the record beyond its header.
    std::shared_ptr<TImageData> StoredRecord(int32_t Position, std::span<const uint8_t> Header,
                                             int64_t DataSize, int64_t Next,
                                             const std::shared_ptr<TFileStream>& File,
                                             bool* AsWritten = nullptr) const;
    // Writes every record into new files and returns the records as they lie there.
    TRecordList RewriteLibrary(const TRecordList& Records);
    // Writes Records into the files where they lie: the records from First on after the data
    // file's end with a new index, the headers of Changed (offsets changed or images emptied)
    // patched. Old is the current snapshot.
    TRecordList ChangeInPlace(const TRecordList& Records, const TRecordList& Old, size_t First,
                              const std::vector<size_t>& Changed);
    std::string NewIndexFileName() const;
    // True when a record starts at Position (or the file ends exactly there) during a scan.
    bool RecordStartsAt(int64_t Position, int64_t DataSize) const;

    TIndexState FIndexState = TIndexState::isGood;
    // The first record the data file ends before (its index being whole otherwise), or -1.
    int FCutAt = -1;
    std::string FIndexFile;
    // The files hold exactly what a full rewrite of the current records would write: appends may
    // then go after the end.
    bool FLaidOutAsRewrite = false;
};

} // namespace velmora
