#include "files/placements.h"

#include "support/files_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora {
namespace {

using files_test::TTempFolder;

TEST(Placements, OffsetFileSitsInPlacementsBesideThePicture) {
    EXPECT_EQ(PlacementFileOf("/out/00012.PNG"), "/out/Placements/00012.txt");
    EXPECT_EQ(PlacementFileOf("/out/a.png.png"), "/out/Placements/a.txt");
    EXPECT_EQ(PlacementFileOf("/out/A.PNG.png"), "/out/Placements/A.txt");
    EXPECT_EQ(PlacementFileOf("/out/noext"), "/out/Placements/noext.txt");
}

class PlacementFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(folder.File("Placements")); }
    // Writes the offset file of picture p.bmp and reads it back through the picture's name.
    TPoint Read(const std::string& text) {
        files_test::WriteBytes(folder.File("Placements/p.txt"),
                               std::vector<uint8_t>(text.begin(), text.end()));
        return LoadPlacement(folder.File("p.bmp"));
    }
    TTempFolder folder;
};

TEST_F(PlacementFiles, SavedOffsetsReadBack) {
    SavePlacement(folder.File("Placements/00012.txt"), {-12, 7});
    const std::vector<uint8_t> bytes = files_test::ReadBytes(folder.File("Placements/00012.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "-12\r\n7\r\n");
    EXPECT_EQ(LoadPlacement(folder.File("00012.PNG")), (TPoint{-12, 7}));
    SavePlacement(folder.File("Placements/00012.txt"), {INT32_MIN, INT32_MAX});
    EXPECT_EQ(LoadPlacement(folder.File("00012.PNG")), (TPoint{INT32_MIN, INT32_MAX}));
    // The exports' writer: the same text, and the truth about whether it was written.
    ASSERT_TRUE(WritePlacement(folder.File("Placements/00012.txt"), {-12, 7}));
    EXPECT_EQ(files_test::ReadBytes(folder.File("Placements/00012.txt")), bytes);
    EXPECT_FALSE(WritePlacement(folder.File("nowhere/Placements/a.txt"), {1, 2}));
}

TEST_F(PlacementFiles, LinesThatAreNotWholeNumbersGiveZero) {
    EXPECT_EQ(Read("-12\r\n7\r\n"), (TPoint{-12, 7}));
    EXPECT_EQ(Read(" 5\r\n6\r\n"), (TPoint{0, 6}));
    EXPECT_EQ(Read("3\r\n"), (TPoint{3, 0}));
    EXPECT_EQ(Read("3"), (TPoint{3, 0}));
    EXPECT_EQ(Read("+4\n-5\n99\n"), (TPoint{4, -5}));
    EXPECT_EQ(Read("4 \r\n5x\r\n"), (TPoint{0, 0}));
    EXPECT_EQ(Read("\r\n8\r\n"), (TPoint{0, 8}));
    EXPECT_EQ(Read("x1\r\n-\r\n"), (TPoint{0, 0}));
    // Too large for 64 bits: 0; within 64 bits: cut to the low 32 bits.
    EXPECT_EQ(Read("99999999999999999999\r\n4294967297\r\n"), (TPoint{0, 1}));
    EXPECT_EQ(Read(""), (TPoint{0, 0}));
}

TEST_F(PlacementFiles, MissingFilesAndFoldersAreQuiet) {
    EXPECT_EQ(LoadPlacement(folder.File("none.bmp")), (TPoint{0, 0}));
    EXPECT_EQ(LoadPlacement(folder.File("nowhere/none.bmp")), (TPoint{0, 0}));
    EXPECT_NO_THROW(SavePlacement(folder.File("nowhere/Placements/a.txt"), {1, 2}));
}

} // namespace
} // namespace velmora
