// Faults injected into velmora-cli at the system calls that change files (strace -e inject): an
// I/O error, a full disk or a kill at the first, the last and calls between of every kind, in
// every writing command, and again in the opening that recovers after it. Each time the next
// opening shows the library old or new, byte for byte; a command that said it succeeded left the
// new one; an opening that succeeded listed what is on disk; nothing is left behind. A clean run of
// each command is checked for the order in which it makes its files durable.

#include "files/picture_files.h"
#include "support/cli_support.h"
#include "support/safety_support.h"
#include "support/trace_support.h"
#include "tools/wis_writer/wis_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <unistd.h>

namespace velmora::safety_test {

namespace {

namespace fs = std::filesystem;
using namespace trace_test;

const std::string kCli = VELMORA_CLI_PATH;

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A folder of one scenario, at a fixed place so that the paths strace watches stay the same from
// trial to trial: data/ (the libraries), home/ (the program folder with Pak.txt), pics/, and lnk,
// a link to data/ through which every other recovery opens the library.
struct TTrialFolder {
    explicit TTrialFolder(const std::string& name)
        : Root((fs::temp_directory_path() /
                ("velmora-faults-" + std::to_string(::getpid()) + "-" + name))
                   .string()),
          Data(Root + "/data"), Home(Root + "/home"), Link(Root + "/lnk") {
        fs::remove_all(Root);
        for (const std::string& folder : {Data, Home, Root + "/pics"})
            fs::create_directories(folder);
        fs::create_directory_symlink("data", Link);
    }
    ~TTrialFolder() {
        std::error_code ec;
        fs::remove_all(Root, ec);
    }

    // data/ and home/ saved under name, hidden files included, and put back.
    void Save(const std::string& name) const {
        for (const char* part : {"data", "home"}) {
            fs::remove_all(Root + "/" + name + "-" + part);
            fs::copy(Root + "/" + part, Root + "/" + name + "-" + part);
        }
    }
    void Restore(const std::string& name) const {
        for (const char* part : {"data", "home"}) {
            fs::remove_all(Root + "/" + part);
            fs::copy(Root + "/" + name + "-" + part, Root + "/" + part);
        }
    }

    std::vector<std::string> Hidden() const {
        std::vector<std::string> names;
        for (const std::string& folder : {Data, Home})
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().filename().string()[0] == '.')
                    names.push_back(entry.path().string());
        return names;
    }

    std::string Root, Data, Home, Link;
};

TProcessRun Cli(const std::vector<std::string>& args, const TTrialFolder& t) {
    std::vector<std::string> argv{kCli};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, t.Home + "/");
}

struct TScenario {
    std::string Name;
    std::function<void(TTrialFolder&)> Prepare;
    std::vector<std::string> Args; // the command, paths relative to the trial folder
    std::string Library;           // the library the recovery opens, relative to data/
    bool Semantic = false;         // Pak files made anew carry their creation time
};

// The command line of a scenario with its paths made whole.
std::vector<std::string> CommandOf(const TScenario& s, const TTrialFolder& t) {
    std::vector<std::string> argv{kCli};
    for (const std::string& arg : s.Args)
        argv.push_back(arg.starts_with("data/") || arg.starts_with("pics/") ? t.Root + "/" + arg
                                                                            : arg);
    return argv;
}

// The visible files of data/ and home/ with their bytes (a Pak made anew: its listing).
std::string StateOf(const TScenario& s, const TTrialFolder& t) {
    std::string state;
    for (const std::string& folder : {t.Data, t.Home}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string()[0] != '.' &&
                entry.path().filename() != "VelmoraLog.txt")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            state += file.filename().string() + "=";
            if (s.Semantic && file.extension() == ".pak")
                state += Cli({"list", file.string()}, t).Out;
            else
                state += std::to_string(std::hash<std::string>{}(ReadFileBytes(file)));
            state += ";";
        }
    }
    return state;
}

// The paths under the trial folder that traced calls name, and the two folders themselves.
std::set<std::string> WatchedPaths(const std::vector<TTracedCall>& calls, const TTrialFolder& t) {
    std::set<std::string> paths{t.Data, t.Home};
    for (const TTracedCall& call : calls)
        for (const std::string& path : call.Paths)
            if (path.starts_with(t.Root + "/"))
                paths.insert(path);
    return paths;
}

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunProgram({"strace", "-V"}, "/").Exit != 0)
            GTEST_SKIP() << "strace is not installed";
    }

    // Every fault of the command's sweep, and of the recovery's sweep after each kill that left a
    // save unfinished.
    void Sweep(const TScenario& s) {
        TTrialFolder t(s.Name);
        s.Prepare(t);
        t.Save("fixture");
        const std::vector<std::string> command = CommandOf(s, t);
        const std::string library = t.Data + "/" + s.Library;
        Old = StateOf(s, t);
        OldListing = Cli({"list", library}, t).Out;
        ASSERT_EQ(RunProgram(command, t.Home + "/").Exit, 0) << "the command itself fails";
        New = StateOf(s, t);
        NewListing = Cli({"list", library}, t).Out;
        ASSERT_NE(Old, New) << "the command changed nothing";

        t.Restore("fixture");
        const std::vector<TTracedCall> traced = TraceCommand(command, t.Home + "/", kWriteCalls);
        for (const std::string& fault : DurabilityFaults(traced, {t.Data, t.Home}))
            ADD_FAILURE() << fault;
        const std::set<std::string> paths = WatchedPaths(traced, t);
        t.Restore("fixture");
        const std::vector<TFault> faults =
            SampleFaults(TraceCommand(command, t.Home + "/", kWriteCalls, paths), 1);

        int trial = 0, recoveries = 0, recoveryFaults = 0;
        std::set<std::string> swept;
        for (const TFault& fault : faults) {
            SCOPED_TRACE(s.Name + ", command " + fault.Text());
            t.Restore("fixture");
            const TProcessRun run = RunWithFault(command, t.Home + "/", paths, fault);
            // The recovery is swept once for each kind of unfinished save a kill leaves: the
            // files left beside the library, and what the journal says.
            std::string unfinished;
            for (const std::string& name : t.Hidden())
                unfinished += fs::path(name).filename().string() + ":" +
                              (name.ends_with(".journal") ? ReadFileBytes(name) : "") + ";";
            if (!unfinished.empty() && fault.Error.empty() && swept.insert(unfinished).second) {
                ++recoveries;
                t.Save("unfinished");
                recoveryFaults += SweepRecovery(s, t, run);
                t.Restore("unfinished");
            }
            // The recovering open, through the link to the folder every other time.
            const std::string via = (++trial % 2 ? t.Link : t.Data) + "/" + s.Library;
            const TProcessRun open = Cli({"list", via}, t);
            ExpectOldOrNew(s, t, run, &open);
        }
        std::printf("%s: %zu faults in the command, %d in %d recoveries\n", s.Name.c_str(),
                    faults.size(), recoveryFaults, recoveries);
    }

    // Faults in the opening that recovers what the command left; then the next opening.
    int SweepRecovery(const TScenario& s, TTrialFolder& t, const TProcessRun& command) {
        int swept = 0;
        const std::vector<std::string> open{kCli, "list", t.Data + "/" + s.Library};
        const std::vector<TTracedCall> traced = TraceCommand(open, t.Home + "/", kWriteCalls);
        const std::set<std::string> paths = WatchedPaths(traced, t);
        t.Restore("unfinished");
        for (const TFault& fault :
             SampleFaults(TraceCommand(open, t.Home + "/", kWriteCalls, paths), 1)) {
            SCOPED_TRACE("recovery " + fault.Text());
            t.Restore("unfinished");
            const TProcessRun recovery = RunWithFault(open, t.Home + "/", paths, fault);
            // An opening that reported success showed a whole library.
            if (recovery.Exit == 0) {
                EXPECT_TRUE(recovery.Out == OldListing || recovery.Out == NewListing)
                    << recovery.Out;
            }
            const TProcessRun next = Cli({"list", t.Data + "/" + s.Library}, t);
            ExpectOldOrNew(s, t, command, &next);
            ++swept;
        }
        return swept;
    }

    void ExpectOldOrNew(const TScenario& s, const TTrialFolder& t, const TProcessRun& command,
                        const TProcessRun* open) {
        const std::string state = StateOf(s, t);
        EXPECT_TRUE(state == Old || state == New) << "neither the old nor the new library:\n"
                                                  << state << "\nold: " << Old << "\nnew: " << New;
        if (command.Exit == 0) {
            EXPECT_EQ(state, New) << "the command reported success";
        } else if (!command.Killed) {
            // A failure names the library and the reason once, never a hidden file of the save.
            std::string said;
            std::istringstream lines(command.Err);
            for (std::string line; std::getline(lines, line);)
                if (!line.starts_with("strace: "))
                    said += line + "\n";
            EXPECT_NE(said, "");
            EXPECT_EQ(said.find("/."), std::string::npos) << said;
            const std::string library = t.Data + "/" + s.Library;
            EXPECT_EQ(said.find(library + ": " + library), std::string::npos) << said;
        }
        // The opening succeeds and lists the files, and leaves nothing behind; a library that
        // never came to be is missing, and what its creation left goes with the next attempt.
        if (state == Old && OldListing.empty())
            return;
        if (open) {
            EXPECT_EQ(open->Exit, 0);
            EXPECT_EQ(open->Out, state == New ? NewListing : OldListing);
        }
        EXPECT_EQ(t.Hidden(), std::vector<std::string>{}) << "left behind after the opening";
    }

    std::string Old, New, OldListing, NewListing;
};

// Six 12 x 10 pictures and an atlas of them.
void WritePictures(TTrialFolder& t) {
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(SavePicture(t.Root + "/pics/" + std::to_string(i) + ".png",
                                cli_test::PatternPicture(12, 10, uint32_t(i * 77 + 1)), ifPNG));
}

// A library of six pictures made by the command line.
void MakeLibrary(TTrialFolder& t, const std::string& name, const std::vector<std::string>& kind) {
    WritePictures(t);
    WriteFileBytes(t.Home + "/Pak.txt", "lib.pak|secret\r\ntarget.pak|secret\r\n");
    std::vector<std::string> create{"create", t.Data + "/" + name};
    create.insert(create.end(), kind.begin(), kind.end());
    ASSERT_EQ(Cli(create, t).Exit, 0);
    std::vector<std::string> import{
        "import", t.Data + "/" + name, t.Root + "/pics", "--offsets", "fixed", "--xy", "3,-4"};
    if (name.ends_with(".wzl") || name.ends_with(".pak"))
        import.push_back("--compress");
    ASSERT_EQ(Cli(import, t).Exit, 0);
}

// The edits of one kind of library: append (in place where the format allows), insert or replace
// (the files written anew, as delete writes them), delete, blank and offset (in place).
std::vector<TScenario> Edits(const std::string& name, const std::vector<std::string>& kind,
                             const std::string& mode) {
    const auto prepare = [name, kind](TTrialFolder& t) { MakeLibrary(t, name, kind); };
    const std::string lib = "data/" + name;
    const std::string tag = name.substr(name.find('.') + 1);
    return {
        {tag + "-append", prepare, {"import", lib, "pics/0.png"}, name},
        {tag + "-" + mode,
         prepare,
         {"import", lib, "pics/1.png", "--mode", mode, "--at", "2"},
         name},
        {tag + "-delete", prepare, {"delete", lib, "1", "3"}, name},
        {tag + "-blank", prepare, {"delete", lib, "1", "3", "--blank"}, name},
        {tag + "-offset", prepare, {"offset", lib, "2", "5", "-7"}, name},
    };
}

TEST_F(FaultInjection, WilEdits) {
    for (const TScenario& s : Edits("lib.wil", {"--wil", "--bits", "16"}, "insert"))
        Sweep(s);
}

TEST_F(FaultInjection, WzlEdits) {
    for (const TScenario& s : Edits("lib.wzl", {"--wzl"}, "replace"))
        Sweep(s);
}

TEST_F(FaultInjection, PakEdits) {
    for (const TScenario& s : Edits("lib.pak", {"--pak", "--password", "secret"}, "insert"))
        Sweep(s);
    // The old index layout, which the command line does not create.
    const auto old = [](TTrialFolder& t) {
        WritePictures(t);
        CreateTestLibrary(t.Data + "/lib.pak", TLibraryCase::PakOld, 6, 12);
        WriteFileBytes(t.Home + "/Pak.txt", std::string("lib.pak|") + kTestPakPassword + "\r\n");
    };
    Sweep({"pak-old-append", old, {"import", "data/lib.pak", "pics/0.png"}, "lib.pak"});
    Sweep({"pak-old-blank", old, {"delete", "data/lib.pak", "1", "3", "--blank"}, "lib.pak"});
}

TEST_F(FaultInjection, ConversionsAndCreation) {
    const auto wil = [](TTrialFolder& t) { MakeLibrary(t, "lib.wil", {"--wil", "--bits", "16"}); };
    Sweep({"convert-new", wil, {"convert", "data/lib.wil", "data/target.wzl"}, "target.wzl"});
    // Into an existing target: a WZL of other pictures.
    const auto withTarget = [wil](TTrialFolder& t) {
        wil(t);
        ASSERT_EQ(Cli({"convert", t.Data + "/lib.wil", t.Data + "/target.wzl"}, t).Exit, 0);
        ASSERT_EQ(Cli({"delete", t.Data + "/target.wzl", "0", "2"}, t).Exit, 0);
    };
    Sweep({"convert-existing",
           withTarget,
           {"convert", "data/lib.wil", "data/target.wzl", "--compress"},
           "target.wzl"});
    Sweep({"convert-pak",
           wil,
           {"convert", "data/lib.wil", "data/target.pak", "--password", "secret"},
           "target.pak",
           true});
    Sweep({"create", wil, {"create", "data/new.wil", "--wil", "--bits", "24"}, "new.wil"});
}

TEST_F(FaultInjection, PasswordRepairAndAtlas) {
    const auto pak = [](TTrialFolder& t) {
        MakeLibrary(t, "lib.pak", {"--pak", "--password", "secret"});
    };
    Sweep({"passwd",
           pak,
           {"passwd", "data/lib.pak", "--password", "secret", "--new", "other", "--backup"},
           "lib.pak"});
    // An index cut to two of its six positions.
    const auto damaged = [](TTrialFolder& t) {
        MakeLibrary(t, "lib.wil", {"--wil"});
        const std::string index = t.Data + "/lib.WIX";
        std::string bytes = ReadFileBytes(index);
        WriteFileBytes(index, bytes.substr(0, bytes.size() - 16));
    };
    Sweep({"repair", damaged, {"repair", "data/lib.wil"}, "lib.wil"});
    const auto atlas = [](TTrialFolder& t) {
        MakeLibrary(t, "lib.wzl", {"--wzl"});
        ASSERT_EQ(Cli({"atlas", "export", t.Data + "/lib.wzl", t.Root + "/pics/sheet.png"}, t).Exit,
                  0);
    };
    Sweep(
        {"atlas-import", atlas, {"atlas", "import", "data/lib.wzl", "pics/sheet.json"}, "lib.wzl"});
    // WIS files take offsets only, patched where they lie.
    const auto wis = [](TTrialFolder& t) {
        TWisWriter writer;
        for (int i = 0; i < 4; ++i) {
            const std::vector<uint8_t> pixels(size_t(9 * 7), uint8_t(40 + i));
            writer.AddImage(9, 7, i, -i, pixels, i % 2 == 1);
        }
        const std::vector<uint8_t> bytes = writer.Bytes();
        WriteFileBytes(t.Data + "/lib.wis", std::string(bytes.begin(), bytes.end()));
    };
    Sweep({"wis-offset", wis, {"offset", "data/lib.wis", "2", "30", "40"}, "lib.wis"});
}

// Read errors: headers read on several threads (a library of many images) end the command with
// the reason, naming the file once; a password list that cannot be read stops a password change
// before anything is written.
TEST_F(FaultInjection, ReadErrorsAreReportedAndChangeNothing) {
    TTrialFolder t("reads");
    const std::string lib = t.Data + "/many.wil";
    ASSERT_EQ(Cli({"create", lib, "--wil"}, t).Exit, 0);
    ASSERT_EQ(Cli({"import", lib, "--content", "blank", "--count", "3000"}, t).Exit, 0);
    for (int nth : {1, 700, 2500}) {
        const TProcessRun run =
            RunWithFault({kCli, "list", lib}, t.Home + "/", {lib}, {"pread64", nth, "EIO"});
        EXPECT_EQ(run.Exit, 1) << nth;
        EXPECT_EQ(run.Err, "velmora-cli: " + lib + ": Input/output error\n") << nth;
    }

    MakeLibrary(t, "lib.pak", {"--pak", "--password", "secret"});
    t.Save("before");
    const std::string list = t.Home + "/Pak.txt";
    // The list is read at start (a failure there is ignored) and again by the change itself.
    const TProcessRun run =
        RunWithFault({kCli, "passwd", t.Data + "/lib.pak", "--password", "secret", "--new", "x"},
                     t.Home + "/", {list}, {"pread64", 2, "EIO"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("cannot be read, nothing was changed"), std::string::npos) << run.Err;
    EXPECT_EQ(Cli({"list", t.Data + "/lib.pak"}, t).Exit, 0) << "the old password still opens it";
    EXPECT_EQ(ReadFileBytes(list), "lib.pak|secret\r\ntarget.pak|secret\r\n");
    EXPECT_EQ(t.Hidden(), std::vector<std::string>{});
}

} // namespace

} // namespace velmora::safety_test
