// passwd, convert and the read-only WIS kind through the real binary.

#include "support/cli_support.h"
#include "tools/wis_writer/wis_writer.h"

#include "core/file_stream.h"
#include "files/picture_files.h"
#include "operations/library_kind.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

class CliFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Home);
        fs::create_directories(Dir / "pics");
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(SavePicture(Dir / ("pics/p" + std::to_string(i) + ".bmp"),
                                    PatternPicture(6 + i, 5, uint32_t(i)), ifBMP));
    }
    TCliRun Cli(const std::vector<std::string>& args) { return RunCli(args, Home); }

    static void ExpectSamePictures(TGameImages& a, TGameImages& b) {
        ASSERT_EQ(a.ImageCount(), b.ImageCount());
        for (int i = 0; i < a.ImageCount(); ++i) {
            int ax = 0, ay = 0, bx = 0, by = 0;
            auto pa = a.Get(i, ax, ay);
            auto pb = b.Get(i, bx, by);
            ASSERT_EQ(pa == nullptr, pb == nullptr) << i;
            if (!pa)
                continue;
            EXPECT_EQ(TPoint(ax, ay), TPoint(bx, by)) << i;
            EXPECT_EQ(PictureArgb(*pa), PictureArgb(*pb)) << i;
        }
    }

    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TCliTempDir Dir;
    std::string Home = Dir / "home";
};

TEST_F(CliFiles, PasswdReKeysKeepsPicturesBacksUpAndUpdatesTheList) {
    const std::string lib = Dir / "patch.pak";
    ASSERT_EQ(Cli({"create", lib, "--pak", "--password", "old"}).Exit, 0);
    ASSERT_EQ(Cli({"import", lib, Dir / "pics", "--password", "old", "--xy", "3,4"}).Exit, 0);
    std::ofstream(Home + "/Pak.txt") << "other.pak|x\r\nsub/PATCH.PAK|old\r\npatch.pak|old\r\n";
    const std::vector<uint8_t> before = TFileStream::ReadAll(lib);

    TCliRun run = Cli({"passwd", lib, "--new", "neu", "--backup"});
    ASSERT_EQ(run.Exit, 0) << run.Err << " (the old password comes from the list)";
    EXPECT_EQ(TFileStream::ReadAll(lib + ".bak"), before);
    EXPECT_EQ(Cli({"info", lib, "--password", "old"}).Exit, 3);
    EXPECT_EQ(Cli({"info", lib, "--password", "neu"}).Exit, 0);
    // The first entry with the file's name (any case, any folder) takes the new password.
    EXPECT_EQ(ReadText(Home + "/Pak.txt"), "other.pak|x\r\nsub/PATCH.PAK|neu\r\npatch.pak|old\r\n");
    EXPECT_EQ(Cli({"info", lib}).Exit, 0) << "the list now opens it";

    // A password the list would read back as "ne" is refused; file and list stay as they are.
    const std::vector<uint8_t> rekeyed = TFileStream::ReadAll(lib);
    run = Cli({"passwd", lib, "--new", "ne|u"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("“|”"), std::string::npos) << run.Err;
    EXPECT_EQ(TFileStream::ReadAll(lib), rekeyed);
    EXPECT_EQ(ReadText(Home + "/Pak.txt"), "other.pak|x\r\nsub/PATCH.PAK|neu\r\npatch.pak|old\r\n");

    TOpenResult current = OpenLibraryFile(lib, std::string("neu"));
    ASSERT_TRUE(current.Opened());
    // The backup keeps its own name's extension (.bak), which is not a Pak name; compare by
    // opening a copy under a Pak name.
    fs::copy_file(lib + ".bak", Dir / "backup.pak");
    auto old = OpenForTest(Dir / "backup.pak", "old");
    ASSERT_TRUE(old);
    ExpectSamePictures(*old, *current.Library);
}

TEST_F(CliFiles, PasswordsTheCodePageCannotHoldOpenNothingAndMakeNothing) {
    // "😀key" and "😁key" have no CP936 form; neither may stand in for "?key" or for each other.
    const std::string lib = Dir / "q.pak";
    ASSERT_EQ(Cli({"create", lib, "--pak", "--password", "?key"}).Exit, 0);
    EXPECT_EQ(Cli({"info", lib, "--password", "😀key"}).Exit, 3);
    EXPECT_EQ(Cli({"info", lib, "--password", "?key"}).Exit, 0);

    ASSERT_EQ(Cli({"create", Dir / "src.wil", "--wil"}).Exit, 0);
    const std::vector<uint8_t> before = TFileStream::ReadAll(lib);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"create", Dir / "e.pak", "--pak", "--password", "😀key"},
          std::vector<std::string>{"convert", Dir / "src.wil", Dir / "c.pak", "--password", "😁key"},
          std::vector<std::string>{"passwd", lib, "--password", "?key", "--new", "😁key"}}) {
        const TCliRun run = Cli(args);
        EXPECT_EQ(run.Exit, 1) << args[0];
        EXPECT_NE(run.Err.find("CP936"), std::string::npos) << args[0] << ": " << run.Err;
    }
    EXPECT_FALSE(fs::exists(Dir / "e.pak"));
    EXPECT_FALSE(fs::exists(Dir / "c.pak"));
    EXPECT_EQ(TFileStream::ReadAll(lib), before);
}

TEST_F(CliFiles, ConvertCopiesEveryImageIntoPakAndWzl) {
    const std::string wil = Dir / "src.wil";
    ASSERT_EQ(Cli({"create", wil, "--wil", "--bits", "16"}).Exit, 0);
    ASSERT_EQ(Cli({"import", wil, Dir / "pics", "--xy", "-5,9"}).Exit, 0);
    ASSERT_EQ(Cli({"delete", wil, "1", "1", "--blank"}).Exit, 0);
    auto source = OpenForTest(wil);

    TCliRun run = Cli({"convert", wil, Dir / "dst.pak", "--compress", "--password", "pw"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    auto pak = OpenForTest(Dir / "dst.pak", "pw");
    ASSERT_TRUE(pak);
    EXPECT_EQ(pak->BitCount(), 16) << "the target takes the source's bit count";
    ExpectSamePictures(*source, *pak);

    run = Cli({"convert", wil, Dir / "dst.wzl"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    auto wzl = OpenForTest(Dir / "dst.wzl");
    ASSERT_TRUE(wzl);
    ExpectSamePictures(*source, *wzl);
}

TEST_F(CliFiles, ConvertWarnsOfLossesAndAtlasesGoBothWays) {
    const std::string wzl = Dir / "alpha.wzl";
    ASSERT_EQ(Cli({"create", wzl, "--wzl"}).Exit, 0);
    ASSERT_EQ(Cli({"import", wzl, Dir / "pics", "--xy", "3,-4"}).Exit, 0);
    auto source = OpenForTest(wzl);
    TCliRun run = Cli({"convert", wzl, Dir / "low.wil", "--bits", "8"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Err.find("warning"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("256 colours"), std::string::npos) << run.Err;
    run = Cli({"convert", wzl, Dir / "deep.wil"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Err.find("warning"), std::string::npos) << run.Err;
    EXPECT_EQ(OpenForTest(Dir / "deep.wil")->ImageCount(), source->ImageCount());

    // The data file's folder is made; the sheet is found from there.
    run = Cli({"atlas", "export", wzl, Dir / "sheet.png", "--format", "json-array", "--padding",
               "0", "--data", Dir / "data/frames.json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    ASSERT_EQ(Cli({"create", Dir / "back.wzl", "--wzl"}).Exit, 0);
    run = Cli({"atlas", "import", Dir / "back.wzl", Dir / "data/frames.json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    auto back = OpenForTest(Dir / "back.wzl");
    ASSERT_EQ(back->ImageCount(), source->ImageCount());
    for (int i = 0; i < source->ImageCount(); ++i)
        EXPECT_EQ(back->GetPoint(i), source->GetPoint(i)) << i;
    EXPECT_EQ(
        Cli({"atlas", "import", Dir / "back.wzl", Dir / "data/frames.json", "--at", "1"}).Exit, 2);
    EXPECT_EQ(Cli({"atlas", "pack", wzl, Dir / "x.png"}).Exit, 2);

    // Sheets too large for many devices are refused with the limit; a name without an extension
    // gets .png; several sheets give Phaser's multi-atlas file, and their data files, given
    // together (each also names the others), import as one atlas.
    run = Cli({"atlas", "export", wzl, Dir / "many", "--max-size", "100000"});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find("8192"), std::string::npos) << run.Err;
    run = Cli({"atlas", "export", wzl, Dir / "many", "--max-size", "12", "--prefix", "m/"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(FileExists(Dir / "many.png") && FileExists(Dir / "many-1.png"));
    EXPECT_NE(run.Out.find(Dir / "many.multiatlas.json"), std::string::npos) << run.Out;
    ASSERT_EQ(Cli({"create", Dir / "two.wzl", "--wzl"}).Exit, 0);
    std::vector<std::string> import{"atlas", "import", Dir / "two.wzl"};
    for (const auto& entry : fs::directory_iterator(Dir.Path()))
        if (entry.path().filename().string().rfind("many", 0) == 0 &&
            entry.path().filename().string().find("multi") == std::string::npos &&
            entry.path().extension() == ".json")
            import.push_back(entry.path().string());
    run = Cli(import);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(OpenForTest(Dir / "two.wzl")->ImageCount(), source->ImageCount());
}

TEST_F(CliFiles, FailedConvertLeavesTheTargetAlone) {
    const std::string target = Dir / "keep.pak";
    ASSERT_EQ(Cli({"create", target, "--pak"}).Exit, 0);
    const std::vector<uint8_t> before = TFileStream::ReadAll(target);

    TCliRun run = Cli({"convert", Dir / "missing.wil", target});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("missing.wil"), std::string::npos) << run.Err;

    const std::string damaged = Dir / "damaged.wil";
    std::ofstream(damaged, std::ios::binary) << "no library";
    run = Cli({"convert", damaged, target});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(LineCount(run.Err), 1) << run.Err;
    EXPECT_NE(run.Err.find(damaged), std::string::npos) << run.Err;

    run = Cli({"convert", target, Dir / "again.pak"});
    EXPECT_EQ(run.Exit, 1) << "Pak libraries are not a conversion source";
    EXPECT_FALSE(fs::exists(Dir / "again.pak"));
    run = Cli({"convert", Dir / "x.wzl", Dir / "x2.wzl"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(TFileStream::ReadAll(target), before);
    for (const auto& entry : fs::directory_iterator(Dir.Path()))
        EXPECT_NE(entry.path().filename().string()[0], '.');
}

TEST_F(CliFiles, WisLibrariesAreReadConvertedAndOnlyTheirOffsetsChange) {
    TWisWriter writer;
    std::vector<uint8_t> pixels(12 * 6);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(1 + i % 200);
    writer.AddImage(12, 6, 7, -3, pixels, false);
    writer.AddImage(12, 6, -1, 2, pixels, true);
    const std::string wis = Dir / "old.wis";
    writer.Save(wis);

    TCliRun run = Cli({"list", wis, "--json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"index\": 1, \"width\": 12, \"height\": 6, \"x\": -1, \"y\": 2"),
              std::string::npos)
        << run.Out;
    run = Cli({"import", wis, Dir / "pics"});
    EXPECT_EQ(run.Exit, 1) << "WIS libraries take no pictures";
    run = Cli({"delete", wis, "0", "0"});
    EXPECT_EQ(run.Exit, 1) << "a deletion that would not be written is not reported as done";
    run = Cli({"offset", wis, "1", "20", "-30"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "20 -30\n");
    EXPECT_EQ(Cli({"offset", wis, "1"}).Out, "20 -30\n");

    run = Cli({"convert", wis, Dir / "new.pak"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    auto source = OpenForTest(wis);
    auto pak = OpenForTest(Dir / "new.pak");
    ASSERT_TRUE(source && pak);
    ExpectSamePictures(*source, *pak);
}

} // namespace
} // namespace velmora::cli_test
