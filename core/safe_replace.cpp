#include "core/safe_replace.h"

#include "core/utils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr char kJournalFirstLine[] = "velmora replacement 1";
constexpr char kJournalLastLine[] = "end";

std::string ErrorText(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const std::string folder = ExtractFilePath(path);
    return folder.empty() ? std::string(".") : folder;
}

// Makes renames and removals in a folder durable. Some file systems cannot sync a folder; that is
// no reason to fail a save.
void SyncFolder(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

// Flushes a complete new file to the disk and gives it the owner and permissions of the file it
// replaces (when that one exists).
void PrepareNewFile(const std::string& newFile, const std::string& target) {
    const int fd = ::open(newFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EFileError(newFile, ErrorText(errno));
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Only root may give a file away; anyone else keeps their own ownership.
        (void)::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            const int error = errno;
            ::close(fd);
            throw EFileError(newFile, ErrorText(error));
        }
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        throw EFileError(newFile, ErrorText(error));
    }
    ::close(fd);
}

void RenameOrThrow(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw EFileError(to, ErrorText(errno));
}

void WriteJournal(const std::string& journal,
                  const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string text = std::string(kJournalFirstLine) + "\n";
    for (const auto& [newFile, target] : pairs) {
        const std::string a = ExtractFileName(newFile), b = ExtractFileName(target);
        if (a.find('\n') != std::string::npos || b.find('\n') != std::string::npos)
            throw EFileError(target, "a file name with a line break cannot be replaced safely");
        text += a + "\n" + b + "\n";
    }
    text += std::string(kJournalLastLine) + "\n";
    // Written under another name and renamed: the journal exists complete or not at all.
    const std::string draft = journal + ".new";
    {
        TFileStream stream(draft, TFileStream::fmCreate);
        stream.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        stream.Flush();
    }
    RenameOrThrow(draft, journal);
    SyncFolder(journal);
}

// The (new file, target) pairs of a complete journal; none for a damaged one.
std::vector<std::pair<std::string, std::string>> ReadJournal(const std::string& journal) {
    std::vector<uint8_t> bytes;
    try {
        bytes = TFileStream::ReadAll(journal);
    } catch (const EFileError&) {
        return {};
    }
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t c : bytes) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(char(c));
        }
    }
    if (!line.empty() || lines.size() < 2 || lines.front() != kJournalFirstLine ||
        lines.back() != kJournalLastLine || lines.size() % 2 != 0)
        return {};
    const std::string folder = ExtractFilePath(journal);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 1; i + 1 < lines.size(); i += 2) {
        // Only plain names in the journal's own folder are followed.
        for (const std::string* name : {&lines[i], &lines[i + 1]})
            if (name->empty() || name->find('/') != std::string::npos || *name == "." ||
                *name == "..")
                return {};
        pairs.emplace_back(folder + lines[i], folder + lines[i + 1]);
    }
    return pairs;
}

void RemoveQuietly(const std::string& path) {
    (void)::unlink(path.c_str());
}

} // namespace

std::string ReplacementNameFor(const std::string& path) {
    return ExtractFilePath(path) + "." + ExtractFileName(path) + ".velmora-new";
}

std::string JournalNameFor(const std::string& path) {
    return ExtractFilePath(path) + "." + ExtractFileName(path) + ".velmora-journal";
}

void ReplaceFilesAtomically(const std::string& DataFile,
                            const std::vector<std::pair<std::string, std::string>>& Pairs) {
    if (Pairs.empty())
        return;
    for (const auto& [newFile, target] : Pairs)
        PrepareNewFile(newFile, target);
    if (Pairs.size() == 1) {
        RenameOrThrow(Pairs[0].first, Pairs[0].second);
        SyncFolder(Pairs[0].second);
        return;
    }
    const std::string journal = JournalNameFor(DataFile);
    WriteJournal(journal, Pairs);
    size_t renamed = 0;
    try {
        for (const auto& [newFile, target] : Pairs) {
            RenameOrThrow(newFile, target);
            ++renamed;
        }
    } catch (...) {
        // Before the first rename nothing changed: drop the journal and keep the old files.
        // Later, the journal stays so that the next opening completes the replacement.
        if (renamed == 0) {
            RemoveQuietly(journal);
            SyncFolder(journal);
        }
        throw;
    }
    SyncFolder(journal);
    RemoveQuietly(journal);
    SyncFolder(journal);
}

void RecoverReplacement(const std::string& DataFile, const std::vector<std::string>& Companions) {
    const std::string journal = JournalNameFor(DataFile);
    RemoveQuietly(journal + ".new");
    if (FileExists(journal)) {
        for (const auto& [newFile, target] : ReadJournal(journal))
            if (FileExists(newFile))
                (void)::rename(newFile.c_str(), target.c_str());
        SyncFolder(journal);
        RemoveQuietly(journal);
        SyncFolder(journal);
        return;
    }
    RemoveQuietly(ReplacementNameFor(DataFile));
    for (const std::string& companion : Companions)
        RemoveQuietly(ReplacementNameFor(companion));
}

TFileReplacement::TFileReplacement(std::vector<std::string> Targets)
    : FTargets(std::move(Targets)) {
    try {
        for (const std::string& target : FTargets) {
            FTemporaries.push_back(ReplacementNameFor(target));
            FStreams.push_back(
                std::make_unique<TFileStream>(FTemporaries.back(), TFileStream::fmCreate));
        }
    } catch (...) {
        FStreams.clear();
        for (const std::string& name : FTemporaries)
            RemoveQuietly(name);
        throw;
    }
}

TFileReplacement::~TFileReplacement() {
    FStreams.clear();
    if (FCommitted)
        return;
    for (const std::string& name : FTemporaries)
        RemoveQuietly(name);
}

void TFileReplacement::Commit() {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < FTargets.size(); ++i) {
        FStreams[i]->Close();
        pairs.emplace_back(FTemporaries[i], FTargets[i]);
    }
    try {
        ReplaceFilesAtomically(FTargets.front(), pairs);
    } catch (...) {
        // A journal left behind means some targets are already replaced: the remaining new files
        // must stay for the next opening to finish the job.
        if (FTargets.size() > 1 && FileExists(JournalNameFor(FTargets.front())))
            FCommitted = true;
        throw;
    }
    FCommitted = true;
}

} // namespace velmora
