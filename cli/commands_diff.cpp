// diff: the images that differ between two libraries.

#include "cli/commands.h"
#include "cli/output.h"
#include "operations/diff_libraries.h"

#include <cstdio>

namespace velmora::cli {

namespace {

std::string SideText(const TImageSide& side) {
    if (side.Empty)
        return "empty";
    return std::to_string(side.Width) + "x" + std::to_string(side.Height) + " at " +
           std::to_string(side.Offset.X) + "," + std::to_string(side.Offset.Y);
}

std::string SideJson(const TImageSide& side) {
    return "{\"width\": " + std::to_string(side.Width) +
           ", \"height\": " + std::to_string(side.Height) +
           ", \"x\": " + std::to_string(side.Offset.X) +
           ", \"y\": " + std::to_string(side.Offset.Y) +
           ", \"empty\": " + (side.Empty ? "true" : "false") + "}";
}

std::string ImageJson(const TDifferentImage& image) {
    std::string out = "{\"index\": " + std::to_string(image.Index) + ", \"differences\": [";
    bool first = true;
    for (uint8_t bit = 1; bit <= idOnlyInB; bit = uint8_t(bit << 1)) {
        if ((image.What & bit) == 0)
            continue;
        out += (first ? "" : ", ") + JsonString(DifferenceText(bit));
        first = false;
    }
    out += "]";
    if (image.A)
        out += ", \"a\": " + SideJson(*image.A);
    if (image.B)
        out += ", \"b\": " + SideJson(*image.B);
    return out + "}";
}

} // namespace

// Exit status 1 means that the libraries differ: a library that cannot be compared is trouble of
// the kind a usage error is (2), or a wrong password (3).
int RunDiff(const TArgs& args) {
    ExpectPositional(args, 2, 2);
    const std::string& nameA = args.Positional[0];
    const std::string& nameB = args.Positional[1];
    TDiffOptions options;
    options.From = args.IntValue("--from").value_or(0);
    options.To = args.IntValue("--to");
    int exitCode = exOk;
    auto a = OpenForCommand(nameA, args.Value("--password"), exitCode);
    if (!a)
        return exitCode == exFailed ? exUsage : exitCode;
    auto b = OpenForCommand(nameB, args.Value("--other-password"), exitCode);
    if (!b)
        return exitCode == exFailed ? exUsage : exitCode;
    TDiffResult result;
    {
        TProgressBar bar("diff");
        result =
            DiffLibraries(*a, *b, options, [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail(nameA + " and " + nameB, result.Error);
        return exUsage;
    }
    if (args.Has("--json")) {
        std::string out = "[";
        for (size_t i = 0; i < result.Differences.size(); ++i)
            out += (i ? ",\n " : "") + ImageJson(result.Differences[i]);
        out += "]\n";
        std::fputs(out.c_str(), stdout);
    } else {
        for (const TDifferentImage& image : result.Differences) {
            std::string line = std::to_string(image.Index) + ": " + DifferenceText(image.What);
            if (image.A && image.B)
                line += " (A " + SideText(*image.A) + "; B " + SideText(*image.B) + ")";
            else if (image.A || image.B)
                line += " (" + SideText(image.A ? *image.A : *image.B) + ")";
            std::puts(line.c_str());
        }
    }
    return result.Differences.empty() ? exOk : exFailed;
}

} // namespace velmora::cli
