#include "core/file_stream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <unistd.h>

namespace velmora {

namespace {

std::string SystemErrorText(int error) {
    return std::strerror(error);
}

[[noreturn]] void RaiseFileError(const std::string& path, int error) {
    throw EFileError(path, SystemErrorText(error));
}

char FoldCase(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

} // namespace

EFileError::EFileError(const std::string& path, const std::string& what)
    : std::runtime_error(path + ": " + what), FPath(path) {}

ELibraryChanged::ELibraryChanged(const std::string& path)
    : EFileError(path,
                 "another program changed the file since it was read; it must be read again") {}

// What tells whether an open file changed since this handle last looked: its size and modification
// time, and how many changes this process began or ended on the file through any handle (the
// system's modification time is only as fine as its clock tick, which two quick changes from one
// process can share).
struct TFileStream::TChangeWatch {
    std::mutex Lock;
    uint64_t Device = 0, Inode = 0;
    int64_t Size = -1;
    int64_t ModifiedNs = -1;
    uint64_t Generation = 0;
    int OwnChanges = 0;
};

namespace {

struct TFileKey {
    uint64_t Device, Inode;
    friend bool operator<(const TFileKey& a, const TFileKey& b) {
        return std::tie(a.Device, a.Inode) < std::tie(b.Device, b.Inode);
    }
};

// Changes this process made to each file it changed through a handle, counted.
std::mutex g_GenerationsLock;
std::map<TFileKey, uint64_t> g_Generations;

uint64_t GenerationOf(uint64_t device, uint64_t inode, bool next) {
    std::lock_guard lock(g_GenerationsLock);
    uint64_t& generation = g_Generations[{device, inode}];
    if (next)
        ++generation;
    return generation;
}

struct TSizeAndTime {
    int64_t Size = -1, ModifiedNs = -1;
    uint64_t Device = 0, Inode = 0;
};

// Size, modification time and identity of an open file; sizes -1 when it cannot be told.
TSizeAndTime SizeAndTime(int handle) {
    struct stat st {};
    if (handle < 0 || ::fstat(handle, &st) != 0)
        return {};
    return {int64_t(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec),
            uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

} // namespace

TFileStream::TFileStream() = default;

TFileStream::TFileStream(const std::string& fileName, TMode mode, std::string errorName)
    : FFileName(fileName), FErrorName(std::move(errorName)) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case fmOpenRead:
        flags |= O_RDONLY;
        break;
    case fmOpenReadWrite:
        flags |= O_RDWR;
        break;
    case fmCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    int fd;
    do {
        fd = ::open(fileName.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseFileError(ErrorName(), errno);
    FHandle = fd;
    FWatch = std::make_unique<TChangeWatch>();
    const TSizeAndTime now = SizeAndTime(FHandle);
    FWatch->Device = now.Device;
    FWatch->Inode = now.Inode;
    FWatch->Size = now.Size;
    FWatch->ModifiedNs = now.ModifiedNs;
    FWatch->Generation = GenerationOf(now.Device, now.Inode, false);
}

TFileStream::TFileStream(TFileStream&& other) noexcept
    : FHandle(other.FHandle), FPosition(other.FPosition), FFileName(std::move(other.FFileName)),
      FErrorName(std::move(other.FErrorName)), FWatch(std::move(other.FWatch)) {
    other.FHandle = -1;
    other.FPosition = 0;
}

TFileStream& TFileStream::operator=(TFileStream&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        FPosition = other.FPosition;
        FFileName = std::move(other.FFileName);
        FErrorName = std::move(other.FErrorName);
        FWatch = std::move(other.FWatch);
        other.FHandle = -1;
        other.FPosition = 0;
    }
    return *this;
}

TFileStream::~TFileStream() {
    Close();
}

void TFileStream::Close() {
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    FPosition = 0;
}

int64_t TFileStream::Size() const {
    if (FHandle < 0)
        throw EFileError(ErrorName(), "file is not open");
    struct stat st {};
    if (::fstat(FHandle, &st) != 0)
        RaiseFileError(ErrorName(), errno);
    return int64_t(st.st_size);
}

size_t TFileStream::Read(std::span<uint8_t> buffer) {
    const size_t done = ReadAt(FPosition, buffer);
    FPosition += int64_t(done);
    return done;
}

void TFileStream::CheckUsable(int64_t position) const {
    if (FHandle < 0)
        throw EFileError(ErrorName(), "file is not open");
    if (position < 0)
        throw EFileError(ErrorName(), "negative file position");
}

void TFileStream::AdviseScattered(bool scattered) const {
    if (FHandle >= 0)
        ::posix_fadvise(FHandle, 0, 0, scattered ? POSIX_FADV_RANDOM : POSIX_FADV_NORMAL);
}

size_t TFileStream::ReadAt(int64_t position, std::span<uint8_t> buffer) const {
    CheckUsable(position);
    size_t done = 0;
    while (done < buffer.size()) {
        ssize_t n = ::pread(FHandle, buffer.data() + done, buffer.size() - done,
                            off_t(position + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError(ErrorName(), errno);
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void TFileStream::ReadBuffer(std::span<uint8_t> buffer) {
    if (Read(buffer) != buffer.size())
        throw EFileError(ErrorName(), "unexpected end of file");
}

void TFileStream::Write(std::span<const uint8_t> buffer) {
    CheckUsable(FPosition);
    size_t done = 0;
    while (done < buffer.size()) {
        ssize_t n = ::pwrite(FHandle, buffer.data() + done, buffer.size() - done,
                             off_t(FPosition + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError(ErrorName(), errno);
        }
        if (n == 0)
            throw EFileError(ErrorName(), "no space written");
        done += size_t(n);
    }
    FPosition += int64_t(done);
}

void TFileStream::SetSize(int64_t size) {
    if (FHandle < 0)
        throw EFileError(ErrorName(), "file is not open");
    if (size < 0)
        throw EFileError(ErrorName(), "negative file size");
    int rc;
    do {
        rc = ::ftruncate(FHandle, off_t(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        RaiseFileError(ErrorName(), errno);
}

void TFileStream::Flush() {
    if (FHandle < 0)
        return;
    if (::fsync(FHandle) != 0 && errno != EINVAL && errno != EROFS)
        RaiseFileError(ErrorName(), errno);
}

bool TFileStream::ChangedElsewhere() const {
    if (!FWatch)
        return false;
    std::lock_guard lock(FWatch->Lock);
    if (FWatch->OwnChanges > 0)
        return false;
    const TSizeAndTime now = SizeAndTime(FHandle);
    return now.Size != FWatch->Size || now.ModifiedNs != FWatch->ModifiedNs ||
           GenerationOf(FWatch->Device, FWatch->Inode, false) != FWatch->Generation;
}

void TFileStream::BeginOwnChange() {
    if (!FWatch)
        return;
    std::lock_guard lock(FWatch->Lock);
    // Every other handle on the file now sees it changed.
    GenerationOf(FWatch->Device, FWatch->Inode, true);
    ++FWatch->OwnChanges;
}

void TFileStream::EndOwnChange() {
    if (!FWatch)
        return;
    std::lock_guard lock(FWatch->Lock);
    if (FWatch->OwnChanges == 0 || --FWatch->OwnChanges > 0)
        return;
    const TSizeAndTime now = SizeAndTime(FHandle);
    FWatch->Size = now.Size;
    FWatch->ModifiedNs = now.ModifiedNs;
    FWatch->Generation = GenerationOf(FWatch->Device, FWatch->Inode, true);
}

std::vector<uint8_t> TFileStream::ReadAll(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead);
    int64_t size = f.Size();
    std::vector<uint8_t> data;
    if (size > 0) {
        data.resize(size_t(size));
        size_t got = f.Read(data);
        data.resize(got);
    } else {
        // Files whose size the system does not report (pipes, /proc) are read to their end.
        uint8_t chunk[65536];
        for (;;) {
            size_t got = f.Read(chunk);
            if (got == 0)
                break;
            data.insert(data.end(), chunk, chunk + got);
        }
    }
    return data;
}

bool WriteFileThroughTemporary(const std::string& fileName, std::span<const uint8_t> bytes) {
    const std::string temporary = fileName + ".part";
    {
        TFileStream file(temporary, TFileStream::fmCreate);
        try {
            file.Write(bytes);
        } catch (const EFileError&) {
            file.Close();
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (::rename(temporary.c_str(), fileName.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {
std::atomic<bool> g_LookOnly{false};
} // namespace

void SetLookOnlyProcess() {
    g_LookOnly = true;
}

bool LookOnlyProcess() {
    return g_LookOnly;
}

void ResetFileAttributes(const std::string& fileName) {
    if (LookOnlyProcess())
        return;
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return;
    if ((st.st_mode & S_IWUSR) == 0)
        (void)::chmod(fileName.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

std::string FindFileAnyCaseExt(const std::string& fileName) {
    if (FileExists(fileName))
        return fileName;
    size_t slash = fileName.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return fileName;
    std::string stem = name.substr(0, dot);
    std::string ext = name.substr(dot);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return fileName;
    std::string found;
    while (dirent* entry = ::readdir(dir)) {
        std::string candidate = entry->d_name;
        if (candidate.size() != name.size() || candidate.compare(0, stem.size(), stem) != 0)
            continue;
        if (!SameTextAscii(candidate.substr(dot), ext))
            continue;
        if (!FileExists(folder + candidate))
            continue;
        // Several spellings may exist; take the first in name order so the choice is stable.
        if (found.empty() || candidate < found)
            found = candidate;
    }
    ::closedir(dir);
    return found.empty() ? fileName : folder + found;
}

int ProcessorCount() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (n < 1)
        n = long(std::thread::hardware_concurrency());
    return int(std::max(1L, n));
}

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace velmora
