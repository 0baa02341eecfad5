#pragma once

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <thread>

namespace velmora {

// Where a long job stood when the user stopped it.
struct TJobCancelled {
    int Done = 0;
    int Total = 0;
};

class TWorker;

// What a job running on a worker thread is handed: it reports its progress through it and learns
// there that the user asked it to stop.
class TJobControl {
public:
    // Records how far the job is (any thread; the window is told on its own thread). Throws
    // TJobCancelled once the user asked to stop, so that the job unwinds and its own clean-up
    // (a discarded edit, a removed temporary file) runs.
    void Report(int done, int total);
    bool CancelRequested() const;
    // Throws TJobCancelled with the last reported position when the user asked to stop.
    void ThrowIfCancelled() const;

private:
    friend class TWorker;
    explicit TJobControl(TWorker& worker) : FWorker(worker) {}
    TWorker& FWorker;
};

// Runs one job at a time on a thread of its own. Progress and the end are delivered on the thread
// the worker lives on (the window's), never from inside the job: the window stays responsive and
// is never re-entered from a reader or a progress callback.
class TWorker : public QObject {
    Q_OBJECT
public:
    using TWork = std::function<void(TJobControl&)>;

    explicit TWorker(QObject* parent = nullptr);
    // Asks a running job to stop and waits for it.
    ~TWorker() override;

    // Starts work; false while a job runs.
    bool Start(TWork work);
    bool Running() const { return FRunning; }
    // Asks the running job to stop at its next progress report.
    void Cancel();

    // The outcome of the last job: what escaped it (a cancel is not an error), and where it
    // stood when it was stopped.
    std::exception_ptr Error() const { return FError; }
    std::optional<TJobCancelled> CancelledAt() const { return FCancelledAt; }

    // Waits for the running job and delivers its end now (shutdown, tests).
    void Wait();

    // True while any worker of the process runs a job (tests wait on it).
    static bool AnyRunning();
    // Called on the job's thread at every progress report, before the report looks for a stop:
    // tests stop a job at a point of their choosing with it. Empty: none.
    using TReportHook = std::function<void(TWorker& worker, int done, int total)>;
    static void SetReportHook(TReportHook hook);
    // Handles events until no worker runs a job and every end has been delivered (tests).
    static void WaitForAll();

signals:
    void Progress(int done, int total);
    void Finished();

private:
    friend class TJobControl;
    void Deliver();

    std::thread FThread;
    bool FRunning = false;
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FThreadDone{false};
    std::atomic<bool> FProgressQueued{false};
    std::atomic<int> FDone{0};
    std::atomic<int> FTotal{0};
    std::exception_ptr FError;
    std::optional<TJobCancelled> FCancelledAt;
};

} // namespace velmora
