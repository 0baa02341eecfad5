// The thumbnail grid of the main window, offscreen: opening a Pak library of 100,000
// zlib-compressed 16-bit sprites and painting its first screen; scrolling screen by screen over 800
// x 600 sprites with the thumbnails cached and while they are still being made on the workers (the
// time the user-interface thread spends per frame, and the longest frame); and, as the baseline,
// painting a screen of the large sprites the way a grid without a cache does, decoding and
// stretching every cell on the user-interface thread.
#include "app/globals.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/thumbnail_cache.h"
#include "app/thumbnail_grid.h"
#include "app/worker.h"
#include "core/dib.h"
#include "files/pak_passwords.h"
#include "formats/pak.h"
#include "operations/library_kind.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

using namespace velmora;

namespace {

constexpr int kImages = 100000;

// A sprite of 32..95 x 48..111 pixels with smooth shading, as game sprites compress.
TDIB MakeSprite(int i) {
    const int w = 32 + (i * 37) % 64;
    const int h = 48 + (i * 53) % 64;
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(w, h, 16);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = (x - w / 2.0) / (w / 2.0);
            const double dy = (y - h / 2.0) / (h / 2.0);
            const double d = dx * dx + dy * dy;
            if (d > 1.0)
                continue; // black: transparent in thumbnails
            const int shade = int(31 * (1.0 - d));
            dib.SetPixel(x, y, uint32_t((shade << 11) | (((i + x) & 63) << 5) | ((y + i) & 31)));
        }
    }
    return dib;
}

constexpr int kLargeImages = 600;

// An 800 x 600 sprite: a shaded disc over black, different for each i.
TDIB MakeLargeSprite(int i) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(800, 600, 16);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const double dx = (x - 400.0) / 400.0;
            const double dy = (y - 300.0) / 300.0;
            const double d = dx * dx + dy * dy;
            if (d > 1.0)
                continue;
            const int shade = int(31 * (1.0 - d));
            dib.SetPixel(x, y,
                         uint32_t((shade << 11) | (((i + x / 8) & 63) << 5) | ((y / 8) & 31)));
        }
    }
    return dib;
}

std::string LibraryPath() {
    return (std::filesystem::temp_directory_path() / "velmora_grid_bench_100000.Pak").string();
}

std::string LargeLibraryPath() {
    return (std::filesystem::temp_directory_path() / "velmora_grid_bench_800x600.Pak").string();
}

// Builds a library once; later runs reuse the file.
template <typename TMake> void EnsureLibrary(const std::string& path, int images, TMake make) {
    if (std::unique_ptr<TGameImages> existing = OpenLibraryFile(path, kDefaultPakPassword).Library;
        existing && existing->ImageCount() == images)
        return;
    {
        TQuillrand creator(path);
        creator.CreateFile(16, kDefaultPakPassword);
    }
    TQuillrand library(path);
    TryPakPassword(library, kDefaultPakPassword);
    library.Initialize();
    auto update = library.BeginUpdate(-1);
    for (int i = 0; i < images; ++i) {
        TDIB sprite = make(i);
        update.Add(sprite, 0, 0, 1, nullptr);
    }
    update.EndUpdate();
}

struct TBenchEditor {
    std::unique_ptr<TfrmMain> Window;

    TBenchEditor() {
        EnsureLibrary(LibraryPath(), kImages, [](int i) { return MakeSprite(i % 997); });
        EnsureLibrary(LargeLibraryPath(), kLargeImages, [](int i) { return MakeLargeSprite(i); });
        Window = std::make_unique<TfrmMain>();
        // After the window read its own password list, which would replace these.
        g_PakPasswords = {{LibraryPath(), kDefaultPakPassword},
                          {LargeLibraryPath(), kDefaultPakPassword}};
        // The default window: ten columns of 80-pixel cells.
        Main().show();
        QCoreApplication::processEvents();
    }
    TfrmMain& Main() { return *Window; }
    TDrawGrid& Grid() { return *Main().DrawGrid(); }
    // The open library, or null.
    TGameImages* Library() { return Main().Document() ? &Main().Document()->Library() : nullptr; }
    // Opens a library and waits until the worker has read it.
    void Open(const std::string& path, bool again = false) {
        if (again || !Library() || Library()->FileName() != path) {
            Main().OpenLibrary(path);
            TWorker::WaitForAll();
        }
    }
    // Paints what the viewport shows now, as a paint event would.
    void Paint(QImage& target) { Grid().viewport()->render(&target); }
};

// Created on first use, destroyed by main while the application object still exists.
std::unique_ptr<TBenchEditor> g_Editor;

TBenchEditor& Editor() {
    if (!g_Editor)
        g_Editor = std::make_unique<TBenchEditor>();
    return *g_Editor;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Opening the 100,000-image library in the window and painting its first screen (the numbers at
// once, the thumbnails as the workers deliver them). "paint_ms" is the first paint after the
// library was read.
void BM_OpenAndPaintFirstScreen(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    QImage target(editor.Grid().viewport()->size(), QImage::Format_RGB32);
    double paintMs = 0;
    for (auto _ : state) {
        editor.Main().CloseLibrary();
        editor.Open(LibraryPath(), true);
        if (!editor.Library() || editor.Library()->ImageCount() != kImages) {
            state.SkipWithError("the benchmark library did not open");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        editor.Paint(target);
        paintMs = std::max(paintMs, Milliseconds(std::chrono::steady_clock::now() - start));
    }
    state.counters["paint_ms"] = paintMs;
}
BENCHMARK(BM_OpenAndPaintFirstScreen)->Unit(benchmark::kMillisecond)->Iterations(3);

// The first screen's paint alone, on an open library whose thumbnails are not made yet.
void BM_FirstScreenPaint(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    editor.Open(LibraryPath());
    QImage target(editor.Grid().viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        editor.Main().Thumbnails()->WaitUntilIdle();
        editor.Main().Thumbnails()->Clear();
        editor.Grid().verticalScrollBar()->setValue(0);
        state.ResumeTiming();
        editor.Paint(target);
    }
}
BENCHMARK(BM_FirstScreenPaint)->Unit(benchmark::kMillisecond);

// Scrolling one screen at a time over the 800 x 600 sprites. Cached: every screen was painted
// before and its thumbnails made. Uncached: the cache is emptied before each screen, so every
// paint asks for all its thumbnails; the workers decode them meanwhile. "max_frame_ms" is the
// longest user-interface time of one frame (the scroll, the paint and the thumbnails delivered
// since the last frame).
void ScrollScreens(benchmark::State& state, bool cached) {
    TBenchEditor& editor = Editor();
    editor.Open(LargeLibraryPath());
    if (!editor.Library() || editor.Library()->ImageCount() != kLargeImages) {
        state.SkipWithError("the benchmark library did not open");
        return;
    }
    TThumbnailCache& cache = *editor.Main().Thumbnails();
    QScrollBar* v = editor.Grid().verticalScrollBar();
    QImage target(editor.Grid().viewport()->size(), QImage::Format_RGB32);
    const int page = v->pageStep();
    const int screens = std::max(1, v->maximum() / page);
    if (cached) {
        for (int s = 0; s <= screens; ++s) {
            v->setValue(std::min(v->maximum(), s * page));
            editor.Paint(target);
            cache.WaitUntilIdle();
        }
    }
    double maxFrame = 0;
    int screen = 0;
    for (auto _ : state) {
        if (!cached) {
            state.PauseTiming();
            cache.WaitUntilIdle();
            cache.Clear();
            state.ResumeTiming();
        }
        const auto start = std::chrono::steady_clock::now();
        screen = (screen + 1) % (screens + 1);
        v->setValue(std::min(v->maximum(), screen * page));
        editor.Paint(target);
        // Thumbnails that arrived are handed over and their cells repainted, as the event loop
        // would between frames.
        QCoreApplication::processEvents();
        const double ms = Milliseconds(std::chrono::steady_clock::now() - start);
        maxFrame = std::max(maxFrame, ms);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["max_frame_ms"] = maxFrame;
}

void BM_ScrollLargeSpritesCached(benchmark::State& state) {
    ScrollScreens(state, true);
}
BENCHMARK(BM_ScrollLargeSpritesCached)->Unit(benchmark::kMillisecond);

void BM_ScrollLargeSpritesUncached(benchmark::State& state) {
    ScrollScreens(state, false);
}
BENCHMARK(BM_ScrollLargeSpritesUncached)->Unit(benchmark::kMillisecond)->Iterations(20);

// The baseline: one screen of the large sprites decoded and stretched on the calling thread, cell
// by cell, as painting without a cache costs.
void BM_BaselineSynchronousScreen(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    editor.Open(LargeLibraryPath());
    if (!editor.Library()) {
        state.SkipWithError("the benchmark library did not open");
        return;
    }
    const int cells =
        editor.Grid().ColCount() * (editor.Grid().viewport()->height() / editor.Grid().Pitch() + 1);
    TDIB surface;
    surface.SetSize(TDrawGrid::kCellSize, TDrawGrid::kCellSize, 32);
    int first = 0;
    for (auto _ : state) {
        for (int i = 0; i < cells; ++i) {
            int w = TDrawGrid::kCellSize;
            int h = TDrawGrid::kCellSize;
            editor.Library()->StretchBlt((first + i) % kLargeImages, surface, 0, 0, w, h);
        }
        first += cells;
        benchmark::DoNotOptimize(surface.PBits());
    }
    state.counters["cells"] = cells;
}
BENCHMARK(BM_BaselineSynchronousScreen)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string home =
        (std::filesystem::temp_directory_path() / "velmora_grid_bench").string();
    std::filesystem::create_directories(home);
    qputenv("VELMORA_HOME", (home + "/").c_str());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_Editor.reset();
    return 0;
}
