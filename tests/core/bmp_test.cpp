#include "core/dib.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "support/core_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace velmora {
namespace {

using core_test::PatternDIB;
using core_test::SamePixels;

// Builds a BMP by hand. `palette` entries are (blue, green, red) and written with 3 bytes for
// the core header, 4 otherwise; `masks` are written after a 40-byte header or into larger ones.
struct TBmpLayout {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    std::vector<TRGBQuad> palette;
    std::vector<uint32_t> masks; // 3 or 4
    std::vector<uint8_t> pixels;
    int64_t offBits = -1; // -1: right after the palette
};

std::vector<uint8_t> BuildBmp(const TBmpLayout& s) {
    std::vector<uint8_t> out(14 + s.headerSize, 0);
    uint8_t* h = out.data() + 14;
    PutU32(h, s.headerSize);
    if (s.headerSize == 12) {
        PutU16(h + 4, uint16_t(s.width));
        PutU16(h + 6, uint16_t(s.height));
        PutU16(h + 8, 1);
        PutU16(h + 10, s.bits);
    } else {
        PutI32(h + 4, s.width);
        PutI32(h + 8, s.height);
        PutU16(h + 12, 1);
        PutU16(h + 14, s.bits);
        PutU32(h + 16, s.compression);
        PutU32(h + 20, uint32_t(s.pixels.size()));
        PutU32(h + 32, s.colorsUsed);
        if (s.headerSize >= 52)
            for (size_t i = 0; i < s.masks.size() && i < (s.headerSize >= 56 ? 4u : 3u); ++i)
                PutU32(h + 40 + i * 4, s.masks[i]);
    }
    if (s.headerSize == 40)
        for (uint32_t m : s.masks) {
            uint8_t b[4];
            PutU32(b, m);
            out.insert(out.end(), b, b + 4);
        }
    for (const TRGBQuad& q : s.palette) {
        out.push_back(q.rgbBlue);
        out.push_back(q.rgbGreen);
        out.push_back(q.rgbRed);
        if (s.headerSize != 12)
            out.push_back(0);
    }
    uint32_t off = s.offBits >= 0 ? uint32_t(s.offBits) : uint32_t(out.size());
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out.data() + 2, uint32_t(out.size()));
    PutU32(out.data() + 10, off);
    return out;
}

// A buffer that a failed load must leave exactly as it was.
TDIB Sentinel() {
    return PatternDIB(3, 2, 24);
}

void ExpectRejected(const std::vector<uint8_t>& bytes, const std::string& what) {
    TDIB dib = Sentinel();
    EXPECT_FALSE(dib.LoadFromStream(bytes)) << what;
    EXPECT_TRUE(SamePixels(dib, Sentinel())) << what;
}

std::vector<TRGBQuad> GreyPalette(int n) {
    std::vector<TRGBQuad> p;
    for (int i = 0; i < n; ++i)
        p.push_back(TRGBQuad{uint8_t(i * 16), uint8_t(i * 16), uint8_t(i * 16), 0});
    return p;
}

TEST(BmpWrite, FileAndInfoHeader) {
    TDIB dib = PatternDIB(3, 2, 8);
    std::vector<uint8_t> b = dib.SaveToStream();
    ASSERT_EQ(b.size(), 14u + 40 + 1024 + 8);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(GetU32(&b[2]), b.size());
    EXPECT_EQ(GetU32(&b[6]), 0u);
    EXPECT_EQ(GetU32(&b[10]), 14u + 40 + 1024);
    EXPECT_EQ(GetU32(&b[14]), 40u);
    EXPECT_EQ(GetI32(&b[18]), 3);
    EXPECT_EQ(GetI32(&b[22]), 2);
    EXPECT_EQ(GetU16(&b[26]), 1);
    EXPECT_EQ(GetU16(&b[28]), 8);
    EXPECT_EQ(GetU32(&b[30]), 0u);
    EXPECT_EQ(std::memcmp(&b[14 + 40 + 1024], dib.PBits(), 8), 0);
}

TEST(BmpWrite, MasksForSixteenAndThirtyTwoBits) {
    std::vector<uint8_t> b = PatternDIB(2, 2, 16).SaveToStream();
    EXPECT_EQ(GetU32(&b[30]), 3u); // bit fields
    EXPECT_EQ(GetU32(&b[54]), 0xF800u);
    EXPECT_EQ(GetU32(&b[58]), 0x07E0u);
    EXPECT_EQ(GetU32(&b[62]), 0x001Fu);
    EXPECT_EQ(GetU32(&b[10]), 66u);
    std::vector<uint8_t> c = PatternDIB(2, 2, 32).SaveToStream();
    EXPECT_EQ(GetU32(&c[54]), 0xFF0000u);
    EXPECT_EQ(GetU32(&c[58]), 0x00FF00u);
    EXPECT_EQ(GetU32(&c[62]), 0x0000FFu);
}

TEST(BmpWrite, EmptyBufferWritesNothing) {
    TDIB dib;
    EXPECT_TRUE(dib.SaveToStream().empty());
}

TEST(BmpRoundTrip, EveryBitCount) {
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (int width : {1, 3, 5, 17})
            for (bool f555 : {false, true}) {
                if (f555 && bits != 16)
                    continue;
                TDIB dib = PatternDIB(width, 3, bits, f555);
                for (int i = 0; i < 256 && bits <= 8; ++i)
                    dib.ColorTable()[size_t(i)] =
                        TRGBQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
                std::vector<uint8_t> bytes = dib.SaveToStream();
                TDIB back;
                ASSERT_TRUE(back.LoadFromStream(bytes)) << bits << " bits, width " << width;
                EXPECT_TRUE(SamePixels(dib, back)) << bits << " bits, width " << width;
                EXPECT_EQ(back.PixelFormat(), dib.PixelFormat());
                EXPECT_EQ(std::memcmp(back.PBits(), dib.PBits(), size_t(dib.Size())), 0);
                for (int i = 0; i < dib.PaletteCount(); ++i)
                    EXPECT_EQ(back.ColorTable()[size_t(i)], dib.ColorTable()[size_t(i)]);
                EXPECT_EQ(back.SaveToStream(), bytes);
            }
}

TEST(BmpRoundTrip, ThroughAFile) {
    core_test::TCoreTempDir dir;
    TDIB dib = PatternDIB(6, 4, 24);
    dib.SaveToFile(dir.File("a.bmp"));
    TDIB back;
    ASSERT_TRUE(back.LoadFromFile(dir.File("a.bmp")));
    EXPECT_TRUE(SamePixels(dib, back));
    EXPECT_FALSE(back.LoadFromFile(dir.File("missing.bmp")));
    EXPECT_THROW(dib.SaveToFile(dir.File("no/such/folder/a.bmp")), EFileError);
}

TEST(BmpRoundTrip, ImageMagickReadsWhatWeWrite) {
    if (std::system("command -v convert >/dev/null 2>&1 && convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    core_test::TCoreTempDir dir;
    for (int bits : {8, 16, 24}) {
        TDIB dib = PatternDIB(5, 3, bits);
        std::string in = dir.File("in" + std::to_string(bits) + ".bmp");
        std::string out = dir.File("out" + std::to_string(bits) + ".bmp");
        dib.SaveToFile(in);
        std::string cmd = "convert '" + in + "' -type TrueColor 'BMP3:" + out + "' 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        TDIB back;
        ASSERT_TRUE(back.LoadFromFile(out));
        ASSERT_EQ(back.Width(), 5);
        ASSERT_EQ(back.Height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(back.PixelColor(x, y), dib.PixelColor(x, y))
                    << bits << ": " << x << "," << y;
    }
}

TEST(BmpRead, CoreHeaderWithThreeByteEntries) {
    TBmpLayout s;
    s.headerSize = 12;
    s.width = 2;
    s.height = 2;
    s.bits = 4;
    s.palette = GreyPalette(16);
    s.pixels = {0x12, 0, 0, 0, 0xF0, 0, 0, 0}; // bottom row: 1, 2; top row: 15, 0
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.BitCount(), 4);
    EXPECT_EQ(dib.Pixel(0, 1), 1u);
    EXPECT_EQ(dib.Pixel(1, 1), 2u);
    EXPECT_EQ(dib.Pixel(0, 0), 15u);
    EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(240, 240, 240));
}

TEST(BmpRead, TopDownRows) {
    TBmpLayout s;
    s.width = 1;
    s.height = -2;
    s.bits = 24;
    s.pixels = {1, 2, 3, 0, 4, 5, 6, 0}; // first row in the file is the top row
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.Pixel(0, 0), RGBColor(3, 2, 1));
    EXPECT_EQ(dib.Pixel(0, 1), RGBColor(6, 5, 4));
}

TEST(BmpRead, ShortPaletteAndPaletteFromOffset) {
    TBmpLayout s;
    s.width = 2;
    s.bits = 8;
    s.colorsUsed = 2;
    s.palette = {TRGBQuad{0, 0, 255, 0}, TRGBQuad{255, 0, 0, 0}};
    s.pixels = {1, 0, 0, 0};
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(0, 0, 255));
    EXPECT_EQ(dib.PixelColor(1, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(dib.ColorTable()[2], TRGBQuad{});
}

TEST(BmpRead, BitFieldsAfterAFortyByteHeader) {
    TBmpLayout s;
    s.width = 2;
    s.bits = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    s.pixels = {0xFF, 0xFF, 0x00, 0xF8};
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.BitCount(), 16);
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 6, 5));
    EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(dib.PixelColor(1, 0), RGBColor(255, 0, 0));
}

TEST(BmpRead, SixteenBitsWithoutMasksAre555) {
    TBmpLayout s;
    s.width = 1;
    s.bits = 16;
    s.pixels = {0x00, 0x7C, 0, 0};
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 5, 5));
    EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(255, 0, 0));
}

TEST(BmpRead, MasksInFiftySixByteHeader) {
    TBmpLayout s;
    s.headerSize = 56;
    s.width = 1;
    s.bits = 16;
    s.compression = 3;
    s.masks = {0x0F00, 0x00F0, 0x000F, 0xF000}; // 4-4-4-4
    s.pixels = {0x5F, 0xAF, 0, 0};              // a=10 r=15 g=5 b=15
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.BitCount(), 32);
    EXPECT_EQ(dib.Pixel(0, 0), 0xAAFF55FFu);
}

TEST(BmpRead, V4AndV5HeadersTakeTheirMasks) {
    for (uint32_t headerSize : {108u, 124u}) {
        TBmpLayout s;
        s.headerSize = headerSize;
        s.width = 2;
        s.height = 1;
        s.bits = 32;
        s.compression = 3;
        // Bytes in memory: red, green, blue, alpha.
        s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
        s.pixels = {10, 20, 30, 40, 50, 60, 70, 80};
        TDIB dib;
        ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s))) << headerSize;
        EXPECT_EQ(dib.BitCount(), 32);
        EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(10, 20, 30));
        EXPECT_EQ(dib.Pixel(0, 0) >> 24, 40u);
        EXPECT_EQ(dib.PixelColor(1, 0), RGBColor(50, 60, 70));

        // The usual layout with an alpha mask is copied as it is.
        s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
        EXPECT_EQ(dib.Pixel(0, 0), 0x281E140Au);
        EXPECT_TRUE(dib.HasAlphaChannel());

        // 16 bits with 5-6-5 masks stay 16 bits.
        s.bits = 16;
        s.masks = {0xF800, 0x07E0, 0x001F, 0};
        s.pixels = {0x1F, 0x00, 0xE0, 0x07};
        ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
        EXPECT_EQ(dib.BitCount(), 16);
        EXPECT_EQ(dib.PixelColor(0, 0), RGBColor(0, 0, 255));
        EXPECT_EQ(dib.PixelColor(1, 0), RGBColor(0, 255, 0));
    }
}

TEST(BmpRead, Rle8) {
    TBmpLayout s;
    s.width = 6;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.palette = GreyPalette(16);
    s.pixels = {
        3, 7, 0, 3, 1, 2, 3, 0, // bottom row: 7 7 7 1 2 3 (absolute run padded)
        0, 0,                   // end of line
        0, 2, 2, 1,             // delta: right 2, up 1 -> row 2, x 2
        2, 9,                   // top row: _ _ 9 9
        0, 1                    // end of bitmap
    };
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.BitCount(), 8);
    const uint32_t bottom[] = {7, 7, 7, 1, 2, 3};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dib.Pixel(x, 2), bottom[x]);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dib.Pixel(x, 1), 0u);
    EXPECT_EQ(dib.Pixel(1, 0), 0u);
    EXPECT_EQ(dib.Pixel(2, 0), 9u);
    EXPECT_EQ(dib.Pixel(3, 0), 9u);
    EXPECT_EQ(dib.Pixel(4, 0), 0u);
}

TEST(BmpRead, Rle4) {
    TBmpLayout s;
    s.width = 7;
    s.height = 2;
    s.bits = 4;
    s.compression = 2;
    s.palette = GreyPalette(16);
    s.pixels = {
        5, 0x12,             // 1 2 1 2 1
        0, 3,    0x34, 0x50, // absolute 3 4 5, padded to a word
        0, 0,                // end of line
        7, 0xAB,             // A B A B A B A
        0, 1,
    };
    // At a width of 7 the run of 5 and the absolute 3 reach into the row padding: the pixels
    // past the width are dropped.
    {
        TDIB clipped;
        ASSERT_TRUE(clipped.LoadFromStream(BuildBmp(s)));
        EXPECT_EQ(clipped.Pixel(4, 1), 1u);
        EXPECT_EQ(clipped.Pixel(5, 1), 3u);
        EXPECT_EQ(clipped.Pixel(6, 1), 4u);
        EXPECT_EQ(clipped.Pixel(6, 0), 0xAu);
    }
    s.width = 8;
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.BitCount(), 4);
    const uint32_t bottom[] = {1, 2, 1, 2, 1, 3, 4, 5};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(dib.Pixel(x, 1), bottom[x]) << x;
    const uint32_t top[] = {10, 11, 10, 11, 10, 11, 10, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(dib.Pixel(x, 0), top[x]) << x;
}

TEST(BmpRead, RleWithoutEndMarkerIsFineOnlyWhenComplete) {
    TBmpLayout s;
    s.width = 2;
    s.height = 1;
    s.bits = 8;
    s.compression = 1;
    s.pixels = {2, 5, 0, 0};
    TDIB dib;
    EXPECT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    s.pixels = {2, 5};
    ExpectRejected(BuildBmp(s), "RLE ends in the middle of the picture");
}

// ---- damaged files: each must fail and leave the buffer as it was ----

TEST(BmpDamaged, EveryTruncationFails) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        std::vector<uint8_t> good = PatternDIB(5, 4, bits).SaveToStream();
        for (size_t n = 0; n < good.size(); ++n) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
            // Only the padding of the last row may be missing.
            uint64_t rowBytes = RowBytes(5, bits);
            uint64_t lastRow = (5 * uint64_t(bits) + 7) / 8;
            if (n >= good.size() - (rowBytes - lastRow))
                continue;
            ExpectRejected(cut, std::to_string(bits) + " bits cut at " + std::to_string(n));
        }
    }
}

TEST(BmpDamaged, EveryTruncatedRleFails) {
    TBmpLayout s;
    s.width = 6;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.pixels = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1};
    std::vector<uint8_t> good = BuildBmp(s);
    for (size_t n = 0; n < good.size(); ++n)
        ExpectRejected(std::vector<uint8_t>(good.begin(), good.begin() + long(n)),
                       "RLE cut at " + std::to_string(n));
}

TEST(BmpDamaged, LyingSizesAndOffsets) {
    std::vector<uint8_t> good = PatternDIB(4, 4, 24).SaveToStream();
    {
        auto b = good;
        PutU32(&b[10], uint32_t(b.size() + 10)); // pixels beyond the end
        ExpectRejected(b, "offset beyond the end");
    }
    {
        auto b = good;
        PutU32(&b[10], 20); // pixels inside the header
        ExpectRejected(b, "offset inside the header");
    }
    {
        auto b = good;
        PutI32(&b[18], 4000); // wider than the data
        ExpectRejected(b, "width lies");
    }
    {
        auto b = good;
        PutI32(&b[22], 0x7FFFFFFF);
        ExpectRejected(b, "height lies");
    }
    {
        auto b = good;
        PutI32(&b[22], int32_t(0x80000000));
        ExpectRejected(b, "height is the smallest integer");
    }
    {
        auto b = good;
        PutI32(&b[18], 0x7FFFFFFF);
        PutI32(&b[22], 0x7FFFFFFF);
        ExpectRejected(b, "size overflows");
    }
    {
        auto b = good;
        PutI32(&b[18], 0);
        ExpectRejected(b, "zero width");
    }
    {
        auto b = good;
        PutI32(&b[18], -4);
        ExpectRejected(b, "negative width");
    }
    {
        auto b = good;
        PutI32(&b[22], 0);
        ExpectRejected(b, "zero height");
    }
    {
        auto b = good;
        PutU32(&b[14], 64); // unknown header size
        ExpectRejected(b, "header size 64");
    }
    {
        auto b = good;
        PutU32(&b[14], 0xFFFFFFF0);
        ExpectRejected(b, "header larger than the file");
    }
    {
        auto b = good;
        b[0] = 'X';
        ExpectRejected(b, "no signature");
    }
    {
        auto b = good;
        PutU16(&b[28], 12);
        ExpectRejected(b, "bit count 12");
    }
    {
        auto b = good;
        PutU32(&b[30], 3); // bit fields with 24 bits
        ExpectRejected(b, "bit fields on 24 bits");
    }
    {
        auto b = good;
        PutU32(&b[30], 4); // JPEG
        ExpectRejected(b, "JPEG");
    }
    {
        auto b = good;
        PutU32(&b[30], 1); // RLE8 with 24 bits
        ExpectRejected(b, "RLE8 on 24 bits");
    }
}

TEST(BmpDamaged, PaletteCountAboveTheLimit) {
    TBmpLayout s;
    s.width = 1;
    s.bits = 8;
    s.colorsUsed = 257;
    s.palette = GreyPalette(16);
    s.palette.resize(257);
    s.pixels = {0, 0, 0, 0};
    ExpectRejected(BuildBmp(s), "257 colours");
    s.colorsUsed = 0xFFFFFFFF;
    ExpectRejected(BuildBmp(s), "4 billion colours");
    s.colorsUsed = 300;
    s.bits = 24;
    ExpectRejected(BuildBmp(s), "300 colours with 24 bits");
}

TEST(BmpDamaged, PaletteLargerThanTheFile) {
    TBmpLayout s;
    s.width = 1;
    s.bits = 8;
    s.colorsUsed = 256;
    s.palette = GreyPalette(2);
    s.offBits = 0; // no offset: the palette would run past the end
    ExpectRejected(BuildBmp(s), "palette past the end");
}

TEST(BmpDamaged, BadMasks) {
    TBmpLayout s;
    s.width = 1;
    s.bits = 16;
    s.compression = 3;
    s.pixels = {0, 0, 0, 0};
    s.masks = {0xF0F0, 0x000F, 0x0F00}; // not contiguous
    ExpectRejected(BuildBmp(s), "split mask");
    s.masks = {0xFF0000, 0xFF00, 0xFF}; // beyond 16 bits
    ExpectRejected(BuildBmp(s), "mask beyond the word");
    s.masks = {0, 0, 0};
    ExpectRejected(BuildBmp(s), "no colour masks");
    s.masks = {0xF800, 0x07E0}; // truncated mask block
    s.pixels.clear();
    ExpectRejected(BuildBmp(s), "masks cut off");
}

TEST(BmpRead, Rle8RunsIntoThePaddingAreClipped) {
    TBmpLayout s;
    s.width = 3;
    s.height = 1;
    s.bits = 8;
    s.compression = 1;
    s.palette = GreyPalette(256);
    // Whole padded rows encoded: a run of 4 over a width of 3, then an absolute run of 5 that
    // lies wholly past the width.
    s.pixels = {4, 9, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1};
    TDIB dib;
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.Pixel(0, 0), 9u);
    EXPECT_EQ(dib.Pixel(2, 0), 9u);
    // A run after the end of the row is dropped too and the next row is not touched.
    s.height = 2;
    s.pixels = {2, 1, 2, 7, 1, 8, 0, 0, 3, 5, 0, 1};
    ASSERT_TRUE(dib.LoadFromStream(BuildBmp(s)));
    EXPECT_EQ(dib.Pixel(1, 1), 1u);
    EXPECT_EQ(dib.Pixel(2, 1), 7u);
    EXPECT_EQ(dib.Pixel(0, 0), 5u);
}

TEST(BmpDamaged, RleOverruns) {
    TBmpLayout s;
    s.width = 4;
    s.height = 2;
    s.bits = 8;
    s.compression = 1;
    auto check = [&](std::vector<uint8_t> stream, const std::string& what) {
        s.pixels = std::move(stream);
        ExpectRejected(BuildBmp(s), what);
    };
    check({0, 0, 0, 0, 0, 0, 1, 1, 0, 1}, "rows past the top");
    check({0, 2, 0, 3, 1, 1, 0, 1}, "delta past the top");
    check({0, 2, 9, 0, 0, 1}, "delta past the right edge");
    check({0, 4, 1, 2}, "absolute run cut off");
    check({0, 2, 1}, "delta cut off");
    s.height = -2;
    check({2, 1, 0, 1}, "top-down RLE");
}

TEST(BmpDamaged, RleBombIsRefused) {
    TBmpLayout s;
    s.width = 0x7FFF;
    s.height = 0x7FFF;
    s.bits = 8;
    s.compression = 1;
    s.pixels = {0, 1};
    ExpectRejected(BuildBmp(s), "1 GiB picture from 2 bytes");
    s.width = 9000;
    s.height = 8000;
    ExpectRejected(BuildBmp(s), "72 MB picture from 2 bytes");
}

TEST(BmpDamaged, EveryByteFlippedNeverCrashes) {
    // Not a proof, but a cheap sweep: damaged headers must be refused or read within bounds.
    for (int bits : {4, 8, 16, 32}) {
        std::vector<uint8_t> good = PatternDIB(3, 3, bits).SaveToStream();
        size_t limit = std::min<size_t>(good.size(), 14 + 40 + 12);
        for (size_t i = 0; i < limit; ++i)
            for (uint8_t v : {uint8_t(0), uint8_t(0xFF), uint8_t(good[i] ^ 0x80)}) {
                auto b = good;
                b[i] = v;
                TDIB dib = Sentinel();
                if (!dib.LoadFromStream(b))
                    EXPECT_TRUE(SamePixels(dib, Sentinel()));
                else
                    EXPECT_FALSE(dib.Empty());
            }
    }
}

} // namespace
} // namespace velmora
