// Saves killed at random moments: whatever the moment, the library opens afterwards with either
// its old or its new content, pixel for pixel, and no half-written file stays behind.

#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora::safety_test {

namespace {

using TClock = std::chrono::steady_clock;

// Image count and side: about 4 MB of pixels, so that a save takes tens of milliseconds.
constexpr int kImages = 120;
constexpr int kSide = 128;
constexpr int kTrialsPerCase = 50;

enum class TEdit { Add, DeleteFirst };

// Runs one edit in a child process and kills it after delay (none: lets it finish). The child
// reports on the pipe once the library is open, so that the delay falls inside the save.
// Returns how long the child ran after opening.
std::chrono::microseconds RunChild(const std::string& path, TLibraryCase c, TEdit edit,
                                   std::optional<std::chrono::microseconds> delay) {
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::close(ready[0]);
        int status = 3;
        try {
            auto library = OpenTestLibrary(path, c);
            if (library) {
                const char byte = 'r';
                (void)!::write(ready[1], &byte, 1);
                if (edit == TEdit::Add) {
                    auto picture = TestPicture(kSide, 4242);
                    auto update = library->BeginUpdate(0);
                    update.Add(*picture, 11, -13, 0, nullptr);
                    update.EndUpdate();
                } else {
                    library->Delete(0, 0, nullptr);
                }
                status = 0;
            }
        } catch (...) {
            status = 4;
        }
        ::_exit(status);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool opened = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    const auto start = TClock::now();
    if (opened && delay) {
        std::this_thread::sleep_for(*delay);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto ran = std::chrono::duration_cast<std::chrono::microseconds>(TClock::now() - start);
    if (!delay) {
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            throw std::runtime_error("the save in the child did not finish");
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the save in the child failed");
    }
    return ran;
}

TFingerprint AfterEdit(const TFingerprint& before, TEdit edit, const TImageFingerprint& added) {
    TFingerprint after = before;
    if (edit == TEdit::Add)
        after.push_back(added);
    else
        after.erase(after.begin());
    return after;
}

class CrashSafety : public ::testing::TestWithParam<TLibraryCase> {};

TEST_P(CrashSafety, AKilledSaveLeavesTheOldOrTheNewLibrary) {
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
        ASSERT_EQ(before.size(), size_t(kImages));
    }
    // A save left to finish tells how long saving takes and what the added image looks like.
    const auto saveTime = RunChild(path, c, TEdit::Add, std::nullopt);
    TImageFingerprint added;
    {
        auto library = OpenTestLibrary(path, c);
        ASSERT_NE(library, nullptr);
        TFingerprint now = Fingerprint(*library);
        ASSERT_EQ(now.size(), before.size() + 1);
        ASSERT_TRUE(std::equal(before.begin(), before.end(), now.begin()));
        added = now.back();
        EXPECT_EQ(added.Point, (TPoint{11, -13}));
        before = now;
    }

    std::mt19937 random(20261208u + unsigned(c));
    std::uniform_int_distribution<int64_t> moment(0, saveTime.count() * 5 / 4);
    int oldOutcomes = 0, newOutcomes = 0;
    for (int trial = 0; trial < kTrialsPerCase; ++trial) {
        const TEdit edit = trial % 2 == 0 ? TEdit::DeleteFirst : TEdit::Add;
        const TFingerprint expected = AfterEdit(before, edit, added);
        const std::chrono::microseconds delay(moment(random));
        RunChild(path, c, edit, delay);

        auto library = OpenTestLibrary(path, c);
        ASSERT_NE(library, nullptr) << CaseName(c) << ", trial " << trial << ", killed after "
                                    << delay.count() << " us: the library does not open";
        const TFingerprint now = Fingerprint(*library);
        library.reset();
        if (now == before) {
            ++oldOutcomes;
        } else {
            ASSERT_EQ(now, expected) << CaseName(c) << ", trial " << trial << ", killed after "
                                     << delay.count() << " us: neither old nor new content";
            ++newOutcomes;
        }
        // Opening finished or undid the interrupted save: only the library's own files remain.
        ASSERT_EQ(FolderNames(dir.Path()), files) << "trial " << trial;
        before = now;
    }
    // Both outcomes show that the kills fell inside the saves and not only around them.
    EXPECT_GT(oldOutcomes, 0) << CaseName(c);
    EXPECT_GT(newOutcomes, 0) << CaseName(c);
    std::printf("%s: %d trials, %d old, %d new, save %lld us\n", CaseName(c), kTrialsPerCase,
                oldOutcomes, newOutcomes, static_cast<long long>(saveTime.count()));
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

} // namespace

} // namespace velmora::safety_test
