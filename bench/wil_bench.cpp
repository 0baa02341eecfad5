// Opening and saving a large WIL library: a generated file of about 1 GiB with 50,000 16-bit
// images of 100 x 100 pixels.
//
// - velmora-cli opening the library and exporting its last image, next to `cat` reading the file,
//   with the files in the page cache and cold (dropped from it with posix_fadvise): wall time and
//   the command's peak memory beyond that of `velmora-cli info` on an empty library;
// - opening in the process, with the peak memory it adds;
// - velmora-cli list of every image, next to `cat` (page cache warm);
// - appending one picture in place, next to the full rewrite the append reproduces byte for byte
//   (the same run compares the two results), next to flushing the new record and the index
//   alone, and next to `cp` and `sync` of the file.
//
// The files go to $VELMORA_BENCH_DIR (default /tmp/velmora-wil-bench); set VELMORA_BENCH_IMAGES
// to use fewer images when disk space is short. velmora-cli is taken from beside the bench folder
// ($VELMORA_CLI overrides).

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/palette.h"
#include "formats/image_info.h"
#include "formats/wil.h"
#include "formats/wil_format.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Writes the library once (kept between runs while its size fits): short layout, 16 bits, records
// back to back, headers as this program writes them. The index is written on every run.
const std::string& Library() {
    static const std::string name = [] {
        std::filesystem::create_directories(BenchDir());
        const std::string data = LibraryName();
        const int count = ImageCount();
        const size_t payload = size_t(RowBytes(kWidth, 16)) * kHeight;
        const size_t record = 12 + payload;
        std::vector<uint8_t> header(1080, 0);
        const size_t titleLength = sizeof(wil::kTitle) - 1;
        header[0] = uint8_t(titleLength);
        std::memcpy(header.data() + 1, wil::kTitle, titleLength);
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
        for (int i = 0; i < count; ++i) {
            uint8_t position[4];
            PutI32(position, int32_t(1080 + size_t(i) * record));
            index.insert(index.end(), position, position + 4);
        }
        TFileStream indexOut(BenchDir() + "/big.WIX", TFileStream::fmCreate);
        indexOut.Write(index);
        if (FileExists(data) && std::filesystem::file_size(data) == 1080 + size_t(count) * record)
            return data;
        TFileStream out(data, TFileStream::fmCreate);
        out.Write(header);
        std::vector<uint8_t> chunk;
        uint32_t seed = 12345;
        for (int i = 0; i < count; ++i) {
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

std::string CliPath() {
    if (const char* cli = std::getenv("VELMORA_CLI"))
        return cli;
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "velmora-cli";
}

// Drops the file's pages from the page cache (they are clean), so that the next read goes to the
// disk.
void DropFromCache(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY);
    if (fd >= 0) {
        (void)::fdatasync(fd);
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct TChildRun {
    double Seconds = 0;
    double PeakMiB = 0;
    int Status = -1;
};

constexpr char kMeasureFlag[] = "--measure-child";

// Spawns argv with its output to /dev/null and waits for it; -1 when it cannot be started.
pid_t Spawn(char* const* argv, int stdoutFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// The measuring process: runs the command given after the flag and prints its wall time, peak
// resident kilobytes and exit status. The kernel starts a spawned program's peak at the resident
// size of the process that spawned it, so the benchmark, which holds the library's index and
// more, has this small process of its own spawn the command instead.
int MeasureChild(char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, -1);
    if (pid < 0)
        return 1;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %ld %d\n", seconds, long(usage.ru_maxrss),
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

// Runs a program through the measuring process: its wall time and peak resident memory.
TChildRun Run(const std::vector<std::string>& args) {
    const std::string self = std::filesystem::canonical("/proc/self/exe");
    std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>(kMeasureFlag)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    TChildRun run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return run;
    const pid_t pid = Spawn(argv.data(), pipeFds[1]);
    ::close(pipeFds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(n));
    ::close(pipeFds[0]);
    if (pid < 0)
        return run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    long peakKiB = 0;
    if (std::sscanf(out.c_str(), "%lf %ld %d", &run.Seconds, &peakKiB, &run.Status) != 3)
        run.Status = -1;
    run.PeakMiB = double(peakKiB) / 1024;
    return run;
}

// The peak memory of velmora-cli itself: `info` on an empty library.
double ProgramOwnMiB() {
    static const double own = [] {
        const std::string empty = BenchDir() + "/empty.wil";
        if (!FileExists(empty))
            TWil(empty).CreateFile(16, "");
        return Run({CliPath(), "info", empty}).PeakMiB;
    }();
    return own;
}

void ChildBenchmark(benchmark::State& state, const std::vector<std::string>& args, bool cold,
                    bool subtractOwn) {
    const std::string& name = Library();
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (cold) {
            DropFromCache(name);
            DropFromCache(BenchDir() + "/big.WIX");
        }
        state.ResumeTiming();
        const TChildRun run = Run(args);
        state.SetIterationTime(run.Seconds);
        if (run.Status != 0)
            state.SkipWithError("the command failed");
        peak = std::max(peak, run.PeakMiB);
    }
    state.counters["peak_MiB"] = peak;
    if (subtractOwn) {
        state.counters["own_MiB"] = ProgramOwnMiB();
        state.counters["beyond_own_MiB"] = peak - ProgramOwnMiB();
    }
}

void BM_Cat(benchmark::State& state) {
    ChildBenchmark(state, {"/bin/cat", Library()}, state.range(0) != 0, false);
}

void BM_CliExportLast(benchmark::State& state) {
    const std::string last = std::to_string(ImageCount() - 1);
    ChildBenchmark(
        state, {CliPath(), "export", Library(), BenchDir() + "/out", "--from", last, "--to", last},
        state.range(0) != 0, true);
}

// velmora-cli list of every image (each header read when listed), against cat of the file.
void BM_CliList(benchmark::State& state) {
    ChildBenchmark(state, {CliPath(), "list", Library()}, state.range(0) != 0, true);
}

// What an append is measured against: copying the file and syncing the copy to the disk.
void BM_CpAndSync(benchmark::State& state) {
    const std::string copy = BenchDir() + "/copy.wil";
    ChildBenchmark(
        state, {"/bin/sh", "-c", "cp '" + Library() + "' '" + copy + "' && sync '" + copy + "'"},
        false, false);
    std::filesystem::remove(copy);
}

void BM_OpenAndGetLast(benchmark::State& state) {
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
            int x = 0, y = 0;
            auto picture = wil.Get(wil.ImageCount() - 1, x, y);
            benchmark::DoNotOptimize(picture.get());
            state.PauseTiming();
            peakMiB = std::max(peakMiB, double(StatusKiB("VmHWM:") - before) / 1024);
            state.ResumeTiming();
        }
    }
    state.counters["file_MiB"] = fileMiB;
    state.counters["peak_MiB"] = peakMiB;
}

// The library copied afresh (not timed), then one picture appended, in place or by the full
// rewrite. Both results are kept for the comparison below.
void AppendOne(benchmark::State& state, bool inPlace) {
    const std::string& original = Library();
    const std::string base = BenchDir() + (inPlace ? "/append" : "/rewrite");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(original, base + ".wil",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(BenchDir() + "/big.WIX", base + ".WIX",
                                   std::filesystem::copy_options::overwrite_existing);
        TWil wil(base + ".wil");
        wil.Initialize();
        wil.SetInPlaceSaves(inPlace);
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
}

void BM_AppendOneInPlace(benchmark::State& state) {
    AppendOne(state, true);
}

void BM_AppendOneFullRewrite(benchmark::State& state) {
    AppendOne(state, false);
    const std::string dir = BenchDir();
    const bool same =
        TFileStream::ReadAll(dir + "/append.wil") == TFileStream::ReadAll(dir + "/rewrite.wil") &&
        TFileStream::ReadAll(dir + "/append.WIX") == TFileStream::ReadAll(dir + "/rewrite.WIX");
    state.counters["same_bytes_as_in_place"] = same ? 1 : 0;
    if (!same)
        state.SkipWithError("the append in place differs from the full rewrite");
}

// The baseline the append is held against: writing and flushing what an append must put on the
// disk at least, the new record (header and pixels) and an index for one more image, each to a
// file of its own.
void BM_FlushRecordAndIndex(benchmark::State& state) {
    const size_t record = 12 + size_t(RowBytes(kWidth, 16)) * kHeight;
    const std::vector<uint8_t> recordBytes(record, 0x5A);
    const std::vector<uint8_t> indexBytes(48 + 4 * (size_t(ImageCount()) + 1), 0x11);
    const std::string dir = BenchDir();
    for (auto _ : state) {
        for (const auto* bytes : {&recordBytes, &indexBytes}) {
            TFileStream out(dir + (bytes == &recordBytes ? "/flush.rec" : "/flush.idx"),
                            TFileStream::fmCreate);
            out.Write(*bytes);
            out.Flush();
        }
    }
    state.counters["bytes"] = double(recordBytes.size() + indexBytes.size());
}

BENCHMARK(BM_Cat)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliExportLast)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_CliList)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenAndGetLast)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CpAndSync)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FlushRecordAndIndex)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AppendOneInPlace)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AppendOneFullRewrite)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace velmora

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], velmora::kMeasureFlag) == 0)
        return velmora::MeasureChild(argv + 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
