#pragma once

#include "core/dib.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::files_test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    // The folder with a trailing separator.
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

std::vector<uint8_t> ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

// Pixels as red, green, blue, alpha bytes, top row first.
struct TRgba {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;
    const uint8_t* At(int x, int y) const { return &Pixels[(size_t(y) * Width + x) * 4]; }
    uint8_t* At(int x, int y) { return &Pixels[(size_t(y) * Width + x) * 4]; }
};

// A test picture with many different colours; `colours` > 0 limits it to that many, `alpha`
// gives every pixel a varying alpha (else 255).
TRgba MakePattern(int width, int height, int colours, bool alpha);

// The colours of a bitmap through its palette or masks; alpha from the top bytes when asked and
// the bitmap has 32 bits, else 255.
TRgba RgbaOf(const TDIB& bitmap, bool alphaFromTopByte);

// A 24-bit (or 32-bit with alpha) bitmap holding the picture.
TDIB DIBOf(const TRgba& picture, int bitCount);

// The ImageMagick command-line program is installed.
bool HaveImageMagick();
// Runs convert with the arguments (already quoted); true on exit status 0.
bool RunConvert(const std::string& arguments);
// Writes the picture as a raw RGBA file that `convert -size WxH -depth 8 rgba:FILE` reads.
std::string RawInput(const TRgba& picture, const std::string& fileName);
// The picture as ImageMagick reads it (orientation applied), or nothing when it cannot.
std::optional<TRgba> ReadWithImageMagick(const std::string& fileName);
std::string Quote(const std::string& text);

} // namespace velmora::files_test
