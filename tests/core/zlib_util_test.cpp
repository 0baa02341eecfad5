#include "core/zlib_util.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace velmora {
namespace {

std::vector<uint8_t> Sample(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t((i * i) >> 3);
    return v;
}

// zlib's own inflate, as game clients run it.
std::vector<uint8_t> ZlibInflate(const std::vector<uint8_t>& z, size_t size) {
    std::vector<uint8_t> out(size + 1);
    uLongf length = uLongf(out.size());
    if (uncompress(out.data(), &length, z.data(), uLong(z.size())) != Z_OK)
        return {0xDE, 0xAD};
    out.resize(length);
    return out;
}

TEST(Zlib, StreamsOfEveryLevelInflateThroughZlibAndBack) {
    for (size_t n : {size_t(0), size_t(1), size_t(1000), size_t(300000)}) {
        const std::vector<uint8_t> in = Sample(n);
        for (int level = 0; level <= kZlibMaxLevel; ++level) {
            const std::vector<uint8_t> z = ZCompress(in, level);
            EXPECT_EQ(ZlibInflate(z, n), in) << n << " bytes at level " << level;
            EXPECT_EQ(ZDecompress(z, n), in) << n << " bytes at level " << level;
            EXPECT_EQ(ZDecompress(z, n + 100), in) << n << " bytes at level " << level;
        }
        // The default level is zlib's default, and the header says so as zlib's does.
        const std::vector<uint8_t> z = ZCompress(in);
        ASSERT_GE(z.size(), 2u);
        EXPECT_EQ(z[0], 0x78);
        EXPECT_EQ(z[1], 0x9C);
    }
}

TEST(Zlib, OutputIsCutAtTheBound) {
    std::vector<uint8_t> in = Sample(100000);
    std::vector<uint8_t> z = ZCompress(in);
    std::vector<uint8_t> out = ZDecompress(z, 1234);
    ASSERT_EQ(out.size(), 1234u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
    EXPECT_TRUE(ZDecompress(z, 0).empty());
}

TEST(Zlib, BombStaysWithinTheBound) {
    std::vector<uint8_t> zeros(50u << 20, 0);
    std::vector<uint8_t> z = ZCompress(zeros);
    EXPECT_LT(z.size(), 100000u);
    std::vector<uint8_t> out = ZDecompress(z, 4096);
    EXPECT_EQ(out.size(), 4096u);
    EXPECT_LE(out.capacity(), 4096u * 2);
}

TEST(Zlib, DamagedAndTruncatedStreamsRaise) {
    std::vector<uint8_t> z = ZCompress(Sample(10000));
    for (size_t n : {size_t(0), size_t(1), size_t(2), z.size() / 2, z.size() - 1}) {
        std::vector<uint8_t> cut(z.begin(), z.begin() + long(n));
        EXPECT_THROW(ZDecompress(cut, 10000), EDecompressionError) << n;
    }
    std::vector<uint8_t> bad = z;
    bad[0] = 0x12; // not deflate
    EXPECT_THROW(ZDecompress(bad, 10000), EDecompressionError);
    bad = z;
    bad[bad.size() - 1] ^= 0xFF; // checksum
    EXPECT_THROW(ZDecompress(bad, 10000), EDecompressionError);
}

TEST(InflateInto, FillsBothTargetsAndRejectsDamage) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i % 17);
    const std::vector<uint8_t> z = ZCompress(data);

    std::vector<uint8_t> a(600), b(400);
    EXPECT_EQ(InflateInto(z, a, b), 1000);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), data.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), data.begin() + 600));

    // Shorter output than the targets, and longer data than the targets hold (cut there).
    std::vector<uint8_t> big(1500, 0xAA);
    EXPECT_EQ(InflateInto(z, big), 1000);
    EXPECT_EQ(big[1000], 0xAA);
    std::vector<uint8_t> tiny(10), tinier(5);
    EXPECT_EQ(InflateInto(z, tiny), 10);
    EXPECT_EQ(InflateInto(z, tiny, tinier), 15);
    EXPECT_TRUE(std::equal(tinier.begin(), tinier.end(), data.begin() + 10));

    std::vector<uint8_t> damaged = z;
    damaged[damaged.size() / 2] ^= 0x55;
    damaged[2] ^= 0xFF;
    std::vector<uint8_t> out(1000);
    EXPECT_EQ(InflateInto(damaged, out), -1);
    EXPECT_EQ(InflateInto(std::span<const uint8_t>(z).first(z.size() / 2), out), -1);
    EXPECT_EQ(InflateInto({}, out), -1);
    std::vector<uint8_t> badSum = z;
    badSum.back() ^= 0x01;
    EXPECT_EQ(InflateInto(badSum, out), -1);
    EXPECT_EQ(InflateInto(badSum, a, b), -1);
}

} // namespace
} // namespace velmora
