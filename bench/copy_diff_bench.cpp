// velmora-cli copy and diff on WIL libraries, each next to the plain file tools it is held to:
//
// - copy of 10,000 images (16 bits, 100 x 100) from one WIL library into another of the same
//   depth, next to `cp` of the bytes those images occupy followed by `sync` of the copy (the
//   flush that every save ends with);
// - diff of two WIL libraries of about 1 GiB each (50,000 such images) that differ in one image's
//   pixels, next to `cat` of both files, with the files in the page cache and cold (dropped from
//   it with posix_fadvise).
//
// Each command runs as a process of its own, by turns with its baseline so that both meet the
// same load of a shared machine; the times are wall times, the baseline's time and the ratio are
// counters. A third benchmark splits the diff into opening both libraries and comparing them. The
// files go to $VELMORA_BENCH_DIR (default /tmp/velmora-copy-diff-bench) and are kept between runs;
// VELMORA_BENCH_IMAGES sets the image count of the diff's libraries when disk space is short.
// velmora-cli is taken from beside the bench folder ($VELMORA_CLI overrides).

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/palette.h"
#include "formats/wil.h"
#include "formats/wil_format.h"
#include "operations/diff_libraries.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 100;
constexpr int kCopyImages = 10000;
constexpr size_t kPayload = size_t(kWidth) * 2 * kHeight;
constexpr size_t kRecord = 12 + kPayload;
constexpr size_t kFirstRecord = 1080;

std::string BenchDir() {
    const char* dir = std::getenv("VELMORA_BENCH_DIR");
    return dir ? dir : "/tmp/velmora-copy-diff-bench";
}

int DiffImageCount() {
    const char* count = std::getenv("VELMORA_BENCH_IMAGES");
    return count ? std::max(1, std::atoi(count)) : 50000;
}

std::string CliPath() {
    if (const char* cli = std::getenv("VELMORA_CLI"))
        return cli;
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "velmora-cli";
}

// Writes a 16-bit WIL library of the short layout with `count` patterned 100 x 100 images, records
// back to back as this program writes them, unless a file of that size is there already. The
// index is written every time.
void WriteLibrary(const std::string& data, int count, uint32_t seed) {
    std::vector<uint8_t> header(kFirstRecord, 0);
    const size_t titleLength = sizeof(wil::kTitle) - 1;
    header[0] = uint8_t(titleLength);
    std::memcpy(header.data() + 1, wil::kTitle, titleLength);
    PutI32(header.data() + wil::kImageCountAt, count);
    PutU32(header.data() + wil::kColorCountAt, wil::kColorCount16);
    PutI32(header.data() + wil::kPaletteSizeAt, int32_t(kFirstRecord));
    for (size_t i = 0; i < 256; ++i) {
        header[56 + 4 * i] = DefaultPalette[i].rgbBlue;
        header[57 + 4 * i] = DefaultPalette[i].rgbGreen;
        header[58 + 4 * i] = DefaultPalette[i].rgbRed;
    }
    std::vector<uint8_t> index(wil::kShortIndexHeaderSize, 0);
    std::memcpy(index.data(), header.data(), 44);
    PutI32(index.data() + wil::kIndexCountAt, count);
    for (int i = 0; i < count; ++i) {
        uint8_t position[4];
        PutI32(position, int32_t(kFirstRecord + size_t(i) * kRecord));
        index.insert(index.end(), position, position + 4);
    }
    TFileStream indexOut(std::filesystem::path(data).replace_extension(".WIX"),
                         TFileStream::fmCreate);
    indexOut.Write(index);
    if (FileExists(data) && std::filesystem::file_size(data) == kFirstRecord + count * kRecord)
        return;
    TFileStream out(data, TFileStream::fmCreate);
    out.Write(header);
    std::vector<uint8_t> chunk;
    for (int i = 0; i < count; ++i) {
        uint8_t recordHeader[12] = {};
        PutI16(recordHeader, kWidth);
        PutI16(recordHeader + 2, kHeight);
        PutI16(recordHeader + 4, i % 200 - 100);
        chunk.insert(chunk.end(), recordHeader, recordHeader + 12);
        for (size_t p = 0; p < kPayload; ++p) {
            seed = seed * 1103515245u + 12345u;
            chunk.push_back(uint8_t(seed >> 16));
        }
        if (chunk.size() > (8u << 20)) {
            out.Write(chunk);
            chunk.clear();
        }
    }
    out.Write(chunk);
}

// The copy's source, and a file of the bytes its images occupy (the copy's baseline).
struct TCopyFiles {
    std::string Source, Target, Bytes;
};

const TCopyFiles& CopyFiles() {
    static const TCopyFiles files = [] {
        std::filesystem::create_directories(BenchDir());
        TCopyFiles f{BenchDir() + "/source.wil", BenchDir() + "/target.wil",
                     BenchDir() + "/images.bin"};
        WriteLibrary(f.Source, kCopyImages, 777);
        const size_t size = size_t(kCopyImages) * kRecord;
        if (!FileExists(f.Bytes) || std::filesystem::file_size(f.Bytes) != size) {
            TFileStream in(f.Source, TFileStream::fmOpenRead);
            TFileStream out(f.Bytes, TFileStream::fmCreate);
            std::vector<uint8_t> chunk(8 << 20);
            for (size_t at = 0; at < size; at += chunk.size()) {
                chunk.resize(std::min(chunk.size(), size - at));
                in.ReadAt(int64_t(kFirstRecord + at), chunk);
                out.Write(chunk);
            }
        }
        return f;
    }();
    return files;
}

// The diff's libraries: B is A with one byte of the pixels of its middle image changed.
struct TDiffFiles {
    std::string A, B;
};

const TDiffFiles& DiffFiles() {
    static const TDiffFiles files = [] {
        std::filesystem::create_directories(BenchDir());
        TDiffFiles f{BenchDir() + "/a.wil", BenchDir() + "/b.wil"};
        const int count = DiffImageCount();
        WriteLibrary(f.A, count, 4242);
        WriteLibrary(f.B, count, 4242);
        // Written anew each time: a byte of image count / 2 differs from A's.
        const int64_t at = int64_t(kFirstRecord + size_t(count / 2) * kRecord + 12 + 777);
        TFileStream a(f.A, TFileStream::fmOpenRead);
        uint8_t byte = 0;
        a.ReadAt(at, std::span<uint8_t>(&byte, 1));
        byte ^= 0x5A;
        TFileStream b(f.B, TFileStream::fmOpenReadWrite);
        b.Seek(at);
        b.Write(std::span<const uint8_t>(&byte, 1));
        return f;
    }();
    return files;
}

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
    int Status = -1;
};

// Runs a program with its output to /dev/null: its wall time and exit status.
TChildRun Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    TChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A new, empty 16-bit WIL library as the copy's target (not timed).
void FreshTarget() {
    const TCopyFiles& f = CopyFiles();
    std::filesystem::remove(f.Target);
    std::filesystem::remove(std::filesystem::path(f.Target).replace_extension(".WIX"));
    TWil(f.Target).CreateFile(16, "");
}

// The command and its baseline run by turns, so that both meet the same load of the machine:
// the command's time is the benchmark's, the baseline's and the ratio are counters (means).
void AgainstBaseline(benchmark::State& state, const std::vector<std::string>& command,
                     int expectedStatus, const std::vector<std::string>& baseline,
                     const std::function<void()>& before) {
    double baselineSeconds = 0, ratios = 0;
    for (auto _ : state) {
        before();
        const TChildRun base = Run(baseline);
        before();
        const TChildRun run = Run(command);
        state.SetIterationTime(run.Seconds);
        if (base.Status != 0 || run.Status != expectedStatus)
            state.SkipWithError(("exit status " + std::to_string(run.Status)).c_str());
        baselineSeconds += base.Seconds;
        ratios += run.Seconds / base.Seconds;
    }
    state.counters["baseline_ms"] =
        benchmark::Counter(baselineSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = benchmark::Counter(ratios, benchmark::Counter::kAvgIterations);
}

// velmora-cli copy into a new target, against cp of the images' bytes and sync of the copy.
void BM_CopyAgainstCpAndSync(benchmark::State& state) {
    const TCopyFiles& f = CopyFiles();
    const std::string out = BenchDir() + "/images-copy.bin";
    AgainstBaseline(state, {CliPath(), "copy", f.Source, f.Target}, 0,
                    {"/bin/sh", "-c", "cp '" + f.Bytes + "' '" + out + "' && sync '" + out + "'"},
                    [&] {
                        FreshTarget();
                        std::filesystem::remove(out);
                    });
    TWil target(f.Target);
    target.Initialize();
    if (target.ImageCount() != kCopyImages)
        state.SkipWithError("the target does not hold the images");
    state.counters["MiB"] = double(kCopyImages * kRecord) / (1 << 20);
}

// Arg: 1 drops the files from the page cache before each run.
void DropDiffFiles(bool cold) {
    if (!cold)
        return;
    for (const std::string& name : {DiffFiles().A, DiffFiles().B}) {
        DropFromCache(name);
        DropFromCache(std::filesystem::path(name).replace_extension(".WIX"));
    }
}

// velmora-cli diff (exit status 1: the libraries differ) against cat of both files.
void BM_DiffAgainstCat(benchmark::State& state) {
    const TDiffFiles& f = DiffFiles();
    AgainstBaseline(state, {CliPath(), "diff", f.A, f.B}, 1, {"/bin/cat", f.A, f.B},
                    [&] { DropDiffFiles(state.range(0) != 0); });
    state.counters["MiB"] =
        double(std::filesystem::file_size(f.A) + std::filesystem::file_size(f.B)) / (1 << 20);
}

// Where the diff's time goes, in this process with the files in the page cache: opening both
// libraries (their record headers read) and comparing them.
void BM_DiffOpenAndCompare(benchmark::State& state) {
    const TDiffFiles& f = DiffFiles();
    double open = 0, compare = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TWil a(f.A), b(f.B);
        a.Initialize();
        b.Initialize();
        const auto opened = std::chrono::steady_clock::now();
        const TDiffResult result = DiffLibraries(a, b, {});
        const auto end = std::chrono::steady_clock::now();
        if (!result.Done || result.Differences.size() != 1 || result.Decoded != 1)
            state.SkipWithError("the comparison did not find the one image");
        open += std::chrono::duration<double>(opened - start).count();
        compare += std::chrono::duration<double>(end - opened).count();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["open_ms"] = benchmark::Counter(open * 1000, benchmark::Counter::kAvgIterations);
    state.counters["compare_ms"] =
        benchmark::Counter(compare * 1000, benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_CopyAgainstCpAndSync)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DiffAgainstCat)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_DiffOpenAndCompare)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
