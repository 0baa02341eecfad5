#include "support/formats_support.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/palette.h"
#include "core/utils.h"
#include "formats/image_info.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace velmora::test {

TFormatsTempDir::TFormatsTempDir() {
    static std::atomic<int> counter{0};
    const auto base =
        std::filesystem::temp_directory_path() /
        ("velmora-formats-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    FPath = base.string();
}

TFormatsTempDir::~TFormatsTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::vector<uint8_t> FileBytes(const std::string& fileName) {
    return TFileStream::ReadAll(fileName);
}

void SetFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    TFileStream file(fileName, TFileStream::fmCreate);
    file.Write(bytes);
    file.SetSize(int64_t(bytes.size()));
}

int64_t FileLength(const std::string& fileName) {
    return int64_t(std::filesystem::file_size(fileName));
}

std::unique_ptr<TDIB> PatternDIB(int width, int height, int bitCount, uint32_t seed) {
    auto dib = MakeLibraryBuffer(bitCount, width, height);
    std::mt19937 random(seed);
    uint8_t* bits = dib->PBits();
    for (int i = 0; i < dib->Size(); ++i)
        bits[i] = uint8_t(random());
    return dib;
}

void WriteWilFiles(const std::string& dataFile, const std::string& indexExt, bool longLayout,
                   uint32_t colorCount, const std::vector<TWilTestRecord>& records) {
    const size_t fileHeader = longLayout ? 60 : 56;
    const size_t indexHeader = longLayout ? 52 : 48;
    const size_t imageHeader = longLayout ? 16 : 12;
    std::vector<uint8_t> data(fileHeader + 1024, 0);
    const char title[] = "Test library";
    data[0] = uint8_t(sizeof(title) - 1);
    std::memcpy(data.data() + 1, title, sizeof(title) - 1);
    PutI32(data.data() + 44, int32_t(records.size()));
    PutU32(data.data() + 48, colorCount);
    PutI32(data.data() + 52, 1080);
    if (longLayout)
        PutI32(data.data() + 56, 1234); // any value but 0 and -1 selects the long layout
    for (size_t i = 0; i < 256; ++i) {
        uint8_t* p = data.data() + fileHeader + i * 4;
        p[0] = DefaultPalette[i].rgbBlue;
        p[1] = DefaultPalette[i].rgbGreen;
        p[2] = DefaultPalette[i].rgbRed;
    }
    std::vector<uint8_t> index(indexHeader, 0);
    std::memcpy(index.data(), data.data(), 44);
    PutI32(index.data() + 44, int32_t(records.size()));
    for (const TWilTestRecord& record : records) {
        uint8_t position[4];
        PutI32(position, int32_t(data.size()));
        index.insert(index.end(), position, position + 4);
        std::vector<uint8_t> header(imageHeader, 0);
        PutI16(header.data(), record.Width);
        PutI16(header.data() + 2, record.Height);
        PutI16(header.data() + 4, record.X);
        PutI16(header.data() + 6, record.Y);
        data.insert(data.end(), header.begin(), header.end());
        data.insert(data.end(), record.Payload.begin(), record.Payload.end());
    }
    SetFileBytes(dataFile, data);
    SetFileBytes(ExtractFilePath(dataFile) + FileNameWithoutExt(dataFile) + indexExt, index);
}

void DamageWzlStream(const std::string& dataFile, int index) {
    auto le32 = [](const std::vector<uint8_t>& b, size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
               uint32_t(b[at + 3]) << 24;
    };
    // The index: a 48-byte header, then one 32-bit record position per image.
    const std::vector<uint8_t> wzx =
        FileBytes(ExtractFilePath(dataFile) + FileNameWithoutExt(dataFile) + ".wzx");
    const size_t record = le32(wzx, 48 + 4 * size_t(index));
    std::vector<uint8_t> data = FileBytes(dataFile);
    // The record: a 16-byte header ending in the stream's length, then the stream.
    const size_t length = le32(data, record + 12);
    if (length < 6 || record + 16 + length > data.size())
        throw std::runtime_error(dataFile + ": image " + std::to_string(index) +
                                 " holds no zlib stream");
    data[record + 16 + length - 1] ^= 0x5A;
    SetFileBytes(dataFile, data);
}

} // namespace velmora::test
