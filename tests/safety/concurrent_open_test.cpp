// Libraries opened by one process while another saves them: every opening lists the library as one
// of the states the saves go through, never a change half made, and no save fails because of the
// readers.

#include "files/picture_files.h"
#include "support/cli_support.h"
#include "support/trace_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::safety_test {

namespace {

namespace fs = std::filesystem;
using trace_test::RunProgram;

class ConcurrentOpen : public ::testing::TestWithParam<const char*> {};

TEST_P(ConcurrentOpen, ReadersSeeWholeStatesAndWritersNeverFail) {
    cli_test::TCliTempDir dir;
    const std::string home = dir.Path() + "/";
    const std::string lib = dir / (std::string("lib.") + GetParam());
    const std::string picture = dir / "p.png";
    ASSERT_TRUE(SavePicture(picture, cli_test::PatternPicture(40, 30, 5), ifPNG));
    const std::string kind = std::string("--") + GetParam();
    ASSERT_EQ(RunProgram({VELMORA_CLI_PATH, "create", lib, kind}, home).Exit, 0);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(RunProgram({VELMORA_CLI_PATH, "import", lib, picture}, home).Exit, 0);

    // The three states a round of edits goes through: an image appended (in place where the
    // format allows), that image blanked (in place), then removed (the files written anew).
    const std::vector<std::vector<std::string>> round{
        {VELMORA_CLI_PATH, "import", lib, picture},
        {VELMORA_CLI_PATH, "delete", lib, "30", "30", "--blank"},
        {VELMORA_CLI_PATH, "delete", lib, "30", "30"}};
    const auto listing = [&] { return RunProgram({VELMORA_CLI_PATH, "list", lib}, home); };
    std::set<std::string> states{listing().Out};
    for (const auto& edit : round) {
        ASSERT_EQ(RunProgram(edit, home).Exit, 0);
        states.insert(listing().Out);
    }
    ASSERT_EQ(states.size(), 3u);

    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        for (int n = 0; n < 12; ++n)
            for (const auto& edit : round)
                if (RunProgram(edit, home).Exit != 0)
                    ::_exit(1);
        ::_exit(0);
    }
    int reads = 0, status = 0;
    while (::waitpid(writer, &status, WNOHANG) == 0) {
        const trace_test::TProcessRun run = listing();
        ++reads;
        EXPECT_EQ(run.Exit, 0);
        EXPECT_TRUE(states.count(run.Out)) << "a listing of no whole state:\n" << run.Out;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
    EXPECT_GT(reads, 3);
    EXPECT_TRUE(states.count(listing().Out));
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

INSTANTIATE_TEST_SUITE_P(WritableKinds, ConcurrentOpen, ::testing::Values("wil", "wzl", "pak"));

} // namespace

} // namespace velmora::safety_test
