// info, list and export: the commands that only read a library.

#include "cli/commands.h"
#include "cli/output.h"
#include "files/picture_files.h"
#include "operations/batch_export.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace velmora::cli {

namespace {

// How often `list` reads a library anew that another program keeps changing in place.
constexpr int kListAttempts = 5;

std::string OptionalJson(const std::optional<bool>& value) {
    return value ? (*value ? "true" : "false") : "null";
}

} // namespace

const char* KindName(TImageType kind) {
    switch (kind) {
    case t_Wil:
        return "wil";
    case t_Wis:
        return "wis";
    case t_Wzl:
        return "wzl";
    case t_Quillrand:
        return "pak";
    }
    return "wil";
}

std::optional<uint8_t> FormatByName(const std::string& name) {
    std::string lower;
    for (char c : name)
        lower += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "png")
        return ifPNG;
    if (lower == "bmp")
        return ifBMP;
    if (lower == "tga")
        return ifTGA;
    if (lower == "auto")
        return ifAuto;
    return std::nullopt;
}

int RunInfo(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    std::vector<std::pair<std::string, std::string>> fields; // name, JSON value
    fields.reserve(12);
    fields.emplace_back("kind", JsonString(KindName(library->ImageType())));
    fields.emplace_back("bitCount", std::to_string(library->BitCount()));
    fields.emplace_back("imageCount", std::to_string(library->ImageCount()));
    // The header's own count is information only: it differs from the images when the library
    // is damaged.
    fields.emplace_back("headerImageCount", std::to_string(library->HeaderImageCount()));
    if (library->ReadOnly())
        fields.emplace_back("readOnly", "true");
    if (!library->IndexFileName().empty()) {
        fields.emplace_back("indexMissing",
                            library->IndexState() == TIndexState::isMissing ? "true" : "false");
        fields.emplace_back("indexDamaged",
                            library->IndexState() == TIndexState::isDamaged ? "true" : "false");
    }
    const TFormatFacts facts = library->Facts();
    if (library->ImageType() == t_Wil) {
        fields.emplace_back("headerVariant",
                            JsonString(facts.HeaderVariant == 1 ? "short" : "long"));
        fields.emplace_back("fileHeaderSize", std::to_string(facts.FileHeaderSize));
        fields.emplace_back("imageHeaderSize", std::to_string(facts.ImageHeaderSize));
    } else if (library->ImageType() == t_Quillrand) {
        fields.emplace_back("pakVariant", std::to_string(facts.HeaderVariant));
        fields.emplace_back("layout", JsonString(facts.IndexLayout != 0 ? "new" : "old"));
    }
    if (args.Has("--json")) {
        std::string out = "{" + JsonFileFields(path);
        for (const auto& [name, value] : fields)
            out += ", " + JsonString(name) + ": " + value;
        std::printf("%s}\n", out.c_str());
    } else {
        std::printf("%-16s %s\n", "file:", path.c_str());
        for (const auto& [name, value] : fields) {
            // JSON strings are shown without their quotes.
            const bool quoted = value.size() >= 2 && value.front() == '"';
            const int length = int(value.size()) - (quoted ? 2 : 0);
            std::printf("%-16s %.*s\n", (name + ":").c_str(), length,
                        value.c_str() + (quoted ? 1 : 0));
        }
    }
    return exOk;
}

int RunList(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    // The headers are read in one go, so that the listing shows one state of the files: when
    // another program changes them where they lie meanwhile, the library is read anew.
    TSnapshotPtr snapshot;
    for (int attempt = 1;; ++attempt) {
        snapshot = library->Snapshot();
        try {
            snapshot->ReadHeaders(0, snapshot->Count() - 1);
            break;
        } catch (const ELibraryChanged& e) {
            if (attempt == kListAttempts) {
                Fail(path, e.what());
                return exFailed;
            }
        } catch (const std::exception& e) {
            Fail(path, e.what());
            return exFailed;
        }
        library = OpenForCommand(path, args.Value("--password"), exitCode);
        if (!library)
            return exitCode;
    }
    const bool json = args.Has("--json");
    // Whether a compressed image carries an alpha plane shows only once its stream is inflated:
    // that is done for --alpha alone, so that listing reads the headers and nothing else.
    const bool withAlpha = args.Has("--alpha");
    if (json)
        std::printf("[");
    else
        std::printf("%7s %6s %6s %7s %7s %5s %10s %7s %5s\n", "index", "width", "height", "x", "y",
                    "kind", "compressed", "alpha", "empty");
    const int count = snapshot->Count();
    for (int i = 0; i < count; ++i) {
        TImageDescription e;
        try {
            e = snapshot->Describe(i, withAlpha).value_or(TImageDescription{});
        } catch (const std::exception& ex) {
            Fail(path, "image " + std::to_string(i) + ": " + ex.what());
            if (json)
                std::printf("]\n");
            return exFailed;
        }
        if (json) {
            std::printf("%s{\"index\": %d, \"width\": %d, \"height\": %d, \"x\": %d, \"y\": %d, "
                        "\"empty\": %s",
                        i ? ", " : "", i, e.Width, e.Height, e.Offset.X, e.Offset.Y,
                        e.Empty ? "true" : "false");
            if (e.PixelKind)
                std::printf(", \"pixelKind\": %d", *e.PixelKind);
            if (e.Compressed)
                std::printf(", \"compressed\": %s", OptionalJson(e.Compressed).c_str());
            std::printf(", \"alpha\": %s", e.Alpha ? OptionalJson(e.Alpha).c_str() : "\"unknown\"");
            std::printf("}");
        } else {
            const auto flag = [](const std::optional<bool>& v, const char* unknown) {
                return v ? (*v ? "yes" : "no") : unknown;
            };
            std::printf("%7d %6d %6d %7d %7d %5s %10s %7s %5s\n", i, e.Width, e.Height, e.Offset.X,
                        e.Offset.Y, e.PixelKind ? std::to_string(*e.PixelKind).c_str() : "-",
                        flag(e.Compressed, "-"), flag(e.Alpha, "unknown"), e.Empty ? "yes" : "no");
        }
    }
    if (json)
        std::printf("]\n");
    return exOk;
}

int RunExport(const TArgs& args) {
    ExpectPositional(args, 2, 2);
    const std::string& path = args.Positional[0];
    const std::string& folder = args.Positional[1];
    TImageFormat format = ifPNG;
    if (auto name = args.Value("--format")) {
        auto f = FormatByName(*name);
        if (!f)
            throw EUsageError("--format takes png, bmp, tga or auto, not \"" + *name + "\"");
        format = TImageFormat(*f);
    }
    const std::optional<int> from = args.IntValue("--from");
    const std::optional<int> to = args.IntValue("--to");
    const int pngLevel = args.IntValue("--png-level").value_or(kDefaultPngLevel);
    if (pngLevel < 0 || pngLevel > kMaxPngLevel)
        throw EUsageError("--png-level takes 0 to " + std::to_string(kMaxPngLevel) + ", not " +
                          std::to_string(pngLevel));
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    const int count = library->ImageCount();
    const int first = from.value_or(0);
    const int last = to.value_or(count - 1);
    const bool json = args.Has("--json");
    if (!from && !to && count == 0) {
        if (json)
            std::printf("{\"written\": 0, \"failed\": 0, \"workers\": 0}\n");
        else
            std::printf("%s holds no images; nothing exported\n", path.c_str());
        return exOk;
    }
    TBatchExportResult result;
    {
        TProgressBar bar("export");
        result = BatchExport(
            *library, folder, format, first, last,
            [&](int done, int total) { bar.Update(done, total); }, 0, pngLevel);
    }
    if (!result.Started) {
        Fail(result.Error.find(folder) == std::string::npos ? path : std::string(), result.Error);
        return exFailed;
    }
    for (const TExportFailure& failure : result.Failures)
        Fail(failure.FileName, failure.Reason);
    if (json) {
        std::printf("{\"written\": %d, \"failed\": %d, \"workers\": %d}\n", result.Written,
                    int(result.Failures.size()), result.Workers);
    } else {
        std::printf("exported %d pictures of images %d..%d to %s", result.Written, first, last,
                    folder.c_str());
        if (!result.Failures.empty())
            std::printf("; %d not written", int(result.Failures.size()));
        std::printf("\n");
    }
    return result.Failures.empty() ? exOk : exFailed;
}

} // namespace velmora::cli
