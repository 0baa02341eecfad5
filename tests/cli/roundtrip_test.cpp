// Runs the real binary through create, import, list, export and a second import of the exported
// pictures, for every library kind that can be written, and compares pixels and offsets.

#include "support/cli_support.h"

#include "core/file_stream.h"
#include "files/picture_files.h"
#include "files/placements.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

struct TKindCase {
    const char* Name;
    const char* Ext;
    std::vector<std::string> CreateArgs;
    bool KeepsAlpha;   // the format stores an alpha plane
    bool ExactAlpha;   // ... at full resolution (WZL keeps a half-width plane)
    bool KeepsColours; // 24-bit pictures are stored unchanged
    std::string Password = "quillrand";
};

std::ostream& operator<<(std::ostream& os, const TKindCase& c) {
    return os << c.Name;
}

class CliRoundTrip : public ::testing::TestWithParam<TKindCase> {
protected:
    // A folder of four pictures: an RGBA PNG with transparent pixels, a BMP and a TGA with
    // offset files for the first two, and a 2 x 2 PNG that is imported as an empty image.
    void MakePictures(const std::string& folder) {
        fs::create_directories(folder + "/Placements");
        TDIB rgba = PatternPicture(9, 5, 1);
        rgba.SetBitCount(32);
        for (int y = 0; y < rgba.Height(); ++y)
            for (int x = 0; x < rgba.Width(); ++x) {
                const uint32_t alpha = (x + y) % 3 == 0 ? 0 : (x * 40 + 30) & 0xFF;
                rgba.SetPixel(x, y, (rgba.Pixel(x, y) & 0xFFFFFF) | alpha << 24);
            }
        ASSERT_TRUE(SavePicture(folder + "/p0.png", rgba, ifPNG));
        Bmp = PatternPicture(10, 7, 2);
        ASSERT_TRUE(SavePicture(folder + "/p1.bmp", Bmp, ifBMP));
        ASSERT_TRUE(SavePicture(folder + "/p2.tga", PatternPicture(6, 3, 3), ifTGA));
        ASSERT_TRUE(SavePicture(folder + "/p3.png", PatternPicture(2, 2, 4), ifPNG));
        SavePlacement(folder + "/Placements/p0.txt", {3, -7});
        SavePlacement(folder + "/Placements/p1.txt", {-12, 40});
    }

    TCliTempDir Dir;
    TDIB Bmp;
};

TEST_P(CliRoundTrip, ImportExportReimportKeepsPixelsAndOffsets) {
    const TKindCase& kind = GetParam();
    const std::string home = Dir / "home";
    fs::create_directories(home);
    // Pak libraries are opened with the password the list gives for their names.
    std::ofstream(home + "/Pak.txt") << "a.pak|geheim\r\nb.pak|geheim\r\n";
    MakePictures(Dir / "in");
    const std::string lib = Dir / (std::string("a.") + kind.Ext);
    const std::string copy = Dir / (std::string("b.") + kind.Ext);

    std::vector<std::string> create{"create", lib};
    create.insert(create.end(), kind.CreateArgs.begin(), kind.CreateArgs.end());
    TCliRun run = RunCli(create, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunCli({"import", lib, Dir / "in"}, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Err, "") << "no progress bar when stderr is not a terminal";

    run = RunCli({"list", lib, "--json"}, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::regex entry(
        R"re(\{"index": (\d+), "width": (\d+), "height": (\d+), "x": (-?\d+), "y": (-?\d+), "empty": (true|false))re");
    std::vector<std::smatch> entries;
    for (auto it = std::sregex_iterator(run.Out.begin(), run.Out.end(), entry);
         it != std::sregex_iterator(); ++it)
        entries.push_back(*it);
    ASSERT_EQ(entries.size(), 4u) << run.Out;
    EXPECT_EQ(entries[0][4], "3");
    EXPECT_EQ(entries[0][5], "-7");
    EXPECT_EQ(entries[1][4], "-12");
    EXPECT_EQ(entries[1][5], "40");
    EXPECT_EQ(entries[2][4], "0") << "a picture without an offset file gets (0, 0)";
    EXPECT_EQ(entries[3][6], "true") << "a 2 x 2 picture becomes an empty image";
    EXPECT_EQ(entries[1][6], "false");
    // The alpha of a compressed WZL image shows only once it is inflated, which --alpha asks for.
    const std::regex alpha(R"re(\{"index": 0,[^}]*"alpha": ("unknown"|true|false))re");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(run.Out, found, alpha)) << run.Out;
    const bool known = kind.ExactAlpha || !kind.KeepsAlpha;
    EXPECT_EQ(found[1], known ? (kind.KeepsAlpha ? "true" : "false") : "\"unknown\"");
    run = RunCli({"list", lib, "--alpha", "--json"}, home);
    ASSERT_TRUE(std::regex_search(run.Out, found, alpha)) << run.Out;
    EXPECT_EQ(found[1], kind.KeepsAlpha ? "true" : "false");

    run = RunCli({"export", lib, Dir / "out"}, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(FileExists(Dir / "out/00001.PNG"));
    EXPECT_EQ(LoadPlacement(Dir / "out/00001.PNG"), (TPoint{-12, 40}));

    run = RunCli(create, home);
    EXPECT_EQ(run.Exit, 1) << "create leaves an existing library alone";
    EXPECT_NE(run.Err.find(lib), std::string::npos) << run.Err;
    create[1] = copy;
    ASSERT_EQ(RunCli(create, home).Exit, 0);
    run = RunCli({"import", copy, Dir / "out"}, home);
    ASSERT_EQ(run.Exit, 0) << run.Err;

    auto a = OpenForTest(lib, kind.Password);
    auto b = OpenForTest(copy, kind.Password);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->ImageCount(), 4);
    ASSERT_EQ(b->ImageCount(), 4);
    for (int i = 0; i < 4; ++i) {
        int ax = 0, ay = 0, bx = 0, by = 0;
        auto pa = a->Get(i, ax, ay);
        auto pb = b->Get(i, bx, by);
        ASSERT_TRUE(pa && pb) << i;
        EXPECT_EQ(TPoint(ax, ay), TPoint(bx, by)) << "image " << i;
        EXPECT_EQ(pa->Width(), pb->Width()) << "image " << i;
        if (i == 0 && kind.KeepsAlpha && !kind.ExactAlpha)
            continue;
        EXPECT_EQ(PictureArgb(*pa), PictureArgb(*pb)) << "image " << i;
    }
    int x = 0, y = 0;
    auto first = a->Get(0, x, y);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->AsPng() != nullptr && first->AsPng()->HasAlpha(), kind.KeepsAlpha);
    if (kind.KeepsColours) {
        auto bmp = a->Get(1, x, y);
        TDIB original;
        ASSERT_TRUE(original.LoadFromFile(Dir / "in/p1.bmp"));
        EXPECT_EQ(PictureArgb(*bmp), PictureArgb(original));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CliRoundTrip,
    ::testing::Values(
        TKindCase{"wil8", "wil", {"--wil"}, false, false, false},
        TKindCase{"wil16", "wil", {"--wil", "--bits", "16"}, false, false, false},
        TKindCase{"wil24", "wil", {"--wil", "--bits", "24"}, false, false, true},
        TKindCase{"wil32", "wil", {"--wil", "--bits", "32"}, false, false, true},
        TKindCase{"wzl", "wzl", {"--wzl"}, true, false, true},
        TKindCase{"pak", "pak", {"--pak", "--password", "geheim"}, true, true, true, "geheim"}),
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
