#pragma once

#include "core/game_images.h"
#include "operations/check_library.h"

#include <QImage>
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace velmora {

// Writes one log line for a damaged image, once per file and image for the whole run, whoever
// finds it (the grid, the preview, the library check).
void LogDamageOnce(const std::string& file, int index, const TRecordCheck& check);

// A thumbnail: the image fitted into a square box (its top-left corner at the box's), drawn as the
// preview draws it; or the note that the image is empty or damaged.
struct TThumbnail {
    QImage Image;
    bool Empty = false;
    TRecordCheck Damage;
};

// Thumbnails of the open library's images, made on worker threads and kept per record and box
// size, so that a cell scrolled back into view is never decoded again and a screen of large
// sprites does not hold up the window. A record stands for one image of one snapshot: an edit
// that replaces a record makes its thumbnail be drawn anew, while the records it shares keep
// theirs.
//
// Used from the user-interface thread only; each request carries the snapshot it was made on, and
// the workers decode from that snapshot alone.
class TThumbnailCache : public QObject {
    Q_OBJECT
public:
    // Thumbnails kept: about 64 MiB at the largest box size.
    static constexpr size_t kMaxEntries = 2500;

    explicit TThumbnailCache(QObject* parent = nullptr);
    ~TThumbnailCache() override;

    // The library thumbnails come from; null forgets it. Waits for a worker that is decoding one
    // of the old library's images, so that the old library can be freed right after.
    void SetLibrary(TGameImages* library);
    TGameImages* Library() const { return FLibrary; }

    // The thumbnail of image index in a box of size x size, or null while it is being made (it
    // is then asked for, and ThumbnailReady follows).
    const TThumbnail* Find(int index, int size);
    // Requests for images outside first..last are dropped: what scrolled out of view waits
    // until it is asked for again.
    void KeepOnly(int first, int last);
    // Nothing asked for is still being made.
    bool Idle() const;
    // Handles finished thumbnails until Idle (tests and benchmarks).
    void WaitUntilIdle();
    // Drops every thumbnail (the library was read anew).
    void Clear();

signals:
    void ThumbnailReady(int index);

private:
    struct TKey {
        const TImageData* Record;
        int Size;
        bool operator==(const TKey&) const = default;
    };
    struct TKeyHash {
        size_t operator()(const TKey& k) const {
            return std::hash<const void*>()(k.Record) ^ (size_t(k.Size) << 1);
        }
    };
    struct TEntry {
        std::weak_ptr<const TImageData> Record;
        TThumbnail Thumbnail;
        std::list<TKey>::iterator Age;
    };
    struct TJob {
        int Index;
        int Size;
        TRecord Record;
        uint64_t Generation;
        TSnapshotPtr Snapshot;
    };
    struct TDone {
        TJob Job;
        TThumbnail Thumbnail;
        // Not made (the snapshot's files changed): the request is dropped, kept nowhere.
        bool Dropped = false;
    };

    void Work();
    void Deliver();
    void StopWorkers();
    // The thumbnail of a job; Stale is set when the snapshot's files were changed by another
    // program (the library is read again, and the image asked for anew).
    static TThumbnail Make(const TJob& job, bool& Stale);

    TGameImages* FLibrary = nullptr;
    std::unordered_map<TKey, TEntry, TKeyHash> FEntries;
    std::list<TKey> FAges; // most recently used first
    // Keys asked for and not yet delivered.
    std::unordered_map<TKey, int, TKeyHash> FPending;

    mutable std::mutex FLock; // guards everything below
    std::condition_variable FWake;
    std::deque<TJob> FJobs; // newest first: the cells in view now come before older requests
    std::vector<TDone> FDone;
    uint64_t FGeneration = 0;
    int FBusyWorkers = 0;
    bool FStop = false;
    bool FDeliveryQueued = false;
    // Held shared while a worker uses the library, exclusively while it is exchanged.
    std::shared_mutex FLibraryLock;
    std::vector<std::thread> FWorkers;
};

} // namespace velmora
