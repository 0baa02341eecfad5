#include "core/dib.h"

#include "core/palette.h"
#include "support/core_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

using core_test::PatternDIB;
using core_test::SamePixels;

TEST(PixelFormat, MakePixelFormatFollowsThePart) {
    TPixelFormat f = MakePixelFormat(5, 6, 5);
    EXPECT_EQ(f.RedMask, 0xF800u);
    EXPECT_EQ(f.GreenMask, 0x07E0u);
    EXPECT_EQ(f.BlueMask, 0x001Fu);
    EXPECT_EQ(f.RedShift, 8);
    EXPECT_EQ(f.GreenShift, 3);
    EXPECT_EQ(f.BlueShift, 3);
    EXPECT_EQ(f.RedFillShift, 3);
    EXPECT_EQ(f.GreenFillShift, 2);
    EXPECT_EQ(f.BlueFillShift, 3);
    TPixelFormat g = MakePixelFormat(5, 5, 5);
    EXPECT_EQ(g.RedMask, 0x7C00u);
    EXPECT_EQ(g.GreenMask, 0x03E0u);
    EXPECT_EQ(g.BlueMask, 0x001Fu);
    TPixelFormat t = MakePixelFormat(8, 8, 8);
    EXPECT_EQ(t.RedMask, 0xFF0000u);
    EXPECT_EQ(t.GreenMask, 0x00FF00u);
    EXPECT_EQ(t.BlueMask, 0x0000FFu);
    EXPECT_EQ(t.RedShift, 16);
    EXPECT_EQ(t.GreenShift, 8);
    EXPECT_EQ(t.BlueShift, 0);
}

TEST(Dib, NewBufferIsEmpty) {
    TDIB dib;
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    EXPECT_EQ(dib.Size(), 0);
    EXPECT_EQ(dib.PBits(), nullptr);
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(8, 8, 8));
}

TEST(Dib, StridesOfEveryBitCount) {
    const struct {
        int bits, width, stride;
    } cases[] = {{1, 3, 4},  {1, 32, 4},  {1, 33, 8},  {4, 3, 4},  {4, 8, 4},  {4, 9, 8},
                 {8, 3, 4},  {8, 4, 4},   {8, 5, 8},   {16, 3, 8}, {16, 2, 4}, {24, 3, 12},
                 {24, 1, 4}, {24, 4, 12}, {32, 3, 12}, {32, 1, 4}};
    for (const auto& c : cases) {
        TDIB dib;
        dib.SetSize(c.width, 5, c.bits);
        EXPECT_EQ(dib.WidthBytes(), c.stride) << c.bits << " bits, width " << c.width;
        EXPECT_EQ(dib.Size(), c.stride * 5);
        EXPECT_EQ(dib.NextLine(), -c.stride);
        EXPECT_EQ(dib.BitCount(), c.bits);
        EXPECT_EQ(dib.PaletteCount(), c.bits <= 8 ? 1 << c.bits : 0);
    }
}

TEST(Dib, SetSizeWithoutWidthOrHeightEmpties) {
    TDIB dib;
    dib.SetSize(4, 4, 8);
    dib.SetSize(0, 5, 8);
    EXPECT_TRUE(dib.Empty());
    dib.SetSize(5, -1, 24);
    EXPECT_TRUE(dib.Empty());
}

TEST(Dib, SetSizeWithSameShapeKeepsPixels) {
    TDIB dib;
    dib.SetSize(4, 4, 8);
    dib.SetPixel(1, 2, 77);
    dib.SetSize(4, 4, 8);
    EXPECT_EQ(dib.Pixel(1, 2), 77u);
    dib.SetSize(4, 5, 8);
    EXPECT_EQ(dib.Pixel(1, 2), 0u);
}

TEST(Dib, InvalidBitCountsAndMasksRaise) {
    TDIB dib;
    EXPECT_THROW(dib.SetSize(2, 2, 12), EInvalidGraphicOperation);
    EXPECT_THROW(dib.SetSize(2, 2, 2), EInvalidGraphicOperation);
    EXPECT_THROW(dib.SetSize(2, 2, 0), EInvalidGraphicOperation);
    dib.SetPixelFormat(MakePixelFormat(4, 4, 4));
    EXPECT_THROW(dib.SetSize(2, 2, 16), EInvalidGraphicOperation);
    EXPECT_THROW(dib.SetSize(2, 2, 24), EInvalidGraphicOperation);
    dib.SetPixelFormat(MakePixelFormat(8, 8, 8));
    dib.SetSize(2, 2, 24);
    EXPECT_THROW(dib.SetBitCount(7), EInvalidGraphicOperation);
    EXPECT_EQ(dib.BitCount(), 24);
}

TEST(Dib, SixteenBitsTakeTheRequestedLayout) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 5, 5));
    dib.SetSize(2, 2, 16);
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 5, 5));
    TDIB other;
    other.SetSize(2, 2, 16); // 8-8-8 left from construction: the library layout
    EXPECT_EQ(other.PixelFormat(), MakePixelFormat(5, 6, 5));
}

TEST(Dib, RowsAreStoredBottomUp) {
    TDIB dib;
    dib.SetSize(3, 4, 8);
    dib.SetPixel(0, 0, 11); // top row
    dib.SetPixel(0, 3, 44); // bottom row
    EXPECT_EQ(dib.PBits()[0], 44);
    EXPECT_EQ(dib.TopPBits()[0], 11);
    EXPECT_EQ(dib.TopPBits(), dib.PBits() + 3 * dib.WidthBytes());
    EXPECT_EQ(dib.ScanLine(0), dib.TopPBits());
    EXPECT_EQ(dib.ScanLine(1), dib.TopPBits() + dib.NextLine());
    EXPECT_EQ(dib.ScanLine(3), dib.PBits());
    EXPECT_THROW(dib.ScanLine(4), EInvalidGraphicOperation);
    EXPECT_THROW(dib.ScanLine(-1), EInvalidGraphicOperation);
    const TDIB& c = dib;
    EXPECT_THROW(c.ScanLine(4), EInvalidGraphicOperation);
}

TEST(Dib, SetPixelWritesEveryLayout) {
    TDIB d1;
    d1.SetSize(10, 1, 1);
    d1.SetPixel(0, 0, 1);
    d1.SetPixel(9, 0, 1);
    EXPECT_EQ(d1.PBits()[0], 0x80);
    EXPECT_EQ(d1.PBits()[1], 0x40);
    EXPECT_EQ(d1.Pixel(9, 0), 1u);
    EXPECT_EQ(d1.Pixel(8, 0), 0u);

    TDIB d4;
    d4.SetSize(3, 1, 4);
    d4.SetPixel(0, 0, 0xA);
    d4.SetPixel(1, 0, 0x5);
    d4.SetPixel(2, 0, 0xF);
    EXPECT_EQ(d4.PBits()[0], 0xA5);
    EXPECT_EQ(d4.PBits()[1], 0xF0);
    EXPECT_EQ(d4.Pixel(1, 0), 5u);

    TDIB d16;
    d16.SetSize(2, 1, 16);
    d16.SetPixel(1, 0, 0xF81F);
    EXPECT_EQ(d16.PBits()[2], 0x1F);
    EXPECT_EQ(d16.PBits()[3], 0xF8);
    EXPECT_EQ(d16.PixelColor(1, 0), RGBColor(255, 0, 255));

    TDIB d24;
    d24.SetSize(2, 1, 24);
    d24.SetPixel(1, 0, RGBColor(1, 2, 3));
    EXPECT_EQ(d24.PBits()[3], 3); // blue
    EXPECT_EQ(d24.PBits()[4], 2); // green
    EXPECT_EQ(d24.PBits()[5], 1); // red
    EXPECT_EQ(d24.Pixel(1, 0), RGBColor(1, 2, 3));

    TDIB d32;
    d32.SetSize(1, 1, 32);
    d32.SetPixel(0, 0, 0x80112233);
    EXPECT_EQ(d32.PBits()[0], 0x33);
    EXPECT_EQ(d32.PBits()[3], 0x80);
    EXPECT_EQ(d32.PixelColor(0, 0), RGBColor(0x11, 0x22, 0x33));
}

// Whole rows read through the colour table or the masks give the colours of PixelColor.
TEST(Dib, RowColoursAreThePixelColoursOfEveryLayout) {
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (bool format555 : {false, true}) {
            if (format555 && bits != 16)
                continue;
            TDIB dib = PatternDIB(37, 5, bits, format555);
            for (int i = 0; i < 256; ++i)
                dib.ColorTable()[size_t(i)] = {uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), 0};
            const TRowColors colours(dib);
            std::vector<uint8_t> rgb(37 * 3);
            for (int y = 0; y < 5; ++y) {
                colours.Read(y, rgb.data());
                for (int x = 0; x < 37; ++x)
                    ASSERT_EQ(RGBColor(rgb[x * 3], rgb[x * 3 + 1], rgb[x * 3 + 2]),
                              dib.PixelColor(x, y))
                        << bits << (format555 ? " (5-5-5)" : "") << " at " << x << "," << y;
            }
        }
}

TEST(Dib, SetPixelOutsideIsIgnored) {
    TDIB dib;
    dib.SetSize(2, 2, 8);
    std::vector<uint8_t> before(dib.PBits(), dib.PBits() + dib.Size());
    dib.SetPixel(-1, 0, 5);
    dib.SetPixel(2, 0, 5);
    dib.SetPixel(0, 2, 5);
    dib.SetPixel(0, -1, 5);
    EXPECT_EQ(std::memcmp(before.data(), dib.PBits(), before.size()), 0);
    EXPECT_EQ(dib.Pixel(5, 5), 0u);
}

TEST(DibConvert, White565WidensToWhite) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(1, 1, 16);
    dib.SetPixel(0, 0, 0xFFFF);
    dib.SetBitCount(24);
    EXPECT_EQ(dib.BitCount(), 24);
    EXPECT_EQ(dib.Pixel(0, 0), RGBColor(255, 255, 255));
}

TEST(DibConvert, TrueColourNarrowsTo565) {
    TDIB dib;
    dib.SetSize(1, 1, 24);
    dib.SetPixel(0, 0, RGBColor(255, 128, 7));
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetBitCount(16);
    uint32_t w = dib.Pixel(0, 0);
    EXPECT_EQ(w >> 11, 31u);
    EXPECT_EQ((w >> 5) & 63, 32u);
    EXPECT_EQ(w & 31, 0u);
}

TEST(DibConvert, TwentyFourToSixteenTakesTheLibraryLayout) {
    TDIB dib;
    dib.SetSize(1, 1, 24);
    dib.SetPixel(0, 0, RGBColor(255, 128, 7));
    dib.SetBitCount(16);
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 6, 5));
    EXPECT_EQ(dib.Pixel(0, 0), (31u << 11) | (32u << 5));
}

TEST(DibConvert, WideningRepeatsTheTopBits) {
    // Every 5-bit red and blue and every 6-bit green through 5-6-5 -> 24 bits.
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(64, 1, 16);
    for (int v = 0; v < 64; ++v)
        dib.SetPixel(v, 0, (uint32_t(v & 31) << 11) | (uint32_t(v) << 5) | uint32_t(31 - (v & 31)));
    dib.SetBitCount(24);
    for (int v = 0; v < 64; ++v) {
        TColor c = dib.Pixel(v, 0);
        int r5 = v & 31, g6 = v, b5 = 31 - (v & 31);
        EXPECT_EQ(RedOf(c), (r5 << 3) | (r5 >> 2)) << v;
        EXPECT_EQ(GreenOf(c), (g6 << 2) | (g6 >> 4)) << v;
        EXPECT_EQ(BlueOf(c), (b5 << 3) | (b5 >> 2)) << v;
    }
    // The examples: 5-bit 24 becomes 198, 31 becomes 255.
    EXPECT_EQ(RedOf(dib.Pixel(24, 0)), 198);
    EXPECT_EQ(RedOf(dib.Pixel(31, 0)), 255);
}

TEST(DibConvert, From555) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 5, 5));
    dib.SetSize(2, 1, 16);
    dib.SetPixel(0, 0, 0x7FFF);
    dib.SetPixel(1, 0, (24u << 10) | (1u << 5) | 31u);
    dib.SetBitCount(32);
    EXPECT_EQ(dib.Pixel(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(dib.PixelColor(1, 0), RGBColor(198, 8, 255));
}

TEST(DibConvert, ThirtyTwoAndTwentyFour) {
    TDIB dib;
    dib.SetSize(2, 2, 32);
    dib.SetPixel(0, 0, 0xFF102030);
    dib.SetPixel(1, 1, 0x00405060);
    dib.SetBitCount(24);
    EXPECT_EQ(dib.Pixel(0, 0), RGBColor(0x10, 0x20, 0x30));
    EXPECT_EQ(dib.Pixel(1, 1), RGBColor(0x40, 0x50, 0x60));
    dib.SetBitCount(32);
    EXPECT_EQ(dib.Pixel(0, 0), 0x00102030u); // a 32-bit result has 0 in its top byte
}

TEST(DibConvert, SixteenToSixteenOtherLayout) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(1, 1, 16);
    dib.SetPixel(0, 0, 0xFFFF);
    TDIB copy(dib);
    copy.SetPixelFormat(MakePixelFormat(8, 8, 8));
    copy.SetBitCount(24);
    copy.SetPixelFormat(MakePixelFormat(5, 5, 5));
    copy.SetBitCount(16);
    EXPECT_EQ(copy.Pixel(0, 0), 0x7FFFu);

    // Directly: requesting 5-6-5 does not relabel the 5-5-5 words held; SetBitCount converts them.
    TDIB red;
    red.SetPixelFormat(MakePixelFormat(5, 5, 5));
    red.SetSize(1, 1, 16);
    red.SetPixel(0, 0, 0x7C00);
    red.SetPixelFormat(MakePixelFormat(5, 6, 5));
    EXPECT_EQ(red.PixelColor(0, 0), RGBColor(255, 0, 0));
    red.SetBitCount(16);
    EXPECT_EQ(red.Pixel(0, 0), 0xF800u);
    EXPECT_EQ(red.PixelFormat(), MakePixelFormat(5, 6, 5));
}

TEST(DibConvert, PaletteToTrueColour) {
    TDIB dib;
    dib.SetSize(2, 1, 8);
    dib.SetPixel(0, 0, 8);
    dib.SetPixel(1, 0, 255);
    dib.SetBitCount(24);
    EXPECT_EQ(dib.Pixel(0, 0), RGBColor(85, 128, 151));
    EXPECT_EQ(dib.Pixel(1, 0), RGBColor(255, 255, 255));

    TDIB mono;
    mono.ColorTable()[0] = TRGBQuad{0, 0, 0, 0};
    mono.ColorTable()[1] = TRGBQuad{255, 255, 255, 0};
    mono.UpdatePalette();
    mono.SetSize(9, 1, 1);
    mono.SetPixel(8, 0, 1);
    mono.SetPixelFormat(MakePixelFormat(5, 6, 5));
    mono.SetBitCount(16);
    EXPECT_EQ(mono.Pixel(8, 0), 0xFFFFu);
    EXPECT_EQ(mono.Pixel(7, 0), 0u);
}

TEST(DibConvert, TrueColourToPaletteByNearestColour) {
    TDIB dib;
    dib.SetSize(3, 1, 24);
    dib.SetPixel(0, 0, RGBColor(250, 2, 1));    // near 249 (255, 0, 0)
    dib.SetPixel(1, 0, RGBColor(86, 129, 150)); // near 8
    dib.SetPixel(2, 0, RGBColor(0, 0, 0));
    dib.SetBitCount(8);
    EXPECT_EQ(dib.BitCount(), 8);
    for (int x = 0; x < 3; ++x) {
        TColor original = x == 0 ? RGBColor(250, 2, 1) : x == 1 ? RGBColor(86, 129, 150) : 0;
        EXPECT_EQ(dib.Pixel(x, 0), NearestColorIndex(DefaultPalette, RedOf(original),
                                                     GreenOf(original), BlueOf(original)));
    }
    EXPECT_EQ(dib.Pixel(1, 0), 8u);
    EXPECT_EQ(dib.Pixel(2, 0), 0u);
}

TEST(DibConvert, TrueColourToOtherTables) {
    TDIB dib;
    dib.ColorTable().fill(TRGBQuad{});
    dib.ColorTable()[1] = TRGBQuad{0, 0, 200, 0};  // red
    dib.ColorTable()[2] = TRGBQuad{200, 0, 0, 0};  // blue
    dib.ColorTable()[17] = TRGBQuad{0, 250, 0, 0}; // green, beyond a 4-bit palette
    dib.UpdatePalette();
    dib.SetSize(300, 300, 24); // large enough to take the built look-up
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            dib.SetPixel(x, y, RGBColor(uint8_t(x), uint8_t(y), uint8_t(x ^ y)));
    TDIB four(dib);
    dib.SetBitCount(8);
    four.SetBitCount(4);
    for (int y = 0; y < 300; y += 7)
        for (int x = 0; x < 300; x += 5) {
            uint8_t r = uint8_t(x), g = uint8_t(y), b = uint8_t(x ^ y);
            EXPECT_EQ(dib.Pixel(x, y), NearestColorIndex(dib.ColorTable(), r, g, b));
            TColorTable sixteen{};
            std::copy(dib.ColorTable().begin(), dib.ColorTable().begin() + 16, sixteen.begin());
            uint32_t p4 = four.Pixel(x, y);
            EXPECT_LT(p4, 16u);
            // Nearest among the first 16 entries; with entries 16.. black, the same as in
            // `sixteen` wherever black (index 0) is not the answer there.
            uint8_t expected = NearestColorIndex(sixteen, r, g, b);
            EXPECT_EQ(p4, expected >= 16 ? 0u : expected);
        }
}

TEST(DibConvert, PaletteToSmallerPalette) {
    TDIB dib;
    dib.SetSize(2, 1, 8);
    dib.SetPixel(0, 0, 249); // (255, 0, 0): nearest in entries 0..15 is 1 (128, 0, 0)
    dib.SetPixel(1, 0, 3);
    dib.SetBitCount(4);
    EXPECT_EQ(dib.Pixel(0, 0), 1u);
    EXPECT_EQ(dib.Pixel(1, 0), 3u);
    dib.SetBitCount(1);
    EXPECT_EQ(dib.Pixel(0, 0), 1u); // (128, 0, 0) is nearer (128, 0, 0) than black
    EXPECT_EQ(dib.Pixel(1, 0), 1u); // (128, 128, 0)
}

TEST(DibConvert, PaletteToLargerPaletteCopiesIndices) {
    TDIB dib;
    dib.SetSize(5, 2, 4);
    for (int x = 0; x < 5; ++x)
        dib.SetPixel(x, 1, uint32_t(x * 3));
    dib.SetBitCount(8);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dib.Pixel(x, 1), uint32_t(x * 3));
    EXPECT_EQ(dib.WidthBytes(), 8);
}

TEST(DibConvert, EmptyBufferIsLeftAlone) {
    TDIB dib;
    dib.SetBitCount(24);
    EXPECT_TRUE(dib.Empty());
}

TEST(DibCopyOnWrite, CopiesShareUntilOneWrites) {
    TDIB a = PatternDIB(7, 5, 24);
    TDIB b;
    b.Assign(a);
    const TDIB& ca = a;
    const TDIB& cb = b;
    EXPECT_EQ(ca.PBits(), cb.PBits()); // shared
    b.SetPixel(0, 0, RGBColor(9, 9, 9));
    EXPECT_NE(ca.PBits(), cb.PBits());
    EXPECT_EQ(a.Pixel(0, 0), PatternDIB(7, 5, 24).Pixel(0, 0));
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(9, 9, 9));
}

TEST(DibCopyOnWrite, EveryWritingAccessUnshares) {
    const TDIB original = PatternDIB(4, 4, 8);
    {
        TDIB a(original);
        a.PBits()[0] = 0xEE;
        EXPECT_NE(original.PBits()[0], 0xEE);
    }
    {
        TDIB a(original);
        a.TopPBits()[0] = 0xEE;
        EXPECT_NE(original.TopPBits()[0], 0xEE);
    }
    {
        TDIB a(original);
        a.ScanLine(2)[1] = 0xEE;
        EXPECT_NE(original.ScanLine(2)[1], 0xEE);
    }
    {
        TDIB a(original);
        a.FillRect(0, 0, 4, 4, RGBColor(255, 255, 255));
        EXPECT_TRUE(SamePixels(original, PatternDIB(4, 4, 8)));
    }
    {
        TDIB a(original);
        a.SetBitCount(24);
        EXPECT_EQ(original.BitCount(), 8);
        EXPECT_TRUE(SamePixels(original, PatternDIB(4, 4, 8)));
    }
    {
        // The original writing leaves the copy alone too.
        TDIB source = PatternDIB(4, 4, 8);
        TDIB copy = source;
        source.SetPixel(1, 1, 200);
        EXPECT_TRUE(SamePixels(copy, PatternDIB(4, 4, 8)));
    }
}

TEST(DibCopyOnWrite, ColourTablesAreNotShared) {
    TDIB a;
    a.SetSize(1, 1, 8);
    TDIB b(a);
    b.ColorTable()[0] = TRGBQuad{1, 2, 3, 0};
    b.UpdatePalette();
    EXPECT_EQ(a.ColorTable()[0], DefaultPalette[0]);
    EXPECT_EQ(b.PixelColor(0, 0), RGBColor(3, 2, 1));
}

TEST(DibAlpha, HasAlphaChannelOnlyFor32BitsWithATopByte) {
    TDIB dib;
    dib.SetSize(2, 2, 32);
    EXPECT_FALSE(dib.HasAlphaChannel());
    dib.SetPixel(1, 1, 0x01000000);
    EXPECT_TRUE(dib.HasAlphaChannel());
    dib.SetBitCount(24);
    EXPECT_FALSE(dib.HasAlphaChannel());
    TDIB empty;
    EXPECT_FALSE(empty.HasAlphaChannel());
}

TEST(DibAlpha, AssignFromEightBits) {
    TDIB dib = PatternDIB(3, 2, 24);
    TDIB colours(dib);
    TDIB alpha;
    alpha.SetSize(3, 2, 8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            alpha.SetPixel(x, y, uint32_t(10 * x + 100 * y));
    ASSERT_TRUE(dib.AssignAlphaChannel(alpha));
    EXPECT_EQ(dib.BitCount(), 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(dib.Pixel(x, y) >> 24, uint32_t(10 * x + 100 * y));
            EXPECT_EQ(dib.PixelColor(x, y), colours.Pixel(x, y));
        }
    EXPECT_EQ(dib.HasAlphaChannel(), true);
    std::unique_ptr<TDIB> back = dib.RetAlphaChannel();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->BitCount(), 8);
    EXPECT_TRUE(SamePixels(*back, alpha));
}

TEST(DibAlpha, AssignFromThirtyTwoBits) {
    TDIB dib = PatternDIB(2, 2, 8);
    TDIB a;
    a.SetSize(2, 2, 32);
    a.SetPixel(0, 0, 0xAB000000);
    a.SetPixel(1, 1, 0x12FFFFFF);
    ASSERT_TRUE(dib.AssignAlphaChannel(a));
    EXPECT_EQ(dib.Pixel(0, 0) >> 24, 0xABu);
    EXPECT_EQ(dib.Pixel(1, 1) >> 24, 0x12u);
    EXPECT_EQ(dib.Pixel(1, 0) >> 24, 0u);
}

TEST(DibAlpha, OtherSizesFailButTheBufferIsAlready32Bits) {
    TDIB dib = PatternDIB(3, 3, 24);
    TDIB colours(dib);
    TDIB a;
    a.SetSize(2, 3, 8);
    EXPECT_FALSE(dib.AssignAlphaChannel(a));
    EXPECT_EQ(dib.BitCount(), 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dib.PixelColor(x, y), colours.Pixel(x, y));
    EXPECT_THROW(dib.SetAlphaChannel(a), EInvalidGraphicOperation);
    try {
        dib.SetAlphaChannel(a);
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot set alphachannel from DIB.");
    }
    TDIB twentyFour;
    twentyFour.SetSize(3, 3, 24);
    EXPECT_FALSE(dib.AssignAlphaChannel(twentyFour));
    TDIB empty;
    EXPECT_FALSE(empty.AssignAlphaChannel(a));
    EXPECT_TRUE(empty.Empty());
}

TEST(DibAlpha, RetAlphaChannelIsNullWithoutAlpha) {
    TDIB dib;
    dib.SetSize(2, 2, 32);
    EXPECT_EQ(dib.RetAlphaChannel(), nullptr);
    dib.SetSize(2, 2, 24);
    EXPECT_EQ(dib.RetAlphaChannel(), nullptr);
}

TEST(DibCanvas, FillRectClipsAndConverts) {
    TDIB dib;
    dib.SetSize(4, 3, 24);
    dib.FillRect(-2, 1, 4, 10, RGBColor(1, 2, 3));
    EXPECT_EQ(dib.Pixel(0, 1), RGBColor(1, 2, 3));
    EXPECT_EQ(dib.Pixel(1, 2), RGBColor(1, 2, 3));
    EXPECT_EQ(dib.Pixel(2, 1), 0u);
    EXPECT_EQ(dib.Pixel(0, 0), 0u);

    TDIB pal;
    pal.SetSize(3, 1, 8);
    pal.FillRect(0, 0, 3, 1, RGBColor(0, 250, 0));
    EXPECT_EQ(pal.Pixel(2, 0), NearestColorIndex(DefaultPalette, 0, 250, 0));

    TDIB w16;
    w16.SetSize(2, 1, 16);
    w16.FillRect(0, 0, 1, 1, RGBColor(255, 128, 7));
    EXPECT_EQ(w16.Pixel(0, 0), (31u << 11) | (32u << 5));
    EXPECT_EQ(w16.Pixel(1, 0), 0u);

    TDIB w4;
    w4.SetSize(3, 1, 4);
    w4.FillRect(1, 0, 2, 1, RGBColor(0, 0, 128));
    EXPECT_EQ(w4.Pixel(0, 0), 0u);
    EXPECT_EQ(w4.Pixel(1, 0), 4u);
    EXPECT_EQ(w4.Pixel(2, 0), 4u);
}

TEST(DibCanvas, DrawConvertsColours) {
    TDIB target;
    target.SetSize(4, 4, 8);
    TDIB source;
    source.SetSize(2, 2, 24);
    source.FillRect(0, 0, 2, 2, RGBColor(255, 0, 0));
    target.Draw(3, 3, source); // clipped to one pixel
    EXPECT_EQ(target.Pixel(3, 3), 249u);
    EXPECT_EQ(target.Pixel(2, 3), 0u);
    target.Draw(-1, -1, source);
    EXPECT_EQ(target.Pixel(0, 0), 249u);
    EXPECT_EQ(target.Pixel(1, 1), 0u);

    TDIB t32;
    t32.SetSize(3, 3, 32);
    TDIB s16;
    s16.SetSize(1, 1, 16);
    s16.SetPixel(0, 0, 0xFFFF);
    t32.Draw(1, 1, s16);
    EXPECT_EQ(t32.Pixel(1, 1), 0x00FFFFFFu);
}

TEST(DibCanvas, DrawSameLayoutCopiesRawValues) {
    TDIB a = PatternDIB(5, 4, 32);
    TDIB b;
    b.SetSize(5, 4, 32);
    b.Draw(0, 0, a);
    EXPECT_TRUE(SamePixels(a, b)); // the top bytes (alpha) come along
    TDIB p = PatternDIB(9, 3, 4);
    TDIB q;
    q.SetSize(9, 3, 4);
    q.Draw(0, 0, p);
    EXPECT_TRUE(SamePixels(p, q));
}

TEST(DibCanvas, DrawOntoItself) {
    TDIB a = PatternDIB(4, 4, 24);
    TDIB expected = PatternDIB(4, 4, 24);
    a.Draw(1, 0, a);
    for (int y = 0; y < 4; ++y)
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(a.Pixel(x, y), expected.Pixel(x - 1, y));
}

TEST(DibCanvas, StretchDrawNearestNeighbour) {
    TDIB src;
    src.SetSize(2, 2, 24);
    src.SetPixel(0, 0, RGBColor(1, 0, 0));
    src.SetPixel(1, 0, RGBColor(2, 0, 0));
    src.SetPixel(0, 1, RGBColor(3, 0, 0));
    src.SetPixel(1, 1, RGBColor(4, 0, 0));
    TDIB big;
    big.SetSize(4, 4, 32);
    big.StretchDraw(0, 0, 4, 4, src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(RedOf(big.PixelColor(x, y)), 1 + (x / 2) + 2 * (y / 2)) << x << "," << y;

    TDIB wide = PatternDIB(8, 1, 24);
    TDIB small;
    small.SetSize(4, 1, 24);
    small.StretchDraw(0, 0, 4, 1, wide);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(small.Pixel(x, 0), wide.Pixel(2 * x + 1, 0)); // the pixel under the centre

    TDIB clipped;
    clipped.SetSize(2, 2, 24);
    clipped.StretchDraw(-2, -2, 4, 4, src);
    EXPECT_EQ(RedOf(clipped.PixelColor(0, 0)), 4);
    EXPECT_EQ(RedOf(clipped.PixelColor(1, 1)), 4);
}

} // namespace
} // namespace velmora
