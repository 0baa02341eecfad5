#include "formats/wil.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/utils.h"
#include "formats/image_info.h"
#include "formats/library_file.h"
#include "formats/wil_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

int BitCountOfColorCount(uint32_t colorCount) {
    if (colorCount < wil::kColorCount16)
        return 8;
    if (colorCount == wil::kColorCount16)
        return 16;
    if (colorCount == wil::kColorCount24)
        return 24;
    if (colorCount == wil::kColorCount32)
        return 32;
    return 0;
}

void MakeBlankHeader(std::span<uint8_t> header) {
    std::fill(header.begin(), header.end(), uint8_t(0));
    PutI16(header.data() + wil::kWidthAt, 1);
    PutI16(header.data() + wil::kHeightAt, 1);
}

// Width and height of a header; (0, 0) when it is too short to hold them.
std::pair<int, int> SizeOf(std::span<const uint8_t> header) {
    if (header.size() < size_t(wil::kYAt + 2))
        return {0, 0};
    return {GetI16(header.data() + wil::kWidthAt), GetI16(header.data() + wil::kHeightAt)};
}

} // namespace

TWilState::TWilState(std::shared_ptr<TFileStream> Data, std::span<const uint8_t> Header)
    : TIndexedState(t_Wil, BitCountOfColorCount(GetU32(Header.data() + wil::kColorCountAt)),
                    std::move(Data)) {
    std::copy_n(Header.begin(), std::min(Header.size(), FHeader.size()), FHeader.begin());
    FBitCountValid = BitCount() != 0;
    FVersion = 0;
    FFileHeaderSize = wil::kLongFileHeaderSize;
    FIndexHeaderSize = wil::kLongIndexHeaderSize;
    FImageHeaderSize = wil::kLongImageHeaderSize;
    const int32_t indexOffset = GetI32(FHeader.data() + wil::kIndexOffsetAt);
    if (indexOffset == 0 || indexOffset == -1) {
        FVersion = 1;
        FFileHeaderSize = wil::kShortFileHeaderSize;
        FIndexHeaderSize = wil::kShortIndexHeaderSize;
        FImageHeaderSize = wil::kShortImageHeaderSize;
    }
    FHeaderImageCount = std::max<int32_t>(0, GetI32(FHeader.data() + wil::kImageCountAt));
    if (FData)
        ReadAt(*FData, FFileHeaderSize, FRGBQuads);
    FLayout.FirstRecordAt = FFileHeaderSize + wil::kPaletteBytes;
    FLayout.IndexHeaderSize = FIndexHeaderSize;
    FLayout.ImageHeaderSize = FImageHeaderSize;
    FLayout.MinimumDataSize = wil::kShortFileHeaderSize;
    // Every index entry names a record: empty images are stored blank records.
    FLayout.XAt = wil::kXAt;
    FLayout.YAt = wil::kYAt;
    // An emptied image is written as a blank record: a 1 x 1 header and the blank picture's
    // pixels.
    if (FBitCountValid) {
        FLayout.EmptyRecord.assign(size_t(FImageHeaderSize) + size_t(RowBytes(1, BitCount())), 0);
        MakeBlankHeader(std::span<uint8_t>(FLayout.EmptyRecord).first(size_t(FImageHeaderSize)));
    }
}

std::shared_ptr<TIndexedState> TWilState::Copy() const {
    return std::make_shared<TWilState>(*this);
}

TFormatFacts TWilState::Facts() const {
    TFormatFacts facts;
    facts.HeaderVariant = FVersion;
    facts.FileHeaderSize = FFileHeaderSize;
    facts.ImageHeaderSize = FImageHeaderSize;
    facts.FixedDepth = true;
    return facts;
}

TWil::TWil(const std::string& AFileName) : TIndexedLibrary(AFileName, t_Wil) {}

TWil::~TWil() {
    Finalize();
}

const TWilState& TWil::WilState() const {
    return static_cast<const TWilState&>(IndexedState());
}

int TWil::MinimumDataSize() const {
    return wil::kShortFileHeaderSize;
}

std::shared_ptr<TIndexedState> TWil::ReadState(std::shared_ptr<TFileStream> Data) const {
    std::array<uint8_t, 60> header{};
    ReadAt(*Data, 0, header);
    auto state = std::make_shared<TWilState>(std::move(Data), header);
    if (!state->Valid())
        return nullptr;
    return state;
}

std::shared_ptr<TImageData>
TWilState::LoadedRecord(int32_t Position, std::span<const uint8_t> Header, int64_t DataSize) const {
    auto record = std::make_shared<TImageData>();
    record->OffSet = Position;
    record->HeaderSize = FImageHeaderSize;
    record->Image.assign(Header.begin(), Header.end());
    record->Image.resize(size_t(FImageHeaderSize), 0);
    const auto [w, h] = SizeOf(Header);
    uint64_t size = 0;
    if (w >= 1 && h >= 1 && int64_t(w) * h > 4)
        size = uint64_t(FImageHeaderSize) + RowBytes(w, BitCount()) * uint64_t(h);
    if (size == 0 || size > uint64_t(std::numeric_limits<int32_t>::max()) ||
        !RecordSizePlausible(Position, size, DataSize)) {
        // A blank record, or one whose declared size cannot be honoured: it reads as the blank
        // picture and is saved as its header alone.
        MakeBlankHeader(record->Image);
        record->DataSize = FImageHeaderSize;
    } else {
        record->DataSize = int32_t(size);
    }
    return record;
}

uint64_t TWilState::ScannedRecordSize(std::span<const uint8_t> Header, bool& Blank) const {
    const auto [w, h] = SizeOf(Header);
    if (w < 1 || h < 1)
        return 0;
    Blank = int64_t(w) * h <= 4;
    return uint64_t(FImageHeaderSize) + RowBytes(w, BitCount()) * uint64_t(h);
}

std::vector<uint8_t> TWilState::DataHeaderBytes(uint32_t Count) const {
    std::vector<uint8_t> bytes(FHeader.begin(), FHeader.begin() + FFileHeaderSize);
    PutI32(bytes.data() + wil::kImageCountAt, int32_t(Count));
    bytes.insert(bytes.end(), FRGBQuads.begin(), FRGBQuads.end());
    return bytes;
}

std::vector<uint8_t> TWilState::IndexHeaderBytes(uint32_t Count) const {
    std::vector<uint8_t> header(size_t(FIndexHeaderSize), 0);
    const size_t titleLength = sizeof(wil::kTitle) - 1;
    header[0] = uint8_t(titleLength);
    std::memcpy(header.data() + 1, wil::kTitle, titleLength);
    PutI32(header.data() + wil::kIndexCountAt, int32_t(Count));
    return header;
}

// A blank record's header is read back as 1 x 1 at (0, 0): an offset given to it would not last.
TRecord TWil::WithPoint(const TImageData& Record, TPoint Value) const {
    const auto [w, h] = SizeOf(Record.Header());
    if (int64_t(w) * h <= 4)
        return nullptr;
    return TIndexedLibrary::WithPoint(Record, Value);
}

// A new library: the short layout's 56-byte header with the title and the colour count of the bit
// count (0 for any other value), DefaultPalette, no records; a 56-byte index of the title alone.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> TWil::NewFiles(int BitCount) const {
    std::vector<uint8_t> data(size_t(wil::kShortFileHeaderSize + wil::kPaletteBytes), 0);
    const size_t n = sizeof(wil::kTitle) - 1;
    data[0] = uint8_t(n);
    std::memcpy(data.data() + 1, wil::kTitle, n);
    uint32_t colorCount = 0;
    switch (BitCount) {
    case 8:
        colorCount = 256;
        break;
    case 16:
        colorCount = wil::kColorCount16;
        break;
    case 24:
        colorCount = wil::kColorCount24;
        break;
    case 32:
        colorCount = wil::kColorCount32;
        break;
    }
    PutU32(data.data() + wil::kImageCountAt, 0);
    PutU32(data.data() + wil::kColorCountAt, colorCount);
    PutU32(data.data() + wil::kPaletteSizeAt, uint32_t(data.size()));
    for (size_t i = 0; i < DefaultPalette.size(); ++i) {
        uint8_t* p = data.data() + wil::kShortFileHeaderSize + i * 4;
        p[0] = DefaultPalette[i].rgbBlue;
        p[1] = DefaultPalette[i].rgbGreen;
        p[2] = DefaultPalette[i].rgbRed;
        p[3] = 0;
    }
    std::vector<uint8_t> index(size_t(wil::kShortFileHeaderSize), 0);
    std::memcpy(index.data(), data.data(), 26);
    return {std::move(data), std::move(index)};
}

// True when a record reads as the blank picture: emptied, too small to hold a header, or
// declaring fewer than 5 pixels or more than a picture can hold.
bool TWilState::IsBlank(const TImageData& Record) const {
    if (!Record.HasImage() || Record.Header().size() < size_t(wil::kYAt + 2))
        return true;
    const auto [w, h] = SizeOf(Record.Header());
    if (w < 1 || h < 1 || int64_t(w) * h < 5)
        return true;
    return RowBytes(w, BitCount()) * uint64_t(h) > uint64_t(std::numeric_limits<int32_t>::max());
}

std::unique_ptr<TPicture> TWilState::DecodeRecord(const TImageData& Record) const {
    if (IsBlank(Record))
        return FillDIB();
    const auto [w, h] = SizeOf(Record.Header());
    auto dib = MakeLibraryBuffer(BitCount(), w, h);
    if (!dib)
        return nullptr;
    // What the payload does not hold (a record cut short) stays zero.
    const TPayload payload(Record);
    const size_t n = std::min(size_t(dib->Size()), payload.Bytes().size());
    if (n > 0)
        std::memcpy(dib->PBits(), payload.Bytes().data(), n);
    return dib;
}

std::optional<TImageDescription> TWilState::Describe(const TImageData& Record, bool) const {
    TImageDescription d;
    const auto [w, h] = SizeOf(Record.Header());
    d.Width = w;
    d.Height = h;
    d.Offset = PointOfHeader(Record.Header());
    // Records of 4 pixels or fewer are blank records: they read back as the blank picture.
    d.Empty = int64_t(w) * h <= 4;
    d.Alpha = false; // WIL pictures carry no alpha
    return d;
}

std::unique_ptr<TImageData> TWil::EncodeImage(TDIB& Source, int X, int Y, uint8_t /*btEncr0*/,
                                              const TDIB* /*Alpha*/) {
    // The record header holds the size in 16 bits; larger pictures cannot be stored.
    if (Source.Width() > std::numeric_limits<int16_t>::max() ||
        Source.Height() > std::numeric_limits<int16_t>::max())
        return nullptr;
    const int32_t headerSize = WilState().ImageHeaderSize();
    // Converted on a copy so that the caller's picture stays as it was.
    TDIB picture(Source);
    if (picture.Empty()) {
        picture = *MakeLibraryBuffer(FBitCount, std::max(picture.Width(), 1),
                                     std::max(picture.Height(), 1));
    } else if (picture.BitCount() != FBitCount ||
               (FBitCount == 16 && picture.PixelFormat() != MakePixelFormat(5, 6, 5))) {
        // A 16-bit picture in the 5-5-5 layout is converted too, not reinterpreted.
        if (FBitCount == 8) {
            auto indexed = MakeLibraryBuffer(8, picture.Width(), picture.Height());
            indexed->Draw(0, 0, picture);
            picture = *indexed;
        } else {
            picture.SetPixelFormat(FBitCount == 16 ? MakePixelFormat(5, 6, 5)
                                                   : MakePixelFormat(8, 8, 8));
            picture.SetBitCount(FBitCount);
        }
    }
    const TDIB& stored = picture;
    const uint64_t payload =
        RowBytes(stored.Width(), stored.BitCount()) * uint64_t(stored.Height());
    const uint64_t size = uint64_t(headerSize) + payload;
    if (size > uint64_t(std::numeric_limits<int32_t>::max()))
        return nullptr;
    auto record = std::make_unique<TImageData>();
    record->HeaderSize = headerSize;
    record->DataSize = int32_t(size);
    record->Image.assign(size_t(size), 0);
    uint8_t* header = record->Image.data();
    PutI16(header + wil::kWidthAt, stored.Width());
    PutI16(header + wil::kHeightAt, stored.Height());
    PutI16(header + wil::kXAt, X);
    PutI16(header + wil::kYAt, Y);
    if (payload > 0)
        std::memcpy(header + headerSize, stored.PBits(), size_t(payload));
    return record;
}

} // namespace velmora
