#pragma once

#include "core/file_stream.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// Library kind.
enum TImageType : uint8_t {
    t_Wil = 0,
    t_Wis = 1,
    t_Wzl = 2,
    t_Quillrand = 3,
};

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Every format stores offsets as signed 16-bit values; larger ones are refused, never cut.
inline bool StorableOffset(TPoint Value) {
    const auto fits = [](int32_t v) { return v >= -32768 && v <= 32767; };
    return fits(Value.X) && fits(Value.Y);
}

class TUnreadRecords;

// One image record of a library. Once a record is part of a snapshot it is shared and never
// changed: an edit makes new records and leaves the old ones to the snapshots that hold them.
//
// Image holds the per-image header (its first HeaderSize bytes) as the format reads it (a Pak
// record header decrypted). The payload after it is either held in Image as well (a new or
// changed image) or lies in File at OffSet + HeaderSize and is read when the picture is needed
// (an image as it was read from, or last written to, the library's data file). An emptied record
// has HeaderSize and DataSize 0 and no Image.
//
// Opening a library reads its index, not the records' headers: each record it makes only knows
// where it lies (OffSet in File) and is entry UnreadIndex of Unread, which reads the header, and
// so the whole record, when it is first needed. Loaded gives that whole record; every field
// besides OffSet and File is empty until then, so that whatever reads a record's fields reads
// them of Loaded().
struct TImageData {
    bool boCompression = false;
    // The format read the stored header otherwise than it writes it (a blank or damaged header
    // made canonical): writing the record gives other bytes than the file holds.
    bool Normalized = false;
    int32_t HeaderSize = 0;
    // Header plus payload bytes.
    int32_t DataSize = 0;
    // Position of the record in File, or in the data file it was last written to.
    int32_t OffSet = 0;
    std::vector<uint8_t> Image;
    std::shared_ptr<const TFileStream> File;
    std::shared_ptr<const TUnreadRecords> Unread;
    uint32_t UnreadIndex = 0;

    // The whole record: this one, or for a record whose header is unread the record made from it,
    // read now or before (once for every thread and every snapshot that shares this record, and
    // kept as long as this record). Raises EFileError when the header cannot be read, and
    // ELibraryChanged when another program changed the file where it lies since it was read.
    const TImageData& Loaded() const;
    // Whether Loaded reads nothing: the header is held (read before, or never unread).
    bool HeaderRead() const;

    bool HasImage() const { return DataSize > 0 && !Image.empty(); }
    // The payload lies in File rather than in Image.
    bool InFile() const { return File != nullptr; }
    std::span<const uint8_t> Header() const {
        return std::span<const uint8_t>(Image).first(
            std::min(Image.size(), size_t(std::max(HeaderSize, 0))));
    }
    int64_t PayloadSize() const { return std::max<int64_t>(0, int64_t(DataSize) - HeaderSize); }
};
using pTImageData = const TImageData*;
using TRecord = std::shared_ptr<const TImageData>;
// The records of a library in image order: what a snapshot holds.
using TRecordList = std::vector<TRecord>;

// The payload of a record (of Loaded()), borrowed from the record when it holds it, read from its
// file when not. Bytes that the file does not have (it ends early, or another program cut it) are
// absent: Bytes() is then shorter than the record's payload and Complete() false.
class TPayload {
public:
    explicit TPayload(const TImageData& Record);
    std::span<const uint8_t> Bytes() const { return FBytes; }
    bool Complete() const { return FComplete; }

private:
    std::vector<uint8_t> FRead;
    std::span<const uint8_t> FBytes;
    bool FComplete = true;
};

// What the format knows of one image without decoding its pixels.
struct TImageDescription {
    int Width = 0;
    int Height = 0;
    TPoint Offset;
    bool Empty = true;
    std::optional<int> PixelKind;
    std::optional<bool> Compressed;
    std::optional<bool> Alpha; // unknown (unset) unless it could be told without decoding
};

// How a format makes a record from the bytes of its header (see TUnreadRecords).
class TRecordMaker {
public:
    virtual ~TRecordMaker() = default;
    // The bytes of a record's header in the file.
    virtual size_t StoredHeaderSize() const = 0;
    // The record at Position whose header bytes are Header (zeros where the file ends before
    // them), in the file File; Bound is what the index said of it besides its position (the
    // format's choice: where the next record starts, or the record's length).
    virtual std::unique_ptr<TImageData>
    MakeRecord(int32_t Position, int64_t Bound, std::span<const uint8_t> Header,
               const std::shared_ptr<const TFileStream>& File) const = 0;
};

// The records that opening found in a library's index without reading their headers. Each header
// is read once, when first needed, by whichever thread needs it first, and the record made from it
// is kept for every snapshot that shares the entry: a snapshot keeps the header bytes it has read.
// The reads hold the folder lock shared, as opening does, so that they never see a change half
// made; once another program changed the file where it lies (TFileStream::ChangedElsewhere), they
// refuse with ELibraryChanged rather than mix its new headers into what was read before, and the
// library must be read again. This program's own edits load every record they change in place
// before they change it.
class TUnreadRecords : public std::enable_shared_from_this<TUnreadRecords> {
public:
    struct TEntry {
        int32_t Position = 0;
        int64_t Bound = 0;
    };

    // One record per entry, reading its header from File through Maker when first needed.
    static TRecordList Make(std::shared_ptr<const TRecordMaker> Maker,
                            std::shared_ptr<const TFileStream> File, std::vector<TEntry> Entries);
    ~TUnreadRecords();
    TUnreadRecords(const TUnreadRecords&) = delete;
    TUnreadRecords& operator=(const TUnreadRecords&) = delete;

    // The record of entry Index, read now unless it was before.
    const TImageData& Read(uint32_t Index) const;
    bool IsRead(uint32_t Index) const { return FRead[Index].load(std::memory_order_acquire); }
    // Reads the entries of Indexes that are still unread in one go (several threads for many).
    void ReadMany(std::span<const uint32_t> Indexes) const;

private:
    TUnreadRecords(std::shared_ptr<const TRecordMaker> Maker,
                   std::shared_ptr<const TFileStream> File, std::vector<TEntry> Entries);

    std::shared_ptr<const TRecordMaker> FMaker;
    std::shared_ptr<const TFileStream> FFile;
    std::string FFolderOf; // the data file, its links followed: whose folder the reads lock
    std::vector<TEntry> FEntries;
    // The records read, owned here; null while unread.
    std::unique_ptr<std::atomic<const TImageData*>[]> FRead;
};

// Reads the unread headers of Records[First..Last] in one go (list, diff, check, a full rewrite).
void ReadRecordHeaders(const TRecordList& Records, size_t First, size_t Last);

} // namespace velmora
