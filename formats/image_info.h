#pragma once

#include "core/dib.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace velmora {

// The 16-byte per-image header of WZL and Pak records:
//   byte 0      pixel kind (3 = 8-bit indices, 4 or 5 = 16-bit 5-6-5, 6 = 24-bit, 7 = 32-bit)
//   bytes 1, 2  zero
//   byte 3      alpha flag (Pak only; zero in WZL records)
//   4, 6, 8, 10 width, height, X, Y as signed 16-bit
//   12          data length, signed 32-bit: > 0 means a zlib stream of that many bytes follows,
//               otherwise the payload is raw pixels.
struct TImageInfo {
    static constexpr int Size = 16;

    uint8_t btPixelKind = 0;
    uint8_t btReserved1 = 0;
    uint8_t btReserved2 = 0;
    uint8_t btAlpha = 0;
    int16_t wWidth = 0;
    int16_t wHeight = 0;
    int16_t wPx = 0;
    int16_t wPy = 0;
    int32_t nDataLength = 0;

    // Reads the header from 16 bytes.
    static TImageInfo Read(const uint8_t* p);
    // None when fewer than 16 bytes are given.
    static std::optional<TImageInfo> Read(std::span<const uint8_t> data);
    // Writes the header into 16 bytes.
    void Write(uint8_t* p) const;

    friend bool operator==(const TImageInfo&, const TImageInfo&) = default;
};

// The pixel kind written for a buffer of a bit count: 1, 4, 8, 16, 24, 32 give 1, 2, 3, 5, 6, 7;
// any other bit count gives 0.
uint8_t PixelKindOfBitCount(int BitCount);

// The bit count a pixel kind decodes to (3 → 8, 4 and 5 → 16, 6 → 24, 7 → 32); 0 for kinds that
// are never decoded.
int BitCountOfPixelKind(uint8_t Kind);

// Bytes of the colour block of an image of a kind: ((width × bits + 31) div 32) × 4 × height,
// computed in 64 bits; 0 for kinds that are never decoded and for sizes below 1.
uint64_t ColorBlockSize(uint8_t Kind, int Width, int Height);

// A new zeroed pixel buffer for an image of a kind: 8 bits with DefaultPalette, 16 bits with the
// 5-6-5 layout, 24 and 32 bits with 8-8-8. Null for kinds that are never decoded; an empty buffer
// when width or height is below 1.
std::unique_ptr<TDIB> MakePixelBuffer(uint8_t Kind, int Width, int Height);

// A new zeroed pixel buffer of a library bit count (8, 16, 24 or 32), laid out as above.
std::unique_ptr<TDIB> MakeLibraryBuffer(int BitCount, int Width, int Height);

} // namespace velmora
