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
        uint32_t bucket = (uint32_t(r >> 3) << 10) | (uint32_t(g >> 3) << 5) | uint32_t(b >> 3);
        const uint32_t* c = FCandidates.data() + FBucketStart[bucket];
        const uint32_t* end = FCandidates.data() + FBucketStart[bucket + 1];
        if (end - c == 1)
            return uint8_t(*c >> 24);
        uint32_t best = 0xFFFFFFFF;
        uint8_t bestIndex = 0;
        for (; c != end; ++c) {
            int dr = int(*c & 0xFF) - r;
            int dg = int((*c >> 8) & 0xFF) - g;
            int db = int((*c >> 16) & 0xFF) - b;
            uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
            if (d < best) {
                best = d;
                bestIndex = uint8_t(*c >> 24);
            }
        }
        return bestIndex;
    }

    // Average number of candidates per bucket (for tests and benchmarks).
    double AverageCandidates() const { return double(FCandidates.size()) / 32768.0; }

private:
    std::vector<uint32_t> FBucketStart; // 32769 offsets into FCandidates
    std::vector<uint32_t> FCandidates;  // red | green << 8 | blue << 16 | index << 24
};

// Plain search over the first `count` entries (small jobs and odd tables).
uint8_t NearestColorLinear(const TRGBQuad* table, int count, uint8_t r, uint8_t g, uint8_t b);

// The shared look-up for DefaultPalette (all 256 entries), built once on first use.
const TNearestColorLookup& DefaultPaletteLookup();

} // namespace velmora
