#pragma once

#include "core/dib.h"
#include "core/image_record.h"
#include "core/picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// What an index file said of its data file when the library was read.
enum class TIndexState : uint8_t {
    isGood,
    isMissing, // no index file, an empty one, or a folder in its place
    isDamaged, // it names more positions than it holds, or records the data file does not hold
};

// The format's own facts about a library's files, beyond its kind and bit count: what `info`
// shows, and what tells whether two libraries of one kind store their records alike.
struct TFormatFacts {
    // WIL: 1 for the short header layout, 0 for the long one. Pak: the file variant (0, 1, 2).
    int HeaderVariant = 0;
    // WIL: the data file's header size.
    int FileHeaderSize = 0;
    // The header before each record's pixels (12 or 16 for WIL, 16 for WZL, 12 or 16 for Pak).
    int ImageHeaderSize = 0;
    // Pak: the index layout (0 the old one, anything else the new one); -1 for other kinds.
    int IndexLayout = -1;
    // Every record holds pixels of the library's bit count (WIL, WIS, Pak of the old layout);
    // otherwise each record carries its own pixel kind.
    bool FixedDepth = false;
};

// What decoding the records of one library needs besides them, for one state of its files: the
// kind and bit count, the format's headers, layout or key, the index state, and the open data file
// the records read from. The format makes one when the library is read or written and never
// changes it after: a snapshot holds the one its records belong to, so that a reader decodes from
// the snapshot alone while the library object goes on to write the next.
class TFormatState : public TRecordMaker {
public:
    TFormatState(TImageType Kind, int BitCount) : FKind(Kind), FBitCount(BitCount) {}

    TImageType Kind() const { return FKind; }
    int BitCount() const { return FBitCount; }
    virtual TFormatFacts Facts() const { return {}; }
    virtual TIndexState IndexState() const { return TIndexState::isGood; }

    // The picture of a whole record (Loaded) by the rules of the library's Get: the offset in px,
    // py. Record is null for an index out of range.
    virtual std::unique_ptr<TPicture> Get(const TImageData* Record, int& px, int& py) const = 0;
    // The same by the rules of the library's GetBitmap.
    virtual std::unique_ptr<TPicture> Bitmap(const TImageData* Record) const;
    // The stored offset; (0, 0) for a null record or one that holds none.
    virtual TPoint PointOf(const TImageData* Record) const = 0;
    // Size, offset and kind as the header stores them (see TGameImages::Describe).
    virtual std::optional<TImageDescription> Describe(const TImageData& Record,
                                                      bool WithAlpha) const = 0;
    // A new 1x1 blank picture of the bit count.
    std::unique_ptr<TDIB> FillDIB() const;

    size_t StoredHeaderSize() const override { return 0; }
    std::unique_ptr<TImageData>
    MakeRecord(int32_t Position, int64_t Bound, std::span<const uint8_t> Header,
               const std::shared_ptr<const TFileStream>& File) const override;

private:
    TImageType FKind;
    int FBitCount;
};

// The state of a library that is not open: no record, no picture.
class TClosedState final : public TFormatState {
public:
    using TFormatState::TFormatState;
    std::unique_ptr<TPicture> Get(const TImageData*, int&, int&) const override { return nullptr; }
    std::unique_ptr<TPicture> Bitmap(const TImageData*) const override { return nullptr; }
    TPoint PointOf(const TImageData*) const override { return {}; }
    std::optional<TImageDescription> Describe(const TImageData&, bool) const override {
        return std::nullopt;
    }
};

// A whole library at one moment: its records and the state they are decoded with. Readers (the
// grid's thumbnail workers, exports, the check, the command line) take the current snapshot of a
// library and read it on any thread, without locks, while the library writes the next one. The
// snapshot keeps the files it reads open.
class TSnapshot {
public:
    TSnapshot(TRecordList Records, std::shared_ptr<const TFormatState> State);

    const TRecordList& Records() const { return FRecords; }
    int Count() const { return int(FRecords.size()); }
    const TFormatState& State() const { return *FState; }
    const std::shared_ptr<const TFormatState>& SharedState() const { return FState; }
    TImageType Kind() const { return FState->Kind(); }
    int BitCount() const { return FState->BitCount(); }

    // The whole record of image Index (its header read now if it was not); null out of range.
    // Valid while the snapshot lives. Raises as TImageData::Loaded.
    const TImageData* Record(int Index) const;
    // Reads the unread headers of images First..Last in one go.
    void ReadHeaders(int First, int Last) const;

    // Decoding, by the library's rules (see TGameImages). Header reads raise as Record; a record
    // that does not decode gives null.
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) const;
    std::unique_ptr<TPicture> Bitmap(int Index) const;
    TPoint GetPoint(int Index) const;
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha) const;

private:
    TRecordList FRecords;
    std::shared_ptr<const TFormatState> FState;
};

using TSnapshotPtr = std::shared_ptr<const TSnapshot>;

} // namespace velmora
