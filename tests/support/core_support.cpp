#include "support/core_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmora::core_test {

TCoreTempDir::TCoreTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-core-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    FPath = pattern + "/";
}

TCoreTempDir::~TCoreTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TDIB PatternDIB(int width, int height, int bitCount, bool format555) {
    TDIB dib;
    if (bitCount == 16)
        dib.SetPixelFormat(format555 ? MakePixelFormat(5, 5, 5) : MakePixelFormat(5, 6, 5));
    dib.SetSize(width, height, bitCount);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t v = uint32_t(x * 7 + y * 13 + x * y * 3 + 1);
            switch (bitCount) {
            case 1:
                v &= 1;
                break;
            case 4:
                v &= 15;
                break;
            case 8:
                v &= 255;
                break;
            case 16:
                v = (v * 2654435761u) & (format555 ? 0x7FFF : 0xFFFF);
                break;
            case 24:
                v = (v * 2654435761u) & 0xFFFFFF;
                break;
            default:
                v = v * 2654435761u;
            }
            dib.SetPixel(x, y, v);
        }
    return dib;
}

bool SamePixels(const TDIB& a, const TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                return false;
    return true;
}

} // namespace velmora::core_test
