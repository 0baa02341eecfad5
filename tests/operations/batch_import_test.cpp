#include "operations/batch_import.h"

#include "files/picture_files.h"
#include "files/placements.h"
#include "operations/create_library.h"
#include "support/cli_support.h"
#include "tools/wis_writer/wis_writer.h"

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
        // Offsets only: always overwrite, the listed offset files as far as the range goes.
        {bcOffsets, bmAppend, 3, 5, 10, 10, bmOverwrite, 3, 3},
        {bcOffsets, bmInsert, 8, 2, 10, 4, bmOverwrite, 2, 4},
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

// Offsets only (坐标) sets the offsets of images Start.. from the offset files of the folder's
// pictures as one edit, on WIS libraries too: the pixels stay, a picture without an offset file
// gives (0, 0), an empty slot is refused, and an offset that cannot be stored changes nothing.
TEST(BatchImport, OffsetsOnlySetTheOffsetsOfExistingImages) {
    TCliTempDir dir;
    const std::string pictures = dir / "pics";
    fs::create_directories(fs::path(pictures) / kPlacementsFolder);
    std::vector<std::string> files;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        files.push_back(pictures + "/" + name);
        ASSERT_TRUE(SavePicture(files.back(), PatternPicture(3, 2, 1), ifBMP));
    }
    SavePlacement(PlacementFileOf(files[0]), {5, -6});
    SavePlacement(PlacementFileOf(files[2]), {-7, 8});
    for (const TImageType kind : {t_Wzl, t_Wis}) {
        SCOPED_TRACE(int(kind));
        const std::string path = dir / (kind == t_Wis ? "lib.wis" : "lib.wzl");
        if (kind == t_Wis) {
            TWisWriter writer;
            const std::vector<uint8_t> pixels(4 * 3, 7);
            for (int i = 0; i < 5; ++i)
                writer.AddImage(4, 3, 1, 1, pixels, false);
            writer.Save(path);
        } else {
            ASSERT_TRUE(CreateLibraryFile(t_Wzl, path, 8, "").Created);
            auto created = cli_test::OpenForTest(path);
            auto update = created->BeginUpdate(-1);
            for (int i = 0; i < 5; ++i) {
                TDIB picture = PatternPicture(4, 3, uint32_t(i));
                ASSERT_TRUE(update.Add(picture, 1, 1, 0, nullptr));
            }
            update.EndUpdate();
            ASSERT_TRUE(created->Fill(4, 4, {}));
        }
        auto library = cli_test::OpenForTest(path);
        ASSERT_TRUE(library);
        std::vector<std::vector<uint32_t>> pixels;
        for (int i = 0; i < 5; ++i) {
            int x = 0, y = 0;
            auto picture = library->Get(i, x, y);
            pixels.push_back(picture ? cli_test::PictureArgb(*picture) : std::vector<uint32_t>{});
        }

        TBatchImportOptions options;
        options.Content = bcOffsets;
        options.Mode = bmOverwrite;
        options.Start = 1;
        options.End = 9;
        options.Files = files;
        // An offset file that names what no format stores refuses the whole run.
        SavePlacement(PlacementFileOf(files[1]), {40000, 0});
        TBatchImportResult result = BatchImport(*library, options);
        EXPECT_FALSE(result.Written);
        EXPECT_NE(result.Error.find("cannot be stored"), std::string::npos) << result.Error;
        EXPECT_EQ(library->GetPoint(1), (TPoint{1, 1}));
        fs::remove(PlacementFileOf(files[1]));

        result = BatchImport(*library, options);
        EXPECT_TRUE(result.Written) << result.Error;
        EXPECT_EQ(result.Plan.Count, 3);
        EXPECT_EQ(result.Imported, 3);
        EXPECT_TRUE(result.Refused.empty());
        options.Start = 3; // images 3 and 4; 4 is an empty slot in the WZL library
        const TBatchImportResult slots = BatchImport(*library, options);
        EXPECT_EQ(slots.Plan.Count, 2);
        EXPECT_EQ(slots.Refused.size(), kind == t_Wzl ? 1u : 0u);

        library = cli_test::OpenForTest(path);
        EXPECT_EQ(library->ImageCount(), 5);
        EXPECT_EQ(library->GetPoint(0), (TPoint{1, 1}));
        EXPECT_EQ(library->GetPoint(1), (TPoint{5, -6}));
        EXPECT_EQ(library->GetPoint(2), (TPoint{0, 0}));
        EXPECT_EQ(library->GetPoint(3), (TPoint{5, -6}));
        if (kind == t_Wis) {
            EXPECT_EQ(library->GetPoint(4), (TPoint{0, 0}));
        }
        for (int i = 0; i < 5; ++i) {
            int x = 0, y = 0;
            auto picture = library->Get(i, x, y);
            EXPECT_EQ(picture ? cli_test::PictureArgb(*picture) : std::vector<uint32_t>{},
                      pixels[size_t(i)])
                << i;
        }
    }
}

} // namespace
} // namespace velmora
