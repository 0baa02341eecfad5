#include "formats/wzl.h"

#include "core/checked.h"
#include "core/utils.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/library_file.h"
#include "formats/wil_format.h"
#include "formats/wzl_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora {

const char* const WzlTitle = "www.velmora.example";

namespace {

constexpr uint64_t kMaxRecordSize = uint64_t(std::numeric_limits<int32_t>::max());

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
    if (!record.HasImage() || record.Header().size() < size_t(TImageInfo::Size))
        return true;
    const TImageInfo info = TImageInfo::Read(record.Header().data());
    return info.wWidth < 1 || info.wHeight < 1 || int64_t(info.wWidth) * info.wHeight < 5;
}

} // namespace

TWzlState::TWzlState(std::shared_ptr<TFileStream> Data, std::span<const uint8_t> Header)
    : TIndexedState(t_Wzl, 8, std::move(Data)) {
    std::copy_n(Header.begin(), std::min(Header.size(), FHeader.size()), FHeader.begin());
    FHeaderImageCount = std::max<int32_t>(0, GetI32(FHeader.data() + wzl::kImageCountAt));
    FLayout.FirstRecordAt = wzl::kFirstRecordAt;
    FLayout.IndexHeaderSize = wzl::kIndexHeaderSize;
    FLayout.ImageHeaderSize = TImageInfo::Size;
    FLayout.MinimumDataSize = wzl::kFileHeaderSize;
    FLayout.EmptySlotsBelowFirstRecord = true;
    FLayout.XAt = 8;  // TImageInfo::wPx
    FLayout.YAt = 10; // TImageInfo::wPy
}

std::shared_ptr<TIndexedState> TWzlState::Copy() const {
    return std::make_shared<TWzlState>(*this);
}

TFormatFacts TWzlState::Facts() const {
    TFormatFacts facts;
    facts.ImageHeaderSize = TImageInfo::Size;
    return facts;
}

TWzl::TWzl(const std::string& AFileName) : TIndexedLibrary(AFileName, t_Wzl) {}

TWzl::~TWzl() {
    Finalize();
}

int TWzl::MinimumDataSize() const {
    return wzl::kFileHeaderSize;
}

std::shared_ptr<TIndexedState> TWzl::ReadState(std::shared_ptr<TFileStream> Data) const {
    std::array<uint8_t, 64> header{};
    ReadAt(*Data, 0, header);
    return std::make_shared<TWzlState>(std::move(Data), header);
}

const std::array<uint8_t, 64>& TWzl::Header() const {
    static const std::array<uint8_t, 64> none{};
    return FInitialized ? static_cast<const TWzlState&>(IndexedState()).Header() : none;
}

std::shared_ptr<TImageData>
TWzlState::LoadedRecord(int32_t Position, std::span<const uint8_t> Header, int64_t DataSize) const {
    auto record = std::make_shared<TImageData>();
    if (Position < wzl::kFirstRecordAt || Header.size() < size_t(TImageInfo::Size))
        return record;
    const TImageInfo info = TImageInfo::Read(Header.data());
    const bool compressed = info.nDataLength > 0;
    const uint64_t payload = compressed
                                 ? uint64_t(info.nDataLength)
                                 : ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
    const uint64_t size = TImageInfo::Size + payload;
    // A record whose declared size cannot be honoured stays an empty slot: it reads as the blank
    // picture and keeps the numbering of the images after it.
    if (size > kMaxRecordSize || !RecordSizePlausible(Position, size, DataSize))
        return record;
    record->boCompression = compressed;
    record->HeaderSize = TImageInfo::Size;
    record->OffSet = Position;
    record->DataSize = int32_t(size);
    record->Image.assign(Header.begin(), Header.begin() + TImageInfo::Size);
    return record;
}

uint64_t TWzlState::ScannedRecordSize(std::span<const uint8_t> Header, bool& Blank) const {
    Blank = false;
    const TImageInfo info = TImageInfo::Read(Header.data());
    if (info.wWidth < 1 || info.wHeight < 1 || BitCountOfPixelKind(info.btPixelKind) == 0 ||
        info.btReserved1 != 0 || info.btReserved2 != 0)
        return 0;
    const uint64_t payload = info.nDataLength > 0
                                 ? uint64_t(info.nDataLength)
                                 : ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
    return TImageInfo::Size + payload;
}

std::vector<uint8_t> TWzlState::DataHeaderBytes(uint32_t Count) const {
    // The data header goes back as it was read, with the new count and the title over 0 to 18.
    std::vector<uint8_t> bytes(FHeader.begin(), FHeader.end());
    WriteTitle(bytes.data(), false);
    PutI32(bytes.data() + wzl::kImageCountAt, int32_t(Count));
    return bytes;
}

std::vector<uint8_t> TWzlState::IndexHeaderBytes(uint32_t Count) const {
    std::vector<uint8_t> header(wzl::kIndexHeaderSize, 0);
    WriteTitle(header.data(), true);
    PutI32(header.data() + wzl::kImageCountAt, int32_t(Count));
    return header;
}

// A new library: a 64-byte data header and a 48-byte index header, each with the title (its length
// prefix overwritten by the text itself), no records.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> TWzl::NewFiles(int) const {
    std::vector<uint8_t> data(wzl::kFileHeaderSize, 0), index(wzl::kIndexHeaderSize, 0);
    WriteTitle(data.data(), true);
    WriteTitle(index.data(), true);
    return {std::move(data), std::move(index)};
}

bool TWzlState::IsBlank(const TImageData& Record) const {
    return IsEmptyOrTiny(Record);
}

std::unique_ptr<TPicture> TWzlState::DecodeRecord(const TImageData& Record) const {
    if (IsEmptyOrTiny(Record))
        return FillDIB();
    const TImageInfo info = TImageInfo::Read(Record.Header().data());
    const int w = info.wWidth;
    const int h = info.wHeight;
    const uint64_t colorBlock = ColorBlockSize(info.btPixelKind, w, h);
    const TPayload read(Record);
    const std::span<const uint8_t> payload = read.Bytes();
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

std::optional<TImageInfo> TWzl::GetImageInfo(int Index) const {
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record)
        return std::nullopt;
    return TImageInfo::Read(record->Header());
}

std::optional<TImageDescription> TWzlState::Describe(const TImageData& Record,
                                                     bool WithAlpha) const {
    TImageDescription d;
    const std::optional<TImageInfo> info = TImageInfo::Read(Record.Header());
    if (!info)
        return d;
    d.Width = info->wWidth;
    d.Height = info->wHeight;
    d.Offset = {info->wPx, info->wPy};
    d.Empty = int64_t(d.Width) * d.Height <= 0;
    d.PixelKind = info->btPixelKind;
    d.Compressed = info->nDataLength > 0;
    // Only a compressed image may carry an alpha plane, known once it is inflated.
    if (info->nDataLength <= 0) {
        d.Alpha = false;
    } else if (WithAlpha) {
        std::unique_ptr<TPicture> picture;
        try {
            picture = DecodeRecord(Record);
        } catch (const std::exception&) {
        }
        d.Alpha = picture && picture->AsPng() && picture->AsPng()->HasAlpha();
    }
    return d;
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
    const bool withAlpha = UsableAlpha(Alpha, picture);
    std::vector<uint8_t> plane;
    if (withAlpha) {
        plane = EncodeHalfAlphaPlane(*Alpha);
        // Pixels the plane shows fully transparent store black, as imports store transparent
        // pixels: an exported and imported again picture then stores the same colours again.
        ClearTransparentPixels(picture,
                               *DecodeHalfAlphaPlane(plane, Alpha->Width(), Alpha->Height()));
    }
    const TDIB& stored = picture;
    TImageInfo info;
    info.btPixelKind = PixelKindOfBitCount(stored.BitCount());
    info.wWidth = int16_t(stored.Width());
    info.wHeight = int16_t(stored.Height());
    info.wPx = int16_t(X);
    info.wPy = int16_t(Y);
    const std::span<const uint8_t> colorBlock(stored.PBits(), size_t(stored.Size()));
    if (!withAlpha)
        return MakeRecordOfPixels(info, colorBlock, btEncr0 != 0);
    // With alpha the image is always compressed: only a zlib payload can carry the plane.
    std::vector<uint8_t> input(colorBlock.begin(), colorBlock.end());
    input.insert(input.end(), plane.begin(), plane.end());
    return MakeRecord(info, ZCompress(input), true);
}

// A record is made in every case so that source and target keep the same numbering: an image
// that cannot be converted becomes an empty slot.
std::unique_ptr<TImageData> TWzl::ConvertRecord(const TImageData* SourceImageData,
                                                TImageType SourceKind, int SourceBitCount,
                                                uint8_t btEncr0) {
    auto record = std::make_unique<TImageData>();
    record->boCompression = btEncr0 != 0;
    const bool fromWil = SourceKind == t_Wil && SourceImageData && SourceImageData->HasImage() &&
                         SourceImageData->HeaderSize >= 8 &&
                         SourceImageData->Header().size() >= size_t(SourceImageData->HeaderSize);
    if (!fromWil)
        return record;
    const uint8_t* source = SourceImageData->Header().data();
    const int w = GetI16(source + wil::kWidthAt);
    const int h = GetI16(source + wil::kHeightAt);
    if (w < 1 || h < 1 || int64_t(w) * h <= 4) {
        record->boCompression = false;
        return record;
    }
    TImageInfo info;
    info.btPixelKind = PixelKindOfBitCount(SourceBitCount);
    info.wWidth = int16_t(w);
    info.wHeight = int16_t(h);
    info.wPx = GetI16(source + wil::kXAt);
    info.wPy = GetI16(source + wil::kYAt);
    // The stored pixels are taken unchanged; a short payload is completed with zeros so that the
    // raw record keeps the length its header implies.
    const uint64_t colorBlock = ColorBlockSize(info.btPixelKind, w, h);
    const TPayload available(*SourceImageData);
    std::vector<uint8_t> pixels(size_t(std::min<uint64_t>(colorBlock, kMaxRecordSize)), 0);
    std::copy_n(available.Bytes().begin(), std::min(available.Bytes().size(), pixels.size()),
                pixels.begin());
    auto converted = MakeRecordOfPixels(info, pixels, btEncr0 != 0);
    return converted ? std::move(converted) : std::move(record);
}

} // namespace velmora
