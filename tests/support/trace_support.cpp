#include "support/trace_support.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::trace_test {

namespace fs = std::filesystem;

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : between) + part;
    return text;
}

std::string TemporaryTraceName() {
    static std::atomic<int> counter{0};
    return (fs::temp_directory_path() /
            ("velmora-trace-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
        .string();
}

std::vector<std::string> WithPaths(std::vector<std::string> argv,
                                   const std::set<std::string>& paths) {
    for (const std::string& path : paths) {
        argv.push_back("-P");
        argv.push_back(path);
    }
    return argv;
}

// A strace line as a call: "PID name(args) = result". Calls that another thread interrupted come
// in two lines, "<unfinished ...>" and "<... name resumed>", joined here.
std::vector<TTracedCall> ParseTrace(const std::string& file) {
    static const std::regex callLine(R"(^\d+\s+([a-z0-9_]+)\((.*)$)");
    static const std::regex resumed(R"(^(\d+)\s+<\.\.\. ([a-z0-9_]+) resumed>(.*)$)");
    static const std::regex quoted(R"x("((?:[^"\\]|\\.)*)")x");
    static const std::regex fdPath(R"((?:^|[(, ])\d+<([^>]*)>)");
    std::vector<TTracedCall> calls;
    std::map<std::string, std::string> unfinished;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, resumed)) {
            const auto it = unfinished.find(m[1]);
            if (it == unfinished.end())
                continue;
            line = it->second + m[3].str();
            unfinished.erase(it);
        } else if (line.find("<unfinished ...>") != std::string::npos) {
            const std::string pid = line.substr(0, line.find(' '));
            unfinished[pid] = line.substr(0, line.find("<unfinished ...>"));
            continue;
        }
        if (!std::regex_match(line, m, callLine))
            continue;
        TTracedCall call;
        call.Name = m[1];
        call.Line = line;
        const size_t result = line.rfind(") = ");
        call.Failed = result != std::string::npos && line.compare(result + 4, 2, "-1") == 0;
        const std::string args = result == std::string::npos ? m[2].str() : line.substr(0, result);
        for (auto it = std::sregex_iterator(args.begin(), args.end(), fdPath);
             it != std::sregex_iterator(); ++it)
            call.Paths.push_back((*it)[1]);
        for (auto it = std::sregex_iterator(args.begin(), args.end(), quoted);
             it != std::sregex_iterator(); ++it)
            if (!(*it)[1].str().empty())
                call.Paths.push_back((*it)[1]);
        calls.push_back(std::move(call));
    }
    return calls;
}

bool Hidden(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    return !name.empty() && name[0] == '.';
}

std::string FolderOfPath(const std::string& path) {
    return fs::path(path).parent_path().string();
}

bool InFolders(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (FolderOfPath(path) == folder)
            return true;
    return false;
}

} // namespace

TProcessRun RunProgram(const std::vector<std::string>& argv, const std::string& home) {
    int out[2];
    if (::pipe(out) != 0)
        throw std::runtime_error("pipe");
    // Standard error goes to a file, so that neither stream can block the other.
    const std::string errName = TemporaryTraceName() + ".err";
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::setenv("VELMORA_HOME", home.c_str(), 1);
        ::dup2(out[1], 1);
        const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    TProcessRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0)
            break;
        run.Out.append(buffer, size_t(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.Killed = WIFSIGNALED(status);
    run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errName, std::ios::binary);
    run.Err.assign(std::istreambuf_iterator<char>(err), {});
    fs::remove(errName);
    return run;
}

std::vector<TTracedCall> TraceCommand(const std::vector<std::string>& command,
                                      const std::string& home,
                                      const std::vector<std::string>& calls,
                                      const std::set<std::string>& paths) {
    const std::string trace = TemporaryTraceName();
    std::vector<std::string> argv = WithPaths(
        {"strace", "-f", "-qq", "-y", "-s", "0", "-o", trace, "-e", "trace=" + Join(calls, ",")},
        paths);
    argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    RunProgram(argv, home);
    std::vector<TTracedCall> traced = ParseTrace(trace);
    fs::remove(trace);
    return traced;
}

std::string TFault::Text() const {
    return "inject=" + Call + (Error.empty() ? ":signal=KILL" : ":error=" + Error) +
           ":when=" + std::to_string(Nth);
}

TProcessRun RunWithFault(const std::vector<std::string>& command, const std::string& home,
                         const std::set<std::string>& paths, const TFault& fault) {
    std::vector<std::string> argv = WithPaths(
        {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + fault.Call, "-e", fault.Text()},
        paths);
    argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    return RunProgram(argv, home);
}

std::vector<TFault> SampleFaults(const std::vector<TTracedCall>& calls, int between) {
    std::map<std::string, int> counts;
    for (const TTracedCall& call : calls)
        ++counts[call.Name];
    std::vector<TFault> faults;
    for (const auto& [name, count] : counts) {
        std::set<int> nth{1, count};
        for (int k = 1; k <= between; ++k)
            nth.insert(1 + k * (count - 1) / (between + 1));
        // A full disk and an exceeded quota where writing fails so; an I/O error everywhere.
        const bool writes = name == "write" || name == "pwrite64" || name == "ftruncate" ||
                            name == "fsync" || name == "fdatasync";
        for (int n : nth) {
            faults.push_back({name, n,
                              writes && n % 3 == 1   ? "ENOSPC"
                              : writes && n % 3 == 2 ? "EDQUOT"
                                                     : "EIO"});
            faults.push_back({name, n, ""});
        }
    }
    return faults;
}

std::vector<std::string> DurabilityFaults(const std::vector<TTracedCall>& calls,
                                          const std::vector<std::string>& folders) {
    std::vector<std::string> faults;
    std::map<std::string, size_t> lastWrite, lastSync, folderSync;
    std::vector<std::pair<size_t, std::string>> renamesIntoPlace;
    std::optional<size_t> journalAt; // when a journal was renamed into place, while it is there
    for (size_t i = 0; i < calls.size(); ++i) {
        const TTracedCall& call = calls[i];
        if (call.Failed || call.Paths.empty())
            continue;
        const std::string& path = call.Paths.front();
        if (call.Name == "write" || call.Name == "pwrite64" || call.Name == "ftruncate") {
            lastWrite[path] = i;
            // A write into a library file where it lies (not the log, which only grows).
            if (!Hidden(path) && InFolders(path, folders) && !path.ends_with("Log.txt")) {
                const bool durable = journalAt && folderSync.count(FolderOfPath(path)) &&
                                     folderSync[FolderOfPath(path)] > *journalAt;
                if (!durable)
                    faults.push_back("written in place before a journal was on the disk: " +
                                     call.Line);
            }
        } else if (call.Name == "fsync" || call.Name == "fdatasync") {
            lastSync[path] = i;
            if (fs::is_directory(path))
                folderSync[path] = i;
        } else if (call.Name.starts_with("rename") && call.Paths.size() >= 2) {
            const std::string& from = call.Paths[call.Paths.size() - 2];
            const std::string& to = call.Paths.back();
            if (to.ends_with(".journal"))
                journalAt = i;
            if (Hidden(to) || !InFolders(to, folders))
                continue;
            if (!lastSync.count(from) ||
                (lastWrite.count(from) && lastSync[from] < lastWrite[from]))
                faults.push_back("renamed over a library file before it was synced: " + call.Line);
            renamesIntoPlace.emplace_back(i, FolderOfPath(to));
        } else if (call.Name.starts_with("unlink") && path.ends_with(".journal")) {
            journalAt.reset();
        }
    }
    for (const auto& [at, folder] : renamesIntoPlace)
        if (!folderSync.count(folder) || folderSync[folder] < at)
            faults.push_back("the folder " + folder + " was not synced after the rename of call " +
                             std::to_string(at) + ": " + calls[at].Line);
    return faults;
}

} // namespace velmora::trace_test
