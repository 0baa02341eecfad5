#include "operations/batch_export.h"

#include "core/file_stream.h"
#include "files/picture_files.h"
#include "files/placements.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

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

using TScript = std::function<std::unique_ptr<TPicture>(int, int&, int&)>;

// Pictures from a function of the image number, which each record holds as its OffSet.
class TScriptedState : public TFormatState {
public:
    explicit TScriptedState(const TScript& script) : TFormatState(t_Wil, 8), FScript(script) {}
    std::unique_ptr<TPicture> Get(const TImageData* Record, int& px, int& py) const override {
        return Record ? FScript(Record->OffSet, px, py) : nullptr;
    }
    TPoint PointOf(const TImageData*) const override { return {}; }
    std::optional<TImageDescription> Describe(const TImageData&, bool) const override {
        return std::nullopt;
    }

private:
    const TScript& FScript;
};

// A library whose pictures come from a function, so tests decide what each Get does.
class TScriptedLibrary : public TGameImages {
public:
    explicit TScriptedLibrary(int count) : TGameImages("scripted.wil", t_Wil) {
        TRecordList records;
        for (int i = 0; i < count; ++i) {
            auto record = std::make_shared<TImageData>();
            record->OffSet = i;
            records.push_back(std::move(record));
        }
        SetState(std::make_shared<TScriptedState>(Script));
        SetRecords(std::move(records));
        FInitialized = true;
    }
    TScript Script;
};

std::unique_ptr<TPicture> SmallPicture(int index) {
    auto dib = std::make_unique<TDIB>(cli_test::PatternPicture(3, 2, uint32_t(index)));
    return dib;
}

std::string Text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An image without a picture is damage, not an empty slot; an offset file that cannot be written
// fails its image even where a stale one from an earlier export is left in its place.
TEST(BatchExport, EveryImageThatIsNotWrittenWholeIsAFailure) {
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
    fs::create_directories(dir / "out/Placements/00004.txt.part");
    std::ofstream(dir / "out/Placements/00004.txt") << "stale\r\n";
    std::ofstream(dir / "out/Placements/00006.txt") << "stale\r\n";
    TBatchExportResult result = BatchExport(library, dir / "out", ifBMP, 0, 9);
    ASSERT_TRUE(result.Started) << result.Error;
    EXPECT_EQ(result.Handled, 10);
    EXPECT_EQ(result.Written, 6);
    ASSERT_EQ(result.Failures.size(), 4u);
    EXPECT_EQ(result.Failures[0].Index, 3);
    EXPECT_NE(result.Failures[0].FileName.find("00003.BMP"), std::string::npos);
    EXPECT_EQ(result.Failures[1].Index, 4);
    EXPECT_NE(result.Failures[1].FileName.find("00004.txt"), std::string::npos);
    EXPECT_EQ(result.Failures[2].Index, 5);
    EXPECT_NE(result.Failures[2].Reason.find("damaged record"), std::string::npos);
    EXPECT_EQ(result.Failures[3].Index, 7);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_FALSE(fs::exists(dir / "out/00004.BMP")) << "no picture without its offset file";
    EXPECT_FALSE(fs::exists(dir / "out/00007.BMP"));
    EXPECT_FALSE(fs::exists(dir / "out/Placements/00007.txt"));
    EXPECT_EQ(Text(dir / "out/Placements/00006.txt"), "6\r\n-6\r\n") << "a stale one is replaced";
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

// Workers take the next image from a shared counter: while one is held up by a slow image the
// other takes every remaining one, and each image is taken exactly once.
TEST(BatchExport, ASlowImageDoesNotHoldUpTheOthers) {
    TCliTempDir dir;
    constexpr int count = 400;
    TScriptedLibrary library(count);
    std::vector<std::atomic<int>> gets(count);
    std::atomic<int> othersDone{0};
    std::atomic<bool> waitedInVain{false};
    library.Script = [&](int i, int&, int&) -> std::unique_ptr<TPicture> {
        ++gets[size_t(i)];
        if (i == 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (othersDone < count - 1)
                if (std::chrono::steady_clock::now() > deadline) {
                    waitedInVain = true;
                    break;
                } else {
                    std::this_thread::yield();
                }
        } else {
            ++othersDone;
        }
        return SmallPicture(i);
    };
    TBatchExportResult result = BatchExport(library, dir / "out", ifBMP, 0, count - 1, {}, 2);
    EXPECT_FALSE(waitedInVain) << "the second worker stopped at a share of its own";
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.Workers, 2);
    EXPECT_EQ(result.Handled, count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(gets[size_t(i)].load(), 1) << "image " << i;
}

TEST(BatchExport, ProgressReachesTheTotalAndPicturesKeepTheirPixels) {
    TCliTempDir dir;
    TScriptedLibrary library(150);
    library.Script = [](int i, int&, int&) { return SmallPicture(i); };
    int lastDone = -1, lastTotal = -1;
    TBatchExportRun run(library);
    ASSERT_TRUE(run.Start(dir / "out", ifPNG, 0, 149, 3));
    // The wait ends when the last worker does, not at the end of a period.
    TBatchExportResult result = run.Wait(
        [&](int done, int total) {
            EXPECT_GE(done, lastDone);
            lastDone = done;
            lastTotal = total;
        },
        24 * 3600 * 1000);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.Workers, 3);
    EXPECT_EQ(lastDone, 150);
    EXPECT_EQ(lastTotal, 150);
    TDIB back;
    ASSERT_TRUE(LoadPicture(dir / "out/00042.PNG", back, ifAuto));
    EXPECT_EQ(cli_test::PictureArgb(back), cli_test::PictureArgb(*SmallPicture(42)));
    EXPECT_FALSE(fs::exists(dir / "out/00042.PNG.part"));
}

} // namespace
} // namespace velmora
