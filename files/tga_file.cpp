// TGA (Truevision) pictures: uncompressed (type 2) and run-length (type 10) true colour at 24 and
// 32 bits per pixel.

#include "files/picture_files.h"

#include "core/checked.h"
#include "core/file_stream.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kTypeRaw = 2;
constexpr uint8_t kTypeRunLength = 10;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopFirst = 0x20;

struct TTgaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
    uint8_t descriptor = 0;
};

// Reads and checks the fixed header: only true-colour types 2 and 10 without a colour map, at 24
// or 32 bits, of a size the program accepts.
bool ParseHeader(std::span<const uint8_t> data, TTgaHeader& h) {
    if (data.size() < kHeaderSize)
        return false;
    h.idLength = data[0];
    h.colorMapType = data[1];
    h.imageType = data[2];
    h.width = GetU16(&data[12]);
    h.height = GetU16(&data[14]);
    const uint8_t bits = data[16];
    h.descriptor = data[17];
    if (h.imageType != kTypeRaw && h.imageType != kTypeRunLength)
        return false;
    if (h.colorMapType != 0 || (bits != 24 && bits != 32))
        return false;
    h.bytesPerPixel = bits / 8;
    // A picture without pixels has nothing to import; refusing it keeps callers from handling an
    // empty bitmap that "loaded".
    if (h.width == 0 || h.height == 0)
        return false;
    return PictureSizeAllowed(h.width, h.height);
}

// The most bytes a file with this header can need: the pixel data stored raw, or as packets of
// one pixel each (one header byte per pixel) for run-length files. Anything beyond is a footer
// that is never looked at.
uint64_t MaxNeededBytes(const TTgaHeader& h) {
    const uint64_t pixels = uint64_t(h.width) * uint64_t(h.height);
    const uint64_t perPixel = h.bytesPerPixel + (h.imageType == kTypeRunLength ? 1 : 0);
    return kHeaderSize + h.idLength + pixels * perPixel;
}

} // namespace

bool DecodeTGAPackets(std::span<const uint8_t> data, size_t& pos, std::span<uint8_t> out,
                      int bytesPerPixel) {
    const size_t b = size_t(bytesPerPixel);
    size_t written = 0;
    while (written < out.size()) {
        if (pos >= data.size())
            return false;
        const uint8_t h = data[pos++];
        const size_t n = size_t(h & 0x7F) + 1;
        const size_t bytes = n * b;
        // A packet that reaches past the picture is damage, not a packet to cut short.
        if (bytes > out.size() - written)
            return false;
        if (h & 0x80) {
            if (!RangeInside(pos, b, data.size()))
                return false;
            for (size_t k = 0; k < n; ++k)
                std::memcpy(out.data() + written + k * b, data.data() + pos, b);
            pos += b;
        } else {
            if (!RangeInside(pos, bytes, data.size()))
                return false;
            std::memcpy(out.data() + written, data.data() + pos, bytes);
            pos += bytes;
        }
        written += bytes;
    }
    return true;
}

std::vector<uint8_t> EncodeTGAPackets(std::span<const uint8_t> pixels, int bytesPerPixel) {
    const size_t b = size_t(bytesPerPixel);
    const size_t m = b == 0 ? 0 : pixels.size() / b;
    auto px = [&](size_t i) { return pixels.data() + i * b; };
    auto same = [&](size_t i, size_t j) { return std::memcmp(px(i), px(j), b) == 0; };
    auto raw = [&](std::vector<uint8_t>& out, size_t i, size_t k) {
        out.push_back(uint8_t(k - 1));
        out.insert(out.end(), px(i), px(i) + k * b);
    };

    std::vector<uint8_t> out;
    out.reserve(pixels.size() + pixels.size() / 64 + 2);
    size_t i = 0;
    while (i < m) {
        const size_t left = m - i;
        size_t k;
        if (left <= 2) {
            k = left;
            raw(out, i, k);
        } else if (same(i, i + 1) && same(i, i + 2)) {
            k = 3;
            while (i + k < m && k < 128 && same(i + k, i))
                ++k;
            out.push_back(uint8_t(0x80 + (k - 1)));
            out.insert(out.end(), px(i), px(i) + b);
        } else {
            // A raw packet stops where three equal pixels begin and always leaves the last pixel
            // of the data to a following packet.
            k = 2;
            while (k < left - 1 && k < 128) {
                if (i + k + 2 < m && same(i + k, i + k + 1) && same(i + k, i + k + 2))
                    break;
                ++k;
            }
            raw(out, i, k);
        }
        i += k;
    }
    return out;
}

bool LoadTGAFromMemory(std::span<const uint8_t> data, TDIB& bitmap) {
    TTgaHeader h;
    if (!ParseHeader(data, h))
        return false;
    const size_t b = size_t(h.bytesPerPixel);
    const size_t rowBytes = size_t(h.width) * b;
    const uint64_t dataSize = uint64_t(rowBytes) * uint64_t(h.height);
    size_t pos = kHeaderSize + h.idLength;
    if (pos > data.size())
        return false;

    std::span<const uint8_t> pixels;
    std::vector<uint8_t> decoded;
    if (h.imageType == kTypeRaw) {
        if (!RangeInside(pos, dataSize, data.size()))
            return false;
        pixels = data.subspan(pos, size_t(dataSize));
    } else {
        // Every packet holds at most 128 pixels and costs at least its header byte and one pixel,
        // so a file too short for that cannot decode; refusing it here keeps a few bytes from
        // making the decoder allocate a huge buffer.
        const uint64_t packets = (uint64_t(h.width) * uint64_t(h.height) + 127) / 128;
        if (!RangeInside(pos, packets * (1 + b), data.size()))
            return false;
        decoded.resize(size_t(dataSize));
        if (!DecodeTGAPackets(data, pos, decoded, h.bytesPerPixel))
            return false;
        pixels = decoded;
    }

    const bool mirror = (h.descriptor & kRightToLeft) != 0;
    const bool topFirst = (h.descriptor & kTopFirst) != 0;
    // A 24-bit picture that has to be turned over or mirrored arrives as 32 bits with top bytes 0.
    const int bitCount = (b == 4 || mirror || !topFirst) ? 32 : 24;
    const size_t outB = size_t(bitCount / 8);

    TDIB result;
    result.SetPixelFormat(MakePixelFormat(8, 8, 8));
    result.SetSize(h.width, h.height, bitCount);
    for (int r = 0; r < h.height; ++r) {
        const uint8_t* src = pixels.data() + size_t(r) * rowBytes;
        uint8_t* dst = result.ScanLine(topFirst ? r : h.height - 1 - r);
        if (outB == b && !mirror) {
            std::memcpy(dst, src, rowBytes);
            continue;
        }
        for (int x = 0; x < h.width; ++x) {
            const uint8_t* s = src + size_t(x) * b;
            uint8_t* d = dst + size_t(mirror ? h.width - 1 - x : x) * outB;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            if (outB == 4)
                d[3] = b == 4 ? s[3] : 0;
        }
    }
    bitmap = std::move(result);
    return true;
}

bool LoadTGA(const std::string& fileName, TDIB& bitmap) {
    std::vector<uint8_t> data;
    try {
        TFileStream file(fileName, TFileStream::fmOpenRead);
        uint8_t head[kHeaderSize];
        if (file.Read(head) < kHeaderSize)
            return false;
        TTgaHeader h;
        if (!ParseHeader(head, h))
            return false;
        // Read no more than the pixel data can need, whatever the file's size.
        const uint64_t want = std::min<uint64_t>(MaxNeededBytes(h), uint64_t(file.Size()));
        data.resize(size_t(want));
        file.Seek(0);
        data.resize(file.Read(data));
    } catch (const EFileError&) {
        return false;
    }
    return LoadTGAFromMemory(data, bitmap);
}

std::vector<uint8_t> SaveTGAToMemory(const TDIB& bitmap, int flags) {
    if ((bitmap.BitCount() != 24 && bitmap.BitCount() != 32) || bitmap.Empty())
        return {};
    if (bitmap.Width() > 0xFFFF || bitmap.Height() > 0xFFFF)
        return {};
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const size_t srcB = size_t(bitmap.BitCount() / 8);
    // Other programs take the fourth byte of a 32-bit TGA as alpha. A 32-bit bitmap whose top
    // bytes are all 0 has no alpha (a turned-over 24-bit TGA, a library image whose fourth byte
    // is unused); written as 32 bits it would open fully transparent elsewhere. As 24 bits it
    // loads back into exactly the same 32-bit bitmap here.
    const size_t b = srcB == 4 && bitmap.HasAlphaChannel() ? 4 : 3;
    const size_t rowBytes = size_t(w) * b;

    std::vector<uint8_t> pixels(rowBytes * size_t(h));
    for (int r = 0; r < h; ++r) {
        const uint8_t* src = bitmap.ScanLine((flags & tfTopFirst) ? r : h - 1 - r);
        uint8_t* dst = pixels.data() + size_t(r) * rowBytes;
        if (!(flags & tfRightToLeft) && b == srcB) {
            std::memcpy(dst, src, rowBytes);
            continue;
        }
        for (int x = 0; x < w; ++x)
            std::memcpy(dst + size_t(x) * b,
                        src + size_t((flags & tfRightToLeft) ? w - 1 - x : x) * srcB, b);
    }

    std::vector<uint8_t> out(kHeaderSize, 0);
    out[2] = (flags & tfRunLength) ? kTypeRunLength : kTypeRaw;
    PutU16(&out[12], uint16_t(w));
    PutU16(&out[14], uint16_t(h));
    out[16] = uint8_t(b * 8);
    out[17] = uint8_t(((flags & tfTopFirst) ? kTopFirst : 0) |
                      ((flags & tfRightToLeft) ? kRightToLeft : 0));
    if (flags & tfRunLength) {
        const std::vector<uint8_t> packets = EncodeTGAPackets(pixels, int(b));
        out.insert(out.end(), packets.begin(), packets.end());
    } else {
        out.insert(out.end(), pixels.begin(), pixels.end());
    }
    return out;
}

bool SaveTGA(const std::string& fileName, const TDIB& bitmap, int flags) {
    try {
        TFileStream file(fileName, TFileStream::fmCreate);
        const std::vector<uint8_t> bytes = SaveTGAToMemory(bitmap, flags);
        if (bytes.empty())
            return false;
        file.Write(bytes);
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

} // namespace velmora
