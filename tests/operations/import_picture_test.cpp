#include "operations/import_picture.h"

#include "core/palette.h"
#include "files/picture_files.h"
#include "formats/image_info.h"
#include "operations/create_library.h"
#include "operations/library_kind.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace velmora {
namespace {

using cli_test::PatternPicture;
using cli_test::TCliTempDir;

TEST(ConvertBitCount, EightToSixteenKeepsBlackAndLiftsDarkColours) {
    TDIB dib;
    dib.SetSize(4, 1, 8);
    dib.ColorTable()[1] = {1, 1, 1, 0};      // blue, green, red
    dib.ColorTable()[2] = {50, 100, 200, 0}; // red 200, green 100, blue 50
    dib.ColorTable()[3] = {0, 0, 255, 0};    // pure red: green and blue are lifted to 8
    dib.UpdatePalette();
    for (int x = 0; x < 4; ++x)
        dib.SetPixel(x, 0, uint32_t(x));
    ConvertBitCount(dib, 16);
    ASSERT_EQ(dib.BitCount(), 16);
    EXPECT_EQ(dib.Pixel(0, 0), 0u);
    EXPECT_EQ(dib.Pixel(1, 0), 0x0841u);
    EXPECT_EQ(dib.Pixel(2, 0), uint32_t(200 * 256 + 100 * 8 + 48 / 8));
    EXPECT_EQ(dib.Pixel(3, 0), uint32_t(248 * 256 + 8 * 8 + 1));
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 6, 5));
}

TEST(ConvertBitCount, ToEightBitsPadsTheWidthWithBlackAndMapsToThePalette) {
    TDIB dib = PatternPicture(10, 3, 1);
    dib.SetPixel(9, 2, RGBColor(255, 0, 0));
    ConvertBitCount(dib, 8);
    ASSERT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.Width(), 12);
    EXPECT_EQ(dib.ColorTable(), DefaultPalette);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(dib.PixelColor(10, y), RGBColor(0, 0, 0));
        EXPECT_EQ(dib.PixelColor(11, y), RGBColor(0, 0, 0));
    }
    EXPECT_EQ(dib.PixelColor(9, 2), RGBColor(255, 0, 0));

    // An 8-bit buffer whose width is a multiple of 4 is taken as it is.
    TDIB eight;
    eight.SetSize(8, 2, 8);
    eight.ColorTable()[5] = {9, 9, 9, 0};
    eight.UpdatePalette();
    eight.SetPixel(3, 1, 5);
    TDIB before = eight;
    ConvertBitCount(eight, 8);
    EXPECT_EQ(eight.ColorTable(), before.ColorTable());
    EXPECT_EQ(eight.Pixel(3, 1), 5u);
}

TEST(ConvertBitCount, TrueColourDepthsConvertInPlaceAndEmptyBuffersGrowToOnePixel) {
    TDIB dib = PatternPicture(5, 4, 2);
    const TColor corner = dib.PixelColor(4, 3);
    ConvertBitCount(dib, 32);
    EXPECT_EQ(dib.BitCount(), 32);
    EXPECT_EQ(dib.PixelColor(4, 3), corner);
    ConvertBitCount(dib, 24);
    EXPECT_EQ(dib.BitCount(), 24);
    EXPECT_EQ(dib.PixelColor(4, 3), corner);
    ConvertBitCount(dib, 16);
    EXPECT_EQ(dib.BitCount(), 16);
    EXPECT_EQ(dib.PixelFormat(), MakePixelFormat(5, 6, 5));

    TDIB empty;
    ConvertBitCount(empty, 24);
    EXPECT_EQ(empty.Width(), 1);
    EXPECT_EQ(empty.Height(), 1);
    EXPECT_EQ(empty.BitCount(), 24);
    ConvertBitCount(dib, 12);
    EXPECT_EQ(dib.BitCount(), 16) << "other targets change nothing";
}

TEST(PrepareForLibrary, TinyPicturesBecomeOnePixelAndOnlySomeKindsAreConverted) {
    TGameImages wil("x.wil", t_Wil);
    TGameImages wzl("x.wzl", t_Wzl);
    TLoadedPicture tiny;
    tiny.Source = std::make_unique<TDIB>(PatternPicture(2, 2, 3));
    tiny.Alpha = MakeLibraryBuffer(8, 2, 2);
    PrepareForLibrary(tiny, wzl);
    EXPECT_EQ(tiny.Source->Width(), 1);
    EXPECT_EQ(tiny.Source->Height(), 1);
    EXPECT_FALSE(tiny.Alpha);

    TLoadedPicture line;
    line.Source = std::make_unique<TDIB>(PatternPicture(5, 1, 4));
    PrepareForLibrary(line, wzl);
    EXPECT_EQ(line.Source->Width(), 5);
    EXPECT_EQ(line.Source->BitCount(), 24) << "WZL takes the picture as loaded";
    PrepareForLibrary(line, wil);
    EXPECT_EQ(line.Source->BitCount(), 8) << "WIL takes it at its own bit count";
    EXPECT_EQ(line.Source->Width(), 8);
}

// PNG and TGA pictures with alpha follow one rule: an alpha buffer, black under alpha 0. A TGA
// whose fourth bytes are all 0 is opaque.
TEST(LoadImportPicture, PngAndTgaAlphaGiveAnAlphaBufferAndClearTransparentPixels) {
    TCliTempDir dir;
    TDIB rgba = PatternPicture(6, 3, 5);
    rgba.SetBitCount(32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            rgba.SetPixel(x, y, (rgba.Pixel(x, y) & 0xFFFFFF) | uint32_t(x * 50) << 24);
    TDIB clear = PatternPicture(4, 4, 6);
    clear.SetBitCount(32);
    for (const char* ext : {".png", ".tga"}) {
        SCOPED_TRACE(ext);
        ASSERT_TRUE(SavePicture(dir / (std::string("a") + ext), rgba, PictureFormatOf(ext)));
        TLoadedPicture picture;
        std::string error;
        ASSERT_TRUE(LoadImportPicture(dir / (std::string("a") + ext), picture, error)) << error;
        ASSERT_TRUE(picture.Alpha);
        EXPECT_EQ(picture.Alpha->Width(), 6);
        EXPECT_EQ(picture.Alpha->BitCount(), 8);
        EXPECT_EQ(picture.Source->BitCount(), 24);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(picture.Alpha->Pixel(4, y), 200u);
            EXPECT_EQ(picture.Source->PixelColor(0, y), RGBColor(0, 0, 0)) << "alpha 0 clears";
            EXPECT_EQ(picture.Source->PixelColor(3, y), rgba.PixelColor(3, y));
        }

        ASSERT_TRUE(SavePicture(dir / (std::string("b") + ext), clear, PictureFormatOf(ext)));
        ASSERT_TRUE(LoadImportPicture(dir / (std::string("b") + ext), picture, error));
        EXPECT_FALSE(picture.Alpha) << "no alpha buffer without an alpha channel";
        EXPECT_EQ(picture.Source->PixelColor(1, 1), clear.PixelColor(1, 1));
    }
}

TEST(LoadImportPicture, UnreadableFilesAreRefusedWithAReason) {
    TCliTempDir dir;
    TLoadedPicture picture;
    std::string error;
    EXPECT_FALSE(LoadImportPicture(dir / "missing.bmp", picture, error));
    EXPECT_FALSE(error.empty());
    for (const char* name : {"bad.png", "bad.bmp", "bad.tga"}) {
        std::ofstream(dir / name, std::ios::binary) << "garbage that is no picture";
        error.clear();
        EXPECT_FALSE(LoadImportPicture(dir / name, picture, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
        EXPECT_FALSE(picture.Source) << name;
    }
    // A sound picture larger than the program takes says so, with its size and the limit.
    TDIB wide;
    wide.SetSize(20000, 2, 24);
    for (const char* name : {"wide.png", "wide.tga"}) {
        ASSERT_TRUE(SavePicture(dir / name, wide, PictureFormatOf(name))) << name;
        EXPECT_FALSE(LoadImportPicture(dir / name, picture, error)) << name;
        EXPECT_EQ(error, "20000 x 2 pixels is larger than a picture may be (16384 pixels a side, "
                         "67108864 pixels in all)")
            << name;
    }
}

class ImportPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateLibraryFile(t_Wil, Dir / "lib.wil", 24, "").Created);
        Library = cli_test::OpenForTest(Dir / "lib.wil");
        ASSERT_TRUE(Library);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(SavePicture(Dir / ("p" + std::to_string(i) + ".bmp"),
                                    PatternPicture(5 + i, 2, uint32_t(i)), ifBMP));
    }
    std::vector<int> Widths() {
        std::vector<int> widths;
        for (int i = 0; i < Library->ImageCount(); ++i) {
            int x = 0, y = 0;
            widths.push_back(Library->Get(i, x, y)->Width());
        }
        return widths;
    }
    TCliTempDir Dir;
    std::unique_ptr<TGameImages> Library;
};

TEST_F(ImportPictureTest, ModesActAtTheIndexAndRefusalsAreReported) {
    TImportPictureResult r = ImportPicture(*Library, Dir / "p0.bmp", 99, imAppend, {1, 2}, 0);
    EXPECT_TRUE(r.Imported) << "append ignores the index";
    EXPECT_EQ(r.Index, 0);
    ASSERT_TRUE(ImportPicture(*Library, Dir / "p1.bmp", 0, imAppend, {}, 0).Imported);
    r = ImportPicture(*Library, Dir / "p2.bmp", 1, imInsert, {3, 4}, 0);
    EXPECT_TRUE(r.Imported);
    EXPECT_EQ(Widths(), (std::vector<int>{5, 7, 6}));
    EXPECT_EQ(Library->GetPoint(1), (TPoint{3, 4}));
    r = ImportPicture(*Library, Dir / "p0.bmp", 2, imReplace, {}, 0);
    EXPECT_TRUE(r.Imported) << "the last image can be replaced";
    EXPECT_EQ(Widths(), (std::vector<int>{5, 7, 5}));

    r = ImportPicture(*Library, Dir / "p0.bmp", 3, imReplace, {}, 0);
    EXPECT_FALSE(r.Imported);
    EXPECT_TRUE(r.Loaded);
    EXPECT_NE(r.Error.find("does not exist"), std::string::npos) << r.Error;
    r = ImportPicture(*Library, Dir / "p0.bmp", 3, imInsert, {}, 0);
    EXPECT_FALSE(r.Imported);
    EXPECT_EQ(Library->ImageCount(), 3);
    r = ImportPicture(*Library, Dir / "nothing.png", 0, imAppend, {}, 0);
    EXPECT_FALSE(r.Loaded);
    EXPECT_EQ(Library->ImageCount(), 3);
}

} // namespace
} // namespace velmora
