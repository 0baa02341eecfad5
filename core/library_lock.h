#pragma once

#include "core/file_stream.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace velmora {

// Another program holds the library's edit lock and did not release it in time.
class ELibraryBusy : public EFileError {
public:
    explicit ELibraryBusy(const std::string& path);
};

// An exclusive advisory lock (flock) on a library's data file, held for the span of one edit, so
// that two programs changing one library take turns. A save replaces the data file by a new one
// under the same name; a lock won on the file that name no longer stands for is given up and
// taken again on the current one.
class TLibraryLock {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

    TLibraryLock() = default;
    // Waits up to Timeout for the lock. Raises ELibraryBusy after it, EFileError when the file
    // cannot be opened.
    explicit TLibraryLock(const std::string& Path,
                          std::chrono::milliseconds Timeout = kDefaultTimeout);
    TLibraryLock(TLibraryLock&& Other) noexcept;
    TLibraryLock& operator=(TLibraryLock&& Other) noexcept;
    TLibraryLock(const TLibraryLock&) = delete;
    TLibraryLock& operator=(const TLibraryLock&) = delete;
    ~TLibraryLock();

    // The lock when no other holder has it now, else an unlocked object (Locked() false). Raises
    // EFileError when the file cannot be opened.
    static TLibraryLock TryToLock(const std::string& Path);

    bool Locked() const { return FHandle >= 0; }
    void Release();

private:
    int FHandle = -1;
};

// A lock on the folder that holds a library's data file, short-lived where the library lock lasts
// a whole edit: a save holds it exclusively while it makes its changes visible (renames over the
// library's files, bytes written where they lie, a recovery), and an open holds it shared while it
// reads the index and the headers. So a reader sees the files all old or all new, and never waits
// for an edit that is still being built. Folders that cannot be opened are not locked.
class TFolderLock {
public:
    enum TMode : uint8_t { flShared, flExclusive };
    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};

    TFolderLock() = default;
    // Waits up to Timeout. Raises ELibraryBusy (naming FileInFolder) after it.
    TFolderLock(const std::string& FileInFolder, TMode Mode,
                std::chrono::milliseconds Timeout = kDefaultTimeout);
    TFolderLock(TFolderLock&& Other) noexcept;
    TFolderLock& operator=(TFolderLock&& Other) noexcept;
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    ~TFolderLock();

    void Release();

private:
    int FHandle = -1;
};

// What tells whether a file changed since it was read, without reading it: the file it is
// (device and inode, following links), its size and its modification time.
struct TFileStamp {
    bool Exists = false;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

TFileStamp FileStampOf(const std::string& Path);

} // namespace velmora
