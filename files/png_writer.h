#pragma once

// Internal to files/: the PNG writer behind SavePNG and SavePngPicture. It writes the chunks
// IHDR, PLTE (palette images), one IDAT holding the filtered rows as one zlib stream, and IEND;
// never interlaced. Palette entries are opaque (a palette picture with alpha is an RGBA picture
// here), so no tRNS chunk is needed. True-colour and grey rows are left unfiltered or filtered
// per row by the filter with the smallest sum of absolute differences, whichever compresses
// sampled rows smaller.

#include "core/dib.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora {

// Fills `row` with row y (0 = top) of packed samples: ceil(width x channels x bitDepth / 8) bytes,
// samples of a pixel interleaved, indices below 8 bits packed from the most significant bit.
using TPngRowSource = std::function<void(int y, uint8_t* row)>;

struct TPngLayout {
    int Width = 0;
    int Height = 0;
    uint8_t ColorType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGB and alpha
    uint8_t BitDepth = 8;  // 8; palette images also 1, 2 or 4
    // Palette images: the colours (red, green, blue fields). Indices beyond it show black.
    std::span<const TRGBQuad> Palette;
};

// How the rows of a picture are filtered: one filter on every row, or per row the filter whose
// output has the smallest sum of absolute values (bytes taken as signed).
enum TFilterPlan : uint8_t { fpNone, fpSub, fpUp, fpPaeth, fpPerRow };

// The stages of WritePng between the rows and the compression, also measured one by one by the
// export benchmark. The raw rows are height rows of rowBytes, bpp bytes per pixel.
// The plan whose trial compression of sampled rows is the smaller: none or per row.
TFilterPlan ChoosePlan(const std::vector<uint8_t>& raw, size_t rowBytes, size_t height, size_t bpp);
// The rows as PNG image data: each row its filter type byte and its filtered bytes.
void FilterImage(const std::vector<uint8_t>& raw, size_t rowBytes, size_t height, size_t bpp,
                 TFilterPlan plan, std::vector<uint8_t>& out);

// The samples per pixel of a colour type.
int PngChannels(uint8_t colorType);

// The PNG file; empty when the layout is not one PNG allows or the picture is too large for one.
// level: 0 (stored) to 12, see ZCompress; others are clamped.
std::vector<uint8_t> WritePng(const TPngLayout& layout, int level, const TPngRowSource& rows);

} // namespace velmora
