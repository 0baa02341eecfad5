#include "formats/alpha_plane.h"

#include "core/checked.h"
#include "formats/image_info.h"

#include <algorithm>
#include <array>
#include <cstdlib>
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

namespace {

// What the reader shows at one pixel: sample First, or the mean of samples First and First + 1.
struct TPixelRead {
    uint64_t First;
    bool Mean;
};

// The reading rule of DecodeHalfAlphaPlane for a plane of n bytes: pixel x of row y reads
// s = y × (width div 2) + x div 2; even columns show plane[s], odd ones the mean of plane[s] and
// plane[s + 1] (plane[s] alone past the end).
TPixelRead ReadOf(int x, int y, uint64_t half, uint64_t n) {
    const uint64_t s = uint64_t(y) * half + uint64_t(x / 2);
    return {s, x % 2 == 1 && s + 1 < n};
}

// What the pixels ask of one sample: the values of the pixels that show it alone (none, one, or
// two: the last column of an odd width shows the sample that starts the next row) and the value
// of the pixel that shows its mean with the next sample (-1: none does).
struct TSampleUse {
    uint8_t Shown = 0;
    uint8_t Low = 255;
    uint8_t High = 0;
    int16_t MeanTarget = -1;

    // The values worth trying: moving a sample that pixels show alone by two towards their values
    // lowers their difference by two per pixel and changes each of the (at most two) means it
    // takes part in by one, so some best plane holds it within one of those values. A sample no
    // pixel shows alone may take any value.
    int First() const { return Shown > 0 ? std::max(0, Low - 1) : 0; }
    int Last() const { return Shown > 0 ? std::min(255, High + 1) : 255; }
    // The value ties prefer: the middle of the values shown, else the smallest.
    int Preferred() const { return Shown > 0 ? (Low + High) / 2 : 0; }
    uint32_t Cost(int v) const {
        if (Shown == 0)
            return 0;
        return uint32_t(std::abs(v - Low) + (Shown > 1 ? std::abs(v - High) : 0));
    }
};

// True when a differs from `tie` less than b does.
bool Nearer(int a, int b, int tie) {
    return std::abs(a - tie) < std::abs(b - tie);
}

// A width of 1 shows sample 0 at every pixel: the value with the least total difference.
std::vector<uint8_t> EncodeSingleColumn(const TDIB& Alpha, uint64_t n) {
    std::array<uint64_t, 256> count{};
    for (int y = 0; y < Alpha.Height(); ++y)
        ++count[AlphaSample(Alpha.ScanLine(y), Alpha.BitCount(), 0)];
    int low = 255, high = 0;
    for (int t = 0; t < 256; ++t)
        if (count[size_t(t)] > 0) {
            low = std::min(low, t);
            high = std::max(high, t);
        }
    const int tie = (low + high) / 2;
    int chosen = 0;
    uint64_t least = UINT64_MAX;
    for (int v = 0; v < 256; ++v) {
        uint64_t cost = 0;
        for (int t = 0; t < 256; ++t)
            cost += count[size_t(t)] * uint64_t(std::abs(v - t));
        if (cost < least || (cost == least && Nearer(v, chosen, tie))) {
            least = cost;
            chosen = v;
        }
    }
    std::vector<uint8_t> plane(n, 0);
    plane[0] = uint8_t(chosen);
    return plane;
}

} // namespace

std::vector<uint8_t> EncodeHalfAlphaPlane(const TDIB& Alpha) {
    const int w = Alpha.Width();
    const int h = Alpha.Height();
    const uint64_t n = HalfAlphaPlaneSize(w, h);
    if (n == 0)
        return {};
    if (w == 1)
        return EncodeSingleColumn(Alpha, n);
    const uint64_t half = uint64_t(w / 2);
    // The pixels read samples 0 up to the one the last pixel reads (or the next, for a mean);
    // samples after them stay 0.
    const TPixelRead end = ReadOf(w - 1, h - 1, half, n);
    const size_t count = size_t(std::min<uint64_t>(n, end.First + (end.Mean ? 2 : 1)));
    std::vector<TSampleUse> use(count);
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = Alpha.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t value = AlphaSample(a, Alpha.BitCount(), x);
            const TPixelRead read = ReadOf(x, y, half, n);
            TSampleUse& u = use[size_t(read.First)];
            if (read.Mean) {
                u.MeanTarget = value;
            } else {
                ++u.Shown;
                u.Low = std::min(u.Low, value);
                u.High = std::max(u.High, value);
            }
        }
    }

    // Along the run of samples: cost[v] is the least total difference of the pixels that read
    // samples up to s only, with sample s at value v; from keeps, per sample and value, the value
    // of the sample before it that gave it.
    std::vector<uint8_t> from;
    from.reserve(count * 3);
    std::vector<uint64_t> cost, next;
    for (size_t s = 0; s < count; ++s) {
        const TSampleUse& u = use[s];
        next.assign(size_t(u.Last() - u.First() + 1), 0);
        for (int v = u.First(); v <= u.Last(); ++v) {
            uint64_t least = 0;
            if (s > 0) {
                const TSampleUse& p = use[s - 1];
                const int tie = p.Preferred();
                int chosen = p.First();
                least = UINT64_MAX;
                for (int pv = p.First(); pv <= p.Last(); ++pv) {
                    uint64_t total = cost[size_t(pv - p.First())];
                    if (p.MeanTarget >= 0)
                        total += uint64_t(std::abs((pv + v) / 2 - p.MeanTarget));
                    if (total < least || (total == least && Nearer(pv, chosen, tie))) {
                        least = total;
                        chosen = pv;
                    }
                }
                from.push_back(uint8_t(chosen));
            }
            next[size_t(v - u.First())] = least + u.Cost(v);
        }
        std::swap(cost, next);
    }
    // Back from the best value of the last sample. A last sample that no pixel shows alone takes
    // the smallest of its equally good values, which keeps a decoded plane's own value.
    std::vector<uint8_t> plane(n, 0);
    const TSampleUse& lastUse = use[count - 1];
    int chosen = lastUse.First();
    for (int v = lastUse.First() + 1; v <= lastUse.Last(); ++v) {
        const uint64_t a = cost[size_t(v - lastUse.First())];
        const uint64_t b = cost[size_t(chosen - lastUse.First())];
        if (a < b || (a == b && Nearer(v, chosen, lastUse.Preferred())))
            chosen = v;
    }
    size_t at = from.size();
    for (size_t s = count; s-- > 0;) {
        plane[s] = uint8_t(chosen);
        if (s == 0)
            break;
        // The entries of sample s, one per value, end at `at`.
        const TSampleUse& u = use[s];
        at -= size_t(u.Last() - u.First() + 1);
        chosen = from[at + size_t(chosen - u.First())];
    }
    return plane;
}

void ClearTransparentPixels(TDIB& Pixels, const TDIB& Alpha) {
    if (Pixels.Empty() || Alpha.Width() != Pixels.Width() || Alpha.Height() != Pixels.Height())
        return;
    const size_t bytes = size_t(Pixels.BitCount()) / 8;
    if (bytes == 0)
        return;
    for (int y = 0; y < Pixels.Height(); ++y) {
        const uint8_t* a = Alpha.ScanLine(y);
        uint8_t* row = Pixels.ScanLine(y);
        for (int x = 0; x < Pixels.Width(); ++x)
            if (AlphaSample(a, Alpha.BitCount(), x) == 0)
                std::memset(row + size_t(x) * bytes, 0, bytes);
    }
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
