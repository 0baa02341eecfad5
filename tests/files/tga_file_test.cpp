#include "files/picture_files.h"

#include "support/files_support.h"

#include <gtest/gtest.h>

#include <random>

namespace velmora {
namespace {

using files_test::TTempFolder;

std::vector<uint8_t> Pixels3(std::initializer_list<uint32_t> colours) {
    std::vector<uint8_t> out;
    for (uint32_t c : colours) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
        out.push_back(uint8_t(c >> 16));
    }
    return out;
}

std::vector<uint8_t> Header(uint8_t type, int w, int h, int bits, uint8_t descriptor,
                            uint8_t idLength = 0) {
    std::vector<uint8_t> out(18, 0);
    out[0] = idLength;
    out[2] = type;
    out[12] = uint8_t(w);
    out[13] = uint8_t(w >> 8);
    out[14] = uint8_t(h);
    out[15] = uint8_t(h >> 8);
    out[16] = uint8_t(bits);
    out[17] = descriptor;
    return out;
}

TEST(TgaPackets, EncodesRunsAndRawPacketsAsTheFormatPrescribes) {
    const uint32_t A = 0x112233, B = 0x445566, C = 0x778899, D = 0xAABBCC, E = 0xDDEEFF;

    // A A A B: a run of 3, then the lone B as a raw packet of 1.
    std::vector<uint8_t> expected = {0x82, 0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44};
    EXPECT_EQ(EncodeTGAPackets(Pixels3({A, A, A, B}), 3), expected);

    // 200 equal pixels: runs of 128 and 72.
    std::vector<uint8_t> same;
    for (int i = 0; i < 200; ++i)
        same.insert(same.end(), {1, 2, 3});
    expected = {0xFF, 1, 2, 3, 0xC7, 1, 2, 3};
    EXPECT_EQ(EncodeTGAPackets(same, 3), expected);

    // A B C D E: a raw packet of 4 leaves the last pixel to a raw packet of 1.
    const std::vector<uint8_t> five = Pixels3({A, B, C, D, E});
    expected = {0x03};
    expected.insert(expected.end(), five.begin(), five.begin() + 12);
    expected.push_back(0x00);
    expected.insert(expected.end(), five.begin() + 12, five.end());
    EXPECT_EQ(EncodeTGAPackets(five, 3), expected);

    // A raw stretch stops where three equal pixels begin: A B C C C.
    expected = {0x01, 0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x82, 0x99, 0x88, 0x77};
    EXPECT_EQ(EncodeTGAPackets(Pixels3({A, B, C, C, C}), 3), expected);
}

TEST(TgaPackets, DecodeInvertsEncodeOnRandomPixelsWithRuns) {
    std::mt19937 random(7);
    for (int bytesPerPixel : {3, 4}) {
        for (int round = 0; round < 200; ++round) {
            const int count = 1 + int(random() % 700);
            std::vector<uint8_t> pixels;
            while (int(pixels.size()) < count * bytesPerPixel) {
                // Few distinct values and long repeats exercise both packet kinds and the limits.
                const uint8_t v = uint8_t(random() % 3);
                const int repeat = random() % 4 == 0 ? 1 + int(random() % 300) : 1;
                for (int r = 0; r < repeat && int(pixels.size()) < count * bytesPerPixel; ++r)
                    for (int k = 0; k < bytesPerPixel; ++k)
                        pixels.push_back(uint8_t(v + k));
            }
            const std::vector<uint8_t> packets = EncodeTGAPackets(pixels, bytesPerPixel);
            std::vector<uint8_t> decoded(pixels.size());
            size_t pos = 0;
            ASSERT_TRUE(DecodeTGAPackets(packets, pos, decoded, bytesPerPixel));
            EXPECT_EQ(pos, packets.size());
            ASSERT_EQ(decoded, pixels) << "round " << round;
        }
    }
}

TEST(TgaPackets, DecoderRefusesPacketsThatOverrunDataOrPicture) {
    std::vector<uint8_t> out(4 * 3);
    size_t pos = 0;
    // A run of 5 into a picture of 4 pixels.
    const std::vector<uint8_t> longRun = {0x84, 1, 2, 3};
    EXPECT_FALSE(DecodeTGAPackets(longRun, pos, out, 3));
    // A raw packet announcing 4 pixels with 2 present.
    pos = 0;
    const std::vector<uint8_t> shortRaw = {0x03, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(DecodeTGAPackets(shortRaw, pos, out, 3));
    // A run whose pixel is cut off.
    pos = 0;
    const std::vector<uint8_t> cutRun = {0x83, 1, 2};
    EXPECT_FALSE(DecodeTGAPackets(cutRun, pos, out, 3));
    // Packets ending before the picture is complete.
    pos = 0;
    const std::vector<uint8_t> tooFew = {0x81, 1, 2, 3};
    EXPECT_FALSE(DecodeTGAPackets(tooFew, pos, out, 3));
}

TEST(TgaLoad, RowOrderAndMirroringFollowTheDescriptor) {
    // 2 x 2 pixels stored as rows P Q and R S.
    const uint32_t P = 0x010203, Q = 0x040506, R = 0x070809, S = 0x0A0B0C;
    const std::vector<uint8_t> data = Pixels3({P, Q, R, S});
    struct Case {
        uint8_t descriptor;
        int bitCount;
        uint32_t topLeft, topRight, bottomLeft, bottomRight;
    } cases[] = {
        {0x00, 32, R, S, P, Q}, // bottom row first: the last stored row is row 0
        {0x20, 24, P, Q, R, S}, // top first, left to right: the only case that stays 24 bits
        {0x10, 32, S, R, Q, P}, // bottom first, right to left
        {0x30, 32, Q, P, S, R}, // top first, right to left
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = Header(2, 2, 2, 24, c.descriptor);
        file.insert(file.end(), data.begin(), data.end());
        TDIB bitmap;
        ASSERT_TRUE(LoadTGAFromMemory(file, bitmap)) << int(c.descriptor);
        ASSERT_EQ(bitmap.BitCount(), c.bitCount);
        auto at = [&](int x, int y) {
            const uint8_t* p = bitmap.ScanLine(y) + x * (c.bitCount / 8);
            if (c.bitCount == 32) {
                EXPECT_EQ(p[3], 0);
            }
            return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        };
        EXPECT_EQ(at(0, 0), c.topLeft) << int(c.descriptor);
        EXPECT_EQ(at(1, 0), c.topRight) << int(c.descriptor);
        EXPECT_EQ(at(0, 1), c.bottomLeft) << int(c.descriptor);
        EXPECT_EQ(at(1, 1), c.bottomRight) << int(c.descriptor);
    }
}

TEST(TgaLoad, SkipsTheImageIdAndIgnoresTrailingBytes) {
    std::vector<uint8_t> file = Header(10, 3, 1, 32, 0x28, 5);
    file.insert(file.end(), {9, 9, 9, 9, 9});
    file.insert(file.end(), {0x82, 10, 20, 30, 40});
    file.insert(file.end(), 26, 0xEE); // a footer
    TDIB bitmap;
    ASSERT_TRUE(LoadTGAFromMemory(file, bitmap));
    ASSERT_EQ(bitmap.BitCount(), 32);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(bitmap.Pixel(x, 0), 0x281E140Au);
}

TEST(TgaLoad, RefusesDamagedAndHostileFilesLeavingTheBitmapAlone) {
    TDIB bitmap;
    bitmap.SetSize(3, 3, 24);
    bitmap.SetPixel(1, 1, 0x123456);
    const TDIB before = bitmap;

    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    auto withPixels = [](std::vector<uint8_t> header, size_t bytes) {
        header.resize(header.size() + bytes, 0x55);
        return header;
    };
    files.push_back({"shorter than a header", std::vector<uint8_t>(17, 0)});
    files.push_back({"colour-mapped", withPixels(Header(1, 2, 2, 24, 0), 12)});
    for (uint8_t type : {0, 3, 9, 11})
        files.push_back(
            {"type " + std::to_string(type), withPixels(Header(type, 2, 2, 24, 0), 12)});
    for (int bits : {8, 15, 16, 31})
        files.push_back({"bits " + std::to_string(bits), withPixels(Header(2, 2, 2, bits, 0), 16)});
    std::vector<uint8_t> colourMap = withPixels(Header(2, 2, 2, 24, 0), 12);
    colourMap[1] = 1;
    files.push_back({"colour map present", colourMap});
    files.push_back({"raw data one byte short", withPixels(Header(2, 2, 2, 24, 0), 11)});
    files.push_back({"image id past the end", withPixels(Header(2, 1, 1, 24, 0, 200), 3)});
    files.push_back({"no pixels", Header(2, 0, 5, 24, 0)});
    files.push_back({"65535 x 65535 raw", withPixels(Header(2, 65535, 65535, 32, 0), 64)});
    // A few hundred bytes of runs could stand for a gigabyte; refused before decoding.
    std::vector<uint8_t> bomb = Header(10, 65535, 65535, 32, 0);
    for (int i = 0; i < 100; ++i)
        bomb.insert(bomb.end(), {0xFF, 1, 2, 3, 4});
    files.push_back({"65535 x 65535 runs", bomb});
    files.push_back({"16385 wide", withPixels(Header(2, 16385, 1, 24, 0), 16385 * 3)});
    // 16384 x 8192 stays within the sides but needs 512 MiB.
    std::vector<uint8_t> tooMuch = Header(10, 16384, 8192, 32, 0);
    for (int i = 0; i < 16384 * 8192 / 128; ++i)
        tooMuch.insert(tooMuch.end(), {0xFF, 0, 0, 0, 0});
    files.push_back({"512 MiB of pixels", tooMuch});
    std::vector<uint8_t> overrun = Header(10, 2, 2, 24, 0);
    overrun.insert(overrun.end(), {0x81, 1, 1, 1, 0x82, 2, 2, 2});
    files.push_back({"run past the last pixel", overrun});
    std::vector<uint8_t> shortPackets = Header(10, 4, 1, 24, 0);
    shortPackets.insert(shortPackets.end(), {0x81, 1, 1, 1, 0x01, 2, 2, 2});
    files.push_back({"packets end early", shortPackets});

    for (const auto& [what, file] : files) {
        EXPECT_FALSE(LoadTGAFromMemory(file, bitmap)) << what;
        EXPECT_EQ(bitmap.Width(), 3) << what;
        EXPECT_EQ(bitmap.BitCount(), 24) << what;
        EXPECT_EQ(bitmap.Pixel(1, 1), before.Pixel(1, 1)) << what;
    }
}

TEST(TgaLoad, RandomDamageNeverCrashes) {
    TDIB source;
    source.SetSize(23, 9, 32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x)
            source.SetPixel(x, y, (x / 5) * 0x01010101u + (y > 4 ? 0x80000000u : 0));
    const std::vector<uint8_t> good = SaveTGAToMemory(source, tfRunLength);
    ASSERT_FALSE(good.empty());
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> file = good;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e)
            file[random() % file.size()] = uint8_t(random());
        if (random() % 3 == 0)
            file.resize(random() % file.size());
        TDIB bitmap;
        if (LoadTGAFromMemory(file, bitmap)) {
            EXPECT_GT(bitmap.Width(), 0);
            EXPECT_GT(bitmap.Height(), 0);
        } else {
            EXPECT_TRUE(bitmap.Empty());
        }
    }
}

TEST(TgaSave, WritesRunLengthBottomFirstAndLoadsBackTheSamePixels) {
    TTempFolder folder;
    TDIB bitmap;
    bitmap.SetSize(130, 3, 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 130; ++x)
            bitmap.SetPixel(x, y, x < 100 ? 0x80FF0000u + y : uint32_t(x) * 0x01030507u);
    const std::string name = folder.File("a.tga");
    ASSERT_TRUE(SavePicture(name, bitmap, ifAuto));
    const std::vector<uint8_t> file = files_test::ReadBytes(name);
    ASSERT_GE(file.size(), 18u);
    EXPECT_EQ(file[2], 10);
    EXPECT_EQ(file[16], 32);
    EXPECT_EQ(file[17], 0);

    TDIB loaded;
    ASSERT_TRUE(LoadPicture(name, loaded, ifAuto));
    ASSERT_EQ(loaded.BitCount(), 32);
    ASSERT_EQ(loaded.Width(), 130);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 130; ++x)
            ASSERT_EQ(loaded.Pixel(x, y), bitmap.Pixel(x, y)) << x << "," << y;
}

TEST(TgaSave, FlagsSetTheDescriptorAndTheGatheringOrder) {
    TDIB bitmap;
    bitmap.SetSize(2, 2, 24);
    bitmap.SetPixel(0, 0, 0x000001);
    bitmap.SetPixel(1, 0, 0x000002);
    bitmap.SetPixel(0, 1, 0x000003);
    bitmap.SetPixel(1, 1, 0x000004);
    struct Case {
        int flags;
        uint8_t descriptor;
        uint8_t first; // red byte of the first pixel written
    } cases[] = {{0, 0x00, 3},
                 {tfTopFirst, 0x20, 1},
                 {tfRightToLeft, 0x10, 4},
                 {tfTopFirst | tfRightToLeft, 0x30, 2}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = SaveTGAToMemory(bitmap, c.flags);
        ASSERT_EQ(file.size(), 18u + 12u);
        EXPECT_EQ(file[2], 2);
        EXPECT_EQ(file[17], c.descriptor);
        EXPECT_EQ(file[18 + 2], c.first);
        TDIB loaded;
        ASSERT_TRUE(LoadTGAFromMemory(file, loaded));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(loaded.PixelColor(x, y), bitmap.PixelColor(x, y)) << c.flags;
    }
}

TEST(TgaSave, ThirtyTwoBitsWithoutAlphaAreWrittenAsTwentyFour) {
    TDIB bitmap;
    bitmap.SetSize(3, 2, 32);
    bitmap.SetPixel(2, 1, 0x00ABCDEF);
    const std::vector<uint8_t> file = SaveTGAToMemory(bitmap, tfRunLength);
    ASSERT_GE(file.size(), 18u);
    EXPECT_EQ(file[16], 24);
    TDIB loaded;
    ASSERT_TRUE(LoadTGAFromMemory(file, loaded));
    ASSERT_EQ(loaded.BitCount(), 32);
    EXPECT_EQ(loaded.Pixel(2, 1), 0x00ABCDEFu);
    EXPECT_FALSE(loaded.HasAlphaChannel());
}

TEST(TgaSave, RefusesPaletteAndSixteenBitBitmaps) {
    TTempFolder folder;
    for (int bits : {1, 4, 8, 16}) {
        TDIB bitmap;
        if (bits == 16)
            bitmap.SetPixelFormat(MakePixelFormat(5, 6, 5));
        bitmap.SetSize(4, 4, bits);
        const std::string name = folder.File("x" + std::to_string(bits) + ".tga");
        EXPECT_FALSE(SaveTGA(name, bitmap, tfRunLength)) << bits;
        EXPECT_TRUE(files_test::ReadBytes(name).empty()) << bits;
    }
    TDIB bitmap;
    bitmap.SetSize(2, 2, 24);
    EXPECT_FALSE(SaveTGA(folder.File("missing/x.tga"), bitmap, tfRunLength));
    TDIB missing;
    EXPECT_FALSE(LoadTGA(folder.File("none.tga"), missing));
}

} // namespace
} // namespace velmora
