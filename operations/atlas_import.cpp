// Atlas import: the frames ReadAtlas found, in library order with the gaps of their numbers as
// empty images, imported as one edit.

#include "operations/atlas.h"

#include "formats/image_info.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

TLoadedPicture PictureOfFrame(const TDIB& Pixels) {
    TLoadedPicture picture;
    const int w = Pixels.Width(), h = Pixels.Height();
    bool opaque = true, binary = true, blackOpaque = false;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = Pixels.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            if (p[3] != 255)
                opaque = false;
            if (p[3] != 0 && p[3] != 255)
                binary = false;
            if (p[3] == 255 && (p[0] | p[1] | p[2]) == 0)
                blackOpaque = true;
        }
    }
    auto source = std::make_unique<TDIB>();
    source->SetPixelFormat(MakePixelFormat(8, 8, 8));
    source->SetSize(w, h, 24);
    const bool withAlpha = !opaque && !(binary && !blackOpaque);
    if (withAlpha)
        picture.Alpha = MakeLibraryBuffer(8, w, h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = Pixels.ScanLine(y);
        uint8_t* out = source->ScanLine(y);
        uint8_t* alpha = withAlpha ? picture.Alpha->ScanLine(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            // Transparent pixels are black, the colour that stands for transparency.
            const bool clear = p[3] == 0;
            out[size_t(x) * 3] = clear ? 0 : p[0];
            out[size_t(x) * 3 + 1] = clear ? 0 : p[1];
            out[size_t(x) * 3 + 2] = clear ? 0 : p[2];
            if (alpha)
                alpha[x] = p[3];
        }
    }
    picture.Source = std::move(source);
    return picture;
}

namespace {

void Import(TGameImages& library, const TAtlasImportOptions& options, const TProgress& progress,
            TAtlasImportResult& result) {
    result.Refusal = library.EditRefusal();
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return;
    }
    const int count = library.ImageCount();
    if (options.Mode != imAppend && (options.At < 0 || options.At >= count)) {
        result.Error = "image " + std::to_string(options.At) +
                       " does not exist (the library holds " + std::to_string(count) + " images)";
        return;
    }
    std::vector<std::string> paths{options.DataPath};
    paths.insert(paths.end(), options.MoreDataPaths.begin(), options.MoreDataPaths.end());
    TAtlasReadResult atlas = ReadAtlas(paths);
    if (!atlas.Done) {
        result.Error = atlas.Error;
        return;
    }
    if (atlas.Frames.empty()) {
        result.Error = options.DataPath + ": the atlas holds no frames";
        return;
    }
    // The pictures in library order, numbered gaps as empty images.
    struct TItem {
        TLoadedPicture Picture;
        TPoint Offset;
        bool Blank = false;
    };
    std::vector<TItem> items;
    // Gaps are the empty images an export of this system left out: numbers inside the ranges
    // the data files name that no frame has. They are filled only when every frame lies in
    // those ranges; numbers of other packers (ids, dates) only give the order.
    std::vector<std::pair<int, int>> ranges = atlas.Ranges;
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& [from, to] : ranges) {
        if (from > to)
            continue;
        if (!merged.empty() && int64_t(from) <= int64_t(merged.back().second) + 1)
            merged.back().second = std::max(merged.back().second, to);
        else
            merged.emplace_back(from, to);
    }
    const auto inRange = [&](int n) {
        return std::any_of(merged.begin(), merged.end(),
                           [&](const auto& r) { return r.first <= n && n <= r.second; });
    };
    const bool numbered = atlas.Frames.front().Number.has_value();
    const bool ranged = numbered && !merged.empty() &&
                        std::all_of(atlas.Frames.begin(), atlas.Frames.end(),
                                    [&](const TAtlasFrame& f) { return inRange(*f.Number); });
    if (ranged) {
        int64_t covered = 0;
        for (const auto& [from, to] : merged)
            covered += int64_t(to) - from + 1;
        if (covered > int64_t(atlas.Frames.size()) + int64_t(library.RoomForRecords()))
            throw std::runtime_error(options.DataPath +
                                     ": the frames' numbers leave too large a gap");
    }
    std::unique_ptr<TDIB> blankPicture = library.FillDIB();
    const auto addBlank = [&]() {
        TItem blank;
        blank.Blank = true;
        items.push_back(std::move(blank));
    };
    // Empty images for the numbers of the ranges from `from` up to `to` (exclusive).
    const auto addBlanks = [&](int64_t from, int64_t to) {
        for (const auto& [lo, hi] : merged)
            for (int64_t n = std::max<int64_t>(lo, from); n <= hi && n < to; ++n)
                addBlank();
    };
    if (ranged)
        addBlanks(merged.front().first, *atlas.Frames.front().Number);
    for (size_t i = 0; i < atlas.Frames.size(); ++i) {
        TAtlasFrame& frame = atlas.Frames[i];
        if (numbered && i > 0) {
            const int64_t before = int64_t(items.size());
            if (ranged)
                addBlanks(int64_t(*atlas.Frames[i - 1].Number) + 1, *frame.Number);
            result.Missing += int(int64_t(*frame.Number) - *atlas.Frames[i - 1].Number - 1 -
                                  (int64_t(items.size()) - before));
        }
        if (!StorableOffset(frame.Offset))
            throw std::runtime_error(options.DataPath + ": frame \"" + frame.Name +
                                     "\" has an offset outside -32768..32767");
        TItem item;
        item.Picture = PictureOfFrame(frame.Pixels);
        item.Offset = frame.Offset;
        frame.Pixels = TDIB();
        PrepareKeepingSize(item.Picture, library);
        items.push_back(std::move(item));
    }
    if (ranged)
        addBlanks(int64_t(*atlas.Frames.back().Number) + 1, int64_t(merged.back().second) + 1);

    const int total = int(items.size());
    TGameImages::TUpdate update = library.BeginUpdate(options.Mode == imAppend ? -1 : options.At);
    for (int i = 0; i < total; ++i) {
        TItem& item = items[size_t(i)];
        TDIB& source = item.Blank ? *blankPicture : *item.Picture.Source;
        const TDIB* alpha = item.Picture.Alpha.get();
        const TPoint at = item.Blank ? TPoint{} : item.Offset;
        bool ok = false;
        if (options.Mode == imInsert)
            ok = update.Insert(0, source, at.X, at.Y, options.Compression, alpha);
        else if (options.Mode == imReplace && update.Cursor() < update.Count())
            ok = update.Replace(0, source, at.X, at.Y, options.Compression, alpha);
        else
            ok = update.Add(source, at.X, at.Y, options.Compression, alpha);
        if (!ok) {
            result.Error = "the library refused " +
                           (item.Blank ? std::string("an empty image") : "a frame") + " (item " +
                           std::to_string(i) + " of the atlas)";
            return;
        }
        item.Picture = {};
        if (progress)
            progress(i + 1, total);
    }
    update.EndUpdate();
    result.First = options.Mode == imAppend ? count : options.At;
    result.Imported = int(atlas.Frames.size());
    result.Blanks = total - result.Imported;
    result.Done = true;
}

} // namespace

TAtlasImportResult ImportAtlas(TGameImages& Library, const TAtlasImportOptions& Options,
                               const TProgress& Progress) {
    TAtlasImportResult result;
    try {
        Import(Library, Options, Progress, result);
    } catch (const EEditRefused& e) {
        result = {};
        result.Refusal = e.Refusal();
        result.Error = e.what();
    } catch (const std::exception& e) {
        result = {};
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
