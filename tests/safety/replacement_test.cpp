// Where and under which names a save replaces a library: through symbolic links, with names near
// the file-name limit, on a full disk; and journals that recovery must not follow.

#include "core/file_stream.h"
#include "core/file_ops.h"
#include "core/journal.h"
#include "core/recovery.h"
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

// A journal that cannot be applied (it names files that are not the library's, is damaged, or
// names a new file that is gone) is never followed and never deleted: the library opens as it
// is, read-only, with a warning; repair sets the journal aside, and edits work again.
TEST(Replacement, AJournalThatCannotBeAppliedIsKeptAndSetAsideByRepair) {
    test::TFormatsTempDir dir;
    const std::string home = dir / "home", lib = dir / "a.wil";
    fs::create_directories(home);
    fs::create_directories(dir / "other");
    ASSERT_EQ(RunCli({"create", lib, "--wil"}, home).Exit, 0);
    ASSERT_EQ(RunCli({"import", lib, "--content", "blank", "--count", "2"}, home).Exit, 0);
    const std::vector<uint8_t> before = test::FileBytes(lib);
    Put(dir / "other/victim", "keep");
    Put(dir / "other/.x", "planted");
    const std::string journal = JournalNameFor(lib);
    for (const std::string& text :
         {"velmora journal 3\nreplace\nrename " + (dir / "other/.x") + "\nto " +
              (dir / "other/victim") + "\nend\n",
          std::string("velmora journal 3\nreplace\nrename .gone.new\nto a.WIX\nrename "
                      ".gone2.new\nto a.wil.extra\nend\n"),
          std::string("velmora journal 3\nreplace\nrename .x")}) {
        Put(journal, text);
        TCliRun run = RunCli({"list", lib}, home);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        EXPECT_NE(run.Err.find("cannot be applied"), std::string::npos) << run.Err;
        EXPECT_NE(RunCli({"delete", lib, "0", "0"}, home).Exit, 0) << "an edit over the journal";
        EXPECT_EQ(Text(dir / "other/victim"), "keep");
        EXPECT_EQ(Text(journal), text);
        EXPECT_EQ(test::FileBytes(lib), before);
        run = RunCli({"repair", lib, "--dry-run"}, home);
        EXPECT_NE(run.Out.find("would keep the journal"), std::string::npos) << run.Out;
        EXPECT_EQ(Text(journal), text);
    }
    const TCliRun run = RunCli({"repair", lib}, home);
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Text(lib + ".journal"), "velmora journal 3\nreplace\nrename .x");
    EXPECT_EQ(RunCli({"delete", lib, "0", "0"}, home).Exit, 0);
    EXPECT_EQ(ListedImages(lib, home), 1);
}

// While another program holds a library's edit lock (its save may be under way), opening it
// touches nothing of that save and reads what is committed.
TEST(Replacement, RecoveryLeavesALiveWritersFilesAlone) {
    test::TFormatsTempDir dir;
    const std::string home = dir / "home", lib = dir / "a.wzl";
    fs::create_directories(home);
    ASSERT_EQ(RunCli({"create", lib, "--wzl"}, home).Exit, 0);
    ASSERT_EQ(RunCli({"import", lib, "--content", "blank", "--count", "3"}, home).Exit, 0);
    Put(ReplacementNameFor(lib), "a save being written");
    Put(JournalNameFor(lib) + ".new", "velmora journal 3\n");
    {
        TLibraryLock writer(lib);
        const TRecoveryReport report = RecoverLibrary({lib});
        EXPECT_TRUE(report.Busy);
        EXPECT_EQ(ListedImages(lib, home), 3);
        EXPECT_TRUE(FileExists(ReplacementNameFor(lib)));
        EXPECT_TRUE(FileExists(JournalNameFor(lib) + ".new"));
    }
    EXPECT_EQ(ListedImages(lib, home), 3);
    for (const std::string& name : FolderNames(dir.Path()))
        EXPECT_NE(name[0], '.') << "left behind once the writer is gone: " << name;
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
