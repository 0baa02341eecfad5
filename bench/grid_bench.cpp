// Painting one screen of the thumbnail grid (8 rows of 10 cells) over a Pak library of 100,000
// zlib-compressed 16-bit sprites, offscreen, through the main window's own cell drawing. Nothing is
// cached: every paint decodes and stretches its 80 images again.
#include "app/forms.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/thumbnail_grid.h"
#include "core/dib.h"
#include "files/pak_passwords.h"
#include "formats/pak.h"
#include "operations/library_kind.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>

using namespace velmora;

namespace {

constexpr int kImages = 100000;
constexpr int kVisibleRows = 8;

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

std::string LibraryPath() {
    return (std::filesystem::temp_directory_path() / "velmora_grid_bench_100000.Pak").string();
}

// Builds the library once; later runs reuse the file.
void EnsureLibrary(const std::string& path) {
    if (std::unique_ptr<TGameImages> existing = OpenLibraryFile(path, kDefaultPakPassword).Library;
        existing && existing->ImageCount() == kImages)
        return;
    {
        TQuillrand creator(path);
        creator.CreateFile(16, kDefaultPakPassword);
    }
    TQuillrand library(path);
    TryPakPassword(library, kDefaultPakPassword);
    library.Initialize();
    auto update = library.BeginUpdate(-1);
    for (int i = 0; i < kImages; ++i) {
        TDIB sprite = MakeSprite(i % 997);
        update.Add(sprite, 0, 0, 1, nullptr);
    }
    update.EndUpdate();
}

struct TBenchEditor {
    std::unique_ptr<TForms> Forms;
    std::unique_ptr<TDrawGrid> Grid;

    TBenchEditor() {
        const std::string path = LibraryPath();
        EnsureLibrary(path);
        Forms = CreateForms();
        TOpenResult opened = OpenLibraryFile(path, kDefaultPakPassword);
        g_Images = std::move(opened.Library);
        Grid = std::make_unique<TDrawGrid>();
        TfrmMain* main = Forms->frmMain.get();
        Grid->SetOnDrawCell([main](TDIB& dc, int col, int row, int x, int y) {
            return main->DrawGridDrawCell(dc, col, row, x, y);
        });
        Grid->SetRowCount(g_Images ? g_Images->ImageCount() / 10 + 1 : 1);
        // The frame and scroll bar around a viewport of exactly 10 x 8 cells.
        Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        const int bar = Grid->verticalScrollBar()->sizeHint().width();
        Grid->resize(10 * TDrawGrid::kPitch + bar + 2, kVisibleRows * TDrawGrid::kPitch + 2);
    }
};

// Created on first use, destroyed by main while the application object still exists.
std::unique_ptr<TBenchEditor> g_Editor;

TBenchEditor& Editor() {
    if (!g_Editor)
        g_Editor = std::make_unique<TBenchEditor>();
    return *g_Editor;
}

void BM_GridPaintOneScreen(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    if (!g_Images || g_Images->ImageCount() != kImages) {
        state.SkipWithError("the benchmark library did not open");
        return;
    }
    QWidget* viewport = editor.Grid->viewport();
    QImage target(viewport->size(), QImage::Format_RGB32);
    QScrollBar* v = editor.Grid->verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        // A different screen every time, spread over the whole library.
        v->setValue((step++ * 997 * TDrawGrid::kPitch) % std::max(1, v->maximum()));
        viewport->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["cells"] = double(viewport->height() / TDrawGrid::kPitch * 10);
    state.SetItemsProcessed(int64_t(state.iterations()) * 80);
}
BENCHMARK(BM_GridPaintOneScreen)->Unit(benchmark::kMillisecond);

// Scrolling by one wheel step near the same place: the same cost, measured as the user feels it.
void BM_GridScrollStep(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    if (!g_Images) {
        state.SkipWithError("the benchmark library did not open");
        return;
    }
    QWidget* viewport = editor.Grid->viewport();
    QImage target(viewport->size(), QImage::Format_RGB32);
    QScrollBar* v = editor.Grid->verticalScrollBar();
    v->setValue(v->maximum() / 2);
    int direction = 1;
    for (auto _ : state) {
        if (v->value() + direction * 20 > v->maximum() || v->value() + direction * 20 < 0)
            direction = -direction;
        v->setValue(v->value() + direction * 20);
        viewport->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_GridScrollStep)->Unit(benchmark::kMillisecond);

// Opening the library in the window, with the progress bar and messages handled while reading.
void BM_OpenLibraryInWindow(benchmark::State& state) {
    TBenchEditor& editor = Editor();
    TfrmMain& main = *editor.Forms->frmMain;
    const std::string path = LibraryPath();
    // The password list names the library, so no prompt comes up.
    g_PakPasswords = {{path, kDefaultPakPassword}};
    for (auto _ : state) {
        main.OpenLibrary(path);
        if (!g_Images || g_Images->ImageCount() != kImages) {
            state.SkipWithError("the benchmark library did not open");
            return;
        }
    }
}
BENCHMARK(BM_OpenLibraryInWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

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
    g_Images.reset();
    g_Editor.reset();
    return 0;
}
