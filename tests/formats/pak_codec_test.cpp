#include "formats/pak_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

std::vector<uint8_t> Pixels16(std::initializer_list<uint16_t> values) {
    std::vector<uint8_t> out;
    for (uint16_t v : values) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    return out;
}

TEST(PakRunLength, PacketsOfARow) {
    // A A A B C C: a run of 3, a literal of 1 (B) and a run of 2.
    const uint16_t A = 0x1111, B = 0x2222, C = 0x3333;
    std::vector<uint8_t> out;
    const std::vector<uint8_t> row = Pixels16({A, A, A, B, C, C});
    PackRunLengthRow(row.data(), 6, 2, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x82, 0x11, 0x11, 0x00, 0x22, 0x22, 0x81, 0x33, 0x33}));

    // Distinct pixels: a literal of n - 1 and a literal of 1.
    out.clear();
    const std::vector<uint8_t> distinct = {1, 2, 3, 4, 5};
    PackRunLengthRow(distinct.data(), 5, 1, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x03, 1, 2, 3, 4, 0x00, 5}));

    // A single pixel; pixels compare as whole values, not bytes.
    out.clear();
    const std::vector<uint8_t> one = {9, 9, 9};
    PackRunLengthRow(one.data(), 1, 3, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 9, 9, 9}));
    out.clear();
    const std::vector<uint8_t> halves = Pixels16({0x0101, 0x0102});
    PackRunLengthRow(halves.data(), 2, 2, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x01, 0x01, 0x00, 0x02, 0x01}));
}

TEST(PakRunLength, LongRowsSplitIntoPacketsOf128) {
    std::vector<uint8_t> row(300, 7);
    std::vector<uint8_t> out;
    PackRunLengthRow(row.data(), 300, 1, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 7, 0xFF, 7, 0x80 + 43, 7}));

    std::vector<uint8_t> ramp(200);
    for (int i = 0; i < 200; ++i)
        ramp[size_t(i)] = uint8_t(i);
    out.clear();
    PackRunLengthRow(ramp.data(), 200, 1, out);
    ASSERT_EQ(out.size(), 1 + 128 + 1 + 71 + 1 + 1u);
    EXPECT_EQ(out[0], 127);
    EXPECT_EQ(out[129], 70);
    EXPECT_EQ(out[201], 0);
}

TEST(PakRunLength, RoundTripsRowByRowAndStopsAtTheEnd) {
    const int width = 37, height = 9, bytes = 3;
    std::vector<uint8_t> pixels(size_t(width * height * bytes));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t((i / 7) % 5 == 0 ? 0 : i * 13);
    const std::vector<uint8_t> packed = PackRunLength(pixels.data(), width, height, bytes);
    std::vector<uint8_t> back(pixels.size());
    EXPECT_EQ(UnpackRunLength(packed, back, bytes), back.size());
    EXPECT_EQ(back, pixels);

    // Packets that overrun the picture are cut; a truncated packet ends the data.
    std::vector<uint8_t> small(5, 0xEE);
    const std::vector<uint8_t> hostile = {0xFF, 1, 0x7F, 2, 3};
    EXPECT_EQ(UnpackRunLength(hostile, std::span<uint8_t>(small).first(4), 1), 4u);
    EXPECT_EQ(small, (std::vector<uint8_t>{1, 1, 1, 1, 0xEE}));
    std::vector<uint8_t> target(10, 0);
    const std::vector<uint8_t> cut = {0x01, 5, 6, 7, 9, 0x03, 8};
    EXPECT_EQ(UnpackRunLength(cut, target, 2), 5u);
    EXPECT_EQ(UnpackRunLength(std::vector<uint8_t>{0x85}, target, 2), 0u);
}

} // namespace
} // namespace velmora
