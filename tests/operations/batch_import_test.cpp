#include "operations/batch_import.h"

#include "files/picture_files.h"
#include "operations/create_library.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using cli_test::PatternPicture;
using cli_test::TCliTempDir;

struct TPlanCase {
    TBatchContent Content;
    TBatchMode Mode;
    int Start, End, ImageCount, ListLength;
    TBatchMode PlannedMode;
    int PlannedStart, Count;
};

TEST(PlanBatchImport, ClampingAndCountRules) {
    const TPlanCase cases[] = {
        // Append takes the list; blank content the number in the start field.
        {bcPicturesAndOffsets, bmAppend, 7, 3, 10, 4, bmAppend, 10, 4},
        {bcBlank, bmAppend, 10, 0, 5, 0, bmAppend, 5, 10},
        // Insert past the last image works before the last one; on an empty library it appends.
        {bcPictures, bmInsert, 50, 0, 10, 3, bmInsert, 9, 3},
        {bcPictures, bmInsert, 2, 0, 0, 3, bmAppend, 0, 3},
        {bcBlank, bmInsert, 4, 3, 10, 0, bmInsert, 4, 3},
        {bcBlank, bmInsert, 4, 3, 0, 0, bmAppend, 0, 3},
        // Overwrite: swapped ends, the list or the range decides, never past the library.
        {bcBlank, bmOverwrite, 5, 2, 10, 0, bmOverwrite, 2, 4},
        {bcPicturesAndOffsets, bmOverwrite, 2, 9, 10, 3, bmOverwrite, 2, 3},
        {bcPicturesAndOffsets, bmOverwrite, 2, 9, 10, 10, bmOverwrite, 2, 8},
        {bcPictures, bmOverwrite, 0, 100, 10, 40, bmOverwrite, 0, 10},
        {bcPictures, bmOverwrite, -1, 5, 10, 4, bmOverwrite, -1, 0},
        {bcPictures, bmOverwrite, 12, 20, 10, 4, bmOverwrite, 9, 0},
        {bcBlank, bmOverwrite, 30, 12, 10, 0, bmOverwrite, 9, 0},
        {bcPictures, bmOverwrite, 0, 3, 0, 4, bmOverwrite, -1, 0},
        // Offsets only: always overwrite, and nothing is counted.
        {bcOffsets, bmAppend, 0, 9, 10, 10, bmOverwrite, 0, 0},
        // Negative counts give nothing.
        {bcBlank, bmAppend, -4, 0, 3, 0, bmAppend, 3, 0},
    };
    for (const TPlanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "content " << int(c.Content) << " mode " << int(c.Mode)
                                        << " start " << c.Start << " end " << c.End << " count "
                                        << c.ImageCount << " list " << c.ListLength);
        const TBatchImportPlan plan =
            PlanBatchImport(c.Content, c.Mode, c.Start, c.End, c.ImageCount, c.ListLength);
        EXPECT_EQ(plan.Mode, c.PlannedMode);
        EXPECT_EQ(plan.Count, c.Count);
        if (c.Count > 0) {
            EXPECT_EQ(plan.Start, c.PlannedStart);
        }
    }
}

TEST(ParseFixedOffset, SplitsAtTheCommaWithZeroDefaults) {
    EXPECT_EQ(ParseFixedOffset("12,-7"), (TPoint{12, -7}));
    EXPECT_EQ(ParseFixedOffset("  5 "), (TPoint{5, 0}));
    EXPECT_EQ(ParseFixedOffset(""), (TPoint{0, 0}));
    EXPECT_EQ(ParseFixedOffset("x,3"), (TPoint{0, 3}));
    EXPECT_EQ(ParseFixedOffset(",,4,9"), (TPoint{4, 9})) << "leading dividers are skipped";
}

TEST(ListPictureFolder, PicturesOnlyInOrdinalOrder) {
    TCliTempDir dir;
    fs::create_directories(dir / "x.png");
    for (const char* name : {"b.png", "A.bmp", "a.TGA", "readme.txt", "Z.Bmp"})
        std::ofstream(dir / name) << "x";
    const std::vector<std::string> list = ListPictureFolder(dir.Path());
    EXPECT_EQ(list, (std::vector<std::string>{dir / "A.bmp", dir / "Z.Bmp", dir / "a.TGA",
                                              dir / "b.png"}));
    EXPECT_TRUE(ListPictureFolder(dir / "missing").empty());
    EXPECT_TRUE(ListPictureFolder("").empty());
}

TEST(BatchImport, UnreadablePicturesBecomePlaceholdersAndAreCounted) {
    TCliTempDir dir;
    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "lib.wil", 24, "").Created);
    auto library = cli_test::OpenForTest(dir / "lib.wil");
    ASSERT_TRUE(SavePicture(dir / "a.bmp", PatternPicture(6, 2, 1), ifBMP));
    std::ofstream(dir / "b.png") << "broken";
    ASSERT_TRUE(SavePicture(dir / "c.bmp", PatternPicture(7, 2, 2), ifBMP));
    TBatchImportOptions options;
    options.Files = {dir / "a.bmp", dir / "b.png", dir / "c.bmp", dir / "gone.bmp"};
    options.OffsetsFromPlacements = false;
    options.FixedOffset = "2,3";
    int calls = 0;
    TBatchImportResult result = BatchImport(*library, options, [&](int done, int total) {
        EXPECT_EQ(total, 4);
        EXPECT_EQ(done, calls++);
    });
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(result.Imported, 4) << "placeholders keep the numbering";
    ASSERT_EQ(result.Unreadable.size(), 2u);
    EXPECT_EQ(result.Unreadable[0].FileName, dir / "b.png");
    EXPECT_EQ(result.Unreadable[0].Item, 1);
    EXPECT_EQ(result.Unreadable[1].FileName, dir / "gone.bmp");
    EXPECT_TRUE(result.Refused.empty());
    EXPECT_FALSE(result.Succeeded());
    ASSERT_EQ(library->ImageCount(), 4);
    int x = 0, y = 0;
    EXPECT_EQ(library->Get(2, x, y)->Width(), 7);
    EXPECT_EQ(TPoint(x, y), (TPoint{2, 3}));
    EXPECT_EQ(library->Get(1, x, y)->Width(), 1);
}

TEST(BatchImport, LibraryRefusalsAreCounted) {
    TCliTempDir dir;
    ASSERT_TRUE(SavePicture(dir / "a.bmp", PatternPicture(6, 2, 1), ifBMP));
    // Wider than a record header's 16-bit size field holds.
    ASSERT_TRUE(SavePicture(dir / "wide.bmp", PatternPicture(40000, 1, 2), ifBMP));
    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "a.wil", 24, "").Created);
    auto library = cli_test::OpenForTest(dir / "a.wil");
    ASSERT_TRUE(library);
    TBatchImportOptions options;
    options.Files = {dir / "a.bmp", dir / "wide.bmp", dir / "a.bmp"};
    TBatchImportResult result = BatchImport(*library, options);
    EXPECT_EQ(result.Imported, 2);
    ASSERT_EQ(result.Refused.size(), 1u);
    EXPECT_EQ(result.Refused[0].Item, 1);
    EXPECT_EQ(library->ImageCount(), 2);
    // Asked for all or nothing, the run writes nothing.
    options.AllOrNothing = true;
    result = BatchImport(*library, options);
    EXPECT_FALSE(result.Written);
    EXPECT_EQ(library->ImageCount(), 2);

    // A library that takes no edits refuses the run before reading a picture.
    TGameImages closed(dir / "none.wil", t_Wil);
    result = BatchImport(closed, options);
    EXPECT_EQ(result.Refusal, TEditRefusal::erNotOpen);
    EXPECT_TRUE(result.Refused.empty());
}

// Pictures are loaded and encoded by several workers ahead of the edit: more pictures than the
// workers hold ahead, with an unreadable one among them, still land in the order of the list,
// inserted at the cursor and compressed.
TEST(BatchImport, PicturesLoadedAheadLandInListOrder) {
    TCliTempDir dir;
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "lib.wzl", 16, "").Created);
    auto library = cli_test::OpenForTest(dir / "lib.wzl");
    TBatchImportOptions options;
    options.Content = bcBlank;
    options.Start = 2;
    ASSERT_TRUE(BatchImport(*library, options).Written);
    options = {};
    for (int j = 0; j < 30; ++j) {
        const fs::path file = dir / ("p" + std::to_string(100 + j) + ".bmp");
        if (j != 17) { // left unwritten: unreadable
            ASSERT_TRUE(SavePicture(file, PatternPicture(3 + j, 2 + j % 5, j), ifBMP));
        }
        options.Files.push_back(file);
    }
    options.Mode = bmInsert;
    options.Start = 1;
    options.Compression = 1;
    options.OffsetsFromPlacements = false;
    const TBatchImportResult result = BatchImport(*library, options);
    EXPECT_EQ(result.Imported, 30);
    ASSERT_EQ(result.Unreadable.size(), 1u);
    EXPECT_EQ(result.Unreadable[0].Item, 17);
    ASSERT_EQ(library->ImageCount(), 32);
    for (int j = 0; j < 30; ++j) {
        int x = 0, y = 0;
        auto picture = library->Get(1 + j, x, y);
        if (j == 17) { // the placeholder: an empty image
            EXPECT_TRUE(!picture || picture->Width() <= 1);
        } else {
            EXPECT_TRUE(picture && picture->Width() == 3 + j) << "image " << 1 + j;
        }
    }
}

} // namespace
} // namespace velmora
