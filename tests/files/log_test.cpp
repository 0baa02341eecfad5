#include "files/log.h"

#include "core/file_stream.h"
#include "files/app_dir.h"
#include "files/text_file.h"
#include "support/files_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora {
namespace {

using files_test::TTempFolder;

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        g_AppDir = folder.Path();
        SetLogFileName("");
    }
    void TearDown() override {
        SetLogFileName("");
        g_AppDir.clear();
    }
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        ReadTextFile(folder.File("VelmoraLog.txt"), lines);
        return lines;
    }
    TTempFolder folder;
};

TEST_F(Log, AppendsLinesWithAndWithoutTime) {
    WriteLog("first", false);
    WriteLog("second", true);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d second)")))
        << lines[1];
    const std::vector<uint8_t> bytes = files_test::ReadBytes(folder.File("VelmoraLog.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "first\r\n");
    EXPECT_EQ(bytes.back(), '\n');
}

// Two threads of one program, and another program beside them, each append whole lines: none is
// lost or written over, whoever writes at the same time.
TEST_F(Log, ThreadsAndProcessesProduceWholeLines) {
    constexpr int kLines = 400;
    auto writer = [](char mark) {
        for (int i = 0; i < kLines; ++i)
            WriteLog(std::string(300, mark) + std::to_string(i), false);
    };
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        writer('c');
        ::_exit(0);
    }
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    int status = 0;
    ::waitpid(other, &status, 0);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u * kLines);
    int next[3] = {0, 0, 0};
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 301u);
        const char mark = line[0];
        ASSERT_TRUE(mark == 'a' || mark == 'b' || mark == 'c') << line;
        ASSERT_EQ(line, std::string(300, mark) + std::to_string(next[mark - 'a']++));
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
    EXPECT_EQ(next[2], kLines);
}

TEST_F(Log, LineEndsInsideTheTextDoNotSplitTheEntry) {
    WriteLog("one\r\ntwo\nthree", false);
    ASSERT_EQ(Lines().size(), 1u);
}

TEST_F(Log, UnwritableLogRaisesAndReleasesTheLock) {
    SetLogFileName(folder.File("missing/VelmoraLog.txt"));
    EXPECT_THROW(WriteLog("lost", true), EFileError);
    SetLogFileName("");
    WriteLog("kept", false);
    EXPECT_EQ(Lines(), std::vector<std::string>{"kept"});
}

TEST_F(Log, ExistingGbkLogStaysGbk) {
    files_test::WriteBytes(folder.File("VelmoraLog.txt"), {0xB4, 0xED, 0xCE, 0xF3, '\r', '\n'});
    WriteLog("错误", false);
    EXPECT_EQ(files_test::ReadBytes(folder.File("VelmoraLog.txt")),
              (std::vector<uint8_t>{0xB4, 0xED, 0xCE, 0xF3, '\r', '\n', 0xB4, 0xED, 0xCE, 0xF3,
                                    '\r', '\n'}));
    EXPECT_EQ(LogFileName(), folder.File("VelmoraLog.txt"));
}

} // namespace
} // namespace velmora
