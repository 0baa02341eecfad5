#pragma once

#include "core/picture.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

// Raised for bit counts or masks a buffer cannot have and for row indexes out of range.
class EInvalidGraphicOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised when storage for a buffer cannot be had.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One colour-table entry, stored as blue, green, red, 0.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

using TColorTable = std::array<TRGBQuad, 256>;

// Colour masks and shifts of a true-colour layout.
struct TPixelFormat {
    uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
    int RedBitCount = 0, GreenBitCount = 0, BlueBitCount = 0;
    int RedShift = 0, GreenShift = 0, BlueShift = 0;
    int RedFillShift = 0, GreenFillShift = 0, BlueFillShift = 0;
    friend bool operator==(const TPixelFormat&, const TPixelFormat&) = default;
};

// Builds the layout of r, g and b component bits: (5, 6, 5) is the 16-bit library layout,
// (8, 8, 8) that of 24- and 32-bit buffers.
TPixelFormat MakePixelFormat(int r, int g, int b);

// A colour as red in the low byte, then green, then blue (the platform's colour value).
using TColor = uint32_t;
constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr uint8_t RedOf(TColor c) {
    return uint8_t(c);
}
constexpr uint8_t GreenOf(TColor c) {
    return uint8_t(c >> 8);
}
constexpr uint8_t BlueOf(TColor c) {
    return uint8_t(c >> 16);
}

// A device-independent pixel buffer whose storage is laid out exactly as the library formats
// store pixel payloads: rows bottom-up, each padded to a multiple of 4 bytes; 1, 4 and 8 bits are
// palette indices, 16 bits a little-endian 5-6-5 or 5-5-5 word, 24 bits blue-green-red, 32 bits a
// little-endian 0xAARRGGBB word whose top byte carries alpha where a picture has one.
//
// Copies share their storage until one of them writes (copy on write): every non-const access
// to the pixels (PBits, TopPBits, ScanLine, SetPixel) gives the writer its own copy first.
class TDIB final : public TPicture {
public:
    TDIB();
    TDIB(const TDIB& other);
    TDIB& operator=(const TDIB& other);
    TDIB(TDIB&&) noexcept;
    TDIB& operator=(TDIB&&) noexcept;
    ~TDIB() override;

    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    TDIB* AsDIB() override { return this; }
    const TDIB* AsDIB() const override { return this; }

    int BitCount() const { return FBitCount; }
    // Bytes per row: ((Width * BitCount + 31) div 32) * 4.
    int WidthBytes() const { return FWidthBytes; }
    // WidthBytes * Height; 0 when empty.
    int Size() const { return FWidthBytes * FHeight; }
    bool Empty() const { return Size() == 0; }
    // 2^BitCount for bit counts up to 8, else 0.
    int PaletteCount() const;

    // The layout of the pixels held (of the requested one while the buffer has no storage).
    const TPixelFormat& PixelFormat() const { return FPixelFormat; }
    // Requests the layout of the next SetSize or SetBitCount (5-6-5 or 5-5-5 for 16 bits, 8-8-8
    // for every other bit count). The pixels held keep their layout until then, so that
    // SetBitCount(16) converts a 5-5-5 buffer to a requested 5-6-5 instead of reading its words
    // in the new layout.
    void SetPixelFormat(const TPixelFormat& format);

    // Resizes. Nothing happens when size, bit count and layout already match; a width or height
    // below 1 empties the buffer; otherwise new storage with all pixels 0.
    void SetSize(int AWidth, int AHeight, int ABitCount);
    void Clear();
    // Converts every pixel to the new bit count. Nothing happens on an empty buffer.
    void SetBitCount(int ABitCount);

    // Storage: bottom row first.
    uint8_t* PBits();
    const uint8_t* PBits() const;
    // Top row; visual row y starts at TopPBits() + y * NextLine().
    uint8_t* TopPBits();
    const uint8_t* TopPBits() const;
    int NextLine() const { return -FWidthBytes; }
    // Visual row y (0 = top); raises EInvalidGraphicOperation outside 0 .. Height - 1.
    uint8_t* ScanLine(int y);
    const uint8_t* ScanLine(int y) const;

    // Writes one pixel; ignored outside the buffer. 24 bits: Value is a TColor (red in the low
    // byte); 16 and 32 bits: the raw word; up to 8 bits: the index.
    void SetPixel(int x, int y, uint32_t Value);
    // The raw value SetPixel would write (TColor for 24 bits); 0 outside the buffer.
    uint32_t Pixel(int x, int y) const;
    // The colour of a pixel through the palette or the masks, widened to 8 bits per component.
    TColor PixelColor(int x, int y) const;

    TColorTable& ColorTable() { return FColorTable; }
    const TColorTable& ColorTable() const { return FColorTable; }
    // Makes the storage use the edited colour table.
    void UpdatePalette();

    // Copies a buffer, sharing its storage.
    void Assign(const TDIB& other);

    // Canvas operations. Colours are converted to this buffer's layout; onto a palette buffer each
    // colour becomes the nearest colour of its colour table.
    void FillRect(int x, int y, int w, int h, TColor color);
    void Draw(int x, int y, const TDIB& source);
    // Stretches the whole source onto the rectangle (nearest neighbour).
    void StretchDraw(int x, int y, int w, int h, const TDIB& source);

    // True only for a 32-bit buffer in which at least one pixel has a non-zero top byte.
    bool HasAlphaChannel() const;
    // Makes the buffer 32 bits, then copies A's values (8-bit: indices; 32-bit: top bytes) into
    // the top byte of every pixel when A has the same size. False for any other A or when empty.
    bool AssignAlphaChannel(const TDIB& A);
    // As AssignAlphaChannel, raising "Cannot set alphachannel from DIB." on failure.
    void SetAlphaChannel(const TDIB& A);
    // Null without alpha; else a new 8-bit buffer of the top bytes.
    std::unique_ptr<TDIB> RetAlphaChannel() const;

    // Windows BMP. Loading fails cleanly (false, buffer unchanged) on anything damaged.
    bool LoadFromStream(std::span<const uint8_t> data);
    bool LoadFromFile(const std::string& fileName);
    // An empty buffer writes nothing.
    std::vector<uint8_t> SaveToStream() const;
    // Raises EFileError (core/file_stream.h) when the file cannot be written.
    void SaveToFile(const std::string& fileName) const;

private:
    void MakeUnique();
    void Reset(int w, int h, int bitCount);

    int FWidth = 0;
    int FHeight = 0;
    int FBitCount = 8;
    int FWidthBytes = 0;
    // The layout of the storage, and the one the next SetSize or SetBitCount makes.
    TPixelFormat FPixelFormat;
    TPixelFormat FRequestedFormat;
    TColorTable FColorTable{};
    std::shared_ptr<std::vector<uint8_t>> FStorage;
};

// Reads whole rows of a buffer as red, green, blue bytes, three per pixel: the colours PixelColor
// gives, through the colour table or the masks, decided once per buffer rather than per pixel.
// The buffer must outlive the reader and keep its size and bit count.
class TRowColors {
public:
    explicit TRowColors(const TDIB& dib);
    // Visual row y (0 = top) into rgb, which holds Width() * 3 bytes.
    void Read(int y, uint8_t* rgb) const;

private:
    enum TKind { rkIndexed, rk565, rk555, rk24, rk32 };
    const TDIB& FDib;
    TKind FKind;
    std::array<uint8_t, 256 * 3> FTable{}; // indexed: the colour of each index
};

} // namespace velmora
