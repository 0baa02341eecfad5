#include "core/palette.h"

#include <gtest/gtest.h>

#include <random>

namespace velmora {
namespace {

uint8_t BruteForce(const TColorTable& t, int count, int r, int g, int b) {
    int best = 1 << 30, bestIndex = 0;
    for (int i = 0; i < count; ++i) {
        int dr = t[size_t(i)].rgbRed - r, dg = t[size_t(i)].rgbGreen - g,
            db = t[size_t(i)].rgbBlue - b;
        int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return uint8_t(bestIndex);
}

TColor Entry(int i) {
    const TRGBQuad& q = DefaultPalette[size_t(i)];
    EXPECT_EQ(q.rgbReserved, 0);
    return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

TEST(DefaultPalette, EntriesAsTabled) {
    EXPECT_EQ(Entry(0), RGBColor(0, 0, 0));
    EXPECT_EQ(Entry(7), RGBColor(192, 192, 192));
    EXPECT_EQ(Entry(8), RGBColor(85, 128, 151));
    EXPECT_EQ(Entry(19), RGBColor(242, 121, 113));
    EXPECT_EQ(Entry(64), RGBColor(136, 68, 17));
    EXPECT_EQ(Entry(146), RGBColor(68, 221, 255));
    EXPECT_EQ(Entry(191), RGBColor(202, 53, 44));
    EXPECT_EQ(Entry(215), RGBColor(16, 255, 0));
    EXPECT_EQ(Entry(241), RGBColor(119, 34, 204));
    EXPECT_EQ(Entry(246), RGBColor(255, 251, 240));
    EXPECT_EQ(Entry(247), RGBColor(160, 160, 164));
    EXPECT_EQ(Entry(248), RGBColor(128, 128, 128));
    EXPECT_EQ(Entry(249), RGBColor(255, 0, 0));
    EXPECT_EQ(Entry(255), RGBColor(255, 255, 255));
    // Stored blue, green, red, 0.
    EXPECT_EQ(DefaultPalette[8].rgbBlue, 151);
    EXPECT_EQ(DefaultPalette[8].rgbRed, 85);
}

TEST(DefaultPalette, ChecksumOfAllEntries) {
    // A weighted sum over all 256 entries of the table, so that a single changed
    // component is caught.
    uint64_t sum = 0;
    for (int i = 0; i < 256; ++i) {
        const TRGBQuad& q = DefaultPalette[size_t(i)];
        sum += uint64_t(i + 1) * (q.rgbRed * 3u + q.rgbGreen * 5u + q.rgbBlue * 7u);
    }
    EXPECT_EQ(sum, 48297784u);
}

TEST(NearestColor, ExactOnTheDefaultPalette) {
    for (int i = 0; i < 256; ++i) {
        TColor c = Entry(i);
        EXPECT_EQ(NearestColorIndex(DefaultPalette, RedOf(c), GreenOf(c), BlueOf(c)), i);
    }
}

TEST(NearestColor, MatchesBruteForceEverywhereSampled) {
    // Bucket edges (0, 7, 8, 15, ...) and a lattice through the whole cube.
    std::vector<int> values;
    for (int v = 0; v < 256; v += 8) {
        values.push_back(v);
        values.push_back(v + 7);
    }
    for (int r : values)
        for (int g : values)
            for (int b : values)
                ASSERT_EQ(NearestColorIndex(DefaultPalette, uint8_t(r), uint8_t(g), uint8_t(b)),
                          BruteForce(DefaultPalette, 256, r, g, b))
                    << r << "," << g << "," << b;
    std::mt19937 rng(12345);
    for (int i = 0; i < 200000; ++i) {
        uint32_t v = rng();
        int r = v & 255, g = (v >> 8) & 255, b = (v >> 16) & 255;
        ASSERT_EQ(NearestColorIndex(DefaultPalette, uint8_t(r), uint8_t(g), uint8_t(b)),
                  BruteForce(DefaultPalette, 256, r, g, b))
            << r << "," << g << "," << b;
    }
}

TEST(NearestColor, TiesGoToTheLowestIndex) {
    TColorTable t{};
    t.fill(TRGBQuad{255, 255, 255, 0});
    t[3] = TRGBQuad{0, 0, 10, 0}; // red 10
    t[5] = TRGBQuad{0, 0, 30, 0}; // red 30
    EXPECT_EQ(NearestColorIndex(t, 20, 0, 0), 3);
    t[2] = TRGBQuad{0, 0, 30, 0};
    EXPECT_EQ(NearestColorIndex(t, 21, 0, 0), 2);
    // The default palette: (64, 64, 0) is as far from several entries; brute force decides.
    EXPECT_EQ(NearestColorIndex(DefaultPalette, 64, 64, 0),
              BruteForce(DefaultPalette, 256, 64, 64, 0));
}

TEST(NearestColor, OtherTablesAreSearched) {
    TColorTable t{};
    t[0] = TRGBQuad{0, 0, 0, 0};
    t[1] = TRGBQuad{255, 255, 255, 0};
    for (int i = 2; i < 256; ++i)
        t[size_t(i)] = TRGBQuad{0, 0, 0, 0};
    EXPECT_EQ(NearestColorIndex(t, 200, 200, 200), 1);
    EXPECT_EQ(NearestColorIndex(t, 20, 20, 20), 0);
}

} // namespace
} // namespace velmora
