// copy and diff through the real binary: exit statuses, refusals that write nothing, the warning
// before a copy that loses colours, and diff's lines and JSON.

#include "support/cli_support.h"

#include "core/file_stream.h"
#include "files/picture_files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

TEST(CliCopyDiff, CopyRefusesWhatDoesNotFitAndDiffTellsWhatDiffers) {
    TCliTempDir dir;
    const std::string home = dir / "home";
    fs::create_directories(home);
    const auto cli = [&](const std::vector<std::string>& args) { return RunCli(args, home); };
    const std::string a = dir / "a.wzl", b = dir / "b.wil", c = dir / "c.wil";
    fs::create_directories(dir / "pictures");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(SavePicture(dir / ("pictures/" + std::to_string(10 + i) + ".bmp"),
                                PatternPicture(6 + i, 4, uint32_t(i)), ifBMP));
    ASSERT_EQ(cli({"create", a, "--wzl"}).Exit, 0);
    ASSERT_EQ(cli({"import", a, dir / "pictures", "--offsets", "fixed", "--xy", "3,-4"}).Exit, 0);
    ASSERT_EQ(cli({"create", b, "--wil", "--bits", "24"}).Exit, 0);
    ASSERT_EQ(cli({"create", c, "--wil", "--bits", "16"}).Exit, 0);

    TCliRun run = cli({"copy", a, b});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("copied images 0..2 of " + a + " into " + b + " at 0..2"),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Err, "");
    run = cli({"copy", a, c, "--mode", "insert", "--at", "0", "--from", "1"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Err.find("warning: " + a + " -> " + c +
                           " (16 bits): 2 images are reduced to 16-bit colours"),
              std::string::npos)
        << run.Err;

    // Refused: nothing written, the reason said.
    const std::vector<uint8_t> before = TFileStream::ReadAll(b);
    run = cli({"copy", a, b, "--from", "1", "--to", "3"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("images 1..3 are not all in the source (it holds 3 images, 0..2)"),
              std::string::npos)
        << run.Err;
    run = cli({"copy", a, b, "--mode", "replace", "--at", "2"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("images 2..4 to replace are not all in the target"), std::string::npos)
        << run.Err;
    EXPECT_EQ(cli({"copy", a, b, "--mode", "insert"}).Exit, 2);
    EXPECT_EQ(TFileStream::ReadAll(b), before);

    // diff: 0 for equal pictures and offsets, 1 with a line per differing image, 2 on trouble.
    run = cli({"diff", a, b});
    EXPECT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out, "");
    ASSERT_EQ(cli({"offset", b, "1", "5", "6"}).Exit, 0);
    run = cli({"diff", a, b});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, "1: offset (A 7x4 at 3,-4; B 7x4 at 5,6)\n");
    run = cli({"diff", b, c, "--json", "--from", "1"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out.rfind("[{\"index\": 1, \"differences\": [\"size\", \"offset\"], \"a\": "
                            "{\"width\": 7, \"height\": 4, \"x\": 5, \"y\": 6, \"empty\": false}",
                            0),
              0u)
        << run.Out;
    EXPECT_NE(run.Out.find("{\"index\": 2, \"differences\": [\"only in A\"]"), std::string::npos);
    EXPECT_EQ(cli({"diff", a, b, "--from", "3", "--to", "4"}).Exit, 2);
    EXPECT_EQ(cli({"diff", a, dir / "missing.wil"}).Exit, 2);
    EXPECT_EQ(cli({"diff", a, dir / "b.WIX"}).Exit, 2);
}

} // namespace
} // namespace velmora::cli_test
