#pragma once

// Internal to core/: reading and writing single pixels of a TDIB row in any layout. Used by the
// conversions, the canvas operations and BlitTransparent.

#include "core/dib.h"
#include "core/nearest_color.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace velmora {

inline uint32_t LoadU16(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}
inline uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    return v;
}
inline void StoreU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Palette index x of a 1-, 4- or 8-bit row (most significant bits first).
inline uint8_t ReadIndex(const uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
        return row[x];
    }
}
inline void WriteIndex(uint8_t* row, int x, int bits, uint8_t v) {
    switch (bits) {
    case 1: {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (v & 1) ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v << 4));
        break;
    default:
        row[x] = v;
    }
}

// An n-bit component widened to 8 bits by repeating its bits: 5-bit v gives (v << 3) | (v >> 2),
// 6-bit v gives (v << 2) | (v >> 4).
inline uint8_t WidenComponent(uint32_t v, int bits) {
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return uint8_t(v >> (bits - 8));
    uint32_t aligned = v << (8 - bits);
    uint32_t result = aligned;
    for (int s = bits; s < 8; s += bits)
        result |= aligned >> s;
    return uint8_t(result);
}

// Position and width of each component of a mask layout.
struct TMaskLayout {
    uint32_t mask[3] = {};
    int shift[3] = {};
    int bits[3] = {};

    explicit TMaskLayout(const TPixelFormat& f) {
        const uint32_t m[3] = {f.RedMask, f.GreenMask, f.BlueMask};
        for (int i = 0; i < 3; ++i) {
            mask[i] = m[i];
            shift[i] = m[i] ? std::countr_zero(m[i]) : 0;
            bits[i] = std::popcount(m[i]);
        }
    }
    TColor Unpack(uint32_t word) const {
        return RGBColor(WidenComponent((word & mask[0]) >> shift[0], bits[0]),
                        WidenComponent((word & mask[1]) >> shift[1], bits[1]),
                        WidenComponent((word & mask[2]) >> shift[2], bits[2]));
    }
    // Keeps the top bits of each component (narrowing drops the low bits).
    uint32_t Pack(TColor c) const {
        const uint8_t v[3] = {RedOf(c), GreenOf(c), BlueOf(c)};
        uint32_t word = 0;
        for (int i = 0; i < 3; ++i) {
            if (!bits[i])
                continue;
            uint32_t comp = bits[i] >= 8 ? uint32_t(v[i]) << (bits[i] - 8) : v[i] >> (8 - bits[i]);
            word |= (comp << shift[i]) & mask[i];
        }
        return word;
    }
};

// The layout storage of `bits` gets when `requested` is the buffer's PixelFormat. Only the 5-6-5,
// 5-5-5 and 8-8-8 layouts exist. 16 bits take 5-6-5 or 5-5-5 (8-8-8, left from a true-colour
// buffer, means the library layout 5-6-5); every other bit count takes 8-8-8, so a 16-bit buffer
// converts to 24 bits without resetting its PixelFormat first. Raises EInvalidGraphicOperation
// for other bit counts and for masks of no allowed layout.
TPixelFormat StorageFormatFor(int bits, const TPixelFormat& requested);

// The mask layout a buffer's storage actually has: 5-5-5 or 5-6-5 for 16 bits, 8-8-8 otherwise.
const TPixelFormat& StorageFormat(const TDIB& dib);

// True when both buffers store colours the same way, so that raw values can be copied.
bool SameLayout(const TDIB& a, const TDIB& b);

// The raw value of pixel x of a row: index, 16- or 32-bit word, or TColor for 24 bits.
inline uint32_t ReadRaw(const uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1:
    case 4:
    case 8:
        return ReadIndex(row, x, bits);
    case 16:
        return LoadU16(row + size_t(x) * 2);
    case 24: {
        const uint8_t* p = row + size_t(x) * 3;
        return RGBColor(p[2], p[1], p[0]);
    }
    default:
        return LoadU32(row + size_t(x) * 4);
    }
}

// Colours of the pixels of one buffer.
class TPixelReader {
public:
    explicit TPixelReader(const TDIB& dib)
        : FBits(dib.BitCount()), FTable(&dib.ColorTable()), FLayout(StorageFormat(dib)) {}
    TColor Read(const uint8_t* row, int x) const {
        switch (FBits) {
        case 1:
        case 4:
        case 8: {
            const TRGBQuad& q = (*FTable)[ReadIndex(row, x, FBits)];
            return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        case 16:
            return FLayout.Unpack(LoadU16(row + size_t(x) * 2));
        case 24: {
            const uint8_t* p = row + size_t(x) * 3;
            return RGBColor(p[2], p[1], p[0]);
        }
        default:
            return FLayout.Unpack(LoadU32(row + size_t(x) * 4));
        }
    }

private:
    int FBits;
    const TColorTable* FTable;
    TMaskLayout FLayout;
};

// Writes colours into the pixels of one buffer, converted to its layout; onto a palette buffer
// each colour becomes the nearest entry of its colour table.
class TPixelWriter {
public:
    explicit TPixelWriter(const TDIB& dib);
    // The raw value (index or word) that stands for colour c in this buffer.
    uint32_t Convert(TColor c) {
        if (FBits > 8)
            return FBits == 24 ? c : FLayout.Pack(c);
        return NearestIndex(c);
    }
    void WriteRaw(uint8_t* row, int x, uint32_t raw) const { WriteRawPixel(row, x, FBits, raw); }
    static void WriteRawPixel(uint8_t* row, int x, int bits, uint32_t raw) {
        switch (bits) {
        case 1:
        case 4:
        case 8:
            WriteIndex(row, x, bits, uint8_t(raw));
            break;
        case 16:
            StoreU16(row + size_t(x) * 2, raw);
            break;
        case 24: {
            uint8_t* p = row + size_t(x) * 3;
            p[0] = BlueOf(raw);
            p[1] = GreenOf(raw);
            p[2] = RedOf(raw);
            break;
        }
        default:
            StoreU32(row + size_t(x) * 4, raw);
        }
    }
    void Write(uint8_t* row, int x, TColor c) { WriteRaw(row, x, Convert(c & 0xFFFFFF)); }

private:
    uint8_t NearestIndex(TColor c);

    int FBits;
    int FCount;
    const TColorTable* FTable;
    TMaskLayout FLayout;
    const TNearestColorLookup* FLookup = nullptr;
    std::unique_ptr<TNearestColorLookup> FOwnLookup;
    int FLinearSearches = 0;
    TColor FLastColor = 0xFFFFFFFF;
    uint8_t FLastIndex = 0;
};

} // namespace velmora
