// New, empty WIL and WZL libraries: their exact bytes, and what creating over an old library does.

#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/palette.h"
#include "formats/wil.h"
#include "formats/wis.h"
#include "formats/wzl.h"
#include "support/core_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

using core_test::ReadFileBytes;
using core_test::TCoreTempDir;

TEST(CreateFile, WilIs1080PlusAn56ByteIndex) {
    TCoreTempDir dir;
    for (int bits : {8, 16, 24, 32, 12}) {
        std::string name = dir.File("new" + std::to_string(bits) + ".wil");
        TWil lib(name);
        ASSERT_TRUE(lib.CreateFile(uint8_t(bits), "ignored"));
        std::vector<uint8_t> data = ReadFileBytes(name);
        std::vector<uint8_t> index = ReadFileBytes(dir.File("new" + std::to_string(bits) + ".WIX"));
        ASSERT_EQ(data.size(), 1080u);
        ASSERT_EQ(index.size(), 56u);
        EXPECT_EQ(data[0], 25);
        EXPECT_EQ(std::string(data.begin() + 1, data.begin() + 26), "WEMADE Entertainment inc.");
        for (int i = 26; i < 44; ++i)
            EXPECT_EQ(data[size_t(i)], 0) << i;
        EXPECT_EQ(GetU32(&data[44]), 0u);
        const uint32_t colours = bits == 8    ? 256u
                                 : bits == 16 ? 65536u
                                 : bits == 24 ? 16777216u
                                 : bits == 32 ? 0xFFFFFFFFu
                                              : 0u;
        EXPECT_EQ(GetU32(&data[48]), colours) << bits;
        EXPECT_EQ(GetU32(&data[52]), 1080u);
        EXPECT_EQ(std::memcmp(&data[56], DefaultPalette.data(), 1024), 0);
        EXPECT_EQ(std::memcmp(index.data(), data.data(), 26), 0);
        for (size_t i = 26; i < 56; ++i)
            EXPECT_EQ(index[i], 0) << i;
    }
}

TEST(CreateFile, WzlIs64PlusA48ByteIndex) {
    TCoreTempDir dir;
    std::string name = dir.File("new.wzl");
    TWzl lib(name);
    ASSERT_TRUE(lib.CreateFile(8, ""));
    std::vector<uint8_t> data = ReadFileBytes(name);
    std::vector<uint8_t> index = ReadFileBytes(dir.File("new.wzx"));
    ASSERT_EQ(data.size(), 64u);
    ASSERT_EQ(index.size(), 48u);
    for (const auto* b : {&data, &index}) {
        EXPECT_EQ(std::string(b->begin(), b->begin() + 19), "www.velmora.example");
        EXPECT_EQ((*b)[19], 'e'); // the last character of the length-prefixed copy
        for (size_t i = 20; i < b->size(); ++i)
            EXPECT_EQ((*b)[i], 0) << i;
    }
}

TEST(CreateFile, OverwritesAndShortensAnExistingLibrary) {
    TCoreTempDir dir;
    std::string name = dir.File("old.wzl");
    core_test::WriteFileBytes(name, std::vector<uint8_t>(5000, 0xAA));
    core_test::WriteFileBytes(dir.File("old.WZX"), std::vector<uint8_t>(300, 0xAA));
    TWzl lib(name);
    ASSERT_TRUE(lib.CreateFile(8, ""));
    EXPECT_EQ(ReadFileBytes(name).size(), 64u);
    EXPECT_EQ(ReadFileBytes(dir.File("old.WZX")).size(), 48u); // the existing index, any case
}

TEST(CreateFile, WisAndOthersWriteNothing) {
    TCoreTempDir dir;
    std::string name = dir.File("new.wis");
    TWis lib(name);
    EXPECT_FALSE(lib.CreateFile(8, ""));
    EXPECT_FALSE(FileExists(name));
    // The base class creates nothing of any kind.
    TGameImages base(dir.File("new.wil"), t_Wil);
    EXPECT_FALSE(base.CreateFile(8, ""));
    EXPECT_FALSE(FileExists(dir.File("new.wil")));
}

TEST(CreateFile, UnwritableFolderRaises) {
    TWil lib("/nonexistent-folder/x.wil");
    EXPECT_THROW(lib.CreateFile(8, ""), EFileError);
}

} // namespace
} // namespace velmora
