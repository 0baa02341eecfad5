#include "formats/wis.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/in_place_change.h"
#include "formats/library_file.h"
#include "formats/image_info.h"
#include "formats/wis_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

// How far a picture may outgrow what its payload can give (the rest reads as black).
constexpr uint64_t kDecodeAllowance = 1u << 20;

struct TWisImageHeader {
    uint8_t Flag = 0;
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
};

TWisImageHeader ParseImageHeader(const uint8_t* p) {
    TWisImageHeader header;
    header.Flag = p[wis::kFlagAt];
    header.Width = GetI16(p + wis::kWidthAt);
    header.Height = GetI16(p + wis::kHeightAt);
    header.X = GetI16(p + wis::kXAt);
    header.Y = GetI16(p + wis::kYAt);
    return header;
}

} // namespace

size_t DecodeRLE(std::span<const uint8_t> Source, std::span<uint8_t> Target) {
    size_t s = 0;
    size_t t = 0;
    while (s < Source.size() && t < Target.size()) {
        const uint8_t control = Source[s++];
        if (s >= Source.size())
            break; // a control byte without its value or count
        if (control >= 1) {
            const uint8_t value = Source[s++];
            const size_t n = std::min<size_t>(control, Target.size() - t);
            std::memset(Target.data() + t, value, n);
            t += n;
        } else {
            const size_t count = Source[s++];
            const size_t n = std::min({count, Source.size() - s, Target.size() - t});
            std::memcpy(Target.data() + t, Source.data() + s, n);
            s += std::min(count, Source.size() - s);
            t += n;
        }
    }
    return t;
}

TWis::TWis(const std::string& AFileName) : TGameImages(AFileName, t_Wis) {}

TWis::~TWis() {
    Finalize();
}

void TWis::Initialize() {
    if (FInitialized)
        Finalize();
    // Offsets whose patching a crash interrupted are finished first.
    RecoverForOpen();
    const TFolderLock reading = LockForReading();
    if (!FileExists(FFileName))
        return;
    // Without write access the pictures can still be read; only SetPoint is refused.
    bool readOnly = false;
    m_FileStream = OpenLibraryStream(FFileName, readOnly);
    if (!m_FileStream)
        return;
    FReadOnly = readOnly;
    LoadIndex();
    FInitialized = true;
}

// Scans the table backwards from the end of the file: entries are taken until one fails the
// checks or the one at the first record position (512) is reached. Then every image's header is
// read.
void TWis::LoadIndex() {
    m_IndexList.clear();
    std::vector<TWisHeader> taken;
    const int64_t size = m_FileStream->Size();
    int64_t r = size;
    uint8_t entryBytes[wis::kTableEntrySize];
    while (true) {
        if (r <= wis::kHeadSize) {
            FIndexOffset = r;
            break;
        }
        r -= wis::kTableEntrySize;
        ReadAt(*m_FileStream, r, entryBytes);
        TWisHeader entry;
        entry.OffSet = GetI32(entryBytes);
        entry.Length = GetI32(entryBytes + 4);
        entry.temp3 = GetI32(entryBytes + 8);
        if (entry.OffSet < wis::kHeadSize || entry.Length < 1) {
            FIndexOffset = r + wis::kTableEntrySize;
            break;
        }
        taken.push_back(entry);
        if (entry.OffSet == wis::kHeadSize) {
            FIndexOffset = r;
            break;
        }
    }
    m_IndexList.assign(taken.rbegin(), taken.rend());
    // A file with images ends in its table, and the table reaches back to the first record or
    // names records that lie before it. A file cut short has lost the table, or ends in pixel
    // bytes read as entries that name nothing in it: its images are found by reading the records
    // one after another from the head on, as far as they are whole.
    FCutShort = size > wis::kHeadSize;
    for (const TWisHeader& entry : m_IndexList)
        if (entry.OffSet == wis::kHeadSize ||
            RangeInside(uint64_t(entry.OffSet), uint64_t(wis::kImageHeaderSize) + entry.Length,
                        uint64_t(FIndexOffset)))
            FCutShort = false;
    if (FCutShort)
        m_IndexList = ScanRecords(size);

    TRecordList records;
    records.reserve(m_IndexList.size());
    for (const TWisHeader& entry : m_IndexList) {
        auto record = std::make_shared<TImageData>();
        record->OffSet = entry.OffSet;
        // A header that does not lie inside the file leaves an image without a picture.
        if (RangeInside(uint64_t(entry.OffSet), wis::kImageHeaderSize, uint64_t(size))) {
            record->HeaderSize = wis::kImageHeaderSize;
            record->DataSize =
                int32_t(std::min<int64_t>(int64_t(wis::kImageHeaderSize) + entry.Length,
                                          std::numeric_limits<int32_t>::max()));
            record->Image.resize(wis::kImageHeaderSize);
            ReadAt(*m_FileStream, entry.OffSet, record->Image);
            record->boCompression = record->Image[wis::kFlagAt] == wis::kRleFlag;
            record->File = m_FileStream;
        }
        records.push_back(std::move(record));
    }
    SetRecords(std::move(records));
}

// The records that lie whole one after another from the head on: a raw payload holds width x
// height bytes, a run-length one as many as decoding that many pixels takes.
std::vector<TWisHeader> TWis::ScanRecords(int64_t Size) const {
    std::vector<TWisHeader> found;
    int64_t at = wis::kHeadSize;
    uint8_t headerBytes[wis::kImageHeaderSize];
    while (at + wis::kImageHeaderSize <= Size) {
        ReadAt(*m_FileStream, at, headerBytes);
        const TWisImageHeader header = ParseImageHeader(headerBytes);
        if (header.Width < 1 || header.Height < 1)
            break;
        const int64_t pixels = int64_t(header.Width) * header.Height;
        const int64_t start = at + wis::kImageHeaderSize;
        int64_t length = pixels;
        if (header.Flag == wis::kRleFlag) {
            // Two bytes per run at worst, plus the count bytes of literal runs.
            std::vector<uint8_t> data(size_t(std::min(Size - start, pixels * 2 + 16)));
            data.resize(m_FileStream->ReadAt(start, data));
            size_t used = 0;
            int64_t made = 0;
            while (made < pixels && used + 2 <= data.size()) {
                const uint8_t control = data[used], value = data[used + 1];
                used += 2;
                made += control >= 1 ? control : value;
                if (control == 0)
                    used += value;
            }
            if (made < pixels || used > data.size())
                break;
            length = int64_t(used);
        }
        if (start + length > Size || length > std::numeric_limits<int32_t>::max())
            break;
        found.push_back({int32_t(at), int32_t(length), 0});
        at = start + length;
    }
    return found;
}

std::string TWis::DamageText() const {
    if (!FCutShort)
        return {};
    return "the file is cut short: its table of images is missing, and the " +
           std::to_string(m_IndexList.size()) +
           " whole images found one after another from its start are shown";
}

void TWis::Finalize() {
    FInitialized = false;
    FCutShort = false;
    TGameImages::Finalize();
    m_FileStream.reset();
    m_IndexList.clear();
}

TEditRefusal TWis::EditRefusal(bool OffsetsOnly) const {
    const TEditRefusal refusal = TGameImages::EditRefusal(OffsetsOnly);
    if (refusal != TEditRefusal::erNone)
        return refusal;
    if (!OffsetsOnly)
        return TEditRefusal::erReadOnlyFormat;
    // Offsets written into a file cut short would land where no table says an image is.
    return FCutShort ? TEditRefusal::erFileCutShort : TEditRefusal::erNone;
}

std::unique_ptr<TDIB> TWis::ReadPicture(const TImageData& Record) const {
    if (!Record.HasImage() || !Record.File)
        return nullptr;
    const TWisImageHeader header = ParseImageHeader(Record.Header().data());
    const int64_t length = Record.PayloadSize();
    if (!RangeInside(uint64_t(Record.OffSet) + wis::kImageHeaderSize, uint64_t(length),
                     uint64_t(Record.File->Size())))
        return nullptr;
    if (header.Width < 1 || header.Height < 1)
        return FillDIB();
    // A header that declares far more pixels than the payload can give is damage.
    const uint64_t pixels = uint64_t(header.Width) * uint64_t(header.Height);
    const uint64_t producible =
        uint64_t(length) * (header.Flag == wis::kRleFlag ? wis::kMaxRleExpansion : 1);
    if (pixels > producible + kDecodeAllowance)
        return nullptr;
    const TPayload data(Record);
    if (!data.Complete())
        return nullptr;
    const int w = header.Width;
    const int h = header.Height;
    // The picture's width is rounded up to a multiple of 4; the extra columns stay black.
    auto picture = MakeLibraryBuffer(8, int(RowBytes(w, 8)), h);
    std::vector<uint8_t> decoded;
    std::span<const uint8_t> source = data.Bytes();
    if (header.Flag == wis::kRleFlag) {
        decoded.assign(size_t(w) * size_t(h), 0);
        DecodeRLE(source, decoded);
        source = decoded;
    }
    for (int i = 0; i < h; ++i) {
        const size_t from = size_t(i) * size_t(w);
        if (from >= source.size())
            break;
        std::memcpy(picture->ScanLine(i), source.data() + from,
                    std::min(size_t(w), source.size() - from));
    }
    return picture;
}

TPicture* TWis::GetBitmap(int Index) {
    Source.reset();
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record)
        return nullptr;
    try {
        Source = ReadPicture(*record);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TWis::Get(int Index, int& px, int& py) {
    return GetRecord(FInitialized ? RecordAt(Index) : nullptr, px, py);
}

std::unique_ptr<TPicture> TWis::GetRecord(const TRecord& record, int& px, int& py) {
    px = 0;
    py = 0;
    if (!record || !record->HasImage())
        return nullptr;
    const TWisImageHeader header = ParseImageHeader(record->Header().data());
    px = header.X;
    py = header.Y;
    try {
        return ReadPicture(*record);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TWis::GetPoint(int Index) {
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record || !record->HasImage())
        return {};
    const TWisImageHeader header = ParseImageHeader(record->Header().data());
    return {header.X, header.Y};
}

std::optional<TImageDescription> TWis::Describe(int Index, bool) {
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record)
        return std::nullopt;
    TImageDescription d;
    if (!record->HasImage())
        return d;
    const TWisImageHeader header = ParseImageHeader(record->Header().data());
    d.Width = header.Width;
    d.Height = header.Height;
    d.Offset = {header.X, header.Y};
    d.Empty = header.Width < 1 || header.Height < 1;
    d.PixelKind = 3;
    d.Compressed = header.Flag == wis::kRleFlag;
    d.Alpha = false;
    return d;
}

TRecord TWis::WithPoint(const TImageData& Record, TPoint Value) const {
    if (!Record.HasImage() || Record.File.get() != m_FileStream.get())
        return nullptr;
    auto changed = std::make_shared<TImageData>(Record);
    PutI16(changed->Image.data() + wis::kXAt, Value.X);
    PutI16(changed->Image.data() + wis::kYAt, Value.Y);
    return changed;
}

// A WIS file is never rewritten: only offsets change, twelve header bytes in place each, under
// the journal that lets the next opening finish them after a crash.
TRecordList TWis::SaveRecords(const TRecordList& Records, const TUpdateSummary& Summary) {
    if (!Summary.PointsOnly)
        throw EEditRefused(FFileName, TEditRefusal::erReadOnlyFormat);
    TInPlaceChange change(FFileName);
    for (size_t i : Summary.PointsChanged) {
        const TImageData& record = *Records.at(i);
        change.Patch(*m_FileStream, FFileName, record.OffSet, record.Header());
    }
    if (!change.Empty())
        change.Commit();
    return Records;
}

} // namespace velmora
