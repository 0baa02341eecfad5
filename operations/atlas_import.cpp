// Atlas import: reading the data files of this and other packers, cutting the frames out of their
// sheets and importing them as one edit.

#include "operations/atlas.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/json.h"
#include "files/picture_files.h"
#include "formats/image_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <system_error>

namespace velmora {

namespace {

namespace fs = std::filesystem;

// A data file larger than this is not an atlas.
constexpr uint64_t kMaxDataFileSize = uint64_t(256) << 20;
constexpr int kMaxSide = std::numeric_limits<int16_t>::max();

class EAtlasError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

int WholeNumber(const TJsonValue& object, const char* name, const std::string& where,
                std::optional<int> fallback = std::nullopt) {
    const std::optional<double> value = object.NumberAt(name);
    if (!value) {
        if (fallback)
            return *fallback;
        throw EAtlasError(where + ": \"" + name + "\" is missing or not a number");
    }
    if (std::trunc(*value) != *value || std::fabs(*value) > 1e9)
        throw EAtlasError(where + ": \"" + name + "\" is not a whole number");
    return int(*value);
}

const TJsonValue& Member(const TJsonValue& object, const char* name, const std::string& where) {
    const TJsonValue* value = object.Find(name);
    if (!value || !value->IsObject())
        throw EAtlasError(where + ": \"" + name + "\" is missing or not an object");
    return *value;
}

// The number a frame name stands for: digits alone, or digits and a picture extension.
std::optional<int> NameNumber(const std::string& name) {
    std::string digits = name;
    const size_t dot = digits.rfind('.');
    if (dot != std::string::npos && dot > 0)
        digits.resize(dot);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(digits);
}

TDIB LoadSheet(const std::string& path) {
    TDIB loaded;
    if (!FileExists(path) || !LoadPicture(path, loaded, ifAuto) || loaded.Empty())
        throw EAtlasError(path + ": the sheet cannot be read");
    if (loaded.BitCount() == 32 && loaded.HasAlphaChannel())
        return loaded;
    // A sheet without alpha is opaque.
    TDIB rgba(loaded);
    rgba.SetPixelFormat(MakePixelFormat(8, 8, 8));
    rgba.SetBitCount(32);
    for (int y = 0; y < rgba.Height(); ++y) {
        uint8_t* row = rgba.ScanLine(y);
        for (int x = 0; x < rgba.Width(); ++x)
            row[size_t(x) * 4 + 3] = 255;
    }
    return rgba;
}

// Cuts one frame out of its sheet and puts it at its place in the untrimmed picture.
TAtlasFrame CutFrame(const std::string& name, const TJsonValue& entry, const TDIB& sheet,
                     const std::string& where) {
    const TJsonValue& rect = Member(entry, "frame", where);
    const int fx = WholeNumber(rect, "x", where), fy = WholeNumber(rect, "y", where);
    const int fw = WholeNumber(rect, "w", where), fh = WholeNumber(rect, "h", where);
    const TJsonValue* rotatedValue = entry.Find("rotated");
    const bool rotated = rotatedValue && rotatedValue->Bool();
    // A rotated frame lies in the sheet turned a quarter clockwise: its rectangle there is h x w.
    const int sw = rotated ? fh : fw, sh = rotated ? fw : fh;
    if (fw < 1 || fh < 1 || fx < 0 || fy < 0 || int64_t(fx) + sw > sheet.Width() ||
        int64_t(fy) + sh > sheet.Height())
        throw EAtlasError(where + ": the frame lies outside its sheet");
    int tx = 0, ty = 0, w = fw, h = fh;
    if (const TJsonValue* sss = entry.Find("spriteSourceSize"); sss && sss->IsObject()) {
        tx = WholeNumber(*sss, "x", where, 0);
        ty = WholeNumber(*sss, "y", where, 0);
        if (WholeNumber(*sss, "w", where, fw) != fw || WholeNumber(*sss, "h", where, fh) != fh)
            throw EAtlasError(where + ": scaled frames are not supported");
    }
    if (const TJsonValue* source = entry.Find("sourceSize"); source && source->IsObject()) {
        w = WholeNumber(*source, "w", where);
        h = WholeNumber(*source, "h", where);
    }
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || !PictureSizeAllowed(w, h) || tx < 0 ||
        ty < 0 || int64_t(tx) + fw > w || int64_t(ty) + fh > h)
        throw EAtlasError(where + ": the frame does not lie inside its source size");

    TAtlasFrame frame;
    frame.Name = name;
    frame.Number = NameNumber(name);
    frame.Pixels.SetPixelFormat(MakePixelFormat(8, 8, 8));
    frame.Pixels.SetSize(w, h, 32);
    for (int y = 0; y < fh; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(frame.Pixels.ScanLine(ty + y)) + tx;
        if (!rotated) {
            std::memcpy(out, sheet.ScanLine(fy + y) + size_t(fx) * 4, size_t(fw) * 4);
            continue;
        }
        // Turned back: pixel (x, y) of the frame is pixel (fx + fh - 1 - y, fy + x) of the sheet.
        for (int x = 0; x < fw; ++x)
            out[x] = sheet.Pixel(fx + fh - 1 - y, fy + x);
    }
    if (const TJsonValue* offset = entry.Find("offset"); offset && offset->IsObject()) {
        frame.Offset = {WholeNumber(*offset, "x", where), WholeNumber(*offset, "y", where)};
    } else if (const TJsonValue* pivot = entry.Find("pivot"); pivot && pivot->IsObject()) {
        frame.Offset = OffsetOfPivot(
            {pivot->NumberAt("x").value_or(0), pivot->NumberAt("y").value_or(0)}, w, h);
    }
    return frame;
}

void ReadDataFile(const std::string& path, TAtlasReadResult& result,
                  std::vector<std::string>& queue) {
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec)
        throw EAtlasError(path + ": the file cannot be read");
    if (size > kMaxDataFileSize)
        throw EAtlasError(path + ": too large for an atlas data file");
    const std::vector<uint8_t> bytes = TFileStream::ReadAll(path);
    std::string error;
    const std::optional<TJsonValue> document = ParseJson(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
    if (!document)
        throw EAtlasError(path + ": not JSON (" + error + ")");
    if (!document->IsObject())
        throw EAtlasError(path + ": not an atlas (no object)");
    const TJsonValue& meta = Member(*document, "meta", path);
    const TJsonValue* image = meta.Find("image");
    if (!image || !image->IsString() || image->String().empty())
        throw EAtlasError(path + ": meta.image names no sheet");
    const fs::path folder = fs::path(path).parent_path();
    const TDIB sheet = LoadSheet((folder / image->String()).string());
    if (const TJsonValue* range = meta.Find("range"); range && range->IsObject()) {
        result.RangeFrom = WholeNumber(*range, "from", path);
        result.RangeTo = WholeNumber(*range, "to", path);
    }
    if (const TJsonValue* related = meta.Find("related_multi_packs"); related && related->IsArray())
        for (const TJsonValue& other : related->Items())
            if (other.IsString() && !other.String().empty())
                queue.push_back((folder / other.String()).string());

    const TJsonValue* frames = document->Find("frames");
    if (!frames || (!frames->IsObject() && !frames->IsArray()))
        throw EAtlasError(path + ": \"frames\" is missing");
    if (frames->IsObject()) {
        for (const auto& [name, entry] : frames->Members()) {
            if (!entry.IsObject())
                throw EAtlasError(path + ": frame \"" + name + "\" is not an object");
            result.Frames.push_back(
                CutFrame(name, entry, sheet, path + ": frame \"" + name + "\""));
        }
        return;
    }
    for (const TJsonValue& entry : frames->Items()) {
        const TJsonValue* name = entry.Find("filename");
        if (!entry.IsObject() || !name || !name->IsString())
            throw EAtlasError(path + ": a frame without a filename");
        result.Frames.push_back(
            CutFrame(name->String(), entry, sheet, path + ": frame \"" + name->String() + "\""));
    }
}

} // namespace

TAtlasReadResult ReadAtlas(const std::string& DataPath) {
    TAtlasReadResult result;
    try {
        std::vector<std::string> queue{DataPath};
        std::set<std::string> seen;
        for (size_t i = 0; i < queue.size(); ++i) {
            // A copy: reading the file adds its companions to the queue.
            const std::string path = queue[i];
            std::error_code ec;
            const fs::path canonical = fs::weakly_canonical(path, ec);
            if (!seen.insert(ec ? path : canonical.string()).second)
                continue;
            ReadDataFile(path, result, queue);
        }
        const bool numbered =
            !result.Frames.empty() &&
            std::all_of(result.Frames.begin(), result.Frames.end(),
                        [](const TAtlasFrame& f) { return f.Number.has_value(); });
        if (numbered) {
            std::stable_sort(
                result.Frames.begin(), result.Frames.end(),
                [](const TAtlasFrame& a, const TAtlasFrame& b) { return *a.Number < *b.Number; });
            for (size_t i = 1; i < result.Frames.size(); ++i)
                if (*result.Frames[i].Number == *result.Frames[i - 1].Number)
                    throw EAtlasError(DataPath + ": two frames are numbered " +
                                      std::to_string(*result.Frames[i].Number));
        } else {
            for (TAtlasFrame& frame : result.Frames)
                frame.Number.reset();
            result.RangeFrom.reset();
            result.RangeTo.reset();
        }
        result.Done = true;
    } catch (const std::exception& e) {
        result = {};
        result.Error = e.what();
    }
    return result;
}

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
    TAtlasReadResult atlas = ReadAtlas(options.DataPath);
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
    // Gaps are the empty images an export of this system left out: they are filled only when
    // the data file names the range exported and every frame lies in it. Numbers of other packers
    // (ids, dates) only give the order.
    const bool numbered = atlas.Frames.front().Number.has_value();
    const bool ranged = numbered && atlas.RangeFrom && atlas.RangeTo &&
                        *atlas.RangeFrom <= *atlas.Frames.front().Number &&
                        *atlas.Frames.back().Number <= *atlas.RangeTo;
    if (ranged && int64_t(*atlas.RangeTo) - *atlas.RangeFrom + 1 >
                      int64_t(atlas.Frames.size()) + int64_t(library.RoomForRecords()))
        throw EAtlasError(options.DataPath + ": the frames' numbers leave too large a gap");
    std::unique_ptr<TDIB> blankPicture = library.FillDIB();
    const auto addBlanks = [&](int64_t n) {
        for (int64_t k = 0; k < n; ++k) {
            TItem blank;
            blank.Blank = true;
            items.push_back(std::move(blank));
        }
    };
    if (ranged)
        addBlanks(int64_t(*atlas.Frames.front().Number) - *atlas.RangeFrom);
    for (size_t i = 0; i < atlas.Frames.size(); ++i) {
        TAtlasFrame& frame = atlas.Frames[i];
        if (ranged && i > 0)
            addBlanks(int64_t(*frame.Number) - *atlas.Frames[i - 1].Number - 1);
        if (!StorableOffset(frame.Offset))
            throw EAtlasError(options.DataPath + ": frame \"" + frame.Name +
                              "\" has an offset outside -32768..32767");
        TItem item;
        item.Picture = PictureOfFrame(frame.Pixels);
        item.Offset = frame.Offset;
        frame.Pixels = TDIB();
        PrepareKeepingSize(item.Picture, library);
        items.push_back(std::move(item));
    }
    if (ranged)
        addBlanks(int64_t(*atlas.RangeTo) - *atlas.Frames.back().Number);

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
