// The demo folder that scripts/run and the package check start from: every library opens, with
// and without the command-line tool, with the passwords the folder's own files give, and holds
// pictures of the kind it promises.

#include "tools/demo/demo_folder.h"
#include "tools/demo/demo_pictures.h"

#include "app/recent_files.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "files/text_file.h"
#include "operations/library_kind.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace velmora::demo {
namespace {

namespace fs = std::filesystem;
using cli_test::PictureArgb;
using cli_test::RunCli;
using cli_test::TCliRun;
using cli_test::TCliTempDir;

class DemoFolder : public ::testing::Test {
protected:
    void SetUp() override {
        Home = Dir / "home";
        Libraries = WriteDemoFolder(Home);
        // As the editor starts: the program folder's own password list.
        g_AppDir = Home + "/";
        LoadPakPasswords();
    }
    void TearDown() override {
        g_AppDir.clear();
        g_PakPasswords.clear();
    }

    std::unique_ptr<TGameImages> Open(const TDemoLibrary& demo) {
        TOpenResult opened = OpenLibraryFile(demo.FileName);
        EXPECT_TRUE(opened.Opened()) << demo.FileName << ": " << opened.Error;
        return std::move(opened.Library);
    }

    TCliTempDir Dir;
    std::string Home;
    std::vector<TDemoLibrary> Libraries;
};

TEST_F(DemoFolder, HoldsEveryPromisedKindOfLibrary) {
    std::set<std::string> kinds;
    for (const TDemoLibrary& demo : Libraries) {
        kinds.insert(std::to_string(int(demo.Kind)) + "/" + std::to_string(demo.BitCount) + "/" +
                     (demo.WithAlpha ? "alpha" : "opaque") + "/" + demo.PassWord);
        EXPECT_EQ(LibraryKindOf(demo.FileName), demo.Kind) << demo.FileName;
        EXPECT_GT(demo.ImageCount, 10) << demo.FileName;
    }
    EXPECT_TRUE(kinds.contains("0/8/opaque/"));
    EXPECT_TRUE(kinds.contains("0/16/opaque/"));
    EXPECT_TRUE(kinds.contains("2/8/alpha/"));
    EXPECT_TRUE(kinds.contains("1/8/opaque/"));
    EXPECT_TRUE(kinds.contains(std::string("3/8/alpha/") + kDefaultPakPassword));
    EXPECT_TRUE(kinds.contains(std::string("3/8/opaque/") + kDemoSecretPassword));
}

TEST_F(DemoFolder, EveryLibraryOpensWithThePasswordsOfItsProgramFolder) {
    for (const TDemoLibrary& demo : Libraries) {
        SCOPED_TRACE(demo.FileName);
        EXPECT_EQ(PakPasswordFor(demo.FileName, std::nullopt),
                  demo.Kind == t_Quillrand ? demo.PassWord : kDefaultPakPassword);
        const std::unique_ptr<TGameImages> library = Open(demo);
        ASSERT_TRUE(library);
        ASSERT_EQ(library->ImageCount(), demo.ImageCount);
        if (demo.Kind == t_Wil) {
            EXPECT_EQ(library->BitCount(), demo.BitCount);
        }
        bool negativeOffset = false;
        std::set<std::vector<uint32_t>> distinct;
        for (int i = 0; i < library->ImageCount(); ++i) {
            int x = 0, y = 0;
            const std::unique_ptr<TPicture> picture = library->Get(i, x, y);
            ASSERT_TRUE(picture) << "image " << i;
            EXPECT_GT(picture->Width() * picture->Height(), 4) << "image " << i << " is blank";
            negativeOffset |= x < 0 && y < 0;
            distinct.insert(PictureArgb(*picture));
        }
        EXPECT_TRUE(negativeOffset);
        // Numbers and colours are drawn into every picture: no two images are the same.
        EXPECT_EQ(int(distinct.size()), demo.ImageCount);
    }
}

TEST_F(DemoFolder, SpritesKeepTheirTransparencyAndOpaqueLibrariesHaveNone) {
    for (const TDemoLibrary& demo : Libraries) {
        SCOPED_TRACE(demo.FileName);
        const std::unique_ptr<TGameImages> library = Open(demo);
        ASSERT_TRUE(library);
        int x = 0, y = 0;
        const std::unique_ptr<TPicture> picture = library->Get(1, x, y);
        ASSERT_TRUE(picture);
        const std::vector<uint32_t> argb = PictureArgb(*picture);
        const auto alphaCount = [&](auto test) {
            return std::count_if(argb.begin(), argb.end(),
                                 [&](uint32_t p) { return test(p >> 24); });
        };
        if (demo.WithAlpha) {
            EXPECT_GT(alphaCount([](uint32_t a) { return a == 0; }), 0) << "clear corners";
            EXPECT_GT(alphaCount([](uint32_t a) { return a == 255; }), 0) << "solid body";
            EXPECT_GT(alphaCount([](uint32_t a) { return a > 0 && a < 255; }), 0)
                << "half-transparent shadow and edges";
        } else {
            EXPECT_EQ(alphaCount([](uint32_t a) { return a != 255; }), 0);
        }
    }
}

TEST_F(DemoFolder, SecretPakIsNotOpenWithTheDefaultPassword) {
    const auto secret = std::find_if(Libraries.begin(), Libraries.end(), [](const auto& demo) {
        return demo.PassWord == kDemoSecretPassword;
    });
    ASSERT_NE(secret, Libraries.end());
    EXPECT_EQ(OpenLibraryFile(secret->FileName, std::string(kDefaultPakPassword)).Status,
              TOpenStatus::osWrongPassword);
}

TEST_F(DemoFolder, RecentFileListNamesEveryLibraryNewestFirst) {
    std::vector<std::string> expected;
    for (const TDemoLibrary& demo : Libraries)
        expected.push_back(demo.FileName);
    EXPECT_EQ(LoadRecentFileList(Home + "/" + kRecentFilesName), expected);
    // Writing the folder again replaces the libraries and the lists instead of adding to them.
    Libraries = WriteDemoFolder(Home);
    EXPECT_EQ(LoadRecentFileList(Home + "/" + kRecentFilesName), expected);
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextFile(Home + "/" + kPakPasswordsFileName, lines));
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(Open(Libraries[0])->ImageCount(), Libraries[0].ImageCount);
}

TEST_F(DemoFolder, CommandLineToolListsAndExportsEveryLibrary) {
    for (const TDemoLibrary& demo : Libraries) {
        SCOPED_TRACE(demo.FileName);
        // No --password: Pak libraries get theirs from the demo's Pak.txt or the default.
        TCliRun run = RunCli({"list", demo.FileName}, Home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
        EXPECT_EQ(cli_test::LineCount(run.Out), demo.ImageCount + 1) << run.Out;
        const std::string out = Dir / ("out-" + fs::path(demo.FileName).stem().string());
        run = RunCli({"export", demo.FileName, out, "--format", "auto"}, Home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
        int pictures = 0;
        for (const auto& entry : fs::directory_iterator(out))
            pictures += entry.is_regular_file();
        EXPECT_EQ(pictures, demo.ImageCount);
    }
}

TEST(DemoPictures, EveryDigitHasItsOwnPattern) {
    std::set<std::vector<uint32_t>> patterns;
    for (int digit = 0; digit < 10; ++digit) {
        TDIB canvas = NewCanvas(3, 5, 0);
        DrawNumber(canvas, digit, 0, 0, 1, 0xFFFFFF);
        patterns.insert(PictureArgb(canvas));
    }
    EXPECT_EQ(patterns.size(), 10u);
}

} // namespace
} // namespace velmora::demo
