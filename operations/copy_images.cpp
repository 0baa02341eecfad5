#include "operations/copy_images.h"

#include "formats/image_info.h"
#include "formats/wil.h"
#include "operations/import_picture.h"

#include <algorithm>
#include <exception>

namespace velmora {

namespace {

// The per-image header size of a WIL library (12 or 16 bytes); 0 for other kinds.
int WilImageHeaderSize(const TGameImages& library) {
    const auto* wil = dynamic_cast<const TWil*>(&library);
    return wil ? wil->ImageHeaderSize() : 0;
}

// Sources whose images each carry their own pixel kind (WZL, Pak of the new layout).
int StoredBits(const TGameImages& source, const TImageDescription& d) {
    const bool ownKind = (source.ImageType() == t_Wzl || source.ImageType() == t_Quillrand) &&
                         d.PixelKind && BitCountOfPixelKind(*d.PixelKind) != 0;
    return ownKind ? BitCountOfPixelKind(*d.PixelKind) : source.BitCount();
}

std::string ImagesText(int count) {
    return std::to_string(count) + (count == 1 ? " image" : " images");
}

// The images a copy reads: the source's records as they are when the copy starts, or those taken
// earlier. Pictures are decoded from these records, whatever the source holds meanwhile.
class TCopySource {
public:
    TCopySource(TGameImages& library, const TCopyOptions& options)
        : FLibrary(library), FTaken(options.Taken),
          FRecords(FTaken ? FTaken->Records : library.Snapshot()) {
        if (!FRecords)
            FRecords = std::make_shared<const TRecordList>();
    }

    TGameImages& Library() const { return FLibrary; }
    const TRecordList& Records() const { return *FRecords; }
    int Count() const { return int(FRecords->size()); }
    const TTakenImages* Taken() const { return FTaken.get(); }

    std::optional<TImageDescription> Describe(int index, bool withAlpha) const {
        if (!FTaken)
            return FLibrary.Describe(index, withAlpha);
        const int k = index - FTaken->From;
        if (k < 0 || size_t(k) >= FTaken->Descriptions.size())
            return std::nullopt;
        std::optional<TImageDescription> d = FTaken->Descriptions[size_t(k)];
        if (d && !d->Alpha && withAlpha) {
            // Only decoding tells: a picture that comes with an alpha channel carries one.
            int x = 0, y = 0;
            const std::unique_ptr<TPicture> picture = Get(index, x, y);
            d->Alpha = picture && picture->AsPng() && picture->AsPng()->HasAlpha();
        }
        return d;
    }

    std::unique_ptr<TPicture> Get(int index, int& x, int& y) const {
        if (index < 0 || index >= Count())
            return nullptr;
        try {
            return FLibrary.GetRecord((*FRecords)[size_t(index)], x, y);
        } catch (const std::exception&) {
            return nullptr; // a damaged stream
        }
    }

private:
    TGameImages& FLibrary;
    std::shared_ptr<const TTakenImages> FTaken;
    std::shared_ptr<const TRecordList> FRecords;
};

// Counts what the target cannot hold of the pictures of the range.
void PlanLosses(const TCopySource& source, const TGameImages& target, TCopyPlan& plan) {
    TConversionPlan& losses = plan.Losses;
    losses.Opened = true;
    losses.SourceCount = plan.Count;
    losses.TargetBitCount = target.BitCount();
    if (plan.Way != TCopyWay::cwPictures)
        return;
    const bool fixedDepth = ConvertsToLibraryBitCount(target);
    for (int i = plan.From; i <= plan.To; ++i) {
        std::optional<TImageDescription> d = source.Describe(i, false);
        if (!d || d->Empty)
            continue;
        const int bits = StoredBits(source.Library(), *d);
        if (!d->Alpha)
            d = source.Describe(i, true);
        const bool alpha = d && d->Alpha.value_or(false);
        if (fixedDepth) {
            if (alpha && target.BitCount() != 32)
                ++losses.AlphaLost;
            if (bits > target.BitCount())
                ++losses.ColoursReduced;
        } else if (alpha && target.ImageType() == t_Wzl) {
            ++losses.AlphaReduced;
        }
    }
}

// The record of one source image decoded and encoded for the target; an image without a picture
// becomes an empty image so that the numbers of the images after it stay in step.
std::unique_ptr<TImageData> PictureRecord(const TCopySource& source, TGameImages& target, int index,
                                          uint8_t compression, TCopyResult& result) {
    int x = 0, y = 0;
    std::unique_ptr<TPicture> picture = source.Get(index, x, y);
    TLoadedPicture loaded;
    if (picture && picture->AsPng())
        loaded = PictureFromPng(*picture->AsPng());
    else if (picture && picture->AsDIB())
        loaded.Source = std::make_unique<TDIB>(*picture->AsDIB());
    if (!loaded.Source) {
        const std::optional<TImageDescription> d = source.Describe(index, false);
        if (d && !d->Empty)
            ++result.Undecodable;
        loaded = {};
        loaded.Source = target.FillDIB();
        x = y = 0;
    }
    PrepareKeepingSize(loaded, target);
    return target.EncodeImage(*loaded.Source, x, y, compression, loaded.Alpha.get());
}

} // namespace

TTakenImages TakeImages(TGameImages& library, int from, int to) {
    TTakenImages taken;
    taken.Records = library.Snapshot();
    const int count = int(taken.Records->size());
    if (from < 0 || from > to || to >= count)
        return taken;
    taken.From = from;
    taken.To = to;
    taken.Descriptions.reserve(size_t(to - from + 1));
    for (int i = from; i <= to; ++i)
        taken.Descriptions.push_back(library.Describe(i, false));
    return taken;
}

bool SameRecordLayout(const TGameImages& a, const TGameImages& b) {
    if (a.ImageType() != b.ImageType())
        return false;
    switch (a.ImageType()) {
    case t_Wil:
        // The pixels are stored at the library's bit count, after a header of the file's layout.
        return a.BitCount() == b.BitCount() && WilImageHeaderSize(a) == WilImageHeaderSize(b);
    case t_Quillrand: {
        // The old index layout stores pixels at the library's bit count; the new one any depth.
        const bool oldA = ConvertsToLibraryBitCount(a);
        const bool oldB = ConvertsToLibraryBitCount(b);
        return oldA == oldB && (!oldA || a.BitCount() == b.BitCount());
    }
    case t_Wis:
    case t_Wzl:
        return true;
    }
    return false;
}

TCopyWay CopyWayOf(const TGameImages& source, const TGameImages& target) {
    if (SameRecordLayout(source, target))
        return TCopyWay::cwRecords;
    // A converted record keeps the source's pixel kind: only a target that stores any depth
    // takes it as it is.
    if (ConvertsRecords(source.ImageType(), target.ImageType()) &&
        !ConvertsToLibraryBitCount(target))
        return TCopyWay::cwConvertedRecords;
    return TCopyWay::cwPictures;
}

namespace {

TCopyPlan Plan(const TCopySource& source, TGameImages& target, const TCopyOptions& options) {
    TCopyPlan plan;
    const int sourceCount = source.Count();
    const int targetCount = target.RecordCount();
    const TTakenImages* taken = source.Taken();
    plan.From = taken ? taken->From : options.From;
    plan.To = taken ? taken->To : options.To.value_or(sourceCount - 1);
    if (sourceCount == 0 || (taken && taken->Count() <= 0)) {
        plan.Error = "the source holds no images";
        return plan;
    }
    if (plan.From < 0 || plan.From > plan.To || plan.To >= sourceCount) {
        plan.Error = "images " + std::to_string(plan.From) + ".." + std::to_string(plan.To) +
                     " are not all in the source (it holds " + ImagesText(sourceCount) + ", 0.." +
                     std::to_string(sourceCount - 1) + ")";
        return plan;
    }
    plan.Count = plan.To - plan.From + 1;
    switch (options.Mode) {
    case cmAppend:
        plan.First = targetCount;
        break;
    case cmInsert:
        if (options.At < 0 || options.At > targetCount) {
            plan.Error = "there is no image " + std::to_string(options.At) +
                         " to insert before (the target holds " + ImagesText(targetCount) + ")";
            return plan;
        }
        plan.First = options.At;
        break;
    case cmReplace:
        if (options.At < 0 || int64_t(options.At) + plan.Count > targetCount) {
            plan.Error = "images " + std::to_string(options.At) + ".." +
                         std::to_string(int64_t(options.At) + plan.Count - 1) +
                         " to replace are not all in the target (it holds " +
                         ImagesText(targetCount) + ")";
            return plan;
        }
        plan.First = options.At;
        break;
    }
    plan.Refusal = target.EditRefusal();
    if (plan.Refusal != TEditRefusal::erNone) {
        plan.Error = EditRefusalText(plan.Refusal);
        return plan;
    }
    if (options.Mode != cmReplace && uint64_t(plan.Count) > target.RoomForRecords()) {
        plan.Error = ImagesText(plan.Count) +
                     " more do not fit the format's 2 GiB files (room for " +
                     std::to_string(target.RoomForRecords()) + ")";
        return plan;
    }
    plan.Way = CopyWayOf(source.Library(), target);
    if (options.CountLosses)
        PlanLosses(source, target, plan);
    plan.Valid = true;
    return plan;
}

} // namespace

TCopyPlan PlanCopy(TGameImages& source, TGameImages& target, const TCopyOptions& options) {
    return Plan(TCopySource(source, options), target, options);
}

TCopyResult CopyImages(TGameImages& source, TGameImages& target, const TCopyOptions& options,
                       const TProgress& progress) {
    TCopyResult result;
    // The records are those of the source when the copy starts (or when they were taken),
    // whatever the edit reads again.
    const TCopySource from(source, options);
    result.Plan = Plan(from, target, options);
    const TCopyPlan& plan = result.Plan;
    if (!plan.Valid) {
        result.Error = plan.Error;
        return result;
    }
    const TRecordList* records = &from.Records();
    if (progress)
        progress(0, plan.Count);
    TGameImages::TUpdate update = target.BeginUpdate(options.Mode == cmAppend ? -1 : plan.First);
    // The edit reads a library again that another program changed since it was opened.
    const bool stillFits =
        options.Mode == cmAppend || (options.Mode == cmInsert && plan.First <= update.Count()) ||
        (options.Mode == cmReplace && int64_t(plan.First) + plan.Count <= update.Count());
    if (!stillFits || int(records->size()) <= plan.To) {
        result.Error = "the libraries changed on disk since they were read; nothing was copied";
        return result;
    }
    // Inserting before the image after the last is appending.
    const TCopyMode mode =
        options.Mode == cmInsert && plan.First == update.Count() ? cmAppend : options.Mode;
    const auto compressionOf = [&](int index) -> uint8_t {
        if (options.Compression)
            return *options.Compression;
        const std::optional<TImageDescription> d = from.Describe(index, false);
        return d && d->Compressed.value_or(false) ? 1 : 0;
    };
    for (int i = plan.From; i <= plan.To; ++i) {
        const TImageData* stored = (*records)[size_t(i)].get();
        std::unique_ptr<TImageData> record;
        switch (plan.Way) {
        case TCopyWay::cwRecords:
            record = std::make_unique<TImageData>(*stored);
            break;
        case TCopyWay::cwConvertedRecords:
            record = target.ConvertRecord(stored, &source, compressionOf(i));
            break;
        case TCopyWay::cwPictures:
            record = PictureRecord(from, target, i, compressionOf(i), result);
            break;
        }
        bool ok = false;
        switch (mode) {
        case cmAppend:
            ok = update.Add(std::move(record));
            break;
        case cmInsert:
            ok = update.Insert(std::move(record));
            break;
        case cmReplace:
            ok = update.Replace(std::move(record));
            break;
        }
        if (!ok) {
            result.Error = "image " + std::to_string(i) +
                           " of the source cannot be stored in the target; nothing was copied";
            result.Undecodable = 0;
            return result;
        }
        if (progress)
            progress(i - plan.From + 1, plan.Count);
    }
    update.EndUpdate();
    result.Copied = plan.Count;
    result.Done = true;
    return result;
}

} // namespace velmora
