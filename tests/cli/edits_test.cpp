// Edits through the real binary that must not lose images: a library whose index is missing or
// damaged, values the formats cannot hold, a Pak on read-only media, read-only files that reading
// leaves alone, and a library changed by another program while one edit waits for the other.

#include "support/cli_support.h"

#include "core/file_stream.h"
#include "core/library_lock.h"
#include "files/picture_files.h"
#include "operations/library_kind.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <thread>

namespace velmora::cli_test {
namespace {

namespace fs = std::filesystem;

class CliEdits : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Home); }
    TCliRun Cli(const std::vector<std::string>& args) { return RunCli(args, Home); }

    // A library of `count` pictures 6..(6 + count - 1) pixels wide.
    std::string Library(const std::string& name, const std::string& kind, int count) {
        const std::string lib = Folder + "/" + name;
        EXPECT_EQ(Cli({"create", lib, kind}).Exit, 0);
        const std::string pictures = Folder + "/" + ("pictures-" + name);
        fs::create_directories(pictures);
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(SavePicture(pictures + "/" + std::to_string(10 + i) + ".bmp",
                                    PatternPicture(6 + i, 4, uint32_t(i)), ifBMP));
        EXPECT_EQ(Cli({"import", lib, pictures}).Exit, 0);
        return lib;
    }

    TCliTempDir Dir;
    std::string Home = Dir / "home";
    std::string Folder = Dir.Path();
};

TEST_F(CliEdits, AMissingOrDamagedIndexRefusesEditsUntilItIsRepaired) {
    for (const char* kind : {"--wil", "--wzl"}) {
        SCOPED_TRACE(kind);
        const std::string ext = std::string(kind) == "--wil" ? ".WIX" : ".wzx";
        const std::string lib =
            Library(std::string("lib") + (kind + 1) + "." + (kind + 2), kind, 7);
        const std::string index = fs::path(lib).replace_extension(ext).string();
        const std::vector<uint8_t> data = TFileStream::ReadAll(lib);
        const std::vector<uint8_t> goodIndex = TFileStream::ReadAll(index);
        fs::remove(index);

        // Seen, said, and never written: every earlier image would be lost by a save.
        const TCliRun info = Cli({"info", lib, "--json"});
        EXPECT_EQ(info.Exit, 0);
        EXPECT_NE(info.Out.find("\"imageCount\": 0"), std::string::npos) << info.Out;
        EXPECT_NE(info.Out.find("\"headerImageCount\": 7"), std::string::npos) << info.Out;
        EXPECT_NE(info.Out.find("\"indexMissing\": true"), std::string::npos) << info.Out;
        EXPECT_NE(info.Err.find("warning"), std::string::npos) << info.Err;
        EXPECT_EQ(Cli({"list", lib}).Exit, 0);
        EXPECT_EQ(Cli({"offset", lib, "2"}).Exit, 1);
        const TCliRun import = Cli({"import", lib, "--content", "blank", "--count", "2"});
        EXPECT_EQ(import.Exit, 1);
        EXPECT_NE(import.Err.find("repair"), std::string::npos) << import.Err;
        EXPECT_EQ(Cli({"delete", lib, "0", "0"}).Exit, 1);
        EXPECT_EQ(TFileStream::ReadAll(lib), data);
        EXPECT_FALSE(FileExists(index));

        const TCliRun dry = Cli({"repair", lib, "--dry-run"});
        EXPECT_EQ(dry.Exit, 0);
        EXPECT_NE(dry.Out.find("7 images"), std::string::npos) << dry.Out;
        EXPECT_FALSE(FileExists(index));
        EXPECT_EQ(Cli({"repair", lib}).Exit, 0);
        EXPECT_EQ(TFileStream::ReadAll(index), goodIndex);
        EXPECT_EQ(TFileStream::ReadAll(lib), data);

        // An index that names fewer positions than its count: damaged; repaired with a backup.
        std::vector<uint8_t> cut = goodIndex;
        cut.resize(cut.size() - 8);
        std::ofstream(index, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(cut.data()), std::streamsize(cut.size()));
        EXPECT_NE(Cli({"info", lib, "--json"}).Out.find("\"indexDamaged\": true"),
                  std::string::npos);
        EXPECT_EQ(Cli({"offset", lib, "1", "3", "4"}).Exit, 1);
        EXPECT_EQ(Cli({"repair", lib}).Exit, 0);
        EXPECT_EQ(TFileStream::ReadAll(index + ".bak"), cut);
        // Repairing the sound index again writes nothing and keeps the damaged one's backup.
        const std::vector<uint8_t> repaired = TFileStream::ReadAll(index);
        EXPECT_NE(Cli({"repair", lib}).Out.find("nothing written"), std::string::npos);
        EXPECT_EQ(TFileStream::ReadAll(index), repaired);
        EXPECT_EQ(TFileStream::ReadAll(index + ".bak"), cut);
        EXPECT_EQ(Cli({"import", lib, "--content", "blank", "--count", "1"}).Exit, 0);
        EXPECT_NE(Cli({"info", lib}).Out.find("8"), std::string::npos);
    }
}

TEST_F(CliEdits, ValuesTheFormatCannotHoldAreRefusedBeforeAnythingIsWritten) {
    const std::string lib = Library("a.wil", "--wil", 2);
    const std::vector<uint8_t> before = TFileStream::ReadAll(lib);
    const std::string pictures = Folder + "/" + "pictures-a.wil";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"import", lib, pictures, "--xy", "40000,0"},
          {"import", lib, pictures, "--xy", "0,-32769"},
          {"import", lib, "--content", "blank", "--count", "2000000000"},
          {"offset", lib, "0", "32768", "0"}}) {
        const TCliRun run = Cli(command);
        EXPECT_EQ(run.Exit, 1) << command[3] << ": " << run.Err;
        EXPECT_EQ(LineCount(run.Err), 1) << run.Err;
    }
    EXPECT_EQ(TFileStream::ReadAll(lib), before);
    EXPECT_EQ(Cli({"import", lib, pictures, "--xy", "32767,-32768"}).Exit, 0);
}

TEST_F(CliEdits, JsonStaysValidForNamesThatAreNotUtf8) {
    const std::string lib = Library("n.wzl", "--wzl", 1);
    const std::string odd = Folder + "/" + "caf\xe9.wzl";
    fs::rename(lib, odd);
    fs::rename(Folder + "/" + "n.wzx", Folder + "/" + "caf\xe9.wzx");
    const TCliRun run = Cli({"info", odd, "--json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("caf\xef\xbf\xbd.wzl"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"fileBytes\": \""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("636166e92e777a6c"), std::string::npos) << run.Out;
}

TEST_F(CliEdits, APakOnReadOnlyMediaIsReadButNotEdited) {
    const std::string disk = Folder + "/" + "disk";
    fs::create_directories(disk);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("velmora-test", disk.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "no file system can be mounted here";
    Folder = disk;
    const std::string lib = Library("ro.pak", "--pak", 3);
    ASSERT_EQ(::mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const TCliRun list = Cli({"list", lib});
    EXPECT_EQ(list.Exit, 0) << list.Err;
    EXPECT_EQ(LineCount(list.Out), 4);
    EXPECT_EQ(Cli({"export", lib, Dir / "out"}).Exit, 0);
    const TCliRun import = Cli({"import", lib, "--content", "blank", "--count", "1"});
    EXPECT_EQ(import.Exit, 1);
    EXPECT_NE(import.Err.find("reading only"), std::string::npos) << import.Err;
    ::umount2(disk.c_str(), MNT_DETACH);
}

// Commands that only read leave every file as it was, read-only permissions included; an edit
// still goes through.
TEST_F(CliEdits, ReadingChangesNoFileNorPermission) {
    for (const char* kind : {"--wil", "--wzl", "--pak"}) {
        SCOPED_TRACE(kind);
        const std::string lib = Library(std::string("ro.") + (kind + 2), kind, 3);
        std::vector<std::pair<fs::path, fs::file_time_type>> files;
        for (const auto& entry : fs::directory_iterator(Folder))
            if (entry.path().stem() == "ro") {
                fs::permissions(entry.path(), fs::perms(0444));
                files.emplace_back(entry.path(), fs::last_write_time(entry.path()));
            }
        for (const std::vector<std::string>& read : {std::vector<std::string>{"info", lib},
                                                     {"list", lib},
                                                     {"check", lib},
                                                     {"export", lib, Dir / "out"}})
            EXPECT_EQ(Cli(read).Exit, 0) << read[0];
        for (const auto& [file, time] : files) {
            EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0444)) << file;
            EXPECT_EQ(fs::last_write_time(file), time) << file;
        }
        EXPECT_EQ(Cli({"offset", lib, "1", "4", "4"}).Exit, 0);
        EXPECT_EQ(Cli({"offset", lib, "1"}).Out, "4 4\n");
    }
}

TEST_F(CliEdits, TwoProgramsEditingOneLibraryTakeTurnsAndKeepBothChanges) {
    const std::string lib = Library("shared.wzl", "--wzl", 3);
    // The editor has the library open; a script appends an image meanwhile.
    std::unique_ptr<TGameImages> editor = OpenLibraryFile(lib).Library;
    ASSERT_TRUE(editor);
    ASSERT_EQ(editor->ImageCount(), 3);
    ASSERT_EQ(Cli({"import", lib, "--content", "blank", "--count", "1"}).Exit, 0);
    // The editor's next edit is built on what is on disk now, not over it.
    ASSERT_TRUE(editor->Delete(0, 0, nullptr));
    EXPECT_EQ(editor->ImageCount(), 3);
    EXPECT_EQ(OpenLibraryFile(lib).Library->ImageCount(), 3);

    // While the editor holds the lock the script waits, then goes on.
    auto held = std::make_unique<TLibraryLock>(lib);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        held.reset();
    });
    const auto start = std::chrono::steady_clock::now();
    const TCliRun waited = Cli({"import", lib, "--content", "blank", "--count", "1"});
    release.join();
    EXPECT_EQ(waited.Exit, 0) << waited.Err;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_EQ(OpenLibraryFile(lib).Library->ImageCount(), 4);
}

} // namespace
} // namespace velmora::cli_test
