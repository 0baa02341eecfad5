#include "operations/batch_export.h"

#include "core/file_stream.h"
#include "files/placements.h"
#include "operations/export_picture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora {

std::vector<TExportRange> ChunkRanges(int first, int last, int count, int chunk) {
    std::vector<TExportRange> ranges;
    int s = first;
    for (int k = 0; k < count; ++k) {
        const int e = k == count - 1 ? last : std::min(s + chunk, last);
        ranges.push_back({s, e});
        s += chunk + 1;
    }
    return ranges;
}

std::vector<TExportRange> SplitExportRange(int first, int last, int processors) {
    const int n = last - first + 1;
    if (n - 1 < 100)
        return {{first, last}};
    if (n - 1 < 500) {
        const int h = n / 2;
        return {{first, first + h}, {first + h + 1, last}};
    }
    const int count = n - 1 < 1000 ? 4 : 2 * std::max(processors, 1) + 1;
    return ChunkRanges(first, last, count, n / count);
}

// --- TSaveToImageFile ---

TSaveToImageFile::TSaveToImageFile(TBatchExportRun& Run, const std::string& ASavePath,
                                   TImageFormat AImageFormat, int AMin, int AMax)
    : m_nMin(AMin), m_nMax(AMax), m_ImageFormat(AImageFormat), m_sSavePath(ASavePath), FRun(Run) {}

TSaveToImageFile::~TSaveToImageFile() {
    Terminate();
    WaitFor();
}

void TSaveToImageFile::Resume() {
    if (!FThread.joinable())
        FThread = std::thread([this] { Execute(); });
}

void TSaveToImageFile::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TSaveToImageFile::Execute() {
    for (int i = m_nMin; i <= m_nMax && !FTerminated; ++i) {
        const int a = i - m_nMin + 1;
        if (a > 500) {
            // A long range is handed over once cores fall idle: the rest goes to new workers and
            // this one ends without handling image i.
            const int processors = FRun.Processors();
            const int w = processors / 2 + 1;
            if (w > 1 && FRun.HandOver(ChunkRanges(i, m_nMax, w, a / w), processors + 1))
                break;
        }
        SaveImage(i);
    }
    FRun.WorkerEnded();
}

void TSaveToImageFile::SaveImage(int Index) {
    int px = 0, py = 0;
    std::unique_ptr<TPicture> picture;
    std::string getError;
    try {
        picture = FRun.Library().Get(Index, px, py);
    } catch (const std::exception& e) {
        getError = e.what();
    }
    if (++m_nCount % 100 == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!getError.empty()) {
        FRun.Failed(Index, m_sSavePath + ExportFileName(Index, m_ImageFormat),
                    "the image cannot be read: " + getError);
        return;
    }
    if (!picture) {
        FRun.EmptyImage();
        return;
    }
    TImageFormat nameFormat = m_ImageFormat;
    if (nameFormat == ifAuto)
        nameFormat = picture->AsPng() ? ifPNG : ifBMP;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.5d", Index);
    const std::string placement =
        m_sSavePath + kPlacementsFolder + "/" + std::string(digits) + ".txt";
    SavePlacement(placement, {px, py});
    const std::string fileName = m_sSavePath + ExportFileName(Index, nameFormat);
    if (!FileExists(placement)) {
        FRun.Failed(Index, placement, "the offset file could not be written");
        return;
    }
    std::string error;
    if (WriteLibraryPicture(*picture, fileName, m_ImageFormat, error))
        FRun.Written();
    else
        FRun.Failed(Index, fileName, error);
}

// --- TBatchExportRun ---

TBatchExportRun::~TBatchExportRun() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
        for (auto& worker : FWorkers)
            worker->Terminate();
    }
    Wait();
}

bool TBatchExportRun::Start(const std::string& folder, TImageFormat format, int first, int last,
                            int processors) {
    FResult = {};
    const int count = FLibrary.ImageCount();
    if (last < first || first < 0 || last >= count) {
        FResult.Error = "the range " + std::to_string(first) + ".." + std::to_string(last) +
                        " does not fit the library (images 0.." + std::to_string(count - 1) + ")";
        return false;
    }
    std::string dir = folder;
    while (!dir.empty() && (dir.back() == ' ' || dir.back() == '\t'))
        dir.pop_back();
    if (dir.empty()) {
        FResult.Error = "no target folder given";
        return false;
    }
    if (dir.back() != '/')
        dir += '/';
    std::error_code ec;
    std::filesystem::create_directories(dir + kPlacementsFolder, ec);
    if (ec) {
        FResult.Error = dir + kPlacementsFolder + ": " + ec.message();
        return false;
    }
    FFolder = dir;
    FFormat = format;
    FProcessors = processors > 0 ? processors : std::max(ProcessorCount(), 1);
    FTotal = last - first + 1;
    const std::vector<TExportRange> ranges = SplitExportRange(first, last, FProcessors);
    std::vector<TSaveToImageFile*> created;
    {
        std::lock_guard lock(FLock);
        // The counter holds every worker before any of them runs, so it cannot reach zero early.
        FRunning = int(ranges.size());
        for (const TExportRange& r : ranges) {
            FWorkers.push_back(
                std::make_unique<TSaveToImageFile>(*this, FFolder, FFormat, r.First, r.Last));
            FResult.Workers.push_back(r);
            created.push_back(FWorkers.back().get());
        }
        FResult.Started = true;
    }
    for (TSaveToImageFile* worker : created)
        worker->Resume();
    return true;
}

bool TBatchExportRun::HandOver(const std::vector<TExportRange>& ranges, int below) {
    std::lock_guard lock(FLock);
    if (FStopping || FRunning >= below)
        return false;
    FRunning += int(ranges.size());
    for (const TExportRange& r : ranges) {
        FWorkers.push_back(
            std::make_unique<TSaveToImageFile>(*this, FFolder, FFormat, r.First, r.Last));
        FResult.Workers.push_back(r);
        FWorkers.back()->Resume();
    }
    return true;
}

void TBatchExportRun::WorkerEnded() {
    std::lock_guard lock(FLock);
    --FRunning;
}

int TBatchExportRun::RunningWorkers() {
    std::lock_guard lock(FLock);
    return FRunning;
}

int TBatchExportRun::Progress() {
    std::lock_guard lock(FLock);
    int sum = 0;
    for (const auto& worker : FWorkers)
        sum += worker->m_nCount;
    return sum;
}

void TBatchExportRun::Written() {
    ++FWritten;
}

void TBatchExportRun::EmptyImage() {
    ++FEmpty;
}

void TBatchExportRun::Failed(int index, const std::string& fileName, const std::string& reason) {
    std::lock_guard lock(FLock);
    FResult.Failures.push_back({index, fileName, reason});
}

TBatchExportResult TBatchExportRun::Wait(const TProgress& progress, int pollMs) {
    if (!FResult.Started)
        return FResult;
    for (;;) {
        const int running = RunningWorkers();
        if (progress)
            progress(Progress(), FTotal);
        if (running <= 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(pollMs, 1)));
    }
    // Every worker has ended its loop; joining cannot block on one that still hands over.
    std::vector<std::unique_ptr<TSaveToImageFile>> workers;
    {
        std::lock_guard lock(FLock);
        workers.swap(FWorkers);
    }
    int handled = 0;
    for (auto& worker : workers) {
        worker->WaitFor();
        handled += worker->m_nCount;
    }
    workers.clear();
    std::lock_guard lock(FLock);
    FResult.Handled += handled;
    FResult.Written = FWritten;
    FResult.Empty = FEmpty;
    std::sort(FResult.Failures.begin(), FResult.Failures.end(),
              [](const TExportFailure& a, const TExportFailure& b) { return a.Index < b.Index; });
    return FResult;
}

TBatchExportResult BatchExport(TGameImages& library, const std::string& folder, TImageFormat format,
                               int first, int last, const TProgress& progress, int processors) {
    TBatchExportRun run(library);
    if (!run.Start(folder, format, first, last, processors))
        return run.Wait();
    return run.Wait(progress);
}

} // namespace velmora
