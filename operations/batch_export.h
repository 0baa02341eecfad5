#pragma once

#include "core/game_images.h"
#include "files/picture_files.h"
#include "operations/progress.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

struct TExportFailure {
    int Index = 0;
    std::string FileName;
    std::string Reason;
};

struct TBatchExportResult {
    bool Started = false;                 // the range and folder were accepted and the workers ran
    std::string Error;                    // why nothing was started
    int Handled = 0;                      // images visited
    int Written = 0;                      // pictures written, each with its offset file
    std::vector<TExportFailure> Failures; // images whose picture or offset file was not written
    int Workers = 0;                      // worker threads of the run
    bool Succeeded() const { return Started && Failures.empty(); }
};

class TBatchExportRun;

// One worker thread: takes the next image of the run from the run's shared counter until none is
// left, and writes its picture and offset file.
class TSaveToImageFile {
public:
    explicit TSaveToImageFile(TBatchExportRun& Run);
    TSaveToImageFile(const TSaveToImageFile&) = delete;
    TSaveToImageFile& operator=(const TSaveToImageFile&) = delete;
    // Waits for the thread.
    ~TSaveToImageFile();

    // Starts the thread; raises std::system_error when it cannot be started.
    void Resume();
    void WaitFor();

private:
    void Execute();
    void SaveImage(int Index);

    TBatchExportRun& FRun;
    std::thread FThread;
};

// The shared state of one batch export: the next image to take, the running-worker count, the
// progress and the outcome. Start creates and resumes the workers; Wait returns as soon as the
// last of them has ended.
class TBatchExportRun {
public:
    explicit TBatchExportRun(TGameImages& library) : FLibrary(library) {}
    TBatchExportRun(const TBatchExportRun&) = delete;
    TBatchExportRun& operator=(const TBatchExportRun&) = delete;
    // Stops the workers after the images they hold and waits for them.
    ~TBatchExportRun();

    // Called once, on the thread of the last worker to end, when every worker has ended. Set it
    // before Start.
    void SetOnFinished(std::function<void()> onFinished) { FOnFinished = std::move(onFinished); }

    // Takes the library's snapshot, which the workers export from whatever happens to the library
    // meanwhile, checks the range against it and the folder, creates folder and "Placements" and
    // resumes min(processors, images) workers (processors 0: the system's count). PNG pictures
    // are written at pngLevel. False (with the reason in Wait().Error) when nothing was started.
    bool Start(const std::string& folder, TImageFormat format, int first, int last, int processors,
               int pngLevel = kDefaultPngLevel);
    // Asks the workers to stop after the images they hold; Wait still returns the outcome so far.
    void Stop() { FStopping = true; }
    bool Stopped() const { return FStopping.load(); }
    // Images handled so far.
    int Progress() const { return FDone.load(); }
    int RunningWorkers() const { return FRunning.load(); }
    // Waits for every worker, calling progress on this thread about every periodMs meanwhile and
    // once at the end, and returns the outcome as soon as the last worker has ended.
    TBatchExportResult Wait(const TProgress& progress = {}, int periodMs = 100);

    // Used by the workers: the snapshot Start took, which they decode from.
    const TSnapshot& Snapshot() const { return *FSnapshot; }
    // The next image to export, or -1 when none is left or the run is being stopped.
    int TakeIndex();
    const std::string& Folder() const { return FFolder; }
    TImageFormat Format() const { return FFormat; }
    int PngLevel() const { return FPngLevel; }
    void Handled() { ++FDone; }
    void Written() { ++FWritten; }
    void Failed(int index, const std::string& fileName, const std::string& reason);
    void WorkerEnded();

private:
    TGameImages& FLibrary;
    TSnapshotPtr FSnapshot;
    std::string FFolder;
    TImageFormat FFormat = ifPNG;
    int FPngLevel = kDefaultPngLevel;
    int FLast = -1;
    int FTotal = 0;
    std::atomic<int> FNext{0};
    std::atomic<bool> FStopping{false};
    std::atomic<int> FRunning{0};
    std::atomic<int> FDone{0};
    std::atomic<int> FWritten{0};
    std::function<void()> FOnFinished;
    std::mutex FLock; // guards the failures and pairs with FEnded
    std::condition_variable FEnded;
    std::vector<std::unique_ptr<TSaveToImageFile>> FWorkers;
    TBatchExportResult FResult;
};

// Exports images first .. last of the library into folder (named ExportFileName, offset files in
// folder/Placements), spread over worker threads; waits for the end. processors 0 takes the
// system's count. A range outside the library or an empty folder name starts nothing.
TBatchExportResult BatchExport(TGameImages& library, const std::string& folder, TImageFormat format,
                               int first, int last, const TProgress& progress = {},
                               int processors = 0, int pngLevel = kDefaultPngLevel);

} // namespace velmora
