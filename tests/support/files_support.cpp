#include "support/files_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmora::files_test {

TTempFolder::TTempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora-files-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern + "/";
}

TTempFolder::~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::vector<uint8_t> ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TRgba MakePattern(int width, int height, int colours, bool alpha) {
    TRgba p{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.At(x, y);
            if (colours > 0) {
                const int i = (x * 7 + y * 3) % colours;
                px[0] = uint8_t(i * 53 + 11);
                px[1] = uint8_t(255 - i * 17);
                px[2] = uint8_t(i * 101 + 40);
            } else {
                px[0] = uint8_t(x * 37 + y * 3);
                px[1] = uint8_t(y * 29 + 7);
                px[2] = uint8_t((x ^ y) * 13);
            }
            px[3] = alpha ? uint8_t((x * 41 + y * 67) % 256) : 255;
        }
    }
    return p;
}

TRgba RgbaOf(const TDIB& bitmap, bool alphaFromTopByte) {
    TRgba p{bitmap.Width(), bitmap.Height(),
            std::vector<uint8_t>(size_t(bitmap.Width()) * bitmap.Height() * 4)};
    for (int y = 0; y < p.Height; ++y) {
        for (int x = 0; x < p.Width; ++x) {
            const TColor c = bitmap.PixelColor(x, y);
            uint8_t* px = p.At(x, y);
            px[0] = RedOf(c);
            px[1] = GreenOf(c);
            px[2] = BlueOf(c);
            px[3] = alphaFromTopByte && bitmap.BitCount() == 32
                        ? uint8_t(bitmap.ScanLine(y)[x * 4 + 3])
                        : 255;
        }
    }
    return p;
}

TDIB DIBOf(const TRgba& picture, int bitCount) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(8, 8, 8));
    dib.SetSize(picture.Width, picture.Height, bitCount);
    const int b = bitCount / 8;
    for (int y = 0; y < picture.Height; ++y) {
        uint8_t* row = dib.ScanLine(y);
        for (int x = 0; x < picture.Width; ++x) {
            const uint8_t* px = picture.At(x, y);
            row[x * b] = px[2];
            row[x * b + 1] = px[1];
            row[x * b + 2] = px[0];
            if (b == 4)
                row[x * b + 3] = px[3];
        }
    }
    return dib;
}

std::string Quote(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool HaveImageMagick() {
    static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
    return have;
}

bool RunConvert(const std::string& arguments) {
    const int status = std::system(("convert " + arguments + " >/dev/null 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string RawInput(const TRgba& picture, const std::string& fileName) {
    WriteBytes(fileName, picture.Pixels);
    return "-size " + std::to_string(picture.Width) + "x" + std::to_string(picture.Height) +
           " -depth 8 rgba:" + Quote(fileName);
}

std::optional<TRgba> ReadWithImageMagick(const std::string& fileName) {
    FILE* pipe =
        popen(("identify -format '%w %h' " + Quote(fileName) + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    int w = 0, h = 0;
    const int got = std::fscanf(pipe, "%d %d", &w, &h);
    pclose(pipe);
    if (got != 2 || w < 1 || h < 1)
        return std::nullopt;
    const std::string raw = fileName + ".rgba";
    if (!RunConvert(Quote(fileName) + " -auto-orient -depth 8 rgba:" + Quote(raw)))
        return std::nullopt;
    TRgba p{w, h, ReadBytes(raw)};
    std::filesystem::remove(raw);
    if (p.Pixels.size() != size_t(w) * h * 4)
        return std::nullopt;
    return p;
}

} // namespace velmora::files_test
