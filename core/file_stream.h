#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

// A file-system error while reading or writing: carries the path and the system's error text.
class EFileError : public std::runtime_error {
public:
    EFileError(const std::string& path, const std::string& what);
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

// Another program changed a library's file where it lies (a header patched, the file grown or cut)
// since this program read it: what is still to be read of it would not fit what was read, so the
// library must be read again.
class ELibraryChanged : public EFileError {
public:
    explicit ELibraryChanged(const std::string& path);
};

// An open file, read and written at an explicit position. Library files are opened for reading
// and writing with sharing allowed and stay open while the library is open.
class TFileStream {
public:
    enum TMode { fmOpenRead, fmOpenReadWrite, fmCreate };

    TFileStream();
    // Opens or creates the file; raises EFileError on failure. Errors name errorName when one is
    // given (a temporary file reports the file it is to replace).
    TFileStream(const std::string& fileName, TMode mode, std::string errorName = {});
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    TFileStream(TFileStream&& other) noexcept;
    TFileStream& operator=(TFileStream&& other) noexcept;
    ~TFileStream();

    bool IsOpen() const { return FHandle >= 0; }
    const std::string& FileName() const { return FFileName; }
    void Close();

    int64_t Size() const;
    int64_t Position() const { return FPosition; }
    void Seek(int64_t position) { FPosition = position; }

    // Reads up to buffer.size() bytes at the position; returns how many were read.
    size_t Read(std::span<uint8_t> buffer);
    // Reads exactly buffer.size() bytes or raises EFileError.
    void ReadBuffer(std::span<uint8_t> buffer);
    // Reads up to buffer.size() bytes at `position` without moving the stream's position, so that
    // several threads may read one open file at once; returns how many were read (fewer at the
    // end of the file). Raises EFileError on a read error.
    size_t ReadAt(int64_t position, std::span<uint8_t> buffer) const;
    // Tells the system whether reads coming next are scattered (no read-ahead) or not; only a
    // hint, so it never fails.
    void AdviseScattered(bool scattered) const;
    // Writes all bytes at the position or raises EFileError.
    void Write(std::span<const uint8_t> buffer);
    // Cuts or lengthens the file.
    void SetSize(int64_t size);
    // Flushes written data to the disk.
    void Flush();

    // Whether the open file was changed by someone else (its size or modification time differ)
    // since it was opened or since the last change this program made through this handle ended.
    // While such a change lasts (BeginOwnChange .. EndOwnChange) the answer is no. Safe on any
    // thread.
    bool ChangedElsewhere() const;
    // Brackets a change this program makes through this handle; calls may nest. The end takes the
    // file's size and modification time anew.
    void BeginOwnChange();
    void EndOwnChange();

    // Reads a whole file into memory; raises EFileError.
    static std::vector<uint8_t> ReadAll(const std::string& fileName);

private:
    // Raises EFileError unless the file is open and position is not negative.
    void CheckUsable(int64_t position) const;
    const std::string& ErrorName() const { return FErrorName.empty() ? FFileName : FErrorName; }

    struct TChangeWatch;

    int FHandle = -1;
    int64_t FPosition = 0;
    std::string FFileName;
    std::string FErrorName;
    std::unique_ptr<TChangeWatch> FWatch;
};

// Writes bytes to a file that replaces fileName: first under a temporary name beside it, then
// renamed over it, so the name holds the old file or the complete new one, never a part. Raises
// EFileError when the temporary file cannot be created; false when a write or the rename fails
// (the temporary file is then removed and fileName left as it was).
bool WriteFileThroughTemporary(const std::string& fileName, std::span<const uint8_t> bytes);

bool FileExists(const std::string& fileName);
// Makes this process one that only looks at libraries (a thumbnailer): every library file is
// opened for reading alone, no attribute is changed and no interrupted save is recovered, so that
// nothing on disk changes. Set once at start, before any library is opened.
void SetLookOnlyProcess();
bool LookOnlyProcess();
// Clears a read-only attribute so that the file can be written (Unix: adds the owner's write
// permission). Ignores failures. Does nothing in a look-only process.
void ResetFileAttributes(const std::string& fileName);
// Finds an existing file whatever the case of its extension (a.WIX, a.wix, a.Wix): returns the
// existing path, or the given one when none exists.
std::string FindFileAnyCaseExt(const std::string& fileName);
// Number of processors the program may use.
int ProcessorCount();
// Makes a write past the process's file-size limit fail with an error (EFBIG) instead of ending
// the process, so that a save can clean up and report it. Called once at start.
void IgnoreFileSizeSignal();

} // namespace velmora
