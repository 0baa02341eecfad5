// atlas export and atlas import: sprite sheets with JSON data for other tools, and back.

#include "cli/commands.h"
#include "cli/output.h"
#include "core/file_stream.h"
#include "operations/atlas.h"

#include <cstdio>

namespace velmora::cli {

namespace {

TAtlasFormat AtlasFormatByName(const std::string& name) {
    if (name == "json-hash")
        return afJsonHash;
    if (name == "json-array")
        return afJsonArray;
    throw EUsageError("--format takes json-hash or json-array, not \"" + name + "\"");
}

TImportMode AtlasModeByName(const std::string& name) {
    if (name == "append")
        return imAppend;
    if (name == "insert")
        return imInsert;
    if (name == "replace")
        return imReplace;
    throw EUsageError("--mode takes append, insert or replace, not \"" + name + "\"");
}

void OnlyFor(const TArgs& args, const char* action, std::initializer_list<const char*> options) {
    for (const char* option : options)
        if (args.Has(option))
            throw EUsageError(std::string(option) + " does not apply to atlas " + action);
}

int RunAtlasExport(const TArgs& args) {
    ExpectPositional(args, 3, 3);
    OnlyFor(args, "export", {"--mode", "--at", "--compress"});
    const std::string& path = args.Positional[1];
    TAtlasExportOptions options;
    options.SheetPath = args.Positional[2];
    options.DataPath = args.Value("--data").value_or("");
    options.Format = AtlasFormatByName(args.Value("--format").value_or("json-hash"));
    options.From = args.IntValue("--from").value_or(0);
    options.To = args.IntValue("--to").value_or(-1);
    options.Padding = args.IntValue("--padding").value_or(options.Padding);
    options.MaxSize = args.IntValue("--max-size").value_or(options.MaxSize);
    options.Prefix = args.Value("--prefix").value_or("");
    if (options.From < 0 || (args.Has("--to") && options.To < options.From))
        throw EUsageError("--from and --to take 0 <= N <= M");
    if (options.MaxSize < 1 || options.MaxSize > kMaxAtlasSheetSide)
        throw EUsageError("--max-size takes 1 to " + std::to_string(kMaxAtlasSheetSide) +
                          " (larger textures do not load on many devices)");
    if (options.Padding < 0 || options.Padding >= options.MaxSize)
        throw EUsageError("--padding takes 0 or more, below --max-size");
    if (const TAtlasNames names = AtlasNames(options); !names.Error.empty())
        throw EUsageError(names.Error);
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    TAtlasExportResult result;
    {
        TProgressBar bar("atlas");
        result =
            ExportAtlas(*library, options, [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail(path, result.Error);
        return exFailed;
    }
    std::printf("packed %d images of %s into %zu sheet%s (%d empty left out):\n", result.Frames,
                path.c_str(), result.Sheets.size(), result.Sheets.size() == 1 ? "" : "s",
                result.Empty);
    for (size_t s = 0; s < result.Sheets.size(); ++s)
        std::printf("  %s  %s\n", result.Sheets[s].c_str(), result.DataFiles[s].c_str());
    if (!result.MultiAtlasFile.empty())
        std::printf("  %s  (every sheet, for Phaser's load.multiatlas)\n",
                    result.MultiAtlasFile.c_str());
    return exOk;
}

int RunAtlasImport(const TArgs& args) {
    ExpectPositional(args, 3, size_t(-1));
    OnlyFor(args, "import",
            {"--from", "--to", "--data", "--format", "--padding", "--max-size", "--prefix"});
    const std::string& path = args.Positional[1];
    TAtlasImportOptions options;
    options.DataPath = args.Positional[2];
    options.MoreDataPaths.assign(args.Positional.begin() + 3, args.Positional.end());
    options.Mode = AtlasModeByName(args.Value("--mode").value_or("append"));
    options.At = args.IntValue("--at").value_or(0);
    options.Compression = args.Has("--compress") ? 1 : 0;
    if (options.Mode != imAppend && !args.Has("--at"))
        throw EUsageError("--mode insert and replace need --at N");
    if (options.Mode == imAppend && args.Has("--at"))
        throw EUsageError("--at applies to --mode insert and replace");
    for (size_t i = 2; i < args.Positional.size(); ++i)
        if (!FileExists(args.Positional[i])) {
            Fail(args.Positional[i], "the file does not exist");
            return exFailed;
        }
    if (!FileExists(path)) {
        Fail(path, "the file does not exist");
        return exFailed;
    }
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    if (const int refused = RefuseEdit(path, *library); refused != exOk)
        return refused;
    TAtlasImportResult result;
    {
        TProgressBar bar("atlas");
        result =
            ImportAtlas(*library, options, [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail(path, result.Error);
        return exFailed;
    }
    std::printf("imported %d frames of %s%s into %s from image %d", result.Imported,
                options.DataPath.c_str(), options.MoreDataPaths.empty() ? "" : " and the others",
                path.c_str(), result.First);
    if (result.Blanks > 0)
        std::printf(" (%d empty images fill the gaps of the exported range)", result.Blanks);
    std::printf("\n");
    if (result.Missing > 0)
        std::fprintf(stderr,
                     "velmora-cli: note: %d numbers between the frames' first and last have no "
                     "frame; when the atlas has more data files, give them all in one command\n",
                     result.Missing);
    return exOk;
}

} // namespace

int RunAtlas(const TArgs& args) {
    if (args.Positional.empty())
        throw EUsageError("atlas needs export or import");
    if (args.Positional[0] == "export")
        return RunAtlasExport(args);
    if (args.Positional[0] == "import")
        return RunAtlasImport(args);
    throw EUsageError("atlas takes export or import, not \"" + args.Positional[0] + "\"");
}

} // namespace velmora::cli
