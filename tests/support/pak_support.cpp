#include "support/pak_support.h"

#include "core/checked.h"
#include "core/palette.h"
#include "protection/cipher.h"
#include "protection/password_text.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
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

namespace {

int HeaderOffsetOf(int variant) {
    return variant == 2 ? 13 : variant == 1 ? 10 : 5;
}
int DataBaseOf(int variant) {
    return variant == 2 ? 269 : variant == 1 ? 266 : 262;
}

} // namespace

std::vector<uint8_t> NewRecordHeader(uint8_t kind, uint8_t alpha, int width, int height, int x,
                                     int y, int32_t dataLength) {
    std::vector<uint8_t> h(16, 0);
    h[0] = kind;
    h[3] = alpha;
    PutI16(&h[4], width);
    PutI16(&h[6], height);
    PutI16(&h[8], x);
    PutI16(&h[10], y);
    PutI32(&h[12], dataLength);
    return h;
}

std::vector<uint8_t> OldRecordHeader(int32_t packing, int width, int height, int x, int y) {
    std::vector<uint8_t> h(12, 0);
    PutI32(&h[0], packing);
    PutI16(&h[4], width);
    PutI16(&h[6], height);
    PutI16(&h[8], x);
    PutI16(&h[10], y);
    return h;
}

std::vector<uint8_t> BuildPakFile(const TPakTestFile& fileLayout) {
    const int headerOffset = HeaderOffsetOf(fileLayout.Variant);
    const int base = DataBaseOf(fileLayout.Variant);
    const TPakKey key = DeriveKey(PasswordKeyText(fileLayout.Password).value());
    std::vector<uint8_t> file(size_t(base), 0);
    if (fileLayout.Variant == 0) {
        std::memcpy(file.data(), fileLayout.Variant0Magic.data(),
                    std::min<size_t>(fileLayout.Variant0Magic.size(), 13));
    } else {
        const std::string magic = fileLayout.Variant == 2 ? "QUILLRAND2" : "QUILLRAND";
        file[0] = uint8_t(magic.size());
        std::memcpy(&file[1], magic.data(), magic.size());
    }

    const bool newLayout = fileLayout.bfType != 0;
    const size_t count = fileLayout.Records.size();
    std::vector<uint8_t> index(count * (newLayout ? 4 : 8), 0);
    std::vector<uint8_t> body;
    size_t position = size_t(base) + (newLayout ? index.size() : 0);
    for (size_t i = 0; i < count; ++i) {
        const TPakTestRecord& r = fileLayout.Records[i];
        if (r.Header.empty())
            continue;
        std::vector<uint8_t> header(r.Header.size());
        EncryptChained(r.Header.data(), header.data(), header.size(), key);
        if (newLayout) {
            PutI32(&index[i * 4], int32_t(position));
        } else {
            PutI32(&index[i * 8], int32_t(position));
            PutI32(&index[i * 8 + 4], int32_t(r.Payload.size()));
        }
        body.insert(body.end(), header.begin(), header.end());
        body.insert(body.end(), r.Payload.begin(), r.Payload.end());
        position += header.size() + r.Payload.size();
    }
    EncryptChained(index.data(), index.data(), index.size(), key);

    std::vector<uint8_t> header(256, 0);
    header[1] = 4;
    std::memcpy(&header[2], "test", 4);
    PutU32(&header[42], uint32_t(base));
    PutU32(&header[46], uint32_t(count));
    header[50] = fileLayout.bfType;
    PutU32(&header[54], uint32_t(newLayout ? base : position));
    PutU16(&header[58], fileLayout.BitCount);
    if (!fileLayout.CheckText.empty()) {
        header[68] = uint8_t(fileLayout.CheckText.size());
        EncryptChained(reinterpret_cast<const uint8_t*>(fileLayout.CheckText.data()), &header[69],
                       fileLayout.CheckText.size(), key);
    }
    if (fileLayout.StoreKey) {
        std::memcpy(&header[108], key.KeyData.data(), 128);
        std::memcpy(&header[236], key.Chain.data(), 20);
    }
    const std::vector<uint8_t> encrypted = EncryptText(header, HeaderKeyText(fileLayout.Variant));
    std::memcpy(&file[size_t(headerOffset)], encrypted.data(), 256);

    if (newLayout) {
        file.insert(file.end(), index.begin(), index.end());
        file.insert(file.end(), body.begin(), body.end());
    } else {
        file.insert(file.end(), body.begin(), body.end());
        file.insert(file.end(), index.begin(), index.end());
        file.push_back(0);
    }
    return file;
}

std::vector<uint8_t> DecryptPakHeader(const std::vector<uint8_t>& file, int variant) {
    const size_t offset = size_t(HeaderOffsetOf(variant));
    if (file.size() < offset + 256)
        return {};
    return DecryptText(std::span<const uint8_t>(file.data() + offset, 256), HeaderKeyText(variant));
}

std::vector<uint8_t> ReadPakBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WritePakBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace velmora::test
