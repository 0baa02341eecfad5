// velmora-cli: the editing commands of the library editor for scripts and servers.

#include "cli/commands.h"
#include "cli/completion.h"
#include "cli/output.h"
#include "core/file_stream.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora::cli {

namespace {

// The project's version, as CMake names it.
constexpr const char* kVersion = VELMORA_VERSION;

const TCommandSyntax kReadSyntax{{"--password"}, {"--json"}};

} // namespace

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands{
        {"info",
         "velmora-cli info LIB [--password P] [--json]\n"
         "Shows the kind, bit count and image count of a library, and what its format knows\n"
         "(WIL header variant, Pak variant and index layout).\n"
         "  --password P  password of a Pak library (default: its Pak.txt entry, else the\n"
         "                default password)\n"
         "  --json        one JSON object\n",
         kReadSyntax, RunInfo},
        {"list",
         "velmora-cli list LIB [--password P] [--alpha] [--json]\n"
         "Lists every image from the headers, without decoding pixels: index, size, offset,\n"
         "whether it is empty and, where the format stores them, its pixel kind, compression\n"
         "and alpha.\n"
         "  --password P  password of a Pak library\n"
         "  --alpha       decodes compressed WZL images to tell whether they carry alpha\n"
         "                (without it their alpha is \"unknown\")\n"
         "  --json        a JSON array with one object per image\n",
         {{"--password"}, {"--json", "--alpha"}},
         RunList},
        {"export",
         "velmora-cli export LIB DIR [--from N] [--to M] [--format png|bmp|tga|auto]\n"
         "                   [--png-level N] [--password P] [--json]\n"
         "Writes images N..M (default: all) as DIR/%05d.PNG (.BMP, .TGA) with their offsets in\n"
         "DIR/Placements/%05d.txt. auto writes images stored with alpha as PNG, others as BMP.\n"
         "An image that cannot be read, or whose picture or offset file cannot be written, is\n"
         "a failure (exit 1).\n"
         "  --png-level N  PNG compression, 0 (none, fastest) to 12 (smallest); default 1,\n"
         "                 the fastest level whose files are no larger than libpng's at\n"
         "                 zlib's level 9\n"
         "  --json         a summary object: written, failed and the number of workers\n",
         {{"--from", "--to", "--format", "--png-level", "--password"}, {"--json"}},
         RunExport},
        {"import",
         "velmora-cli import LIB PATH... [--mode append|insert|replace] [--at N] [--to M]\n"
         "                   [--content pictures-and-offsets|pictures|blank] [--count N]\n"
         "                   [--offsets placements|fixed] [--xy X,Y] [--compress] [--password P]\n"
         "Imports pictures (BMP, PNG, TGA): a folder gives all its pictures in name order.\n"
         "  --mode      append (default), insert before image --at, or replace images from --at\n"
         "              (up to --to)\n"
         "  --content   pictures-and-offsets (default), pictures (offsets from --xy), or blank\n"
         "              (--count empty images, no PATH)\n"
         "  --offsets   placements: each picture's Placements/<name>.txt (default);\n"
         "              fixed: --xy for every picture (default 0,0)\n"
         "  --compress  store compressed (WZL, Pak)\n"
         "Nothing is changed when a picture cannot be read or the library refuses one.\n",
         {{"--mode", "--at", "--to", "--content", "--count", "--offsets", "--xy", "--password"},
          {"--compress"}},
         RunImport},
        {"delete",
         "velmora-cli delete LIB FROM TO [--blank] [--password P]\n"
         "Removes images FROM..TO (cut to the library), or with --blank replaces them by empty\n"
         "images so that the numbering stays.\n",
         {{"--password"}, {"--blank"}},
         RunDelete},
        {"offset",
         "velmora-cli offset LIB INDEX [X Y] [--password P]\n"
         "Prints the offset of image INDEX as \"X Y\", or sets it to X Y (-32768..32767).\n",
         {{"--password"}, {}},
         RunOffset},
        {"create",
         "velmora-cli create LIB (--wil|--wzl|--pak) [--bits 8|16|24|32] [--password P]\n"
         "Creates a new, empty library; an existing file is left alone.\n"
         "  --bits      bit count of a WIL library (default 8)\n"
         "  --password  password of a Pak library (default: the default password)\n",
         {{"--bits", "--password"}, {"--wil", "--wzl", "--pak"}},
         RunCreate},
        {"convert",
         "velmora-cli convert SRC DST [--compress] [--password P] [--source-password P]\n"
         "                    [--bits 8|16|24|32]\n"
         "Copies every image of SRC into a new library DST of the kind its extension names\n"
         "(.wil, .wzl, .pak or .data), with its offsets: WIL, WIS, WZL and Pak libraries into\n"
         "any other of WIL, WZL and Pak. Pictures are brought to the target's bit count; a\n"
         "warning says what the target cannot hold (alpha, colours) before the copy starts. DST\n"
         "is replaced only when the copy is complete.\n"
         "  --compress         store the images compressed (WZL, Pak)\n"
         "  --password         password of a Pak target (default: the default password)\n"
         "  --source-password  password of a Pak source (default: its Pak.txt entry, else the\n"
         "                     default password)\n"
         "  --bits             bit count of a WIL target (default: the source's; for WZL and\n"
         "                     Pak sources the deepest their images use)\n",
         {{"--password", "--source-password", "--bits"}, {"--compress"}},
         RunConvert},
        {"copy",
         "velmora-cli copy SRC DST [--from N] [--to M] [--mode append|insert|replace] [--at K]\n"
         "                 [--compress] [--password P] [--target-password P]\n"
         "Copies images N..M of SRC (default: all) into the existing library DST as one edit:\n"
         "appended (default), inserted before image K, or replacing images K, K+1, ... .\n"
         "Between libraries that store images alike (WIL of one bit count, WZL, Pak) the stored\n"
         "records go unchanged, byte for byte; WIL into WZL, and WIL and WZL into Pak, have\n"
         "their records converted as convert does; other pairs decode the pictures and bring\n"
         "them to DST's bit count, with a warning first of what DST cannot hold (alpha,\n"
         "colours). A range past the end of SRC or DST is refused and nothing is written.\n"
         "  --compress         store converted and decoded images compressed (WZL, Pak;\n"
         "                     default: as each image is stored in SRC)\n"
         "  --password         password of a Pak SRC\n"
         "  --target-password  password of a Pak DST\n",
         {{"--from", "--to", "--mode", "--at", "--password", "--target-password"}, {"--compress"}},
         RunCopy},
        {"diff",
         "velmora-cli diff A B [--from N] [--to M] [--json] [--password P] [--other-password P]\n"
         "Lists the images N..M (default: all) that differ between two libraries, one line\n"
         "each: its number and what differs (pixels, size, offset, only in A, only in B), with\n"
         "both sides' size and offset. Images whose stored records are equal are not decoded.\n"
         "Exit status 0 when nothing differs, 1 when something does, 2 on a usage error or a\n"
         "library that cannot be read, 3 on a wrong password.\n"
         "  --json            a JSON array with one object per differing image\n"
         "  --password        password of a Pak library A\n"
         "  --other-password  password of a Pak library B\n",
         {{"--from", "--to", "--password", "--other-password"}, {"--json"}},
         RunDiff},
        {"atlas",
         "velmora-cli atlas (export LIB OUT.png | import LIB ATLAS.json [MORE.json...]) [options]\n"
         "export: packs images N..M (default: all) onto PNG sheets of at most S x S pixels\n"
         "(OUT.png, OUT-1.png, ... when one is not enough; OUT without an extension gets .png),\n"
         "trimmed to their visible pixels, empty images left out, with a JSON data file per sheet\n"
         "(OUT.json, OUT-1.json, ...): frames named by image number (%05d, after --prefix), each\n"
         "with its rectangle, source size, trim, the anchor as pivot (Phaser) and anchor (PixiJS)\n"
         "and the library offset. Libraries without alpha export black as transparent. File\n"
         "names are written in the JSON as URL paths (\"a#1.png\" as \"a%231.png\").\n"
         "  PixiJS:  Assets.load('OUT.json') with json-hash; the data files of further sheets\n"
         "           load with it (meta.related_multi_packs). Pixi keys list frames by position.\n"
         "  Phaser:  one sheet: load.atlas(key, 'OUT.png', 'OUT.json'), either form; several\n"
         "           (OUT.multiatlas.json is written then, named after the data file):\n"
         "           load.multiatlas(key, 'OUT.multiatlas.json', FOLDER of the sheets).\n"
         "  --from N, --to M      the range\n"
         "  --data OUT.json       the first data file (default: OUT.png with .json)\n"
         "  --format json-hash|json-array   frames as an object (default) or a list\n"
         "  --prefix NAME         put before every frame name (\"hero/\" gives hero/00012), so\n"
         "                        that atlases loaded together keep their frames apart; it may\n"
         "                        not end in a digit\n"
         "  --padding P           pixels between frames (default 2)\n"
         "  --max-size S          largest sheet side, 1 to 8192 (default 4096)\n"
         "import: cuts every frame of the data files out of its sheet (the files a data file\n"
         "names as its other sheets are read too), restores its untrimmed size and imports the\n"
         "pictures as one edit, with the offsets of the frames (else of their pivots or\n"
         "anchors). Reads the hash and array forms, Phaser's multi-atlas form (\"textures\") and\n"
         "sheets embedded as PNG data URIs; refuses JPEG and WebP sheets, scaled atlases and\n"
         "premultiplied alpha. Give every data file of an atlas that another packer wrote in\n"
         "one command. Frames go in the order of the numbers their names end in (after one\n"
         "common prefix, folders included: \"spr/00012.PNG\" is 12), else in file order. Empty\n"
         "images are added only for numbers that lie in the range a Velmora export names\n"
         "(meta.range: the empty images it left out) and have no frame; other gaps in the\n"
         "numbers close up.\n"
         "  --mode append|insert|replace   append (default), insert before --at, or replace\n"
         "                        images from --at on\n"
         "  --at N                the first image inserted before or replaced\n"
         "  --compress            store compressed (WZL, Pak)\n"
         "  --password P          password of a Pak library\n",
         {{"--from", "--to", "--data", "--format", "--padding", "--max-size", "--prefix", "--mode",
           "--at", "--password"},
          {"--compress"}},
         RunAtlas},
        {"repair",
         "velmora-cli repair LIB [--dry-run]\n"
         "Rebuilds the index of a WIL or WZL library whose index file is missing or does not\n"
         "match its data file, by reading the records one after another from the data file's\n"
         "header on; it stops at the first record that does not fit and reports how many images\n"
         "it found and how many bytes at the end it did not understand. The old index is kept\n"
         "as its name + .bak (.bak1, .bak2, ... when earlier backups are there).\n"
         "A library of any kind whose interrupted save left a journal that cannot be applied\n"
         "(it opens read-only, with a warning) gets the journal set aside as LIB.journal and\n"
         "the unfinished files it names as FILE.unfinished; nothing is deleted.\n"
         "  --dry-run  only report what would be done\n",
         {{}, {"--dry-run"}},
         RunRepair},
        {"check",
         "velmora-cli check LIB [--password P] [--json]\n"
         "Reads every image of a library and lists the ones that are damaged (the data file\n"
         "ends inside them, or their bytes do not decode), with the reason, and says what is\n"
         "wrong with the files as a whole (an index that is missing or does not match, a file\n"
         "cut short). Exit status 1 when anything is.\n"
         "  --json  one object: fileDamage (or null), the image count and the damaged images\n"
         "          with their reasons\n",
         kReadSyntax, RunCheck},
        {"passwd",
         "velmora-cli passwd PAK --password OLD --new NEW [--backup]\n"
         "Re-protects a Pak library with a new password and, when Pak.txt lists the file,\n"
         "gives its entry the new password in the same step (after a crash the next opening\n"
         "finds both changed or neither). A Pak.txt that cannot be read or written stops the\n"
         "change before anything is written.\n"
         "  --backup  keep the old file as PAK.bak (in the same step)\n",
         {{"--password", "--new"}, {"--backup"}},
         RunPasswd},
    };
    return commands;
}

void ExpectPositional(const TArgs& args, size_t min, size_t max) {
    if (args.Positional.size() < min)
        throw EUsageError("missing arguments");
    if (args.Positional.size() > max)
        throw EUsageError("unexpected argument \"" + args.Positional[max] + "\"");
}

void WarnOfDamage(const std::string& name, const TGameImages& library) {
    const std::string damage = library.DamageText();
    if (damage.empty())
        return;
    std::fprintf(stderr, "velmora-cli: warning: %s: %s; edits are refused%s\n", name.c_str(),
                 damage.c_str(),
                 library.ImageType() == t_Wil || library.ImageType() == t_Wzl
                     ? " (velmora-cli repair rebuilds the index)"
                     : "");
}

std::unique_ptr<TGameImages>
OpenForCommand(const std::string& path, const std::optional<std::string>& password, int& exitCode) {
    TOpenResult opened = OpenLibraryFile(path, password);
    for (const std::string& warning : opened.Warnings)
        std::fprintf(stderr, "velmora-cli: warning: %s: %s\n", path.c_str(), warning.c_str());
    switch (opened.Status) {
    case TOpenStatus::osOpened:
        exitCode = exOk;
        WarnOfDamage(path, *opened.Library);
        return std::move(opened.Library);
    case TOpenStatus::osWrongPassword:
        Fail(path, "wrong password");
        exitCode = exWrongPassword;
        return nullptr;
    case TOpenStatus::osMissing:
    case TOpenStatus::osFailed:
        break;
    }
    Fail(path, opened.Error);
    exitCode = exFailed;
    return nullptr;
}

namespace {

void PrintToolUsage(FILE* out) {
    std::fprintf(out,
                 "velmora-cli %s: sprite libraries (WIL, WIS, WZL, Pak) from the command "
                 "line\n\nCommands:\n",
                 kVersion);
    for (const TCommand& command : Commands()) {
        const char* end = std::strchr(command.Usage, '\n');
        std::fprintf(out, "  %.*s\n", int(end - command.Usage), command.Usage);
    }
    std::fprintf(out, "\nvelmora-cli COMMAND --help shows a command's options; --version the "
                      "version.\nExit status: 0 success, 1 failure, 2 usage error, 3 wrong "
                      "password.\n");
}

const TCommand* FindCommand(const std::string& name) {
    for (const TCommand& command : Commands())
        if (name == command.Name)
            return &command;
    return nullptr;
}

int Main(int argc, char* argv[]) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) {
        PrintToolUsage(stderr);
        return exUsage;
    }
    const std::string& first = all[0];
    if (first == "--version") {
        std::printf("velmora-cli %s\n", kVersion);
        return exOk;
    }
    // Not in the help: the build writes the installed completion script with it.
    if (first == "--completion") {
        if (all.size() != 2 || all[1] != "bash") {
            Fail({}, "--completion takes one shell: bash");
            return exUsage;
        }
        std::printf("%s", BashCompletion(Commands()).c_str());
        return exOk;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        if (all.size() > 1) {
            if (const TCommand* command = FindCommand(all[1])) {
                std::printf("%s", command->Usage);
                return exOk;
            }
        }
        PrintToolUsage(stdout);
        return exOk;
    }
    const TCommand* command = FindCommand(first);
    if (!command) {
        Fail({}, "unknown command \"" + first + "\" (velmora-cli --help lists them)");
        return exUsage;
    }
    // diff says "the libraries differ" with 1: its failures are 2, as usage errors are.
    const int failed = std::strcmp(command->Name, "diff") == 0 ? exUsage : exFailed;
    try {
        const TArgs args =
            ParseArgs(std::vector<std::string>(all.begin() + 1, all.end()), command->Syntax);
        if (args.Help) {
            std::printf("%s", command->Usage);
            return exOk;
        }
        std::error_code ec;
        const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        g_AppDir = FindAppDir(ec ? std::string(argv[0]) : exe.string());
        LoadPakPasswords();
        // An index file is no library of its own, whichever command is given it.
        const bool twoLibraries = std::strcmp(command->Name, "convert") == 0 ||
                                  std::strcmp(command->Name, "copy") == 0 ||
                                  std::strcmp(command->Name, "diff") == 0;
        const size_t libraries = twoLibraries ? 2 : 1;
        for (size_t i = 0; i < libraries && i < args.Positional.size(); ++i) {
            const std::string data = DataFileOfIndex(args.Positional[i]);
            if (!data.empty()) {
                Fail(args.Positional[i], "this is the index of " + data + "; open that instead");
                return failed;
            }
        }
        return command->Run(args);
    } catch (const EUsageError& e) {
        const char* end = std::strchr(command->Usage, '\n');
        std::fprintf(stderr, "velmora-cli %s: %s\nusage: %.*s\n", command->Name, e.what(),
                     int(end - command->Usage), command->Usage);
        return exUsage;
    } catch (const std::exception& e) {
        Fail({}, e.what());
        return failed;
    }
}

} // namespace

} // namespace velmora::cli

int main(int argc, char* argv[]) {
    velmora::IgnoreFileSizeSignal();
    return velmora::cli::Main(argc, argv);
}
