// check: reads every record of a library and lists the damaged ones.

#include "cli/commands.h"
#include "cli/output.h"
#include "operations/check_library.h"

#include <cstdio>

namespace velmora::cli {

int RunCheck(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    TLibraryCheck check;
    {
        TProgressBar bar("check");
        check = CheckLibrary(*library, [&bar](int done, int total) {
            bar.Update(done, total);
            return true;
        });
    }
    const auto reason = [](const TRecordCheck& c) {
        std::string text = RecordDamageText(c.Damage);
        if (!c.Detail.empty())
            text += ": " + c.Detail;
        return text;
    };
    // Damage of the files as a whole (a file cut short, an index that does not match) fails the
    // check as a damaged image does.
    const std::string damage = library->DamageText();
    if (args.Has("--json")) {
        std::string out = "{" + JsonFileFields(path) + ",\"fileDamage\":" +
                          (damage.empty() ? std::string("null") : JsonString(damage)) +
                          ",\"images\":" + std::to_string(check.Checked) + ",\"damaged\":[";
        for (size_t i = 0; i < check.Damaged.size(); ++i) {
            const TDamagedRecord& d = check.Damaged[i];
            out += (i ? "," : "") + std::string("{\"index\":") + std::to_string(d.Index) +
                   ",\"reason\":" + JsonString(reason(d.Check)) + "}";
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        if (!damage.empty())
            std::printf("%s\n", damage.c_str());
        for (const TDamagedRecord& d : check.Damaged)
            std::printf("%d: %s\n", d.Index, reason(d.Check).c_str());
        std::printf("%d images checked, %zu damaged\n", check.Checked, check.Damaged.size());
    }
    return check.Damaged.empty() && damage.empty() ? exOk : exFailed;
}

} // namespace velmora::cli
