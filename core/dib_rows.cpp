#include "core/dib.h"

#include "core/dib_pixels.h"

#include <cstring>

namespace velmora {

namespace {

constexpr uint8_t Widen5(uint32_t v) {
    return uint8_t((v << 3) | (v >> 2));
}
constexpr uint8_t Widen6(uint32_t v) {
    return uint8_t((v << 2) | (v >> 4));
}

} // namespace

TRowColors::TRowColors(const TDIB& dib) : FDib(dib) {
    switch (dib.BitCount()) {
    case 1:
    case 4:
    case 8:
        FKind = rkIndexed;
        for (size_t i = 0; i < 256; ++i) {
            const TRGBQuad& q = dib.ColorTable()[i];
            FTable[i * 3] = q.rgbRed;
            FTable[i * 3 + 1] = q.rgbGreen;
            FTable[i * 3 + 2] = q.rgbBlue;
        }
        break;
    case 16:
        // Storage holds 5-6-5 or 5-5-5, nothing else.
        FKind = StorageFormat(dib).GreenMask == 0x3E0 ? rk555 : rk565;
        break;
    case 24:
        FKind = rk24;
        break;
    default:
        FKind = rk32;
        break;
    }
}

void TRowColors::Read(int y, uint8_t* rgb) const {
    const uint8_t* row = FDib.ScanLine(y);
    const int w = FDib.Width();
    switch (FKind) {
    case rkIndexed: {
        const int bits = FDib.BitCount();
        for (int x = 0; x < w; ++x, rgb += 3)
            std::memcpy(rgb, &FTable[size_t(ReadIndex(row, x, bits)) * 3], 3);
        break;
    }
    case rk565:
        for (int x = 0; x < w; ++x, rgb += 3) {
            const uint32_t v = LoadU16(row + size_t(x) * 2);
            rgb[0] = Widen5(v >> 11);
            rgb[1] = Widen6((v >> 5) & 0x3F);
            rgb[2] = Widen5(v & 0x1F);
        }
        break;
    case rk555:
        for (int x = 0; x < w; ++x, rgb += 3) {
            const uint32_t v = LoadU16(row + size_t(x) * 2);
            rgb[0] = Widen5((v >> 10) & 0x1F);
            rgb[1] = Widen5((v >> 5) & 0x1F);
            rgb[2] = Widen5(v & 0x1F);
        }
        break;
    case rk24:
    case rk32: {
        const size_t step = FKind == rk24 ? 3 : 4;
        for (int x = 0; x < w; ++x, rgb += 3, row += step) {
            rgb[0] = row[2];
            rgb[1] = row[1];
            rgb[2] = row[0];
        }
        break;
    }
    }
}

} // namespace velmora
