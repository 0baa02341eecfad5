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

TEST(Zlib, RoundTrip) {
    for (size_t n : {size_t(0), size_t(1), size_t(1000), size_t(300000)}) {
        std::vector<uint8_t> in = Sample(n);
        std::vector<uint8_t> z = ZCompress(in);
        ASSERT_GE(z.size(), 2u);
        EXPECT_EQ(z[0] & 0x0F, 8); // deflate in a zlib wrapper
        EXPECT_EQ(ZDecompress(z, n), in);
        EXPECT_EQ(ZDecompress(z, n + 100), in);
    }
}

TEST(Zlib, MatchesZlibsOwnDefaultLevel) {
    std::vector<uint8_t> in = Sample(5000);
    uLongf len = compressBound(uLong(in.size()));
    std::vector<uint8_t> ref(len);
    ASSERT_EQ(compress2(ref.data(), &len, in.data(), uLong(in.size()), Z_DEFAULT_COMPRESSION),
              Z_OK);
    ref.resize(len);
    EXPECT_EQ(ZCompress(in), ref);
    EXPECT_NE(ZCompress(in, 1), ref);
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

} // namespace
} // namespace velmora
