#include "app/thumbnail_cache.h"

#include "app/preview.h"
#include "files/log.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <set>

namespace velmora {

namespace {

int WorkerCount() {
    // One core is left to the window on small machines; never more than four workers.
    const int cores = std::max(1, QThread::idealThreadCount());
    return std::clamp(cores - 1, 1, 4);
}

} // namespace

void LogDamageOnce(const std::string& file, int index, const TRecordCheck& check) {
    static std::mutex lock;
    static std::set<std::pair<std::string, int>> logged;
    {
        std::lock_guard guard(lock);
        if (!logged.insert({file, index}).second)
            return;
    }
    std::string text =
        file + ": image " + std::to_string(index) + ": " + RecordDamageText(check.Damage);
    if (!check.Detail.empty())
        text += ": " + check.Detail;
    try {
        WriteLog(text, true);
    } catch (...) {
    }
}

TThumbnailCache::TThumbnailCache(QObject* parent) : QObject(parent) {
    for (int i = 0; i < WorkerCount(); ++i)
        FWorkers.emplace_back([this] { Work(); });
}

TThumbnailCache::~TThumbnailCache() {
    StopWorkers();
}

void TThumbnailCache::StopWorkers() {
    {
        std::lock_guard guard(FLock);
        FStop = true;
        FJobs.clear();
    }
    FWake.notify_all();
    for (std::thread& worker : FWorkers)
        worker.join();
    FWorkers.clear();
}

void TThumbnailCache::SetLibrary(TGameImages* library) {
    {
        std::unique_lock exclusive(FLibraryLock);
        std::lock_guard guard(FLock);
        FLibrary = library;
        ++FGeneration;
        FJobs.clear();
        FDone.clear();
    }
    FPending.clear();
    FEntries.clear();
    FAges.clear();
}

void TThumbnailCache::Clear() {
    SetLibrary(FLibrary);
}

const TThumbnail* TThumbnailCache::Find(int index, int size) {
    if (!FLibrary)
        return nullptr;
    TSnapshotPtr snapshot = FLibrary->Snapshot();
    if (index < 0 || index >= snapshot->Count())
        return nullptr;
    const TRecord& record = snapshot->Records()[size_t(index)];
    if (!record)
        return nullptr;
    const TKey key{record.get(), size};
    if (auto it = FEntries.find(key); it != FEntries.end()) {
        // A record freed and another made at the same address is a different image.
        if (it->second.Record.lock() == record) {
            FAges.splice(FAges.begin(), FAges, it->second.Age);
            return &it->second.Thumbnail;
        }
        FAges.erase(it->second.Age);
        FEntries.erase(it);
    }
    if (FPending.emplace(key, index).second) {
        {
            std::lock_guard guard(FLock);
            FJobs.push_front({index, size, record, FGeneration, std::move(snapshot)});
        }
        FWake.notify_one();
    }
    return nullptr;
}

void TThumbnailCache::KeepOnly(int first, int last) {
    std::lock_guard guard(FLock);
    const auto outside = [&](const TJob& job) { return job.Index < first || job.Index > last; };
    for (const TJob& job : FJobs)
        if (outside(job))
            FPending.erase({job.Record.get(), job.Size});
    FJobs.erase(std::remove_if(FJobs.begin(), FJobs.end(), outside), FJobs.end());
}

bool TThumbnailCache::Idle() const {
    return FPending.empty();
}

void TThumbnailCache::WaitUntilIdle() {
    while (!Idle()) {
        {
            std::unique_lock guard(FLock);
            if (FDone.empty() && (FBusyWorkers > 0 || !FJobs.empty()))
                FWake.wait_for(guard, std::chrono::milliseconds(2));
        }
        Deliver();
        if (!Idle() && FJobs.empty() && FBusyWorkers == 0 && FDone.empty())
            FPending.clear(); // requests of another generation that no worker will answer
    }
}

void TThumbnailCache::Work() {
    for (;;) {
        TJob job;
        {
            std::unique_lock guard(FLock);
            FWake.wait(guard, [this] { return FStop || !FJobs.empty(); });
            if (FStop)
                return;
            job = std::move(FJobs.front());
            FJobs.pop_front();
            ++FBusyWorkers;
        }
        TThumbnail thumbnail;
        bool current = false;
        bool stale = false;
        {
            std::shared_lock shared(FLibraryLock);
            TGameImages* library = nullptr;
            {
                std::lock_guard guard(FLock);
                if (job.Generation == FGeneration)
                    library = FLibrary;
            }
            if (library) {
                thumbnail = Make(job, stale);
                const TSnapshotPtr snapshot = library->Snapshot();
                current = !stale && job.Index < snapshot->Count() &&
                          snapshot->Records()[size_t(job.Index)] == job.Record;
                if (current && thumbnail.Damage.Damaged())
                    LogDamageOnce(library->FileName(), job.Index, thumbnail.Damage);
            }
        }
        bool queue = false;
        {
            std::lock_guard guard(FLock);
            --FBusyWorkers;
            if (job.Generation == FGeneration) {
                if (!current)
                    thumbnail = {}; // the image changed meanwhile: Deliver drops the request
                FDone.push_back({std::move(job), std::move(thumbnail), stale});
                queue = !FDeliveryQueued;
                FDeliveryQueued = true;
            }
        }
        FWake.notify_all();
        if (queue)
            QMetaObject::invokeMethod(
                this, [this] { Deliver(); }, Qt::QueuedConnection);
    }
}

void TThumbnailCache::Deliver() {
    std::vector<TDone> done;
    {
        std::lock_guard guard(FLock);
        done.swap(FDone);
        FDeliveryQueued = false;
    }
    for (TDone& d : done) {
        const TKey key{d.Job.Record.get(), d.Job.Size};
        FPending.erase(key);
        if (d.Dropped)
            continue;
        const TSnapshotPtr snapshot = FLibrary ? FLibrary->Snapshot() : nullptr;
        if (!snapshot || d.Job.Index >= snapshot->Count() ||
            snapshot->Records()[size_t(d.Job.Index)] != d.Job.Record)
            continue;
        FAges.push_front(key);
        FEntries[key] = {d.Job.Record, std::move(d.Thumbnail), FAges.begin()};
        while (FEntries.size() > kMaxEntries) {
            FEntries.erase(FAges.back());
            FAges.pop_back();
        }
        emit ThumbnailReady(d.Job.Index);
    }
}

TThumbnail TThumbnailCache::Make(const TJob& job, bool& Stale) {
    TThumbnail thumbnail;
    const TSnapshot& snapshot = *job.Snapshot;
    std::unique_ptr<TPicture> picture;
    std::string error;
    try {
        int x = 0;
        int y = 0;
        picture = snapshot.Get(job.Index, x, y);
        // A file cut short inside or before the record still gives a picture (padded, or blank).
        if (picture && EndsPastTheFile(*snapshot.Records()[size_t(job.Index)]))
            thumbnail.Damage = {TRecordDamage::rdTruncated, {}};
    } catch (const ELibraryChanged&) {
        Stale = true;
        return thumbnail;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    if (!picture || !error.empty()) {
        thumbnail.Damage = ExplainMissingPicture(snapshot, job.Index, error);
        thumbnail.Empty = !thumbnail.Damage.Damaged();
        return thumbnail;
    }
    int width = job.Size;
    int height = job.Size;
    FitToBox(picture->Width(), picture->Height(), width, height);
    if (width <= 0 || height <= 0) {
        thumbnail.Empty = true;
        return thumbnail;
    }
    try {
        // The rule of the preview: black is transparent where the picture has no alpha channel.
        thumbnail.Image = PictureToImage(*picture, false)
                              .scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    } catch (const std::exception& e) {
        thumbnail.Damage = {TRecordDamage::rdReadError, e.what()};
    }
    return thumbnail;
}

} // namespace velmora
