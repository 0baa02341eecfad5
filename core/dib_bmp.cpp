// TDIB: Windows BMP reading and writing.
//
// The reader accepts the 12-byte core header and the 40-, 52-, 56-, 108- and 124-byte info
// headers; uncompressed, RLE8, RLE4 and bit-field data; bottom-up and top-down rows; colour
// tables of up to 256 entries. Every field is checked against the bytes the stream holds before
// anything is allocated or copied, and a damaged stream leaves the buffer untouched.

#include "core/dib.h"

#include "core/checked.h"
#include "core/dib_pixels.h"
#include "core/file_stream.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
// Compressed streams can describe huge pictures in a few bytes (end-of-bitmap, deltas): a stream
// may make storage up to 64 MiB, or 256 bytes per stream byte beyond that.
constexpr uint64_t kRleStorageFloor = uint64_t(64) << 20;
constexpr uint64_t kRleStoragePerByte = 256;

struct TBmpHeader {
    int width = 0;
    int height = 0; // rows, always positive
    bool topDown = false;
    int bits = 0;
    uint32_t compression = BI_RGB;
    uint32_t masks[4] = {}; // red, green, blue, alpha
    bool bitFields = false;
    uint64_t paletteStart = 0;
    uint64_t paletteEntries = 0;
    int entrySize = 4;
    uint64_t pixelStart = 0;
};

bool ContiguousMask(uint32_t m) {
    if (m == 0)
        return true;
    uint32_t shifted = m >> std::countr_zero(m);
    return (shifted & (shifted + 1)) == 0;
}

std::optional<TBmpHeader> ParseHeader(std::span<const uint8_t> d) {
    if (d.size() < kFileHeaderSize + 12 || d[0] != 'B' || d[1] != 'M')
        return std::nullopt;
    const uint32_t offBits = GetU32(&d[10]);
    const uint32_t headerSize = GetU32(&d[14]);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        return std::nullopt;
    if (!RangeInside(kFileHeaderSize, headerSize, d.size()))
        return std::nullopt;

    TBmpHeader h;
    const uint8_t* p = &d[kFileHeaderSize];
    int64_t width, height;
    uint32_t colorsUsed = 0;
    if (headerSize == 12) {
        width = GetU16(p + 4);
        height = GetU16(p + 6);
        h.bits = GetU16(p + 10);
        h.entrySize = 3;
    } else {
        width = GetI32(p + 4);
        height = GetI32(p + 8);
        h.bits = GetU16(p + 14);
        h.compression = GetU32(p + 16);
        colorsUsed = GetU32(p + 32);
    }
    if (width <= 0 || height == 0 || height == INT32_MIN || width > INT32_MAX)
        return std::nullopt;
    h.width = int(width);
    h.topDown = height < 0;
    h.height = int(height < 0 ? -height : height);
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return std::nullopt;

    switch (h.compression) {
    case BI_RGB:
        break;
    case BI_RLE8:
        if (h.bits != 8 || h.topDown)
            return std::nullopt;
        break;
    case BI_RLE4:
        if (h.bits != 4 || h.topDown)
            return std::nullopt;
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (h.bits != 16 && h.bits != 32)
            return std::nullopt;
        h.bitFields = true;
        break;
    default:
        return std::nullopt; // JPEG, PNG and the OS/2 codings are not bitmaps of this kind
    }

    uint64_t afterHeader = kFileHeaderSize + headerSize;
    if (h.bitFields) {
        if (headerSize == 40) {
            // The masks follow the header: three, or four with the alpha mask.
            int count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
            if (!RangeInside(afterHeader, uint64_t(count) * 4, d.size()))
                return std::nullopt;
            for (int i = 0; i < count; ++i)
                h.masks[i] = GetU32(&d[afterHeader + uint64_t(i) * 4]);
            afterHeader += uint64_t(count) * 4;
        } else {
            // 52-byte and larger headers hold the masks themselves.
            for (int i = 0; i < 3; ++i)
                h.masks[i] = GetU32(p + 40 + i * 4);
            if (headerSize >= 56)
                h.masks[3] = GetU32(p + 52);
        }
        for (uint32_t m : h.masks)
            if (!ContiguousMask(m) || (h.bits == 16 && (m >> 16) != 0))
                return std::nullopt;
        if ((h.masks[0] | h.masks[1] | h.masks[2]) == 0)
            return std::nullopt;
    } else if (h.bits == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (h.bits == 32) {
        h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
    }

    if (colorsUsed > 256)
        return std::nullopt;
    h.paletteStart = afterHeader;
    if (h.bits <= 8) {
        uint64_t entries = colorsUsed ? colorsUsed : (uint64_t(1) << h.bits);
        if (offBits != 0) {
            if (offBits < afterHeader)
                return std::nullopt;
            // Writers that store fewer entries than the bit count allows say so by the offset.
            entries = std::min<uint64_t>(entries, (offBits - afterHeader) / uint64_t(h.entrySize));
        }
        if (!RangeInside(afterHeader, entries * uint64_t(h.entrySize), d.size()))
            return std::nullopt;
        h.paletteEntries = entries;
    }
    h.pixelStart = offBits != 0 ? offBits : afterHeader + h.paletteEntries * uint64_t(h.entrySize);
    if (h.pixelStart < afterHeader || h.pixelStart >= d.size())
        return std::nullopt;
    return h;
}

// Decodes an RLE8 or RLE4 stream into bottom-up storage. False when the stream runs past the
// picture or ends before the picture is complete without an end-of-bitmap marker.
bool DecodeRle(std::span<const uint8_t> s, bool rle4, int width, int height, uint8_t* storage,
               size_t rowBytes) {
    size_t p = 0;
    int64_t x = 0, y = 0;
    // Runs may cover the row's padding (writers commonly encode whole padded rows): pixels past
    // the width are dropped, not treated as damage.
    auto put = [&](uint8_t v) {
        if (x >= width) {
            ++x;
            return;
        }
        uint8_t* row = storage + size_t(y) * rowBytes;
        if (rle4)
            WriteIndex(row, int(x), 4, v);
        else
            row[x] = v;
        ++x;
    };
    for (;;) {
        if (s.size() - p < 2)
            return y >= height; // no end marker: fine only when every row was finished
        const uint8_t n = s[p], v = s[p + 1];
        p += 2;
        if (n > 0) {
            // Encoded run: n pixels of v (RLE4: its two nibbles in turn).
            if (y >= height)
                return false;
            for (int i = 0; i < n; ++i)
                put(rle4 ? uint8_t((i & 1) ? (v & 0x0F) : (v >> 4)) : v);
            continue;
        }
        switch (v) {
        case 0: // end of line
            x = 0;
            if (++y > height)
                return false;
            break;
        case 1: // end of bitmap
            return true;
        case 2: { // delta
            if (s.size() - p < 2)
                return false;
            x += s[p];
            y += s[p + 1];
            p += 2;
            if (x > width || y > height)
                return false;
            break;
        }
        default: { // absolute run of v pixels, padded to a 16-bit boundary
            const size_t bytes = rle4 ? (size_t(v) + 1) / 2 : size_t(v);
            const size_t padded = (bytes + 1) & ~size_t(1);
            if (s.size() - p < padded || y >= height)
                return false;
            for (int i = 0; i < v; ++i)
                put(rle4 ? uint8_t((i & 1) ? (s[p + size_t(i) / 2] & 0x0F)
                                           : (s[p + size_t(i) / 2] >> 4))
                         : s[p + size_t(i)]);
            p += padded;
            break;
        }
        }
    }
}

std::optional<TDIB> ParseBmp(std::span<const uint8_t> d) {
    std::optional<TBmpHeader> parsed = ParseHeader(d);
    if (!parsed)
        return std::nullopt;
    const TBmpHeader& h = *parsed;

    const uint64_t rowBytes = RowBytes(h.width, h.bits);
    const std::optional<uint64_t> total = CheckedMul(rowBytes, uint64_t(h.height));
    if (!total || *total > uint64_t(INT_MAX))
        return std::nullopt;
    const std::span<const uint8_t> pixels = d.subspan(size_t(h.pixelStart));
    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    if (rle) {
        if (*total > std::max<uint64_t>(kRleStorageFloor, pixels.size() * kRleStoragePerByte))
            return std::nullopt;
    } else {
        // Every row must be there; only the padding of the last row may be missing.
        uint64_t lastRow = (uint64_t(h.width) * uint64_t(h.bits) + 7) / 8;
        if (rowBytes * uint64_t(h.height - 1) + lastRow > pixels.size())
            return std::nullopt;
    }

    // Which buffer the masks make: the three layouts a TDIB has are copied as they are, any other
    // is decoded pixel by pixel into 24 bits, or 32 bits with alpha when there is an alpha mask.
    enum { Copy, DecodeMasks } mode = Copy;
    int targetBits = h.bits;
    TPixelFormat format = MakePixelFormat(8, 8, 8);
    if (h.bits == 16) {
        const TPixelFormat f565 = MakePixelFormat(5, 6, 5), f555 = MakePixelFormat(5, 5, 5);
        auto is = [&](const TPixelFormat& f) {
            return h.masks[0] == f.RedMask && h.masks[1] == f.GreenMask &&
                   h.masks[2] == f.BlueMask && h.masks[3] == 0;
        };
        if (is(f565))
            format = f565;
        else if (is(f555))
            format = f555;
        else
            mode = DecodeMasks;
    } else if (h.bits == 32) {
        if (h.masks[0] != 0xFF0000 || h.masks[1] != 0x00FF00 || h.masks[2] != 0x0000FF ||
            (h.masks[3] != 0 && h.masks[3] != 0xFF000000))
            mode = DecodeMasks;
    }
    if (mode == DecodeMasks)
        targetBits = h.masks[3] ? 32 : 24;

    TDIB dib;
    if (h.bits <= 8) {
        dib.ColorTable().fill(TRGBQuad{});
        for (uint64_t i = 0; i < h.paletteEntries; ++i) {
            const uint8_t* e = &d[size_t(h.paletteStart + i * uint64_t(h.entrySize))];
            dib.ColorTable()[size_t(i)] = TRGBQuad{e[0], e[1], e[2], 0};
        }
        dib.UpdatePalette();
    }
    dib.SetPixelFormat(format);
    dib.SetSize(h.width, h.height, targetBits);

    if (rle) {
        if (!DecodeRle(pixels, h.compression == BI_RLE4, h.width, h.height, dib.PBits(),
                       size_t(rowBytes)))
            return std::nullopt;
        return dib;
    }

    for (int i = 0; i < h.height; ++i) {
        // File row i is visual row height-1-i for bottom-up files and row i for top-down ones.
        const int visual = h.topDown ? i : h.height - 1 - i;
        const uint8_t* src = pixels.data() + size_t(i) * size_t(rowBytes);
        const size_t available =
            std::min<size_t>(size_t(rowBytes), pixels.size() - size_t(i) * size_t(rowBytes));
        uint8_t* dst = dib.ScanLine(visual);
        if (mode == Copy) {
            std::memcpy(dst, src, available);
            continue;
        }
        int shift[4], width[4];
        for (int c = 0; c < 4; ++c) {
            shift[c] = h.masks[c] ? std::countr_zero(h.masks[c]) : 0;
            width[c] = std::popcount(h.masks[c]);
        }
        for (int x = 0; x < h.width; ++x) {
            uint32_t word =
                h.bits == 16 ? LoadU16(src + size_t(x) * 2) : LoadU32(src + size_t(x) * 4);
            uint8_t v[4];
            for (int c = 0; c < 4; ++c)
                v[c] = WidenComponent((word & h.masks[c]) >> shift[c], width[c]);
            if (targetBits == 24) {
                dst[size_t(x) * 3] = v[2];
                dst[size_t(x) * 3 + 1] = v[1];
                dst[size_t(x) * 3 + 2] = v[0];
            } else {
                StoreU32(dst + size_t(x) * 4, uint32_t(v[2]) | (uint32_t(v[1]) << 8) |
                                                  (uint32_t(v[0]) << 16) | (uint32_t(v[3]) << 24));
            }
        }
    }
    return dib;
}

} // namespace

bool TDIB::LoadFromStream(std::span<const uint8_t> data) {
    try {
        std::optional<TDIB> dib = ParseBmp(data);
        if (!dib)
            return false;
        *this = std::move(*dib);
        return true;
    } catch (const EOutOfResources&) {
        return false;
    } catch (const EInvalidGraphicOperation&) {
        return false;
    }
}

bool TDIB::LoadFromFile(const std::string& fileName) {
    std::vector<uint8_t> bytes;
    try {
        bytes = TFileStream::ReadAll(fileName);
    } catch (const EFileError&) {
        return false;
    }
    return LoadFromStream(bytes);
}

std::vector<uint8_t> TDIB::SaveToStream() const {
    if (Empty())
        return {};
    const bool masks = FBitCount == 16 || FBitCount == 32;
    const size_t maskBytes = masks ? 12 : 0;
    const size_t paletteBytes = FBitCount <= 8 ? size_t(PaletteCount()) * 4 : 0;
    const size_t offBits = kFileHeaderSize + kInfoHeaderSize + maskBytes + paletteBytes;
    std::vector<uint8_t> out(offBits + size_t(Size()), 0);
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    PutU32(p + 2, uint32_t(out.size()));
    PutU32(p + 10, uint32_t(offBits));
    uint8_t* info = p + kFileHeaderSize;
    PutU32(info, uint32_t(kInfoHeaderSize));
    PutI32(info + 4, FWidth);
    PutI32(info + 8, FHeight);
    PutU16(info + 12, 1);
    PutU16(info + 14, uint16_t(FBitCount));
    PutU32(info + 16, masks ? BI_BITFIELDS : BI_RGB);
    PutU32(info + 20, uint32_t(Size()));
    PutU32(info + 32, FBitCount <= 8 ? uint32_t(PaletteCount()) : 0);
    uint8_t* q = info + kInfoHeaderSize;
    if (masks) {
        const TPixelFormat& f = StorageFormat(*this);
        PutU32(q, f.RedMask);
        PutU32(q + 4, f.GreenMask);
        PutU32(q + 8, f.BlueMask);
        q += 12;
    }
    for (size_t i = 0; i < paletteBytes / 4; ++i, q += 4) {
        q[0] = FColorTable[i].rgbBlue;
        q[1] = FColorTable[i].rgbGreen;
        q[2] = FColorTable[i].rgbRed;
        q[3] = 0;
    }
    std::memcpy(q, PBits(), size_t(Size()));
    return out;
}

void TDIB::SaveToFile(const std::string& fileName) const {
    std::vector<uint8_t> bytes = SaveToStream();
    TFileStream f(fileName, TFileStream::fmCreate);
    f.Write(bytes);
}

} // namespace velmora
