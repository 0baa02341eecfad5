// The batch export and import of 1500 16-bit sprites of 24 to 200 pixels:
//
//   ExportVsLibpng    velmora-cli export LIB OUT --format png on every core, as a whole process,
//                     against encoding the same pictures with libpng at level 9 on one thread, in
//                     memory, in the same iteration. Counters: speedup (libpng's time over the
//                     export's), bytes_vs_libpng (the PNG bytes written over libpng's).
//   ExportStages      the export taken apart, on one thread in this process: opening the library,
//                     decoding every image, widening to PNG rows, choosing the filter plan,
//                     filtering, deflating at the default level, writing the pictures and offset
//                     files. Each stage's seconds are a counter; libpng_s is libpng's time for
//                     the same pictures, measured in the same iteration.
//   PngLevel/N        encoding every picture at PNG level N on one thread: seconds and
//                     bytes_vs_libpng, so that the default level (at most libpng's bytes in the
//                     least time) can be checked.
//   ImportCompressed  velmora-cli import LIB DIR --compress of those PNG files into a new WZL.
//
// With VELMORA_BASELINE_CLI naming another velmora-cli build, ExportVsLibpng and ImportCompressed
// also run it on the same input (counters baseline_s, and speedup or vs_baseline against it), so
// that both are measured in the same conditions. Run with --benchmark_repetitions=N for medians.

#include "core/dib.h"
#include "core/file_stream.h"
#include "core/game_images.h"
#include "core/zlib_util.h"
#include "files/picture_files.h"
#include "files/placements.h"
#include "files/png_writer.h"
#include "operations/create_library.h"
#include "operations/library_kind.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kSprites = 1500;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Unit(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 24);
}

// Smooth noise in 0..1 over a grid of `scale` pixels.
double ValueNoise(double x, double y, uint32_t seed) {
    const int xi = int(std::floor(x)), yi = int(std::floor(y));
    const double fx = x - xi, fy = y - yi;
    auto v = [&](int a, int b) { return (Hash(uint32_t(a), uint32_t(b), seed) & 1023) / 1023.0; };
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    return (v(xi, yi) * (1 - sx) + v(xi + 1, yi) * sx) * (1 - sy) +
           (v(xi, yi + 1) * (1 - sx) + v(xi + 1, yi + 1) * sx) * sy;
}

// A sprite as games draw them: on black (transparent), two to five lit, textured body parts with
// a dark outline, in 5-6-5; 24 to 200 pixels each way.
TDIB Sprite(int index) {
    uint32_t state = uint32_t(index) * 2654435761u + 12345u;
    const int w = 24 + int(Unit(state) * 177), h = 24 + int(Unit(state) * 177);
    std::vector<double> colour(size_t(w) * size_t(h) * 3, 0);
    std::vector<bool> inside(size_t(w) * size_t(h), false);
    const int parts = 2 + int(Unit(state) * 4);
    for (int p = 0; p < parts; ++p) {
        const double cx = w * (0.3 + 0.4 * Unit(state)), cy = h * (0.25 + 0.5 * Unit(state));
        const double rx = w * (0.12 + 0.25 * Unit(state)), ry = h * (0.12 + 0.25 * Unit(state));
        const double base[3] = {0.2 + 0.8 * Unit(state), 0.2 + 0.8 * Unit(state),
                                0.2 + 0.8 * Unit(state)};
        const double scale = 2.5 + 4 * Unit(state);
        const uint32_t seed = state;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double dx = (x - cx) / rx, dy = (y - cy) / ry, d2 = dx * dx + dy * dy;
                if (d2 > 1)
                    continue;
                const double light = std::clamp(
                    0.3 + 0.7 * (std::sqrt(1 - d2) * 0.8 - dx * 0.25 - dy * 0.35), 0.1, 1.0);
                const double texture =
                    0.85 + 0.3 * ValueNoise(x / scale, y / scale, seed) +
                    ((Hash(uint32_t(x), uint32_t(y), seed) & 255) / 255.0 - 0.5) * 0.08;
                const size_t i = size_t(y) * size_t(w) + size_t(x);
                for (int c = 0; c < 3; ++c)
                    colour[i * 3 + size_t(c)] = base[c] * light * texture;
                inside[i] = true;
            }
    }
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(w, h, 16);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (!inside[i])
                continue;
            const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1 || !inside[i - 1] ||
                              !inside[i + 1] || !inside[i - size_t(w)] || !inside[i + size_t(w)];
            const double f = edge ? 0.45 : 1.0;
            const int r = std::clamp(int(colour[i * 3] * f * 31 + 0.5), 0, 31);
            const int g = std::clamp(int(colour[i * 3 + 1] * f * 63 + 0.5), 0, 63);
            const int b = std::clamp(int(colour[i * 3 + 2] * f * 31 + 0.5), 0, 31);
            const uint32_t v = uint32_t(r << 11 | g << 5 | b);
            dib.SetPixel(x, y, v == 0 ? 1u << 5 : v); // black stays the background's
        }
    return dib;
}

struct TFixture {
    std::string Folder;
    std::string LibraryPath;
    std::vector<TDIB> Sprites;
    std::string Baseline; // another velmora-cli to measure in the same run, or empty

    TFixture() {
        Folder = (fs::temp_directory_path() / ("velmora-export-bench-" + std::to_string(getpid())))
                     .string();
        fs::remove_all(Folder);
        fs::create_directories(Folder + "/home");
        LibraryPath = Folder + "/sprites.wil";
        CreateLibraryFile(t_Wil, LibraryPath, 16, "");
        auto library = CreateLibrary(t_Wil, LibraryPath);
        library->Initialize();
        auto update = library->BeginUpdate(-1);
        for (int i = 0; i < kSprites; ++i) {
            Sprites.push_back(Sprite(i));
            update.Add(Sprites.back(), i % 50 - 25, -(i % 70), 0, nullptr);
        }
        update.EndUpdate();
        if (const char* baseline = std::getenv("VELMORA_BASELINE_CLI"))
            Baseline = baseline;
    }
    ~TFixture() {
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// Runs a velmora-cli command line; its wall-clock seconds, or a negative value when it fails.
double RunCli(const std::string& cli, const std::string& arguments) {
    const std::string command = "VELMORA_HOME=" + Quote(Fixture().Folder + "/home/") + " " +
                                Quote(cli) + " " + arguments + " >/dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

uint64_t BytesOf(const std::string& folder, const std::string& extension) {
    uint64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            bytes += entry.file_size();
    return bytes;
}

void AppendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// libpng's PNG of a sprite at level 9 with its default filter choice, 5-6-5 widened to RGB.
size_t LibpngSize(const TDIB& dib) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> row(size_t(dib.Width()) * 3);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, AppendBytes, nullptr);
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
    } else {
        out.clear();
    }
    png_destroy_write_struct(&png, &info);
    return out.size();
}

// A new folder for every export: files deleted just before would make creating the new ones
// slower than creating files is (the file system keeps recently freed inodes aside).
std::string NewFolder() {
    static int runs = 0;
    return Fixture().Folder + "/export" + std::to_string(++runs);
}

void BM_ExportVsLibpng(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        uint64_t libpngBytes = 0;
        for (const TDIB& sprite : f.Sprites)
            libpngBytes += LibpngSize(sprite);
        const double libpng =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        std::string out = NewFolder();
        const double seconds = RunCli(VELMORA_CLI_PATH, "export " + Quote(f.LibraryPath) + " " +
                                                            Quote(out) + " --format png");
        if (seconds < 0) {
            state.SkipWithError("velmora-cli export failed");
            return;
        }
        state.SetIterationTime(seconds);
        const uint64_t bytes = BytesOf(out, ".PNG");
        state.counters["libpng_s"] = libpng;
        state.counters["speedup"] = libpng / seconds;
        state.counters["png_bytes"] = double(bytes);
        state.counters["libpng_bytes"] = double(libpngBytes);
        state.counters["bytes_vs_libpng"] = double(bytes) / double(libpngBytes);
        state.counters["offset_bytes"] = double(BytesOf(out + "/Placements", ".txt"));
        if (!f.Baseline.empty()) {
            out = NewFolder();
            const double baseline = RunCli(f.Baseline, "export " + Quote(f.LibraryPath) + " " +
                                                           Quote(out) + " --format png");
            state.counters["baseline_s"] = baseline;
            state.counters["baseline_speedup"] = libpng / baseline;
            state.counters["baseline_png_bytes"] = double(BytesOf(out, ".PNG"));
        }
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
    state.counters["processors"] = double(ProcessorCount());
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// libpng's time and bytes for every sprite, on this thread.
std::pair<double, uint64_t> Libpng() {
    const auto start = std::chrono::steady_clock::now();
    uint64_t bytes = 0;
    for (const TDIB& sprite : Fixture().Sprites)
        bytes += LibpngSize(sprite);
    return {Since(start), bytes};
}

void BM_ExportStages(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        const auto [libpngSeconds, libpngBytes] = Libpng();
        auto start = std::chrono::steady_clock::now();
        TOpenResult opened = OpenLibraryFile(f.LibraryPath, "");
        if (!opened.Opened()) {
            state.SkipWithError("the library does not open");
            return;
        }
        const double open = Since(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::unique_ptr<TPicture>> pictures;
        std::vector<TPoint> offsets;
        for (int i = 0; i < opened.Library->ImageCount(); ++i) {
            int x = 0, y = 0;
            pictures.push_back(opened.Library->Get(i, x, y));
            offsets.push_back({x, y});
        }
        const double decode = Since(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::vector<uint8_t>> rows;
        for (const auto& picture : pictures) {
            const TDIB& dib = *picture->AsDIB();
            const size_t rowBytes = size_t(dib.Width()) * 3;
            std::vector<uint8_t> raw(rowBytes * size_t(dib.Height()));
            const TRowColors colours(dib);
            for (int y = 0; y < dib.Height(); ++y)
                colours.Read(y, raw.data() + size_t(y) * rowBytes);
            rows.push_back(std::move(raw));
        }
        const double widen = Since(start);

        start = std::chrono::steady_clock::now();
        std::vector<TFilterPlan> plans;
        for (size_t i = 0; i < rows.size(); ++i) {
            const size_t rowBytes = size_t(pictures[i]->Width()) * 3;
            plans.push_back(ChoosePlan(rows[i], rowBytes, rows[i].size() / rowBytes, 3));
        }
        const double plan = Since(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::vector<uint8_t>> filtered(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const size_t rowBytes = size_t(pictures[i]->Width()) * 3;
            FilterImage(rows[i], rowBytes, rows[i].size() / rowBytes, 3, plans[i], filtered[i]);
        }
        const double filter = Since(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::vector<uint8_t>> streams;
        uint64_t deflated = 0;
        for (const auto& data : filtered) {
            std::vector<uint8_t> stream(ZCompressBound(data.size(), kDefaultPngLevel));
            stream.resize(ZCompressInto(data, kDefaultPngLevel, stream));
            deflated += stream.size();
            streams.push_back(std::move(stream));
        }
        const double deflate = Since(start);

        // The files as the export writes them (its own PNG bytes, same size give or take the
        // chunk heads), each with its offset file.
        const std::string out = NewFolder() + "/";
        fs::create_directories(out + "Placements");
        start = std::chrono::steady_clock::now();
        char name[32];
        for (size_t i = 0; i < streams.size(); ++i) {
            std::snprintf(name, sizeof name, "%05zu", i);
            if (!WriteFileThroughTemporary(out + name + ".PNG", streams[i]) ||
                !WritePlacement(out + "Placements/" + name + ".txt", offsets[i])) {
                state.SkipWithError("a file could not be written");
                return;
            }
        }
        const double files = Since(start);

        const double total = open + decode + widen + plan + filter + deflate + files;
        state.SetIterationTime(total);
        state.counters["open_s"] = open;
        state.counters["decode_s"] = decode;
        state.counters["widen_s"] = widen;
        state.counters["plan_s"] = plan;
        state.counters["filter_s"] = filter;
        state.counters["deflate_s"] = deflate;
        state.counters["files_s"] = files;
        state.counters["libpng_s"] = libpngSeconds;
        state.counters["deflate_bytes_vs_libpng"] = double(deflated) / double(libpngBytes);
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

void BM_PngLevel(benchmark::State& state) {
    TFixture& f = Fixture();
    const int level = int(state.range(0));
    // libpng's bytes do not change from run to run.
    static const uint64_t libpngBytes = Libpng().second;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        uint64_t bytes = 0;
        for (const TDIB& sprite : f.Sprites)
            bytes += SavePNGToMemory(sprite, level).size();
        state.SetIterationTime(Since(start));
        state.counters["png_bytes"] = double(bytes);
        state.counters["bytes_vs_libpng"] = double(bytes) / double(libpngBytes);
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

void BM_ImportCompressed(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string pictures = f.Folder + "/pictures";
    if (!fs::exists(pictures) &&
        RunCli(VELMORA_CLI_PATH,
               "export " + Quote(f.LibraryPath) + " " + Quote(pictures) + " --format png") < 0) {
        state.SkipWithError("velmora-cli export failed");
        return;
    }
    // A fresh compressed library for every run of either program.
    auto import = [&](const std::string& cli) {
        const std::string target = f.Folder + "/imported.wzl";
        fs::remove(target);
        fs::remove(f.Folder + "/imported.wzx");
        if (RunCli(VELMORA_CLI_PATH, "create " + Quote(target) + " --wzl") < 0)
            return -1.0;
        return RunCli(cli, "import " + Quote(target) + " " + Quote(pictures) + " --compress");
    };
    for (auto _ : state) {
        const double seconds = import(VELMORA_CLI_PATH);
        if (seconds < 0) {
            state.SkipWithError("velmora-cli import failed");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["wzl_bytes"] = double(fs::file_size(f.Folder + "/imported.wzl"));
        if (!f.Baseline.empty()) {
            const double baseline = import(f.Baseline);
            state.counters["baseline_s"] = baseline;
            state.counters["vs_baseline"] = seconds / baseline;
            state.counters["baseline_wzl_bytes"] =
                double(fs::file_size(f.Folder + "/imported.wzl"));
        }
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

BENCHMARK(BM_ExportVsLibpng)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ExportStages)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_PngLevel)
    ->DenseRange(1, kMaxPngLevel)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_ImportCompressed)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
