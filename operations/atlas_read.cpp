// Reading atlases: the data files of this and other packers, and the frames cut out of their
// sheets (ReadAtlas). atlas_import.cpp imports them.

#include "operations/atlas.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/json.h"
#include "files/picture_files.h"
#include "formats/image_info.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <string_view>
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

// The number a frame name ends in, and what stands before it: the name without a picture
// extension ("12.png", "spr/00012.PNG") split before its last digits ("hero/00012" is "hero/"
// and 12). No number for a name without final digits or with more than nine.
void NumberOfName(const std::string& name, std::optional<int>& number, std::string& prefix) {
    std::string stem = name;
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot + 1 < stem.size() &&
        stem.find('/', dot) == std::string::npos &&
        std::isalpha(static_cast<unsigned char>(stem[dot + 1])))
        stem.resize(dot);
    size_t digits = stem.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(stem[digits - 1])))
        --digits;
    number.reset();
    prefix = stem.substr(0, digits);
    if (digits == stem.size() || stem.size() - digits > 9)
        return;
    number = std::stoi(stem.substr(digits));
}

// How a sheet is named in messages: its path, or for a picture embedded in the data file its
// kind and size (never the whole data URI).
std::string SheetName(const std::string& image) {
    if (image.rfind("data:", 0) != 0)
        return image;
    const size_t comma = image.find(',');
    const std::string head = image.substr(0, std::min<size_t>(comma, 40));
    return "the sheet embedded as " + head + " (" + std::to_string(image.size() / 1024) + " KB)";
}

// The kind of a picture by its first bytes, for those no sheet may be: JPEG, WebP and GIF.
const char* UnreadKind(std::span<const uint8_t> head) {
    if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return "JPEG";
    if (head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
        std::memcmp(head.data() + 8, "WEBP", 4) == 0)
        return "WebP";
    if (head.size() >= 4 && std::memcmp(head.data(), "GIF8", 4) == 0)
        return "GIF";
    return nullptr;
}

[[noreturn]] void RefuseKind(const std::string& where, const std::string& sheet, const char* kind) {
    throw EAtlasError(where + ": " + sheet + " is a " + kind +
                      " picture; atlas sheets are read as PNG (also BMP, TGA)");
}

std::vector<uint8_t> Base64(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+' || c == '-')
            v = 62;
        else if (c == '/' || c == '_')
            v = 63;
        else if (c == '=' || c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        else
            throw std::invalid_argument("not base64");
        bits = bits << 6 | uint32_t(v);
        if (++count == 4) {
            out.push_back(uint8_t(bits >> 16));
            out.push_back(uint8_t(bits >> 8));
            out.push_back(uint8_t(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1)
        throw std::invalid_argument("cut short");
    if (count >= 2)
        out.push_back(uint8_t(bits >> (count == 2 ? 4 : 10)));
    if (count == 3)
        out.push_back(uint8_t(bits >> 2));
    return out;
}

// A sheet without alpha is opaque.
TDIB Rgba(TDIB loaded) {
    if (loaded.BitCount() == 32 && loaded.HasAlphaChannel())
        return loaded;
    loaded.SetPixelFormat(MakePixelFormat(8, 8, 8));
    loaded.SetBitCount(32);
    for (int y = 0; y < loaded.Height(); ++y) {
        uint8_t* row = loaded.ScanLine(y);
        for (int x = 0; x < loaded.Width(); ++x)
            row[size_t(x) * 4 + 3] = 255;
    }
    return loaded;
}

// Why a sheet did not load: too large when its header says so, else unreadable.
[[noreturn]] void RefuseSheet(const std::string& where, const std::string& sheet,
                              std::span<const uint8_t> head, TImageFormat format) {
    if (const auto size = PictureHeaderSize(head, format)) {
        const std::string large = PictureTooLargeText(size->first, size->second);
        if (!large.empty())
            throw EAtlasError(where + ": " + sheet + ": " + large);
    }
    throw EAtlasError(where + ": " + sheet + " cannot be read as a picture");
}

TDIB LoadEmbeddedSheet(const std::string& uri, const std::string& where) {
    const std::string sheet = SheetName(uri);
    const size_t comma = uri.find(',');
    const std::string head = uri.substr(5, comma == std::string::npos ? 0 : comma - 5);
    const std::string type = head.substr(0, head.find(';'));
    if (SameText(type, "image/jpeg") || SameText(type, "image/jpg"))
        RefuseKind(where, sheet, "JPEG");
    if (SameText(type, "image/webp"))
        RefuseKind(where, sheet, "WebP");
    if (comma == std::string::npos || head.size() < 7 ||
        !SameText(head.substr(head.size() - 7), ";base64"))
        throw EAtlasError(where + ": " + sheet + " is not base64 data");
    std::vector<uint8_t> bytes;
    try {
        bytes = Base64(std::string_view(uri).substr(comma + 1));
    } catch (const std::invalid_argument&) {
        throw EAtlasError(where + ": " + sheet + " is not base64 data");
    }
    if (const char* kind = UnreadKind(bytes))
        RefuseKind(where, sheet, kind);
    TDIB loaded;
    if (!LoadPNGFromMemory(bytes, loaded) || loaded.Empty())
        RefuseSheet(where, sheet, bytes, ifPNG);
    return Rgba(std::move(loaded));
}

// A sheet named by a data file: a data URI, or a file named relative to the data file's folder
// as a URL path (percent-escapes decoded; the name as written when no such file exists).
TDIB LoadSheet(const fs::path& folder, const std::string& image, const std::string& where) {
    if (image.rfind("data:", 0) == 0)
        return LoadEmbeddedSheet(image, where);
    std::string path = (folder / PathOfUrl(image)).string();
    if (!FileExists(path) && FileExists((folder / image).string()))
        path = (folder / image).string();
    if (!FileExists(path))
        throw EAtlasError(where + ": the sheet " + path + " does not exist");
    const std::string ext = ExtractFileExt(path);
    if (SameText(ext, ".jpg") || SameText(ext, ".jpeg"))
        RefuseKind(where, path, "JPEG");
    if (SameText(ext, ".webp"))
        RefuseKind(where, path, "WebP");
    std::vector<uint8_t> head(32, 0);
    {
        TFileStream file(path, TFileStream::fmOpenRead);
        head.resize(file.Read(head));
    }
    if (const char* kind = UnreadKind(head))
        RefuseKind(where, path, kind);
    TDIB loaded;
    if (!LoadPicture(path, loaded, ifAuto) || loaded.Empty())
        RefuseSheet(where, path, head, PictureFormatOf(path));
    return Rgba(std::move(loaded));
}

// Atlases drawn at another scale than 1, or with colours premultiplied by alpha, would import
// pictures that are not the library's: refused.
void CheckSheetForm(const TJsonValue& object, const std::string& where) {
    if (const TJsonValue* scale = object.Find("scale")) {
        double value = 1;
        if (scale->IsNumber()) {
            value = scale->Number();
        } else if (scale->IsString()) {
            char* end = nullptr;
            value = std::strtod(scale->String().c_str(), &end);
            if (end == scale->String().c_str())
                value = 0;
        }
        if (value != 1) {
            char number[32];
            std::snprintf(number, sizeof number, "%g", scale->Number());
            const std::string text = scale->IsString()   ? scale->String()
                                     : scale->IsNumber() ? std::string(number)
                                                         : std::string("not a number");
            throw EAtlasError(where + ": a scaled atlas (scale " + text +
                              ") does not give the library's pictures; export it at scale 1");
        }
    }
    for (const char* name : {"premultiplyAlpha", "premultipliedAlpha"})
        if (const TJsonValue* premultiplied = object.Find(name);
            premultiplied && premultiplied->Bool())
            throw EAtlasError(where + ": the sheet's colours are premultiplied by alpha; export it "
                                      "with straight alpha");
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
    NumberOfName(name, frame.Number, frame.Prefix);
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
    // The offset itself, else the anchor point as Phaser (pivot) or PixiJS (anchor) reads it.
    const TJsonValue* pivot = entry.Find("pivot");
    if (!pivot || !pivot->IsObject())
        pivot = entry.Find("anchor");
    if (const TJsonValue* offset = entry.Find("offset"); offset && offset->IsObject()) {
        frame.Offset = {WholeNumber(*offset, "x", where), WholeNumber(*offset, "y", where)};
    } else if (pivot && pivot->IsObject()) {
        frame.Offset = OffsetOfPivot(
            {pivot->NumberAt("x").value_or(0), pivot->NumberAt("y").value_or(0)}, w, h);
    }
    return frame;
}

// The frames of one sheet, as an object of named frames or a list of frames with a filename.
void ReadFrames(const TJsonValue* frames, const TDIB& sheet, const std::string& where,
                TAtlasReadResult& result) {
    if (!frames || (!frames->IsObject() && !frames->IsArray()))
        throw EAtlasError(where + ": \"frames\" is missing");
    if (frames->IsObject()) {
        for (const auto& [name, entry] : frames->Members()) {
            if (!entry.IsObject())
                throw EAtlasError(where + ": frame \"" + name + "\" is not an object");
            result.Frames.push_back(
                CutFrame(name, entry, sheet, where + ": frame \"" + name + "\""));
        }
        return;
    }
    for (const TJsonValue& entry : frames->Items()) {
        const TJsonValue* name = entry.Find("filename");
        if (!entry.IsObject() || !name || !name->IsString())
            throw EAtlasError(where + ": a frame without a filename");
        result.Frames.push_back(
            CutFrame(name->String(), entry, sheet, where + ": frame \"" + name->String() + "\""));
    }
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
    const fs::path folder = fs::path(path).parent_path();
    const TJsonValue* meta = document->Find("meta");
    if (meta && meta->IsObject()) {
        CheckSheetForm(*meta, path);
        if (const TJsonValue* range = meta->Find("range"); range && range->IsObject())
            result.Ranges.emplace_back(WholeNumber(*range, "from", path),
                                       WholeNumber(*range, "to", path));
        if (const TJsonValue* related = meta->Find("related_multi_packs");
            related && related->IsArray())
            for (const TJsonValue& other : related->Items())
                if (other.IsString() && !other.String().empty()) {
                    const std::string decoded = (folder / PathOfUrl(other.String())).string();
                    queue.push_back(FileExists(decoded) ? decoded
                                                        : (folder / other.String()).string());
                }
    }

    // Phaser's multi-atlas form: the sheets and their frames in one list.
    if (const TJsonValue* textures = document->Find("textures")) {
        if (!textures->IsArray() || textures->Items().empty())
            throw EAtlasError(path + ": \"textures\" lists no sheets");
        for (size_t t = 0; t < textures->Items().size(); ++t) {
            const TJsonValue& texture = textures->Items()[t];
            const std::string where = path + ": texture " + std::to_string(t);
            const TJsonValue* image = texture.Find("image");
            if (!texture.IsObject() || !image || !image->IsString() || image->String().empty())
                throw EAtlasError(where + " names no sheet");
            CheckSheetForm(texture, where);
            ReadFrames(texture.Find("frames"), LoadSheet(folder, image->String(), where), where,
                       result);
        }
        return;
    }
    if (!meta || !meta->IsObject())
        throw EAtlasError(path + ": \"meta\" is missing or not an object");
    const TJsonValue* image = meta->Find("image");
    if (!image || !image->IsString() || image->String().empty())
        throw EAtlasError(path + ": meta.image names no sheet");
    ReadFrames(document->Find("frames"), LoadSheet(folder, image->String(), path), path, result);
}

} // namespace

TAtlasReadResult ReadAtlas(const std::vector<std::string>& DataPaths) {
    TAtlasReadResult result;
    try {
        std::vector<std::string> queue = DataPaths;
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
            std::all_of(result.Frames.begin(), result.Frames.end(), [&](const TAtlasFrame& f) {
                return f.Number.has_value() && f.Prefix == result.Frames.front().Prefix;
            });
        if (numbered) {
            std::stable_sort(
                result.Frames.begin(), result.Frames.end(),
                [](const TAtlasFrame& a, const TAtlasFrame& b) { return *a.Number < *b.Number; });
            for (size_t i = 1; i < result.Frames.size(); ++i)
                if (*result.Frames[i].Number == *result.Frames[i - 1].Number)
                    throw EAtlasError("two frames are numbered " +
                                      std::to_string(*result.Frames[i].Number) + " (\"" +
                                      result.Frames[i - 1].Name + "\", \"" + result.Frames[i].Name +
                                      "\")");
        } else {
            for (TAtlasFrame& frame : result.Frames)
                frame.Number.reset();
            result.Ranges.clear();
        }
        result.Done = true;
    } catch (const std::exception& e) {
        result = {};
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
