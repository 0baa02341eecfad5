// import, delete, offset and repair: the commands that change a library's images. Each change is
// one edit of the library, as in the editor: written crash-safely, and only when the whole
// command worked.

#include "cli/commands.h"
#include "cli/output.h"
#include "core/recovery.h"
#include "core/file_stream.h"
#include "operations/batch_import.h"
#include "operations/delete_images.h"
#include "operations/library_kind.h"

#include <climits>
#include <cstdio>
#include <filesystem>

namespace velmora::cli {

namespace {

// Refuses files that are missing or that no edit can change; prints why.
bool EditableLibrary(const std::string& path, int& exitCode) {
    if (!FileExists(path)) {
        Fail(path, "the file does not exist");
        exitCode = exFailed;
        return false;
    }
    if (LibraryKindOf(path) == t_Wis) {
        Fail(path, "WIS libraries cannot be changed (only their offsets)");
        exitCode = exFailed;
        return false;
    }
    return true;
}

TBatchContent ContentByName(const std::string& name) {
    if (name == "pictures-and-offsets")
        return bcPicturesAndOffsets;
    if (name == "pictures")
        return bcPictures;
    if (name == "blank")
        return bcBlank;
    throw EUsageError("--content takes pictures-and-offsets, pictures or blank, not \"" + name +
                      "\"");
}

TBatchMode ModeByName(const std::string& name) {
    if (name == "append")
        return bmAppend;
    if (name == "insert")
        return bmInsert;
    if (name == "replace")
        return bmOverwrite;
    throw EUsageError("--mode takes append, insert or replace, not \"" + name + "\"");
}

// The pictures named on the command line: a folder gives all its pictures in the batch order.
bool CollectPictures(const std::vector<std::string>& paths, std::vector<std::string>& files) {
    for (const std::string& path : paths) {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            std::vector<std::string> list = ListPictureFolder(path);
            if (list.empty()) {
                Fail(path, "the folder holds no BMP, PNG or TGA pictures");
                return false;
            }
            files.insert(files.end(), list.begin(), list.end());
        } else if (FileExists(path)) {
            files.push_back(path);
        } else {
            Fail(path, "no such file or folder");
            return false;
        }
    }
    return true;
}

} // namespace

int RefuseEdit(const std::string& name, const TGameImages& library, bool offsetsOnly) {
    const TEditRefusal refusal = library.EditRefusal(offsetsOnly);
    if (refusal == TEditRefusal::erNone)
        return exOk;
    Fail(name, EditRefusalText(refusal));
    return exFailed;
}

int RunImport(const TArgs& args) {
    ExpectPositional(args, 1, SIZE_MAX);
    const std::string& path = args.Positional[0];
    const std::vector<std::string> paths(args.Positional.begin() + 1, args.Positional.end());
    TBatchImportOptions options;
    options.Content = ContentByName(args.Value("--content").value_or("pictures-and-offsets"));
    options.Mode = ModeByName(args.Value("--mode").value_or("append"));
    const std::optional<int> at = args.IntValue("--at");
    const std::optional<int> to = args.IntValue("--to");
    const std::optional<int> count = args.IntValue("--count");
    const std::string offsets =
        args.Value("--offsets").value_or(args.Has("--xy") ? "fixed" : "placements");
    if (offsets != "placements" && offsets != "fixed")
        throw EUsageError("--offsets takes placements or fixed, not \"" + offsets + "\"");
    options.OffsetsFromPlacements = offsets == "placements";
    if (auto xy = args.Value("--xy")) {
        const size_t comma = xy->find(',');
        if (comma == std::string::npos || !ParseInt(xy->substr(0, comma)) ||
            !ParseInt(xy->substr(comma + 1)))
            throw EUsageError("--xy takes two whole numbers as X,Y, not \"" + *xy + "\"");
        options.FixedOffset = *xy;
    }
    options.Compression = args.Has("--compress") ? 1 : 0;

    const bool blank = options.Content == bcBlank;
    if (blank && !paths.empty())
        throw EUsageError("--content blank takes no pictures");
    if (!blank && paths.empty())
        throw EUsageError("import needs a folder or picture files");
    if (!blank && count)
        throw EUsageError("--count applies to --content blank");
    if (options.Mode != bmAppend && !at)
        throw EUsageError("--mode insert and --mode replace need --at");
    if (blank && options.Mode != bmOverwrite && !count)
        throw EUsageError("--content blank needs --count");
    switch (options.Mode) {
    case bmAppend:
        options.Start = blank ? *count : 0;
        break;
    case bmInsert:
        options.Start = *at;
        options.End = blank ? *count : 0;
        break;
    case bmOverwrite:
        options.Start = *at;
        // Without an end the run reaches as far as the pictures (or the library) go.
        options.End = to ? *to : (blank && count ? *at + *count - 1 : INT_MAX);
        break;
    }
    if (!blank && !CollectPictures(paths, options.Files))
        return exFailed;

    int exitCode = exOk;
    if (!EditableLibrary(path, exitCode))
        return exitCode;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    if (const int refused = RefuseEdit(path, *library); refused != exOk)
        return refused;
    // A picture that cannot be read or that the library refuses leaves the library unchanged.
    options.AllOrNothing = true;
    TBatchImportResult result;
    {
        TProgressBar bar("import");
        result =
            BatchImport(*library, options, [&](int done, int total) { bar.Update(done, total); });
    }
    for (const TBatchImportIssue& issue : result.Unreadable)
        Fail(issue.FileName, "cannot be read (" + issue.Reason + ")");
    for (const TBatchImportIssue& issue : result.Refused)
        Fail(issue.FileName.empty() ? path : issue.FileName,
             "refused by " + path +
                 (issue.Index >= 0 ? " at image " + std::to_string(issue.Index) : ""));
    if (!result.Error.empty()) {
        Fail(path, result.Error);
        return exFailed;
    }
    if (result.Plan.Count == 0) {
        Fail(path, "nothing to import: the range or count selects no images (the library holds " +
                       std::to_string(library->ImageCount()) + ")");
        return exFailed;
    }
    const int first = result.Plan.Start;
    const char* verb = result.Plan.Mode == bmAppend   ? "appended"
                       : result.Plan.Mode == bmInsert ? "inserted"
                                                      : "replaced";
    std::printf("%s %d images in %s at %d..%d\n", verb, result.Imported, path.c_str(), first,
                first + result.Imported - 1);
    return exOk;
}

int RunDelete(const TArgs& args) {
    ExpectPositional(args, 3, 3);
    const std::string& path = args.Positional[0];
    const std::optional<int> from = ParseInt(args.Positional[1]);
    const std::optional<int> to = ParseInt(args.Positional[2]);
    if (!from || !to)
        throw EUsageError("FROM and TO must be whole numbers");
    const bool blank = args.Has("--blank");
    int exitCode = exOk;
    if (!EditableLibrary(path, exitCode))
        return exitCode;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    if (const int refused = RefuseEdit(path, *library); refused != exOk)
        return refused;
    const int before = library->ImageCount();
    TDeleteResult result = DeleteImages(*library, *from, *to, blank);
    if (!result.Done) {
        Fail(path, result.Error + " (asked for " + std::to_string(*from) + ".." +
                       std::to_string(*to) + ", the library holds " + std::to_string(before) +
                       " images)");
        return exFailed;
    }
    std::printf("%s images %d..%d of %s\n", blank ? "blanked" : "deleted", result.Range.Start,
                result.Range.End, path.c_str());
    return exOk;
}

int RunOffset(const TArgs& args) {
    ExpectPositional(args, 2, 4);
    if (args.Positional.size() == 3)
        throw EUsageError("give both X and Y, or neither");
    const std::string& path = args.Positional[0];
    const std::optional<int> index = ParseInt(args.Positional[1]);
    if (!index)
        throw EUsageError("INDEX must be a whole number");
    std::optional<TPoint> offset;
    if (args.Positional.size() == 4) {
        const std::optional<int> x = ParseInt(args.Positional[2]);
        const std::optional<int> y = ParseInt(args.Positional[3]);
        if (!x || !y)
            throw EUsageError("X and Y must be whole numbers");
        offset = TPoint{*x, *y};
    }
    int exitCode = exOk;
    // The offset is one header written in place; the library is not rewritten.
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    if (offset && StorableOffset(*offset))
        if (const int refused = RefuseEdit(path, *library, true); refused != exOk)
            return refused;
    TOffsetResult result =
        offset ? WriteOffset(*library, *index, *offset) : ReadOffset(*library, *index);
    if (!result.Done) {
        Fail(path, result.Error);
        return exFailed;
    }
    std::printf("%d %d\n", result.Offset.X, result.Offset.Y);
    return exOk;
}

int RunRepair(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    int exitCode = exOk;
    auto library = OpenForCommand(path, std::nullopt, exitCode);
    if (!library)
        return exitCode;
    const bool dryRun = args.Has("--dry-run");
    // A journal that cannot be applied is set aside first (never deleted): the library is then
    // read as it is, and its index rebuilt from what the data file holds.
    if (!library->RecoveryProblem().empty()) {
        const TJournalAside aside = SetJournalAside(path, dryRun);
        std::printf("%s the journal %s of an interrupted save as %s\n",
                    dryRun ? "would keep" : "kept", aside.Journal.c_str(), aside.KeptAs.c_str());
        for (const auto& [from, to] : aside.NewFiles)
            std::printf("%s its unfinished file %s as %s\n", dryRun ? "would keep" : "kept",
                        from.c_str(), to.c_str());
        if (!dryRun) {
            library = OpenForCommand(path, std::nullopt, exitCode);
            if (!library)
                return exitCode;
        }
    }
    if (library->IndexFileName().empty()) {
        if (!library->RecoveryProblem().empty())
            return exOk;
        Fail(path, std::string("only WIL and WZL libraries have an index to rebuild, not a ") +
                       KindName(library->ImageType()) + " library");
        return exFailed;
    }
    const TIndexRepair repair = library->RepairIndex(dryRun);
    std::printf("%s %d images in %s; %lld bytes at the end were not understood\n",
                dryRun ? "would index" : "indexed", repair.Found, path.c_str(),
                static_cast<long long>(repair.UnreadBytes));
    if (!dryRun && !repair.Written) {
        std::printf("%s already lists them; nothing written\n", repair.IndexFile.c_str());
    } else if (!dryRun) {
        std::printf("wrote %s", repair.IndexFile.c_str());
        if (!repair.BackupFile.empty())
            std::printf(" (the old index is kept as %s)", repair.BackupFile.c_str());
        std::printf("\n");
    }
    return exOk;
}

} // namespace velmora::cli
