// A Pak library of 100,000 zlib-compressed 16-bit sprites: opening it (the password check, the
// index and every record header), next to reading the file once, both from the page cache and
// cold; decoding every image, next to inflating the same payloads with zlib alone (the counter
// vs_zlib_inflate: zlib's time over the decoding's).

#include "core/dib.h"
#include "core/file_stream.h"
#include "formats/pak.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr int kImages = 100000;
constexpr int kWidth = 48, kHeight = 64;
const char* const kPassword = "bench";

// A sprite-like picture: a transparent (black) frame around a body of short colour runs.
std::unique_ptr<TDIB> Sprite(int seed) {
    auto dib = std::make_unique<TDIB>();
    dib->SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib->SetSize(kWidth, kHeight, 16);
    uint32_t state = uint32_t(seed) * 2654435761u + 1;
    for (int y = 8; y < kHeight - 6; ++y)
        for (int x = 10 + (y % 5); x < kWidth - 10; ++x) {
            if (x % 4 == 0) {
                state = state * 1103515245u + 12345u;
            }
            dib->SetPixel(x, y, (state >> 16) & 0xFFFF);
        }
    return dib;
}

struct TBenchLibrary {
    std::string FileName;
    std::vector<std::vector<uint8_t>> Streams; // the stored zlib payloads
    size_t RawSize = 0;

    TBenchLibrary() {
        FileName = (std::filesystem::temp_directory_path() /
                    ("velmora_pak_bench_" + std::to_string(getpid()) + ".Pak"))
                       .string();
        TQuillrand(FileName).CreateFile(16, kPassword);
        TQuillrand pak(FileName);
        pak.InputPassWord(kPassword);
        pak.CheckPassword();
        pak.Initialize();
        auto update = pak.BeginUpdate(0);
        for (int i = 0; i < kImages; ++i) {
            auto dib = Sprite(i % 997);
            update.Add(*dib, i % 50, -(i % 30), 1, nullptr);
            RawSize = size_t(dib->Size());
        }
        update.EndUpdate();
    }
    // The stored zlib payloads, read once for the comparison with zlib alone.
    const std::vector<std::vector<uint8_t>>& StoredStreams() {
        if (Streams.empty()) {
            TQuillrand pak(FileName);
            pak.InputPassWord(kPassword);
            pak.CheckPassword();
            pak.Initialize();
            for (const auto& record : pak.Snapshot()->Records()) {
                const TPayload payload(*record);
                Streams.emplace_back(payload.Bytes().begin(), payload.Bytes().end());
            }
        }
        return Streams;
    }
    ~TBenchLibrary() { std::filesystem::remove(FileName); }
};

TBenchLibrary& Library() {
    static TBenchLibrary library;
    return library;
}

// Seconds per pass of zlib's inflate over every payload, for the ratio of the decoding runs.
double g_ZlibSeconds = 0;

void BM_ZlibInflateOnly(benchmark::State& state) {
    TBenchLibrary& library = Library();
    std::vector<uint8_t> out(library.RawSize);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const auto& stream : library.StoredStreams()) {
            uLongf length = uLongf(out.size());
            uncompress(out.data(), &length, stream.data(), uLong(stream.size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
    g_ZlibSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        double(state.iterations());
    state.SetItemsProcessed(int64_t(state.iterations()) * kImages);
}
BENCHMARK(BM_ZlibInflateOnly)->Unit(benchmark::kMillisecond)->Iterations(2);

// Drops the file's pages from the page cache when the benchmark's argument asks for a cold run.
void MaybeDropFromCache(benchmark::State& state, const std::string& name) {
    if (state.range(0) == 0)
        return;
    state.PauseTiming();
    const int fd = ::open(name.c_str(), O_RDONLY);
    if (fd >= 0) {
        (void)::fdatasync(fd);
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    state.ResumeTiming();
}

// Argument 1: cold, the file dropped from the page cache before each iteration.
void BM_PakOpen(benchmark::State& state) {
    TBenchLibrary& library = Library();
    for (auto _ : state) {
        MaybeDropFromCache(state, library.FileName);
        TQuillrand pak(library.FileName);
        pak.InputPassWord(kPassword);
        if (!pak.CheckPassword()) {
            state.SkipWithError("password check failed");
            return;
        }
        pak.Initialize();
        if (pak.ImageCount() != kImages)
            state.SkipWithError("the library did not open whole");
    }
    state.counters["images"] = kImages;
}
BENCHMARK(BM_PakOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

// Reading the whole file once, as `cat` does: what opening is measured against.
void BM_PakReadFileOnce(benchmark::State& state) {
    TBenchLibrary& library = Library();
    for (auto _ : state) {
        MaybeDropFromCache(state, library.FileName);
        std::vector<uint8_t> bytes = TFileStream::ReadAll(library.FileName);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["file_MiB"] = double(std::filesystem::file_size(library.FileName)) / (1 << 20);
}
BENCHMARK(BM_PakReadFileOnce)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PakOpenAndDecodeAll(benchmark::State& state) {
    TBenchLibrary& library = Library();
    for (auto _ : state) {
        TQuillrand pak(library.FileName);
        pak.InputPassWord(kPassword);
        if (!pak.CheckPassword()) {
            state.SkipWithError("password check failed");
            return;
        }
        pak.Initialize();
        for (int i = 0; i < pak.ImageCount(); ++i) {
            int px, py;
            std::unique_ptr<TPicture> picture = pak.Get(i, px, py);
            benchmark::DoNotOptimize(picture.get());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kImages);
}
BENCHMARK(BM_PakOpenAndDecodeAll)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PakDecodeAll(benchmark::State& state) {
    TBenchLibrary& library = Library();
    TQuillrand pak(library.FileName);
    pak.InputPassWord(kPassword);
    pak.CheckPassword();
    pak.Initialize();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < pak.ImageCount(); ++i) {
            int px, py;
            std::unique_ptr<TPicture> picture = pak.Get(i, px, py);
            benchmark::DoNotOptimize(picture.get());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        double(state.iterations());
    // Decoding every image (inflating, pixel buffers, records) against zlib's inflate alone.
    if (g_ZlibSeconds > 0)
        state.counters["vs_zlib_inflate"] = g_ZlibSeconds / seconds;
    state.SetItemsProcessed(int64_t(state.iterations()) * kImages);
}
BENCHMARK(BM_PakDecodeAll)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
