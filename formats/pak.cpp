#include "formats/pak.h"

#include "core/checked.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/image_info.h"
#include "formats/library_file.h"
#include "formats/pak_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

constexpr uint64_t kMaxInt32 = uint64_t(std::numeric_limits<int32_t>::max());

// A picture's storage must stay addressable by the pixel buffer's 32-bit sizes.
bool StorageFits(int width, int height, int bits) {
    return RowBytes(width, bits) * uint64_t(height) <= kMaxInt32;
}

// zlib cannot inflate one input byte into more than about 1032 output bytes; a run-length packet
// of 1 + b bytes gives at most 128 pixels of b bytes.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kMaxRunLengthRatio = 128;
// How far a picture may outgrow what its record can give (the rest reads as zero).
constexpr uint64_t kDecodeAllowance = uint64_t(1) << 20;

// False for a record header that declares far more pixels than its payload can give: damage,
// refused before a picture of that size is allocated and cleared.
bool PayloadCanFill(uint64_t pixelBytes, uint64_t payload, uint64_t ratio) {
    return pixelBytes <= payload * ratio + kDecodeAllowance;
}

} // namespace

TQuillrand::TQuillrand(const std::string& AFileName) : TGameImages(AFileName, t_Quillrand) {}

TQuillrand::~TQuillrand() {
    Finalize();
}

void TQuillrand::Initialize() {
    // Only a successful password check leaves the decrypted header and the open file.
    if (FInitialized || !FPasswordChecked || !m_FileStream)
        return;
    const TFolderLock reading = LockForReading();
    DoBeginRead();
    const uint64_t fileSize = uint64_t(m_FileStream->Size());
    TRecordList records = m_bfType != 0 ? LoadNewLayout(fileSize) : LoadOldLayout(fileSize);
    SetRecords(std::move(records));
    DoEndRead();
    FInitialized = true;
}

std::vector<uint8_t> TQuillrand::ReadRecordHeaders(std::span<const int64_t> Offsets,
                                                   size_t HeaderSize) const {
    std::vector<uint8_t> headers(Offsets.size() * HeaderSize);
    ReadBlocksAt(*m_FileStream, Offsets, HeaderSize, headers);
    for (size_t i = 0; i < Offsets.size(); ++i)
        if (Offsets[i] >= 0)
            DecryptChained(headers.data() + i * HeaderSize, headers.data() + i * HeaderSize,
                           HeaderSize, FHeader.Key());
    return headers;
}

std::vector<uint8_t> TQuillrand::ReadIndex(size_t EntrySize, uint64_t FileSize) const {
    const uint64_t count = FHeader.ImageCount();
    // An index that does not fit in the file cannot be trusted in any entry: open empty.
    if (!RangeInside(FHeader.IndexOffset(), count * EntrySize, FileSize))
        return {};
    std::vector<uint8_t> index(size_t(count) * EntrySize);
    if (m_FileStream->ReadAt(FHeader.IndexOffset(), index) != index.size())
        return {};
    DecryptChained(index.data(), index.data(), index.size(), FHeader.Key());
    return index;
}

TRecordList TQuillrand::LoadNewLayout(uint64_t FileSize) {
    TRecordList records;
    const std::vector<uint8_t> index = ReadIndex(4, FileSize);
    const uint64_t count = index.size() / 4;
    records.reserve(size_t(count));
    std::vector<int64_t> headerAt(size_t(count), -1);
    for (uint64_t i = 0; i < count; ++i) {
        const int32_t offset = GetI32(&index[size_t(i) * 4]);
        if (offset >= DataBase() &&
            RangeInside(uint64_t(offset), kPakNewRecordHeaderSize, FileSize))
            headerAt[size_t(i)] = offset;
    }
    const std::vector<uint8_t> headers = ReadRecordHeaders(headerAt, kPakNewRecordHeaderSize);
    for (uint64_t i = 0; i < count; ++i) {
        DoRead();
        auto record = std::make_shared<TImageData>();
        const int32_t offset = GetI32(&index[size_t(i) * 4]);
        if (headerAt[size_t(i)] >= 0) {
            std::vector<uint8_t> header(headers.begin() + long(i * kPakNewRecordHeaderSize),
                                        headers.begin() + long((i + 1) * kPakNewRecordHeaderSize));
            const TImageInfo info = TImageInfo::Read(header.data());
            uint64_t payload;
            if (info.nDataLength > 0) {
                payload = uint64_t(info.nDataLength);
            } else {
                payload = ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
                if (info.btAlpha != 0)
                    payload += RowBytes(info.wWidth, 8) * uint64_t(std::max<int>(info.wHeight, 0));
            }
            const uint64_t dataSize = kPakNewRecordHeaderSize + payload;
            // A record that runs past the end of the file is damaged: it becomes an empty slot.
            if (dataSize <= kMaxInt32 && RangeInside(uint64_t(offset), dataSize, FileSize)) {
                record->boCompression = info.nDataLength > 0;
                record->HeaderSize = kPakNewRecordHeaderSize;
                record->DataSize = int32_t(dataSize);
                record->OffSet = offset;
                record->Image = std::move(header);
                record->File = m_FileStream;
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

TRecordList TQuillrand::LoadOldLayout(uint64_t FileSize) {
    TRecordList records;
    const std::vector<uint8_t> index = ReadIndex(8, FileSize);
    const uint64_t count = index.size() / 8;
    records.reserve(size_t(count));
    std::vector<int64_t> headerAt(size_t(count), -1);
    for (uint64_t i = 0; i < count; ++i) {
        const int32_t offset = GetI32(&index[size_t(i) * 8]);
        const int32_t length = GetI32(&index[size_t(i) * 8 + 4]);
        const uint64_t dataSize = uint64_t(std::max(length, 0)) + kPakOldRecordHeaderSize;
        if (length > 0 && offset >= 0 && dataSize <= kMaxInt32 &&
            RangeInside(uint64_t(offset), dataSize, FileSize))
            headerAt[size_t(i)] = offset;
    }
    const std::vector<uint8_t> headers = ReadRecordHeaders(headerAt, kPakOldRecordHeaderSize);
    for (uint64_t i = 0; i < count; ++i) {
        DoRead();
        auto record = std::make_shared<TImageData>();
        const int32_t offset = GetI32(&index[size_t(i) * 8]);
        const int32_t length = GetI32(&index[size_t(i) * 8 + 4]);
        const uint64_t dataSize = uint64_t(std::max(length, 0)) + kPakOldRecordHeaderSize;
        if (headerAt[size_t(i)] >= 0) {
            std::vector<uint8_t> header(headers.begin() + long(i * kPakOldRecordHeaderSize),
                                        headers.begin() + long((i + 1) * kPakOldRecordHeaderSize));
            record->HeaderSize = kPakOldRecordHeaderSize;
            record->DataSize = int32_t(dataSize);
            record->OffSet = offset;
            record->Image = std::move(header);
            record->File = m_FileStream;
        }
        records.push_back(std::move(record));
    }
    return records;
}

void TQuillrand::Finalize() {
    FInitialized = false;
    FPasswordChecked = false;
    SpaceDIB.reset();
    TGameImages::Finalize();
    m_FileStream.reset();
    FNextHeader.reset();
}

int TQuillrand::HeaderImageCount() const {
    return int(std::min<uint32_t>(FHeader.ImageCount(), uint32_t(std::numeric_limits<int>::max())));
}

TRecord TQuillrand::StoredRecord(int Index) const {
    if (!FInitialized)
        return nullptr;
    TRecord record = RecordAt(Index);
    if (!record || record->HeaderSize <= 0 || record->Image.size() < size_t(record->HeaderSize))
        return nullptr;
    return record;
}

std::optional<std::vector<uint8_t>> TQuillrand::GetImageInfo(int Index) const {
    const TRecord record = StoredRecord(Index);
    if (!record)
        return std::nullopt;
    const std::span<const uint8_t> header = record->Header();
    return std::vector<uint8_t>(header.begin(), header.end());
}

TPoint TQuillrand::GetPoint(int Index) {
    const TRecord record = StoredRecord(Index);
    if (!record)
        return {};
    const uint8_t* header = record->Header().data();
    return {GetI16(header + 8), GetI16(header + 10)};
}

TRecord TQuillrand::WithPoint(const TImageData& Record, TPoint Value) const {
    if (Record.HeaderSize <= 0 || Record.Image.size() < size_t(Record.HeaderSize))
        return nullptr;
    // A stored header is patched where it lies, which must be the record area of the open file.
    if (Record.InFile() && (Record.File.get() != m_FileStream.get() || Record.OffSet < DataBase()))
        return nullptr;
    auto changed = std::make_shared<TImageData>(Record);
    PutI16(&changed->Image[8], Value.X);
    PutI16(&changed->Image[10], Value.Y);
    return changed;
}

std::optional<TImageDescription> TQuillrand::Describe(int Index, bool) {
    if (!FInitialized || Index < 0 || Index >= RecordCount())
        return std::nullopt;
    TImageDescription d;
    const TRecord record = StoredRecord(Index);
    if (!record || record->Header().size() < kPakOldRecordHeaderSize)
        return d;
    const uint8_t* h = record->Header().data();
    d.Width = GetI16(h + 4);
    d.Height = GetI16(h + 6);
    d.Offset = {GetI16(h + 8), GetI16(h + 10)};
    d.Empty = int64_t(d.Width) * d.Height <= 0;
    if (record->Header().size() >= kPakNewRecordHeaderSize) {
        d.PixelKind = h[0];
        d.Alpha = h[3] != 0;
        d.Compressed = GetI32(h + 12) > 0;
    } else {
        const int32_t packing = GetI32(h);
        d.Compressed = packing == 1 || packing == 2;
        d.Alpha = false; // the old layout stores no alpha plane
    }
    return d;
}

TPicture* TQuillrand::GetBitmap(int Index) {
    if (!SpaceDIB)
        return nullptr;
    const TRecord record = StoredRecord(Index);
    if (!record)
        return SpaceDIB.get();
    bool blank = false;
    TPoint point;
    std::unique_ptr<TPicture> picture;
    try {
        picture = Decode(*record, blank, point);
    } catch (const std::exception&) {
        return nullptr;
    }
    if (blank)
        return SpaceDIB.get();
    Source = std::move(picture);
    return Source.get();
}

std::unique_ptr<TPicture> TQuillrand::Get(int Index, int& px, int& py) {
    return GetRecord(StoredRecord(Index), px, py);
}

std::unique_ptr<TPicture> TQuillrand::GetRecord(const TRecord& record, int& px, int& py) {
    px = 0;
    py = 0;
    if (!record || record->HeaderSize <= 0 || record->Image.size() < size_t(record->HeaderSize))
        return FillDIB();
    bool blank = false;
    TPoint point;
    std::unique_ptr<TPicture> picture;
    try {
        picture = Decode(*record, blank, point);
    } catch (const std::exception&) {
        return nullptr;
    }
    if (blank)
        return FillDIB();
    px = point.X;
    py = point.Y;
    return picture;
}

std::unique_ptr<TPicture> TQuillrand::Decode(const TImageData& Record, bool& Blank,
                                             TPoint& Point) const {
    const std::span<const uint8_t> header = Record.Header();
    const int width = GetI16(&header[4]);
    const int height = GetI16(&header[6]);
    Point = {GetI16(&header[8]), GetI16(&header[10])};
    // Both sizes must be positive: two negative sizes also make a positive product.
    Blank = width < 1 || height < 1;
    if (Blank)
        return nullptr;
    const TPayload payload(Record);
    if (Record.HeaderSize == kPakNewRecordHeaderSize)
        return DecodeNew(TImageInfo::Read(header.data()), payload.Bytes());
    return DecodeOld(GetI32(&header[0]), width, height, payload.Bytes());
}

std::unique_ptr<TPicture> TQuillrand::DecodeNew(const TImageInfo& Info,
                                                std::span<const uint8_t> Payload) const {
    const int width = Info.wWidth, height = Info.wHeight;
    const int bits = BitCountOfPixelKind(Info.btPixelKind);
    if (bits == 0 || !StorageFits(width, height, bits) || !StorageFits(width, height, 8))
        return nullptr;
    const bool packed = Info.nDataLength > 0;
    const uint64_t stream =
        packed ? std::min<uint64_t>(uint64_t(Info.nDataLength), Payload.size()) : Payload.size();
    if (!PayloadCanFill(RowBytes(width, bits) * uint64_t(height), stream,
                        packed ? kMaxInflateRatio : 1))
        return nullptr;
    std::unique_ptr<TDIB> pixels = MakePixelBuffer(Info.btPixelKind, width, height);
    if (!pixels)
        return nullptr;
    std::unique_ptr<TDIB> alpha;
    if (Info.btAlpha != 0)
        alpha = MakePixelBuffer(3, width, height);
    const std::span<uint8_t> colour(pixels->PBits(), size_t(pixels->Size()));
    const std::span<uint8_t> plane =
        alpha ? std::span<uint8_t>(alpha->PBits(), size_t(alpha->Size())) : std::span<uint8_t>();

    if (Info.nDataLength <= 0) {
        // Raw: colour block, then the plane, each as far as the record reaches.
        const size_t c = std::min(colour.size(), Payload.size());
        std::copy_n(Payload.begin(), c, colour.begin());
        const size_t a = std::min(plane.size(), Payload.size() - c);
        if (a > 0)
            std::copy_n(Payload.begin() + long(c), a, plane.begin());
    } else {
        const size_t length = std::min<size_t>(size_t(Info.nDataLength), Payload.size());
        // A damaged stream gives no picture rather than an exception: Get runs on export
        // workers, and one bad record must not end a whole export.
        if (InflateInto(Payload.first(length), colour, plane) < 0)
            return nullptr;
    }
    if (!alpha)
        return pixels;
    return MakeAlphaPicture(*pixels, *alpha);
}

std::unique_ptr<TPicture> TQuillrand::DecodeOld(int32_t Packing, int Width, int Height,
                                                std::span<const uint8_t> Payload) const {
    if (!StorageFits(Width, Height, FBitCount))
        return nullptr;
    const uint64_t ratio = Packing == 1 ? kMaxRunLengthRatio : Packing == 2 ? kMaxInflateRatio : 1;
    if (!PayloadCanFill(RowBytes(Width, FBitCount) * uint64_t(Height), Payload.size(), ratio))
        return nullptr;
    std::unique_ptr<TDIB> pixels = MakeLibraryBuffer(FBitCount, Width, Height);
    if (!pixels || pixels->Empty())
        return nullptr;
    // The stored pixels are the first Width x Height pixels of the storage taken as one run,
    // row padding included.
    const size_t run = size_t(Width) * size_t(Height) * size_t(FBitCount / 8);
    const std::span<uint8_t> target(pixels->PBits(), std::min(run, size_t(pixels->Size())));
    if (Packing == 1) {
        UnpackRunLength(Payload, target, FBitCount / 8);
    } else if (Packing == 2) {
        if (InflateInto(Payload, target) < 0)
            return nullptr;
    } else {
        std::copy_n(Payload.begin(), std::min(target.size(), Payload.size()), target.begin());
    }
    return pixels;
}

} // namespace velmora
