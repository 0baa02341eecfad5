#include "formats/image_info.h"

#include "core/checked.h"
#include "core/palette.h"

namespace velmora {

TImageInfo TImageInfo::Read(const uint8_t* p) {
    TImageInfo info;
    info.btPixelKind = p[0];
    info.btReserved1 = p[1];
    info.btReserved2 = p[2];
    info.btAlpha = p[3];
    info.wWidth = GetI16(p + 4);
    info.wHeight = GetI16(p + 6);
    info.wPx = GetI16(p + 8);
    info.wPy = GetI16(p + 10);
    info.nDataLength = GetI32(p + 12);
    return info;
}

std::optional<TImageInfo> TImageInfo::Read(std::span<const uint8_t> data) {
    if (data.size() < size_t(Size))
        return std::nullopt;
    return Read(data.data());
}

void TImageInfo::Write(uint8_t* p) const {
    p[0] = btPixelKind;
    p[1] = btReserved1;
    p[2] = btReserved2;
    p[3] = btAlpha;
    PutI16(p + 4, wWidth);
    PutI16(p + 6, wHeight);
    PutI16(p + 8, wPx);
    PutI16(p + 10, wPy);
    PutI32(p + 12, nDataLength);
}

uint8_t PixelKindOfBitCount(int BitCount) {
    switch (BitCount) {
    case 1:
        return 1;
    case 4:
        return 2;
    case 8:
        return 3;
    case 16:
        return 5;
    case 24:
        return 6;
    case 32:
        return 7;
    default:
        return 0;
    }
}

int BitCountOfPixelKind(uint8_t Kind) {
    switch (Kind) {
    case 3:
        return 8;
    case 4:
    case 5:
        return 16;
    case 6:
        return 24;
    case 7:
        return 32;
    default:
        return 0;
    }
}

uint64_t ColorBlockSize(uint8_t Kind, int Width, int Height) {
    const int bits = BitCountOfPixelKind(Kind);
    if (bits == 0 || Width < 1 || Height < 1)
        return 0;
    return RowBytes(Width, bits) * uint64_t(Height);
}

std::unique_ptr<TDIB> MakeLibraryBuffer(int BitCount, int Width, int Height) {
    auto dib = std::make_unique<TDIB>();
    switch (BitCount) {
    case 8:
        dib->ColorTable() = DefaultPalette;
        dib->UpdatePalette();
        dib->SetPixelFormat(MakePixelFormat(8, 8, 8));
        break;
    case 16:
        dib->SetPixelFormat(MakePixelFormat(5, 6, 5));
        break;
    case 24:
    case 32:
        dib->SetPixelFormat(MakePixelFormat(8, 8, 8));
        break;
    default:
        return nullptr;
    }
    dib->SetSize(Width, Height, BitCount);
    return dib;
}

std::unique_ptr<TDIB> MakePixelBuffer(uint8_t Kind, int Width, int Height) {
    const int bits = BitCountOfPixelKind(Kind);
    if (bits == 0)
        return nullptr;
    return MakeLibraryBuffer(bits, Width, Height);
}

} // namespace velmora
