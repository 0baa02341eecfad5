// Snapshots are whole libraries: reader threads decode every image of the snapshot they took while
// the main thread appends, replaces, blanks, deletes, moves offsets and reads the library again,
// and each reader sees exactly the pictures of its snapshot. Run under the thread sanitizer in CI.
// Headers are read on demand: a snapshot keeps the headers it has read, and refuses to read more
// once another program changed the file where it lies.

#include "core/file_stream.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace velmora::safety_test {

namespace {

constexpr int kImages = 40;
constexpr int kSide = 6;
constexpr int kSteps = 42;
constexpr int kReaders = 3;

TFingerprint SnapshotFingerprint(const TSnapshot& snapshot, int start) {
    TFingerprint fingerprint(size_t(snapshot.Count()));
    // Readers start at different images, so that they ask for headers in different orders.
    for (int k = 0; k < snapshot.Count(); ++k) {
        const int i = (start + k) % snapshot.Count();
        int x = 0, y = 0;
        fingerprint[size_t(i)] = {PictureHash(snapshot.Get(i, x, y).get()), {x, y}};
    }
    return fingerprint;
}

void CopyLibrary(const std::string& from, const std::string& folder) {
    std::filesystem::create_directories(folder);
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(from).parent_path()))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            std::filesystem::copy_file(entry.path(),
                                       folder + "/" + entry.path().filename().string());
}

class SnapshotReaders : public ::testing::TestWithParam<TLibraryCase> {};

TEST_P(SnapshotReaders, SeeTheirSnapshotWhileTheLibraryIsEdited) {
    const TLibraryCase c = GetParam();
    test::TFormatsTempDir dir;
    std::filesystem::create_directories(dir / "lib");
    const std::string path = LibraryPath(dir / "lib", c);
    CreateTestLibrary(path, c, kImages, kSide);
    auto library = OpenTestLibrary(path, c);
    ASSERT_NE(library, nullptr);

    struct TPublished {
        TSnapshotPtr Snapshot;
        int Step = 0;
    };
    std::mutex lock;
    TPublished latest{library->Snapshot(), 0};
    std::map<int, TFingerprint> seen; // step -> what the readers saw
    std::set<int> refused;            // steps whose snapshot refused a header (ELibraryChanged)
    std::vector<std::string> failures;
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r)
        readers.emplace_back([&, r] {
            for (int round = 0; !done || round == 0; ++round) {
                TPublished taken;
                {
                    std::lock_guard guard(lock);
                    taken = latest;
                }
                TFingerprint fingerprint;
                try {
                    fingerprint = SnapshotFingerprint(*taken.Snapshot, r * 7 + round);
                } catch (const ELibraryChanged&) {
                    std::lock_guard guard(lock);
                    refused.insert(taken.Step);
                    continue;
                } catch (const std::exception& e) {
                    std::lock_guard guard(lock);
                    failures.push_back(e.what());
                    continue;
                }
                std::lock_guard guard(lock);
                auto [it, first] = seen.emplace(taken.Step, fingerprint);
                if (!first && it->second != fingerprint)
                    failures.push_back("two readers saw step " + std::to_string(taken.Step) +
                                       " differently");
            }
        });

    CopyLibrary(path, dir / "step0");
    std::vector<int> reloads;
    uint32_t seed = 1000;
    for (int step = 1; step <= kSteps; ++step) {
        const int count = library->ImageCount();
        const int at = (step * 13) % count;
        auto picture = TestPicture(kSide, seed++);
        switch (step % 7) {
        case 0: {
            library->Finalize();
            if (library->TakesPassWord()) {
                ASSERT_TRUE(library->TryPassWord(kTestPakPassword));
            }
            library->Initialize();
            ASSERT_TRUE(library->Initialized());
            reloads.push_back(step);
            break;
        }
        case 1: {
            auto update = library->BeginUpdate(-1);
            ASSERT_TRUE(update.Add(*picture, step, -step, 0, nullptr));
            update.EndUpdate();
            break;
        }
        case 2:
            ASSERT_TRUE(library->SetPoint(at, {step * 3, step}));
            break;
        case 3:
            ASSERT_TRUE(library->Fill(at, at, {}));
            break;
        case 4: {
            auto update = library->BeginUpdate(at);
            ASSERT_TRUE(update.Replace(at, *picture, -step, step, 0, nullptr));
            update.EndUpdate();
            break;
        }
        case 5:
            ASSERT_TRUE(library->Delete(at, at, {}));
            break;
        case 6: {
            auto update = library->BeginUpdate(at);
            ASSERT_TRUE(update.Insert(at, *picture, 1, 2, 0, nullptr));
            update.EndUpdate();
            break;
        }
        }
        CopyLibrary(path, dir / ("step" + std::to_string(step)));
        std::lock_guard guard(lock);
        latest = {library->Snapshot(), step};
    }
    done = true;
    for (std::thread& reader : readers)
        reader.join();

    EXPECT_TRUE(failures.empty()) << failures.front();
    // Every snapshot a reader saw is the library as its files were after that step.
    for (const auto& [step, fingerprint] : seen) {
        auto copy = OpenTestLibrary(LibraryPath(dir / ("step" + std::to_string(step)), c), c);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(fingerprint, Fingerprint(*copy)) << CaseName(c) << ", step " << step;
    }
    EXPECT_GE(seen.size(), size_t(3));
    // A snapshot refuses a header only after the library was read anew and then changed through
    // the new read: its files changed where it lies, and not by it.
    for (int step : refused)
        EXPECT_TRUE(std::any_of(reloads.begin(), reloads.end(), [&](int r) { return r > step; }))
            << "step " << step;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SnapshotReaders,
                         ::testing::Values(TLibraryCase::Wil, TLibraryCase::Wzl,
                                           TLibraryCase::PakNew, TLibraryCase::PakOld),
                         [](const auto& info) {
                             std::string name;
                             for (char ch : std::string(CaseName(info.param)))
                                 if (std::isalnum(static_cast<unsigned char>(ch)))
                                     name += ch;
                             return name;
                         });

// Another program changes the library where it lies: what a snapshot read before stays, what it
// had not read is refused rather than mixed in, and an edit reads the library anew.
TEST(SnapshotHeaders, AnotherProgramsChangeIsNeverMixedIn) {
    for (TLibraryCase c : {TLibraryCase::Wil, TLibraryCase::Wzl, TLibraryCase::PakNew}) {
        SCOPED_TRACE(CaseName(c));
        test::TFormatsTempDir dir;
        const std::string path = LibraryPath(dir.Path(), c);
        CreateTestLibrary(path, c, 8, kSide);
        auto ours = OpenTestLibrary(path, c);
        const TSnapshotPtr before = ours->Snapshot();
        EXPECT_FALSE(before->Records()[3]->HeaderRead()) << "opening reads no header";
        const TPoint three = before->GetPoint(3);
        EXPECT_TRUE(before->Records()[3]->HeaderRead());

        auto theirs = OpenTestLibrary(path, c);
        ASSERT_TRUE(theirs->SetPoint(3, {111, 222}));
        ASSERT_TRUE(theirs->SetPoint(5, {333, 444}));
        EXPECT_EQ(before->GetPoint(3), three);
        EXPECT_THROW(before->GetPoint(5), ELibraryChanged);
        // The thin calls treat a refused header as an image they cannot show.
        EXPECT_EQ(ours->GetPoint(5), (TPoint{}));

        auto update = ours->BeginUpdate(-1);
        EXPECT_EQ(ours->ReloadCount(), 1u);
        update.EndUpdate();
        EXPECT_EQ(ours->GetPoint(3), (TPoint{111, 222}));
        EXPECT_EQ(ours->GetPoint(5), (TPoint{333, 444}));
        EXPECT_EQ(before->GetPoint(3), three) << "a snapshot keeps what it read";
    }
}

} // namespace

} // namespace velmora::safety_test
