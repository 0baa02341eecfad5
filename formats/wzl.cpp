#include "formats/wzl.h"

#include "core/checked.h"
#include "core/safe_replace.h"
#include "core/utils.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/library_file.h"
#include "formats/load_budget.h"
#include "formats/sequential_writer.h"
#include "formats/wil_format.h"
#include "formats/wzl_format.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

namespace velmora {

const char* const WzlTitle = "www.velmora.example";

namespace {

constexpr uint64_t kMaxRecordSize = uint64_t(std::numeric_limits<int32_t>::max());
// zlib cannot inflate one input byte into more than about 1032 output bytes.
constexpr uint64_t kMaxInflateRatio = 1032;
// How far a picture may outgrow what its payload can give (the rest reads as zero).
constexpr uint64_t kDecodeAllowance = 1u << 20;

// Puts the title into a header in the two steps every header written here takes: first as a
// length-prefixed string, then its text again over bytes 0 to 18.
void WriteTitle(uint8_t* header, bool lengthPrefixed) {
    if (lengthPrefixed) {
        header[0] = uint8_t(wzl::kTitleLength);
        std::memcpy(header + 1, WzlTitle, wzl::kTitleLength);
    }
    std::memcpy(header, WzlTitle, wzl::kTitleLength);
}

// The alpha buffer EncodeImage can store: 8-bit or 32-bit and of the picture's size.
bool UsableAlpha(const TDIB* alpha, const TDIB& source) {
    return alpha && !alpha->Empty() && alpha->Width() == source.Width() &&
           alpha->Height() == source.Height() &&
           (alpha->BitCount() == 8 || alpha->BitCount() == 32);
}

// Fills in a record of header plus payload; null when it would not fit a record's size field.
std::unique_ptr<TImageData> MakeRecord(TImageInfo info, std::span<const uint8_t> payload,
                                       bool compressed) {
    if (TImageInfo::Size + uint64_t(payload.size()) > kMaxRecordSize)
        return nullptr;
    auto record = std::make_unique<TImageData>();
    record->boCompression = compressed;
    info.nDataLength = compressed ? int32_t(payload.size()) : 0;
    record->HeaderSize = TImageInfo::Size;
    record->DataSize = int32_t(TImageInfo::Size + payload.size());
    record->Image.resize(size_t(record->DataSize));
    info.Write(record->Image.data());
    if (!payload.empty())
        std::memcpy(record->Image.data() + TImageInfo::Size, payload.data(), payload.size());
    return record;
}

// Stores pixels compressed when that makes them smaller, else raw.
std::unique_ptr<TImageData> MakeRecordOfPixels(const TImageInfo& info,
                                               std::span<const uint8_t> pixels, bool compress) {
    if (compress) {
        std::vector<uint8_t> stream = ZCompress(pixels);
        if (stream.size() < pixels.size())
            return MakeRecord(info, stream, true);
    }
    return MakeRecord(info, pixels, false);
}

bool IsEmptyOrTiny(const TImageData& record) {
    if (!record.HasImage() || record.Image.size() < size_t(TImageInfo::Size))
        return true;
    const TImageInfo info = TImageInfo::Read(record.Image.data());
    return info.wWidth < 1 || info.wHeight < 1 || int64_t(info.wWidth) * info.wHeight < 5;
}

} // namespace

TWzl::TWzl(const std::string& AFileName) : TGameImages(AFileName, t_Wzl) {}

TWzl::~TWzl() {
    Finalize();
}

std::string TWzl::IndexFileName() const {
    return FindFileAnyCaseExt(ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) + ".wzx");
}

void TWzl::Initialize() {
    if (FInitialized)
        Finalize();
    // A save that a crash interrupted is finished or undone before anything is read.
    RecoverReplacement(FFileName, {IndexFileName()});
    if (!FileExists(FFileName))
        return;
    m_FileStream = OpenLibraryFile(FFileName);
    if (!m_FileStream)
        return;
    const int64_t dataSize = m_FileStream->Size();
    if (dataSize < wzl::kFileHeaderSize) {
        m_FileStream.reset();
        return;
    }
    ReadAt(*m_FileStream, 0, FHeader);
    FImageCount = std::max<int32_t>(0, GetI32(FHeader.data() + wzl::kImageCountAt));

    DoBeginRead();
    const std::string indexName = IndexFileName();
    if (FileExists(indexName))
        m_IndexStream = OpenLibraryFile(indexName);
    if (m_IndexStream) {
        const int64_t indexSize = m_IndexStream->Size();
        std::vector<uint8_t> indexHeader(wzl::kIndexHeaderSize, 0);
        ReadAt(*m_IndexStream, 0, indexHeader);
        int64_t count = std::max<int32_t>(0, GetI32(indexHeader.data() + wzl::kImageCountAt));
        // A count larger than the offsets the file holds is cut to those.
        count =
            std::min<int64_t>(count, std::max<int64_t>(0, indexSize - wzl::kIndexHeaderSize) / 4);
        std::vector<uint8_t> offsets(size_t(count) * 4);
        ReadAt(*m_IndexStream, wzl::kIndexHeaderSize, offsets);
        LoadRecords(offsets, dataSize);
        FImageCount = int32_t(m_Images.size());
    }
    DoEndRead();
    SpaceDIB = FillDIB();
    FInitialized = true;
}

// Reads every record straight from the data file into its own block (the file is never held in
// memory twice); the total is capped by TLoadBudget against damaged headers.
void TWzl::LoadRecords(std::span<const uint8_t> Offsets, int64_t DataSize) {
    TLoadBudget budget{uint64_t(DataSize)};
    uint8_t header[TImageInfo::Size];
    const size_t count = Offsets.size() / 4;
    m_Images.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        DoRead();
        auto record = std::make_unique<TImageData>();
        const int32_t offset = GetI32(Offsets.data() + i * 4);
        if (offset >= wzl::kFirstRecordAt) {
            ReadAt(*m_FileStream, offset, header);
            const TImageInfo info = TImageInfo::Read(header);
            const bool compressed = info.nDataLength > 0;
            const uint64_t payload =
                compressed ? uint64_t(info.nDataLength)
                           : ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
            const uint64_t size = TImageInfo::Size + payload;
            // A record whose declared size cannot be honoured stays an empty slot: it reads
            // as the blank picture and keeps the numbering of the images after it.
            if (size <= kMaxRecordSize && budget.Take(size)) {
                record->boCompression = compressed;
                record->HeaderSize = TImageInfo::Size;
                record->OffSet = offset;
                record->DataSize = int32_t(size);
                record->Image.resize(size_t(size));
                ReadAt(*m_FileStream, offset, record->Image);
            }
        }
        m_Images.push_back(std::move(record));
    }
}

void TWzl::Finalize() {
    std::unique_lock lock(FRecordsLock);
    FInitialized = false;
    SpaceDIB.reset();
    m_FileStream.reset();
    m_IndexStream.reset();
    m_MemoryStream.clear();
    TGameImages::Finalize();
}

std::unique_ptr<TPicture> TWzl::DecodeRecord(const TImageData& Record) {
    if (IsEmptyOrTiny(Record))
        return FillDIB();
    const TImageInfo info = TImageInfo::Read(Record.Image.data());
    const int w = info.wWidth;
    const int h = info.wHeight;
    const uint64_t colorBlock = ColorBlockSize(info.btPixelKind, w, h);
    std::span<const uint8_t> payload(Record.Image.data() + TImageInfo::Size,
                                     Record.Image.size() - TImageInfo::Size);
    // A header that declares far more pixels than its payload can give is damage: refuse it
    // before allocating the picture.
    const uint64_t producible = info.nDataLength > 0 ? uint64_t(payload.size()) * kMaxInflateRatio
                                                     : uint64_t(payload.size());
    if (colorBlock > kMaxRecordSize || colorBlock > producible + kDecodeAllowance)
        return nullptr;
    auto pixels = MakePixelBuffer(info.btPixelKind, w, h);
    if (!pixels)
        return nullptr;
    if (info.nDataLength <= 0) {
        const size_t n = std::min<uint64_t>(colorBlock, payload.size());
        if (n > 0)
            std::memcpy(pixels->PBits(), payload.data(), n);
        return pixels;
    }
    const auto stream = payload.first(std::min<size_t>(payload.size(), size_t(info.nDataLength)));
    const uint64_t pixelCount = uint64_t(w) * uint64_t(h);
    const uint64_t largestPlane = std::max(pixelCount, uint64_t(h) * RowBytes(w, 8) / 2);
    // One byte past the largest known layout, so that a stream that inflates to more is not
    // mistaken for a colour block with an alpha plane.
    const uint64_t limit = colorBlock + largestPlane + 1;
    std::vector<uint8_t> inflated;
    try {
        inflated = ZDecompress(stream, limit);
    } catch (const EDecompressionError&) {
        return nullptr;
    }
    const size_t n = std::min<uint64_t>(colorBlock, inflated.size());
    if (n > 0)
        std::memcpy(pixels->PBits(), inflated.data(), n);
    if (inflated.size() > colorBlock) {
        auto alpha = DecodeAlphaPlane(std::span(inflated).subspan(size_t(colorBlock)), w, h);
        if (alpha) {
            if (auto png = MakeAlphaPicture(*pixels, *alpha))
                return png;
        }
    }
    return pixels;
}

TPicture* TWzl::GetBitmap(int Index) {
    Source.reset();
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
        return nullptr;
    try {
        Source = DecodeRecord(*m_Images[size_t(Index)]);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TWzl::Get(int Index, int& px, int& py) {
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
        return nullptr;
    const TImageData& record = *m_Images[size_t(Index)];
    // An empty or tiny image gives the blank picture and leaves px, py as they were.
    if (!IsEmptyOrTiny(record)) {
        const TImageInfo info = TImageInfo::Read(record.Image.data());
        px = info.wPx;
        py = info.wPy;
    }
    try {
        return DecodeRecord(record);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TWzl::GetPoint(int Index) {
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || Index < 0 || size_t(Index) >= m_Images.size())
        return {};
    const TImageData& record = *m_Images[size_t(Index)];
    if (!record.HasImage() || record.Image.size() < size_t(TImageInfo::Size))
        return {};
    const TImageInfo info = TImageInfo::Read(record.Image.data());
    return {info.wPx, info.wPy};
}

void TWzl::SetPoint(int Index, TPoint Value) {
    std::unique_lock lock(FRecordsLock);
    if (!FInitialized || !m_FileStream || Index < 0 || size_t(Index) >= m_Images.size())
        return;
    TImageData& record = *m_Images[size_t(Index)];
    if (!record.HasImage() || record.Image.size() < size_t(TImageInfo::Size) ||
        record.OffSet < wzl::kFirstRecordAt)
        return;
    // A record that reaches past the end of the file (a damaged index) must not grow the file.
    if (int64_t(record.OffSet) + TImageInfo::Size > m_FileStream->Size())
        return;
    TImageInfo info = TImageInfo::Read(record.Image.data());
    info.wPx = int16_t(Value.X);
    info.wPy = int16_t(Value.Y);
    info.Write(record.Image.data());
    m_FileStream->Seek(record.OffSet);
    m_FileStream->Write({record.Image.data(), size_t(TImageInfo::Size)});
}

std::optional<TImageInfo> TWzl::GetImageInfo(int Index) const {
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
        return std::nullopt;
    return TImageInfo::Read(m_Images[size_t(Index)]->Image);
}

std::unique_ptr<TImageData> TWzl::EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                              const TDIB* Alpha) {
    if (int64_t(Source.Width()) * Source.Height() <= 4) {
        auto empty = std::make_unique<TImageData>();
        empty->boCompression = btEncr0 != 0;
        return empty;
    }
    // The header holds the size in 16 bits; larger pictures cannot be stored.
    if (Source.Width() > std::numeric_limits<int16_t>::max() ||
        Source.Height() > std::numeric_limits<int16_t>::max())
        return nullptr;
    TDIB picture(Source);
    // 1- and 4-bit pixels have kinds no reader decodes: store their colours as 24 bits.
    if (picture.BitCount() < 8) {
        picture.SetPixelFormat(MakePixelFormat(8, 8, 8));
        picture.SetBitCount(24);
    }
    // 16-bit records hold 5-6-5 words: a 5-5-5 picture is converted, not reinterpreted.
    if (picture.BitCount() == 16 && picture.PixelFormat() != MakePixelFormat(5, 6, 5)) {
        picture.SetPixelFormat(MakePixelFormat(5, 6, 5));
        picture.SetBitCount(16);
    }
    const TDIB& stored = picture;
    TImageInfo info;
    info.btPixelKind = PixelKindOfBitCount(stored.BitCount());
    info.wWidth = int16_t(stored.Width());
    info.wHeight = int16_t(stored.Height());
    info.wPx = int16_t(X);
    info.wPy = int16_t(Y);
    const std::span<const uint8_t> colorBlock(stored.PBits(), size_t(stored.Size()));
    const bool withAlpha = UsableAlpha(Alpha, stored);
    if (!withAlpha)
        return MakeRecordOfPixels(info, colorBlock, btEncr0 != 0);
    // With alpha the image is always compressed: only a zlib payload can carry the plane.
    std::vector<uint8_t> input(colorBlock.begin(), colorBlock.end());
    const std::vector<uint8_t> plane = EncodeHalfAlphaPlane(*Alpha);
    input.insert(input.end(), plane.begin(), plane.end());
    return MakeRecord(info, ZCompress(input), true);
}

void TWzl::Convert(const TImageData* SourceImageData, TGameImages* GameImages, uint8_t btEncr0) {
    std::unique_lock lock(FRecordsLock);
    auto record = std::make_unique<TImageData>();
    record->boCompression = btEncr0 != 0;
    // A record is appended in every case so that source and target keep the same numbering.
    const bool fromWil = GameImages && GameImages->ImageType() == t_Wil && SourceImageData &&
                         SourceImageData->HasImage() && SourceImageData->HeaderSize >= 8 &&
                         SourceImageData->Image.size() >= size_t(SourceImageData->HeaderSize);
    if (!fromWil) {
        m_Images.push_back(std::move(record));
        return;
    }
    const uint8_t* source = SourceImageData->Image.data();
    const int w = GetI16(source + wil::kWidthAt);
    const int h = GetI16(source + wil::kHeightAt);
    if (w < 1 || h < 1 || int64_t(w) * h <= 4) {
        record->boCompression = false;
        m_Images.push_back(std::move(record));
        return;
    }
    TImageInfo info;
    info.btPixelKind = PixelKindOfBitCount(GameImages->BitCount());
    info.wWidth = int16_t(w);
    info.wHeight = int16_t(h);
    info.wPx = GetI16(source + wil::kXAt);
    info.wPy = GetI16(source + wil::kYAt);
    // The stored pixels are taken unchanged; a short payload is completed with zeros so that the
    // raw record keeps the length its header implies.
    const uint64_t colorBlock = ColorBlockSize(info.btPixelKind, w, h);
    const size_t available = SourceImageData->Image.size() - size_t(SourceImageData->HeaderSize);
    std::vector<uint8_t> pixels(size_t(std::min<uint64_t>(colorBlock, kMaxRecordSize)), 0);
    std::memcpy(pixels.data(), source + SourceImageData->HeaderSize,
                std::min(available, pixels.size()));
    auto converted = MakeRecordOfPixels(info, pixels, btEncr0 != 0);
    m_Images.push_back(converted ? std::move(converted) : std::move(record));
}

void TWzl::EndUpdate() {
    try {
        std::unique_lock lock(FRecordsLock);
        FImageCount = int32_t(m_Images.size());
        if (m_FileStream)
            SaveLibrary();
        else
            PutI32(FHeader.data() + wzl::kImageCountAt, FImageCount);
    } catch (...) {
        // The update ends even when writing fails, so that the library can be read again.
        TGameImages::EndUpdate();
        throw;
    }
    TGameImages::EndUpdate();
}

// The new files are written beside the old ones and replace both at once (TFileReplacement). A
// failure leaves the old files as they were, and the records keep the positions they have in
// them, so that SetPoint still patches the right headers and a later save can try again.
void TWzl::SaveLibrary() {
    const auto header = FHeader;
    const TRecordPositions positions(m_Images);
    // Saving a library whose index file was missing creates it.
    const std::string indexName =
        m_IndexStream ? m_IndexStream->FileName()
                      : ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) + ".wzx";
    try {
        PutI32(FHeader.data() + wzl::kImageCountAt, FImageCount);
        TFileReplacement replacement({FFileName, indexName});
        WriteLibrary(replacement.Stream(0), replacement.Stream(1));
        replacement.Commit();
    } catch (...) {
        FHeader = header;
        positions.Restore(m_Images);
        throw;
    }
    // The open handles follow the new files; the old ones are gone.
    m_FileStream = OpenLibraryFile(FFileName);
    m_IndexStream = OpenLibraryFile(indexName);
    if (!m_FileStream || !m_IndexStream)
        throw EFileError(FFileName, "saved, but the new files cannot be opened again");
}

void TWzl::WriteLibrary(TFileStream& Data, TFileStream& Index) {
    // Offsets are stored as signed 32-bit values: refuse before writing anything rather than
    // write an index that points to the wrong places.
    int64_t end = wzl::kFileHeaderSize;
    for (const auto& record : m_Images)
        if (record->HasImage() && record->DataSize > 0)
            end += int64_t(record->Image.size());
    if (end > std::numeric_limits<int32_t>::max())
        throw EFileError(FFileName,
                         "the library would exceed 2 GiB, which its index cannot address");

    // The data header goes back as it was read, with the new count and the title over 0 to 18.
    WriteTitle(FHeader.data(), false);
    std::vector<uint8_t> offsets(m_Images.size() * 4, 0);
    TSequentialWriter writer(Data, 0);
    writer.Write(FHeader);
    for (size_t i = 0; i < m_Images.size(); ++i) {
        TImageData& record = *m_Images[i];
        if (record.HasImage() && record.DataSize > 0) {
            record.OffSet = int32_t(writer.Position());
            PutI32(offsets.data() + i * 4, record.OffSet);
            writer.Write(record.Image);
        } else {
            record.OffSet = 0;
        }
    }
    writer.Flush();
    Data.SetSize(writer.Position());

    std::vector<uint8_t> indexHeader(wzl::kIndexHeaderSize, 0);
    WriteTitle(indexHeader.data(), true);
    PutI32(indexHeader.data() + wzl::kImageCountAt, int32_t(m_Images.size()));
    TSequentialWriter indexWriter(Index, 0);
    indexWriter.Write(indexHeader);
    indexWriter.Write(offsets);
    indexWriter.Flush();
    Index.SetSize(indexWriter.Position());
}

} // namespace velmora
