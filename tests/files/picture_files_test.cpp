// Pictures made by another program (ImageMagick) load with the pixels that program was given, and
// pictures saved here open there with the same pixels, alpha included.

#include "files/picture_files.h"

#include "core/checked.h"
#include "support/files_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace velmora {
namespace {

using files_test::Quote;
using files_test::RawInput;
using files_test::RunConvert;
using files_test::TRgba;
using files_test::TTempFolder;

#define REQUIRE_IMAGEMAGICK()                                                                      \
    if (!files_test::HaveImageMagick())                                                            \
    GTEST_SKIP() << "ImageMagick's convert is not installed"

// Compares colours (and alpha when asked) pixel by pixel; reports the first difference.
::testing::AssertionResult SamePixels(const TRgba& want, const TRgba& got, bool alpha) {
    if (want.Width != got.Width || want.Height != got.Height)
        return ::testing::AssertionFailure() << "size " << got.Width << "x" << got.Height
                                             << ", expected " << want.Width << "x" << want.Height;
    for (int y = 0; y < want.Height; ++y) {
        for (int x = 0; x < want.Width; ++x) {
            const uint8_t* a = want.At(x, y);
            const uint8_t* b = got.At(x, y);
            if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2] || (alpha && a[3] != b[3]))
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": got " << int(b[0]) << " " << int(b[1])
                       << " " << int(b[2]) << " " << int(b[3]) << ", expected " << int(a[0]) << " "
                       << int(a[1]) << " " << int(a[2]) << " " << int(a[3]);
        }
    }
    return ::testing::AssertionSuccess();
}

TRgba Opaque(TRgba p) {
    for (size_t i = 3; i < p.Pixels.size(); i += 4)
        p.Pixels[i] = 255;
    return p;
}

class PictureFilesFromImageMagick : public ::testing::Test {
protected:
    TTempFolder folder;
    // Runs convert on the pattern; the written file's path. `coder` forces an output variant
    // such as "BMP2:".
    std::string Make(const TRgba& pattern, const std::string& options, const std::string& name,
                     const std::string& coder = "") {
        const std::string out = folder.File(name);
        const std::string input = RawInput(pattern, folder.File(name + ".raw"));
        EXPECT_TRUE(RunConvert(input + " " + options + " " + Quote(coder + out))) << options;
        return out;
    }
};

TEST_F(PictureFilesFromImageMagick, TgaTypesDepthsAndAllFourOrigins) {
    REQUIRE_IMAGEMAGICK();
    const TRgba pattern = files_test::MakePattern(131, 5, 0, true);
    // Long equal stretches so that the run-length files hold runs as well as raw packets.
    TRgba runs = pattern;
    for (int y = 0; y < runs.Height; ++y)
        for (int x = 10; x < 120; ++x)
            std::copy_n(runs.At(3, y), 4, runs.At(x, y));
    struct Origin {
        const char* orient;
        bool rightToLeft, topFirst;
    } origins[] = {{"BottomLeft", false, false},
                   {"TopLeft", false, true},
                   {"BottomRight", true, false},
                   {"TopRight", true, true}};
    for (const TRgba* source : {&pattern, static_cast<const TRgba*>(&runs)}) {
        for (const char* compress : {"None", "RLE"}) {
            for (bool alpha : {false, true}) {
                for (const Origin& o : origins) {
                    const std::string what =
                        std::string(compress) + (alpha ? " 32 " : " 24 ") + o.orient;
                    const std::string file =
                        Make(*source,
                             std::string("-orient ") + o.orient + " -compress " + compress +
                                 (alpha ? " -type TrueColorAlpha" : " -alpha off -type TrueColor"),
                             "t.tga");
                    const std::vector<uint8_t> bytes = files_test::ReadBytes(file);
                    ASSERT_GE(bytes.size(), 18u) << what;
                    ASSERT_EQ(bytes[2], std::string(compress) == "RLE" ? 10 : 2) << what;
                    ASSERT_EQ(bytes[16], alpha ? 32 : 24) << what;
                    ASSERT_EQ((bytes[17] & 0x30) >> 4, int(o.rightToLeft) + 2 * int(o.topFirst))
                        << what;
                    // The other program stores its pixels in file order and sets the origin
                    // bits, so the picture a viewer shows is the pattern turned accordingly.
                    TRgba want = *source;
                    for (int y = 0; y < want.Height; ++y)
                        for (int x = 0; x < want.Width; ++x)
                            std::copy_n(source->At(o.rightToLeft ? want.Width - 1 - x : x,
                                                   o.topFirst ? y : want.Height - 1 - y),
                                        4, want.At(x, y));
                    TDIB bitmap;
                    ASSERT_TRUE(LoadPicture(file, bitmap, ifAuto)) << what;
                    EXPECT_EQ(bitmap.BitCount(), alpha || o.rightToLeft || !o.topFirst ? 32 : 24)
                        << what;
                    EXPECT_TRUE(SamePixels(alpha ? want : Opaque(want),
                                           files_test::RgbaOf(bitmap, alpha), alpha))
                        << what;
                }
            }
        }
    }
}

TEST_F(PictureFilesFromImageMagick, PngColourTypesAndDepths) {
    REQUIRE_IMAGEMAGICK();
    const TRgba full = files_test::MakePattern(37, 11, 0, true);
    const TRgba sixteen = files_test::MakePattern(37, 11, 16, false);
    const TRgba two = files_test::MakePattern(37, 11, 2, false);
    TRgba grey = full;
    for (size_t i = 0; i < grey.Pixels.size(); i += 4)
        grey.Pixels[i + 1] = grey.Pixels[i + 2] = grey.Pixels[i];
    struct Case {
        const char* what;
        const TRgba* source;
        std::string options;
        int depth, colorType;
        std::string coder = "";
    } cases[] = {
        {"grey", &grey, "-alpha off -define png:color-type=0 -define png:bit-depth=8", 8, 0},
        {"grey alpha", &grey, "-define png:color-type=4 -define png:bit-depth=8", 8, 4},
        {"palette 1", &two, "-alpha off -colors 2 -define png:bit-depth=1", 1, 3, "PNG8:"},
        {"palette 4", &sixteen, "-alpha off -define png:bit-depth=4", 4, 3, "PNG8:"},
        {"palette 8", &sixteen, "-alpha off -define png:bit-depth=8 -define png:color-type=3", 8,
         3},
        {"rgb", &full, "-alpha off -define png:color-type=2", 8, 2},
        {"rgba", &full, "-define png:color-type=6", 8, 6},
        {"rgb 16", &full, "-alpha off -depth 16 -define png:bit-depth=16 -define png:color-type=2",
         16, 2},
        {"rgba 16", &full, "-depth 16 -define png:bit-depth=16 -define png:color-type=6", 16, 6},
        {"rgba interlaced", &full, "-interlace PNG -define png:color-type=6", 8, 6},
    };
    for (const Case& c : cases) {
        const std::string file = Make(*c.source, c.options, "p.png", c.coder);
        const std::vector<uint8_t> bytes = files_test::ReadBytes(file);
        ASSERT_GT(bytes.size(), 26u) << c.what;
        ASSERT_EQ(bytes[24], c.depth) << c.what;
        ASSERT_EQ(bytes[25], c.colorType) << c.what;
        const bool alpha = c.colorType == 4 || c.colorType == 6;
        const TRgba want = alpha ? *c.source : Opaque(*c.source);

        TDIB bitmap;
        ASSERT_TRUE(LoadPicture(file, bitmap, ifPNG)) << c.what;
        EXPECT_EQ(bitmap.BitCount(), alpha ? 32 : c.colorType == 3 ? 8 : 24) << c.what;
        EXPECT_TRUE(SamePixels(want, files_test::RgbaOf(bitmap, alpha), alpha)) << c.what;

        const std::unique_ptr<TPngPicture> picture = LoadPngPicture(file);
        ASSERT_TRUE(picture) << c.what;
        EXPECT_EQ(int(picture->ColorType()), c.colorType) << c.what;
        const std::unique_ptr<TDIB> converted = picture->ToDIBWithAlpha();
        ASSERT_TRUE(converted) << c.what;
        EXPECT_TRUE(SamePixels(want, files_test::RgbaOf(*converted, alpha), alpha)) << c.what;
    }
}

// Rebuilds a BMP with a 124-byte header as one with the 40-byte header followed by the masks
// (headerSize 40) or with the 56-byte header that holds them (headerSize 56).
std::vector<uint8_t> ShortenBitFieldHeader(const std::vector<uint8_t>& v5, uint32_t headerSize) {
    const uint32_t oldHeader = GetU32(&v5[14]);
    const uint32_t pixels = GetU32(&v5[10]);
    const uint32_t keep = headerSize == 40 ? 52 : 56;
    std::vector<uint8_t> out(v5.begin(), v5.begin() + 14 + keep);
    PutU32(&out[14], headerSize);
    out.insert(out.end(), v5.begin() + pixels, v5.end());
    PutU32(&out[10], 14 + keep);
    PutU32(&out[2], uint32_t(out.size()));
    EXPECT_EQ(oldHeader, 124u);
    return out;
}

// Turns a bottom-up uncompressed BMP into the same picture stored top-down (negative height).
std::vector<uint8_t> TopDown(const std::vector<uint8_t>& bmp) {
    const uint32_t offset = GetU32(&bmp[10]);
    const int32_t w = GetI32(&bmp[18]);
    const int32_t h = GetI32(&bmp[22]);
    const int bits = GetU16(&bmp[28]);
    const size_t stride = RowBytes(w, bits);
    std::vector<uint8_t> out(bmp.begin(), bmp.begin() + offset);
    for (int32_t r = h - 1; r >= 0; --r)
        out.insert(out.end(), bmp.begin() + offset + r * stride,
                   bmp.begin() + offset + (r + 1) * stride);
    PutI32(&out[22], -h);
    return out;
}

TEST_F(PictureFilesFromImageMagick, BmpHeadersCompressionAndRowOrder) {
    REQUIRE_IMAGEMAGICK();
    // Rows of 29 pixels need padding at every depth; the palette picture is 28 wide.
    const TRgba full = Opaque(files_test::MakePattern(29, 7, 0, false));
    const TRgba sixteen = files_test::MakePattern(28, 7, 16, false);
    struct Case {
        std::string what;
        std::vector<uint8_t> bytes;
        const TRgba* want;
        uint32_t header, compression;
    };
    std::vector<Case> cases;
    auto made = [&](const TRgba& source, const std::string& options, const std::string& coder,
                    const std::string& name) {
        return files_test::ReadBytes(Make(source, options, name, coder));
    };
    cases.push_back({"core header", made(full, "-alpha off", "BMP2:", "core.bmp"), &full, 12, 0});
    cases.push_back({"info header", made(full, "-alpha off -type TrueColor", "BMP3:", "info.bmp"),
                     &full, 40, 0});
    cases.push_back({"rle8",
                     made(sixteen, "-alpha off -type Palette -compress RLE", "BMP3:", "rle8.bmp"),
                     &sixteen, 40, 1});
    // How 8-bit colours are cut to 5-6-5 is the writer's choice; what the pixels are is what
    // the writer reads back from its own file.
    const std::string v5File =
        Make(full, "-alpha off -define bmp:subtype=RGB565", "565.bmp", "BMP:");
    const std::optional<TRgba> wide = files_test::ReadWithImageMagick(v5File);
    ASSERT_TRUE(wide);
    const std::vector<uint8_t> v5 = files_test::ReadBytes(v5File);
    cases.push_back({"bit fields after the header", ShortenBitFieldHeader(v5, 40), &*wide, 40, 3});
    cases.push_back(
        {"bit fields in a 56-byte header", ShortenBitFieldHeader(v5, 56), &*wide, 56, 3});
    cases.push_back({"top-down", TopDown(cases[1].bytes), &full, 40, 0});

    for (const Case& c : cases) {
        ASSERT_GT(c.bytes.size(), 54u) << c.what;
        ASSERT_EQ(GetU32(&c.bytes[14]), c.header) << c.what;
        if (c.header != 12) {
            ASSERT_EQ(GetU32(&c.bytes[30]), c.compression) << c.what;
        }
        const std::string file = folder.File("case.bmp");
        files_test::WriteBytes(file, c.bytes);
        TDIB bitmap;
        ASSERT_TRUE(LoadPicture(file, bitmap, ifAuto)) << c.what;
        EXPECT_TRUE(SamePixels(*c.want, files_test::RgbaOf(bitmap, false), false)) << c.what;
    }
}

TEST(PictureFiles, Rle4BitmapWithRunsAndAbsoluteStretches) {
    // A 7 x 2 picture in 4-bit RLE with four colours, written out by hand: the bottom row
    // "0 1 0 1 2 3 1" as a repeated pair and an absolute stretch of three, the top row as one run.
    std::vector<uint8_t> bmp(14 + 40 + 16, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    PutU32(&bmp[10], 14 + 40 + 16);
    PutU32(&bmp[14], 40);
    PutI32(&bmp[18], 7);
    PutI32(&bmp[22], 2);
    PutU16(&bmp[26], 1);
    PutU16(&bmp[28], 4);
    PutU32(&bmp[30], 2);
    PutU32(&bmp[46], 4);
    const uint8_t table[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {9, 99, 199}};
    for (int i = 0; i < 4; ++i)
        std::copy_n(table[i], 3, &bmp[54 + i * 4]);
    const std::vector<uint8_t> data = {4, 0x01, 0, 3, 0x23, 0x10, 0, 0, 7, 0x33, 0, 1};
    bmp.insert(bmp.end(), data.begin(), data.end());
    PutU32(&bmp[34], uint32_t(data.size()));
    PutU32(&bmp[2], uint32_t(bmp.size()));
    TTempFolder folder;
    files_test::WriteBytes(folder.File("rle4.bmp"), bmp);
    TDIB bitmap;
    ASSERT_TRUE(LoadPicture(folder.File("rle4.bmp"), bitmap, ifBMP));
    ASSERT_EQ(bitmap.Width(), 7);
    const int bottom[7] = {0, 1, 0, 1, 2, 3, 1};
    for (int x = 0; x < 7; ++x) {
        const uint8_t* c = table[bottom[x]];
        EXPECT_EQ(bitmap.PixelColor(x, 1), RGBColor(c[2], c[1], c[0])) << x;
        EXPECT_EQ(bitmap.PixelColor(x, 0), RGBColor(199, 99, 9)) << x;
    }
    // ImageMagick agrees about the picture, when it is there to ask.
    if (files_test::HaveImageMagick()) {
        const auto theirs = files_test::ReadWithImageMagick(folder.File("rle4.bmp"));
        ASSERT_TRUE(theirs);
        EXPECT_TRUE(SamePixels(*theirs, files_test::RgbaOf(bitmap, false), false));
    }
}

TEST_F(PictureFilesFromImageMagick, SavedPicturesOpenThereWithTheSamePixels) {
    REQUIRE_IMAGEMAGICK();
    const TRgba withAlpha = files_test::MakePattern(33, 9, 0, true);
    // Fully transparent pixels keep their colours: alpha is straight, not premultiplied.
    TRgba clear = withAlpha;
    for (int x = 0; x < 33; ++x)
        clear.At(x, 4)[3] = 0;
    TDIB palette;
    for (int i = 0; i < 256; ++i)
        palette.ColorTable()[size_t(i)] = {uint8_t(i * 3), uint8_t(i), uint8_t(255 - i), 0};
    palette.UpdatePalette();
    palette.SetSize(33, 9, 8);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 33; ++x)
            palette.SetPixel(x, y, uint32_t(x * 9 + y) % 256);
    TDIB highColour;
    highColour.SetPixelFormat(MakePixelFormat(5, 6, 5));
    highColour.SetSize(33, 9, 16);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 33; ++x)
            highColour.SetPixel(x, y, uint32_t(x * 1987 + y * 31) & 0xFFFF);

    struct Case {
        std::string what;
        TDIB bitmap;
        bool alpha;
    } cases[] = {
        {"8-bit palette", palette, false},
        {"16-bit", highColour, false},
        {"24-bit", files_test::DIBOf(withAlpha, 24), false},
        {"32-bit alpha", files_test::DIBOf(clear, 32), true},
        {"32-bit without alpha", files_test::DIBOf(Opaque(withAlpha), 24), false},
    };
    cases[4].bitmap.SetBitCount(32);
    ASSERT_FALSE(cases[4].bitmap.HasAlphaChannel());

    for (const Case& c : cases) {
        for (TImageFormat format : {ifPNG, ifBMP, ifTGA}) {
            const char* ext = format == ifPNG ? "png" : format == ifBMP ? "bmp" : "tga";
            const std::string what = c.what + " as " + ext;
            const std::string file = folder.File(std::string("out.") + ext);
            std::filesystem::remove(file);
            TDIB source = c.bitmap;
            if (format == ifTGA && source.BitCount() < 24)
                source.SetBitCount(24); // as the export commands do before writing a TGA
            ASSERT_TRUE(SavePicture(file, source, ifAuto)) << what;
            const std::vector<uint8_t> bytes = files_test::ReadBytes(file);
            if (format == ifTGA) {
                ASSERT_GE(bytes.size(), 18u);
                EXPECT_EQ(bytes[2], 10) << what;
                EXPECT_EQ(bytes[17], 0) << what;
            }
            if (format == ifPNG) {
                EXPECT_EQ(bytes[25], c.alpha ? 6 : c.bitmap.BitCount() <= 8 ? 3 : 2) << what;
            }
            const auto theirs = files_test::ReadWithImageMagick(file);
            ASSERT_TRUE(theirs) << what;
            // A BMP carries no alpha here; PNG and TGA must keep it.
            const bool alpha = c.alpha && format != ifBMP;
            TRgba ours = files_test::RgbaOf(c.bitmap, alpha);
            EXPECT_TRUE(SamePixels(ours, *theirs, true)) << what;
        }
    }
}

TEST(PictureFiles, FormatByExtensionIgnoresCase) {
    for (const char* name : {"x.TGA", "x.Tga", "a/b/x.tga"})
        EXPECT_EQ(PictureFormatOf(name), ifTGA) << name;
    for (const char* name : {"x.png", "x.PNG", "x.bmp.Png"})
        EXPECT_EQ(PictureFormatOf(name), ifPNG) << name;
    for (const char* name : {"x.jpg", "x", "x.bmp", "dir.png/x", "x.tga.bak"})
        EXPECT_EQ(PictureFormatOf(name), ifBMP) << name;
}

TEST(PictureFiles, UnknownFormatsAndUnreadableFilesFail) {
    TTempFolder folder;
    TDIB bitmap;
    bitmap.SetSize(2, 2, 24);
    EXPECT_FALSE(SavePicture(folder.File("x.png"), bitmap, TImageFormat(7)));
    EXPECT_FALSE(LoadPicture(folder.File("x.png"), bitmap, TImageFormat(7)));
    files_test::WriteBytes(folder.File("junk.bmp"), {'B', 'M', 1, 2, 3});
    EXPECT_FALSE(LoadPicture(folder.File("junk.bmp"), bitmap, ifAuto));
    EXPECT_FALSE(LoadPicture(folder.File("missing.bmp"), bitmap, ifAuto));
    EXPECT_FALSE(LoadPicture(folder.File("missing.tga"), bitmap, ifAuto));
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_FALSE(SavePicture(folder.File("empty.bmp"), TDIB(), ifBMP));

    // The size a header gives, to tell a picture too large from a damaged one.
    bitmap.SetSize(7, 5, 24);
    for (const char* name : {"s.png", "s.bmp", "s.tga"}) {
        ASSERT_TRUE(SavePicture(folder.File(name), bitmap, ifAuto)) << name;
        EXPECT_EQ(PictureFileSize(folder.File(name)), (std::pair<int64_t, int64_t>(7, 5))) << name;
    }
    EXPECT_FALSE(PictureFileSize(folder.File("junk.bmp")));
    EXPECT_FALSE(PictureFileSize(folder.File("missing.png")));
    EXPECT_EQ(PictureTooLargeText(16384, 4096), "");
    EXPECT_NE(PictureTooLargeText(16385, 1), "");
    EXPECT_NE(PictureTooLargeText(16384, 16384), "") << "more pixels than a picture may have";
}

TEST(PictureFiles, FindPictureFilesListsOnlyPictureFilesOfTheFolder) {
    TTempFolder folder;
    for (const char* name : {"a.bmp", "B.PNG", "c.Tga", ".hidden.png", "d.jpg", "e", "f.png.txt"})
        files_test::WriteBytes(folder.File(name), {1});
    std::filesystem::create_directory(folder.File("sub.png"));
    files_test::WriteBytes(folder.File("sub.png/inner.png"), {1});

    std::vector<std::string> list = {"kept"};
    int messages = 0;
    EXPECT_TRUE(FindPictureFiles(folder.Path(), list, [&] { ++messages; }));
    std::sort(list.begin() + 1, list.end());
    const std::vector<std::string> expected = {"kept", folder.File(".hidden.png"),
                                               folder.File("B.PNG"), folder.File("a.bmp"),
                                               folder.File("c.Tga")};
    EXPECT_EQ(list, expected);
    EXPECT_EQ(messages, 8);

    // Without a trailing separator the names are still joined properly.
    std::vector<std::string> again;
    const std::string bare = folder.Path().substr(0, folder.Path().size() - 1);
    EXPECT_TRUE(FindPictureFiles(bare, again));
    EXPECT_EQ(again.size(), 4u);
    for (const std::string& path : again)
        EXPECT_EQ(path.rfind(folder.Path(), 0), 0u) << path;

    std::vector<std::string> none;
    EXPECT_TRUE(FindPictureFiles(folder.File("missing/"), none));
    EXPECT_TRUE(none.empty());
}

} // namespace
} // namespace velmora
