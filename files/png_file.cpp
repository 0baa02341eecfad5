// PNG pictures: read through libpng, written by our own chunk writer (files/png_writer).
//
// libpng reports errors by a long jump back to the setjmp of the caller. A long jump that crosses
// a C++ frame with live objects skips their destructors, so every function here that calls setjmp
// works only on plain data owned by its caller: reading is split into phases (ReadHeader,
// ReadRows) that return false after a jump, and the caller, which holds the buffers and the libpng
// structures in RAII objects, cleans up as usual.

#include "files/picture_files.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "files/png_writer.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace velmora {

namespace {

// A decoded PNG at 8 bits per sample, rows top first with the samples of a pixel interleaved
// (grey, grey-alpha, index, RGB or RGBA).
struct TDecodedPng {
    int width = 0;
    int height = 0;
    TPngColorType colorType = pctRGB;
    int channels = 0;
    std::vector<uint8_t> pixels;
    std::vector<TRGBQuad> palette;
};

// What the header phase hands to the caller; plain data so that a long jump may leave it half
// filled.
struct THeaderInfo {
    png_uint_32 width;
    png_uint_32 height;
    int colorType;
    int channels;
    size_t rowBytes;
    int paletteCount;
    png_color palette[256];
};

struct TMemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

[[noreturn]] void ErrorCallback(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void WarningCallback(png_structp, png_const_charp) {}

void ReadCallback(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<TMemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos)
        png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

class TPngReadStruct {
public:
    TPngReadStruct() {
        FPng =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorCallback, WarningCallback);
        if (FPng)
            FInfo = png_create_info_struct(FPng);
    }
    ~TPngReadStruct() {
        if (FPng)
            png_destroy_read_struct(&FPng, FInfo ? &FInfo : nullptr, nullptr);
    }
    TPngReadStruct(const TPngReadStruct&) = delete;
    TPngReadStruct& operator=(const TPngReadStruct&) = delete;
    bool Valid() const { return FPng && FInfo; }
    png_structp Png() const { return FPng; }
    png_infop Info() const { return FInfo; }

private:
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
};

// Reads the chunks up to the image data and sets the transforms that bring every image to 8 bits
// per sample: 16-bit samples scaled (rounded), grey of 1, 2 or 4 bits widened to 0..255, palette
// indices below 8 bits unpacked to one per byte. A tRNS chunk is not applied; only colour types 4
// and 6 carry alpha.
bool ReadHeader(png_structp png, png_infop info, TMemoryReader* reader, THeaderInfo* out) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, reader, ReadCallback);
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (!PictureSizeAllowed(width, height))
        return false;
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (bitDepth < 8) {
        if (colorType == PNG_COLOR_TYPE_GRAY)
            png_set_expand_gray_1_2_4_to_8(png);
        else
            png_set_packing(png);
    }
    if (interlace != PNG_INTERLACE_NONE)
        png_set_interlace_handling(png);
    png_read_update_info(png, info);

    out->width = width;
    out->height = height;
    out->colorType = colorType;
    out->channels = png_get_channels(png, info);
    out->rowBytes = png_get_rowbytes(png, info);
    out->paletteCount = 0;
    png_colorp palette = nullptr;
    int count = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE &&
        png_get_PLTE(png, info, &palette, &count) == PNG_INFO_PLTE && palette) {
        out->paletteCount = std::clamp(count, 0, 256);
        std::memcpy(out->palette, palette, size_t(out->paletteCount) * sizeof(png_color));
    }
    return true;
}

// Decodes every row into the buffers the caller made. Chunks after the image data are not read:
// a picture whose pixels are complete loads even when its end is damaged.
bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

bool DecodePng(std::span<const uint8_t> data, TDecodedPng& out) {
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        return false;
    TPngReadStruct reader;
    if (!reader.Valid())
        return false;
    TMemoryReader source{data.data(), data.size(), 0};
    THeaderInfo header{};
    if (!ReadHeader(reader.Png(), reader.Info(), &source, &header))
        return false;

    TPngColorType type;
    switch (header.colorType) {
    case PNG_COLOR_TYPE_GRAY:
        type = pctGrey;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        type = pctGreyAlpha;
        break;
    case PNG_COLOR_TYPE_PALETTE:
        type = pctPalette;
        break;
    case PNG_COLOR_TYPE_RGB:
        type = pctRGB;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        type = pctRGBAlpha;
        break;
    default:
        return false;
    }
    const int expected = type == pctRGBAlpha    ? 4
                         : type == pctRGB       ? 3
                         : type == pctGreyAlpha ? 2
                                                : 1;
    // The transforms guarantee 8-bit samples; anything else means the row size cannot be trusted.
    if (header.channels != expected || header.rowBytes != size_t(header.width) * size_t(expected))
        return false;

    std::vector<uint8_t> pixels(header.rowBytes * size_t(header.height));
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y)
        rows[y] = pixels.data() + size_t(y) * header.rowBytes;
    if (!ReadRows(reader.Png(), rows.data()))
        return false;

    out.width = int(header.width);
    out.height = int(header.height);
    out.colorType = type;
    out.channels = expected;
    out.pixels = std::move(pixels);
    out.palette.clear();
    for (int i = 0; i < header.paletteCount; ++i)
        out.palette.push_back(
            {header.palette[i].blue, header.palette[i].green, header.palette[i].red, 0});
    return true;
}

// Reads a PNG file; EFileError when it cannot be opened. Files far larger than any acceptable
// picture could need are not read into memory (they decode as damaged).
std::vector<uint8_t> ReadPngFile(const std::string& fileName) {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    const int64_t size = file.Size();
    if (size < 0 || uint64_t(size) > 2 * kMaxPictureBytes)
        return {};
    std::vector<uint8_t> data(size_t(size), 0);
    data.resize(file.Read(data));
    return data;
}

bool DecodedToDIB(const TDecodedPng& png, TDIB& bitmap) {
    TDIB result;
    result.SetPixelFormat(MakePixelFormat(8, 8, 8));
    const int w = png.width;
    if (png.colorType == pctPalette) {
        TColorTable& table = result.ColorTable();
        table.fill(TRGBQuad{});
        std::copy(png.palette.begin(), png.palette.end(), table.begin());
        result.UpdatePalette();
        result.SetSize(w, png.height, 8);
        for (int y = 0; y < png.height; ++y)
            std::memcpy(result.ScanLine(y), png.pixels.data() + size_t(y) * size_t(w), size_t(w));
        bitmap = std::move(result);
        return true;
    }
    const bool alpha = png.colorType == pctGreyAlpha || png.colorType == pctRGBAlpha;
    const bool grey = png.colorType == pctGrey || png.colorType == pctGreyAlpha;
    const int outB = alpha ? 4 : 3;
    result.SetSize(w, png.height, outB * 8);
    for (int y = 0; y < png.height; ++y) {
        const uint8_t* s = png.pixels.data() + size_t(y) * size_t(w) * size_t(png.channels);
        uint8_t* d = result.ScanLine(y);
        for (int x = 0; x < w; ++x, s += png.channels, d += outB) {
            d[0] = grey ? s[0] : s[2];
            d[1] = grey ? s[0] : s[1];
            d[2] = s[0];
            if (alpha)
                d[3] = s[png.channels - 1];
        }
    }
    bitmap = std::move(result);
    return true;
}

std::unique_ptr<TPngPicture> DecodedToPicture(const TDecodedPng& png) {
    auto picture = std::make_unique<TPngPicture>();
    picture->SetSize(png.width, png.height, png.colorType);
    const int colour = picture->HasAlpha() ? png.channels - 1 : png.channels;
    for (int y = 0; y < png.height; ++y) {
        const uint8_t* s = png.pixels.data() + size_t(y) * size_t(png.width) * size_t(png.channels);
        uint8_t* d = picture->Scanline(y);
        uint8_t* a = picture->AlphaScanline(y);
        for (int x = 0; x < png.width; ++x, s += png.channels) {
            for (int c = 0; c < colour; ++c)
                *d++ = s[c];
            if (a)
                *a++ = s[colour];
        }
    }
    if (png.colorType == pctPalette)
        picture->Palette() = png.palette;
    return picture;
}

} // namespace

bool LoadPNGFromMemory(std::span<const uint8_t> data, TDIB& bitmap) {
    TDecodedPng png;
    if (!DecodePng(data, png))
        return false;
    return DecodedToDIB(png, bitmap);
}

bool LoadPNG(const std::string& fileName, TDIB& bitmap) {
    return LoadPNGFromMemory(ReadPngFile(fileName), bitmap);
}

std::unique_ptr<TPngPicture> LoadPngPictureFromMemory(std::span<const uint8_t> data) {
    TDecodedPng png;
    if (!DecodePng(data, png))
        return nullptr;
    return DecodedToPicture(png);
}

std::unique_ptr<TPngPicture> LoadPngPicture(const std::string& fileName) {
    return LoadPngPictureFromMemory(ReadPngFile(fileName));
}

std::vector<uint8_t> SavePNGToMemory(const TDIB& bitmap, int level) {
    if (bitmap.Empty())
        return {};
    const int w = bitmap.Width();
    const int bits = bitmap.BitCount();
    TPngLayout layout;
    layout.Width = w;
    layout.Height = bitmap.Height();
    if (bits <= 8) {
        // The storage's rows are already PNG rows of packed indices.
        layout.ColorType = 3;
        layout.BitDepth = uint8_t(bits);
        layout.Palette = std::span(bitmap.ColorTable().data(), size_t(bitmap.PaletteCount()));
        const size_t rowBytes = (size_t(w) * size_t(bits) + 7) / 8;
        return WritePng(layout, level, [&](int y, uint8_t* row) {
            std::memcpy(row, bitmap.ScanLine(y), rowBytes);
        });
    }
    // Only a bitmap whose top bytes actually carry alpha gets an alpha channel: a 32-bit bitmap
    // with all top bytes 0 is opaque colour, not a fully transparent picture.
    if (bits == 32 && bitmap.HasAlphaChannel()) {
        layout.ColorType = 6;
        return WritePng(layout, level, [&](int y, uint8_t* row) {
            const uint8_t* s = bitmap.ScanLine(y);
            for (int x = 0; x < w; ++x, s += 4, row += 4) {
                row[0] = s[2];
                row[1] = s[1];
                row[2] = s[0];
                row[3] = s[3];
            }
        });
    }
    layout.ColorType = 2;
    const TRowColors colours(bitmap);
    return WritePng(layout, level, [&](int y, uint8_t* row) { colours.Read(y, row); });
}

bool SavePNG(const std::string& fileName, const TDIB& bitmap, int level) {
    const std::vector<uint8_t> bytes = SavePNGToMemory(bitmap, level);
    if (bytes.empty())
        return false;
    return WriteFileThroughTemporary(fileName, bytes);
}

std::vector<uint8_t> SavePngPictureToMemory(const TPngPicture& picture, int level) {
    const int w = picture.Width();
    const int h = picture.Height();
    if (w < 1 || h < 1)
        return {};
    const int colour = picture.Channels();
    TPngLayout layout;
    layout.Width = w;
    layout.Height = h;
    layout.ColorType = uint8_t(picture.ColorType());
    if (picture.ColorType() == pctPalette) {
        layout.Palette =
            std::span(picture.Palette().data(), std::min<size_t>(picture.Palette().size(), 256));
    } else if (picture.ColorType() != pctGrey && picture.ColorType() != pctGreyAlpha &&
               picture.ColorType() != pctRGBAlpha) {
        layout.ColorType = pctRGB;
    }
    if (!picture.HasAlpha()) {
        const size_t rowBytes = size_t(w) * size_t(colour);
        return WritePng(layout, level, [&](int y, uint8_t* row) {
            std::memcpy(row, picture.Scanline(y), rowBytes);
        });
    }
    return WritePng(layout, level, [&](int y, uint8_t* row) {
        const uint8_t* s = picture.Scanline(y);
        const uint8_t* a = picture.AlphaScanline(y);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < colour; ++c)
                *row++ = *s++;
            *row++ = a ? a[x] : 255;
        }
    });
}

bool SavePngPicture(const std::string& fileName, const TPngPicture& picture, int level) {
    const std::vector<uint8_t> bytes = SavePngPictureToMemory(picture, level);
    if (bytes.empty())
        return false;
    return WriteFileThroughTemporary(fileName, bytes);
}

} // namespace velmora
