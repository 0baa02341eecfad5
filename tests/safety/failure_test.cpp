// Saves that fail (a file-size limit standing in for a full disk) and replacements cut short:
// the old files stay intact, the error reaches the caller, and the next opening completes a
// replacement that had begun.

#include "core/file_stream.h"
#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/journal.h"
#include "core/recovery.h"
#include "operations/create_library.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::safety_test {

namespace {

constexpr int kImages = 40;
constexpr int kSide = 96;

// Child exit statuses.
constexpr int kReported = 0;
constexpr int kNoError = 1;
constexpr int kOtherError = 2;
constexpr int kWrongMemory = 3;

// Limits the size of every file the calling process writes; writes past it fail with EFBIG.
void LimitFileSize(int64_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

int ExitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class FailedSave : public ::testing::TestWithParam<TLibraryCase> {};

TEST_P(FailedSave, KeepsTheOldFilesReportsTheErrorAndDiscardsTheEdit) {
    const TLibraryCase c = GetParam();
    test::TFormatsTempDir dir;
    const std::string path = LibraryPath(dir.Path(), c);
    CreateTestLibrary(path, c, kImages, kSide);
    const std::vector<std::string> files = FolderNames(dir.Path());
    TFingerprint before;
    {
        auto library = OpenTestLibrary(path, c);
        ASSERT_NE(library, nullptr);
        before = Fingerprint(*library);
    }
    const int64_t size = test::FileLength(path);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int status = kNoError;
        try {
            auto library = OpenTestLibrary(path, c);
            LimitFileSize(size / 2);
            auto picture = TestPicture(kSide, 77);
            auto update = library->BeginUpdate(0);
            update.Add(*picture, 0, 0, 0, nullptr);
            try {
                update.EndUpdate();
            } catch (const EFileError& e) {
                status = std::string(e.what()).find("too large") != std::string::npos ? kReported
                                                                                      : kOtherError;
            }
            // The failed edit is gone: the library shows what is on disk, and a later edit that
            // does fit (an offset patched in place) writes only its own change.
            if (library->ImageCount() != kImages || !library->GetBitmap(kImages - 1))
                status = kWrongMemory;
            library->SetPoint(1, {321, -123});
        } catch (...) {
            status = kOtherError;
        }
        ::_exit(status);
    }
    ASSERT_EQ(ExitStatus(pid), kReported) << CaseName(c);

    auto library = OpenTestLibrary(path, c);
    ASSERT_NE(library, nullptr);
    TFingerprint expected = before;
    expected[1].Point = {321, -123};
    EXPECT_EQ(Fingerprint(*library), expected) << CaseName(c);
    EXPECT_EQ(FolderNames(dir.Path()), files) << "the new files are removed";
}

TEST_P(FailedSave, KeepsPermissionsAndTheHandlesFollowTheNewFiles) {
    const TLibraryCase c = GetParam();
    test::TFormatsTempDir dir;
    const std::string path = LibraryPath(dir.Path(), c);
    CreateTestLibrary(path, c, 6, 16);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    {
        auto library = OpenTestLibrary(path, c);
        ASSERT_NE(library, nullptr);
        ASSERT_TRUE(library->Delete(0, 1, nullptr));
        // Patched through the handle after the save: must reach the new file, not the old one.
        library->SetPoint(0, {55, 66});
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    auto library = OpenTestLibrary(path, c);
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->ImageCount(), 4);
    EXPECT_EQ(library->GetPoint(0), (TPoint{55, 66}));
}

TEST_P(FailedSave, CreatingOverTheLibraryLeavesItWholeUntilTheNewOneIsComplete) {
    const TLibraryCase c = GetParam();
    test::TFormatsTempDir dir;
    const std::string path = LibraryPath(dir.Path(), c);
    CreateTestLibrary(path, c, 6, 16);
    const std::vector<std::string> files = FolderNames(dir.Path());
    std::vector<std::vector<uint8_t>> before;
    for (const std::string& name : files)
        before.push_back(test::FileBytes(dir / name));
    const TImageType kind = c == TLibraryCase::Wil   ? t_Wil
                            : c == TLibraryCase::Wzl ? t_Wzl
                                                     : t_Quillrand;

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Shorter than every new header, longer than its title: the creation fails part way through
        // writing, after the bytes that differ from the old header.
        LimitFileSize(50);
        const TCreateResult result = CreateLibraryFile(kind, path, 16, kTestPakPassword);
        ::_exit(result.Created                                        ? kNoError
                : result.Error.find("too large") != std::string::npos ? kReported
                                                                      : kOtherError);
    }
    ASSERT_EQ(ExitStatus(pid), kReported) << CaseName(c);
    ASSERT_EQ(FolderNames(dir.Path()), files) << CaseName(c);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(test::FileBytes(dir / files[i]), before[i]) << files[i];

    // Without the limit the new, empty library takes the place of the old one.
    const TCreateResult result = CreateLibraryFile(kind, path, 16, kTestPakPassword);
    ASSERT_TRUE(result.Created) << result.Error;
    EXPECT_EQ(FolderNames(dir.Path()), files);
    auto library = OpenTestLibrary(path, c);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->ImageCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FailedSave,
                         ::testing::Values(TLibraryCase::Wil, TLibraryCase::Wzl,
                                           TLibraryCase::PakNew, TLibraryCase::PakOld));

TEST(FailedCommand, TheCliExitsWithTheReasonAndLeavesTheLibrary) {
    test::TFormatsTempDir dir;
    const std::string path = LibraryPath(dir.Path(), TLibraryCase::Wzl);
    CreateTestLibrary(path, TLibraryCase::Wzl, kImages, kSide);
    const std::vector<uint8_t> data = test::FileBytes(path);
    const std::string errors = dir / "stderr.txt";

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::FILE* out = std::freopen(errors.c_str(), "w", stderr);
        (void)out;
        (void)!std::freopen("/dev/null", "w", stdout);
        LimitFileSize(int64_t(data.size()) / 2);
        ::execl(VELMORA_CLI_PATH, VELMORA_CLI_PATH, "delete", path.c_str(), "0", "3",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    EXPECT_EQ(ExitStatus(pid), 1);
    const std::vector<uint8_t> message = test::FileBytes(errors);
    const std::string text(message.begin(), message.end());
    EXPECT_NE(text.find("too large"), std::string::npos) << text;
    EXPECT_EQ(test::FileBytes(path), data);
    for (const std::string& name : FolderNames(dir.Path()))
        EXPECT_NE(name[0], '.') << "left behind: " << name;
}

// Writes a file of the given text.
void Put(const std::string& path, const std::string& text) {
    test::SetFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = test::FileBytes(path);
    return {bytes.begin(), bytes.end()};
}

TEST(Replacement, AnInterruptedPairIsCompletedByTheNextOpeningAndLeftoversGo) {
    test::TFormatsTempDir dir;
    const std::string data = dir / "a.wil", index = dir / "a.WIX";
    Put(data, "old data");
    // A folder in the index's place makes the second rename fail after the first one succeeded:
    // the state a crash between the two renames leaves.
    std::filesystem::create_directory(index);
    Put(ReplacementNameFor(data), "new data");
    Put(ReplacementNameFor(index), "new index");
    EXPECT_THROW(ReplaceFilesAtomically(
                     data, {{ReplacementNameFor(data), data}, {ReplacementNameFor(index), index}}),
                 EReplacementIncomplete);
    EXPECT_EQ(Text(data), "new data");
    ASSERT_TRUE(FileExists(JournalNameFor(data)));

    std::filesystem::remove(index);
    Put(index, "old index");
    EXPECT_TRUE(RecoverLibrary({data, index}).Recovered);
    EXPECT_EQ(Text(data), "new data");
    EXPECT_EQ(Text(index), "new index");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.WIX", "a.wil"}));

    // A save killed before its journal: new files (one maybe partial) and a draft journal go, the
    // library stays.
    Put(ReplacementNameFor(data), "new da");
    Put(ReplacementNameFor(index), "new index");
    Put(JournalNameFor(data) + ".new", "velmora journal 3\n");
    RecoverLibrary({data, index});
    EXPECT_EQ(Text(data), "new data");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.WIX", "a.wil"}));
}

TEST(Replacement, AFailedStartLeavesNothingBehind) {
    test::TFormatsTempDir dir;
    EXPECT_THROW(TFileReplacement({dir / "missing-folder/a.pak"}), EFileError);
    {
        TFileReplacement replacement({dir / "a.pak"});
        replacement.Stream(0).Write(std::vector<uint8_t>{1, 2, 3});
        // Destroyed without Commit: nothing replaced, nothing left.
    }
    EXPECT_TRUE(FolderNames(dir.Path()).empty());
}

} // namespace

} // namespace velmora::safety_test
