// Opening and saving a large WIL library: a generated file of about 1 GiB with 50,000 16-bit
// images of 100 x 100 pixels. Compares opening with reading the file once, and saving after one
// Add with copying the file; reports the peak memory that opening adds.
//
// The files go to $VELMORA_BENCH_DIR (default /tmp/velmora-wil-bench); set VELMORA_BENCH_IMAGES
// to use fewer images when disk space is short.

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/palette.h"
#include "formats/image_info.h"
#include "formats/wil.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 100;

std::string BenchDir() {
    const char* dir = std::getenv("VELMORA_BENCH_DIR");
    return dir ? dir : "/tmp/velmora-wil-bench";
}

int ImageCount() {
    const char* count = std::getenv("VELMORA_BENCH_IMAGES");
    return count ? std::max(1, std::atoi(count)) : 50000;
}

std::string LibraryName() {
    return BenchDir() + "/big.wil";
}

// Writes the library once per process: short layout, 16 bits, records back to back.
const std::string& Library() {
    static const std::string name = [] {
        std::filesystem::create_directories(BenchDir());
        const std::string data = LibraryName();
        const int count = ImageCount();
        const size_t payload = size_t(RowBytes(kWidth, 16)) * kHeight;
        const size_t record = 12 + payload;
        if (FileExists(data) && std::filesystem::file_size(data) == 1080 + size_t(count) * record)
            return data;
        std::vector<uint8_t> header(1080, 0);
        const char title[] = "Benchmark library";
        header[0] = uint8_t(sizeof(title) - 1);
        std::memcpy(header.data() + 1, title, sizeof(title) - 1);
        PutI32(header.data() + 44, count);
        PutU32(header.data() + 48, 65536);
        PutI32(header.data() + 52, 1080);
        for (size_t i = 0; i < 256; ++i) {
            header[56 + 4 * i] = DefaultPalette[i].rgbBlue;
            header[57 + 4 * i] = DefaultPalette[i].rgbGreen;
            header[58 + 4 * i] = DefaultPalette[i].rgbRed;
        }
        std::vector<uint8_t> index(48, 0);
        std::memcpy(index.data(), header.data(), 44);
        PutI32(index.data() + 44, count);
        TFileStream out(data, TFileStream::fmCreate);
        out.Write(header);
        std::vector<uint8_t> chunk;
        uint32_t seed = 12345;
        for (int i = 0; i < count; ++i) {
            uint8_t position[4];
            PutI32(position, int32_t(1080 + size_t(i) * record));
            index.insert(index.end(), position, position + 4);
            uint8_t recordHeader[12] = {};
            PutI16(recordHeader, kWidth);
            PutI16(recordHeader + 2, kHeight);
            PutI16(recordHeader + 4, i % 200 - 100);
            chunk.insert(chunk.end(), recordHeader, recordHeader + 12);
            for (size_t p = 0; p < payload; ++p) {
                seed = seed * 1103515245u + 12345u;
                chunk.push_back(uint8_t(seed >> 16));
            }
            if (chunk.size() > (8u << 20)) {
                out.Write(chunk);
                chunk.clear();
            }
        }
        out.Write(chunk);
        TFileStream indexOut(BenchDir() + "/big.WIX", TFileStream::fmCreate);
        indexOut.Write(index);
        return data;
    }();
    return name;
}

// The kilobyte value of a field of /proc/self/status ("VmRSS:", "VmHWM:").
int64_t StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atoll(line.c_str() + field.size());
    return -1;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_ReadFileOnce(benchmark::State& state) {
    const std::string& name = Library();
    for (auto _ : state) {
        std::vector<uint8_t> copy = TFileStream::ReadAll(name);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(name)));
}

void BM_Open(benchmark::State& state) {
    const std::string& name = Library();
    const double fileMiB = double(std::filesystem::file_size(name)) / (1 << 20);
    double peakMiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int64_t before = StatusKiB("VmRSS:");
        ResetPeakMemory();
        state.ResumeTiming();
        {
            TWil wil(name);
            wil.Initialize();
            if (!wil.Initialized() || wil.ImageCount() != ImageCount())
                state.SkipWithError("the library did not open");
            state.PauseTiming();
            peakMiB = std::max(peakMiB, double(StatusKiB("VmHWM:") - before) / 1024);
            state.ResumeTiming();
        }
    }
    state.counters["file_MiB"] = fileMiB;
    state.counters["peak_MiB"] = peakMiB;
    state.counters["peak_per_file"] = peakMiB / fileMiB;
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(name)));
}

void BM_SaveAfterOneAdd(benchmark::State& state) {
    const std::string& original = Library();
    const std::string name = BenchDir() + "/save.wil";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(original, name,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(BenchDir() + "/big.WIX", BenchDir() + "/save.WIX",
                                   std::filesystem::copy_options::overwrite_existing);
        TWil wil(name);
        wil.Initialize();
        auto picture = MakeLibraryBuffer(16, kWidth, kHeight);
        state.ResumeTiming();
        auto update = wil.BeginUpdate(wil.ImageCount());
        update.Add(*picture, 0, 0, 0, nullptr);
        update.EndUpdate();
        state.PauseTiming();
        if (wil.ImageCount() != ImageCount() + 1)
            state.SkipWithError("the save did not add the image");
        wil.Finalize();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(original)));
}

void BM_CopyFile(benchmark::State& state) {
    const std::string& name = Library();
    const std::string copy = BenchDir() + "/copy.wil";
    for (auto _ : state)
        std::filesystem::copy_file(name, copy, std::filesystem::copy_options::overwrite_existing);
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(name)));
}

BENCHMARK(BM_ReadFileOnce)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveAfterOneAdd)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
