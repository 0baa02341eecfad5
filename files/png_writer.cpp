#include "files/png_writer.h"

#include "core/zlib_util.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint64_t kMaxChunkData = 0x7FFFFFFF;

// The plans tried: no filter, which wins on most sprites (long runs of background and of repeated
// colours compress better unfiltered), and the per-row choice, which wins where colours change
// smoothly. One filter on every row comes within a fraction of a percent of the better of the
// two on sprites and on smooth pictures alike, and would cost three more trials.
constexpr TFilterPlan kPlans[] = {fpNone, fpPerRow};

// The plan is picked by compressing the picture under each plan at the fastest level, whose
// sizes rank the plans nearly as the final level's do. The trials take every other band of
// kTrialBand rows, which ranks them as well at half the cost. Below kTrialFloor bytes of filtered
// rows the choice does not matter; above kTrialCeiling the trials would hold further copies of a
// large picture. Both take the per-row plan.
constexpr int kTrialLevel = 1;
constexpr size_t kTrialBand = 16;
constexpr size_t kTrialFloor = 256;
constexpr size_t kTrialCeiling = size_t(16) << 20;

enum TFilter : uint8_t { ftNone = 0, ftSub = 1, ftUp = 2, ftAverage = 3, ftPaeth = 4 };

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Completes a chunk whose data is already in place after its 8-byte head at `at`.
void CloseChunk(std::vector<uint8_t>& out, size_t at, const char (&type)[5], size_t length) {
    PutBE32(out.data() + at, uint32_t(length));
    std::memcpy(out.data() + at + 4, type, 4);
    const uint32_t crc = uint32_t(crc32(0, out.data() + at + 4, uInt(length + 4)));
    PutBE32(out.data() + at + 8 + length, crc);
}

void AppendChunk(std::vector<uint8_t>& out, const char (&type)[5], std::span<const uint8_t> data) {
    const size_t at = out.size();
    out.resize(at + 12 + data.size());
    if (!data.empty())
        std::memcpy(out.data() + at + 8, data.data(), data.size());
    CloseChunk(out, at, type, data.size());
}

inline int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

inline int Magnitude(uint8_t v) {
    return v < 128 ? v : 256 - v;
}

// One row (n bytes, bpp bytes per pixel; prev is the row above, zeros for the first) through one
// filter into out.
void FilterRow(TFilter filter, const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp,
               uint8_t* out) {
    const size_t lead = std::min(bpp, n);
    switch (filter) {
    case ftNone:
        std::memcpy(out, row, n);
        break;
    case ftSub:
        std::memcpy(out, row, lead);
        for (size_t i = lead; i < n; ++i)
            out[i] = uint8_t(row[i] - row[i - bpp]);
        break;
    case ftUp:
        for (size_t i = 0; i < n; ++i)
            out[i] = uint8_t(row[i] - prev[i]);
        break;
    case ftAverage:
        for (size_t i = 0; i < lead; ++i)
            out[i] = uint8_t(row[i] - (prev[i] >> 1));
        for (size_t i = lead; i < n; ++i)
            out[i] = uint8_t(row[i] - ((row[i - bpp] + prev[i]) >> 1));
        break;
    case ftPaeth:
        for (size_t i = 0; i < lead; ++i)
            out[i] = uint8_t(row[i] - prev[i]);
        for (size_t i = lead; i < n; ++i)
            out[i] = uint8_t(row[i] - Paeth(row[i - bpp], prev[i], prev[i - bpp]));
        break;
    }
}

// The filter of the per-row plan for one row, its output in out. trial holds n bytes.
TFilter FilterRowBest(const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp, uint8_t* trial,
                      uint8_t* out) {
    long best = 0;
    for (size_t i = 0; i < n; ++i)
        best += Magnitude(row[i]);
    TFilter chosen = ftNone;
    std::memcpy(out, row, n);
    for (TFilter f : {ftSub, ftUp, ftAverage, ftPaeth}) {
        FilterRow(f, row, prev, n, bpp, trial);
        long sum = 0;
        for (size_t i = 0; i < n && sum < best; ++i)
            sum += Magnitude(trial[i]);
        if (sum < best) {
            best = sum;
            chosen = f;
            std::memcpy(out, trial, n);
        }
    }
    return chosen;
}

} // namespace

void FilterImage(const std::vector<uint8_t>& raw, size_t rowBytes, size_t height, size_t bpp,
                 TFilterPlan plan, std::vector<uint8_t>& out) {
    out.resize((rowBytes + 1) * height);
    const std::vector<uint8_t> zeros(plan == fpNone || plan == fpSub ? 0 : rowBytes, 0);
    std::vector<uint8_t> trial(plan == fpPerRow ? rowBytes : 0);
    const TFilter fixed = plan == fpSub     ? ftSub
                          : plan == fpUp    ? ftUp
                          : plan == fpPaeth ? ftPaeth
                                            : ftNone;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = raw.data() + y * rowBytes;
        const uint8_t* prev = y > 0 ? row - rowBytes : zeros.data();
        uint8_t* o = out.data() + y * (rowBytes + 1);
        if (plan == fpPerRow) {
            o[0] = FilterRowBest(row, prev, rowBytes, bpp, trial.data(), o + 1);
        } else {
            o[0] = fixed;
            FilterRow(fixed, row, prev, rowBytes, bpp, o + 1);
        }
    }
}

TFilterPlan ChoosePlan(const std::vector<uint8_t>& raw, size_t rowBytes, size_t height,
                       size_t bpp) {
    std::vector<uint8_t> sample;
    sample.reserve(raw.size() / 2 + rowBytes * kTrialBand);
    for (size_t y = 0; y < height; ++y)
        if (y / kTrialBand % 2 == 0)
            sample.insert(sample.end(), raw.begin() + long(y * rowBytes),
                          raw.begin() + long((y + 1) * rowBytes));
    const size_t rows = sample.size() / rowBytes;
    std::vector<uint8_t> candidate, stream(ZCompressBound((rowBytes + 1) * rows, kTrialLevel));
    TFilterPlan chosen = fpPerRow;
    size_t best = std::numeric_limits<size_t>::max();
    for (TFilterPlan plan : kPlans) {
        FilterImage(sample, rowBytes, rows, bpp, plan, candidate);
        const size_t length = ZCompressInto(candidate, kTrialLevel, stream);
        if (length < best) {
            best = length;
            chosen = plan;
        }
    }
    return chosen;
}

namespace {

bool LayoutAllowed(const TPngLayout& layout) {
    if (layout.Width < 1 || layout.Height < 1)
        return false;
    if (layout.ColorType == 3)
        return layout.BitDepth == 1 || layout.BitDepth == 2 || layout.BitDepth == 4 ||
               layout.BitDepth == 8;
    return (layout.ColorType == 0 || layout.ColorType == 2 || layout.ColorType == 4 ||
            layout.ColorType == 6) &&
           layout.BitDepth == 8;
}

// The highest index of a row of packed indices.
uint8_t HighestIndex(const uint8_t* row, int width, int bitDepth) {
    if (bitDepth == 8)
        return *std::max_element(row, row + width);
    uint8_t top = 0;
    const int perByte = 8 / bitDepth;
    const uint8_t mask = uint8_t((1 << bitDepth) - 1);
    for (int x = 0; x < width; ++x) {
        const int shift = 8 - bitDepth * (x % perByte + 1);
        top = std::max<uint8_t>(top, uint8_t((row[x / perByte] >> shift) & mask));
    }
    return top;
}

std::vector<uint8_t> PaletteChunk(const TPngLayout& layout, uint8_t topIndex) {
    // Every index in the picture needs an entry; missing ones show black, as they would through
    // a colour table of 256 entries. A palette never holds more than the bit depth can index.
    const size_t limit = size_t(1) << layout.BitDepth;
    const size_t count = std::max(std::min(layout.Palette.size(), limit), size_t(topIndex) + 1);
    std::vector<uint8_t> plte(count * 3, 0);
    for (size_t i = 0; i < count && i < layout.Palette.size(); ++i) {
        plte[i * 3] = layout.Palette[i].rgbRed;
        plte[i * 3 + 1] = layout.Palette[i].rgbGreen;
        plte[i * 3 + 2] = layout.Palette[i].rgbBlue;
    }
    return plte;
}

} // namespace

int PngChannels(uint8_t colorType) {
    switch (colorType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

std::vector<uint8_t> WritePng(const TPngLayout& layout, int level, const TPngRowSource& rows) {
    if (!LayoutAllowed(layout))
        return {};
    level = std::clamp(level, 0, kZlibMaxLevel);
    const size_t bitsPerPixel = size_t(PngChannels(layout.ColorType)) * layout.BitDepth;
    const size_t rowBytes = (size_t(layout.Width) * bitsPerPixel + 7) / 8;
    const size_t bpp = std::max<size_t>(1, bitsPerPixel / 8);
    const size_t height = size_t(layout.Height);
    if ((rowBytes + 1) * height > kMaxChunkData)
        return {};

    std::vector<uint8_t> raw(rowBytes * height);
    uint8_t topIndex = 0;
    for (size_t y = 0; y < height; ++y) {
        uint8_t* row = raw.data() + y * rowBytes;
        rows(int(y), row);
        if (layout.ColorType == 3)
            topIndex = std::max(topIndex, HighestIndex(row, layout.Width, layout.BitDepth));
    }

    // Indices and packed samples are not filtered (filters rarely help them), nor is anything
    // stored without compression.
    const size_t size = (rowBytes + 1) * height;
    const bool filtered = level > 0 && layout.ColorType != 3 && layout.BitDepth == 8;
    TFilterPlan plan = fpPerRow;
    if (!filtered)
        plan = fpNone;
    else if (size >= kTrialFloor && size <= kTrialCeiling)
        plan = ChoosePlan(raw, rowBytes, height, bpp);
    std::vector<uint8_t> image;
    FilterImage(raw, rowBytes, height, bpp, plan, image);
    raw = {};

    std::vector<uint8_t> out(kSignature, kSignature + 8);
    uint8_t ihdr[13] = {};
    PutBE32(ihdr, uint32_t(layout.Width));
    PutBE32(ihdr + 4, uint32_t(layout.Height));
    ihdr[8] = layout.BitDepth;
    ihdr[9] = layout.ColorType;
    AppendChunk(out, "IHDR", ihdr);
    if (layout.ColorType == 3)
        AppendChunk(out, "PLTE", PaletteChunk(layout, topIndex));
    const size_t idat = out.size();
    const size_t bound = ZCompressBound(image.size(), level);
    out.resize(idat + 12 + bound);
    const size_t length =
        ZCompressInto(image, level, std::span<uint8_t>(out.data() + idat + 8, bound));
    if (length > kMaxChunkData)
        return {};
    out.resize(idat + 12 + length);
    CloseChunk(out, idat, "IDAT", length);
    AppendChunk(out, "IEND", {});
    return out;
}

} // namespace velmora
