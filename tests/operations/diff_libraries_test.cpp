#include "operations/diff_libraries.h"

#include "operations/copy_images.h"
#include "operations/create_library.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora {
namespace {

using cli_test::PatternPicture;
using cli_test::TCliTempDir;

// The numbers and differences of a comparison, "index:what" each.
std::vector<std::string> Listed(const TDiffResult& result) {
    std::vector<std::string> listed;
    for (const TDifferentImage& image : result.Differences)
        listed.push_back(std::to_string(image.Index) + ":" + DifferenceText(image.What));
    return listed;
}

TEST(DiffLibraries, TellsWhatDiffersAndDecodesOnlyDifferingRecords) {
    TCliTempDir dir;
    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "a.wil", 16, "").Created);
    {
        auto a = cli_test::OpenForTest(dir / "a.wil");
        auto update = a->BeginUpdate(-1);
        for (int i = 0; i < 6; ++i) {
            TDIB picture = i == 2 ? *a->FillDIB() : PatternPicture(8 + i, 6, uint32_t(i));
            ASSERT_TRUE(update.Add(picture, i, -i, 0, nullptr));
        }
        update.EndUpdate();
    }
    std::filesystem::copy_file(dir / "a.wil", dir / "b.wil");
    std::filesystem::copy_file(dir / "a.WIX", dir / "b.WIX");
    auto a = cli_test::OpenForTest(dir / "a.wil");
    auto b = cli_test::OpenForTest(dir / "b.wil");

    TDiffResult result = DiffLibraries(*a, *b, {});
    ASSERT_TRUE(result.Done) << result.Error;
    EXPECT_TRUE(result.Differences.empty());
    EXPECT_EQ(result.Decoded, 0) << "equal records are not decoded";

    // An offset, the pixels of a picture of the same size, a picture of another size, and an
    // image more in B.
    b->SetPoint(1, {50, 60});
    {
        auto update = b->BeginUpdate(3);
        TDIB other = PatternPicture(11, 6, 99);
        ASSERT_TRUE(update.Replace(-1, other, 3, -3, 0, nullptr));
        TDIB larger = PatternPicture(20, 6, 4);
        ASSERT_TRUE(update.Replace(-1, larger, 4, -4, 0, nullptr));
        ASSERT_TRUE(update.Add(larger, 0, 0, 0, nullptr));
        update.EndUpdate();
    }
    result = DiffLibraries(*a, *b, {});
    ASSERT_TRUE(result.Done) << result.Error;
    EXPECT_EQ(Listed(result),
              (std::vector<std::string>{"1:offset", "3:pixels", "4:size", "6:only in B"}));
    EXPECT_EQ(result.Decoded, 2) << "the offset's and the pixels' records; sizes tell the rest";
    ASSERT_TRUE(result.Differences[0].A && result.Differences[0].B);
    EXPECT_EQ(result.Differences[0].B->Offset, (TPoint{50, 60}));
    EXPECT_FALSE(result.Differences[3].A);

    struct TCancel {};
    EXPECT_THROW(DiffLibraries(*a, *b, {},
                               [](int done, int) {
                                   if (done > 0)
                                       throw TCancel{};
                               }),
                 TCancel);

    TDiffOptions range;
    range.From = 4;
    range.To = 6;
    EXPECT_EQ(Listed(DiffLibraries(*b, *a, range)),
              (std::vector<std::string>{"4:size", "6:only in A"}));
    range.From = 5;
    range.To = 7;
    result = DiffLibraries(*a, *b, range);
    EXPECT_FALSE(result.Done);
    EXPECT_NE(result.Error.find("A holds 6, B 7"), std::string::npos) << result.Error;

    // Libraries of other kinds are compared by their pictures: a WZL copy shows no difference.
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "c.wzl", 8, "").Created);
    auto c = cli_test::OpenForTest(dir / "c.wzl");
    ASSERT_TRUE(CopyImages(*a, *c, {}).Done);
    result = DiffLibraries(*a, *c, {});
    EXPECT_TRUE(result.Differences.empty()) << ::testing::PrintToString(Listed(result));
    EXPECT_EQ(result.Decoded, 5) << "every image with pixels";
}

} // namespace
} // namespace velmora
