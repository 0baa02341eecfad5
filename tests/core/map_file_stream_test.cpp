#include "core/map_file_stream.h"

#include "support/core_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

using core_test::TCoreTempDir;
using core_test::WriteFileBytes;

TEST(MapFileStream, StartsEmpty) {
    TMapFileStream m;
    EXPECT_EQ(m.Memory(), nullptr);
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_FALSE(m.Initialized());
}

TEST(MapFileStream, MissingFileFails) {
    TCoreTempDir dir;
    TMapFileStream m;
    EXPECT_FALSE(m.LoadFromFile(dir.File("missing")));
    EXPECT_EQ(m.Memory(), nullptr);
    EXPECT_FALSE(m.Initialized());
    EXPECT_EQ(m.FileName(), dir.File("missing"));
}

TEST(MapFileStream, EmptyFileAndFolderFail) {
    TCoreTempDir dir;
    WriteFileBytes(dir.File("empty"), {});
    TMapFileStream m;
    EXPECT_FALSE(m.LoadFromFile(dir.File("empty")));
    EXPECT_EQ(m.Memory(), nullptr);
    EXPECT_FALSE(m.LoadFromFile(dir.Path()));
    EXPECT_EQ(m.Memory(), nullptr);
}

TEST(MapFileStream, MapsTheWholeFile) {
    TCoreTempDir dir;
    std::vector<uint8_t> bytes(100000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 31);
    WriteFileBytes(dir.File("a"), bytes);
    TMapFileStream m;
    ASSERT_TRUE(m.LoadFromFile(dir.File("a")));
    EXPECT_TRUE(m.Initialized());
    ASSERT_EQ(m.Size(), int64_t(bytes.size()));
    EXPECT_EQ(std::memcmp(m.Memory(), bytes.data(), bytes.size()), 0);
}

TEST(MapFileStream, SecondLoadReleasesTheFirst) {
    TCoreTempDir dir;
    WriteFileBytes(dir.File("a"), {1, 2, 3});
    WriteFileBytes(dir.File("b"), {4, 5});
    TMapFileStream m;
    ASSERT_TRUE(m.LoadFromFile(dir.File("a")));
    m.SetPosition(2);
    ASSERT_TRUE(m.LoadFromFile(dir.File("b")));
    EXPECT_EQ(m.Size(), 2);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(m.Memory()[0], 4);
    EXPECT_EQ(m.FileName(), dir.File("b"));
    EXPECT_FALSE(m.LoadFromFile(dir.File("missing")));
    EXPECT_EQ(m.Memory(), nullptr);
    EXPECT_EQ(m.Size(), 0);
    EXPECT_FALSE(m.Initialized());
}

TEST(MapFileStream, PositionBeyondSizeIsIgnored) {
    TCoreTempDir dir;
    WriteFileBytes(dir.File("a"), {1, 2, 3});
    TMapFileStream m;
    ASSERT_TRUE(m.LoadFromFile(dir.File("a")));
    m.SetPosition(3);
    EXPECT_EQ(m.Position(), 3);
    m.SetPosition(4);
    EXPECT_EQ(m.Position(), 3);
    m.SetSize(100);
    EXPECT_EQ(m.Size(), 3);
}

TEST(MapFileStream, ManyMappingsDoNotLeak) {
    TCoreTempDir dir;
    WriteFileBytes(dir.File("a"), std::vector<uint8_t>(4096, 7));
    TMapFileStream m;
    // More than the usual open-file limit: every load must close what the last one opened.
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(m.LoadFromFile(dir.File("a"))) << i;
}

} // namespace
} // namespace velmora
