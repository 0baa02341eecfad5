// Failures through the real binary: exit statuses, one stderr line naming the file and the reason,
// and libraries left as they were.

#include "support/cli_support.h"
#include "support/formats_support.h"

#include "core/file_stream.h"
#include "files/picture_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

class CliErrors : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Home); }
    TCliRun Cli(const std::vector<std::string>& args) { return RunCli(args, Home); }

    // A library with two pictures.
    std::string Library(const std::string& name, const std::vector<std::string>& kindArgs) {
        const std::string lib = Dir / name;
        std::vector<std::string> create{"create", lib};
        create.insert(create.end(), kindArgs.begin(), kindArgs.end());
        EXPECT_EQ(Cli(create).Exit, 0);
        fs::create_directories(Dir / "two");
        EXPECT_TRUE(SavePicture(Dir / "two/a.bmp", PatternPicture(8, 4, 1), ifBMP));
        EXPECT_TRUE(SavePicture(Dir / "two/b.bmp", PatternPicture(9, 4, 2), ifBMP));
        std::vector<std::string> import{"import", lib, Dir / "two"};
        if (kindArgs.size() > 2 && kindArgs[1] == "--password")
            import.insert(import.end(), {"--password", kindArgs[2]});
        EXPECT_EQ(Cli(import).Exit, 0);
        return lib;
    }

    static void ExpectOneLineNaming(const TCliRun& run, const std::string& file) {
        EXPECT_EQ(LineCount(run.Err), 1) << run.Err;
        EXPECT_NE(run.Err.find(file), std::string::npos) << run.Err;
    }

    TCliTempDir Dir;
    std::string Home = Dir / "home";
};

TEST_F(CliErrors, WrongPasswordExitsWithThreeForEveryCommand) {
    const std::string lib = Library("locked.pak", {"--pak", "--password", "right"});
    const std::vector<uint8_t> before = TFileStream::ReadAll(lib);
    const std::vector<std::vector<std::string>> commands{
        {"info", lib},
        {"list", lib, "--password", "wrong"},
        {"export", lib, Dir / "out", "--password", "wrong"},
        {"import", lib, Dir / "two", "--password", "wrong"},
        {"delete", lib, "0", "1", "--password", "wrong"},
        {"offset", lib, "0", "5", "5", "--password", "wrong"},
        {"passwd", lib, "--password", "wrong", "--new", "other"}};
    for (const auto& command : commands) {
        TCliRun run = Cli(command);
        EXPECT_EQ(run.Exit, 3) << command[0] << ": " << run.Err;
        ExpectOneLineNaming(run, lib);
        EXPECT_NE(run.Err.find("wrong password"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(TFileStream::ReadAll(lib), before);
    EXPECT_FALSE(fs::exists(Dir / "out/00000.PNG"));
    EXPECT_EQ(Cli({"info", lib, "--password", "right"}).Exit, 0);
}

TEST_F(CliErrors, DamagedLibrariesFailWithOneLineNamingTheFile) {
    const std::string garbage = Dir / "garbage.wil";
    std::ofstream(garbage, std::ios::binary) << "this is not a library at all";
    std::ofstream(Dir / "garbage.wix", std::ios::binary) << "nor is this an index";
    TCliRun run = Cli({"info", garbage});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, garbage);

    // A Pak magic with the header cut off is damage, not a wrong password.
    const std::string pak = Library("cut.pak", {"--pak"});
    std::vector<uint8_t> bytes = TFileStream::ReadAll(pak);
    bytes.resize(100);
    std::ofstream(pak, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    run = Cli({"list", pak});
    EXPECT_EQ(run.Exit, 1) << run.Err;
    ExpectOneLineNaming(run, pak);

    run = Cli({"info", Dir / "missing.wzl"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, Dir / "missing.wzl");
}

TEST_F(CliErrors, UnreadablePictureChangesNothingAndIsNamed) {
    const std::string lib = Library("keep.wzl", {"--wzl"});
    const std::vector<uint8_t> data = TFileStream::ReadAll(lib);
    const std::vector<uint8_t> index = TFileStream::ReadAll(Dir / "keep.wzx");
    fs::create_directories(Dir / "bad");
    ASSERT_TRUE(SavePicture(Dir / "bad/a.png", PatternPicture(8, 4, 5), ifPNG));
    std::ofstream(Dir / "bad/b.png", std::ios::binary) << "\x89PNG but broken";
    ASSERT_TRUE(SavePicture(Dir / "bad/c.png", PatternPicture(8, 4, 6), ifPNG));
    TCliRun run = Cli({"import", lib, Dir / "bad"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find(Dir / "bad/b.png"), std::string::npos) << run.Err;
    EXPECT_EQ(TFileStream::ReadAll(lib), data);
    EXPECT_EQ(TFileStream::ReadAll(Dir / "keep.wzx"), index);
    for (const auto& entry : fs::directory_iterator(Dir.Path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "no temporary copy is left behind";

    // A refused edit is a failure too: replacing past the end is clamped, but inserting into a
    // picture list of a missing file is refused before anything happens.
    run = Cli({"import", lib, Dir / "nothing-here.png"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, Dir / "nothing-here.png");
}

TEST_F(CliErrors, PicturesThatCannotBeWrittenAreCountedAndNamed) {
    const std::string lib = Library("out.wil", {"--wil", "--bits", "16"});
    // A folder where the picture of image 1 should go makes its write fail.
    fs::create_directories(Dir / "out/00001.PNG");
    TCliRun run = Cli({"export", lib, Dir / "out"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, "00001.PNG");
    EXPECT_TRUE(fs::exists(Dir / "out/00000.PNG"));
    EXPECT_NE(run.Out.find("exported 1 pictures"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("1 not written"), std::string::npos) << run.Out;
}

// An image whose stored stream does not decode fails the export; it is not an empty slot.
TEST_F(CliErrors, ImagesThatDoNotDecodeFailTheExport) {
    const std::string lib = Dir / "damaged.wzl";
    ASSERT_EQ(Cli({"create", lib, "--wzl"}).Exit, 0);
    fs::create_directories(Dir / "three");
    for (int i = 0; i < 3; ++i) {
        // Plain pictures: their streams are smaller than their pixels, so they are kept.
        TDIB plain;
        plain.SetSize(8 + i, 4, 24);
        plain.FillRect(0, 0, 8 + i, 4, RGBColor(200, uint8_t(40 * i), 9));
        ASSERT_TRUE(SavePicture(Dir / ("three/" + std::to_string(i) + ".bmp"), plain, ifBMP));
    }
    ASSERT_EQ(Cli({"import", lib, Dir / "three", "--compress"}).Exit, 0);
    test::DamageWzlStream(lib, 1);
    TCliRun run = Cli({"export", lib, Dir / "out", "--json"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, "00001.PNG");
    EXPECT_NE(run.Out.find("\"written\": 2, \"failed\": 1"), std::string::npos) << run.Out;
    EXPECT_FALSE(fs::exists(Dir / "out/Placements/00001.txt"));
    EXPECT_TRUE(fs::exists(Dir / "out/00002.PNG"));
}

TEST_F(CliErrors, EditsOutsideTheLibraryAreRefused) {
    const std::string lib = Library("small.wil", {"--wil"});
    TCliRun run = Cli({"offset", lib, "2"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, lib);
    run = Cli({"offset", lib, "1", "40000", "0"});
    EXPECT_EQ(run.Exit, 1) << "an offset that 16 bits cannot hold is not cut silently";
    run = Cli({"import", lib, Dir / "two/a.bmp", "--mode", "replace", "--at", "-1"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, lib);

    const std::vector<uint8_t> before = TFileStream::ReadAll(lib);
    run = Cli({"delete", lib, "5", "9"});
    EXPECT_EQ(run.Exit, 1) << "images past the end are not taken to mean the last one";
    EXPECT_EQ(TFileStream::ReadAll(lib), before);

    const std::string empty = Dir / "empty.wil";
    ASSERT_EQ(Cli({"create", empty, "--wil"}).Exit, 0);
    run = Cli({"delete", empty, "0", "0"});
    EXPECT_EQ(run.Exit, 1);
    ExpectOneLineNaming(run, empty);
}

TEST_F(CliErrors, UsageErrorsExitWithTwo) {
    const std::string lib = Library("u.wil", {"--wil"});
    const std::vector<std::vector<std::string>> wrong{
        {},
        {"frobnicate"},
        {"info"},
        {"info", lib, "--colour"},
        {"export", lib, Dir / "x", "--format", "gif"},
        {"export", lib, Dir / "x", "--from", "two"},
        {"export", lib, Dir / "x", "--png-level", "13"},
        {"offset", lib, "1", "2"},
        {"create", Dir / "n.wil", "--wil", "--wzl"},
        {"create", Dir / "n.wil", "--wil", "--bits", "12"},
        {"create", Dir / "n.pak", "--wil"},
        {"convert", lib, Dir / "n.bmp"},
        {"passwd", lib},
        {"import", lib},
        {"import", lib, "--content", "blank"},
        {"import", lib, Dir / "two", "--mode", "insert"},
        {"import", lib, Dir / "two", "--xy", "1;2"},
    };
    for (const auto& args : wrong) {
        TCliRun run = Cli(args);
        EXPECT_EQ(run.Exit, 2) << (args.empty() ? "(none)" : args[0]) << " " << run.Err;
        EXPECT_FALSE(run.Err.empty());
    }
    EXPECT_FALSE(fs::exists(Dir / "n.wil"));
}

TEST_F(CliErrors, HelpAndVersion) {
    TCliRun run = Cli({"--version"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out.rfind("velmora-cli ", 0), 0u) << run.Out;
    run = Cli({"--help"});
    EXPECT_EQ(run.Exit, 0);
    for (const char* command :
         {"info", "list", "export", "import", "delete", "offset", "create", "convert", "passwd"}) {
        EXPECT_NE(run.Out.find(std::string("velmora-cli ") + command), std::string::npos);
        TCliRun help = Cli({command, "--help"});
        EXPECT_EQ(help.Exit, 0) << command;
        EXPECT_EQ(help.Out.rfind(std::string("velmora-cli ") + command, 0), 0u) << help.Out;
        EXPECT_EQ(help.Err, "");
    }
}

} // namespace
} // namespace velmora::cli_test
