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

// --- TSaveToImageFile ---

TSaveToImageFile::TSaveToImageFile(TBatchExportRun& Run) : FRun(Run) {}

TSaveToImageFile::~TSaveToImageFile() {
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
    for (int i = FRun.TakeIndex(); i >= 0; i = FRun.TakeIndex())
        SaveImage(i);
    FRun.WorkerEnded();
}

void TSaveToImageFile::SaveImage(int Index) {
    int px = 0, py = 0;
    std::unique_ptr<TPicture> picture;
    std::string getError;
    try {
        picture = FRun.Snapshot().Get(Index, px, py);
    } catch (const std::exception& e) {
        getError = e.what();
    }
    FRun.Handled();
    const std::string& folder = FRun.Folder();
    const TImageFormat format = FRun.Format();
    if (!getError.empty()) {
        FRun.Failed(Index, folder + ExportFileName(Index, format),
                    "the image cannot be read: " + getError);
        return;
    }
    // Every image in range has a picture, a blank one too; none means its data does not decode.
    if (!picture) {
        FRun.Failed(Index, folder + ExportFileName(Index, format),
                    "the image's picture cannot be made from its stored data");
        return;
    }
    TImageFormat nameFormat = format;
    if (nameFormat == ifAuto)
        nameFormat = picture->AsPng() ? ifPNG : ifBMP;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.5d", Index);
    const std::string placement = folder + kPlacementsFolder + "/" + std::string(digits) + ".txt";
    if (!WritePlacement(placement, {px, py})) {
        FRun.Failed(Index, placement, "the offset file could not be written");
        return;
    }
    const std::string fileName = folder + ExportFileName(Index, nameFormat);
    std::string error;
    if (WriteLibraryPicture(*picture, fileName, format, error, FRun.PngLevel()))
        FRun.Written();
    else
        FRun.Failed(Index, fileName, error);
}

// --- TBatchExportRun ---

TBatchExportRun::~TBatchExportRun() {
    FStopping = true;
    Wait();
}

bool TBatchExportRun::Start(const std::string& folder, TImageFormat format, int first, int last,
                            int processors, int pngLevel) {
    FResult = {};
    FSnapshot = FLibrary.Snapshot();
    const int count = FSnapshot->Count();
    if (last < first || first < 0 || last >= count) {
        FResult.Error = "the range " + std::to_string(first) + ".." + std::to_string(last) +
                        " does not fit the library (images 0.." + std::to_string(count - 1) + ")";
        return false;
    }
    // The range's headers in one go: the images exported are those of one state of the files,
    // whatever another program changes where they lie meanwhile.
    try {
        FSnapshot->ReadHeaders(first, last);
    } catch (const std::exception& e) {
        FResult.Error = e.what();
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
    FPngLevel = pngLevel;
    FNext = first;
    FLast = last;
    FTotal = last - first + 1;
    const int cores = processors > 0 ? processors : std::max(ProcessorCount(), 1);
    const int workers = std::min(cores, FTotal);
    // The count holds every worker before any of them runs, so it cannot reach zero early.
    FRunning = workers;
    for (int k = 0; k < workers; ++k)
        FWorkers.push_back(std::make_unique<TSaveToImageFile>(*this));
    FResult.Workers = workers;
    FResult.Started = true;
    // A worker that cannot be started leaves its share to the others.
    int started = 0;
    for (auto& worker : FWorkers) {
        try {
            worker->Resume();
            ++started;
        } catch (const std::system_error&) {
            --FResult.Workers;
            WorkerEnded();
        }
    }
    if (started == 0) {
        FResult.Started = false;
        FResult.Error = "no worker thread could be started";
        return false;
    }
    return true;
}

int TBatchExportRun::TakeIndex() {
    if (FStopping)
        return -1;
    const int index = FNext.fetch_add(1);
    return index <= FLast ? index : -1;
}

void TBatchExportRun::Failed(int index, const std::string& fileName, const std::string& reason) {
    std::lock_guard lock(FLock);
    FResult.Failures.push_back({index, fileName, reason});
}

void TBatchExportRun::WorkerEnded() {
    bool last;
    {
        std::lock_guard lock(FLock);
        last = --FRunning == 0;
    }
    if (!last)
        return;
    FEnded.notify_all();
    if (FOnFinished)
        FOnFinished();
}

TBatchExportResult TBatchExportRun::Wait(const TProgress& progress, int periodMs) {
    if (!FResult.Started)
        return FResult;
    {
        std::unique_lock lock(FLock);
        const auto period = std::chrono::milliseconds(std::max(periodMs, 1));
        while (!FEnded.wait_for(lock, period, [this] { return FRunning == 0; }))
            if (progress) {
                lock.unlock();
                progress(Progress(), FTotal);
                lock.lock();
            }
    }
    // Every worker has ended its loop: joining does not block for long.
    for (auto& worker : FWorkers)
        worker->WaitFor();
    FWorkers.clear();
    if (progress)
        progress(Progress(), FTotal);
    std::lock_guard lock(FLock);
    FResult.Handled = FDone;
    FResult.Written = FWritten;
    std::sort(FResult.Failures.begin(), FResult.Failures.end(),
              [](const TExportFailure& a, const TExportFailure& b) { return a.Index < b.Index; });
    return FResult;
}

TBatchExportResult BatchExport(TGameImages& library, const std::string& folder, TImageFormat format,
                               int first, int last, const TProgress& progress, int processors,
                               int pngLevel) {
    TBatchExportRun run(library);
    if (!run.Start(folder, format, first, last, processors, pngLevel))
        return run.Wait();
    return run.Wait(progress);
}

} // namespace velmora
