// Commands killed at random moments: whatever the moment, the library (or the conversion's
// target) opens afterwards with either its old or its new content, pixel for pixel (edits also
// byte for byte), and no half-written file stays behind. A kill counts only when it landed inside a
// save: the child is stopped first, and the folder must then hold one of the save's temporary files
// or its journal, so that a disk fast enough to finish every save before the kill cannot pass the
// test untested.

#include "core/file_stream.h"
#include "formats/indexed_library.h"
#include "formats/pak.h"
#include "operations/change_password.h"
#include "operations/convert_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora::safety_test {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::microseconds;

// Image count and side: about 4 MB of pixels, so that a save takes tens of milliseconds.
constexpr int kImages = 120;
constexpr int kSide = 128;
// Kills that must land inside a save per command, and the attempts allowed to get them.
constexpr int kKillsInside = 12;
constexpr int kAttempts = 150;

enum class TCommand { AddOrDelete, Patch, Passwd, Repair, Convert };

const char* CommandName(TCommand command) {
    switch (command) {
    case TCommand::AddOrDelete:
        return "add or delete";
    case TCommand::Patch:
        return "fill and offsets";
    case TCommand::Passwd:
        return "passwd";
    case TCommand::Repair:
        return "repair";
    case TCommand::Convert:
        return "convert";
    }
    return "";
}

bool SaveUnderWay(const std::string& folder) {
    for (const std::string& name : FolderNames(folder))
        if (!name.empty() && name[0] == '.')
            return true;
    return false;
}

struct TRun {
    microseconds Ran{0};
    bool KilledInsideASave = false;
};

// Runs work in a child once setup (also in the child) is done, and kills the child delay after
// that (none: lets it finish). Before the kill the child is stopped and the folder looked at.
TRun RunChild(const std::string& folder, const std::function<void()>& work,
              std::optional<microseconds> delay) {
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::close(ready[0]);
        int status = 0;
        try {
            const char byte = 'r';
            (void)!::write(ready[1], &byte, 1);
            work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "the command failed: %s\n", e.what());
            status = 4;
        }
        ::_exit(status);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    TRun run;
    const auto start = TClock::now();
    int status = 0;
    bool reaped = false;
    if (started && delay) {
        std::this_thread::sleep_for(*delay);
        ::kill(pid, SIGSTOP);
        // The child may have ended before it could be stopped: then nothing was under way.
        if (::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status))
            run.KilledInsideASave = SaveUnderWay(folder);
        else
            reaped = true;
        ::kill(pid, SIGKILL);
        ::kill(pid, SIGCONT);
    }
    if (!reaped)
        ::waitpid(pid, &status, 0);
    run.Ran = std::chrono::duration_cast<microseconds>(TClock::now() - start);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        throw std::runtime_error("the command in the child failed");
    return run;
}

bool IsPak(TLibraryCase c) {
    return c == TLibraryCase::PakNew || c == TLibraryCase::PakOld;
}

// One command on a library, with what the library (or target) looks like before and after it.
struct TTrialSetup {
    std::function<void()> Prepare;                        // in the parent, before each trial
    std::function<void()> Work;                           // in the child
    std::function<std::optional<TFingerprint>()> Observe; // in the parent, afterwards
};

class CrashSafety : public ::testing::TestWithParam<TLibraryCase> {
protected:
    void SetUp() override {
        Path = LibraryPath(Dir.Path(), GetParam());
        CreateTestLibrary(Path, GetParam(), kImages, kSide);
        Files = FolderNames(Dir.Path());
    }

    TFingerprint Current(const std::string& password = kTestPakPassword) const {
        TOpenResult opened = OpenLibraryFile(
            Path, IsPak(GetParam()) ? std::optional<std::string>(password) : std::nullopt);
        if (!opened.Opened())
            throw std::runtime_error("the library does not open");
        return Fingerprint(*opened.Library);
    }
    // The content and, as a last entry, a hash of the library's files byte for byte: an edit
    // undone must leave the old bytes, not only the old pictures.
    TFingerprint CurrentWithBytes() const {
        TFingerprint f = Current();
        uint64_t hash = 14695981039346656037ull;
        for (const std::string& name : Files)
            for (uint8_t b : test::FileBytes(Dir / name))
                hash = (hash ^ b) * 1099511628211ull;
        f.push_back({hash, {}});
        return f;
    }

    // NAME.bak, NAME.bak1, ...: the backups a repair keeps.
    static bool IsBackupName(const std::string& name) {
        const size_t at = name.rfind(".bak");
        return at != std::string::npos && name[0] != '.' &&
               std::all_of(name.begin() + std::ptrdiff_t(at + 4), name.end(),
                           [](char ch) { return ch >= '0' && ch <= '9'; });
    }

    // Kills the command until kKillsInside kills fell inside a save; each time the library must
    // show the old content or the new one, and nothing but its own files may remain.
    void Trials(TCommand command, const TTrialSetup& setup, TFingerprint oldState,
                const TFingerprint& newState, bool alternates) {
        SCOPED_TRACE(CommandName(command));
        setup.Prepare();
        const TRun full = RunChild(Dir.Path(), setup.Work, std::nullopt);
        ASSERT_EQ(setup.Observe(), newState) << "the command left to finish";
        std::mt19937 random(20261209u + unsigned(GetParam()) * 7 + unsigned(command));
        // Commands take longer when the disk is busy: the moments reach past the measured time.
        std::uniform_int_distribution<int64_t> moment(0, full.Ran.count() * 3 / 2);
        int inside = 0, attempts = 0, olds = 0, news = 0;
        std::vector<int64_t> landed; // moments of the kills inside a save
        TFingerprint before = alternates ? newState : oldState;
        while (inside < kKillsInside && attempts < kAttempts) {
            ++attempts;
            setup.Prepare();
            const TFingerprint expectedNew = alternates && before == newState ? oldState : newState;
            const TFingerprint expectedOld = alternates ? before : oldState;
            // Short saves are a small window of a long command: every other kill goes near a
            // moment that already landed inside one.
            int64_t at = moment(random);
            if (!landed.empty() && attempts % 2 == 0) {
                std::uniform_int_distribution<int64_t> near(-full.Ran.count() / 20,
                                                            full.Ran.count() / 20);
                at = std::max<int64_t>(0, landed[size_t(random()) % landed.size()] + near(random));
            }
            const TRun run = RunChild(Dir.Path(), setup.Work, microseconds(at));
            const std::optional<TFingerprint> now = setup.Observe();
            ASSERT_TRUE(now) << "attempt " << attempts << ": the library does not open";
            if (*now == expectedOld) {
                ++olds;
            } else {
                ASSERT_EQ(*now, expectedNew)
                    << "attempt " << attempts << ": neither old nor new content";
                ++news;
            }
            // Opening finished or undid the interrupted save: only the library's own files.
            std::vector<std::string> names = FolderNames(Dir.Path());
            std::erase_if(names, [this](const std::string& name) {
                return std::find(Files.begin(), Files.end(), name) == Files.end() &&
                       (IsBackupName(name) || name.rfind("target", 0) == 0);
            });
            ASSERT_EQ(names, Files) << "attempt " << attempts;
            if (run.KilledInsideASave) {
                ++inside;
                landed.push_back(at);
            }
            before = *now;
        }
        EXPECT_EQ(inside, kKillsInside) << "too few kills landed inside a save";
        std::printf("%s %s: %d kills, %d inside a save (%d old, %d new), command %lld us\n",
                    CaseName(GetParam()), CommandName(command), attempts, inside, olds, news,
                    static_cast<long long>(full.Ran.count()));
    }

    test::TFormatsTempDir Dir;
    std::string Path;
    std::vector<std::string> Files;
};

TEST_P(CrashSafety, AKilledEditLeavesTheOldOrTheNewLibrary) {
    const TLibraryCase c = GetParam();
    const TFingerprint initial = Current();
    // Appending an image and deleting it again alternate, so that every trial has work to do.
    const auto addOrDelete = [&] {
        auto library = OpenTestLibrary(Path, c);
        if (library->ImageCount() > kImages) {
            library->Delete(kImages, kImages, nullptr);
            return;
        }
        auto picture = TestPicture(kSide, 4242);
        auto update = library->BeginUpdate(0);
        update.Add(*picture, 11, -13, 0, nullptr);
        update.EndUpdate();
    };
    addOrDelete();
    ASSERT_EQ(Current().size(), initial.size() + 1);
    EXPECT_EQ(Current().back().Point, (TPoint{11, -13}));
    const TFingerprint withOne = CurrentWithBytes();
    // The deletion writes the library anew: the bytes the append started from.
    addOrDelete();
    const TFingerprint before = CurrentWithBytes();
    ASSERT_EQ(TFingerprint(before.begin(), before.end() - 1), initial);
    const TTrialSetup edit{[] {}, addOrDelete,
                           [&]() -> std::optional<TFingerprint> { return CurrentWithBytes(); }};
    Trials(TCommand::AddOrDelete, edit, before, withOne, true);
}

// Images emptied and offsets changed in one edit, which is written where the records lie.
TEST_P(CrashSafety, AKilledPatchLeavesTheOldOrTheNewLibrary) {
    std::vector<std::vector<uint8_t>> original;
    for (const std::string& name : Files)
        original.push_back(test::FileBytes(Dir / name));
    const auto restore = [&] {
        for (size_t i = 0; i < Files.size(); ++i)
            test::SetFileBytes(Dir / Files[i], original[i]);
    };
    const TFingerprint before = CurrentWithBytes();
    const TLibraryCase c = GetParam();
    const auto patch = [&] {
        auto library = OpenTestLibrary(Path, c);
        auto update = library->BeginUpdate(-1);
        if (!update.Fill(10, 80, nullptr))
            throw std::runtime_error("fill refused");
        for (int i = 81; i < kImages; ++i)
            update.SetPoint(i, {i, -i});
        update.EndUpdate();
    };
    const int64_t size = test::FileLength(Path);
    patch();
    const TFingerprint after = CurrentWithBytes();
    EXPECT_EQ(test::FileLength(Path), size) << "the records stayed where they were";
    ASSERT_EQ(after[kImages - 1].Point, (TPoint{kImages - 1, 1 - kImages}));
    ASSERT_NE(after, before);
    const TTrialSetup edit{restore, patch,
                           [&]() -> std::optional<TFingerprint> { return CurrentWithBytes(); }};
    Trials(TCommand::Patch, edit, before, after, false);
}

TEST_P(CrashSafety, AKilledPasswordChangeOrRepairLeavesTheOldOrTheNewLibrary) {
    const TLibraryCase c = GetParam();
    const TFingerprint pictures = Current();
    if (IsPak(c)) {
        // The password alternates; whichever the file has, the pictures are the same.
        const auto passwordNow = [&]() -> std::string {
            TOpenResult opened = OpenLibraryFile(Path, std::string(kTestPakPassword));
            return opened.Opened() ? kTestPakPassword : "other";
        };
        TTrialSetup passwd{[] {},
                           [&] {
                               const std::string from = passwordNow();
                               TOpenResult opened = OpenLibraryFile(Path, from);
                               static_cast<TQuillrand&>(*opened.Library)
                                   .ChangePassword(
                                       from == kTestPakPassword ? "other" : kTestPakPassword, true);
                           },
                           [&]() -> std::optional<TFingerprint> {
                               // Exactly one of the two passwords opens the file; a last
                               // entry tells which.
                               TOpenResult a = OpenLibraryFile(Path, std::string(kTestPakPassword));
                               TOpenResult b = OpenLibraryFile(Path, std::string("other"));
                               if (a.Opened() == b.Opened())
                                   return std::nullopt;
                               TFingerprint f = Fingerprint(*(a.Opened() ? a.Library : b.Library));
                               f.push_back({a.Opened() ? 1u : 2u, {}});
                               return f;
                           }};
        TFingerprint withOld = pictures, withNew = pictures;
        withOld.push_back({1, {}});
        withNew.push_back({2, {}});
        Trials(TCommand::Passwd, passwd, withOld, withNew, true);
        return;
    }
    // A damaged index (its count cut to a third) rebuilt by the repair.
    auto library = OpenTestLibrary(Path, c);
    const std::string index = static_cast<TIndexedLibrary&>(*library).IndexFileName();
    library.reset();
    const std::vector<uint8_t> good = test::FileBytes(index);
    std::vector<uint8_t> damaged = good;
    damaged.resize(damaged.size() - kImages * 4 * 2 / 3);
    TTrialSetup repair{[&] { test::SetFileBytes(index, damaged); },
                       [&] {
                           auto opened = OpenTestLibrary(Path, c);
                           static_cast<TIndexedLibrary&>(*opened).RepairIndex(false);
                       },
                       [&]() -> std::optional<TFingerprint> { return Current(); }};
    test::SetFileBytes(index, damaged);
    const TFingerprint cut = Current();
    ASSERT_LT(cut.size(), pictures.size());
    Trials(TCommand::Repair, repair, cut, pictures, false);
}

class CrashSafeConversion : public CrashSafety {};

TEST_P(CrashSafeConversion, AKilledConversionLeavesTheTargetAsItWasOrComplete) {
    const TLibraryCase c = GetParam();
    const TImageType sourceKind = c == TLibraryCase::Wil ? t_Wil : t_Wzl;
    const TImageType targetKind = c == TLibraryCase::Wil ? t_Wzl : t_Quillrand;
    const std::string target = Dir / (targetKind == t_Wzl ? "target.wzl" : "target.Pak");
    TConvertOptions options{Path, sourceKind,       target,       targetKind,
                            1,    kTestPakPassword, std::nullopt, 0};
    const auto observe = [&]() -> std::optional<TFingerprint> {
        // A target that never appeared is cleaned up by the next conversion, as here.
        if (!FileExists(target)) {
            RecoverConversion(target, targetKind);
            return TFingerprint{};
        }
        TOpenResult opened = OpenLibraryFile(target, std::string(kTestPakPassword));
        if (!opened.Opened())
            return std::nullopt;
        return Fingerprint(*opened.Library);
    };
    TTrialSetup convert{[&] {
                            for (const std::string& file : LibraryFiles(target, targetKind))
                                std::filesystem::remove(file);
                        },
                        [&] {
                            if (!ConvertLibrary(options).Done)
                                throw std::runtime_error("conversion failed");
                        },
                        observe};
    Trials(TCommand::Convert, convert, TFingerprint{}, Current(), false);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CrashSafety,
                         ::testing::Values(TLibraryCase::Wil, TLibraryCase::Wzl,
                                           TLibraryCase::PakNew, TLibraryCase::PakOld),
                         [](const auto& info) {
                             switch (info.param) {
                             case TLibraryCase::Wil:
                                 return std::string("Wil");
                             case TLibraryCase::Wzl:
                                 return std::string("Wzl");
                             case TLibraryCase::PakNew:
                                 return std::string("PakNew");
                             default:
                                 return std::string("PakOld");
                             }
                         });

// WIL into WZL, WZL into Pak.
INSTANTIATE_TEST_SUITE_P(IndexedSources, CrashSafeConversion,
                         ::testing::Values(TLibraryCase::Wil, TLibraryCase::Wzl));

} // namespace

} // namespace velmora::safety_test
