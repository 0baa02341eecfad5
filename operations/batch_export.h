#pragma once

#include "core/game_images.h"
#include "files/picture_files.h"
#include "operations/progress.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora {

// An inclusive range of image indexes handled by one worker.
struct TExportRange {
    int First = 0;
    int Last = -1;
    int Size() const { return Last - First + 1; }
    friend bool operator==(const TExportRange&, const TExportRange&) = default;
};

// The split of a run of n = last - first + 1 images at the start: one worker below 100 (n - 1 <
// 100), two up to 499 (halves [first, first + n div 2] and the rest), four up to 999 and
// 2 x processors + 1 from 1000, these with the chunk c = n div workers, worker k starting c + 1
// after worker k - 1 and the last one always ending at `last`.
std::vector<TExportRange> SplitExportRange(int first, int last, int processors);

// The ranges of `count` workers starting at `first` with chunk `chunk`, the last ending at `last`
// (used for the start split and for handing over the rest of a long range).
std::vector<TExportRange> ChunkRanges(int first, int last, int count, int chunk);

struct TExportFailure {
    int Index = 0;
    std::string FileName;
    std::string Reason;
};

struct TBatchExportResult {
    bool Started = false;                 // the range and folder were accepted and the workers ran
    std::string Error;                    // why nothing was started
    int Handled = 0;                      // images visited (sum of the workers' counts)
    int Written = 0;                      // pictures written (each with its offset file)
    int Empty = 0;                        // images without a picture: nothing written
    std::vector<TExportFailure> Failures; // pictures (or offset files) not written
    std::vector<TExportRange> Workers;    // every worker's range, in creation order
    bool Succeeded() const { return Started && Failures.empty(); }
};

class TBatchExportRun;

// One worker thread: exports the images m_nMin .. m_nMax of the run's library. A worker that has
// handled more than 500 images while fewer than processors + 1 workers run hands the rest of its
// range to processors div 2 + 1 new workers.
class TSaveToImageFile {
public:
    TSaveToImageFile(TBatchExportRun& Run, const std::string& ASavePath, TImageFormat AImageFormat,
                     int AMin, int AMax);
    TSaveToImageFile(const TSaveToImageFile&) = delete;
    TSaveToImageFile& operator=(const TSaveToImageFile&) = delete;
    // Asks the thread to stop and waits for it.
    ~TSaveToImageFile();

    void Resume();
    void Terminate() { FTerminated = true; }
    void WaitFor();

    int m_nMin;
    int m_nMax;
    std::atomic<int> m_nCount{0};
    TImageFormat m_ImageFormat;
    std::string m_sSavePath;

private:
    void Execute();
    void SaveImage(int Index);

    TBatchExportRun& FRun;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

// The shared state of one batch export: the worker list, the running-worker counter under its
// lock, the outcome counters. Start creates and resumes the workers; Wait polls until the counter
// reaches zero and frees the workers.
class TBatchExportRun {
public:
    explicit TBatchExportRun(TGameImages& library) : FLibrary(library) {}
    TBatchExportRun(const TBatchExportRun&) = delete;
    TBatchExportRun& operator=(const TBatchExportRun&) = delete;
    ~TBatchExportRun();

    // Checks the range against the library and the folder, creates folder and "Placements", splits
    // the range and resumes the workers. False (with Result().Error) when nothing was started.
    bool Start(const std::string& folder, TImageFormat format, int first, int last, int processors);
    // Images handled so far by every worker of the list, finished ones included.
    int Progress();
    int RunningWorkers();
    // Waits for every worker (calling progress about every pollMs) and returns the outcome.
    TBatchExportResult Wait(const TProgress& progress = {}, int pollMs = 100);

    // Used by the workers.
    TGameImages& Library() { return FLibrary; }
    int Processors() const { return FProcessors; }
    // Creates and resumes workers for `ranges` when fewer than `below` workers run, adding them to
    // the counter first; false (nothing created) otherwise or once the run is being stopped.
    bool HandOver(const std::vector<TExportRange>& ranges, int below);
    void WorkerEnded();
    void Written();
    void EmptyImage();
    void Failed(int index, const std::string& fileName, const std::string& reason);

private:
    TGameImages& FLibrary;
    std::string FFolder;
    TImageFormat FFormat = ifPNG;
    int FProcessors = 1;
    int FTotal = 0;
    std::mutex FLock; // guards the counter, the worker list and the failures
    int FRunning = 0;
    bool FStopping = false;
    std::vector<std::unique_ptr<TSaveToImageFile>> FWorkers;
    TBatchExportResult FResult;
    std::atomic<int> FWritten{0};
    std::atomic<int> FEmpty{0};
};

// Exports images first .. last of the library into folder (named ExportFileName, offset files in
// folder/Placements), spread over worker threads; waits for the end. processors 0 takes the
// system's count. A range outside the library or an empty folder name starts nothing.
TBatchExportResult BatchExport(TGameImages& library, const std::string& folder, TImageFormat format,
                               int first, int last, const TProgress& progress = {},
                               int processors = 0);

} // namespace velmora
