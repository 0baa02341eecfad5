#include "formats/alpha_plane.h"

#include "core/checked.h"
#include "formats/image_info.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// The alpha sample of a pixel: the index of an 8-bit buffer, the top byte of a 32-bit one;
// buffers of other bit counts carry no alpha and count as opaque.
uint8_t AlphaSample(const uint8_t* row, int bitCount, int x) {
    if (bitCount == 8)
        return row[x];
    if (bitCount == 32)
        return row[4 * x + 3];
    return 255;
}

} // namespace

uint64_t HalfAlphaPlaneSize(int Width, int Height) {
    if (Width < 1 || Height < 1)
        return 0;
    const uint64_t pixels = uint64_t(Width) * uint64_t(Height);
    const uint64_t size = uint64_t(Height) * RowBytes(Width, 8) / 2;
    // Only width 2 makes this equal to a full plane's length, which readers take first.
    return size == pixels ? pixels / 2 : size;
}

std::vector<uint8_t> EncodeHalfAlphaPlane(const TDIB& Alpha) {
    const int w = Alpha.Width();
    const int h = Alpha.Height();
    std::vector<uint8_t> plane(HalfAlphaPlaneSize(w, h), 0);
    if (plane.empty())
        return plane;
    const size_t half = size_t(w / 2);
    for (int r = 0; r < h; ++r) {
        const uint8_t* a = Alpha.ScanLine(r);
        uint8_t* out = plane.data() + size_t(r) * half;
        for (size_t i = 0; i < half; ++i) {
            const int x = int(2 * i);
            const uint8_t even = AlphaSample(a, Alpha.BitCount(), x);
            out[i] =
                (i % 2 == 1) ? uint8_t((even + AlphaSample(a, Alpha.BitCount(), x + 1)) / 2) : even;
        }
    }
    return plane;
}

std::unique_ptr<TDIB> DecodeHalfAlphaPlane(std::span<const uint8_t> Plane, int Width, int Height) {
    auto alpha = MakeLibraryBuffer(8, Width, Height);
    if (alpha->Empty())
        return alpha;
    const uint64_t half = uint64_t(Width / 2);
    const uint64_t n = Plane.size();
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = alpha->ScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const uint64_t s = uint64_t(y) * half + uint64_t(x / 2);
            const int v0 = s < n ? Plane[s] : 0;
            if (x % 2 == 0) {
                row[x] = uint8_t(v0);
            } else {
                const int v1 = s + 1 < n ? Plane[s + 1] : v0;
                row[x] = uint8_t((v0 + v1) / 2);
            }
        }
    }
    return alpha;
}

std::unique_ptr<TDIB> ReadFullAlphaPlane(std::span<const uint8_t> Plane, int Width, int Height) {
    auto alpha = MakeLibraryBuffer(8, Width, Height);
    const size_t n = std::min(Plane.size(), size_t(alpha->Size()));
    if (n > 0)
        std::memcpy(alpha->PBits(), Plane.data(), n);
    return alpha;
}

std::unique_ptr<TDIB> DecodeAlphaPlane(std::span<const uint8_t> Extra, int Width, int Height) {
    if (Extra.empty() || Width < 1 || Height < 1)
        return nullptr;
    const uint64_t e = Extra.size();
    const uint64_t pixels = uint64_t(Width) * uint64_t(Height);
    if (e == pixels)
        return ReadFullAlphaPlane(Extra, Width, Height);
    // The second length is what the encoder writes for widths that are not a multiple of 4.
    if (e == pixels / 2 || e == uint64_t(Height) * RowBytes(Width, 8) / 2)
        return DecodeHalfAlphaPlane(Extra, Width, Height);
    return nullptr;
}

std::unique_ptr<TPngPicture> MakeAlphaPicture(const TDIB& Pixels, const TDIB& Alpha) {
    if (Pixels.Empty() || Alpha.Width() != Pixels.Width() || Alpha.Height() != Pixels.Height())
        return nullptr;
    TDIB colour(Pixels);
    // Palette indices of a library picture mean DefaultPalette colours; with alpha they become
    // true colour so that the picture is an RGB picture with a real alpha channel.
    if (colour.BitCount() <= 8)
        colour.SetBitCount(24);
    auto png = std::make_unique<TPngPicture>();
    png->AssignFromDIB(colour);
    png->CreateAlpha();
    for (int y = 0; y < Pixels.Height(); ++y) {
        const uint8_t* a = Alpha.ScanLine(y);
        uint8_t* out = png->AlphaScanline(y);
        for (int x = 0; x < Pixels.Width(); ++x)
            out[x] = AlphaSample(a, Alpha.BitCount(), x);
    }
    return png;
}

} // namespace velmora
