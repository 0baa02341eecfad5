#include "core/palette.h"

#include "core/nearest_color.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

constexpr TRGBQuad Q(uint8_t r, uint8_t g, uint8_t b) {
    return TRGBQuad{b, g, r, 0};
}

} // namespace

// The table of the library format, entry by entry: red, green, blue.
const TColorTable DefaultPalette = {{
    Q(0, 0, 0),       Q(128, 0, 0),     Q(0, 128, 0),     Q(128, 128, 0),   Q(0, 0, 128),
    Q(128, 0, 128),   Q(0, 128, 128),   Q(192, 192, 192), Q(85, 128, 151),  Q(157, 185, 200),
    Q(123, 115, 115), Q(45, 41, 41),    Q(90, 82, 82),    Q(99, 90, 90),    Q(66, 57, 57),
    Q(29, 24, 24),    Q(24, 16, 16),    Q(41, 24, 24),    Q(16, 8, 8),      Q(242, 121, 113),
    Q(225, 103, 95),  Q(255, 90, 90),   Q(255, 49, 49),   Q(214, 90, 82),   Q(148, 16, 0),
    Q(148, 41, 24),   Q(57, 8, 0),      Q(115, 16, 0),    Q(181, 24, 0),    Q(189, 99, 82),
    Q(66, 24, 16),    Q(255, 170, 153), Q(90, 16, 0),     Q(115, 57, 41),   Q(165, 74, 49),
    Q(148, 123, 115), Q(189, 82, 49),   Q(82, 33, 16),    Q(123, 49, 24),   Q(45, 24, 16),
    Q(140, 74, 49),   Q(148, 41, 0),    Q(189, 49, 0),    Q(198, 115, 82),  Q(107, 49, 24),
    Q(198, 107, 66),  Q(206, 74, 0),    Q(165, 99, 57),   Q(90, 49, 24),    Q(42, 16, 0),
    Q(21, 8, 0),      Q(58, 24, 0),     Q(8, 0, 0),       Q(41, 0, 0),      Q(74, 0, 0),
    Q(157, 0, 0),     Q(220, 0, 0),     Q(222, 0, 0),     Q(251, 0, 0),     Q(156, 115, 82),
    Q(148, 107, 74),  Q(115, 74, 41),   Q(82, 49, 24),    Q(140, 74, 24),   Q(136, 68, 17),
    Q(74, 33, 0),     Q(33, 24, 16),    Q(214, 148, 90),  Q(198, 107, 33),  Q(239, 107, 0),
    Q(255, 119, 0),   Q(165, 148, 132), Q(66, 49, 33),    Q(24, 16, 8),     Q(41, 24, 8),
    Q(33, 16, 0),     Q(57, 41, 24),    Q(140, 99, 57),   Q(66, 41, 16),    Q(107, 66, 24),
    Q(123, 74, 24),   Q(148, 74, 0),    Q(140, 132, 123), Q(107, 99, 90),   Q(74, 66, 57),
    Q(41, 33, 24),    Q(70, 57, 41),    Q(181, 165, 148), Q(123, 107, 90),  Q(206, 177, 148),
    Q(165, 140, 115), Q(140, 115, 90),  Q(181, 148, 115), Q(214, 165, 115), Q(239, 165, 74),
    Q(239, 198, 140), Q(123, 99, 66),   Q(107, 86, 57),   Q(189, 148, 90),  Q(99, 57, 0),
    Q(214, 198, 173), Q(82, 66, 41),    Q(148, 99, 24),   Q(239, 214, 173), Q(165, 140, 99),
    Q(99, 90, 74),    Q(189, 165, 123), Q(90, 66, 24),    Q(189, 140, 49),  Q(53, 49, 41),
    Q(148, 132, 99),  Q(123, 107, 74),  Q(165, 140, 90),  Q(90, 74, 41),    Q(156, 123, 57),
    Q(66, 49, 16),    Q(239, 173, 33),  Q(24, 16, 0),     Q(41, 33, 0),     Q(156, 107, 0),
    Q(148, 132, 90),  Q(82, 66, 24),    Q(107, 90, 41),   Q(123, 99, 33),   Q(156, 123, 33),
    Q(222, 165, 0),   Q(90, 82, 57),    Q(49, 41, 16),    Q(206, 189, 123), Q(99, 90, 57),
    Q(148, 132, 74),  Q(198, 165, 41),  Q(16, 156, 24),   Q(66, 140, 74),   Q(49, 140, 66),
    Q(16, 148, 41),   Q(8, 24, 16),     Q(8, 24, 24),     Q(8, 41, 16),     Q(24, 66, 41),
    Q(165, 181, 173), Q(107, 115, 115), Q(24, 41, 41),    Q(24, 66, 74),    Q(49, 66, 74),
    Q(99, 198, 222),  Q(68, 221, 255),  Q(140, 214, 239), Q(115, 107, 57),  Q(247, 222, 57),
    Q(247, 239, 140), Q(247, 231, 0),   Q(107, 107, 90),  Q(90, 140, 165),  Q(57, 181, 239),
    Q(74, 156, 206),  Q(49, 132, 181),  Q(49, 82, 107),   Q(222, 222, 214), Q(189, 189, 181),
    Q(140, 140, 132), Q(247, 247, 222), Q(0, 8, 24),      Q(8, 24, 57),     Q(8, 16, 41),
    Q(8, 24, 0),      Q(8, 41, 0),      Q(0, 82, 165),    Q(0, 123, 222),   Q(16, 41, 74),
    Q(16, 57, 107),   Q(16, 82, 140),   Q(33, 90, 165),   Q(16, 49, 90),    Q(16, 66, 132),
    Q(49, 82, 132),   Q(24, 33, 49),    Q(74, 90, 123),   Q(82, 107, 165),  Q(41, 57, 99),
    Q(16, 74, 222),   Q(41, 41, 33),    Q(74, 74, 57),    Q(41, 41, 24),    Q(74, 74, 41),
    Q(123, 123, 66),  Q(156, 156, 74),  Q(90, 90, 41),    Q(66, 66, 20),    Q(57, 57, 0),
    Q(89, 89, 0),     Q(202, 53, 44),   Q(107, 115, 33),  Q(41, 49, 0),     Q(49, 57, 16),
    Q(49, 57, 24),    Q(66, 74, 0),     Q(82, 99, 24),    Q(90, 115, 41),   Q(49, 74, 24),
    Q(24, 33, 0),     Q(24, 49, 0),     Q(24, 57, 16),    Q(99, 132, 74),   Q(107, 189, 74),
    Q(99, 181, 74),   Q(99, 189, 74),   Q(90, 156, 74),   Q(74, 140, 57),   Q(99, 198, 74),
    Q(99, 214, 74),   Q(82, 132, 74),   Q(49, 115, 41),   Q(99, 198, 90),   Q(82, 189, 74),
    Q(16, 255, 0),    Q(24, 41, 24),    Q(74, 136, 74),   Q(74, 231, 74),   Q(0, 90, 0),
    Q(0, 136, 0),     Q(0, 148, 0),     Q(0, 222, 0),     Q(0, 238, 0),     Q(0, 251, 0),
    Q(74, 90, 148),   Q(99, 115, 181),  Q(123, 140, 214), Q(107, 123, 214), Q(119, 136, 255),
    Q(198, 198, 206), Q(148, 148, 156), Q(156, 148, 198), Q(49, 49, 57),    Q(41, 24, 132),
    Q(24, 0, 132),    Q(74, 66, 82),    Q(82, 66, 123),   Q(99, 90, 115),   Q(206, 181, 247),
    Q(140, 123, 156), Q(119, 34, 204),  Q(221, 170, 255), Q(240, 180, 42),  Q(223, 0, 159),
    Q(227, 23, 179),  Q(255, 251, 240), Q(160, 160, 164), Q(128, 128, 128), Q(255, 0, 0),
    Q(0, 255, 0),     Q(255, 255, 0),   Q(0, 0, 255),     Q(255, 0, 255),   Q(0, 255, 255),
    Q(255, 255, 255),
}};

TNearestColorLookup::TNearestColorLookup(const TRGBQuad* table, int count) {
    count = std::clamp(count, 1, 256);
    for (int e = 0; e < count; ++e) {
        FRed[e] = table[e].rgbRed;
        FGreen[e] = table[e].rgbGreen;
        FBlue[e] = table[e].rgbBlue;
    }
    // Per channel and per bucket coordinate (0 .. 31), the smallest and largest squared distance
    // of each entry's component to the bucket's 8 values.
    std::vector<uint32_t> minD(3 * 32 * size_t(count)), maxD(3 * 32 * size_t(count));
    for (int ch = 0; ch < 3; ++ch)
        for (int k = 0; k < 32; ++k) {
            int lo = k * 8, hi = k * 8 + 7;
            for (int e = 0; e < count; ++e) {
                int v = ch == 0 ? table[e].rgbRed : ch == 1 ? table[e].rgbGreen : table[e].rgbBlue;
                int dmin = v < lo ? lo - v : v > hi ? v - hi : 0;
                int dmax = std::max(std::abs(v - lo), std::abs(v - hi));
                size_t at = (size_t(ch) * 32 + size_t(k)) * size_t(count) + size_t(e);
                minD[at] = uint32_t(dmin * dmin);
                maxD[at] = uint32_t(dmax * dmax);
            }
        }
    FBucketStart.resize(32769);
    FCandidates.reserve(32768 * 4);
    FSlots.assign(size_t(32768) * kSlotBytes, 0);
    for (uint32_t bucket = 0; bucket < 32768; ++bucket) {
        FBucketStart[bucket] = uint32_t(FCandidates.size());
        const uint32_t* rMin = &minD[(0 * 32 + (bucket >> 10)) * size_t(count)];
        const uint32_t* gMin = &minD[(1 * 32 + ((bucket >> 5) & 31)) * size_t(count)];
        const uint32_t* bMin = &minD[(2 * 32 + (bucket & 31)) * size_t(count)];
        const uint32_t* rMax = &maxD[(0 * 32 + (bucket >> 10)) * size_t(count)];
        const uint32_t* gMax = &maxD[(1 * 32 + ((bucket >> 5) & 31)) * size_t(count)];
        const uint32_t* bMax = &maxD[(2 * 32 + (bucket & 31)) * size_t(count)];
        // Every colour of the cube is at most `bound` away from some entry, so an entry whose
        // nearest point of the cube is farther than that can never be the nearest.
        uint32_t bound = 0xFFFFFFFF;
        for (int e = 0; e < count; ++e)
            bound = std::min(bound, rMax[e] + gMax[e] + bMax[e]);
        for (int e = 0; e < count; ++e)
            if (rMin[e] + gMin[e] + bMin[e] <= bound)
                FCandidates.push_back(uint8_t(e));
        const size_t n = FCandidates.size() - FBucketStart[bucket];
        uint8_t* slot = &FSlots[size_t(bucket) * kSlotBytes];
        const uint8_t* first = &FCandidates[FBucketStart[bucket]];
        for (int i = 0; i < kInlineSlots; ++i)
            slot[i] = size_t(i) < n ? first[i] : first[0];
        slot[kInlineSlots] = uint8_t(std::min<size_t>(n, 255));
    }
    FBucketStart[32768] = uint32_t(FCandidates.size());
    FCandidates.shrink_to_fit();
}

uint8_t TNearestColorLookup::FindOverflow(uint32_t bucket, uint8_t r, uint8_t g, uint8_t b) const {
    uint32_t best = 0xFFFFFFFF;
    uint8_t bestIndex = 0;
    for (uint32_t i = FBucketStart[bucket]; i < FBucketStart[bucket + 1]; ++i) {
        const uint32_t d = Distance(FCandidates[i], r, g, b);
        if (d < best) {
            best = d;
            bestIndex = FCandidates[i];
        }
    }
    return bestIndex;
}

uint8_t NearestColorLinear(const TRGBQuad* table, int count, uint8_t r, uint8_t g, uint8_t b) {
    uint32_t best = 0xFFFFFFFF;
    uint8_t bestIndex = 0;
    for (int e = 0; e < count; ++e) {
        int dr = int(table[e].rgbRed) - r;
        int dg = int(table[e].rgbGreen) - g;
        int db = int(table[e].rgbBlue) - b;
        uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
        if (d < best) {
            best = d;
            bestIndex = uint8_t(e);
        }
    }
    return bestIndex;
}

const TNearestColorLookup& DefaultPaletteLookup() {
    static const TNearestColorLookup lookup(DefaultPalette.data(), 256);
    return lookup;
}

uint8_t NearestColorIndex(const TColorTable& table, uint8_t r, uint8_t g, uint8_t b) {
    if (&table == &DefaultPalette ||
        std::memcmp(table.data(), DefaultPalette.data(), sizeof(TColorTable)) == 0)
        return DefaultPaletteLookup().Find(r, g, b);
    return NearestColorLinear(table.data(), 256, r, g, b);
}

} // namespace velmora
