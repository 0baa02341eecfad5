#include "operations/delete_images.h"

#include "operations/change_password.h"
#include "operations/create_library.h"
#include "operations/import_picture.h"
#include "support/cli_support.h"

#include "files/app_dir.h"
#include "files/pak_passwords.h"

#include <gtest/gtest.h>

#include <fstream>

namespace velmora {
namespace {

using cli_test::PatternPicture;
using cli_test::TCliTempDir;

TEST(ClampDeleteRange, RangesAreCutToTheLibrary) {
    TDeleteRange r = ClampDeleteRange(-3, 20, 10);
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Start, 0);
    EXPECT_EQ(r.End, 9);
    r = ClampDeleteRange(7, 4, 10);
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Start, 4);
    EXPECT_EQ(r.End, 4);
    EXPECT_EQ(r.Count(), 1);
    r = ClampDeleteRange(8, 15, 10);
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Start, 8);
    EXPECT_EQ(r.End, 9);
    EXPECT_FALSE(ClampDeleteRange(12, 15, 10).Valid)
        << "a range wholly past the end does not fall back to the last image";
    EXPECT_FALSE(ClampDeleteRange(15, 12, 10).Valid);
    EXPECT_FALSE(ClampDeleteRange(0, 0, 0).Valid);
    EXPECT_FALSE(ClampDeleteRange(3, -2, 10).Valid);
    EXPECT_TRUE(DeleteRemovesIndex(ClampDeleteRange(2, 4, 10), 4));
    EXPECT_FALSE(DeleteRemovesIndex(ClampDeleteRange(2, 4, 10), 5));
}

class EditLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateLibraryFile(t_Wil, Dir / "lib.wil", 24, "").Created);
        Library = cli_test::OpenForTest(Dir / "lib.wil");
        ASSERT_TRUE(Library);
        auto update = Library->BeginUpdate(-1);
        for (int i = 0; i < 10; ++i) {
            TDIB picture = PatternPicture(5 + i, 2, uint32_t(i));
            ASSERT_TRUE(update.Add(picture, i, -i, 0, nullptr));
        }
        update.EndUpdate();
    }
    int Width(int index) {
        int x = 0, y = 0;
        return Library->Get(index, x, y)->Width();
    }
    TCliTempDir Dir;
    std::unique_ptr<TGameImages> Library;
};

TEST_F(EditLibrary, DeleteAndBlankReportProgressAndKeepOrDropImages) {
    int calls = 0;
    TDeleteResult r = DeleteImages(*Library, 7, 4, true, [&](int done, int total) {
        EXPECT_EQ(total, 1);
        EXPECT_EQ(done, calls++);
    });
    EXPECT_TRUE(r.Done);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Library->ImageCount(), 10) << "blanking keeps the count";
    EXPECT_EQ(Width(4), 1);

    r = DeleteImages(*Library, 2, 3, false);
    EXPECT_TRUE(r.Done);
    ASSERT_EQ(Library->ImageCount(), 8);
    EXPECT_EQ(Width(2), 1) << "the blanked image moved down";
    EXPECT_EQ(Width(3), 10);

    r = DeleteImages(*Library, -3, 20, false);
    EXPECT_TRUE(r.Done);
    EXPECT_EQ(Library->ImageCount(), 0);
    r = DeleteImages(*Library, 0, 0, false);
    EXPECT_FALSE(r.Done);
    EXPECT_FALSE(r.Error.empty());
}

TEST_F(EditLibrary, OffsetsAreReadBackAndSixteenBitLimitsAreEnforced) {
    EXPECT_EQ(ReadOffset(*Library, 3).Offset, (TPoint{3, -3}));
    EXPECT_FALSE(ReadOffset(*Library, 10).Done);
    EXPECT_FALSE(ReadOffset(*Library, -1).Done);
    TOffsetResult r = WriteOffset(*Library, 3, {-32768, 32767});
    EXPECT_TRUE(r.Done) << r.Error;
    EXPECT_EQ(r.Offset, (TPoint{-32768, 32767}));
    r = WriteOffset(*Library, 3, {40000, 0});
    EXPECT_FALSE(r.Done);
    EXPECT_EQ(ReadOffset(*Library, 3).Offset, (TPoint{-32768, 32767}));
    EXPECT_FALSE(WriteOffset(*Library, 10, {1, 1}).Done);
    // Written into the file at once: a fresh open sees it.
    Library.reset();
    auto again = cli_test::OpenForTest(Dir / "lib.wil");
    EXPECT_EQ(again->GetPoint(3), (TPoint{-32768, 32767}));
}

TEST(ChangePakPassword, RefusesOtherKindsAndUpdatesOnlyTheFirstListedName) {
    TCliTempDir dir;
    TGameImages wzl(dir / "a.wzl", t_Wzl);
    TChangePasswordResult r = ChangePakPassword(wzl, "x", false);
    EXPECT_FALSE(r.Done);
    EXPECT_EQ(r.Error, "必须是Pak补丁才可以改密码！！！");

    // The first entry named like the library changes, whichever separator its folder uses; the
    // other lines stay as they were, comments included.
    const std::string savedAppDir = g_AppDir;
    g_AppDir = dir.Path() + "/";
    std::ofstream(dir / "Pak.txt", std::ios::binary)
        << "b.pak|1\r\n1 a comment\r\nD:\\patch\\A.PAK|2\r\na.pak|3\r\n";
    const TListedPasswordChange change = PlanListedPassword("/data/patch/a.pak", "new");
    EXPECT_TRUE(change.EntryFound);
    EXPECT_EQ(std::string(change.NewBytes.begin(), change.NewBytes.end()),
              "b.pak|1\r\n1 a comment\r\nD:\\patch\\A.PAK|new\r\na.pak|3\r\n");
    EXPECT_FALSE(PlanListedPassword("/data/c.pak", "new").EntryFound) << "no entry is added";
    g_AppDir = savedAppDir;
}

} // namespace
} // namespace velmora
