#pragma once

#include "core/dib.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TFormatsTempDir {
public:
    TFormatsTempDir();
    ~TFormatsTempDir();
    TFormatsTempDir(const TFormatsTempDir&) = delete;
    TFormatsTempDir& operator=(const TFormatsTempDir&) = delete;

    // Path of a file in the folder.
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

std::vector<uint8_t> FileBytes(const std::string& fileName);
void SetFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);
int64_t FileLength(const std::string& fileName);

// A pixel buffer of the library layout (8 bits with DefaultPalette, 16 bits 5-6-5, 24 or 32) whose
// storage bytes follow a pattern given by seed, padding included.
std::unique_ptr<TDIB> PatternDIB(int width, int height, int bitCount, uint32_t seed);

// One record of a hand-built WIL library.
struct TWilTestRecord {
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
    std::vector<uint8_t> Payload;
};

// Writes a WIL data file and its index (extension IndexExt) with the short (56/48/12) or long
// (60/52/16) layout, independently of the library's own writer.
void WriteWilFiles(const std::string& dataFile, const std::string& indexExt, bool longLayout,
                   uint32_t colorCount, const std::vector<TWilTestRecord>& records);

// Spoils the Adler-32 of the zlib stream of image `index` of a compressed WZL library, so that
// the image no longer decodes.
void DamageWzlStream(const std::string& dataFile, int index);

} // namespace velmora::test
