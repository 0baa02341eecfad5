#include "app/worker.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <memory>
#include <mutex>

namespace velmora {

namespace {

std::atomic<int> g_RunningWorkers{0};
// Set by tests on their thread while jobs call it on theirs: each call holds its own copy.
std::mutex g_ReportHookLock;
std::shared_ptr<const TWorker::TReportHook> g_ReportHook;

std::shared_ptr<const TWorker::TReportHook> ReportHook() {
    std::lock_guard guard(g_ReportHookLock);
    return g_ReportHook;
}

} // namespace

void TJobControl::Report(int done, int total) {
    if (const std::shared_ptr<const TWorker::TReportHook> hook = ReportHook())
        (*hook)(FWorker, done, total);
    FWorker.FDone = done;
    FWorker.FTotal = total;
    if (!FWorker.FProgressQueued.exchange(true)) {
        TWorker* worker = &FWorker;
        QMetaObject::invokeMethod(
            worker,
            [worker] {
                worker->FProgressQueued = false;
                emit worker->Progress(worker->FDone.load(), worker->FTotal.load());
            },
            Qt::QueuedConnection);
    }
    ThrowIfCancelled();
}

bool TJobControl::CancelRequested() const {
    return FWorker.FCancel.load();
}

void TJobControl::ThrowIfCancelled() const {
    if (FWorker.FCancel.load())
        throw TJobCancelled{FWorker.FDone.load(), FWorker.FTotal.load()};
}

TWorker::TWorker(QObject* parent) : QObject(parent) {}

TWorker::~TWorker() {
    FCancel = true;
    if (FThread.joinable())
        FThread.join();
    if (FRunning)
        --g_RunningWorkers;
}

bool TWorker::Start(TWork work) {
    if (FRunning)
        return false;
    if (FThread.joinable())
        FThread.join();
    FRunning = true;
    ++g_RunningWorkers;
    FCancel = false;
    FThreadDone = false;
    FDone = 0;
    FTotal = 0;
    FError = nullptr;
    FCancelledAt.reset();
    FThread = std::thread([this, work = std::move(work)] {
        TJobControl control(*this);
        try {
            work(control);
        } catch (const TJobCancelled& where) {
            FCancelledAt = where;
        } catch (...) {
            FError = std::current_exception();
        }
        FThreadDone = true;
        QMetaObject::invokeMethod(
            this, [this] { Deliver(); }, Qt::QueuedConnection);
    });
    return true;
}

void TWorker::Cancel() {
    // Any thread: the job looks at the flag at its next report.
    FCancel = true;
}

void TWorker::SetReportHook(TReportHook hook) {
    std::lock_guard guard(g_ReportHookLock);
    g_ReportHook = hook ? std::make_shared<const TReportHook>(std::move(hook)) : nullptr;
}

void TWorker::Deliver() {
    if (!FRunning || !FThreadDone)
        return;
    if (FThread.joinable())
        FThread.join();
    FRunning = false;
    --g_RunningWorkers;
    emit Progress(FDone.load(), FTotal.load());
    emit Finished();
}

void TWorker::Wait() {
    if (!FRunning)
        return;
    if (FThread.joinable())
        FThread.join();
    Deliver();
}

bool TWorker::AnyRunning() {
    return g_RunningWorkers.load() > 0;
}

void TWorker::WaitForAll() {
    while (AnyRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

} // namespace velmora
