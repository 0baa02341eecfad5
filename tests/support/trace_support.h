#pragma once

// Running velmora-cli under strace: the system calls a command makes on a folder's files, faults
// injected at the Nth of them, and a trace to check the order in which a save makes its files
// durable.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora::trace_test {

// The calls that change files: where faults are injected and durability is checked.
inline const std::vector<std::string> kWriteCalls{"openat",    "write",  "pwrite64", "fsync",
                                                  "fdatasync", "rename", "renameat", "renameat2",
                                                  "ftruncate", "unlink", "unlinkat"};

struct TProcessRun {
    int Exit = -1;       // the exit status, or -1 when a signal ended the process
    bool Killed = false; // ended by a signal
    std::string Out;     // standard output
    std::string Err;     // standard error
};

// Runs a program with VELMORA_HOME set to home.
TProcessRun RunProgram(const std::vector<std::string>& argv, const std::string& home);

// One traced call: its name, its result, and the paths it names (path arguments, and the files
// its descriptors stand for, as strace -y prints them).
struct TTracedCall {
    std::string Name;
    std::vector<std::string> Paths;
    std::string Line;
    bool Failed = false;
};

// Runs command under strace -f -y with Calls traced (only those that touch Paths, when given) and
// returns what it traced.
std::vector<TTracedCall> TraceCommand(const std::vector<std::string>& command,
                                      const std::string& home,
                                      const std::vector<std::string>& calls,
                                      const std::set<std::string>& paths = {});

// A fault at the Nth call (counted among the calls that touch Paths) of one kind.
struct TFault {
    std::string Call;
    int Nth = 1;
    std::string Error; // EIO, ENOSPC, ...; empty: the process is killed there
    std::string Text() const;
};

// Runs command under strace with the fault injected.
TProcessRun RunWithFault(const std::vector<std::string>& command, const std::string& home,
                         const std::set<std::string>& paths, const TFault& fault);

// The points a sweep covers: for every kind of call, the first and the last, and a few between.
std::vector<TFault> SampleFaults(const std::vector<TTracedCall>& calls, int between);

// What is wrong with the order in which a traced save made its files durable, for targets in
// Folders: a file renamed over a target must be synced after its last write; the folder must be
// synced after the rename, before the process ends; a journal must be on the disk (renamed into
// place, its folder synced) before the first write into a target where it lies. Empty when all
// is well.
std::vector<std::string> DurabilityFaults(const std::vector<TTracedCall>& calls,
                                          const std::vector<std::string>& folders);

} // namespace velmora::trace_test
