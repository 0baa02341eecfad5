// Batch export of 10,000 16-bit sprites to PNG (level 9) on worker threads, against encoding the
// same pictures with libpng at level 9 directly on one thread. The ratio of the two rates is the
// counter "speedup" of the batch export.

#include "core/dib.h"
#include "core/game_images.h"
#include "operations/batch_export.h"
#include "operations/create_library.h"
#include "operations/library_kind.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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
    std::string LibraryPath;
    std::unique_ptr<TGameImages> Library;
    std::vector<TDIB> Sprites;

    TFixture() {
        Folder = (fs::temp_directory_path() / ("velmora-export-bench-" + std::to_string(getpid())))
                     .string();
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        LibraryPath = Folder + "/sprites.wil";
        CreateLibraryFile(t_Wil, LibraryPath, 16, "");
        auto library = CreateLibrary(t_Wil, LibraryPath);
        library->Initialize();
        library->BeginUpdate(-1);
        for (int i = 0; i < kSprites; ++i) {
            Sprites.push_back(Sprite(i));
            library->Add(Sprites.back(), i % 50, -(i % 70), 0, nullptr);
        }
        library->EndUpdate();
        Library = OpenLibraryFile(LibraryPath).Library;
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

double g_LibpngSeconds = 0;
double g_LibpngCpuSeconds = 0;
double g_ExportSeconds = 0;

// libpng directly: 5-6-5 widened to 8-bit RGB, level 9, one file per sprite, one thread.
bool WritePngDirect(const std::string& fileName, const TDIB& dib) {
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> row(size_t(dib.Width()) * 3);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_compression_level(png, 9);
        png_set_IHDR(png, info, png_uint_32(dib.Width()), png_uint_32(dib.Height()), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < dib.Height(); ++y) {
            const uint8_t* src = dib.ScanLine(y);
            for (int x = 0; x < dib.Width(); ++x) {
                const uint16_t v = uint16_t(src[2 * x] | src[2 * x + 1] << 8);
                const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
                row[3 * size_t(x)] = uint8_t(r << 3 | r >> 2);
                row[3 * size_t(x) + 1] = uint8_t(g << 2 | g >> 4);
                row[3 * size_t(x) + 2] = uint8_t(b << 3 | b >> 2);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return ok;
}

void BM_LibpngOneThread(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string out = f.Folder + "/direct/";
    fs::create_directories(out);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        for (int i = 0; i < kSprites; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%05d.PNG", i);
            if (!WritePngDirect(out + name, f.Sprites[size_t(i)]))
                state.SkipWithError("libpng failed");
        }
        g_LibpngSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_LibpngCpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        state.SetIterationTime(g_LibpngSeconds);
        state.counters["cpu_s"] = g_LibpngCpuSeconds;
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

void BM_BatchExportPng(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string out = f.Folder + "/export";
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        TBatchExportResult result = BatchExport(*f.Library, out, ifPNG, 0, kSprites - 1);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Processor time of every thread: with it equal to the single thread's, the work is not
        // duplicated and the wall-clock rate scales with the idle cores.
        const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        state.SetIterationTime(seconds);
        state.counters["cpu_s"] = cpu;
        if (g_LibpngCpuSeconds > 0)
            state.counters["cpu_vs_libpng"] = cpu / g_LibpngCpuSeconds;
        if (!result.Succeeded() || result.Written != kSprites)
            state.SkipWithError("batch export failed");
        state.counters["workers"] = double(result.Workers);
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
    g_ExportSeconds = seconds;
    if (g_LibpngSeconds > 0 && seconds > 0)
        state.counters["speedup"] = g_LibpngSeconds / seconds;
    state.counters["processors"] = double(ProcessorCount());
}

// The same export with the whole process held to one processor: the ratio of the two export
// rates shows how the work spreads over the second core, whatever else the machine runs.
void BM_BatchExportPngOneCore(benchmark::State& state) {
    TFixture& f = Fixture();
    cpu_set_t all, one;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &all)) {
            CPU_SET(c, &one);
            break;
        }
    double seconds = 0;
    for (auto _ : state) {
        sched_setaffinity(0, sizeof one, &one);
        const auto start = std::chrono::steady_clock::now();
        TBatchExportResult result =
            BatchExport(*f.Library, f.Folder + "/export-one", ifPNG, 0, kSprites - 1);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sched_setaffinity(0, sizeof all, &all);
        state.SetIterationTime(seconds);
        if (!result.Succeeded())
            state.SkipWithError("batch export failed");
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
    if (g_ExportSeconds > 0 && seconds > 0)
        state.counters["two_core_scaling"] = seconds / g_ExportSeconds;
}

BENCHMARK(BM_LibpngOneThread)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_BatchExportPng)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_BatchExportPngOneCore)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
