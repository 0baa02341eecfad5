#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Maps a whole file read-only into memory so that it can be scanned as one block of bytes.
class TMapFileStream {
public:
    TMapFileStream() = default;
    TMapFileStream(const TMapFileStream&) = delete;
    TMapFileStream& operator=(const TMapFileStream&) = delete;
    ~TMapFileStream();

    // Releases any mapping, then maps FileName. False (nothing open) when the file is missing,
    // empty or cannot be mapped.
    bool LoadFromFile(const std::string& FileName);

    const std::string& FileName() const { return FFileName; }
    int64_t Position() const { return FPosition; }
    // Ignored when Value > Size.
    void SetPosition(int64_t Value);
    int64_t Size() const { return FSize; }
    // The mapping is read-only: does nothing.
    void SetSize(int64_t) {}
    const uint8_t* Memory() const { return FMemory; }
    bool Initialized() const { return FInitialized; }

private:
    void Release();

    std::string FFileName;
    int FFileHandle = -1;
    const uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    bool FInitialized = false;
};

} // namespace velmora
