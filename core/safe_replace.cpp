#include "core/safe_replace.h"

#include "core/utils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string_view>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

// Journal layouts: 1 holds plain file names of the journal's own folder (written by earlier
// versions), 2 whole paths, since a target reached through a link may lie in another folder.
constexpr char kJournalFirstLine1[] = "velmora replacement 1";
constexpr char kJournalFirstLine2[] = "velmora replacement 2";
constexpr char kJournalLastLine[] = "end";
// The journal of a change made inside the files (TInPlaceChange).
constexpr char kInPlaceFirstLine[] = "velmora in-place 1";

constexpr char kReplacementSuffix[] = ".new";
constexpr char kJournalSuffix[] = ".journal";
constexpr char kDraftSuffix[] = ".new";
// The names earlier versions used: ".NAME.velmora-new" for a new file, ".NAME.velmora-journal"
// for a journal, ".BASE.velmora-tmp.EXT" for the command line's working copy.
constexpr char kOldReplacementSuffix[] = ".velmora-new";
constexpr char kOldJournalSuffix[] = ".velmora-journal";
constexpr char kOldCopyInfix[] = ".velmora-tmp";

constexpr int kMaxLinks = 40;

std::string ErrorText(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const std::string folder = ExtractFilePath(path);
    return folder.empty() ? std::string(".") : folder;
}

// A path made absolute and lexically normal, so that two spellings of one place compare equal.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec)
        p = path;
    return p.lexically_normal().string();
}

std::string CanonicalFolderOf(const std::string& path) {
    return Canonical(FolderOf(path) + "/");
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
    // Errors name the file being replaced: the temporary name means nothing to the user.
    const int fd = ::open(newFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EFileError(target, ErrorText(errno));
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Only root may give a file away; anyone else keeps their own ownership.
        (void)::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            const int error = errno;
            ::close(fd);
            throw EFileError(target, ErrorText(error));
        }
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        throw EFileError(target, ErrorText(error));
    }
    ::close(fd);
}

void RenameOrThrow(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw EFileError(to, ErrorText(errno));
}

void RemoveQuietly(const std::string& path) {
    (void)::unlink(path.c_str());
}

// FNV-1a, 64 bits: stable across builds and platforms, so that a later run finds the names an
// earlier one used.
uint64_t NameHash(const std::string& name) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

void WriteJournal(const std::string& journal,
                  const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string text = std::string(kJournalFirstLine2) + "\n";
    for (const auto& [newFile, target] : pairs) {
        const std::string a = Canonical(newFile), b = Canonical(target);
        if (a.find('\n') != std::string::npos || b.find('\n') != std::string::npos)
            throw EFileError(target, "a file name with a line break cannot be replaced safely");
        text += a + "\n" + b + "\n";
    }
    text += std::string(kJournalLastLine) + "\n";
    // Written under another name and renamed: the journal exists complete or not at all.
    const std::string draft = journal + kDraftSuffix;
    try {
        TFileStream stream(draft, TFileStream::fmCreate, pairs.front().second);
        stream.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        stream.Flush();
        stream.Close();
        RenameOrThrow(draft, journal);
    } catch (...) {
        RemoveQuietly(draft);
        throw;
    }
    SyncFolder(journal);
}

// The lines of a journal; none when it cannot be read or its last line is not complete.
std::vector<std::string> JournalLines(const std::string& journal) {
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
    if (!line.empty())
        return {};
    return lines;
}

// The (new file, target) pairs of a complete journal whose every target is one of `targets`
// (canonical paths) and whose every new file is a hidden file beside its target; none for a
// damaged journal or one that names other files.
std::vector<std::pair<std::string, std::string>>
ReadJournal(const std::string& journal, const std::vector<std::string>& targets) {
    const std::vector<std::string> lines = JournalLines(journal);
    if (lines.size() < 2 || lines.back() != kJournalLastLine || lines.size() % 2 != 0)
        return {};
    const bool plainNames = lines.front() == kJournalFirstLine1;
    if (!plainNames && lines.front() != kJournalFirstLine2)
        return {};
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 1; i + 1 < lines.size(); i += 2) {
        std::string newFile = lines[i], target = lines[i + 1];
        if (plainNames) {
            for (const std::string* name : {&newFile, &target})
                if (name->empty() || name->find('/') != std::string::npos || *name == "." ||
                    *name == "..")
                    return {};
            newFile = ExtractFilePath(journal) + newFile;
            target = ExtractFilePath(journal) + target;
        }
        newFile = Canonical(newFile);
        target = Canonical(target);
        const std::string newName = ExtractFileName(newFile);
        if (std::find(targets.begin(), targets.end(), target) == targets.end() ||
            CanonicalFolderOf(newFile) != CanonicalFolderOf(target) || newName.size() < 2 ||
            newName[0] != '.' || newName == ".." || newFile == target)
            return {};
        pairs.emplace_back(newFile, target);
    }
    return pairs;
}

std::string HexOf(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

std::optional<std::vector<uint8_t>> BytesOfHex(std::string_view text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes[i] = uint8_t(hi * 16 + lo);
    }
    return bytes;
}

// Writes a journal's text under another name and renames it into place, so that it exists
// complete or not at all.
void WriteJournalText(const std::string& journal, const std::string& text,
                      const std::string& errorName) {
    const std::string draft = journal + kDraftSuffix;
    try {
        TFileStream stream(draft, TFileStream::fmCreate, errorName);
        stream.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        stream.Flush();
        stream.Close();
        RenameOrThrow(draft, journal);
    } catch (...) {
        RemoveQuietly(draft);
        throw;
    }
    SyncFolder(journal);
}

// What the journal of a change inside the files says, checked to name only the library's files.
struct TInPlaceJournal {
    struct TFile {
        std::string Path;
        int64_t OldSize = -1, NewSize = -1;
    };
    struct TPatch {
        size_t File = 0;
        int64_t Position = 0;
        std::vector<uint8_t> Old, New;
    };
    std::vector<TFile> Files;
    std::vector<TPatch> Patches;
    std::string NewFile, Target;
};

std::optional<TInPlaceJournal> ParseInPlaceJournal(const std::vector<std::string>& lines,
                                                   const std::vector<std::string>& targets) {
    if (lines.size() < 2 || lines.front() != kInPlaceFirstLine || lines.back() != kJournalLastLine)
        return std::nullopt;
    const auto known = [&](const std::string& path) {
        return std::find(targets.begin(), targets.end(), Canonical(path)) != targets.end();
    };
    TInPlaceJournal j;
    for (size_t i = 1; i + 1 < lines.size();) {
        const std::string& line = lines[i];
        if (line == "file" && i + 3 < lines.size()) {
            TInPlaceJournal::TFile file;
            file.Path = lines[i + 1];
            long long oldSize = 0, newSize = 0;
            if (!known(file.Path) ||
                std::sscanf(lines[i + 2].c_str(), "%lld %lld", &oldSize, &newSize) != 2)
                return std::nullopt;
            file.OldSize = oldSize;
            file.NewSize = newSize;
            j.Files.push_back(std::move(file));
            i += 3;
        } else if (line.rfind("patch ", 0) == 0) {
            std::vector<std::string> parts;
            size_t start = 6;
            for (size_t k = start; k <= line.size(); ++k)
                if (k == line.size() || line[k] == ' ') {
                    parts.push_back(line.substr(start, k - start));
                    start = k + 1;
                }
            if (parts.size() != 4)
                return std::nullopt;
            TInPlaceJournal::TPatch patch;
            char* end = nullptr;
            patch.File = size_t(std::strtoull(parts[0].c_str(), &end, 10));
            if (*end != 0 || patch.File >= j.Files.size())
                return std::nullopt;
            patch.Position = std::strtoll(parts[1].c_str(), &end, 10);
            if (*end != 0 || patch.Position < 0)
                return std::nullopt;
            auto oldBytes = BytesOfHex(parts[2]), newBytes = BytesOfHex(parts[3]);
            if (!oldBytes || !newBytes || oldBytes->size() != newBytes->size())
                return std::nullopt;
            patch.Old = std::move(*oldBytes);
            patch.New = std::move(*newBytes);
            j.Patches.push_back(std::move(patch));
            ++i;
        } else if (line == "replace" && i + 2 < lines.size() && j.NewFile.empty()) {
            j.NewFile = Canonical(lines[i + 1]);
            j.Target = Canonical(lines[i + 2]);
            const std::string newName = ExtractFileName(j.NewFile);
            if (!known(j.Target) || CanonicalFolderOf(j.NewFile) != CanonicalFolderOf(j.Target) ||
                newName.size() < 2 || newName[0] != '.' || newName == ".." || j.NewFile == j.Target)
                return std::nullopt;
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return j;
}

bool PwriteAll(int fd, const std::vector<uint8_t>& bytes, int64_t position) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(position + int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Finishes or undoes the change a journal describes (see TInPlaceChange). Failures are ignored:
// the journal then stays for the next opening to try again. True when the journal was handled.
bool ApplyInPlaceJournal(const TInPlaceJournal& j) {
    const bool undo = !j.NewFile.empty() && FileExists(j.NewFile);
    bool ok = true;
    for (size_t f = 0; f < j.Files.size(); ++f) {
        const TInPlaceJournal::TFile& file = j.Files[f];
        const int fd = ::open(file.Path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            ok = false;
            continue;
        }
        for (const TInPlaceJournal::TPatch& patch : j.Patches)
            if (patch.File == f)
                ok = PwriteAll(fd, undo ? patch.Old : patch.New, patch.Position) && ok;
        struct stat st {};
        const int64_t size = undo ? file.OldSize : file.NewSize;
        if (size >= 0 && ::fstat(fd, &st) == 0 && st.st_size > size)
            ok = ::ftruncate(fd, off_t(size)) == 0 && ok;
        ok = ::fsync(fd) == 0 && ok;
        ::close(fd);
    }
    if (!ok)
        return false;
    if (undo) {
        RemoveQuietly(j.NewFile);
        SyncFolder(j.NewFile);
    }
    return true;
}

// ResolveLinks for recovery, which must not fail: a loop of links is left as it is.
std::string ResolvedOrSame(const std::string& path) {
    try {
        return ResolveLinks(path);
    } catch (const EFileError&) {
        return path;
    }
}

} // namespace

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> buffer(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n;
        for (;;) {
            n = ::readlink(current.c_str(), buffer.data(), buffer.size());
            if (n < 0)
                return current; // replaced meanwhile: what is there now is the target
            if (size_t(n) < buffer.size())
                break;
            buffer.resize(buffer.size() * 2);
        }
        const std::string target(buffer.data(), size_t(n));
        current = !target.empty() && target[0] == '/' ? target : ExtractFilePath(current) + target;
    }
    throw EFileError(path, ErrorText(ELOOP));
}

std::string HiddenNameFor(const std::string& path, const std::string& suffix) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(NameHash(ExtractFileName(path))));
    return ExtractFilePath(path) + "." + hex + suffix;
}

std::string ReplacementNameFor(const std::string& path) {
    return HiddenNameFor(ResolveLinks(path), kReplacementSuffix);
}

std::string JournalNameFor(const std::string& path) {
    return HiddenNameFor(ResolveLinks(path), kJournalSuffix);
}

void ReplaceFilesAtomically(const std::string& DataFile,
                            const std::vector<std::pair<std::string, std::string>>& Pairs) {
    if (Pairs.empty())
        return;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [newFile, target] : Pairs) {
        const std::string resolved = ResolveLinks(target);
        // A rename across folders could cross file systems, and recovery follows only new files
        // that lie beside their targets.
        if (CanonicalFolderOf(newFile) != CanonicalFolderOf(resolved))
            throw EFileError(target,
                             "the new file " + newFile + " is not in the folder of " + resolved);
        pairs.emplace_back(newFile, resolved);
    }
    for (const auto& [newFile, target] : pairs)
        PrepareNewFile(newFile, target);
    if (pairs.size() == 1) {
        RenameOrThrow(pairs[0].first, pairs[0].second);
        SyncFolder(pairs[0].second);
        return;
    }
    const std::string journal = JournalNameFor(DataFile);
    WriteJournal(journal, pairs);
    size_t renamed = 0;
    try {
        for (const auto& [newFile, target] : pairs) {
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
    for (const auto& [newFile, target] : pairs)
        SyncFolder(target);
    RemoveQuietly(journal);
    SyncFolder(journal);
}

void RecoverReplacement(const std::string& DataFile, const std::vector<std::string>& Companions) {
    // A process that only looks leaves what it finds for the next program that edits.
    if (LookOnlyProcess())
        return;
    std::vector<std::string> files{DataFile};
    files.insert(files.end(), Companions.begin(), Companions.end());
    // The names as given (earlier versions did not follow links) and the files they lead to.
    std::vector<std::string> given, resolved, targets;
    for (const std::string& file : files) {
        given.push_back(file);
        resolved.push_back(ResolvedOrSame(file));
        targets.push_back(Canonical(given.back()));
        targets.push_back(Canonical(resolved.back()));
    }
    const std::string& data = resolved.front();

    std::vector<std::string> journals{HiddenNameFor(data, kJournalSuffix)};
    for (const std::string& name : {DataFile, data})
        journals.push_back(ExtractFilePath(name) + "." + ExtractFileName(name) + kOldJournalSuffix);
    bool journalFound = false;
    for (const std::string& journal : journals) {
        RemoveQuietly(journal + kDraftSuffix);
        if (!FileExists(journal))
            continue;
        journalFound = true;
        if (const std::vector<std::string> lines = JournalLines(journal);
            !lines.empty() && lines.front() == kInPlaceFirstLine) {
            const std::optional<TInPlaceJournal> change = ParseInPlaceJournal(lines, targets);
            if (change && !ApplyInPlaceJournal(*change))
                continue;
            RemoveQuietly(journal);
            SyncFolder(journal);
            continue;
        }
        for (const auto& [newFile, target] : ReadJournal(journal, targets))
            if (FileExists(newFile)) {
                (void)::rename(newFile.c_str(), target.c_str());
                SyncFolder(target);
            }
        RemoveQuietly(journal);
        SyncFolder(journal);
    }
    if (journalFound)
        return;

    // Without a journal no target was touched: whatever new files are left are incomplete.
    const std::string dataBase = FileNameWithoutExt(DataFile);
    for (size_t i = 0; i < files.size(); ++i) {
        RemoveQuietly(HiddenNameFor(resolved[i], kReplacementSuffix));
        for (const std::string& name : {given[i], resolved[i]})
            RemoveQuietly(ExtractFilePath(name) + "." + ExtractFileName(name) +
                          kOldReplacementSuffix);
        RemoveQuietly(ExtractFilePath(DataFile) + "." + dataBase + kOldCopyInfix +
                      ExtractFileExt(files[i]));
    }
    // A conversion into the library that was cut short leaves its unfinished work library (data
    // and index) under the library's hidden work name.
    const std::string workPrefix = ExtractFileName(HiddenNameFor(data, ".work."));
    std::vector<std::string> work;
    // The work files may not exist yet (the kill came while they were being created): their names
    // follow from the library's own, with its extensions in any case.
    for (const std::string& file : files) {
        std::string ext = ExtractFileExt(file), lower = ext, upper = ext;
        for (char& ch : lower)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        for (char& ch : upper)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
        for (const std::string& e : {ext, lower, upper})
            work.push_back(HiddenNameFor(data, ".work" + e));
    }
    if (DIR* dir = ::opendir(FolderOf(data).c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name).starts_with(workPrefix))
                work.push_back(ExtractFilePath(data) + entry->d_name);
        ::closedir(dir);
    }
    // With them go the temporaries and the journal of the work library's own saves.
    for (const std::string& name : work) {
        RemoveQuietly(HiddenNameFor(name, kReplacementSuffix));
        RemoveQuietly(HiddenNameFor(name, kJournalSuffix));
        RemoveQuietly(HiddenNameFor(name, kJournalSuffix) + kDraftSuffix);
        RemoveQuietly(name);
    }
    SyncFolder(data);
}

TInPlaceChange::TInPlaceChange(std::string DataFile)
    : FDataFile(ResolveLinks(DataFile)), FJournal(JournalNameFor(DataFile)) {}

TInPlaceChange::~TInPlaceChange() {
    if (!FDone)
        Undo();
}

size_t TInPlaceChange::FileOf(TFileStream& File, const std::string& Path) {
    for (size_t i = 0; i < FFiles.size(); ++i)
        if (FFiles[i].Stream == &File)
            return i;
    FFiles.push_back({&File, ResolveLinks(Path)});
    return FFiles.size() - 1;
}

void TInPlaceChange::Patch(TFileStream& File, const std::string& Path, int64_t Position,
                           std::span<const uint8_t> Bytes) {
    if (FBegun)
        throw EFileError(Path, "a patch after the change began");
    std::vector<uint8_t> old(Bytes.size(), 0);
    if (File.ReadAt(Position, old) != old.size())
        throw EFileError(Path, "a patch outside the file");
    size_t first = 0, last = Bytes.size();
    while (first < last && old[first] == Bytes[first])
        ++first;
    while (last > first && old[last - 1] == Bytes[last - 1])
        --last;
    if (first == last)
        return;
    TPatchBytes patch;
    patch.File = FileOf(File, Path);
    patch.Position = Position + int64_t(first);
    patch.Old.assign(old.begin() + long(first), old.begin() + long(last));
    patch.New.assign(Bytes.begin() + long(first), Bytes.begin() + long(last));
    FPatches.push_back(std::move(patch));
}

void TInPlaceChange::Grow(TFileStream& File, const std::string& Path, int64_t NewSize) {
    if (FBegun)
        throw EFileError(Path, "a file grown after the change began");
    const size_t i = FileOf(File, Path);
    FFiles[i].OldSize = File.Size();
    FFiles[i].NewSize = NewSize;
    FGrown.push_back(i);
}

TFileStream& TInPlaceChange::Replace(const std::string& Target) {
    if (FBegun || FNewStream)
        throw EFileError(Target, "a second replacement in one change");
    FTarget = ResolveLinks(Target);
    FNewFile = HiddenNameFor(FTarget, kReplacementSuffix);
    FNewStream = std::make_unique<TFileStream>(FNewFile, TFileStream::fmCreate, Target);
    return *FNewStream;
}

void TInPlaceChange::Begin() {
    if (!FGrown.empty() && FNewFile.empty())
        throw EFileError(FDataFile, "a file grown in place needs a replaced file to commit it");
    if (FNewStream) {
        FNewStream->Close();
        PrepareNewFile(FNewFile, FTarget);
    }
    std::string text = std::string(kInPlaceFirstLine) + "\n";
    const auto checkName = [](const std::string& name) {
        if (name.find('\n') != std::string::npos)
            throw EFileError(name, "a file name with a line break cannot be changed safely");
    };
    for (const TFile& file : FFiles) {
        checkName(file.Path);
        text += "file\n" + Canonical(file.Path) + "\n" + std::to_string(file.OldSize) + " " +
                std::to_string(file.NewSize) + "\n";
    }
    for (const TPatchBytes& patch : FPatches)
        text += "patch " + std::to_string(patch.File) + " " + std::to_string(patch.Position) + " " +
                HexOf(patch.Old) + " " + HexOf(patch.New) + "\n";
    if (!FNewFile.empty()) {
        checkName(FTarget);
        text += "replace\n" + Canonical(FNewFile) + "\n" + Canonical(FTarget) + "\n";
    }
    text += std::string(kJournalLastLine) + "\n";
    WriteJournalText(FJournal, text, FDataFile);
    FBegun = true;
}

void TInPlaceChange::Commit() {
    if (!FBegun)
        Begin();
    for (const TPatchBytes& patch : FPatches) {
        TFileStream& stream = *FFiles[patch.File].Stream;
        stream.Seek(patch.Position);
        stream.Write(patch.New);
    }
    for (const TFile& file : FFiles)
        file.Stream->Flush();
    if (!FNewFile.empty()) {
        RenameOrThrow(FNewFile, FTarget);
        SyncFolder(FTarget);
    }
    FDone = true;
    RemoveQuietly(FJournal);
    SyncFolder(FJournal);
}

void TInPlaceChange::Undo() noexcept {
    FNewStream.reset();
    if (!FBegun) {
        if (!FNewFile.empty())
            RemoveQuietly(FNewFile);
        return;
    }
    // Everything is put back before the journal goes; when that fails the journal stays, and the
    // next opening finishes or undoes the change by it.
    bool ok = true;
    try {
        for (const TPatchBytes& patch : FPatches) {
            TFileStream& stream = *FFiles[patch.File].Stream;
            stream.Seek(patch.Position);
            stream.Write(patch.Old);
        }
        for (size_t i : FGrown)
            FFiles[i].Stream->SetSize(FFiles[i].OldSize);
        for (const TFile& file : FFiles)
            file.Stream->Flush();
    } catch (...) {
        ok = false;
    }
    if (!ok)
        return;
    if (!FNewFile.empty())
        RemoveQuietly(FNewFile);
    RemoveQuietly(FJournal);
    SyncFolder(FJournal);
}

TFileReplacement::TFileReplacement(std::vector<std::string> Targets) {
    try {
        for (const std::string& target : Targets)
            FTargets.push_back(ResolveLinks(target));
        for (const std::string& target : FTargets) {
            FTemporaries.push_back(HiddenNameFor(target, kReplacementSuffix));
            FStreams.push_back(std::make_unique<TFileStream>(
                FTemporaries.back(), TFileStream::fmCreate, Targets[FStreams.size()]));
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
