#include "core/dib.h"

#include "core/dib_pixels.h"
#include "core/palette.h"

#include <algorithm>
#include <climits>
#include <new>

namespace velmora {

TPixelFormat MakePixelFormat(int r, int g, int b) {
    auto mask = [](int bits, int shift) -> uint32_t {
        if (bits <= 0 || shift < 0 || bits + shift > 32)
            return 0;
        return uint32_t(((uint64_t(1) << bits) - 1) << shift);
    };
    TPixelFormat f;
    f.RedMask = mask(r, g + b);
    f.GreenMask = mask(g, b);
    f.BlueMask = mask(b, 0);
    f.RedBitCount = r;
    f.GreenBitCount = g;
    f.BlueBitCount = b;
    f.RedShift = r + g + b - 8;
    f.GreenShift = g + b - 8;
    f.BlueShift = 8 - b;
    f.RedFillShift = 8 - r;
    f.GreenFillShift = 8 - g;
    f.BlueFillShift = 8 - b;
    return f;
}

namespace {

const TPixelFormat kFormat565 = MakePixelFormat(5, 6, 5);
const TPixelFormat kFormat555 = MakePixelFormat(5, 5, 5);
const TPixelFormat kFormat888 = MakePixelFormat(8, 8, 8);

bool SameMasks(const TPixelFormat& a, const TPixelFormat& b) {
    return a.RedMask == b.RedMask && a.GreenMask == b.GreenMask && a.BlueMask == b.BlueMask;
}

bool ValidBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

} // namespace

TPixelFormat StorageFormatFor(int bits, const TPixelFormat& requested) {
    if (!ValidBitCount(bits))
        throw EInvalidGraphicOperation("Invalid bit count: " + std::to_string(bits));
    bool is565 = SameMasks(requested, kFormat565);
    bool is555 = SameMasks(requested, kFormat555);
    bool is888 = SameMasks(requested, kFormat888);
    if (!is565 && !is555 && !is888)
        throw EInvalidGraphicOperation("Invalid pixel format for " + std::to_string(bits) +
                                       " bits");
    if (bits == 16)
        return is555 ? kFormat555 : kFormat565;
    return kFormat888;
}

const TPixelFormat& StorageFormat(const TDIB& dib) {
    if (dib.BitCount() == 16)
        return SameMasks(dib.PixelFormat(), kFormat555) ? kFormat555 : kFormat565;
    return kFormat888;
}

bool SameLayout(const TDIB& a, const TDIB& b) {
    if (a.BitCount() != b.BitCount())
        return false;
    if (a.BitCount() > 8)
        return SameMasks(StorageFormat(a), StorageFormat(b));
    int n = a.PaletteCount();
    return std::equal(a.ColorTable().begin(), a.ColorTable().begin() + n, b.ColorTable().begin());
}

TPixelWriter::TPixelWriter(const TDIB& dib)
    : FBits(dib.BitCount()), FCount(dib.BitCount() <= 8 ? dib.PaletteCount() : 0),
      FTable(&dib.ColorTable()), FLayout(StorageFormat(dib)) {
    if (FCount == 256 && *FTable == DefaultPalette)
        FLookup = &DefaultPaletteLookup();
}

uint8_t TPixelWriter::NearestIndex(TColor c) {
    if (FLookup)
        return FLookup->Find(RedOf(c), GreenOf(c), BlueOf(c));
    if (c == FLastColor)
        return FLastIndex;
    // A few searches are cheaper than building a look-up; many are not.
    if (++FLinearSearches > 4096) {
        FOwnLookup = std::make_unique<TNearestColorLookup>(FTable->data(), FCount);
        FLookup = FOwnLookup.get();
        return FLookup->Find(RedOf(c), GreenOf(c), BlueOf(c));
    }
    FLastColor = c;
    FLastIndex = NearestColorLinear(FTable->data(), FCount, RedOf(c), GreenOf(c), BlueOf(c));
    return FLastIndex;
}

TDIB::TDIB()
    : FPixelFormat(kFormat888), FRequestedFormat(kFormat888), FColorTable(DefaultPalette) {}
TDIB::TDIB(const TDIB& other) = default;
TDIB& TDIB::operator=(const TDIB& other) = default;
TDIB::TDIB(TDIB&& other) noexcept
    : FWidth(other.FWidth), FHeight(other.FHeight), FBitCount(other.FBitCount),
      FWidthBytes(other.FWidthBytes), FPixelFormat(other.FPixelFormat),
      FRequestedFormat(other.FRequestedFormat), FColorTable(other.FColorTable),
      FStorage(std::move(other.FStorage)) {
    other.FWidth = other.FHeight = other.FWidthBytes = 0;
}
TDIB& TDIB::operator=(TDIB&& other) noexcept {
    if (this != &other) {
        FWidth = other.FWidth;
        FHeight = other.FHeight;
        FBitCount = other.FBitCount;
        FWidthBytes = other.FWidthBytes;
        FPixelFormat = other.FPixelFormat;
        FRequestedFormat = other.FRequestedFormat;
        FColorTable = other.FColorTable;
        FStorage = std::move(other.FStorage);
        other.FWidth = other.FHeight = other.FWidthBytes = 0;
    }
    return *this;
}
TDIB::~TDIB() = default;

int TDIB::PaletteCount() const {
    return FBitCount <= 8 ? 1 << FBitCount : 0;
}

void TDIB::SetPixelFormat(const TPixelFormat& format) {
    FRequestedFormat = format;
    if (!FStorage)
        FPixelFormat = format;
}

void TDIB::Reset(int w, int h, int bitCount) {
    uint64_t rowBytes = ((uint64_t(w) * uint64_t(bitCount) + 31) / 32) * 4;
    uint64_t total = rowBytes * uint64_t(h);
    if (rowBytes > uint64_t(INT_MAX) || total > uint64_t(INT_MAX))
        throw EOutOfResources("Picture too large: " + std::to_string(w) + " x " +
                              std::to_string(h) + " at " + std::to_string(bitCount) + " bits");
    std::shared_ptr<std::vector<uint8_t>> storage;
    try {
        storage = std::make_shared<std::vector<uint8_t>>(size_t(total), uint8_t(0));
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Out of memory for a " + std::to_string(w) + " x " +
                              std::to_string(h) + " picture");
    }
    FStorage = std::move(storage);
    FWidth = w;
    FHeight = h;
    FBitCount = bitCount;
    FWidthBytes = int(rowBytes);
}

void TDIB::SetSize(int AWidth, int AHeight, int ABitCount) {
    if (AWidth < 1 || AHeight < 1) {
        Clear();
        if (ValidBitCount(ABitCount))
            FBitCount = ABitCount;
        return;
    }
    TPixelFormat format = StorageFormatFor(ABitCount, FRequestedFormat);
    if (FStorage && AWidth == FWidth && AHeight == FHeight && ABitCount == FBitCount &&
        SameMasks(format, FPixelFormat))
        return;
    Reset(AWidth, AHeight, ABitCount);
    FPixelFormat = format;
    FRequestedFormat = format;
}

void TDIB::Clear() {
    FStorage.reset();
    FPixelFormat = FRequestedFormat;
    FWidth = FHeight = FWidthBytes = 0;
}

void TDIB::MakeUnique() {
    if (FStorage && FStorage.use_count() > 1)
        FStorage = std::make_shared<std::vector<uint8_t>>(*FStorage);
}

uint8_t* TDIB::PBits() {
    if (!FStorage)
        return nullptr;
    MakeUnique();
    return FStorage->data();
}

const uint8_t* TDIB::PBits() const {
    return FStorage ? FStorage->data() : nullptr;
}

uint8_t* TDIB::TopPBits() {
    uint8_t* p = PBits();
    return p ? p + size_t(FHeight - 1) * size_t(FWidthBytes) : nullptr;
}

const uint8_t* TDIB::TopPBits() const {
    const uint8_t* p = PBits();
    return p ? p + size_t(FHeight - 1) * size_t(FWidthBytes) : nullptr;
}

uint8_t* TDIB::ScanLine(int y) {
    if (y < 0 || y >= FHeight)
        throw EInvalidGraphicOperation("Scan line index out of range: " + std::to_string(y));
    return PBits() + size_t(FHeight - 1 - y) * size_t(FWidthBytes);
}

const uint8_t* TDIB::ScanLine(int y) const {
    if (y < 0 || y >= FHeight)
        throw EInvalidGraphicOperation("Scan line index out of range: " + std::to_string(y));
    return PBits() + size_t(FHeight - 1 - y) * size_t(FWidthBytes);
}

void TDIB::SetPixel(int x, int y, uint32_t Value) {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return;
    TPixelWriter::WriteRawPixel(ScanLine(y), x, FBitCount, Value);
}

uint32_t TDIB::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return 0;
    return ReadRaw(ScanLine(y), x, FBitCount);
}

TColor TDIB::PixelColor(int x, int y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return 0;
    return TPixelReader(*this).Read(ScanLine(y), x);
}

// The storage is plain memory and reads the colour table on every use: nothing to refresh.
void TDIB::UpdatePalette() {}

void TDIB::Assign(const TDIB& other) {
    if (this != &other)
        *this = other;
}

} // namespace velmora
