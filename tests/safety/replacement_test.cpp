// Where and under which names a save replaces a library: through symbolic links, with names near
// the file-name limit, on a full disk, and after a crash of an earlier version.

#include "core/file_stream.h"
#include "core/safe_replace.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "support/cli_support.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace velmora::safety_test {

namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::TCliRun;

void Put(const std::string& path, const std::string& text) {
    test::SetFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = test::FileBytes(path);
    return {bytes.begin(), bytes.end()};
}

bool IsLink(const std::string& path) {
    return fs::is_symlink(fs::symlink_status(path));
}

// The number of images velmora-cli lists.
int ListedImages(const std::string& lib, const std::string& home) {
    const TCliRun run = RunCli({"list", lib, "--json"}, home);
    EXPECT_EQ(run.Exit, 0) << run.Err;
    int count = 0;
    for (size_t at = run.Out.find("\"index\""); at != std::string::npos;
         at = run.Out.find("\"index\"", at + 1))
        ++count;
    return count;
}

TEST(Replacement, LibrariesReachedThroughLinksAreSavedWhereTheLinksLead) {
    test::TFormatsTempDir dir;
    const std::string home = dir / "home", store = dir / "store", lib = dir / "lib";
    for (const std::string& folder : {home, store, lib})
        fs::create_directories(folder);
    Put(home + "/Pak.txt", "a.pak|geheim\r\nreal.pak|geheim\r\n");
    const std::vector<std::pair<std::string, std::vector<std::string>>> kinds{
        {"wil", {"--wil", "--bits", "16"}},
        {"wzl", {"--wzl"}},
        {"pak", {"--pak", "--password", "geheim"}}};
    for (const auto& [ext, createArgs] : kinds) {
        const std::string real = store + "/real." + ext, link = lib + "/a." + ext;
        std::vector<std::string> create{"create", real};
        create.insert(create.end(), createArgs.begin(), createArgs.end());
        TCliRun run = RunCli(create, home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
        fs::create_symlink("../store/real." + ext, link);
        // The index is looked for beside the name given, and followed where it is a link.
        const char* index = ext == "wil" ? "WIX" : ext == "wzl" ? "wzx" : nullptr;
        if (index)
            fs::create_symlink(std::string("../store/real.") + index, lib + "/a." + index);

        run = RunCli({"import", link, "--content", "blank", "--count", "3"}, home);
        ASSERT_EQ(run.Exit, 0) << ext << ": " << run.Err;
        run = RunCli({"delete", link, "0", "0"}, home);
        ASSERT_EQ(run.Exit, 0) << ext << ": " << run.Err;
        EXPECT_TRUE(IsLink(link)) << ext;
        EXPECT_TRUE(!index || IsLink(lib + "/a." + index)) << ext;
        EXPECT_EQ(ListedImages(real, home), 2) << ext << ": the file the link leads to changed";
    }
    EXPECT_EQ(FolderNames(store), (std::vector<std::string>{"real.WIX", "real.pak", "real.wil",
                                                            "real.wzl", "real.wzx"}));
    EXPECT_EQ(FolderNames(lib),
              (std::vector<std::string>{"a.WIX", "a.pak", "a.wil", "a.wzl", "a.wzx"}));
}

TEST(Replacement, ANameNearTheFileNameLimitCanBeEdited) {
    test::TFormatsTempDir dir;
    const std::string home = dir / "home";
    fs::create_directories(home);
    for (const char* ext : {".wil", ".wzl", ".pak"}) {
        // 255 characters is the limit of most file systems.
        const std::string lib = dir / (std::string(251, 'n') + ext);
        TCliRun run = RunCli({"create", lib,
                              ext == std::string(".wil")   ? "--wil"
                              : ext == std::string(".wzl") ? "--wzl"
                                                           : "--pak"},
                             home);
        ASSERT_EQ(run.Exit, 0) << run.Err;
        run = RunCli({"import", lib, "--content", "blank", "--count", "2"}, home);
        ASSERT_EQ(run.Exit, 0) << ext << ": " << run.Err;
        EXPECT_EQ(ListedImages(lib, home), 2) << ext;

        // The editor's own save (without the command line's working copy).
        auto library = cli_test::OpenForTest(lib);
        ASSERT_NE(library, nullptr) << ext;
        ASSERT_TRUE(library->Delete(0, 0, nullptr)) << ext;
        library.reset();
        EXPECT_EQ(ListedImages(lib, home), 1) << ext;
    }
    for (const std::string& name : FolderNames(dir.Path()))
        EXPECT_TRUE(name == "home" || name.size() == 255) << "left behind: " << name;
}

TEST(Replacement, RecoveryKnowsTheNamesOfEarlierVersions) {
    test::TFormatsTempDir dir;
    const std::string data = dir / "a.wil", index = dir / "a.WIX";
    // A crash between the two renames of an earlier version: the data file is new, the index
    // still old, the journal and the new index under the old names.
    Put(data, "new data");
    Put(index, "old index");
    Put(dir / ".a.WIX.velmora-new", "new index");
    Put(dir / ".a.wil.velmora-journal",
        "velmora replacement 1\n.a.wil.velmora-new\na.wil\n.a.WIX.velmora-new\na.WIX\nend\n");
    RecoverReplacement(data, {index});
    EXPECT_EQ(Text(data), "new data");
    EXPECT_EQ(Text(index), "new index");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.WIX", "a.wil"}));

    // A crash before any journal: new files and working copies under the old names go, the
    // library stays.
    for (const char* leftover : {".a.wil.velmora-new", ".a.WIX.velmora-new", ".a.velmora-tmp.wil",
                                 ".a.velmora-tmp.WIX", ".a.wil.velmora-journal.new"})
        Put(dir / leftover, "partial");
    RecoverReplacement(data, {index});
    EXPECT_EQ(Text(data), "new data");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.WIX", "a.wil"}));
}

TEST(Replacement, AJournalIsFollowedOnlyWhereItReplacesTheLibrary) {
    test::TFormatsTempDir dir;
    fs::create_directories(dir / "other");
    const std::string data = dir / "a.wzl", victim = dir / "other/victim";
    Put(data, "old data");
    Put(victim, "keep");
    Put(dir / "other/.x", "planted");
    Put(JournalNameFor(data), "velmora replacement 2\n" + fs::absolute(dir / "other/.x").string() +
                                  "\n" + fs::absolute(victim).string() + "\nend\n");
    RecoverReplacement(data, {dir / "a.wzx"});
    EXPECT_EQ(Text(victim), "keep");
    EXPECT_EQ(Text(data), "old data");
    EXPECT_FALSE(FileExists(JournalNameFor(data)));
}

// A small file system of its own in a private mount namespace, so that nothing outlives the test;
// where mounting is not allowed the test is skipped.
class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        Disk = Dir / "disk";
        fs::create_directories(Disk);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("velmora-test", Disk.c_str(), "tmpfs", 0, "size=4m") != 0)
            GTEST_SKIP() << "no small file system can be mounted here";
        Mounted = true;
    }
    void TearDown() override {
        if (Mounted)
            ::umount2(Disk.c_str(), MNT_DETACH);
    }
    // Fills the disk up to `spare` bytes.
    void Fill(int64_t spare) {
        const int64_t size = int64_t(fs::space(Disk).available) - spare;
        if (size > 0)
            test::SetFileBytes(Disk + "/filler" + std::to_string(Fillers++),
                               std::vector<uint8_t>(size_t(size), 0x55));
    }
    // What a save left behind: every temporary name is hidden.
    std::vector<std::string> HiddenNames() const {
        std::vector<std::string> hidden;
        for (const std::string& name : FolderNames(Disk))
            if (name[0] == '.')
                hidden.push_back(name);
        return hidden;
    }

    test::TFormatsTempDir Dir;
    std::string Disk;
    bool Mounted = false;
    int Fillers = 0;
};

TEST_F(FullDisk, FailedSavesLeaveTheOldFilesAndNothingElse) {
    const std::string path = Disk + "/lib.wzl";
    CreateTestLibrary(path, TLibraryCase::Wzl, 40, 128); // about 1.3 MB
    const std::vector<uint8_t> data = test::FileBytes(path);
    Fill(int64_t(data.size()) / 2);

    // The command line, then the editor's own save.
    const TCliRun run = RunCli({"delete", path, "0", "0"}, Dir / "home");
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("No space left on device"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(path), std::string::npos) << "the library is named: " << run.Err;
    EXPECT_EQ(HiddenNames(), std::vector<std::string>{});
    {
        auto library = OpenTestLibrary(path, TLibraryCase::Wzl);
        ASSERT_NE(library, nullptr);
        EXPECT_THROW(library->Delete(0, 0, nullptr), EFileError);
    }
    EXPECT_EQ(HiddenNames(), std::vector<std::string>{});
    EXPECT_EQ(test::FileBytes(path), data);

    // The password list keeps every remembered password when the new one does not fit.
    const std::string savedAppDir = g_AppDir;
    g_AppDir = Disk + "/";
    Put(Disk + "/Pak.txt", "old.pak|secret\r\n");
    Fill(0);
    g_PakPasswords.assign(2000, TPakPassword{"some-library-with-a-long-name.pak", "password"});
    EXPECT_FALSE(SavePakPasswords());
    g_AppDir = savedAppDir;
    g_PakPasswords.clear();
    EXPECT_EQ(Text(Disk + "/Pak.txt"), "old.pak|secret\r\n");
    EXPECT_EQ(HiddenNames(), std::vector<std::string>{});
}

} // namespace

} // namespace velmora::safety_test
