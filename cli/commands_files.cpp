// create, convert and passwd: the commands that make or re-protect whole library files.

#include "cli/commands.h"
#include "cli/output.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "operations/change_password.h"
#include "operations/convert_library.h"
#include "operations/create_library.h"
#include "operations/library_kind.h"

#include <cstdio>
#include <filesystem>

namespace velmora::cli {

namespace {

// The kind a new file's name stands for: ".wzl" WZL, ".pak" and ".data" Pak, ".wis" WIS, anything
// else WIL.
TImageType KindOfName(const std::string& path) {
    const std::string ext = ExtractFileExt(path);
    if (SameText(ext, ".wzl"))
        return t_Wzl;
    if (SameText(ext, ".pak") || SameText(ext, ".data"))
        return t_Quillrand;
    if (SameText(ext, ".wis"))
        return t_Wis;
    return t_Wil;
}

// Passwords that the code page cannot hold would give a file no one can open.
constexpr char kUnencodablePassword[] =
    "the password holds a character that the code page (CP936) cannot represent";

} // namespace

int RunCreate(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    const int kinds = int(args.Has("--wil")) + int(args.Has("--wzl")) + int(args.Has("--pak"));
    if (kinds != 1)
        throw EUsageError("give exactly one of --wil, --wzl and --pak");
    const TImageType kind = args.Has("--wil") ? t_Wil : args.Has("--wzl") ? t_Wzl : t_Quillrand;
    const std::optional<int> bits = args.IntValue("--bits");
    if (bits && kind != t_Wil)
        throw EUsageError("--bits applies to WIL libraries");
    if (bits && *bits != 8 && *bits != 16 && *bits != 24 && *bits != 32)
        throw EUsageError("--bits takes 8, 16, 24 or 32");
    if (args.Has("--password") && kind != t_Quillrand)
        throw EUsageError("--password applies to Pak libraries");
    if (KindOfName(path) != kind)
        throw EUsageError(path + ": the extension does not fit a " + KindName(kind) +
                          " library (.wil, .wzl, .pak or .data)");
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        Fail(path, "the file exists already; it is left as it is");
        return exFailed;
    }
    const std::string password = args.Value("--password").value_or("");
    if (!PasswordFitsCodePage(password)) {
        Fail(path, kUnencodablePassword);
        return exFailed;
    }
    TCreateResult result = CreateLibraryFile(kind, path, bits.value_or(8), password);
    if (!result.Created) {
        Fail(path, result.Error);
        return exFailed;
    }
    std::printf("created %s (%s, %d bits)\n", path.c_str(), KindName(kind),
                CreationBitCount(kind, bits.value_or(8)));
    return exOk;
}

int RunConvert(const TArgs& args) {
    ExpectPositional(args, 2, 2);
    const std::string& source = args.Positional[0];
    const std::string& target = args.Positional[1];
    const TImageType targetKind = KindOfName(target);
    const std::string ext = ExtractFileExt(target);
    if (!SameText(ext, ".wil") && !SameText(ext, ".wzl") && !SameText(ext, ".pak") &&
        !SameText(ext, ".data"))
        throw EUsageError(target + ": the target must end in .wil, .wzl, .pak or .data (WIS "
                                   "libraries are only read)");
    if (args.Has("--password") && targetKind != t_Quillrand)
        throw EUsageError("--password applies to Pak targets");
    const std::optional<int> bits = args.IntValue("--bits");
    if (bits && targetKind != t_Wil)
        throw EUsageError("--bits applies to WIL targets");
    if (bits && *bits != 8 && *bits != 16 && *bits != 24 && *bits != 32)
        throw EUsageError("--bits takes 8, 16, 24 or 32");
    if (!FileExists(source)) {
        Fail(source, "the file does not exist");
        return exFailed;
    }
    const TImageType sourceKind = LibraryKindOf(source);
    if (!ConversionSupported(sourceKind, targetKind)) {
        Fail(source, std::string("a ") + KindName(sourceKind) + " library cannot be converted to " +
                         KindName(targetKind) + " (the target must be of another kind)");
        return exFailed;
    }
    TConvertOptions options;
    options.SourcePath = source;
    options.SourceKind = sourceKind;
    options.TargetPath = target;
    options.TargetKind = targetKind;
    options.Compression = args.Has("--compress") ? 1 : 0;
    options.PassWord = args.Value("--password").value_or("");
    options.SourcePassWord = args.Value("--source-password");
    options.BitCount = bits.value_or(0);
    if (targetKind == t_Quillrand && !PasswordFitsCodePage(options.PassWord)) {
        Fail(target, kUnencodablePassword);
        return exFailed;
    }
    // What the target cannot hold is said before anything is written.
    const TConversionPlan plan = PlanConversion(options);
    if (!plan.Opened) {
        Fail({}, plan.Error);
        return plan.WrongPassword ? exWrongPassword : exFailed;
    }
    if (plan.Lossy()) {
        const std::string depth =
            targetKind == t_Wil ? " (" + std::to_string(plan.TargetBitCount) + " bits)" : "";
        std::fprintf(stderr, "velmora-cli: warning: %s into %s%s: %s\n", source.c_str(),
                     target.c_str(), depth.c_str(), ConversionLossText(plan).c_str());
    }
    TConvertResult result;
    {
        TProgressBar bar("convert");
        result = ConvertLibrary(options, [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail({}, result.Error);
        return result.WrongPassword ? exWrongPassword : exFailed;
    }
    if (result.Undecodable > 0)
        std::fprintf(stderr,
                     "velmora-cli: warning: %d images of %s could not be decoded; they are empty "
                     "images in %s\n",
                     result.Undecodable, source.c_str(), target.c_str());
    std::printf("converted %d images of %s into %s\n", result.Converted, source.c_str(),
                target.c_str());
    return exOk;
}

int RunPasswd(const TArgs& args) {
    ExpectPositional(args, 1, 1);
    const std::string& path = args.Positional[0];
    const std::optional<std::string> newPassword = args.Value("--new");
    if (!newPassword)
        throw EUsageError("passwd needs --new NEW");
    if (!FileExists(path)) {
        Fail(path, "the file does not exist");
        return exFailed;
    }
    if (LibraryKindOf(path) != t_Quillrand) {
        Fail(path, "not a Pak library");
        return exFailed;
    }
    if (!PasswordFitsCodePage(*newPassword)) {
        Fail(path, kUnencodablePassword);
        return exFailed;
    }
    int exitCode = exOk;
    auto library = OpenForCommand(path, args.Value("--password"), exitCode);
    if (!library)
        return exitCode;
    TChangePasswordResult result;
    {
        TProgressBar bar("passwd");
        // The backup is written crash-safely by the library, under its edit lock.
        result = ChangePakPassword(*library, *newPassword, args.Has("--backup"),
                                   [&](int done, int total) { bar.Update(done, total); });
    }
    if (!result.Done) {
        Fail(path, result.Error);
        return exFailed;
    }
    if (!result.ListSaved)
        std::fprintf(stderr,
                     "velmora-cli: warning: %s: the password list %s still names the old "
                     "password; the next opening of the library puts the new one in (%s)\n",
                     path.c_str(), PasswordListPath().c_str(), result.ListWarning.c_str());
    std::printf("changed the password of %s%s\n", path.c_str(),
                result.ListUpdated && result.ListSaved
                    ? (std::string("; ") + PasswordListPath() + " names the new password").c_str()
                    : "");
    return exOk;
}

} // namespace velmora::cli
