// Atlas export: trimming, packing, the sheets and their data files.

#include "operations/atlas.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/json.h"
#include "files/picture_files.h"
#include "operations/atlas_packer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

namespace velmora {

TPivot PivotOfOffset(TPoint Offset, int Width, int Height) {
    return {Width > 0 ? -double(Offset.X) / Width : 0.0,
            Height > 0 ? -double(Offset.Y) / Height : 0.0};
}

TPoint OffsetOfPivot(TPivot Pivot, int Width, int Height) {
    const auto back = [](double pivot, int size) {
        const double v = std::round(-pivot * size);
        return int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
    };
    return {back(Pivot.X, Width), back(Pivot.Y, Height)};
}

std::string AtlasFrameName(const std::string& Prefix, int Index) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d", Index);
    return Prefix + digits;
}

std::string UrlPathOf(const std::string& Path) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string url;
    for (const char c : Path) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            url += c;
        } else {
            url += '%';
            url += kHex[b >> 4];
            url += kHex[b & 15];
        }
    }
    return url;
}

std::string PathOfUrl(const std::string& Url) {
    std::string path;
    for (size_t i = 0; i < Url.size(); ++i) {
        if (Url[i] != '%') {
            path += Url[i];
            continue;
        }
        if (i + 2 >= Url.size() || !std::isxdigit(static_cast<unsigned char>(Url[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(Url[i + 2])))
            return Url;
        path += char(std::stoi(Url.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return path;
}

namespace {

// The name with the extension it must have: kept when it has it (in any case), added when it has
// none; empty for another extension.
std::string WithExtension(const std::string& name, const std::string& extension) {
    const std::string ext = ExtractFileExt(name);
    if (ext.empty())
        return name + extension;
    return SameText(ext, extension) ? name : std::string();
}

} // namespace

TAtlasNames AtlasNames(const TAtlasExportOptions& Options) {
    TAtlasNames names;
    if (Options.MaxSize < 1 || Options.MaxSize > kMaxAtlasSheetSide) {
        names.Error = "a sheet may be 1 to " + std::to_string(kMaxAtlasSheetSide) +
                      " pixels a side (larger textures do not load on many devices), not " +
                      std::to_string(Options.MaxSize);
        return names;
    }
    if (Options.Padding < 0 || Options.Padding >= Options.MaxSize) {
        names.Error = "the padding must be 0 or more and below the sheet size";
        return names;
    }
    if (!Options.Prefix.empty() &&
        std::isdigit(static_cast<unsigned char>(Options.Prefix.back()))) {
        names.Error = "the frame-name prefix \"" + Options.Prefix +
                      "\" may not end in a digit: the image number follows it";
        return names;
    }
    if (Options.SheetPath.empty() || ExtractFileName(Options.SheetPath).empty()) {
        names.Error = "no sheet file named";
        return names;
    }
    names.SheetPath = WithExtension(Options.SheetPath, ".png");
    if (names.SheetPath.empty()) {
        names.Error = Options.SheetPath + ": the sheets are PNG pictures; name the first one .png";
        return names;
    }
    names.DataPath = Options.DataPath.empty() ? ChangeFileExt(names.SheetPath, ".json")
                                              : WithExtension(Options.DataPath, ".json");
    if (names.DataPath.empty()) {
        names.SheetPath.clear();
        names.Error = Options.DataPath + ": engines load atlas data by the extension .json";
        return names;
    }
    return names;
}

TDIB AtlasPixels(const TPicture& Picture) {
    if (const TPngPicture* png = Picture.AsPng()) {
        std::unique_ptr<TDIB> dib = png->ToDIBWithAlpha();
        if (dib && png->HasAlpha() && dib->BitCount() == 32)
            return std::move(*dib);
        if (dib)
            return AtlasPixels(*dib);
        return TDIB();
    }
    const TDIB* source = Picture.AsDIB();
    if (!source || source->Empty())
        return TDIB();
    if (source->BitCount() == 32 && source->HasAlphaChannel())
        return *source;
    TDIB rgba(*source);
    rgba.SetPixelFormat(MakePixelFormat(8, 8, 8));
    rgba.SetBitCount(32);
    // Black is the transparent colour of these libraries.
    for (int y = 0; y < rgba.Height(); ++y) {
        auto* row = reinterpret_cast<uint8_t*>(rgba.ScanLine(y));
        for (int x = 0; x < rgba.Width(); ++x) {
            uint8_t* p = row + size_t(x) * 4;
            p[3] = (p[0] | p[1] | p[2]) != 0 ? 255 : 0;
        }
    }
    return rgba;
}

namespace {

struct TFrame {
    int Index = 0;
    TPoint Offset;
    int SourceW = 0, SourceH = 0; // the untrimmed picture
    // The visible pixels, the rectangle at (X, Y) of W x H in the untrimmed picture.
    TDIB Pixels;
    int X = 0, Y = 0, W = 0, H = 0;
};

// The smallest rectangle that holds every pixel with alpha above 0; false when there is none.
bool VisibleBounds(const TDIB& rgba, int& x0, int& y0, int& w, int& h) {
    int left = rgba.Width(), right = -1, top = rgba.Height(), bottom = -1;
    for (int y = 0; y < rgba.Height(); ++y) {
        const uint8_t* row = rgba.ScanLine(y);
        int first = -1, last = -1;
        for (int x = 0; x < rgba.Width(); ++x)
            if (row[size_t(x) * 4 + 3] != 0) {
                if (first < 0)
                    first = x;
                last = x;
            }
        if (first < 0)
            continue;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    if (right < 0)
        return false;
    x0 = left;
    y0 = top;
    w = right - left + 1;
    h = bottom - top + 1;
    return true;
}

// Runs work(i) for i in 0 .. count - 1 on the processor's cores; the calling thread takes part
// and reports progress after each of its items. The first exception, of the work or of a report
// (a cancel), stops the items not yet begun and is raised again once every worker has ended.
template <class TWork>
void ParallelFor(int count, const TWork& work, const std::function<void(int)>& report) {
    std::atomic<int> next{0}, done{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto run = [&](bool reporting) {
        while (true) {
            const int i = next.fetch_add(1);
            if (i >= count)
                return;
            try {
                work(i);
                const int finished = done.fetch_add(1) + 1;
                if (reporting && report)
                    report(finished);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < cores && int(k) < count; ++k)
        workers.emplace_back(run, false);
    run(true);
    for (std::thread& t : workers)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

// NAME.ext, NAME-1.ext, NAME-2.ext, ...
std::string NumberedName(const std::string& first, int sheet, const std::string& extension) {
    const std::string base = ExtractFilePath(first) + FileNameWithoutExt(first);
    return (sheet == 0 ? base : base + "-" + std::to_string(sheet)) + extension;
}

TJsonValue Rect(int x, int y, int w, int h) {
    TJsonValue r = TJsonValue::Object();
    r.Set("x", x);
    r.Set("y", y);
    r.Set("w", w);
    r.Set("h", h);
    return r;
}

TJsonValue Pair(const char* a, double va, const char* b, double vb) {
    TJsonValue p = TJsonValue::Object();
    p.Set(a, va);
    p.Set(b, vb);
    return p;
}

TJsonValue FrameEntry(const TFrame& frame, const TPackPlace& place) {
    const int w = frame.SourceW, h = frame.SourceH;
    TJsonValue entry = TJsonValue::Object();
    entry.Set("frame", Rect(place.X, place.Y, frame.W, frame.H));
    entry.Set("rotated", false);
    entry.Set("trimmed", frame.W != w || frame.H != h);
    entry.Set("spriteSourceSize", Rect(frame.X, frame.Y, frame.W, frame.H));
    entry.Set("sourceSize", Pair("w", w, "h", h));
    // Phaser reads the pivot, PixiJS the anchor: the same point.
    const TPivot pivot = PivotOfOffset(frame.Offset, w, h);
    entry.Set("pivot", Pair("x", pivot.X, "y", pivot.Y));
    entry.Set("anchor", Pair("x", pivot.X, "y", pivot.Y));
    entry.Set("offset", Pair("x", frame.Offset.X, "y", frame.Offset.Y));
    return entry;
}

// The path of `file` as seen from the folder of `from`.
std::string RelativeTo(const std::string& file, const std::string& from) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path a = fs::absolute(file, ec);
    const fs::path b = fs::absolute(from, ec).parent_path();
    const fs::path relative = a.lexically_normal().lexically_relative(b.lexically_normal());
    return relative.empty() ? ExtractFileName(file) : relative.generic_string();
}

void RemoveFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
}

// What every data file's meta holds: the writer and the range of images exported.
TJsonValue Meta(int from, int to) {
    TJsonValue meta = TJsonValue::Object();
    meta.Set("app", "velmora");
    meta.Set("version", VELMORA_VERSION);
    meta.Set("range", Pair("from", from, "to", to));
    return meta;
}

void WriteText(const std::string& path, const std::string& text) {
    TFileStream out(path, TFileStream::fmCreate);
    out.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void Export(TGameImages& library, const TAtlasExportOptions& options, const TProgress& progress,
            TAtlasExportResult& result) {
    // The images as they are when the export starts, whatever happens to the library meanwhile.
    const TSnapshotPtr snapshot = library.Snapshot();
    const int count = snapshot->Count();
    const int from = options.From;
    const int to = options.To < 0 ? count - 1 : options.To;
    if (count == 0 || from < 0 || from > to || to >= count) {
        result.Error = "the range " + std::to_string(from) + ".." + std::to_string(to) +
                       " is not inside the library's " + std::to_string(count) + " images";
        return;
    }
    const TAtlasNames names = AtlasNames(options);
    if (!names.Error.empty()) {
        result.Error = names.Error;
        return;
    }
    const int total = to - from + 1;
    try {
        snapshot->ReadHeaders(from, to);
    } catch (const std::exception&) {
    }
    // Decoding and trimming, on every core; then packing, the sheets (every core again) and the
    // data files. Progress counts images, then sheets.
    std::vector<TFrame> frames(static_cast<size_t>(total));
    std::vector<char> visible(static_cast<size_t>(total), 0);
    const auto report = [&](int done) {
        if (progress)
            progress(done, total);
    };
    ParallelFor(
        total,
        [&](int k) {
            TFrame& frame = frames[size_t(k)];
            frame.Index = from + k;
            int x = 0, y = 0;
            std::unique_ptr<TPicture> picture;
            try {
                const std::optional<TImageDescription> d = snapshot->Describe(frame.Index, false);
                if (d && d->Empty)
                    return;
                picture = snapshot->Get(frame.Index, x, y);
            } catch (const std::exception&) {
                return; // an image that cannot be read has no frame, as one that cannot be decoded
            }
            if (!picture)
                return;
            const TDIB pixels = AtlasPixels(*picture);
            frame.Offset = {x, y};
            if (pixels.Empty() || !VisibleBounds(pixels, frame.X, frame.Y, frame.W, frame.H))
                return;
            // Only the visible pixels are kept until the sheets are drawn.
            frame.SourceW = pixels.Width();
            frame.SourceH = pixels.Height();
            frame.Pixels.SetPixelFormat(MakePixelFormat(8, 8, 8));
            frame.Pixels.SetSize(frame.W, frame.H, 32);
            for (int r = 0; r < frame.H; ++r)
                std::memcpy(frame.Pixels.ScanLine(r),
                            pixels.ScanLine(frame.Y + r) + size_t(frame.X) * 4,
                            size_t(frame.W) * 4);
            visible[size_t(k)] = 1;
        },
        report);

    std::vector<size_t> kept;
    std::vector<TPackItem> items;
    for (size_t k = 0; k < frames.size(); ++k) {
        if (!visible[k])
            continue;
        if (frames[k].W > options.MaxSize || frames[k].H > options.MaxSize) {
            result.Error = "image " + std::to_string(frames[k].Index) + " (" +
                           std::to_string(frames[k].W) + " x " + std::to_string(frames[k].H) +
                           " visible pixels) is larger than a sheet of " +
                           std::to_string(options.MaxSize) + " x " +
                           std::to_string(options.MaxSize);
            return;
        }
        kept.push_back(k);
        items.push_back({frames[k].W, frames[k].H});
    }
    result.Empty = total - int(kept.size());
    if (kept.empty()) {
        result.Error = "the images " + std::to_string(from) + ".." + std::to_string(to) +
                       " have no visible pixels";
        return;
    }
    const std::optional<TPacking> packing = PackRectangles(items, options.MaxSize, options.Padding);
    if (!packing) {
        result.Error = "the frames could not be packed";
        return;
    }
    const int sheets = int(packing->Sheets.size());
    const std::string& dataPath = names.DataPath;
    for (int s = 0; s < sheets; ++s) {
        result.Sheets.push_back(NumberedName(names.SheetPath, s, ExtractFileExt(names.SheetPath)));
        result.DataFiles.push_back(NumberedName(dataPath, s, ExtractFileExt(dataPath)));
    }
    if (sheets > 1)
        result.MultiAtlasFile = NumberedName(dataPath, 0, ".multiatlas.json");

    // The folders of the sheets and data files are made as the batch export makes its own.
    for (const std::string* file : {&names.SheetPath, &dataPath}) {
        const std::filesystem::path folder = std::filesystem::path(*file).parent_path();
        std::error_code ec;
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);
        if (ec) {
            result.Error = folder.string() + ": " + ec.message();
            return;
        }
    }

    std::vector<std::string> written;
    try {
        ParallelFor(
            sheets,
            [&](int s) {
                const TPackedSheet& size = packing->Sheets[size_t(s)];
                TDIB sheet;
                sheet.SetPixelFormat(MakePixelFormat(8, 8, 8));
                sheet.SetSize(size.Width, size.Height, 32);
                for (size_t j = 0; j < kept.size(); ++j) {
                    const TPackPlace& place = packing->Places[j];
                    if (place.Sheet != s)
                        continue;
                    const TFrame& frame = frames[kept[j]];
                    for (int r = 0; r < frame.H; ++r)
                        std::memcpy(sheet.ScanLine(place.Y + r) + size_t(place.X) * 4,
                                    frame.Pixels.ScanLine(r), size_t(frame.W) * 4);
                }
                if (!SavePicture(result.Sheets[size_t(s)], sheet, ifPNG))
                    throw EFileError(result.Sheets[size_t(s)], "the sheet could not be written");
            },
            [&](int done) {
                if (progress)
                    progress(done, sheets);
            });
        written = result.Sheets;

        // The frames of each sheet, in the data file's form and, for the multi-atlas file, as
        // a list.
        std::vector<TJsonValue> lists, arrays;
        for (int s = 0; s < sheets; ++s) {
            lists.push_back(options.Format == afJsonArray ? TJsonValue::Array()
                                                          : TJsonValue::Object());
            arrays.push_back(TJsonValue::Array());
        }
        for (size_t j = 0; j < kept.size(); ++j) {
            const TPackPlace& place = packing->Places[j];
            const TFrame& frame = frames[kept[j]];
            const std::string name = AtlasFrameName(options.Prefix, frame.Index);
            const TJsonValue entry = FrameEntry(frame, place);
            TJsonValue named = TJsonValue::Object();
            named.Set("filename", name);
            for (const auto& [key, value] : entry.Members())
                named.Set(key, value);
            if (options.Format == afJsonArray)
                lists[size_t(place.Sheet)].Add(named);
            else
                lists[size_t(place.Sheet)].Set(name, entry);
            if (sheets > 1)
                arrays[size_t(place.Sheet)].Add(std::move(named));
        }
        const auto sizeOf = [&](int s) {
            return Pair("w", packing->Sheets[size_t(s)].Width, "h",
                        packing->Sheets[size_t(s)].Height);
        };
        for (int s = 0; s < sheets; ++s) {
            TJsonValue document = TJsonValue::Object();
            document.Set("frames", std::move(lists[size_t(s)]));
            const std::string& data = result.DataFiles[size_t(s)];
            TJsonValue meta = Meta(from, to);
            meta.Set("image", UrlPathOf(RelativeTo(result.Sheets[size_t(s)], data)));
            meta.Set("format", "RGBA8888");
            meta.Set("size", sizeOf(s));
            meta.Set("scale", "1");
            if (sheets > 1) {
                TJsonValue others = TJsonValue::Array();
                for (int o = 0; o < sheets; ++o)
                    if (o != s)
                        others.Add(UrlPathOf(RelativeTo(result.DataFiles[size_t(o)], data)));
                meta.Set("related_multi_packs", std::move(others));
            }
            document.Set("meta", std::move(meta));
            WriteText(data, WriteJson(document));
            written.push_back(data);
        }
        if (sheets > 1) {
            // Phaser's multi-atlas file: every sheet with its frames, always as lists.
            TJsonValue textures = TJsonValue::Array();
            for (int s = 0; s < sheets; ++s) {
                TJsonValue texture = TJsonValue::Object();
                texture.Set("image",
                            UrlPathOf(RelativeTo(result.Sheets[size_t(s)], result.MultiAtlasFile)));
                texture.Set("format", "RGBA8888");
                texture.Set("size", sizeOf(s));
                texture.Set("scale", 1);
                texture.Set("frames", std::move(arrays[size_t(s)]));
                textures.Add(std::move(texture));
            }
            TJsonValue document = TJsonValue::Object();
            document.Set("textures", std::move(textures));
            document.Set("meta", Meta(from, to));
            WriteText(result.MultiAtlasFile, WriteJson(document));
            written.push_back(result.MultiAtlasFile);
        }
    } catch (...) {
        RemoveFiles(result.Sheets);
        RemoveFiles(written);
        throw;
    }
    result.Frames = int(kept.size());
    result.Done = true;
}

} // namespace

TAtlasExportResult ExportAtlas(TGameImages& Library, const TAtlasExportOptions& Options,
                               const TProgress& Progress) {
    TAtlasExportResult result;
    try {
        Export(Library, Options, Progress, result);
    } catch (const std::exception& e) {
        result = {};
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
