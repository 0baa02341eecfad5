// Paste of 1,000 images in the editor, offscreen: the window (shown, with both libraries in tabs)
// copies images 0..999 of one tab and pastes them into another, while a 1 ms timer measures how
// long the user-interface thread is away from its event loop. "max_block_ms" is the longest such
// gap from the paste command until the pasted images are selected; "paste_ms" the whole paste.
//
// Two pastes: WIL into WIL of one depth (the records travel unchanged) and WZL sprites with alpha
// into a 16-bit WIL (every picture decoded, the question about the lost alpha answered). The
// baseline of each is the same copy run on the calling thread (CopyImages): the time a paste done
// on the user-interface thread would freeze the window.
//
// The libraries go to $VELMORA_BENCH_DIR (default /tmp/velmora-paste-bench) and are kept.
#include "app/globals.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/worker.h"
#include "core/dib.h"
#include "formats/image_info.h"
#include "operations/copy_images.h"
#include "operations/create_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace velmora;

namespace {

constexpr int kImages = 1000;
constexpr int kTargetImages = 200;

std::string BenchDir() {
    const char* dir = std::getenv("VELMORA_BENCH_DIR");
    return dir ? dir : "/tmp/velmora-paste-bench";
}

std::string PathOf(const std::string& name) {
    return BenchDir() + "/" + name;
}

// A 48 x 64 sprite: a shaded disc over black, different for each i; its alpha fades the edge.
void MakeSprite(int i, TDIB& colour, TDIB& alpha) {
    const int w = 48, h = 64;
    colour.SetPixelFormat(MakePixelFormat(5, 6, 5));
    colour.SetSize(w, h, 16);
    alpha = *MakeLibraryBuffer(8, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
            const double d = dx * dx + dy * dy;
            if (d > 1.0)
                continue;
            const int shade = int(31 * (1.0 - d));
            colour.SetPixel(x, y, uint32_t((shade << 11) | (((i + x) & 63) << 5) | ((y + i) & 31)));
            alpha.SetPixel(x, y, uint32_t(std::min(255.0, 400 * (1.0 - d))));
        }
    }
}

// Builds a library once; later runs reuse the file.
void EnsureLibrary(TImageType kind, const std::string& path, int images, bool withAlpha) {
    if (const TOpenResult open = OpenLibraryFile(path);
        open.Library && open.Opened() && open.Library->ImageCount() == images)
        return;
    std::filesystem::create_directories(BenchDir());
    CreateLibraryFile(kind, path, 16, "");
    TOpenResult open = OpenLibraryFile(path);
    auto update = open.Library->BeginUpdate(-1);
    for (int i = 0; i < images; ++i) {
        TDIB colour, alpha;
        MakeSprite(i, colour, alpha);
        update.Add(colour, -24, -60, 1, withAlpha ? &alpha : nullptr);
    }
    update.EndUpdate();
}

// A fresh copy of the target library's files under another name.
std::string FreshTarget() {
    const std::string base = PathOf("target.wil"), fresh = PathOf("pasted.wil");
    const std::vector<std::string> from = LibraryFiles(base, t_Wil);
    const std::vector<std::string> to = LibraryFiles(fresh, t_Wil);
    for (size_t i = 0; i < from.size() && i < to.size(); ++i)
        std::filesystem::copy_file(from[i], to[i],
                                   std::filesystem::copy_options::overwrite_existing);
    return fresh;
}

struct TBenchEditor {
    TScriptedPrompts Prompts;
    std::unique_ptr<TScopedPrompts> Scope;
    std::unique_ptr<TfrmMain> Window;

    TBenchEditor() {
        EnsureLibrary(t_Wil, PathOf("source.wil"), kImages, false);
        EnsureLibrary(t_Wzl, PathOf("source.wzl"), kImages, true);
        EnsureLibrary(t_Wil, PathOf("target.wil"), kTargetImages, false);
        Scope = std::make_unique<TScopedPrompts>(Prompts);
        Window = std::make_unique<TfrmMain>();
        Window->show();
        QCoreApplication::processEvents();
    }
    TfrmMain& Main() { return *Window; }

    TLibraryDocument* Open(const std::string& path) {
        Main().OpenLibrary(path);
        TWorker::WaitForAll();
        return Main().DocumentOf(path);
    }
};

std::unique_ptr<TBenchEditor> g_Editor;

TBenchEditor& Editor() {
    if (!g_Editor)
        g_Editor = std::make_unique<TBenchEditor>();
    return *g_Editor;
}

// One paste of images 0..999 of source into a fresh target, timed by the event loop.
void Paste(benchmark::State& state, const std::string& source) {
    TBenchEditor& editor = Editor();
    double maxBlock = 0, pasteMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TfrmMain& main = editor.Main();
        while (main.Document())
            main.CloseLibrary();
        TLibraryDocument* from = editor.Open(source);
        TLibraryDocument* into = editor.Open(FreshTarget());
        if (!from || !into) {
            state.SkipWithError("the benchmark libraries did not open");
            return;
        }
        main.ShowDocument(*from);
        from->SelectRange(0, kImages - 1);
        main.Action("MenuCopy")->trigger();
        main.ShowDocument(*into);
        into->Select(0);
        editor.Prompts.Confirms = {true};
        QCoreApplication::processEvents();
        state.ResumeTiming();

        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            maxBlock = std::max(maxBlock, double(now - last) / 1e6);
            last = now;
        });
        clock.start();
        tick.start();
        main.Action("MenuPaste")->trigger();
        maxBlock = std::max(maxBlock, double(clock.nsecsElapsed() - last) / 1e6);
        last = clock.nsecsElapsed();
        while (into->Busy() || into->ImageCount() != kTargetImages + kImages)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        maxBlock = std::max(maxBlock, double(clock.nsecsElapsed() - last) / 1e6);
        tick.stop();
        pasteMs = std::max(pasteMs, double(clock.nsecsElapsed()) / 1e6);
    }
    state.counters["max_block_ms"] = maxBlock;
    state.counters["paste_ms"] = pasteMs;
}

// The baseline: the same copy on the calling thread.
void Blocking(benchmark::State& state, const std::string& source) {
    const TOpenResult from = OpenLibraryFile(source);
    if (!from.Library) {
        state.SkipWithError("the source did not open");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const TOpenResult into = OpenLibraryFile(FreshTarget());
        state.ResumeTiming();
        TCopyOptions options;
        options.Mode = cmInsert;
        options.At = 0;
        options.To = kImages - 1;
        const TCopyResult result = CopyImages(*from.Library, *into.Library, options);
        if (!result.Done) {
            state.SkipWithError(result.Error.c_str());
            return;
        }
    }
}

void BM_PasteRecordsWilToWil(benchmark::State& state) {
    Paste(state, PathOf("source.wil"));
}
BENCHMARK(BM_PasteRecordsWilToWil)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BlockingCopyWilToWil(benchmark::State& state) {
    Blocking(state, PathOf("source.wil"));
}
BENCHMARK(BM_BlockingCopyWilToWil)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PastePicturesWzlToWil(benchmark::State& state) {
    Paste(state, PathOf("source.wzl"));
}
BENCHMARK(BM_PastePicturesWzlToWil)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BlockingCopyWzlToWil(benchmark::State& state) {
    Blocking(state, PathOf("source.wzl"));
}
BENCHMARK(BM_BlockingCopyWzlToWil)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string home = BenchDir() + "/home";
    std::filesystem::create_directories(home);
    qputenv("VELMORA_HOME", (home + "/").c_str());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_Editor.reset();
    return 0;
}
