#pragma once

// Helpers for the Pak container and cipher tests: scratch folders and test pictures.

#include "core/dib.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace velmora::test {

// A fresh, empty folder under the system's temporary folder, removed again on destruction.
class TPakScratchDir {
public:
    explicit TPakScratchDir(const std::string& tag);
    ~TPakScratchDir();
    TPakScratchDir(const TPakScratchDir&) = delete;
    TPakScratchDir& operator=(const TPakScratchDir&) = delete;
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// A buffer of the given size and bit count (16 bits as 5-6-5, 8 bits with the default palette)
// whose storage bytes follow a pattern derived from seed; padding bytes stay 0.
std::unique_ptr<TDIB> MakePatternDIB(int width, int height, int bitCount, uint32_t seed);

// An 8-bit alpha buffer of the given size with values derived from seed.
std::unique_ptr<TDIB> MakeAlphaDIB(int width, int height, uint32_t seed);

// True when both buffers have the same size, bit count and storage bytes.
bool SameStorage(const TDIB& a, const TDIB& b);

} // namespace velmora::test
