#pragma once

// Helpers for the tests of core/.

#include "core/dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::core_test {

// A fresh folder under the system's temporary folder, removed with its content.
class TCoreTempDir {
public:
    TCoreTempDir();
    ~TCoreTempDir();
    TCoreTempDir(const TCoreTempDir&) = delete;
    TCoreTempDir& operator=(const TCoreTempDir&) = delete;
    // The folder with a trailing '/'.
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

// A buffer of the given size and bit count whose pixels differ (deterministic pattern); 16 bits
// use 5-6-5 unless `format555`.
TDIB PatternDIB(int width, int height, int bitCount, bool format555 = false);

// True when both buffers have the same size and bit count and every pixel the same raw value.
bool SamePixels(const TDIB& a, const TDIB& b);

} // namespace velmora::core_test
