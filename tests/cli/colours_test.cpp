// Colours and alpha of imported pictures whose layout is not the library's: a 16-bit BMP in the
// default 5-5-5 layout, a palette PNG with colours of its own, and a PNG with alpha in a 32-bit
// WIL. Imported and exported through the real binary.

#include "support/cli_support.h"

#include "core/file_stream.h"
#include "files/picture_files.h"

#include <gtest/gtest.h>

namespace velmora::cli_test {
namespace {

// Colours that every library depth holds exactly: each component is a 5-bit value widened, and
// green also a 6-bit one.
const TColor kColours[] = {RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255),
                           RGBColor(255, 255, 255), RGBColor(132, 255, 66)};
const TColor kPaletteColours[] = {RGBColor(255, 130, 66), RGBColor(66, 255, 132),
                                  RGBColor(132, 65, 255)};
constexpr int kWidth = 5, kHeight = 2;

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    PutU16(b, at, v);
    PutU16(b, at + 2, v >> 16);
}

// A 16-bit BMP without masks (BI_RGB), which means 5-5-5; pixel x of each row is kColours[x].
std::vector<uint8_t> Bmp555() {
    const size_t rowBytes = (kWidth * 2 + 3) / 4 * 4, pixels = 54;
    std::vector<uint8_t> b(pixels + rowBytes * kHeight, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, uint32_t(b.size()));
    PutU32(b, 10, uint32_t(pixels));
    PutU32(b, 14, 40);
    PutU32(b, 18, kWidth);
    PutU32(b, 22, kHeight);
    PutU16(b, 26, 1);
    PutU16(b, 28, 16);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const TColor c = kColours[x];
            PutU16(b, pixels + size_t(y) * rowBytes + size_t(x) * 2,
                   uint32_t(RedOf(c) >> 3) << 10 | uint32_t(GreenOf(c) >> 3) << 5 |
                       uint32_t(BlueOf(c) >> 3));
        }
    return b;
}

// An 8-bit picture on a palette of kPaletteColours; pixel (x, y) has colour (x + y) mod 3.
TDIB PalettePicture() {
    TDIB dib;
    dib.ColorTable().fill(TRGBQuad{});
    for (int i = 0; i < 3; ++i)
        dib.ColorTable()[size_t(i)] = TRGBQuad{
            BlueOf(kPaletteColours[i]), GreenOf(kPaletteColours[i]), RedOf(kPaletteColours[i]), 0};
    dib.UpdatePalette();
    dib.SetSize(kWidth, kHeight, 8);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            dib.SetPixel(x, y, uint32_t((x + y) % 3));
    return dib;
}

struct TColourCase {
    const char* Name;
    std::vector<std::string> CreateArgs;
    const char* Ext;
};

std::ostream& operator<<(std::ostream& os, const TColourCase& c) {
    return os << c.Name;
}

class CliColours : public ::testing::TestWithParam<TColourCase> {};

TEST_P(CliColours, PicturesOfOtherLayoutsKeepTheirColours) {
    const TColourCase& c = GetParam();
    TCliTempDir dir;
    const std::string lib = dir / (std::string("a.") + c.Ext);
    std::vector<std::string> create{"create", lib};
    create.insert(create.end(), c.CreateArgs.begin(), c.CreateArgs.end());
    ASSERT_EQ(RunCli(create, dir.Path()).Exit, 0);
    TFileStream(dir / "p0.bmp", TFileStream::fmCreate).Write(Bmp555());
    ASSERT_TRUE(SavePicture(dir / "p1.png", PalettePicture(), ifPNG));
    TCliRun run = RunCli({"import", lib, dir / "p0.bmp", dir / "p1.png"}, dir.Path());
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunCli({"export", lib, dir / "out", "--format", "png"}, dir.Path());
    ASSERT_EQ(run.Exit, 0) << run.Err;

    TDIB bmp, palette;
    ASSERT_TRUE(LoadPicture(dir / "out/00000.PNG", bmp, ifPNG));
    ASSERT_TRUE(LoadPicture(dir / "out/00001.PNG", palette, ifPNG));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            EXPECT_EQ(bmp.PixelColor(x, y), kColours[x]) << c << ": BMP pixel " << x;
            EXPECT_EQ(palette.PixelColor(x, y), kPaletteColours[(x + y) % 3])
                << c << ": palette pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfMoreThanEightBits, CliColours,
                         ::testing::Values(TColourCase{"WIL 16", {"--wil", "--bits", "16"}, "wil"},
                                           TColourCase{"WIL 24", {"--wil", "--bits", "24"}, "wil"},
                                           TColourCase{"WIL 32", {"--wil", "--bits", "32"}, "wil"},
                                           TColourCase{"WZL", {"--wzl"}, "wzl"},
                                           TColourCase{"Pak", {"--pak"}, "pak"}));

TEST(CliAlpha, APngWithAlphaKeepsItInA32BitWil) {
    TCliTempDir dir;
    const std::string lib = dir / "a.wil";
    ASSERT_EQ(RunCli({"create", lib, "--wil", "--bits", "32"}, dir.Path()).Exit, 0);
    TDIB rgba = PatternPicture(6, 4, 7);
    rgba.SetBitCount(32);
    for (int y = 0; y < rgba.Height(); ++y)
        for (int x = 0; x < rgba.Width(); ++x)
            rgba.SetPixel(x, y, (rgba.Pixel(x, y) & 0xFFFFFF) | uint32_t(20 + x * 40 + y) << 24);
    ASSERT_TRUE(SavePicture(dir / "a.png", rgba, ifPNG));
    ASSERT_EQ(RunCli({"import", lib, dir / "a.png"}, dir.Path()).Exit, 0);
    ASSERT_EQ(RunCli({"export", lib, dir / "out", "--format", "png"}, dir.Path()).Exit, 0);
    TDIB back;
    ASSERT_TRUE(LoadPicture(dir / "out/00000.PNG", back, ifPNG));
    ASSERT_EQ(back.BitCount(), 32);
    for (int y = 0; y < rgba.Height(); ++y)
        for (int x = 0; x < rgba.Width(); ++x)
            EXPECT_EQ(back.Pixel(x, y), rgba.Pixel(x, y)) << x << "," << y;
}

} // namespace
} // namespace velmora::cli_test
