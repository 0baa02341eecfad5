#pragma once

#include "core/dib.h"
#include "core/picture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

// PNG colour types.
enum TPngColorType : uint8_t {
    pctGrey = 0,
    pctRGB = 2,
    pctPalette = 3,
    pctGreyAlpha = 4,
    pctRGBAlpha = 6,
};

// A picture held as a PNG holds it: 8-bit-per-channel rows, top row first, with its colour type.
// Grey and palette pictures have one sample per pixel, RGB three (red, green, blue); the alpha
// channel of colour types 4 and 6 is kept as a plane of its own. Libraries hand images with an
// alpha plane out as such a picture; files/ loads and saves it through libpng.
class TPngPicture final : public TPicture {
public:
    TPngPicture() = default;

    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    TPngPicture* AsPng() override { return this; }
    const TPngPicture* AsPng() const override { return this; }

    TPngColorType ColorType() const { return FColorType; }
    bool HasAlpha() const { return FColorType == pctGreyAlpha || FColorType == pctRGBAlpha; }
    int Channels() const { return FColorType == pctRGB || FColorType == pctRGBAlpha ? 3 : 1; }

    // Takes a bitmap: a palette bitmap of 8 bits or fewer becomes a palette picture with the
    // bitmap's colour table, any other bitmap an RGB picture. Any alpha is dropped.
    void AssignFromDIB(const TDIB& bitmap);
    // Builds a picture directly (all samples 0, alpha 255 when the type has alpha).
    void SetSize(int width, int height, TPngColorType colorType);

    // Adds an alpha channel (all 255): grey becomes grey with alpha, RGB and palette become RGB
    // with alpha. Nothing happens when the picture has alpha already.
    void CreateAlpha();

    // Row y from the top: Width() * Channels() samples.
    uint8_t* Scanline(int y);
    const uint8_t* Scanline(int y) const;
    // Alpha row y from the top; null without alpha.
    uint8_t* AlphaScanline(int y);
    const uint8_t* AlphaScanline(int y) const;

    // Palette of colour type 3 (red, green, blue in the entries' fields), up to 256 entries.
    std::vector<TRGBQuad>& Palette() { return FPalette; }
    const std::vector<TRGBQuad>& Palette() const { return FPalette; }

    // The PNG library's own conversion to a bitmap: palette pictures become 8-bit palette
    // bitmaps, grey pictures 8-bit bitmaps with a grey ramp, everything else 24 bits. Alpha is
    // not carried over.
    std::unique_ptr<TDIB> ToDIB() const;
    // The conversion the program uses wherever alpha matters: as ToDIB, but a picture with alpha
    // becomes a 32-bit bitmap whose top bytes are the alpha values.
    std::unique_ptr<TDIB> ToDIBWithAlpha() const;

private:
    int FWidth = 0;
    int FHeight = 0;
    TPngColorType FColorType = pctRGB;
    std::vector<uint8_t> FSamples;
    std::vector<uint8_t> FAlpha;
    std::vector<TRGBQuad> FPalette;
};

} // namespace velmora
