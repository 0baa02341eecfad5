#include "operations/atlas.h"

#include "core/file_stream.h"
#include "files/json.h"
#include "files/picture_files.h"
#include "formats/image_info.h"
#include "operations/atlas_packer.h"
#include "operations/create_library.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace velmora {
namespace {

using cli_test::OpenForTest;
using cli_test::PictureArgb;
using cli_test::TCliTempDir;

TEST(AtlasPacker, RectanglesStayInsideTheirSheetsApartByThePadding) {
    std::mt19937 random(7);
    std::vector<TPackItem> items;
    for (int i = 0; i < 300; ++i)
        items.push_back({int(random() % 40) + 1, int(random() % 40) + 1});
    items.push_back({100, 3}); // as wide as a sheet may be
    const int maxSize = 100, padding = 3;
    const std::optional<TPacking> packing = PackRectangles(items, maxSize, padding);
    ASSERT_TRUE(packing);
    ASSERT_GT(packing->Sheets.size(), 1u) << "300 rectangles need more than one sheet";
    for (size_t i = 0; i < items.size(); ++i) {
        const TPackPlace& a = packing->Places[i];
        ASSERT_GE(a.Sheet, 0);
        const TPackedSheet& sheet = packing->Sheets[size_t(a.Sheet)];
        EXPECT_LE(sheet.Width, maxSize);
        EXPECT_LE(sheet.Height, maxSize);
        EXPECT_TRUE(a.X >= 0 && a.Y >= 0 && a.X + items[i].Width <= sheet.Width &&
                    a.Y + items[i].Height <= sheet.Height)
            << "item " << i;
        for (size_t j = i + 1; j < items.size(); ++j) {
            const TPackPlace& b = packing->Places[j];
            if (a.Sheet != b.Sheet)
                continue;
            const bool apart =
                a.X + items[i].Width + padding <= b.X || b.X + items[j].Width + padding <= a.X ||
                a.Y + items[i].Height + padding <= b.Y || b.Y + items[j].Height + padding <= a.Y;
            EXPECT_TRUE(apart) << "items " << i << " and " << j;
        }
    }
    EXPECT_FALSE(PackRectangles({{101, 1}}, maxSize, padding)) << "wider than a sheet";
    EXPECT_FALSE(PackRectangles({{0, 5}}, maxSize, padding));
}

TEST(AtlasPivot, AnEngineDrawingThePivotAtTheAnchorPutsTheImageWhereTheGameDoes) {
    // The game draws the image's top-left corner at anchor + offset; the pivot is the anchor's
    // place inside the image, as a fraction of its size.
    const TPivot pivot = PivotOfOffset({-18, -38}, 36, 44);
    EXPECT_DOUBLE_EQ(pivot.X, 0.5);
    EXPECT_DOUBLE_EQ(pivot.Y, 38.0 / 44.0);
    for (const TPoint offset : {TPoint{-32768, 32767}, TPoint{7, -3}, TPoint{0, 0}, TPoint{-1, -1}})
        for (const auto& [w, h] : {std::pair{1, 1}, std::pair{3, 7}, std::pair{32767, 999}})
            EXPECT_EQ(OffsetOfPivot(PivotOfOffset(offset, w, h), w, h), offset)
                << offset.X << "," << offset.Y << " in " << w << " x " << h;
}

// A picture with a black margin (trimmed away on export) around patterned pixels.
TDIB Framed(int width, int height, uint32_t seed) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(8, 8, 8));
    dib.SetSize(width + 5, height + 4, 24);
    dib.Draw(2, 3, cli_test::PatternPicture(width, height, seed));
    return dib;
}

struct TSampleLibrary {
    TImageType Kind;
    int Bits;
    const char* Name;
    bool Alpha; // some images carry alpha
};

// A library of the kind with a blank first image, a blank in the middle and framed images of
// several sizes and offsets (with alpha where asked).
void FillLibrary(const std::string& path, const TSampleLibrary& sample) {
    ASSERT_TRUE(CreateLibraryFile(sample.Kind, path, sample.Bits, "").Created);
    auto library = OpenForTest(path);
    auto update = library->BeginUpdate(-1);
    TDIB blank = *library->FillDIB();
    ASSERT_TRUE(update.Add(blank, 0, 0, 0, nullptr));
    for (int i = 0; i < 9; ++i) {
        if (i == 4) {
            ASSERT_TRUE(update.Add(blank, 0, 0, 0, nullptr));
            continue;
        }
        TDIB picture = Framed(7 + 5 * i, 20 - i, uint32_t(i * 977));
        std::unique_ptr<TDIB> alpha;
        if (sample.Alpha && i % 2 == 1) {
            alpha = MakeLibraryBuffer(8, picture.Width(), picture.Height());
            for (int y = 0; y < picture.Height(); ++y)
                for (int x = 0; x < picture.Width(); ++x)
                    alpha->SetPixel(x, y,
                                    picture.Pixel(x, y) == 0 ? 0 : uint32_t(40 + 20 * (x % 11)));
        }
        ASSERT_TRUE(update.Add(picture, -3 * i - 1, 5 - 7 * i, 1, alpha.get()));
    }
    update.EndUpdate();
}

// Checks the data files with Python's own JSON reader as the engines read them: the form, the
// fields every frame has, the anchor (PixiJS) equal to the pivot (Phaser) and both against the
// offset, names with the prefix (as keys, and as "filename" in lists), and the multi-atlas file
// listing every sheet with its frames as lists.
void CheckWithPython(const TAtlasExportResult& exported, bool hash, const std::string& prefix) {
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is missing";
    const std::string script = exported.DataFiles.front() + ".py";
    std::ofstream(script) << R"(import json, os, sys, urllib.parse
hash, prefix, multi, files = sys.argv[1] == "hash", sys.argv[2], sys.argv[3], sys.argv[4:]
def check(name, f, size):
    assert name.startswith(prefix) and len(name) == len(prefix) + 5, name
    assert name[len(prefix):].isdigit(), name
    r, s, src = f["frame"], f["spriteSourceSize"], f["sourceSize"]
    assert f["rotated"] is False
    assert f["trimmed"] == ((r["w"], r["h"]) != (src["w"], src["h"]))
    assert r["x"] + r["w"] <= size["w"] and r["y"] + r["h"] <= size["h"]
    assert (s["w"], s["h"]) == (r["w"], r["h"])
    assert s["x"] + s["w"] <= src["w"] and s["y"] + s["h"] <= src["h"]
    assert f["anchor"] == f["pivot"], name
    assert round(-f["pivot"]["x"] * src["w"]) == f["offset"]["x"], name
    assert round(-f["pivot"]["y"] * src["h"]) == f["offset"]["y"], name
names = []
for path in files:
    d = json.load(open(path))
    frames, meta = d["frames"], d["meta"]
    assert isinstance(frames, dict if hash else list)
    items = list(frames.items()) if hash else [(f["filename"], f) for f in frames]
    assert items
    assert meta["format"] == "RGBA8888" and meta["app"] and meta["version"]
    assert os.path.exists(os.path.join(os.path.dirname(path), urllib.parse.unquote(meta["image"])))
    assert len(meta.get("related_multi_packs", [])) == len(files) - 1
    for name, f in items:
        check(name, f, meta["size"])
        names.append(name)
assert len(names) == len(set(names))
if multi != "-":
    d = json.load(open(multi))
    assert len(d["textures"]) == len(files)
    listed = []
    for t in d["textures"]:
        assert os.path.exists(os.path.join(os.path.dirname(multi), urllib.parse.unquote(t["image"])))
        for f in t["frames"]:
            check(f["filename"], f, t["size"])
            listed.append(f["filename"])
    assert sorted(listed) == sorted(names)
)";
    std::string command = "python3 '" + script + "' " + (hash ? "hash" : "array") + " '" + prefix +
                          "' '" +
                          (exported.MultiAtlasFile.empty() ? "-" : exported.MultiAtlasFile) + "'";
    for (const std::string& data : exported.DataFiles)
        command += " '" + data + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << exported.DataFiles.front();
}

// Export, then import into a new library of the same kind and depth: the same pictures and
// offsets, empty images included, across several sheets of both data forms, read back from the
// first data file or from the multi-atlas file.
TEST(Atlas, RoundTripGivesThePicturesAndOffsetsBack) {
    const TSampleLibrary samples[] = {
        {t_Wil, 8, "a.wil", false},      {t_Wil, 16, "b.wil", false}, {t_Wil, 24, "c.wil", false},
        {t_Quillrand, 8, "d.pak", true}, {t_Wzl, 8, "e.wzl", true},
    };
    TCliTempDir dir;
    for (const TSampleLibrary& sample : samples) {
        SCOPED_TRACE(sample.Name);
        const std::string source = dir / sample.Name;
        FillLibrary(source, sample);
        auto original = OpenForTest(source);
        const bool hash = sample.Bits != 16;
        TAtlasExportOptions options;
        options.SheetPath = dir / (std::string("sheet #") + sample.Name[0]); // gets ".png"
        options.Format = hash ? afJsonHash : afJsonArray;
        options.MaxSize = 64;
        options.Padding = 1;
        options.Prefix = sample.Kind == t_Wil ? "" : std::string(sample.Name) + "/";
        const TAtlasExportResult exported = ExportAtlas(*original, options);
        ASSERT_TRUE(exported.Done) << exported.Error;
        EXPECT_EQ(exported.Frames, 8);
        EXPECT_EQ(exported.Empty, 2);
        ASSERT_GT(exported.Sheets.size(), 1u);
        EXPECT_EQ(exported.Sheets.front(), options.SheetPath + ".png");
        CheckWithPython(exported, hash, options.Prefix);

        const std::string copy = dir / (std::string("copy-") + sample.Name);
        ASSERT_TRUE(CreateLibraryFile(sample.Kind, copy, sample.Bits, "").Created);
        auto target = OpenForTest(copy);
        TAtlasImportOptions import;
        import.DataPath =
            sample.Kind == t_Wil ? exported.DataFiles.front() : exported.MultiAtlasFile;
        const TAtlasImportResult imported = ImportAtlas(*target, import);
        ASSERT_TRUE(imported.Done) << imported.Error;
        EXPECT_EQ(imported.Blanks, 2);
        auto reopened = OpenForTest(copy);
        ASSERT_EQ(reopened->ImageCount(), original->ImageCount());
        for (int i = 0; i < original->ImageCount(); ++i) {
            int ax = 0, ay = 0, bx = 0, by = 0;
            auto a = original->Get(i, ax, ay);
            auto b = reopened->Get(i, bx, by);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(PictureArgb(*a), PictureArgb(*b)) << "image " << i;
            EXPECT_EQ(original->GetPoint(i), reopened->GetPoint(i)) << "image " << i;
        }
    }
}

// What an export refuses before writing anything, and how it names its files.
TEST(Atlas, ExportNamesItsFilesForEnginesAndRefusesWhatTheyCannotLoad) {
    TAtlasExportOptions options;
    options.SheetPath = "out/sprites";
    TAtlasNames names = AtlasNames(options);
    EXPECT_EQ(names.SheetPath, "out/sprites.png");
    EXPECT_EQ(names.DataPath, "out/sprites.json");
    options.SheetPath = "out/S.PNG";
    options.DataPath = "data/s";
    names = AtlasNames(options);
    EXPECT_EQ(names.SheetPath, "out/S.PNG");
    EXPECT_EQ(names.DataPath, "data/s.json");
    const struct {
        const char* sheet;
        const char* data;
        int maxSize;
        const char* prefix;
        const char* reason;
    } refused[] = {
        {"a.jpg", "", 4096, "", "PNG"},        {"a.png", "a.txt", 4096, "", ".json"},
        {"a.png", "", 8193, "", "8192"},       {"a.png", "", 0, "", "8192"},
        {"a.png", "", 4096, "hero2", "digit"},
    };
    for (const auto& r : refused) {
        options.SheetPath = r.sheet;
        options.DataPath = r.data;
        options.MaxSize = r.maxSize;
        options.Prefix = r.prefix;
        names = AtlasNames(options);
        EXPECT_NE(names.Error.find(r.reason), std::string::npos) << names.Error;
        EXPECT_TRUE(names.SheetPath.empty());
    }
    EXPECT_EQ(AtlasFrameName("hero/", 12), "hero/00012");
    EXPECT_EQ(UrlPathOf("../a b/#1%.png"), "../a%20b/%231%25.png");
    EXPECT_EQ(PathOfUrl("../a%20b/%231%25.png"), "../a b/#1%.png");
    EXPECT_EQ(PathOfUrl("100%.png"), "100%.png") << "a % that starts no escape stays";
}

// Frames written by another packer: array form, names without numbers (file order), a trimmed
// frame, a frame turned a quarter clockwise, offsets only from the pivots.
TEST(Atlas, ImportReadsRotatedAndTrimmedFramesOfOtherPackers) {
    TCliTempDir dir;
    TDIB sheet;
    sheet.SetPixelFormat(MakePixelFormat(8, 8, 8));
    sheet.SetSize(40, 30, 32);
    const auto colour = [](int x, int y, int k) {
        return 0xFF000000u | uint32_t(40 + 30 * k + x) << 16 | uint32_t(60 + 9 * y) << 8 | 99u;
    };
    // walk: 10 x 8, its visible 5 x 4 at (2, 1), cut to the sheet's (1, 1).
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            sheet.SetPixel(1 + x, 1 + y, colour(x, y, 0));
    // jump: 6 x 3, turned clockwise: its pixel (x, y) lies at (20 + 2 - y, 2 + x).
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            sheet.SetPixel(20 + 2 - y, 2 + x, colour(x, y, 1));
    ASSERT_TRUE(SavePicture(dir / "other.png", sheet, ifPNG));
    const std::string json = R"({"frames": [
 {"filename": "walk.png", "frame": {"x": 1, "y": 1, "w": 5, "h": 4}, "rotated": false,
  "trimmed": true, "spriteSourceSize": {"x": 2, "y": 1, "w": 5, "h": 4},
  "sourceSize": {"w": 10, "h": 8}, "pivot": {"x": 0.5, "y": 1}},
 {"filename": "jump.png", "frame": {"x": 20, "y": 2, "w": 6, "h": 3}, "rotated": true,
  "trimmed": false, "spriteSourceSize": {"x": 0, "y": 0, "w": 6, "h": 3},
  "sourceSize": {"w": 6, "h": 3}, "pivot": {"x": 0.5, "y": 0.5}}],
 "meta": {"app": "another packer", "image": "other.png", "size": {"w": 40, "h": 30}}})";
    std::ofstream(dir / "other.json") << json;
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "new.wzl", 8, "").Created);
    auto library = OpenForTest(dir / "new.wzl");
    TAtlasImportOptions options;
    options.DataPath = dir / "other.json";
    const TAtlasImportResult result = ImportAtlas(*library, options);
    ASSERT_TRUE(result.Done) << result.Error;
    ASSERT_EQ(library->ImageCount(), 2);
    EXPECT_EQ(library->GetPoint(0), (TPoint{-5, -8}));
    EXPECT_EQ(library->GetPoint(1), (TPoint{-3, -2}));
    const auto expected = [&](int w, int h, int dx, int dy, int fw, int fh, int k) {
        std::vector<uint32_t> argb;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inside = x >= dx && y >= dy && x < dx + fw && y < dy + fh;
                argb.push_back(inside ? colour(x - dx, y - dy, k) : 0xFF000000u);
            }
        return argb;
    };
    int px = 0, py = 0;
    EXPECT_EQ(PictureArgb(*library->Get(0, px, py)), expected(10, 8, 2, 1, 5, 4, 0));
    EXPECT_EQ(PictureArgb(*library->Get(1, px, py)), expected(6, 3, 0, 0, 6, 3, 1));

    // Numbers of another packer give the order alone: no empty images for the gap between.
    std::ofstream(dir / "ids.json") << R"({"frames": {
 "900000.png": {"frame": {"x": 1, "y": 1, "w": 5, "h": 4}, "offset": {"x": 1, "y": 2}},
 "7.png": {"frame": {"x": 20, "y": 2, "w": 3, "h": 6}, "offset": {"x": 3, "y": 4}}},
 "meta": {"image": "other.png"}})";
    options.DataPath = dir / "ids.json";
    ASSERT_TRUE(ImportAtlas(*library, options).Done);
    ASSERT_EQ(library->ImageCount(), 4);
    EXPECT_EQ(library->GetPoint(2), (TPoint{3, 4}));
    EXPECT_EQ(library->GetPoint(3), (TPoint{1, 2}));

    // A frame outside its sheet, or two frames of one number, import nothing.
    for (const char* bad :
         {R"({"frames": {"1": {"frame": {"x": 38, "y": 0, "w": 5, "h": 4}}},
              "meta": {"image": "other.png"}})",
          R"({"frames": [{"filename": "3", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}},
                         {"filename": "003.png", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}}],
              "meta": {"image": "other.png"}})",
          R"({"frames": {}, "meta": {"image": "missing.png"}})"}) {
        std::ofstream(dir / "bad.json") << bad;
        options.DataPath = dir / "bad.json";
        const TAtlasImportResult refused = ImportAtlas(*library, options);
        EXPECT_FALSE(refused.Done);
        EXPECT_FALSE(refused.Error.empty());
    }
    EXPECT_EQ(OpenForTest(dir / "new.wzl")->ImageCount(), 4);
}

std::string Base64Of(const std::vector<uint8_t>& bytes) {
    static const char* const kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 |
                           (i + 1 < bytes.size() ? uint32_t(bytes[i + 1]) << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        for (size_t k = 0; k < 4; ++k)
            out += i + k <= bytes.size() ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// Phaser's multi-atlas form, several unlinked data files of one atlas, names with folders, a sheet
// embedded as a data URI, and the sheets and forms that are refused with a short reason.
TEST(Atlas, ImportReadsTheFormsOfEnginesAndOtherPackers) {
    TCliTempDir dir;
    // Two sheets, each with a 4 x 3 frame of its own colour at (1, 1).
    std::vector<uint8_t> secondSheet;
    for (int s = 0; s < 2; ++s) {
        TDIB sheet;
        sheet.SetPixelFormat(MakePixelFormat(8, 8, 8));
        sheet.SetSize(8, 6, 32);
        for (int y = 1; y < 4; ++y)
            for (int x = 1; x < 5; ++x)
                sheet.SetPixel(x, y, s == 0 ? 0xFF2040C0u : 0x80C04020u);
        ASSERT_TRUE(SavePicture(dir / ("s" + std::to_string(s) + ".png"), sheet, ifPNG));
        if (s == 1)
            secondSheet = SavePNGToMemory(sheet, 9);
    }
    const auto frame = [](const char* name, int x, int y) {
        return std::string(R"({"filename": ")") + name +
               R"(", "frame": {"x": 1, "y": 1, "w": 4, "h": 3},
          "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 4, "h": 3},
          "offset": {"x": )" +
               std::to_string(x) + ", \"y\": " + std::to_string(y) + "}}";
    };
    // Another packer's two unlinked files, frame names with a folder, numbers 2, 8 and 5.
    std::ofstream(dir / "part0.json")
        << R"({"frames": [)" << frame("spr/00002.PNG", 2, 0) << "," << frame("spr/00008.PNG", 8, 0)
        << R"(], "meta": {"image": "s0.png", "scale": "1"}})";
    std::ofstream(dir / "part1.json")
        << R"({"frames": [)" << frame("spr/00005.PNG", 5, 0)
        << R"(], "meta": {"image": "data:image/png;base64,)" << Base64Of(secondSheet)
        << R"(", "scale": 1, "premultiplyAlpha": false}})";
    // Phaser's form of the same frames.
    std::ofstream(dir / "multi.json")
        << R"({"textures": [{"image": "s0.png", "frames": [)" << frame("spr/00002.PNG", 2, 0) << ","
        << frame("spr/00008.PNG", 8, 0) << R"(]}, {"image": "s1.png", "frames": [)"
        << frame("spr/00005.PNG", 5, 0) << R"(]}], "meta": {"app": "a packer"}})";

    for (const std::vector<std::string>& files :
         {std::vector<std::string>{dir / "part0.json", dir / "part1.json"},
          std::vector<std::string>{dir / "multi.json"}}) {
        SCOPED_TRACE(files.front());
        const std::string path = dir / "lib.wzl";
        std::filesystem::remove(path);
        std::filesystem::remove(dir / "lib.wzx");
        ASSERT_TRUE(CreateLibraryFile(t_Wzl, path, 8, "").Created);
        auto library = OpenForTest(path);
        TAtlasImportOptions options;
        options.DataPath = files.front();
        options.MoreDataPaths.assign(files.begin() + 1, files.end());
        const TAtlasImportResult result = ImportAtlas(*library, options);
        ASSERT_TRUE(result.Done) << result.Error;
        EXPECT_EQ(result.Blanks, 0) << "numbers of other packers give the order alone";
        EXPECT_EQ(result.Missing, 4) << "3, 4, 6 and 7";
        ASSERT_EQ(library->ImageCount(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(library->GetPoint(i), (TPoint{2 + 3 * i, 0}));
        int x = 0, y = 0;
        EXPECT_EQ(PictureArgb(*library->Get(1, x, y)).front(), 0x80C04020u)
            << "the second sheet, partly transparent";
    }

    // Refused, with a reason that names the cause and never the whole data URI.
    const std::string jpeg = "\xFF\xD8\xFF\xE0" + std::string(3000, 'j');
    std::ofstream(dir / "photo.png", std::ios::binary) << jpeg;
    std::ofstream(dir / "photo.jpg", std::ios::binary) << jpeg;
    const std::string uri = Base64Of(std::vector<uint8_t>(jpeg.begin(), jpeg.end()));
    const struct {
        std::string meta;
        const char* reason;
    } refused[] = {
        {R"("image": "photo.png")", "JPEG"},
        {R"("image": "photo.jpg")", "JPEG"},
        {R"("image": "data:image/jpeg;base64,)" + uri + "\"", "JPEG"},
        {R"("image": "data:image/png;base64,)" + uri + "\"", "JPEG"},
        {R"("image": "data:image/webp;base64,)" + uri + "\"", "WebP"},
        {R"("image": "s0.png", "scale": "0.5")", "scale 0.5)"},
        {R"("image": "s0.png", "scale": 2)", "scale 2)"},
        {R"("image": "s0.png", "premultiplyAlpha": true)", "premultiplied"},
    };
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "other.wzl", 8, "").Created);
    auto library = OpenForTest(dir / "other.wzl");
    for (const auto& r : refused) {
        std::ofstream(dir / "bad.json")
            << R"({"frames": [)" << frame("1", 0, 0) << R"(], "meta": {)" << r.meta << "}}";
        TAtlasImportOptions options;
        options.DataPath = dir / "bad.json";
        const TAtlasImportResult result = ImportAtlas(*library, options);
        EXPECT_FALSE(result.Done);
        EXPECT_NE(result.Error.find(r.reason), std::string::npos) << result.Error;
        EXPECT_LT(result.Error.size(), 300u) << result.Error;
    }
    EXPECT_EQ(OpenForTest(dir / "other.wzl")->ImageCount(), 0);
}

} // namespace
} // namespace velmora
