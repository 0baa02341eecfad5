#include "support/pak_support.h"

#include "core/palette.h"

#include <atomic>
#include <cstring>
#include <unistd.h>

namespace velmora::test {

TPakScratchDir::TPakScratchDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    FPath = std::filesystem::temp_directory_path() /
            ("velmora_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
}

TPakScratchDir::~TPakScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

namespace {

void PrepareFormat(TDIB& dib, int bitCount) {
    if (bitCount == 16)
        dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    else
        dib.SetPixelFormat(MakePixelFormat(8, 8, 8));
    if (bitCount <= 8) {
        dib.ColorTable() = DefaultPalette;
        dib.UpdatePalette();
    }
}

} // namespace

std::unique_ptr<TDIB> MakePatternDIB(int width, int height, int bitCount, uint32_t seed) {
    auto dib = std::make_unique<TDIB>();
    PrepareFormat(*dib, bitCount);
    dib->SetSize(width, height, bitCount);
    if (dib->Empty())
        return dib;
    const int rowBytes = (width * bitCount + 7) / 8;
    uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = dib->ScanLine(y);
        for (int x = 0; x < rowBytes; ++x) {
            state = state * 1103515245u + 12345u;
            // Runs of equal bytes make the data compressible, like real sprites.
            row[x] = uint8_t(((x / 4) * 7 + y * 3 + seed) ^ ((state >> 28) & 1));
        }
    }
    return dib;
}

std::unique_ptr<TDIB> MakeAlphaDIB(int width, int height, uint32_t seed) {
    auto dib = std::make_unique<TDIB>();
    PrepareFormat(*dib, 8);
    dib->SetSize(width, height, 8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            dib->SetPixel(x, y, uint8_t(x * 17 + y * 29 + seed));
    return dib;
}

bool SameStorage(const TDIB& a, const TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount())
        return false;
    if (a.Size() == 0)
        return b.Size() == 0;
    return std::memcmp(a.PBits(), b.PBits(), size_t(a.Size())) == 0;
}

} // namespace velmora::test
