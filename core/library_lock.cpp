#include "core/library_lock.h"

#include "core/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velmora {

namespace {

bool SameFile(int fd, const std::string& path) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

ELibraryBusy::ELibraryBusy(const std::string& path)
    : EFileError(path, "the library is being changed by another program") {}

TLibraryLock::TLibraryLock(const std::string& Path, std::chrono::milliseconds Timeout) {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    auto pause = std::chrono::milliseconds(2);
    for (;;) {
        // Read access is enough for flock, so a library on read-only media can still be locked
        // (its edits are refused elsewhere).
        const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw EFileError(Path, std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (SameFile(fd, Path)) {
                FHandle = fd;
                return;
            }
            // The holder saved a new file under the name while we waited: lock that one.
            ::close(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK && error != EINTR)
            throw EFileError(Path, std::strerror(error));
        if (std::chrono::steady_clock::now() >= deadline)
            throw ELibraryBusy(Path);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

TLibraryLock TLibraryLock::TryToLock(const std::string& Path) {
    try {
        return TLibraryLock(Path, std::chrono::milliseconds(0));
    } catch (const ELibraryBusy&) {
        return TLibraryLock();
    }
}

TLibraryLock::TLibraryLock(TLibraryLock&& Other) noexcept : FHandle(Other.FHandle) {
    Other.FHandle = -1;
}

TLibraryLock& TLibraryLock::operator=(TLibraryLock&& Other) noexcept {
    if (this != &Other) {
        Release();
        FHandle = Other.FHandle;
        Other.FHandle = -1;
    }
    return *this;
}

TLibraryLock::~TLibraryLock() {
    Release();
}

void TLibraryLock::Release() {
    if (FHandle >= 0) {
        ::close(FHandle); // closing the last descriptor releases the lock
        FHandle = -1;
    }
}

TFolderLock::TFolderLock(const std::string& FileInFolder, TMode Mode,
                         std::chrono::milliseconds Timeout) {
    const int fd = ::open(FolderOf(FileInFolder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    const int operation = Mode == flShared ? LOCK_SH : LOCK_EX;
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            FHandle = fd;
            return;
        }
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            // A file system without locks: nothing to wait for.
            ::close(fd);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            throw ELibraryBusy(FileInFolder);
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

TFolderLock::TFolderLock(TFolderLock&& Other) noexcept : FHandle(Other.FHandle) {
    Other.FHandle = -1;
}

TFolderLock& TFolderLock::operator=(TFolderLock&& Other) noexcept {
    if (this != &Other) {
        Release();
        FHandle = Other.FHandle;
        Other.FHandle = -1;
    }
    return *this;
}

TFolderLock::~TFolderLock() {
    Release();
}

void TFolderLock::Release() {
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
}

TFileStamp FileStampOf(const std::string& Path) {
    TFileStamp stamp;
    struct stat st {};
    if (Path.empty() || ::stat(Path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return stamp;
    stamp.Exists = true;
    stamp.Device = uint64_t(st.st_dev);
    stamp.Inode = uint64_t(st.st_ino);
    stamp.Size = int64_t(st.st_size);
    stamp.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
    return stamp;
}

} // namespace velmora
