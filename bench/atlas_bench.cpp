// Atlas export of 10,000 16-bit sprites (trimming, packing, the 4096 x 4096 sheets and their
// JSON) against the batch export of the same sprites as single PNG files, both on every core.
// The counter "atlas_vs_single" is the ratio of the two times; the target is at most 2.

#include "core/dib.h"
#include "core/game_images.h"
#include "operations/atlas.h"
#include "operations/batch_export.h"
#include "operations/create_library.h"
#include "operations/library_kind.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kSprites = 10000;

// A sprite as a game draws them: a shaded body on a black (transparent) background, sizes varying.
TDIB Sprite(int index) {
    const int w = 40 + index % 33;
    const int h = 56 + index % 29;
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(w, h, 16);
    const int cx = w / 2, cy = h / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = x - cx, dy = (y - cy) * 3 / 4;
            const int d2 = dx * dx + dy * dy;
            if (d2 > cx * cx)
                continue;
            const int r = (31 - d2 * 20 / (cx * cx + 1) + index) & 31;
            const int g = (20 + x * 2 + (index >> 3)) & 63;
            const int b = (8 + y / 3 + ((x / 6 + y / 6) & 1) * 6) & 31;
            dib.SetPixel(x, y, uint32_t(r << 11 | g << 5 | b));
        }
    return dib;
}

struct TFixture {
    std::string Folder;
    std::unique_ptr<TGameImages> Library;

    TFixture() {
        Folder = (fs::temp_directory_path() / ("velmora-atlas-bench-" + std::to_string(getpid())))
                     .string();
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        const std::string path = Folder + "/sprites.wil";
        CreateLibraryFile(t_Wil, path, 16, "");
        auto library = CreateLibrary(t_Wil, path);
        library->Initialize();
        auto update = library->BeginUpdate(-1);
        for (int i = 0; i < kSprites; ++i) {
            TDIB sprite = Sprite(i);
            update.Add(sprite, i % 50, -(i % 70), 0, nullptr);
        }
        update.EndUpdate();
        Library = OpenLibraryFile(path).Library;
    }
    ~TFixture() {
        Library.reset();
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

double g_SingleSeconds = 0;

void BM_SinglePngs(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const TBatchExportResult result =
            BatchExport(*f.Library, f.Folder + "/single", ifPNG, 0, kSprites - 1);
        g_SingleSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(g_SingleSeconds);
        if (!result.Succeeded())
            state.SkipWithError("batch export failed");
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

void BM_AtlasExport(benchmark::State& state) {
    TFixture& f = Fixture();
    fs::create_directories(f.Folder + "/atlas");
    double seconds = 0;
    for (auto _ : state) {
        TAtlasExportOptions options;
        options.SheetPath = f.Folder + "/atlas/sprites.png";
        const auto start = std::chrono::steady_clock::now();
        const TAtlasExportResult result = ExportAtlas(*f.Library, options);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (!result.Done || result.Frames != kSprites)
            state.SkipWithError("atlas export failed");
        state.counters["sheets"] = double(result.Sheets.size());
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
    if (g_SingleSeconds > 0)
        state.counters["atlas_vs_single"] = seconds / g_SingleSeconds;
}

BENCHMARK(BM_SinglePngs)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_AtlasExport)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
