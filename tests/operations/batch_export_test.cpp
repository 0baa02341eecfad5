#include "operations/batch_export.h"

#include "core/file_stream.h"
#include "files/picture_files.h"
#include "files/placements.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using cli_test::TCliTempDir;

std::vector<int> Sizes(const std::vector<TExportRange>& ranges) {
    std::vector<int> sizes;
    for (const TExportRange& r : ranges)
        sizes.push_back(r.Size());
    return sizes;
}

TEST(SplitExportRange, WorkerCountGrowsWithTheRange) {
    EXPECT_EQ(Sizes(SplitExportRange(0, 99, 8)), (std::vector<int>{100}));
    EXPECT_EQ(Sizes(SplitExportRange(0, 100, 8)), (std::vector<int>{51, 50}));
    EXPECT_EQ(Sizes(SplitExportRange(0, 499, 8)), (std::vector<int>{251, 249}));
    EXPECT_EQ(Sizes(SplitExportRange(0, 500, 8)), (std::vector<int>{126, 126, 126, 123}));
    EXPECT_EQ(Sizes(SplitExportRange(0, 999, 8)), (std::vector<int>{251, 251, 251, 247}));
    // From 1000 images on: 2 x processors + 1 workers.
    EXPECT_EQ(SplitExportRange(0, 999, 2).size(), 4u);
    EXPECT_EQ(SplitExportRange(0, 1000, 2).size(), 5u);
    EXPECT_EQ(SplitExportRange(0, 1000, 8).size(), 17u);
}

TEST(SplitExportRange, RangesAreContiguousAndCoverEveryIndexOnce) {
    for (int first : {0, 7, 1234})
        for (int n : {1, 2, 99, 100, 101, 499, 500, 999, 1000, 1001, 9999, 10000})
            for (int processors : {1, 2, 3, 8}) {
                const auto ranges = SplitExportRange(first, first + n - 1, processors);
                int next = first;
                for (const TExportRange& r : ranges) {
                    ASSERT_EQ(r.First, next) << n << " on " << processors;
                    ASSERT_GE(r.Size(), 1) << n << " on " << processors;
                    next = r.Last + 1;
                }
                EXPECT_EQ(next, first + n) << n << " on " << processors;
            }
}

TEST(ChunkRanges, LastRangeAlwaysEndsAtTheLastIndex) {
    EXPECT_EQ(ChunkRanges(500, 600, 2, 250), (std::vector<TExportRange>{{500, 600}, {751, 600}}));
    EXPECT_EQ(ChunkRanges(10, 100, 3, 10),
              (std::vector<TExportRange>{{10, 20}, {21, 31}, {32, 100}}));
}

// A library whose pictures come from a function, so tests decide what each Get does.
class TScriptedLibrary : public TGameImages {
public:
    explicit TScriptedLibrary(int count) : TGameImages("scripted.wil", t_Wil) {
        SetRecords(TRecordList(size_t(count), std::make_shared<const TImageData>()));
        FInitialized = true;
    }
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override {
        return Script(Index, px, py);
    }
    std::function<std::unique_ptr<TPicture>(int, int&, int&)> Script;
};

std::unique_ptr<TPicture> SmallPicture(int index) {
    auto dib = std::make_unique<TDIB>(cli_test::PatternPicture(3, 2, uint32_t(index)));
    return dib;
}

TEST(BatchExport, FailuresAndEmptyImagesAreCountedNotHidden) {
    TCliTempDir dir;
    TScriptedLibrary library(10);
    library.Script = [](int i, int& px, int& py) -> std::unique_ptr<TPicture> {
        if (i == 5)
            throw std::runtime_error("damaged record");
        if (i == 7)
            return nullptr;
        px = i;
        py = -i;
        return SmallPicture(i);
    };
    fs::create_directories(dir / "out/00003.BMP");
    TBatchExportResult result = BatchExport(library, dir / "out", ifBMP, 0, 9);
    ASSERT_TRUE(result.Started) << result.Error;
    EXPECT_EQ(result.Handled, 10);
    EXPECT_EQ(result.Written, 7);
    EXPECT_EQ(result.Empty, 1);
    ASSERT_EQ(result.Failures.size(), 2u);
    EXPECT_EQ(result.Failures[0].Index, 3);
    EXPECT_NE(result.Failures[0].FileName.find("00003.BMP"), std::string::npos);
    EXPECT_EQ(result.Failures[1].Index, 5);
    EXPECT_NE(result.Failures[1].Reason.find("damaged record"), std::string::npos);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_FALSE(fs::exists(dir / "out/00007.BMP"));
    EXPECT_FALSE(fs::exists(dir / "out/Placements/00007.txt"))
        << "an image without a picture gets no offset file";
    EXPECT_EQ(LoadPlacement(dir / "out/00009.BMP"), (TPoint{9, -9}));
}

TEST(BatchExport, RangesOutsideTheLibraryAndMissingFoldersStartNothing) {
    TCliTempDir dir;
    TScriptedLibrary library(5);
    int calls = 0;
    library.Script = [&](int i, int&, int&) {
        ++calls;
        return SmallPicture(i);
    };
    for (auto [first, last] : {std::pair{3, 2}, std::pair{-1, 2}, std::pair{0, 5}}) {
        TBatchExportResult result = BatchExport(library, dir / "out", ifPNG, first, last);
        EXPECT_FALSE(result.Started) << first << ".." << last;
        EXPECT_FALSE(result.Error.empty());
    }
    EXPECT_FALSE(BatchExport(library, "  ", ifPNG, 0, 4).Started);
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(BatchExport(library, dir / "file", ifPNG, 0, 4).Started)
        << "a target that is a file cannot hold the Placements folder";
    EXPECT_EQ(calls, 0);
}

// A worker that has handled more than 500 images while fewer than processors + 1 workers run
// hands the rest of its range over; every image is still exported exactly once.
TEST(BatchExport, LongRangeIsHandedOverOnceOtherWorkersHaveEnded) {
    TCliTempDir dir;
    constexpr int count = 3000;
    TScriptedLibrary library(count);
    std::vector<std::atomic<int>> gets(count);
    std::atomic<int> othersDone{0};
    library.Script = [&](int i, int&, int&) -> std::unique_ptr<TPicture> {
        ++gets[size_t(i)];
        if (i == 0) {
            // Worker 0 waits until the four other workers (images 601 .. 2999) are through.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (othersDone < count - 601 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } else if (i > 600) {
            ++othersDone;
        }
        return nullptr;
    };
    TBatchExportRun run(library);
    ASSERT_TRUE(run.Start(dir / "out", ifBMP, 0, count - 1, 2));
    TBatchExportResult result = run.Wait({}, 5);
    ASSERT_TRUE(result.Started);
    EXPECT_EQ(result.Handled, count);
    EXPECT_EQ(result.Empty, count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(gets[size_t(i)].load(), 1) << "image " << i;
    // The five workers of the start, then at least worker 0's hand-over at image 500 (chunk
    // 501 div 2); the last worker may have handed over too, depending on timing.
    ASSERT_GE(result.Workers.size(), 7u);
    const std::vector<TExportRange> start(result.Workers.begin(), result.Workers.begin() + 5);
    EXPECT_EQ(start, SplitExportRange(0, count - 1, 2));
    EXPECT_NE(std::find(result.Workers.begin() + 5, result.Workers.end(), TExportRange{500, 600}),
              result.Workers.end());
    EXPECT_EQ(run.RunningWorkers(), 0);
}

TEST(BatchExport, ProgressReachesTheTotalAndPicturesKeepTheirPixels) {
    TCliTempDir dir;
    TScriptedLibrary library(150);
    library.Script = [](int i, int&, int&) { return SmallPicture(i); };
    int lastDone = -1, lastTotal = -1;
    TBatchExportResult result = BatchExport(
        library, dir / "out", ifPNG, 0, 149,
        [&](int done, int total) {
            EXPECT_GE(done, lastDone);
            lastDone = done;
            lastTotal = total;
        },
        2);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.Workers.size(), 2u);
    EXPECT_EQ(lastDone, 150);
    EXPECT_EQ(lastTotal, 150);
    TDIB back;
    ASSERT_TRUE(LoadPicture(dir / "out/00042.PNG", back, ifAuto));
    EXPECT_EQ(cli_test::PictureArgb(back), cli_test::PictureArgb(*SmallPicture(42)));
}

} // namespace
} // namespace velmora
