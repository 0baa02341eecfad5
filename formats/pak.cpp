#include "formats/pak.h"

#include "core/checked.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/image_info.h"
#include "formats/load_budget.h"
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

// Reads a library file through a large window, so that loading tens of thousands of records
// costs a few large reads and no copy of the whole file.
class TWindowReader {
public:
    TWindowReader(TFileStream& file, uint64_t size) : FFile(file), FSize(size) {}

    // Copies the bytes at offset into dest; false when they do not lie inside the file.
    bool Read(uint64_t offset, std::span<uint8_t> dest) {
        if (!RangeInside(offset, dest.size(), FSize))
            return false;
        if (dest.empty())
            return true;
        if (offset >= FStart && offset - FStart + dest.size() <= FLength) {
            std::memcpy(dest.data(), FWindow.get() + (offset - FStart), dest.size());
            return true;
        }
        if (dest.size() >= kWindow / 2) {
            FFile.Seek(int64_t(offset));
            return FFile.Read(dest) == dest.size();
        }
        if (!FWindow)
            FWindow = std::make_unique_for_overwrite<uint8_t[]>(kWindow);
        FFile.Seek(int64_t(offset));
        FStart = offset;
        FLength = FFile.Read(
            std::span<uint8_t>(FWindow.get(), size_t(std::min<uint64_t>(kWindow, FSize - offset))));
        if (FLength < dest.size())
            return false;
        std::memcpy(dest.data(), FWindow.get(), dest.size());
        return true;
    }

private:
    static constexpr size_t kWindow = size_t(4) << 20;
    TFileStream& FFile;
    uint64_t FSize;
    std::unique_ptr<uint8_t[]> FWindow;
    uint64_t FStart = 0;
    size_t FLength = 0;
};

} // namespace

TQuillrand::TQuillrand(const std::string& AFileName) : TGameImages(AFileName, t_Quillrand) {
    FDenyReadWrite = true;
}

TQuillrand::~TQuillrand() {
    Finalize();
}

void TQuillrand::Initialize() {
    // Only a successful password check leaves the decrypted header and the whole file loaded.
    if (FInitialized || !FPasswordChecked || !m_FileStream)
        return;
    DoBeginRead();
    const uint64_t fileSize = uint64_t(m_FileStream->Size());
    TWindowReader reader(*m_FileStream, fileSize);
    const TReadAt readAt = [&reader](uint64_t offset, std::span<uint8_t> dest) {
        return reader.Read(offset, dest);
    };
    if (m_bfType != 0)
        LoadNewLayout(readAt, fileSize);
    else
        LoadOldLayout(readAt, fileSize);
    FImageCount = int32_t(m_Images.size());
    m_MemoryStream.clear();
    m_MemoryStream.shrink_to_fit();
    DoEndRead();
    FInitialized = true;
    FDenyReadWrite = false;
}

void TQuillrand::LoadNewLayout(const TReadAt& ReadAt, uint64_t FileSize) {
    const uint64_t count = FHeader.ImageCount();
    // An index that does not fit in the file cannot be trusted in any entry: open empty.
    if (!RangeInside(FHeader.IndexOffset(), count * 4, FileSize))
        return;
    std::vector<uint8_t> index(size_t(count) * 4);
    if (!ReadAt(FHeader.IndexOffset(), index))
        return;
    const TPakKey key = FHeader.Key();
    DecryptChained(index.data(), index.data(), index.size(), key);
    TLoadBudget budget(FileSize);
    m_Images.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        DoRead();
        auto record = std::make_unique<TImageData>();
        const int32_t offset = GetI32(&index[size_t(i) * 4]);
        uint8_t header[16];
        if (offset >= DataBase() && ReadAt(uint64_t(offset), header)) {
            DecryptChained(header, header, 16, key);
            const TImageInfo info = TImageInfo::Read(header);
            uint64_t payload;
            if (info.nDataLength > 0) {
                payload = uint64_t(info.nDataLength);
            } else {
                payload = ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
                if (info.btAlpha != 0)
                    payload += RowBytes(info.wWidth, 8) * uint64_t(std::max<int>(info.wHeight, 0));
            }
            const uint64_t dataSize = 16 + payload;
            // A record that runs past the end of the file is damaged: it becomes an empty slot.
            // Entries naming the same large record over and over must not exhaust memory.
            if (dataSize <= kMaxInt32 && RangeInside(uint64_t(offset), dataSize, FileSize) &&
                budget.Take(dataSize)) {
                record->Image.resize(size_t(dataSize));
                if (ReadAt(uint64_t(offset), record->Image)) {
                    record->boCompression = info.nDataLength > 0;
                    record->HeaderSize = 16;
                    record->DataSize = int32_t(dataSize);
                    record->OffSet = offset;
                } else {
                    record->Image.clear();
                }
            }
        }
        m_Images.push_back(std::move(record));
    }
}

void TQuillrand::LoadOldLayout(const TReadAt& ReadAt, uint64_t FileSize) {
    const uint64_t count = FHeader.ImageCount();
    if (!RangeInside(FHeader.IndexOffset(), count * 8, FileSize))
        return;
    std::vector<uint8_t> index(size_t(count) * 8);
    if (!ReadAt(FHeader.IndexOffset(), index))
        return;
    DecryptChained(index.data(), index.data(), index.size(), FHeader.Key());
    TLoadBudget budget(FileSize);
    m_Images.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        DoRead();
        auto record = std::make_unique<TImageData>();
        const int32_t offset = GetI32(&index[size_t(i) * 8]);
        const int32_t length = GetI32(&index[size_t(i) * 8 + 4]);
        const uint64_t dataSize = uint64_t(std::max(length, 0)) + 12;
        if (length > 0 && offset >= 0 && dataSize <= kMaxInt32 &&
            RangeInside(uint64_t(offset), dataSize, FileSize) && budget.Take(dataSize)) {
            record->Image.resize(size_t(dataSize));
            if (ReadAt(uint64_t(offset), record->Image)) {
                record->HeaderSize = 12;
                record->DataSize = int32_t(dataSize);
                record->OffSet = offset;
            } else {
                record->Image.clear();
            }
        }
        m_Images.push_back(std::move(record));
    }
}

void TQuillrand::Finalize() {
    FInitialized = false;
    FPasswordChecked = false;
    SpaceDIB.reset();
    m_FileStream.reset();
    m_MemoryStream.clear();
    m_MemoryStream.shrink_to_fit();
    TGameImages::Finalize();
}

const TImageData* TQuillrand::StoredRecord(int Index) const {
    if (!FInitialized || Index < 0 || size_t(Index) >= m_Images.size())
        return nullptr;
    const TImageData* record = m_Images[size_t(Index)].get();
    if (!record || record->HeaderSize <= 0 || record->Image.size() < size_t(record->HeaderSize))
        return nullptr;
    return record;
}

size_t TQuillrand::DecryptRecordHeader(const TImageData& Record, TRecordHeader& Header) const {
    const size_t size = std::min(size_t(Record.HeaderSize), Header.size());
    Header.fill(0);
    DecryptChained(Record.Image.data(), Header.data(), size, FHeader.Key());
    return size;
}

std::optional<std::vector<uint8_t>> TQuillrand::GetImageInfo(int Index) const {
    if (FDenyReadWrite)
        return std::nullopt;
    const TImageData* record = StoredRecord(Index);
    if (!record)
        return std::nullopt;
    TRecordHeader header;
    const size_t size = DecryptRecordHeader(*record, header);
    return std::vector<uint8_t>(header.begin(), header.begin() + size);
}

TPoint TQuillrand::GetPoint(int Index) {
    const TImageData* record = StoredRecord(Index);
    if (!record)
        return {};
    TRecordHeader header;
    DecryptRecordHeader(*record, header);
    return {GetI16(&header[8]), GetI16(&header[10])};
}

void TQuillrand::SetPoint(int Index, TPoint Value) {
    const TImageData* stored = StoredRecord(Index);
    if (!stored || stored->OffSet < DataBase() || !m_FileStream)
        return;
    TImageData& record = *m_Images[size_t(Index)];
    TRecordHeader header;
    const size_t size = DecryptRecordHeader(record, header);
    PutI16(&header[8], Value.X);
    PutI16(&header[10], Value.Y);
    EncryptChained(header.data(), record.Image.data(), size, FHeader.Key());
    m_FileStream->Seek(record.OffSet);
    m_FileStream->Write(std::span<const uint8_t>(record.Image.data(), size));
}

TPicture* TQuillrand::GetBitmap(int Index) {
    if (!SpaceDIB)
        return nullptr;
    if (FDenyReadWrite)
        return SpaceDIB.get();
    const TImageData* record = StoredRecord(Index);
    if (!record)
        return SpaceDIB.get();
    bool blank = false;
    TPoint point;
    std::unique_ptr<TPicture> picture = Decode(*record, blank, point);
    if (blank)
        return SpaceDIB.get();
    Source = std::move(picture);
    return Source.get();
}

std::unique_ptr<TPicture> TQuillrand::Get(int Index, int& px, int& py) {
    px = 0;
    py = 0;
    const TImageData* record = FDenyReadWrite ? nullptr : StoredRecord(Index);
    if (!record)
        return FillDIB();
    bool blank = false;
    TPoint point;
    std::unique_ptr<TPicture> picture = Decode(*record, blank, point);
    if (blank)
        return FillDIB();
    px = point.X;
    py = point.Y;
    return picture;
}

std::unique_ptr<TPicture> TQuillrand::Decode(const TImageData& Record, bool& Blank,
                                             TPoint& Point) const {
    TRecordHeader header;
    const size_t size = DecryptRecordHeader(Record, header);
    const int width = GetI16(&header[4]);
    const int height = GetI16(&header[6]);
    Point = {GetI16(&header[8]), GetI16(&header[10])};
    // Both sizes must be positive: two negative sizes also make a positive product.
    Blank = width < 1 || height < 1;
    if (Blank)
        return nullptr;
    const std::span<const uint8_t> payload(Record.Image.data() + size, Record.Image.size() - size);
    if (Record.HeaderSize == kPakNewRecordHeaderSize)
        return DecodeNew(TImageInfo::Read(header.data()), payload);
    return DecodeOld(GetI32(&header[0]), width, height, payload);
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
