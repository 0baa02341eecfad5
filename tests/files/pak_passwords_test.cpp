#include "files/pak_passwords.h"

#include "files/app_dir.h"
#include "files/text_file.h"
#include "support/files_support.h"

#include "core/file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using files_test::TTempFolder;

class PakPasswords : public ::testing::Test {
protected:
    void SetUp() override {
        g_AppDir = folder.Path();
        g_PakPasswords.clear();
    }
    void TearDown() override {
        g_AppDir.clear();
        g_PakPasswords.clear();
    }
    TTempFolder folder;
};

TEST(PakPasswordLines, LenientParsingOfNamesPasswordsAndSeparators) {
    const std::vector<std::string> lines = {
        "a.pak|pw|third", // third field dropped
        "  b.pak  ",      // name only, blanks around it
        "c.pak|",         // separator and nothing else
        "|d.pak",         // leading separators are skipped: a name, the default password
        "e.pak||pe",      // two separators between name and password
        "1anything|x",    // starts with the digit 1: skipped
        "",               // empty: skipped
        " \t\x01 ",       // only blanks and control characters: skipped
        "|||",            // only separators: no name, no entry
        "\tf.pak|p f \r", // trimmed at both ends, inner blanks kept
        "2.pak|two",      // other digits are fine
        "g.pak| ",        // a password of one blank is kept as it is (fields are not trimmed)
    };
    const std::vector<TPakPassword> expected = {
        {"a.pak", "pw"}, {"b.pak", "quillrand"}, {"c.pak", "quillrand"}, {"d.pak", "quillrand"},
        {"e.pak", "pe"}, {"f.pak", "p f"},       {"2.pak", "two"},       {"g.pak", "quillrand"},
    };
    EXPECT_EQ(ParsePakPasswordLines(lines), expected);
}

TEST_F(PakPasswords, MissingListGivesTheDefaultEntryWithoutWritingIt) {
    g_PakPasswords = {{"old", "x"}};
    LoadPakPasswords();
    ASSERT_EQ(g_PakPasswords.size(), 1u);
    EXPECT_EQ(g_PakPasswords[0].sFileName, folder.Path() + "Data/DevovAD.Pak");
    EXPECT_EQ(g_PakPasswords[0].sPassWord, "quillrand");
    EXPECT_FALSE(files_test::ReadBytes(folder.File("Pak.txt")).size());

    // The default entry serves the same name anywhere, in any case, with either separator.
    EXPECT_EQ(FindPakPassword("D:\\x\\DevovAD.pak"), "quillrand");
    EXPECT_EQ(FindPakPassword("/games/data/devovad.PAK"), "quillrand");
    EXPECT_EQ(FindPakPassword("Other.pak"), "");

    // Loading a chosen file that does not exist does the same.
    g_PakPasswords = {{"old", "x"}};
    LoadPakPasswords(folder.File("nothing.txt"));
    ASSERT_EQ(g_PakPasswords.size(), 1u);
    EXPECT_EQ(g_PakPasswords[0].sPassWord, "quillrand");
}

TEST_F(PakPasswords, FirstMatchingEntryWinsAndFoldersAreNeverCompared) {
    g_PakPasswords = {{"C:\\one\\Hum.pak", "first"}, {"/two/hum.pak", "second"}, {"x.pak", "x"}};
    EXPECT_EQ(FindPakPassword("/elsewhere/HUM.PAK"), "first");
    EXPECT_EQ(FindPakPassword("x.pak"), "x");
    EXPECT_EQ(FindPakPassword("hum.pak.bak"), "");
    EXPECT_EQ(FindPakPassword(""), "");
}

TEST_F(PakPasswords, SavedListHasOneSeparatorPerLineAndReadsBack) {
    g_PakPasswords = {{"a.pak", "one"}, {"dir/b.pak", "two words"}, {"a.pak", "dup"}};
    SavePakPasswords();
    const std::vector<uint8_t> bytes = files_test::ReadBytes(folder.File("Pak.txt"));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, "a.pak|one\r\ndir/b.pak|two words\r\na.pak|dup\r\n");
    const auto saved = g_PakPasswords;
    g_PakPasswords.clear();
    LoadPakPasswords();
    EXPECT_EQ(g_PakPasswords, saved);

    // A name holding the separator does not survive: it is read back split at it.
    g_PakPasswords = {{"we|ird.pak", "pw"}};
    SavePakPasswords();
    LoadPakPasswords();
    ASSERT_EQ(g_PakPasswords.size(), 1u);
    EXPECT_EQ(g_PakPasswords[0].sFileName, "we");
    EXPECT_EQ(g_PakPasswords[0].sPassWord, "ird.pak");
}

TEST_F(PakPasswords, ChineseListsAreReadInTheirEncodingAndWrittenBackInIt) {
    // "密码" in GBK, as a list copied from a Windows tool holds it.
    const std::vector<uint8_t> gbk = {'m',  '.',  'p',  'a',  'k',  '|',
                                      0xC3, 0xDC, 0xC2, 0xEB, '\r', '\n'};
    files_test::WriteBytes(folder.File("Pak.txt"), gbk);
    LoadPakPasswords();
    ASSERT_EQ(g_PakPasswords.size(), 1u);
    EXPECT_EQ(g_PakPasswords[0].sPassWord, "密码");
    g_PakPasswords.push_back({"n.pak", "口令"});
    SavePakPasswords();
    std::vector<uint8_t> expected = gbk;
    expected.insert(expected.end(),
                    {'n', '.', 'p', 'a', 'k', '|', 0xBF, 0xDA, 0xC1, 0xEE, '\r', '\n'});
    EXPECT_EQ(files_test::ReadBytes(folder.File("Pak.txt")), expected);

    // UTF-16 with its byte-order mark stays UTF-16.
    std::vector<uint8_t> utf16;
    EncodeText("u.pak|密码\r\n", TTextEncoding::teUTF16LE, utf16);
    files_test::WriteBytes(folder.File("Pak.txt"), utf16);
    LoadPakPasswords();
    ASSERT_EQ(g_PakPasswords.size(), 1u);
    EXPECT_EQ(g_PakPasswords[0], (TPakPassword{"u.pak", "密码"}));
    SavePakPasswords();
    EXPECT_EQ(files_test::ReadBytes(folder.File("Pak.txt")), utf16);
}

TEST_F(PakPasswords, ASaveThatFailsIsReportedAndKeepsTheOldList) {
    g_PakPasswords = {{"a.pak", "b"}};
    EXPECT_TRUE(SavePakPasswords());
    const std::vector<uint8_t> before = files_test::ReadBytes(folder.File("Pak.txt"));

    // A list that does not fit (a file-size limit stands in for a full disk) leaves every
    // remembered password in place.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        IgnoreFileSizeSignal();
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        g_PakPasswords.assign(20, TPakPassword{"another.pak", "another password"});
        ::_exit(SavePakPasswords() ? 1 : 0);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the failure is reported";
    EXPECT_EQ(files_test::ReadBytes(folder.File("Pak.txt")), before);
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        EXPECT_EQ(entry.path().filename().string(), "Pak.txt") << "nothing else is left";

    g_AppDir = folder.File("missing/");
    EXPECT_FALSE(SavePakPasswords());
}

TEST_F(PakPasswords, ExactlyThePasswordsThatFitReadBackUnchanged) {
    const std::vector<std::string> passwords = {
        "plain",       " leading blank",  "inner blank",       "密码",
        "~!@#$%^&*()", "trailing blank ", "bar|in the middle", "|",
        "line\nbreak", "tab\tinside",     "tab at the end\t",  "carriage\rreturn",
        "del\x7f"};
    for (const std::string& password : passwords) {
        g_PakPasswords = {{"a.pak", password}, {"b.pak", "next"}};
        ASSERT_TRUE(SavePakPasswords());
        LoadPakPasswords();
        const bool survived = g_PakPasswords.size() == 2 &&
                              g_PakPasswords[0].sPassWord == password &&
                              g_PakPasswords[1] == TPakPassword{"b.pak", "next"};
        EXPECT_EQ(survived, PasswordFitsList(password)) << password;
    }
}

} // namespace
} // namespace velmora
