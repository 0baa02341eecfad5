// The batch import's order and count rules and the batch export's files, seen through the real
// binary.

#include "support/cli_support.h"

#include "files/picture_files.h"
#include "files/placements.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Home); }

    // A folder of pictures whose widths tell them apart, named `prefix`NN.bmp.
    std::string Pictures(const std::string& name, int count, int firstWidth) {
        const std::string folder = Dir / name;
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            char file[32];
            std::snprintf(file, sizeof file, "/p%02d.bmp", i);
            EXPECT_TRUE(
                SavePicture(folder + file, PatternPicture(firstWidth + i, 3, uint32_t(i)), ifBMP));
        }
        return folder;
    }

    // Widths of every image, in order.
    std::vector<int> Widths(const std::string& lib) {
        std::vector<int> widths;
        auto library = OpenForTest(lib);
        if (!library)
            return widths;
        for (int i = 0; i < library->ImageCount(); ++i) {
            int x = 0, y = 0;
            auto picture = library->Get(i, x, y);
            widths.push_back(picture ? picture->Width() : -1);
        }
        return widths;
    }

    std::string Library(const std::string& name) {
        const std::string lib = Dir / name;
        EXPECT_EQ(RunCli({"create", lib, "--wil", "--bits", "24"}, Home).Exit, 0);
        return lib;
    }

    TCliRun Cli(const std::vector<std::string>& args) { return RunCli(args, Home); }

    TCliTempDir Dir;
    std::string Home = Dir / "home";
};

TEST_F(CliBatch, FolderIsImportedInOrdinalNameOrderSkippingOtherEntries) {
    const std::string folder = Dir / "mixed";
    fs::create_directories(folder + "/x.png");
    ASSERT_TRUE(SavePicture(folder + "/b.png", PatternPicture(7, 3, 1), ifPNG));
    ASSERT_TRUE(SavePicture(folder + "/A.bmp", PatternPicture(5, 3, 2), ifBMP));
    ASSERT_TRUE(SavePicture(folder + "/a.TGA", PatternPicture(6, 3, 3), ifTGA));
    std::ofstream(folder + "/readme.txt") << "not a picture";
    const std::string lib = Library("order.wil");
    TCliRun run = Cli({"import", lib, folder});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 7}));

    // Picture files named one by one keep the order given.
    run = Cli({"import", lib, folder + "/b.png", folder + "/A.bmp"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 7, 7, 5}));
}

TEST_F(CliBatch, ReplaceTakesAsManyPicturesAsTheRangeAndLibraryAllow) {
    const std::string lib = Library("replace.wil");
    ASSERT_EQ(Cli({"import", lib, Pictures("ten", 10, 5)}).Exit, 0);
    const std::string three = Pictures("three", 3, 40);

    TCliRun run = Cli({"import", lib, three, "--mode", "replace", "--at", "2", "--to", "9"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 40, 41, 42, 10, 11, 12, 13, 14}));

    // Start and end are swapped when given the wrong way round.
    run = Cli(
        {"import", lib, Pictures("many", 10, 60), "--mode", "replace", "--at", "5", "--to", "2"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 60, 61, 62, 63, 11, 12, 13, 14}));

    // Ten pictures from 2 to 9 reach the last image; the library does not grow.
    run = Cli({"import", lib, Dir / "many", "--mode", "replace", "--at", "2", "--to", "9"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 60, 61, 62, 63, 64, 65, 66, 67}));
}

TEST_F(CliBatch, InsertPastTheEndGoesBeforeTheLastImageAndAnEmptyLibraryAppends) {
    const std::string lib = Library("insert.wil");
    // An empty library has nothing to insert before: the pictures are appended.
    TCliRun run = Cli({"import", lib, Pictures("four", 4, 5), "--mode", "insert", "--at", "3"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 7, 8}));
    run = Cli({"import", lib, Pictures("two", 2, 30), "--mode", "insert", "--at", "99"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 7, 30, 31, 8}));
}

TEST_F(CliBatch, BlankImagesAreCountedByCountOrByTheRange) {
    const std::string lib = Library("blank.wil");
    ASSERT_EQ(Cli({"import", lib, Pictures("six", 6, 5)}).Exit, 0);
    TCliRun run = Cli({"import", lib, "--content", "blank", "--count", "3", "--xy", "4,-2"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run =
        Cli({"import", lib, "--content", "blank", "--mode", "insert", "--at", "4", "--count", "2"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{5, 6, 7, 8, 1, 1, 9, 10, 1, 1, 1}));
    // Blanking over a range keeps the count.
    run = Cli({"import", lib, "--content", "blank", "--mode", "replace", "--at", "0", "--to", "1"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Widths(lib), (std::vector<int>{1, 1, 7, 8, 1, 1, 9, 10, 1, 1, 1}));
}

TEST_F(CliBatch, OffsetsComeFromPlacementsOrFromOneFixedPair) {
    const std::string folder = Pictures("placed", 3, 5);
    fs::create_directories(folder + "/Placements");
    SavePlacement(folder + "/Placements/p00.txt", {-12, 7});
    const std::string lib = Library("offsets.wil");
    ASSERT_EQ(Cli({"import", lib, folder}).Exit, 0);
    ASSERT_EQ(Cli({"import", lib, folder, "--xy", "12,-7"}).Exit, 0);
    ASSERT_EQ(Cli({"import", lib, folder, "--content", "pictures", "--xy", "5,0"}).Exit, 0);
    auto library = OpenForTest(lib);
    ASSERT_EQ(library->ImageCount(), 9);
    EXPECT_EQ(library->GetPoint(0), (TPoint{-12, 7}));
    EXPECT_EQ(library->GetPoint(1), (TPoint{0, 0})) << "no offset file gives (0, 0)";
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(library->GetPoint(i), (TPoint{12, -7}));
    EXPECT_EQ(library->GetPoint(6), (TPoint{5, 0}));
}

// Blank images are pictures too: each is exported (1 x 1) with its offset file.
TEST_F(CliBatch, ExportWritesBlankImagesAsPictures) {
    const std::string lib = Library("blank.wil");
    ASSERT_EQ(Cli({"import", lib, "--content", "blank", "--count", "5"}).Exit, 0);
    const std::string out = Dir / "blanks";
    TCliRun run = Cli({"export", lib, out, "--json", "--format", "bmp"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"written\": 5, \"failed\": 0"), std::string::npos) << run.Out;
    TDIB last;
    ASSERT_TRUE(LoadPicture(out + "/00004.BMP", last, ifBMP));
    EXPECT_EQ(last.Width(), 1);
    EXPECT_TRUE(fs::exists(out + "/Placements/00004.txt"));
}

TEST_F(CliBatch, ExportOfPartOfTheRangeNamesFilesByImageIndex) {
    const std::string lib = Library("part.wil");
    ASSERT_EQ(Cli({"import", lib, Pictures("five", 5, 5)}).Exit, 0);
    TCliRun run = Cli({"export", lib, Dir / "part", "--from", "2", "--to", "3", "--format", "tga"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_FALSE(fs::exists(Dir / "part/00001.TGA"));
    EXPECT_TRUE(fs::exists(Dir / "part/00002.TGA"));
    EXPECT_TRUE(fs::exists(Dir / "part/00003.TGA"));
    EXPECT_FALSE(fs::exists(Dir / "part/00004.TGA"));
    run = Cli({"export", lib, Dir / "none", "--from", "3", "--to", "7"});
    EXPECT_EQ(run.Exit, 1) << "a range beyond the library exports nothing";
    EXPECT_EQ(LineCount(run.Err), 1) << run.Err;
    EXPECT_NE(run.Err.find(lib), std::string::npos) << run.Err;
}

} // namespace
} // namespace velmora::cli_test
