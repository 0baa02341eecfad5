#pragma once

// Internal to core/: the cached nearest-colour search behind NearestColorIndex and the
// conversions of TDIB to palette bit counts.

#include "core/dib.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Exact nearest colour (squared RGB distance, lowest index on ties) among the first `count`
// entries of a colour table, answered through a 15-bit bucket table: for each 8x8x8 cube of
// colours it keeps, in index order, only the entries that can be nearest to some colour in the
// cube, so a look-up compares a handful of entries instead of all of them.
class TNearestColorLookup {
public:
    TNearestColorLookup(const TRGBQuad* table, int count);

    uint8_t Find(uint8_t r, uint8_t g, uint8_t b) const {
        const uint32_t bucket =
            (uint32_t(r >> 3) << 10) | (uint32_t(g >> 3) << 5) | uint32_t(b >> 3);
        const uint8_t* slot = &FSlots[size_t(bucket) * kSlotBytes];
        if (slot[kInlineSlots] > kInlineSlots) [[unlikely]]
            return FindOverflow(bucket, r, g, b);
        // A fixed number of comparisons without branches: unused slots repeat the first
        // candidate, which never wins over an equal or better one (lowest index on ties).
        uint32_t best = Distance(slot[0], r, g, b);
        uint8_t bestIndex = slot[0];
        for (int i = 1; i < kInlineSlots; ++i) {
            const uint32_t d = Distance(slot[i], r, g, b);
            const bool better = d < best;
            best = better ? d : best;
            bestIndex = better ? slot[i] : bestIndex;
        }
        return bestIndex;
    }

    // Average number of candidates per bucket (for tests and benchmarks).
    double AverageCandidates() const { return double(FCandidates.size()) / 32768.0; }

private:
    static constexpr int kInlineSlots = 7;
    static constexpr int kSlotBytes = 8; // 7 candidate indices and their count

    uint32_t Distance(uint8_t index, uint8_t r, uint8_t g, uint8_t b) const {
        const int dr = int(FRed[index]) - r, dg = int(FGreen[index]) - g,
                  db = int(FBlue[index]) - b;
        return uint32_t(dr * dr + dg * dg + db * db);
    }
    uint8_t FindOverflow(uint32_t bucket, uint8_t r, uint8_t g, uint8_t b) const;

    uint8_t FRed[256] = {}, FGreen[256] = {}, FBlue[256] = {};
    std::vector<uint8_t> FSlots;        // per bucket: kInlineSlots indices, then the count
    std::vector<uint32_t> FBucketStart; // 32769 offsets into FCandidates
    std::vector<uint8_t> FCandidates;   // every bucket's candidates, in index order
};

// Plain search over the first `count` entries (small jobs and odd tables).
uint8_t NearestColorLinear(const TRGBQuad* table, int count, uint8_t r, uint8_t g, uint8_t b);

// The shared look-up for DefaultPalette (all 256 entries), built once on first use.
const TNearestColorLookup& DefaultPaletteLookup();

} // namespace velmora
