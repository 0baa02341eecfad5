// TDIB: conversion between bit counts and the alpha-channel operations.

#include "core/dib.h"

#include "core/dib_pixels.h"
#include "core/palette.h"

#include <array>

namespace velmora {

namespace {

bool IsPalette(int bits) {
    return bits <= 8;
}

// Converts every row of `from` into `to` (same size, storage already made).
void ConvertRows(const TDIB& from, TDIB& to) {
    const int w = from.Width(), h = from.Height();
    const int fromBits = from.BitCount(), toBits = to.BitCount();
    TPixelWriter writer(to);

    if (IsPalette(fromBits)) {
        // Each index stands for one colour: convert the colour table once.
        std::array<uint32_t, 256> map{};
        const int n = from.PaletteCount();
        for (int i = 0; i < n; ++i) {
            const TRGBQuad& q = from.ColorTable()[size_t(i)];
            if (IsPalette(toBits) && toBits >= fromBits)
                map[size_t(i)] = uint32_t(i); // palette to an equal or larger palette
            else
                map[size_t(i)] = writer.Convert(RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue));
        }
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = from.ScanLine(y);
            uint8_t* dst = to.ScanLine(y);
            for (int x = 0; x < w; ++x)
                writer.WriteRaw(dst, x, map[ReadIndex(src, x, fromBits)]);
        }
        return;
    }

    // 24 or 32 bits to the 8-bit default palette: the common reduction, kept tight.
    if ((fromBits == 24 || fromBits == 32) && toBits == 8 && to.ColorTable() == DefaultPalette) {
        const TNearestColorLookup& lookup = DefaultPaletteLookup();
        const int step = fromBits / 8;
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = from.ScanLine(y);
            uint8_t* dst = to.ScanLine(y);
            // Runs of one colour (backgrounds, flat areas) skip the look-up.
            uint32_t last = 0xFFFFFFFF;
            uint8_t lastIndex = 0;
            for (int x = 0; x < w; ++x, src += step) {
                const uint32_t c =
                    uint32_t(src[0]) | (uint32_t(src[1]) << 8) | (uint32_t(src[2]) << 16);
                if (c != last) {
                    last = c;
                    lastIndex = lookup.Find(src[2], src[1], src[0]);
                }
                dst[x] = lastIndex;
            }
        }
        return;
    }

    TPixelReader reader(from);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = from.ScanLine(y);
        uint8_t* dst = to.ScanLine(y);
        for (int x = 0; x < w; ++x)
            writer.Write(dst, x, reader.Read(src, x));
    }
}

} // namespace

void TDIB::SetBitCount(int ABitCount) {
    if (Empty())
        return;
    TPixelFormat target = StorageFormatFor(ABitCount, FRequestedFormat); // raises on bad input
    if (ABitCount == FBitCount &&
        (ABitCount <= 8 || StorageFormat(*this).RedMask == target.RedMask))
        return;
    TDIB old(*this); // shares the storage; the new storage is made below
    Clear();
    SetSize(old.Width(), old.Height(), ABitCount);
    ConvertRows(old, *this);
}

bool TDIB::HasAlphaChannel() const {
    if (FBitCount != 32 || Empty())
        return false;
    const uint8_t* p = PBits();
    for (int i = 0, n = Size(); i < n; i += 4)
        if (p[i + 3] != 0)
            return true;
    return false;
}

bool TDIB::AssignAlphaChannel(const TDIB& A) {
    if (Empty())
        return false;
    if (FBitCount != 32)
        SetBitCount(32);
    if (A.Width() != FWidth || A.Height() != FHeight || (A.BitCount() != 8 && A.BitCount() != 32))
        return false;
    PBits(); // own storage before reading A, which may share it
    for (int y = 0; y < FHeight; ++y) {
        uint8_t* dst = ScanLine(y);
        const uint8_t* src = A.ScanLine(y);
        if (A.BitCount() == 8)
            for (int x = 0; x < FWidth; ++x)
                dst[size_t(x) * 4 + 3] = src[x];
        else
            for (int x = 0; x < FWidth; ++x)
                dst[size_t(x) * 4 + 3] = src[size_t(x) * 4 + 3];
    }
    return true;
}

void TDIB::SetAlphaChannel(const TDIB& A) {
    if (!AssignAlphaChannel(A))
        throw EInvalidGraphicOperation("Cannot set alphachannel from DIB.");
}

std::unique_ptr<TDIB> TDIB::RetAlphaChannel() const {
    if (!HasAlphaChannel())
        return nullptr;
    auto alpha = std::make_unique<TDIB>();
    for (int i = 0; i < 256; ++i)
        alpha->ColorTable()[size_t(i)] = TRGBQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    alpha->UpdatePalette();
    alpha->SetSize(FWidth, FHeight, 8);
    for (int y = 0; y < FHeight; ++y) {
        const uint8_t* src = ScanLine(y);
        uint8_t* dst = alpha->ScanLine(y);
        for (int x = 0; x < FWidth; ++x)
            dst[x] = src[size_t(x) * 4 + 3];
    }
    return alpha;
}

} // namespace velmora
