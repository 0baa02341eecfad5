#include "files/picture_files.h"

#include "core/file_stream.h"
#include "support/files_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

namespace velmora {
namespace {

using files_test::TRgba;
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

// Pictures of every kind the writer takes, in sizes from 1 x 1 to 4097 wide and odd heights,
// with contents that make each row filter worth choosing, written at levels 0 to 12.
struct TWrittenPng {
    std::string Name;
    std::vector<uint8_t> File;
    TRgba Pixels;  // what any reader must see
    int ColorType; // what the header must say
};

uint8_t Sample(int kind, int x, int y, int c, int w, int h) {
    const uint32_t hash = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u) ^ uint32_t(c * 97);
    switch (kind % 5) {
    case 0: // noise
        return uint8_t(hash >> 7);
    case 1: // across
        return uint8_t(x * 3 + c * 40);
    case 2: // down: the same row again and again
        return uint8_t(((uint32_t(x) * 2654435761u) >> 9) + uint32_t(c * 50));
    case 3: // diagonal
        return uint8_t(x + 2 * y + c * 30);
    default: { // a sprite on black
        const int dx = 2 * x - w, dy = 2 * y - h;
        return dx * dx * h * h + dy * dy * w * w < w * w * h * h ? uint8_t(40 + x + c * 60)
                                                                 : uint8_t(0);
    }
    }
}

TRgba RgbaOfPicture(const TPngPicture& picture) {
    const int w = picture.Width(), h = picture.Height();
    TRgba p{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 4)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = picture.Scanline(y) + x * picture.Channels();
            uint8_t* d = p.At(x, y);
            if (picture.ColorType() == pctPalette) {
                const TRGBQuad q =
                    s[0] < picture.Palette().size() ? picture.Palette()[s[0]] : TRGBQuad{};
                d[0] = q.rgbRed, d[1] = q.rgbGreen, d[2] = q.rgbBlue;
            } else if (picture.Channels() == 1) {
                d[0] = d[1] = d[2] = s[0];
            } else {
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
            }
            d[3] = picture.HasAlpha() ? picture.AlphaScanline(y)[x] : 255;
        }
    return p;
}

std::vector<TWrittenPng> WrittenPngs() {
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 7},    {2, 3},   {3, 5},
                                         {17, 9}, {100, 33}, {255, 5}, {4097, 3}};
    const int levels[] = {9, 1, 0, 12, 6};
    const int paletteSizes[] = {2, 3, 16, 17, 200, 256};
    std::vector<TWrittenPng> out;
    int n = 0;
    for (auto [w, h] : sizes) {
        for (int bits : {1, 4, 8, 16, 24, 32}) {
            TDIB dib;
            if (bits == 16)
                dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
            if (bits <= 8) {
                for (int i = 0; i < 256; ++i)
                    dib.ColorTable()[size_t(i)] = {uint8_t(i * 5), uint8_t(i), uint8_t(255 - i), 0};
                dib.UpdatePalette();
            }
            dib.SetSize(w, h, bits);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t v = 0;
                    for (int c = 0; c < 4; ++c)
                        v |= uint32_t(Sample(n + c / 3, x, y, c, w, h)) << (8 * c);
                    if (bits <= 8)
                        v &= (1u << bits) - 1;
                    else if (bits == 16)
                        v &= 0xFFFF;
                    else if (bits == 32)
                        v |= 0x01000000; // alpha never all 0
                    dib.SetPixel(x, y, v);
                }
            const int level = levels[n++ % 5];
            out.push_back({std::to_string(w) + "x" + std::to_string(h) + " " +
                               std::to_string(bits) + " bits level " + std::to_string(level),
                           SavePNGToMemory(dib, level), files_test::RgbaOf(dib, bits == 32),
                           bits <= 8    ? 3
                           : bits == 32 ? 6
                                        : 2});
        }
        for (TPngColorType type : {pctGrey, pctGreyAlpha, pctPalette, pctRGB, pctRGBAlpha}) {
            TPngPicture picture;
            picture.SetSize(w, h, type);
            const int entries = paletteSizes[n % 6];
            if (type == pctPalette)
                for (int i = 0; i < entries; ++i)
                    picture.Palette().push_back({uint8_t(i), uint8_t(i * 3), uint8_t(i * 7), 0});
            for (int y = 0; y < h; ++y) {
                uint8_t* row = picture.Scanline(y);
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < picture.Channels(); ++c)
                        row[x * picture.Channels() + c] =
                            type == pctPalette ? uint8_t(Sample(n, x, y, c, w, h) % entries)
                                               : Sample(n, x, y, c, w, h);
                if (uint8_t* alpha = picture.AlphaScanline(y))
                    for (int x = 0; x < w; ++x)
                        alpha[x] = Sample(n + 1, x, y, 3, w, h);
            }
            const int level = levels[n++ % 5];
            out.push_back({std::to_string(w) + "x" + std::to_string(h) + " type " +
                               std::to_string(int(type)) + " level " + std::to_string(level),
                           SavePngPictureToMemory(picture, level), RgbaOfPicture(picture),
                           int(type)});
        }
    }
    return out;
}

// The filter type bytes of a PNG's rows (8 bits per sample or indices only).
std::vector<uint8_t> RowFilters(const std::vector<uint8_t>& png) {
    auto be32 = [&](size_t at) {
        return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 |
               png[at + 3];
    };
    const uint32_t w = be32(16), h = be32(20);
    const int depth = png[24], type = png[25];
    const int channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
    const size_t rowBytes = (size_t(w) * channels * depth + 7) / 8;
    std::vector<uint8_t> idat;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + be32(at))
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
            idat.insert(idat.end(), &png[at + 8], &png[at + 8] + be32(at));
    std::vector<uint8_t> rows((rowBytes + 1) * h);
    uLongf length = uLongf(rows.size());
    if (uncompress(rows.data(), &length, idat.data(), uLong(idat.size())) != Z_OK ||
        length != rows.size())
        return {};
    std::vector<uint8_t> filters;
    for (size_t y = 0; y < h; ++y)
        filters.push_back(rows[y * (rowBytes + 1)]);
    return filters;
}

TEST(PngSave, WrittenFilesReadBackThroughLibpngPixelForPixel) {
    std::set<uint8_t> filtersSeen;
    for (const TWrittenPng& png : WrittenPngs()) {
        ASSERT_FALSE(png.File.empty()) << png.Name;
        EXPECT_EQ(ColorTypeOf(png.File), png.ColorType) << png.Name;
        const std::vector<uint8_t> filters = RowFilters(png.File);
        ASSERT_EQ(filters.size(), size_t(png.Pixels.Height)) << png.Name << ": zlib inflates it";
        filtersSeen.insert(filters.begin(), filters.end());
        TRgba got;
        if (const auto picture = LoadPngPictureFromMemory(png.File))
            got = RgbaOfPicture(*picture);
        EXPECT_EQ(got.Width, png.Pixels.Width) << png.Name;
        EXPECT_EQ(got.Height, png.Pixels.Height) << png.Name;
        EXPECT_TRUE(got.Pixels == png.Pixels.Pixels) << png.Name;
    }
    EXPECT_EQ(filtersSeen, (std::set<uint8_t>{0, 1, 2, 3, 4})) << "every filter was read back";
}

TEST(PngSave, WrittenFilesReadBackThroughPillowPixelForPixel) {
    // Debian's python3 with its Pillow package; a python3 found first on PATH may lack it.
    const char* python = "/usr/bin/python3";
    if (std::system((std::string(python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "Pillow is not installed for " << python;
    TTempFolder folder;
    const std::vector<TWrittenPng> pngs = WrittenPngs();
    std::string names;
    for (size_t i = 0; i < pngs.size(); ++i) {
        files_test::WriteBytes(folder.File(std::to_string(i) + ".png"), pngs[i].File);
        files_test::WriteBytes(folder.File(std::to_string(i) + ".rgba"), pngs[i].Pixels.Pixels);
        names += " " + std::to_string(i);
    }
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "for n in sys.argv[2:]:\n"
        "    im = Image.open(sys.argv[1] + n + '.png')\n"
        "    if im.convert('RGBA').tobytes() != open(sys.argv[1] + n + '.rgba', 'rb').read():\n"
        "        print(n)\n";
    files_test::WriteBytes(folder.File("check.py"),
                           std::vector<uint8_t>(script.begin(), script.end()));
    const std::string command = std::string(python) + " " +
                                files_test::Quote(folder.File("check.py")) + " " +
                                files_test::Quote(folder.Path()) + names + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    std::string differing;
    for (size_t at = 0; at < output.size();) {
        const size_t end = output.find('\n', at);
        const std::string line = output.substr(at, end - at);
        if (!line.empty() && std::all_of(line.begin(), line.end(), ::isdigit))
            differing += "\n  " + pngs[std::stoul(line)].Name;
        at = end == std::string::npos ? output.size() : end + 1;
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(differing.empty()) << "Pillow reads other pixels from:" << differing;
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
