// The bash completion that velmora-cli writes from its command table, run in bash the way
// readline runs it: what it offers after a command line, against what --help says.

#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;
using TWords = std::set<std::string>;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliCompletion : public ::testing::Test {
protected:
    void SetUp() override {
        const TCliRun script = RunCli({"--completion", "bash"}, Dir.Path());
        ASSERT_EQ(script.Exit, 0) << script.Err;
        std::ofstream(Dir / "velmora-cli.bash") << script.Out;
        // The function "complete -p" names, called with COMP_WORDS as bash fills them.
        std::ofstream(Dir / "complete.sh")
            << "source \"$1\" || exit 3\n"
               "registration=$(complete -p velmora-cli) || exit 4\n"
               "function=${registration#*-F }; function=${function%% *}\n"
               "cd \"$2\" && shift 2 || exit 5\n"
               "COMP_WORDS=(velmora-cli \"$@\"); COMP_CWORD=$#\n"
               "\"$function\"\n"
               "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
        fs::create_directories(Work / "sub");
        for (const char* name :
             {"Sprites.Wzl", "tiles.WIL", "a.Pak", "pic.png", "pic.BMP", "data.json", "notes.txt"})
            std::ofstream(Work / name) << "x";
    }

    // The words offered for the last of `words` (the text being completed) in the work folder.
    TWords Offered(const std::vector<std::string>& words) {
        std::string command = "bash " + Quoted(Dir / "complete.sh") + " " +
                              Quoted(Dir / "velmora-cli.bash") + " " + Quoted(Work.Path());
        for (const std::string& word : words)
            command += " " + Quoted(word);
        FILE* pipe = ::popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::string out;
        char buffer[4096];
        for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        EXPECT_EQ(pipe ? ::pclose(pipe) : -1, 0) << command;
        TWords offered;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty())
                offered.insert(line);
        return offered;
    }

    TCliTempDir Dir;
    TCliTempDir Work;
};

TEST_F(CliCompletion, OffersWhatTheCommandsTake) {
    EXPECT_EQ(Offered({"atlas", ""}), (TWords{"export", "import"}));
    EXPECT_EQ(Offered({"atlas", "e"}), (TWords{"export"}));
    // Values of --format, also as "--format=" that bash splits at the "=".
    const TWords pictures{"png", "bmp", "tga", "auto"};
    EXPECT_EQ(Offered({"export", "tiles.WIL", "out", "--format", ""}), pictures);
    EXPECT_EQ(Offered({"export", "--format", "="}), pictures);
    EXPECT_EQ(Offered({"export", "--format", "=", "p"}), (TWords{"png"}));
    EXPECT_EQ(Offered({"atlas", "export", "tiles.WIL", "t.png", "--format", ""}),
              (TWords{"json-hash", "json-array"}));
    EXPECT_EQ(Offered({"import", "tiles.WIL", "--mode", ""}),
              (TWords{"append", "insert", "replace"}));
    // File names by the kinds each position takes, extensions in any case; folders to reach more.
    EXPECT_EQ(Offered({"info", ""}), (TWords{"Sprites.Wzl", "tiles.WIL", "a.Pak", "sub"}));
    EXPECT_EQ(Offered({"passwd", ""}), (TWords{"a.Pak", "sub"}));
    EXPECT_EQ(Offered({"import", "tiles.WIL", "pic.png", ""}),
              (TWords{"pic.png", "pic.BMP", "sub"}));
    EXPECT_EQ(Offered({"export", "--from", "3", "tiles.WIL", ""}), (TWords{"sub"}));
    EXPECT_EQ(Offered({"atlas", "import", "tiles.WIL", ""}), (TWords{"data.json", "sub"}));
    EXPECT_EQ(Offered({"atlas", "export", "tiles.WIL", "--data", ""}),
              (TWords{"data.json", "sub"}));
    EXPECT_EQ(Offered({"convert", "tiles.WIL", "t"}), (TWords{"tiles.WIL"}));
    EXPECT_EQ(Offered({"delete", "tiles.WIL", ""}), TWords{}); // a number
    EXPECT_EQ(Offered({"offset", "tiles.WIL", "-5", "3", "7", ""}),
              (TWords{"--password", "--help"}));
    EXPECT_EQ(Offered({"info", "--", "-"}), TWords{}); // "--" ends the options
}

// Commands and options are those --help shows, so a command or option added to the table without
// its help text (or the other way round) shows here.
TEST_F(CliCompletion, FollowsTheHelp) {
    const TCliRun help = RunCli({"--help"}, Dir.Path());
    ASSERT_EQ(help.Exit, 0);
    TWords commands;
    const std::regex commandLine(R"(\n  velmora-cli ([a-z-]+))");
    for (std::sregex_iterator it(help.Out.begin(), help.Out.end(), commandLine), end; it != end;
         ++it)
        commands.insert((*it)[1]);
    ASSERT_GE(commands.size(), 12u);
    TWords first = commands;
    first.insert({"help", "--help", "--version"});
    EXPECT_EQ(Offered({""}), first);
    EXPECT_EQ(Offered({"help", ""}), commands);

    const std::regex option(R"(--[a-z][a-z-]*)");
    for (const std::string& command : commands) {
        const TCliRun usage = RunCli({command, "--help"}, Dir.Path());
        ASSERT_EQ(usage.Exit, 0) << command;
        TWords options{"--help"};
        for (std::sregex_iterator it(usage.Out.begin(), usage.Out.end(), option), end; it != end;
             ++it)
            options.insert(it->str());
        EXPECT_EQ(Offered({command, "-"}), options) << command;
    }
}

} // namespace
} // namespace velmora::cli_test
