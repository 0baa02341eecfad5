// Runs the real binary through create, import, list, export and a second import and export of
// the exported pictures, for every library kind and depth that can be written.

#include "support/cli_support.h"
#include "support/pak_support.h"

#include "core/file_stream.h"
#include "files/picture_files.h"
#include "files/placements.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

struct TKindCase {
    const char* Name;
    const char* Ext;
    std::vector<std::string> CreateArgs; // empty: an old-layout Pak built by the test
    std::vector<std::string> ImportArgs;
    const char* Format; // of the exports
    bool KeepsAlpha;    // the format stores alpha
    bool AlphaInHeader; // ... and says so without decoding
    bool KeepsColours;  // 24-bit pictures are stored unchanged
    std::string Password = "geheim";
};

std::ostream& operator<<(std::ostream& os, const TKindCase& c) {
    return os << c.Name;
}

// Every file below a folder, by its path relative to it.
std::map<std::string, std::vector<uint8_t>> FilesIn(const std::string& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] =
                TFileStream::ReadAll(entry.path().string());
    return files;
}

class CliRoundTrip : public ::testing::TestWithParam<TKindCase> {
protected:
    // A folder of pictures: RGBA PNGs with soft edges and transparent pixels (an odd width and
    // one whose half-width alpha plane ends in a sample no pixel shows alone), a TGA with alpha,
    // a BMP and an opaque PNG with offset files for some, and a 2 x 2 PNG that is imported as an
    // empty image.
    void MakePictures(const std::string& folder) {
        fs::create_directories(folder + "/Placements");
        int n = 0;
        for (const int width : {9, 10}) {
            TDIB rgba = PatternPicture(width, 5, uint32_t(width));
            rgba.SetBitCount(32);
            for (int y = 0; y < rgba.Height(); ++y)
                for (int x = 0; x < rgba.Width(); ++x) {
                    const uint32_t alpha = (x + y) % 3 == 0 ? 0 : (x * 40 + 30 + y * 7) & 0xFF;
                    rgba.SetPixel(x, y, (rgba.Pixel(x, y) & 0xFFFFFF) | alpha << 24);
                }
            // A lone visible pixel in an odd column between transparent ones, which a half-width
            // plane cannot show.
            for (const int x : {4, 5, 6})
                rgba.SetPixel(x, 4, (rgba.Pixel(x, 4) & 0xFFFFFF) | (x == 5 ? 200u << 24 : 0u));
            ASSERT_TRUE(SavePicture(folder + "/p" + std::to_string(n++) + ".png", rgba, ifPNG));
            if (width == 10) {
                ASSERT_TRUE(SavePicture(folder + "/p" + std::to_string(n++) + ".tga", rgba, ifTGA));
            }
        }
        Bmp = PatternPicture(10, 7, 2);
        ASSERT_TRUE(SavePicture(folder + "/p3.bmp", Bmp, ifBMP));
        ASSERT_TRUE(SavePicture(folder + "/p4.png", PatternPicture(6, 3, 3), ifPNG));
        ASSERT_TRUE(SavePicture(folder + "/p5.png", PatternPicture(2, 2, 4), ifPNG));
        SavePlacement(folder + "/Placements/p0.txt", {3, -7});
        SavePlacement(folder + "/Placements/p3.txt", {-12, 40});
    }

    // A new, empty library of the kind.
    void Create(const TKindCase& kind, const std::string& path) {
        if (kind.CreateArgs.empty()) {
            test::TPakTestFile file;
            file.bfType = 0;
            file.Password = kind.Password;
            test::WritePakBytes(path, test::BuildPakFile(file));
            return;
        }
        std::vector<std::string> create{"create", path};
        create.insert(create.end(), kind.CreateArgs.begin(), kind.CreateArgs.end());
        const TCliRun run = RunCli(create, Home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
    }

    void Import(const TKindCase& kind, const std::string& lib, const std::string& folder) {
        std::vector<std::string> import{"import", lib, folder};
        import.insert(import.end(), kind.ImportArgs.begin(), kind.ImportArgs.end());
        const TCliRun run = RunCli(import, Home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
        EXPECT_EQ(run.Err, "") << "no progress bar when stderr is not a terminal";
    }

    void Export(const TKindCase& kind, const std::string& lib, const std::string& folder) {
        const TCliRun run = RunCli({"export", lib, folder, "--format", kind.Format}, Home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
    }

    TCliTempDir Dir;
    std::string Home = Dir / "home";
    TDIB Bmp;
};

// Import a picture set, export it, import the export into a new library of the same kind and
// export that: both exports are the same files, byte for byte, alpha included. Offsets, empty
// images and what the list shows hold on the way.
TEST_P(CliRoundTrip, ASecondExportOfTheImportedExportIsTheSame) {
    const TKindCase& kind = GetParam();
    fs::create_directories(Home);
    // Pak libraries are opened with the password the list gives for their names.
    std::ofstream(Home + "/Pak.txt") << "a.pak|geheim\r\nb.pak|geheim\r\n";
    MakePictures(Dir / "in");
    const std::string lib = Dir / (std::string("a.") + kind.Ext);
    const std::string copy = Dir / (std::string("b.") + kind.Ext);
    Create(kind, lib);
    Import(kind, lib, Dir / "in");

    TCliRun run = RunCli({"list", lib, "--json"}, Home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::regex entry(
        R"re(\{"index": (\d+), "width": (\d+), "height": (\d+), "x": (-?\d+), "y": (-?\d+), "empty": (true|false))re");
    std::vector<std::smatch> entries;
    for (auto it = std::sregex_iterator(run.Out.begin(), run.Out.end(), entry);
         it != std::sregex_iterator(); ++it)
        entries.push_back(*it);
    ASSERT_EQ(entries.size(), 6u) << run.Out;
    EXPECT_EQ(entries[0][4], "3");
    EXPECT_EQ(entries[0][5], "-7");
    EXPECT_EQ(entries[3][4], "-12");
    EXPECT_EQ(entries[3][5], "40");
    EXPECT_EQ(entries[2][4], "0") << "a picture without an offset file gets (0, 0)";
    EXPECT_EQ(entries[5][6], "true") << "a 2 x 2 picture becomes an empty image";
    EXPECT_EQ(entries[3][6], "false");
    // The alpha of a compressed WZL image shows only once it is inflated, which --alpha asks for.
    // The TGA's alpha goes in as the PNG's does.
    for (const char* index : {"0", "2"}) {
        const std::regex alpha(std::string(R"re(\{"index": )re") + index +
                               R"re(,[^}]*"alpha": ("unknown"|true|false))re");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(run.Out, found, alpha)) << run.Out;
        const bool known = kind.AlphaInHeader || !kind.KeepsAlpha;
        EXPECT_EQ(found[1], known ? (kind.KeepsAlpha ? "true" : "false") : "\"unknown\"");
        const TCliRun decoded = RunCli({"list", lib, "--alpha", "--json"}, Home);
        ASSERT_TRUE(std::regex_search(decoded.Out, found, alpha)) << decoded.Out;
        EXPECT_EQ(found[1], kind.KeepsAlpha ? "true" : "false") << "image " << index;
    }

    Export(kind, lib, Dir / "out");
    EXPECT_EQ(LoadPlacement(Dir / "out/00003." + std::string(kind.Format)), (TPoint{-12, 40}));
    if (!kind.CreateArgs.empty()) {
        std::vector<std::string> again{"create", lib};
        again.insert(again.end(), kind.CreateArgs.begin(), kind.CreateArgs.end());
        run = RunCli(again, Home);
        EXPECT_EQ(run.Exit, 1) << "create leaves an existing library alone";
        EXPECT_NE(run.Err.find(lib), std::string::npos) << run.Err;
    }
    Create(kind, copy);
    Import(kind, copy, Dir / "out");
    Export(kind, copy, Dir / "again");
    const auto first = FilesIn(Dir / "out"), second = FilesIn(Dir / "again");
    ASSERT_EQ(first.size(), 12u);
    for (const auto& [name, bytes] : first) {
        ASSERT_TRUE(second.count(name)) << name;
        EXPECT_TRUE(second.at(name) == bytes) << name << " differs";
    }

    auto a = OpenForTest(lib, kind.Password);
    int x = 0, y = 0;
    auto soft = a->Get(0, x, y);
    ASSERT_TRUE(soft);
    EXPECT_EQ(soft->AsPng() != nullptr && soft->AsPng()->HasAlpha(), kind.KeepsAlpha);
    if (kind.KeepsColours) {
        auto bmp = a->Get(3, x, y);
        TDIB original;
        ASSERT_TRUE(original.LoadFromFile(Dir / "in/p3.bmp"));
        EXPECT_EQ(PictureArgb(*bmp), PictureArgb(original));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CliRoundTrip,
    ::testing::Values(
        TKindCase{"wil8", "wil", {"--wil"}, {}, "png", false, false, false},
        TKindCase{"wil16", "wil", {"--wil", "--bits", "16"}, {}, "png", false, false, false},
        TKindCase{"wil24", "wil", {"--wil", "--bits", "24"}, {}, "tga", false, false, true},
        TKindCase{"wil32", "wil", {"--wil", "--bits", "32"}, {}, "tga", false, false, true},
        TKindCase{"wzl", "wzl", {"--wzl"}, {}, "png", true, false, true},
        TKindCase{"wzl_compressed", "wzl", {"--wzl"}, {"--compress"}, "tga", true, false, true},
        TKindCase{"pak", "pak", {"--pak", "--password", "geheim"}, {}, "png", true, true, true},
        TKindCase{"pak_compressed",
                  "pak",
                  {"--pak", "--password", "geheim"},
                  {"--compress"},
                  "tga",
                  true,
                  true,
                  true},
        TKindCase{"pak_old_layout", "pak", {}, {}, "png", false, false, false},
        TKindCase{"pak_old_layout_packed", "pak", {}, {"--compress"}, "png", false, false, false}),
    [](const auto& info) { return std::string(info.param.Name); });

// Every export format brings the same pictures back, and automatic naming follows the stored kind.
TEST(CliExportFormats, BmpTgaAndAutoReimportToTheSamePictures) {
    TCliTempDir dir;
    const std::string home = dir / "home";
    fs::create_directories(home + "/in");
    TDIB rgba = PatternPicture(7, 4, 9);
    rgba.SetBitCount(32);
    rgba.SetPixel(0, 0, 0x40000000u | (rgba.Pixel(0, 0) & 0xFFFFFF));
    ASSERT_TRUE(SavePicture(home + "/in/a.png", rgba, ifPNG));
    ASSERT_TRUE(SavePicture(home + "/in/b.bmp", PatternPicture(5, 6, 10), ifBMP));
    const std::string lib = dir / "s.pak";
    ASSERT_EQ(RunCli({"create", lib, "--pak"}, home).Exit, 0);
    ASSERT_EQ(RunCli({"import", lib, home + "/in", "--compress"}, home).Exit, 0);

    TCliRun run = RunCli({"export", lib, dir / "auto", "--format", "auto"}, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(FileExists(dir / "auto/00000.PNG")) << "a picture stored with alpha stays PNG";
    EXPECT_TRUE(FileExists(dir / "auto/00001.BMP"));
    EXPECT_TRUE(FileExists(dir / "auto/Placements/00001.txt"));

    auto original = OpenForTest(lib);
    for (const char* format : {"bmp", "tga", "auto"}) {
        const std::string out = dir / (std::string("out-") + format);
        run = RunCli({"export", lib, out, "--format", format}, home);
        ASSERT_EQ(run.Exit, 0) << format << ": " << run.Err;
        const std::string back = dir / (std::string("back-") + format + ".pak");
        ASSERT_EQ(RunCli({"create", back, "--pak"}, home).Exit, 0);
        run = RunCli({"import", back, out}, home);
        ASSERT_EQ(run.Exit, 0) << format << ": " << run.Err;
        auto copy = OpenForTest(back);
        ASSERT_EQ(copy->ImageCount(), 2);
        for (int i = 0; i < 2; ++i) {
            int x = 0, y = 0;
            auto a = original->Get(i, x, y);
            auto b = copy->Get(i, x, y);
            std::vector<uint32_t> pa = PictureArgb(*a), pb = PictureArgb(*b);
            // BMP and TGA pictures come back as 32-bit pixel buffers without a separate alpha
            // plane, so only their colours are compared.
            if (std::string(format) != "auto")
                for (auto* v : {&pa, &pb})
                    for (uint32_t& p : *v)
                        p &= 0xFFFFFF;
            EXPECT_EQ(pa, pb) << format << " image " << i;
        }
    }
}

} // namespace
} // namespace velmora::cli_test
