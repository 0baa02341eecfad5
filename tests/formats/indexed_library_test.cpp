// New, empty WIL and WZL libraries: their exact bytes, and what creating over an old library does.
// Edits written in place: the same bytes as the full rewrite.

#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/palette.h"
#include "formats/wil.h"
#include "formats/wis.h"
#include "formats/wzl.h"
#include "support/core_support.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

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

// Two copies of one library take the same edits, each opened anew as the command line does: one
// written in place where it can be, the other always by the full rewrite.
class InPlaceSaves : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const std::string ext = GetParam() == 2 ? ".wzl" : ".wil";
        Fast = Dir / ("fast" + ext);
        Full = Dir / ("full" + ext);
        if (GetParam() == 1) {
            // The long layout, written by hand.
            std::vector<test::TWilTestRecord> records;
            for (int i = 0; i < 3; ++i) {
                auto dib = test::PatternDIB(6 + i, 5, 24, uint32_t(i));
                records.push_back({6 + i, 5, i, -i,
                                   std::vector<uint8_t>(dib->PBits(), dib->PBits() + dib->Size())});
            }
            test::WriteWilFiles(Fast, ".WIX", true, 16777216, records);
            // Written anew once, so that its index carries what this program writes there.
            auto library = Open(Fast, false);
            auto update = library->BeginUpdate(0);
            update.SetPoint(0, {0, 0});
            update.EndUpdate();
        } else {
            Open(Fast, true)->CreateFile(16, "");
            Edit([](TGameImages::TUpdate& u, int) {
                for (uint32_t i = 0; i < 3; ++i)
                    u.Add(*test::PatternDIB(7, 4 + int(i), 16, i), int(i), 1, 1, nullptr);
            });
        }
        for (const char* ext : {".wil", ".WIX", ".wzl", ".wzx"})
            if (FileExists(Dir / ("fast" + std::string(ext))))
                std::filesystem::copy_file(Dir / ("fast" + std::string(ext)),
                                           Dir / ("full" + std::string(ext)));
        FastData = Inode(Fast);
    }

    std::unique_ptr<TIndexedLibrary> Open(const std::string& path, bool inPlace) const {
        std::unique_ptr<TIndexedLibrary> library;
        if (GetParam() == 2)
            library = std::make_unique<TWzl>(path);
        else
            library = std::make_unique<TWil>(path);
        library->Initialize();
        library->SetInPlaceSaves(inPlace);
        return library;
    }
    static ino_t Inode(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    }
    // The edit on both copies; the image count goes in as the second argument.
    void Edit(const std::function<void(TGameImages::TUpdate&, int)>& edit) {
        for (const std::string* path : {&Fast, &Full}) {
            if (!FileExists(*path))
                continue;
            auto library = Open(*path, path == &Fast);
            ASSERT_TRUE(library->Initialized());
            auto update = library->BeginUpdate(0);
            edit(update, library->ImageCount());
            update.EndUpdate();
        }
    }
    std::vector<uint8_t> Files(const std::string& path) const {
        std::vector<uint8_t> bytes = test::FileBytes(path);
        const std::vector<uint8_t> index = test::FileBytes(Open(path, true)->IndexFileName());
        bytes.insert(bytes.end(), index.begin(), index.end());
        return bytes;
    }
    safety_test::TFingerprint Content(const std::string& path) const {
        return safety_test::Fingerprint(*Open(path, true));
    }

    test::TFormatsTempDir Dir;
    std::string Fast, Full;
    ino_t FastData = 0;
};

TEST_P(InPlaceSaves, WriteTheBytesOfTheFullRewrite) {
    const int bits = GetParam() == 1 ? 24 : 16;
    // Appends of pictures, a blank image and an empty one; then offsets changed with an append.
    Edit([&](TGameImages::TUpdate& u, int) {
        ASSERT_TRUE(u.Add(*test::PatternDIB(9, 3, bits, 7), -5, 6, 1, nullptr));
        ASSERT_TRUE(u.Add(*Open(Fast, true)->FillDIB(), 0, 0, 0, nullptr));
    });
    EXPECT_EQ(Files(Fast), Files(Full));
    Edit([&](TGameImages::TUpdate& u, int) {
        ASSERT_TRUE(u.SetPoint(1, {-300, 200}));
        ASSERT_TRUE(u.Add(*test::PatternDIB(5, 8, bits, 9), 1, 2, 1, nullptr));
    });
    EXPECT_EQ(Files(Fast), Files(Full));
    Edit([&](TGameImages::TUpdate& u, int) { ASSERT_TRUE(u.SetPoint(0, {12, -34})); });
    ASSERT_EQ(Files(Fast), Files(Full));
    EXPECT_EQ(Inode(Fast), FastData) << "the data file was written where it lies";
    EXPECT_EQ(Content(Fast).size(), 6u);

    // Emptied images are patched: the unused bytes stay until the next full rewrite, which an
    // append then takes, and after which both copies are the same again.
    Edit([](TGameImages::TUpdate& u, int) { ASSERT_TRUE(u.Fill(1, 2, nullptr)); });
    EXPECT_EQ(Inode(Fast), FastData);
    EXPECT_GT(test::FileLength(Fast), test::FileLength(Full));
    EXPECT_EQ(Content(Fast), Content(Full));
    Edit([&](TGameImages::TUpdate& u, int) {
        ASSERT_TRUE(u.Add(*test::PatternDIB(4, 4, bits, 10), 0, 0, 0, nullptr));
        ASSERT_TRUE(u.Add(*test::PatternDIB(2, 2, bits, 8), 3, 3, 0, nullptr));
    });
    EXPECT_EQ(Files(Fast), Files(Full));
    const safety_test::TFingerprint content = Content(Fast);
    ASSERT_EQ(content.size(), 8u);
    EXPECT_EQ(content[0].Point, (TPoint{12, -34}));
    EXPECT_EQ(content[1].Point, (TPoint{}));
}

// Readers of a snapshot taken before edits keep reading its payloads: blanking in place leaves
// them, appending writes past them, and a rewrite leaves the old file open for them.
TEST_P(InPlaceSaves, EarlierSnapshotsKeepTheirPayloads) {
    auto library = Open(Fast, true);
    const std::shared_ptr<const TRecordList> before = library->Records();
    std::vector<std::vector<uint8_t>> payloads;
    for (const TRecord& record : *before) {
        const TPayload payload(*record);
        payloads.emplace_back(payload.Bytes().begin(), payload.Bytes().end());
    }
    ASSERT_TRUE(library->Fill(0, 1, nullptr));
    EXPECT_EQ(Inode(Fast), FastData);
    auto update = library->BeginUpdate(0);
    ASSERT_TRUE(
        update.Add(*test::PatternDIB(4, 4, GetParam() == 1 ? 24 : 16, 3), 0, 0, 0, nullptr));
    update.EndUpdate();
    ASSERT_TRUE(library->Delete(2, 2, nullptr));
    EXPECT_NE(Inode(Fast), FastData);
    for (size_t i = 0; i < before->size(); ++i) {
        const TPayload payload(*(*before)[i]);
        EXPECT_TRUE(payload.Complete()) << i;
        EXPECT_EQ(std::vector<uint8_t>(payload.Bytes().begin(), payload.Bytes().end()), payloads[i])
            << i;
    }
}

INSTANTIATE_TEST_SUITE_P(ShortWilLongWilWzl, InPlaceSaves, ::testing::Values(0, 1, 2));

} // namespace
} // namespace velmora
