#include "core/map_file_stream.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// The platform's read-only mapping, behind three small functions.

// Opens an existing file for reading; -1 on failure.
int OpenForMapping(const std::string& fileName) {
    int fd;
    do {
        fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Maps the whole file read-only; null when it is empty, not a regular file or cannot be mapped.
const uint8_t* MapWholeFile(int fd, int64_t& size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
        return nullptr;
    void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        return nullptr;
    (void)::madvise(p, size_t(st.st_size), MADV_RANDOM);
    size = int64_t(st.st_size);
    return static_cast<const uint8_t*>(p);
}

void UnmapFile(const uint8_t* memory, int64_t size) {
    ::munmap(const_cast<uint8_t*>(memory), size_t(size));
}

} // namespace

TMapFileStream::~TMapFileStream() {
    Release();
}

void TMapFileStream::Release() {
    if (FMemory)
        UnmapFile(FMemory, FSize);
    if (FFileHandle >= 0)
        ::close(FFileHandle);
    FMemory = nullptr;
    FFileHandle = -1;
    FSize = 0;
    FPosition = 0;
    FInitialized = false;
}

bool TMapFileStream::LoadFromFile(const std::string& FileName) {
    Release();
    FFileName = FileName;
    FFileHandle = OpenForMapping(FileName);
    if (FFileHandle < 0)
        return false;
    int64_t size = 0;
    const uint8_t* memory = MapWholeFile(FFileHandle, size);
    if (!memory) {
        Release();
        return false;
    }
    FMemory = memory;
    FSize = size;
    FInitialized = true;
    return true;
}

void TMapFileStream::SetPosition(int64_t Value) {
    if (Value <= FSize)
        FPosition = Value;
}

} // namespace velmora
