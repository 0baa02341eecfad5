#include "core/png_picture.h"

#include "core/palette.h"
#include "support/core_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PngPicture, AssignFromAPaletteBitmap) {
    TDIB dib;
    dib.SetSize(3, 2, 8);
    dib.SetPixel(0, 0, 249);
    dib.SetPixel(2, 1, 8);
    TPngPicture png;
    png.AssignFromDIB(dib);
    EXPECT_EQ(png.ColorType(), pctPalette);
    EXPECT_EQ(png.Width(), 3);
    EXPECT_EQ(png.Height(), 2);
    EXPECT_EQ(png.Channels(), 1);
    EXPECT_FALSE(png.HasAlpha());
    ASSERT_EQ(png.Palette().size(), 256u);
    EXPECT_EQ(png.Palette()[8], DefaultPalette[8]);
    EXPECT_EQ(png.Scanline(0)[0], 249);
    EXPECT_EQ(png.Scanline(1)[2], 8);
    EXPECT_EQ(png.AlphaScanline(0), nullptr);

    TDIB four;
    four.SetSize(2, 1, 4);
    four.SetPixel(1, 0, 9);
    png.AssignFromDIB(four);
    EXPECT_EQ(png.Palette().size(), 16u);
    EXPECT_EQ(png.Scanline(0)[1], 9);
}

TEST(PngPicture, AssignFromATrueColourBitmapDropsAlpha) {
    TDIB dib;
    dib.SetSize(2, 2, 32);
    dib.SetPixel(1, 0, 0x80102030);
    TPngPicture png;
    png.AssignFromDIB(dib);
    EXPECT_EQ(png.ColorType(), pctRGB);
    EXPECT_EQ(png.Channels(), 3);
    const uint8_t* row = png.Scanline(0);
    EXPECT_EQ(row[3], 0x10);
    EXPECT_EQ(row[4], 0x20);
    EXPECT_EQ(row[5], 0x30);
    EXPECT_FALSE(png.HasAlpha());

    TDIB w16;
    w16.SetSize(1, 1, 16);
    w16.SetPixel(0, 0, 0xFFFF);
    png.AssignFromDIB(w16);
    EXPECT_EQ(png.Scanline(0)[0], 255);
    EXPECT_EQ(png.Scanline(0)[2], 255);
}

TEST(PngPicture, CreateAlpha) {
    TPngPicture grey;
    grey.SetSize(2, 1, pctGrey);
    grey.Scanline(0)[1] = 77;
    grey.CreateAlpha();
    EXPECT_EQ(grey.ColorType(), pctGreyAlpha);
    EXPECT_EQ(grey.Scanline(0)[1], 77);
    EXPECT_EQ(grey.AlphaScanline(0)[0], 255);

    TDIB dib;
    dib.SetSize(2, 1, 8);
    dib.SetPixel(1, 0, 249);
    TPngPicture pal;
    pal.AssignFromDIB(dib);
    pal.CreateAlpha();
    EXPECT_EQ(pal.ColorType(), pctRGBAlpha);
    EXPECT_EQ(pal.Channels(), 3);
    EXPECT_EQ(pal.Scanline(0)[3], 255);
    EXPECT_EQ(pal.Scanline(0)[4], 0);
    EXPECT_EQ(pal.AlphaScanline(0)[1], 255);

    TPngPicture rgb;
    rgb.SetSize(1, 1, pctRGB);
    rgb.CreateAlpha();
    EXPECT_EQ(rgb.ColorType(), pctRGBAlpha);
    rgb.AlphaScanline(0)[0] = 3;
    rgb.CreateAlpha(); // has alpha already: nothing happens
    EXPECT_EQ(rgb.AlphaScanline(0)[0], 3);
}

TEST(PngPicture, SetSizeStartsBlackAndOpaque) {
    TPngPicture png;
    png.SetSize(3, 2, pctRGBAlpha);
    EXPECT_EQ(png.Scanline(1)[8], 0);
    EXPECT_EQ(png.AlphaScanline(1)[2], 255);
    EXPECT_EQ(png.Scanline(2), nullptr);
    EXPECT_EQ(png.Scanline(-1), nullptr);
}

TEST(PngPicture, ToDIB) {
    TPngPicture pal;
    pal.SetSize(2, 1, pctPalette);
    pal.Palette() = {TRGBQuad{1, 2, 3, 0}, TRGBQuad{4, 5, 6, 0}};
    pal.Scanline(0)[1] = 1;
    std::unique_ptr<TDIB> a = pal.ToDIB();
    EXPECT_EQ(a->BitCount(), 8);
    EXPECT_EQ(a->PixelColor(1, 0), RGBColor(6, 5, 4));
    EXPECT_EQ(a->ColorTable()[2], TRGBQuad{});

    TPngPicture grey;
    grey.SetSize(2, 1, pctGreyAlpha);
    grey.Scanline(0)[0] = 200;
    std::unique_ptr<TDIB> g = grey.ToDIB();
    EXPECT_EQ(g->BitCount(), 8);
    EXPECT_EQ(g->PixelColor(0, 0), RGBColor(200, 200, 200));

    TPngPicture rgba;
    rgba.SetSize(1, 2, pctRGBAlpha);
    rgba.Scanline(1)[0] = 9;
    rgba.Scanline(1)[1] = 8;
    rgba.Scanline(1)[2] = 7;
    rgba.AlphaScanline(1)[0] = 5;
    std::unique_ptr<TDIB> c = rgba.ToDIB();
    EXPECT_EQ(c->BitCount(), 24);
    EXPECT_EQ(c->Pixel(0, 1), RGBColor(9, 8, 7));
}

TEST(PngPicture, ToDIBWithAlpha) {
    TPngPicture rgba;
    rgba.SetSize(2, 1, pctRGBAlpha);
    rgba.Scanline(0)[3] = 9;
    rgba.AlphaScanline(0)[1] = 66;
    std::unique_ptr<TDIB> c = rgba.ToDIBWithAlpha();
    EXPECT_EQ(c->BitCount(), 32);
    EXPECT_EQ(c->Pixel(1, 0), 0x42090000u);
    EXPECT_EQ(c->Pixel(0, 0), 0xFF000000u);
    EXPECT_TRUE(c->HasAlphaChannel());

    TPngPicture ga;
    ga.SetSize(1, 1, pctGreyAlpha);
    ga.Scanline(0)[0] = 10;
    ga.AlphaScanline(0)[0] = 20;
    EXPECT_EQ(ga.ToDIBWithAlpha()->Pixel(0, 0), 0x140A0A0Au);

    TPngPicture rgb;
    rgb.SetSize(1, 1, pctRGB);
    EXPECT_EQ(rgb.ToDIBWithAlpha()->BitCount(), 24);
}

TEST(PngPicture, RoundTripThroughADIB) {
    TDIB dib = core_test::PatternDIB(5, 4, 24);
    TPngPicture png;
    png.AssignFromDIB(dib);
    EXPECT_TRUE(core_test::SamePixels(*png.ToDIB(), dib));
}

} // namespace
} // namespace velmora
