#include "operations/batch_import.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/picture_files.h"
#include "files/placements.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace velmora {

std::vector<std::string> ListPictureFolder(const std::string& folder) {
    std::vector<std::string> list;
    if (folder.empty())
        return list;
    std::string dir = folder;
    if (dir.back() != '/')
        dir += '/';
    FindPictureFiles(dir, list);
    // Ordinal, case-sensitive order of the whole path: "A.bmp" before "a.TGA" before "b.png".
    std::sort(list.begin(), list.end());
    return list;
}

TPoint ParseFixedOffset(const std::string& text) {
    std::string s = text;
    const auto notBlank = [](unsigned char c) { return c > ' '; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notBlank));
    s.erase(std::find_if(s.rbegin(), s.rend(), notBlank).base(), s.end());
    std::string x, y;
    s = SplitToken(s, x, ",");
    SplitToken(s, y, ",");
    return {TextToInt(x, 0), TextToInt(y, 0)};
}

TBatchImportPlan PlanBatchImport(TBatchContent content, TBatchMode mode, int start, int end,
                                 int imageCount, int listLength) {
    TBatchImportPlan plan;
    // Offsets only always overwrite; the dialog forces that mode.
    if (content == bcOffsets)
        mode = bmOverwrite;
    plan.Mode = mode;
    const int last = imageCount - 1;
    switch (mode) {
    case bmAppend:
        // Blank content: the number to add sits in the start field.
        plan.Count = content == bcBlank ? start : listLength;
        break;
    case bmInsert:
        start = std::min(start, last);
        // Nothing to insert before in an empty library: the items are appended instead.
        if (start < 0)
            plan.Mode = bmAppend;
        // Blank content: the number to add sits in the end field.
        plan.Count = content == bcBlank ? end : listLength;
        break;
    case bmOverwrite:
        if (start > end)
            std::swap(start, end);
        // A run wholly after the last image names no image to overwrite; cutting it to the last
        // image would replace one nobody asked for.
        if (start > last) {
            plan.Count = 0;
            break;
        }
        start = std::min(start, last);
        end = std::min(end, last);
        if (start < 0 || end < 0)
            plan.Count = 0;
        else if (content == bcBlank)
            plan.Count = end - start + 1;
        else
            plan.Count = std::min(std::min(start + listLength - 1, end) - start + 1, imageCount);
        break;
    }
    plan.Start = plan.Mode == bmAppend ? std::max(imageCount, 0) : start;
    plan.Count = std::max(plan.Count, 0);
    return plan;
}

namespace {

// Produces load(0) .. load(count - 1) on worker threads of their own, at most kDepth ahead of
// Take, which hands them out in order. An exception from load is raised again by the Take of that
// item. The destructor stops the workers after the items they are loading.
template <typename T> class TReadAhead {
public:
    TReadAhead(std::function<T(int)> load, int count, unsigned workers)
        : FLoad(std::move(load)), FCount(count), FSlots(kDepth) {
        try {
            for (unsigned w = 0; w < std::max(workers, 1u); ++w)
                FWorkers.emplace_back([this] { Run(); });
        } catch (...) {
            Stop();
            throw;
        }
    }
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;
    ~TReadAhead() { Stop(); }

    T Take() {
        std::unique_lock lock(FLock);
        std::optional<TSlot>& slot = FSlots[size_t(FTaken) % kDepth];
        FChanged.wait(lock, [&slot] { return slot.has_value(); });
        TSlot next = std::move(*slot);
        slot.reset();
        ++FTaken;
        lock.unlock();
        FChanged.notify_all();
        if (auto* error = std::get_if<std::exception_ptr>(&next))
            std::rethrow_exception(*error);
        return std::move(std::get<T>(next));
    }

private:
    using TSlot = std::variant<T, std::exception_ptr>;
    static constexpr int kDepth = 8;

    void Run() {
        for (;;) {
            int j;
            {
                std::unique_lock lock(FLock);
                // Item j goes into slot j % kDepth, free once item j - kDepth has been taken.
                FChanged.wait(lock, [this] {
                    return FStopping || FNext >= FCount || FNext < FTaken + kDepth;
                });
                if (FStopping || FNext >= FCount)
                    return;
                j = FNext++;
            }
            TSlot item;
            try {
                item = FLoad(j);
            } catch (...) {
                item = std::current_exception();
            }
            {
                std::lock_guard lock(FLock);
                FSlots[size_t(j) % kDepth] = std::move(item);
            }
            FChanged.notify_all();
        }
    }

    void Stop() {
        {
            std::lock_guard lock(FLock);
            FStopping = true;
        }
        FChanged.notify_all();
        for (std::thread& worker : FWorkers)
            worker.join();
        FWorkers.clear();
    }

    std::function<T(int)> FLoad;
    const int FCount;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::optional<TSlot>> FSlots;
    int FNext = 0;  // the next item a worker loads
    int FTaken = 0; // the next item Take hands out
    bool FStopping = false;
    std::vector<std::thread> FWorkers; // last: they start once the members above exist
};

} // namespace

TLoadedPicture LoadBatchPicture(TGameImages& library, const std::string& path, bool& readable,
                                std::string& error) {
    TLoadedPicture picture;
    readable = false;
    error.clear();
    if (path.empty()) {
        picture.Source = library.FillDIB();
        return picture;
    }
    if (LoadImportPicture(path, picture, error)) {
        readable = true;
    } else {
        picture = {};
        picture.Source = library.FillDIB();
        return picture;
    }
    PrepareForLibrary(picture, library);
    return picture;
}

namespace {

// Offsets only: the offsets of images Plan.Start.. from the listed pictures' offset files (or the
// fixed pair), as one edit of offsets alone.
void ImportOffsets(TGameImages& library, const TBatchImportOptions& options, TPoint fixed,
                   const TProgress& progress, TBatchImportResult& result) {
    const TBatchImportPlan& plan = result.Plan;
    std::vector<TPoint> offsets;
    offsets.reserve(size_t(plan.Count));
    for (int j = 0; j < plan.Count; ++j) {
        const std::string& path = options.Files[size_t(j)];
        const TPoint offset = options.OffsetsFromPlacements ? LoadPlacement(path) : fixed;
        if (!StorableOffset(offset)) {
            result.Error = path + ": the offset " + std::to_string(offset.X) + "," +
                           std::to_string(offset.Y) +
                           " cannot be stored: offsets are 16-bit values (-32768..32767)";
            return;
        }
        offsets.push_back(offset);
    }
    TGameImages::TUpdate update = library.BeginOffsetUpdate();
    for (int j = 0; j < plan.Count; ++j) {
        const int index = plan.Start + j;
        if (update.SetPoint(index, offsets[size_t(j)]))
            ++result.Imported;
        else
            result.Refused.push_back(
                {j, index, options.Files[size_t(j)], "the image holds no offset"});
        if (progress)
            progress(j + 1, plan.Count);
    }
    if (options.AllOrNothing && !result.Refused.empty()) {
        result.Error = "nothing imported; the library is unchanged";
        result.Imported = 0;
        return;
    }
    if (result.Imported > 0)
        update.EndUpdate();
    result.Written = result.Imported > 0;
}

} // namespace

TBatchImportResult BatchImport(TGameImages& library, const TBatchImportOptions& options,
                               const TProgress& progress) {
    TBatchImportResult result;
    const bool usesFiles = options.Content != bcBlank;
    const int listLength = usesFiles ? int(options.Files.size()) : 0;
    result.Plan = PlanBatchImport(options.Content, options.Mode, options.Start, options.End,
                                  library.ImageCount(), listLength);
    const TBatchImportPlan& plan = result.Plan;
    if (plan.Count <= 0)
        return result;
    const bool offsetsOnly = options.Content == bcOffsets;
    result.Refusal = library.EditRefusal(offsetsOnly);
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return result;
    }
    const TPoint fixed = ParseFixedOffset(options.FixedOffset);
    const bool fixedUsed = !options.OffsetsFromPlacements || options.Content == bcPictures ||
                           options.Content == bcBlank;
    if (fixedUsed && !StorableOffset(fixed)) {
        result.Error = "the offset " + options.FixedOffset +
                       " cannot be stored: offsets are 16-bit values (-32768..32767)";
        return result;
    }
    if (plan.Mode != bmOverwrite && uint64_t(plan.Count) > library.RoomForRecords()) {
        result.Error = std::to_string(plan.Count) +
                       " more images do not fit the format's 2 GiB "
                       "files (room for " +
                       std::to_string(library.RoomForRecords()) + ")";
        return result;
    }
    if (progress)
        progress(0, plan.Count);
    if (offsetsOnly) {
        ImportOffsets(library, options, fixed, progress, result);
        return result;
    }

    // What import j reads from the files: its picture (or the blank one) and its offset.
    struct TItem {
        std::string Path;
        TLoadedPicture Picture;
        TPoint Offset;
        bool Readable = false;
        std::string Error;
        std::unique_ptr<TImageData> Record; // the picture encoded for the library
    };
    auto load = [&](int j) {
        TItem item;
        item.Offset = fixed;
        if (usesFiles && j < int(options.Files.size()))
            item.Path = options.Files[size_t(j)];
        if (options.Content == bcBlank) {
            item.Picture.Source = library.FillDIB();
            item.Readable = true;
        } else {
            item.Picture = LoadBatchPicture(library, item.Path, item.Readable, item.Error);
            if (options.Content == bcPicturesAndOffsets && options.OffsetsFromPlacements)
                item.Offset = LoadPlacement(item.Path);
        }
        // Encoding (compression above all) is the larger part of the work; the library's
        // EncodeImage reads only its layout, so the workers do it too. An offset that cannot be
        // stored is refused below, before its record would be used.
        if (TDIB* source = item.Picture.Source.get())
            item.Record = library.EncodeImage(*source, item.Offset.X, item.Offset.Y,
                                              options.Compression, item.Picture.Alpha.get());
        return item;
    };
    TGameImages::TUpdate update = library.BeginUpdate(plan.Mode == bmAppend ? -1 : plan.Start);
    int i = plan.Start;
    // Pictures are read, decoded and encoded ahead, on one worker per core, and taken in order.
    std::optional<TReadAhead<TItem>> ahead;
    if (usesFiles)
        ahead.emplace(load, plan.Count, std::thread::hardware_concurrency());
    for (int j = 0; j < plan.Count; ++j) {
        TItem item = ahead ? ahead->Take() : load(j);
        const TPoint offset = item.Offset;
        if (!StorableOffset(offset)) {
            result.Error = item.Path + ": the offset " + std::to_string(offset.X) + "," +
                           std::to_string(offset.Y) +
                           " cannot be stored: offsets are 16-bit values (-32768..32767)";
            result.Imported = 0;
            return result;
        }
        const int target = plan.Mode == bmAppend ? -1 : i;
        if (!item.Readable)
            result.Unreadable.push_back({j, target, item.Path, item.Error});
        bool ok = false;
        switch (plan.Mode) {
        case bmAppend:
            ok = update.Add(std::move(item.Record));
            break;
        case bmInsert:
            ok = update.Insert(std::move(item.Record));
            break;
        case bmOverwrite:
            ok = update.Replace(std::move(item.Record));
            break;
        }
        if (plan.Mode != bmAppend)
            ++i;
        if (ok)
            ++result.Imported;
        else
            result.Refused.push_back({j, target, item.Path, "the library refused the picture"});
        if (progress)
            progress(j + 1, plan.Count);
    }
    if (options.AllOrNothing && (!result.Unreadable.empty() || !result.Refused.empty())) {
        result.Error = "nothing imported; the library is unchanged";
        result.Imported = 0;
        return result;
    }
    update.EndUpdate();
    result.Written = true;
    return result;
}

} // namespace velmora
