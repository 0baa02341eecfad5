// copy: images of one library into another, as one edit of the target.

#include "cli/commands.h"
#include "cli/output.h"
#include "core/file_stream.h"
#include "operations/copy_images.h"
#include "operations/library_kind.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace velmora::cli {

namespace {

TCopyMode CopyModeByName(const std::string& name) {
    if (name == "append")
        return cmAppend;
    if (name == "insert")
        return cmInsert;
    if (name == "replace")
        return cmReplace;
    throw EUsageError("--mode takes append, insert or replace, not \"" + name + "\"");
}

const char* WayText(const TCopyPlan& plan) {
    switch (plan.Way) {
    case TCopyWay::cwRecords:
        return "stored records unchanged";
    case TCopyWay::cwConvertedRecords:
        return "stored records converted";
    case TCopyWay::cwPictures:
        break;
    }
    return "pictures decoded";
}

} // namespace

int RunCopy(const TArgs& args) {
    ExpectPositional(args, 2, 2);
    const std::string& source = args.Positional[0];
    const std::string& target = args.Positional[1];
    TCopyOptions options;
    options.Mode = CopyModeByName(args.Value("--mode").value_or("append"));
    const std::optional<int> at = args.IntValue("--at");
    if (options.Mode != cmAppend && !at)
        throw EUsageError("--mode insert and --mode replace need --at");
    if (options.Mode == cmAppend && at)
        throw EUsageError("--at applies to --mode insert and --mode replace");
    options.At = at.value_or(0);
    options.From = args.IntValue("--from").value_or(0);
    options.To = args.IntValue("--to");
    if (args.Has("--compress"))
        options.Compression = 1;

    for (const std::string& path : {source, target})
        if (!FileExists(path)) {
            Fail(path, "the file does not exist");
            return exFailed;
        }
    if (LibraryKindOf(target) == t_Wis) {
        Fail(target, "WIS libraries cannot be changed (only their offsets)");
        return exFailed;
    }
    int exitCode = exOk;
    auto from = OpenForCommand(source, args.Value("--password"), exitCode);
    if (!from)
        return exitCode;
    // Images copied within one Pak library need its password once.
    std::error_code ec;
    std::optional<std::string> targetPassword = args.Value("--target-password");
    if (!targetPassword && std::filesystem::equivalent(source, target, ec))
        targetPassword = args.Value("--password");
    auto into = OpenForCommand(target, targetPassword, exitCode);
    if (!into)
        return exitCode;

    const std::string pair = source + " -> " + target;
    // What the target cannot hold is said before anything is written.
    const TCopyPlan plan = PlanCopy(*from, *into, options);
    if (!plan.Valid) {
        Fail(pair, plan.Error);
        return exFailed;
    }
    if (plan.Losses.Lossy())
        std::fprintf(stderr, "velmora-cli: warning: %s (%d bits): %s\n", pair.c_str(),
                     plan.Losses.TargetBitCount, ConversionLossText(plan.Losses).c_str());
    TCopyResult result;
    {
        TProgressBar bar("copy");
        result = CopyImages(*from, *into, options,
                            [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail(pair, result.Error);
        return exFailed;
    }
    if (result.Undecodable > 0)
        std::fprintf(stderr,
                     "velmora-cli: warning: %d images of %s could not be decoded; they are empty "
                     "images in %s\n",
                     result.Undecodable, source.c_str(), target.c_str());
    std::printf("copied images %d..%d of %s into %s at %d..%d (%s)\n", plan.From, plan.To,
                source.c_str(), target.c_str(), plan.First, plan.First + plan.Count - 1,
                WayText(plan));
    return exOk;
}

} // namespace velmora::cli
