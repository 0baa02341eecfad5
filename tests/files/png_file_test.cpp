#include "files/picture_files.h"

#include "core/file_stream.h"
#include "support/files_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace velmora {
namespace {

using files_test::TTempFolder;

// The colour type byte of a PNG's header.
int ColorTypeOf(const std::vector<uint8_t>& png) {
    return png.size() > 25 ? png[25] : -1;
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift : {24, 16, 8, 0})
        out.push_back(uint8_t(v >> shift));
}

void AddChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBE32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBE32(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

// A PNG assembled by hand: any header, any (already compressed) image data.
std::vector<uint8_t> MakePng(uint32_t w, uint32_t h, uint8_t depth, uint8_t type,
                             const std::vector<uint8_t>& idat,
                             const std::vector<uint8_t>& extraChunkData = {},
                             const char* extraChunk = nullptr) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, w);
    PutBE32(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, type, 0, 0, 0});
    AddChunk(png, "IHDR", ihdr);
    if (extraChunk)
        AddChunk(png, extraChunk, extraChunkData);
    AddChunk(png, "IDAT", idat);
    AddChunk(png, "IEND", {});
    return png;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

TDIB MakeBitmap(int bits, bool alpha) {
    TDIB bitmap;
    if (bits == 16)
        bitmap.SetPixelFormat(MakePixelFormat(5, 6, 5));
    if (bits <= 8) {
        for (int i = 0; i < 256; ++i)
            bitmap.ColorTable()[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
        bitmap.UpdatePalette();
    }
    bitmap.SetSize(7, 5, bits);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            uint32_t v;
            if (bits <= 8)
                v = uint32_t(x + y * 7) % (1u << bits);
            else if (bits == 16)
                v = uint32_t(x * 0x0841 + y * 0x1000);
            else if (bits == 24)
                v = RGBColor(uint8_t(x * 30), uint8_t(y * 50), uint8_t(x * y));
            else
                v = (alpha ? uint32_t((x * 37 + y * 11) % 256) << 24 : 0) |
                    uint32_t(x * 0x0A0B0C + y);
            bitmap.SetPixel(x, y, v);
        }
    }
    return bitmap;
}

TEST(PngSave, ColourTypeFollowsTheBitmapAndColoursRoundTrip) {
    struct Case {
        int bits;
        bool alpha;
        int colorType;
        int loadedBits;
    } cases[] = {
        {1, false, 3, 8},
        {4, false, 3, 8},
        {8, false, 3, 8},
        {16, false, 2, 24},
        {24, false, 2, 24},
        {32, true, 6, 32},
        // A 32-bit bitmap whose top bytes are all 0 has no alpha: it must not come out
        // fully transparent.
        {32, false, 2, 24},
    };
    for (const Case& c : cases) {
        const TDIB bitmap = MakeBitmap(c.bits, c.alpha);
        const std::vector<uint8_t> png = SavePNGToMemory(bitmap, 9);
        ASSERT_FALSE(png.empty()) << c.bits;
        EXPECT_EQ(ColorTypeOf(png), c.colorType) << c.bits;
        TDIB loaded;
        ASSERT_TRUE(LoadPNGFromMemory(png, loaded)) << c.bits;
        ASSERT_EQ(loaded.BitCount(), c.loadedBits) << c.bits;
        ASSERT_EQ(loaded.Width(), 7);
        ASSERT_EQ(loaded.Height(), 5);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                EXPECT_EQ(loaded.PixelColor(x, y), bitmap.PixelColor(x, y))
                    << c.bits << " at " << x << "," << y;
                if (c.alpha) {
                    EXPECT_EQ(loaded.ScanLine(y)[x * 4 + 3], bitmap.ScanLine(y)[x * 4 + 3]);
                }
            }
        }
    }
}

TEST(PngPicture, EveryColourTypeRoundTripsWithItsAlphaAndPalette) {
    for (TPngColorType type : {pctGrey, pctRGB, pctPalette, pctGreyAlpha, pctRGBAlpha}) {
        TPngPicture picture;
        picture.SetSize(9, 4, type);
        if (type == pctPalette)
            for (int i = 0; i < 40; ++i)
                picture.Palette().push_back({uint8_t(i), uint8_t(i * 3), uint8_t(i * 5), 0});
        for (int y = 0; y < 4; ++y) {
            uint8_t* row = picture.Scanline(y);
            for (int i = 0; i < 9 * picture.Channels(); ++i)
                row[i] = uint8_t(type == pctPalette ? (i + y) % 40 : i * 23 + y * 61);
            if (uint8_t* alpha = picture.AlphaScanline(y))
                for (int x = 0; x < 9; ++x)
                    alpha[x] = uint8_t(x * 29 + y);
        }
        const std::vector<uint8_t> png = SavePngPictureToMemory(picture, 6);
        ASSERT_FALSE(png.empty()) << int(type);
        EXPECT_EQ(ColorTypeOf(png), int(type));
        const std::unique_ptr<TPngPicture> loaded = LoadPngPictureFromMemory(png);
        ASSERT_TRUE(loaded) << int(type);
        ASSERT_EQ(loaded->ColorType(), type);
        ASSERT_EQ(loaded->Width(), 9);
        ASSERT_EQ(loaded->Height(), 4);
        for (int y = 0; y < 4; ++y) {
            const std::vector<uint8_t> want(picture.Scanline(y),
                                            picture.Scanline(y) + 9 * picture.Channels());
            const std::vector<uint8_t> got(loaded->Scanline(y),
                                           loaded->Scanline(y) + 9 * loaded->Channels());
            EXPECT_EQ(got, want) << int(type) << " row " << y;
            if (picture.HasAlpha()) {
                EXPECT_EQ(
                    std::vector<uint8_t>(loaded->AlphaScanline(y), loaded->AlphaScanline(y) + 9),
                    std::vector<uint8_t>(picture.AlphaScanline(y), picture.AlphaScanline(y) + 9));
            }
        }
        if (type == pctPalette) {
            EXPECT_EQ(loaded->Palette(), picture.Palette());
        }
    }
}

TEST(PngLoad, GreyAlphaBecomesThirtyTwoBitsWithTheAlphaInTheTopByte) {
    TPngPicture picture;
    picture.SetSize(2, 1, pctGreyAlpha);
    picture.Scanline(0)[0] = 10;
    picture.Scanline(0)[1] = 200;
    picture.AlphaScanline(0)[0] = 0;
    picture.AlphaScanline(0)[1] = 77;
    TDIB bitmap;
    ASSERT_TRUE(LoadPNGFromMemory(SavePngPictureToMemory(picture, 9), bitmap));
    ASSERT_EQ(bitmap.BitCount(), 32);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0x000A0A0Au);
    EXPECT_EQ(bitmap.Pixel(1, 0), 0x4DC8C8C8u);
}

TEST(PngLoad, DamagedFilesFailCleanlyAndLeaveTheBitmapAlone) {
    const std::vector<uint8_t> good = SavePNGToMemory(MakeBitmap(32, true), 9);
    TDIB bitmap;
    bitmap.SetSize(1, 1, 24);
    bitmap.SetPixel(0, 0, 0xABCDEF);
    // Cut at every length up to the end of the image data: libpng jumps out of the middle of
    // decoding each time; under the sanitizers this also proves nothing leaks or is skipped.
    const size_t iend = 12;
    for (size_t n = 0; n + iend < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_FALSE(LoadPNGFromMemory(cut, bitmap)) << n;
        EXPECT_FALSE(LoadPngPictureFromMemory(cut)) << n;
    }
    // A file whose end chunk is missing still holds the whole picture.
    const std::vector<uint8_t> noEnd(good.begin(), good.end() - iend);
    TDIB complete;
    EXPECT_TRUE(LoadPNGFromMemory(noEnd, complete));

    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> file = good;
        file[8 + random() % (file.size() - 8)] ^= uint8_t(1 + random() % 255);
        LoadPNGFromMemory(file, bitmap);
        bitmap.SetSize(1, 1, 24);
        bitmap.SetPixel(0, 0, 0xABCDEF);
    }
    ASSERT_EQ(bitmap.Width(), 1);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0xABCDEFu);
}

TEST(PngLoad, RefusesOversizedPicturesBeforeDecoding) {
    const std::vector<uint8_t> row = Deflate(std::vector<uint8_t>(1 + 16 * 3, 0));
    TDIB bitmap;
    EXPECT_FALSE(LoadPNGFromMemory(MakePng(65535, 65535, 8, 2, row), bitmap));
    EXPECT_FALSE(LoadPNGFromMemory(MakePng(16385, 1, 8, 0, row), bitmap));
    EXPECT_FALSE(LoadPNGFromMemory(MakePng(1, 16385, 8, 0, row), bitmap));
    // Within the sides but above 256 MiB of pixels.
    EXPECT_FALSE(LoadPNGFromMemory(MakePng(16384, 4097, 1, 0, row), bitmap));
    EXPECT_FALSE(LoadPngPictureFromMemory(MakePng(16384, 16384, 8, 6, row)));
    EXPECT_TRUE(bitmap.Empty());
}

TEST(PngLoad, ImageDataThatInflatesToFarTooMuchIsCutAtThePicture) {
    // 4 x 4 grey needs 20 bytes of filtered rows; give it 50 MB of zeros in a few kilobytes.
    const std::vector<uint8_t> bomb = Deflate(std::vector<uint8_t>(50u << 20, 0));
    ASSERT_LT(bomb.size(), 100000u);
    TDIB bitmap;
    ASSERT_TRUE(LoadPNGFromMemory(MakePng(4, 4, 8, 0, bomb), bitmap));
    EXPECT_EQ(bitmap.Width(), 4);
    EXPECT_EQ(bitmap.PixelColor(3, 3), RGBColor(0, 0, 0));

    // A compressed text chunk that would inflate to 50 MB is not expanded into memory.
    std::vector<uint8_t> ztxt = {'k', 0, 0};
    ztxt.insert(ztxt.end(), bomb.begin(), bomb.end());
    const std::vector<uint8_t> rows = {0, 9, 9, 9, 9, 0, 9, 9, 9, 9, 0, 9, 9, 9, 9, 0, 9, 9, 9, 9};
    TDIB withText;
    ASSERT_TRUE(LoadPNGFromMemory(MakePng(4, 4, 8, 0, Deflate(rows), ztxt, "zTXt"), withText));
    EXPECT_EQ(withText.PixelColor(2, 2), RGBColor(9, 9, 9));
}

TEST(PngLoad, LowBitDepthsAndSixteenBitsKeepTheirColours) {
    // 1-bit grey: 0 and 1 are black and white.
    const std::vector<uint8_t> grey1 = Deflate({0, 0b10100000});
    TDIB bitmap;
    ASSERT_TRUE(LoadPNGFromMemory(MakePng(3, 1, 1, 0, grey1), bitmap));
    EXPECT_EQ(bitmap.PixelColor(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(bitmap.PixelColor(1, 0), RGBColor(0, 0, 0));
    EXPECT_EQ(bitmap.PixelColor(2, 0), RGBColor(255, 255, 255));

    // 2-bit palette: indices 3, 1, 2 through a four-entry palette.
    const std::vector<uint8_t> plte = {1, 2, 3, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, 3);
    PutBE32(ihdr, 1);
    ihdr.insert(ihdr.end(), {2, 3, 0, 0, 0});
    AddChunk(png, "IHDR", ihdr);
    AddChunk(png, "PLTE", plte);
    AddChunk(png, "IDAT", Deflate({0, 0b11011000}));
    AddChunk(png, "IEND", {});
    ASSERT_TRUE(LoadPNGFromMemory(png, bitmap));
    ASSERT_EQ(bitmap.BitCount(), 8);
    EXPECT_EQ(bitmap.PixelColor(0, 0), RGBColor(70, 80, 90));
    EXPECT_EQ(bitmap.PixelColor(1, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(bitmap.PixelColor(2, 0), RGBColor(40, 50, 60));

    // 16-bit RGBA: samples x * 257 become x.
    ASSERT_TRUE(LoadPNGFromMemory(
        MakePng(1, 1, 16, 6, Deflate({0, 0x0C, 0x0C, 0x80, 0x80, 0xFF, 0xFF, 0x01, 0x01})),
        bitmap));
    ASSERT_EQ(bitmap.BitCount(), 32);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0x010C80FFu);
}

TEST(PngFiles, OpenAndCreateFailuresRaiseWithThePath) {
    TTempFolder folder;
    TDIB bitmap;
    EXPECT_THROW(LoadPNG(folder.File("none.png"), bitmap), EFileError);
    EXPECT_THROW(LoadPngPicture(folder.File("none.png")), EFileError);
    const TDIB picture = MakeBitmap(24, false);
    try {
        SavePNG(folder.File("no/such/folder.png"), picture, 9);
        FAIL() << "no error raised";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("folder.png"), std::string::npos) << e.what();
    }
    // Not a PNG at all, and an empty bitmap: failures, not errors.
    files_test::WriteBytes(folder.File("text.png"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(LoadPNG(folder.File("text.png"), bitmap));
    EXPECT_FALSE(SavePNG(folder.File("empty.png"), TDIB(), 9));
}

} // namespace
} // namespace velmora
