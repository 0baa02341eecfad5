#include "core/png_picture.h"

#include <cstring>

namespace velmora {

namespace {

// A fresh 8-bit buffer whose colour table is a grey ramp (index i = grey i).
std::unique_ptr<TDIB> NewGreyDIB(int w, int h) {
    auto dib = std::make_unique<TDIB>();
    for (int i = 0; i < 256; ++i)
        dib->ColorTable()[size_t(i)] = TRGBQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    dib->UpdatePalette();
    dib->SetSize(w, h, 8);
    return dib;
}

} // namespace

void TPngPicture::SetSize(int width, int height, TPngColorType colorType) {
    if (width < 1 || height < 1)
        width = height = 0;
    FWidth = width;
    FHeight = height;
    FColorType = colorType;
    size_t pixels = size_t(width) * size_t(height);
    FSamples.assign(pixels * size_t(Channels()), 0);
    if (HasAlpha())
        FAlpha.assign(pixels, 255);
    else
        FAlpha.clear();
}

void TPngPicture::AssignFromDIB(const TDIB& bitmap) {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (bitmap.BitCount() <= 8) {
        SetSize(w, h, pctPalette);
        FPalette.assign(bitmap.ColorTable().begin(),
                        bitmap.ColorTable().begin() + bitmap.PaletteCount());
        for (TRGBQuad& q : FPalette)
            q.rgbReserved = 0;
        const int bits = bitmap.BitCount();
        for (int y = 0; y < FHeight; ++y) {
            uint8_t* dst = Scanline(y);
            const uint8_t* src = bitmap.ScanLine(y);
            if (bits == 8) {
                std::memcpy(dst, src, size_t(FWidth));
                continue;
            }
            for (int x = 0; x < FWidth; ++x)
                dst[x] = uint8_t(bitmap.Pixel(x, y));
        }
        return;
    }
    SetSize(w, h, pctRGB);
    FPalette.clear();
    const TRowColors colours(bitmap);
    for (int y = 0; y < FHeight; ++y)
        colours.Read(y, Scanline(y));
}

void TPngPicture::CreateAlpha() {
    if (HasAlpha())
        return;
    const size_t pixels = size_t(FWidth) * size_t(FHeight);
    if (FColorType == pctGrey) {
        FColorType = pctGreyAlpha;
    } else if (FColorType == pctPalette) {
        std::vector<uint8_t> rgb(pixels * 3);
        for (size_t i = 0; i < pixels; ++i) {
            uint8_t index = FSamples[i];
            TRGBQuad q = index < FPalette.size() ? FPalette[index] : TRGBQuad{};
            rgb[i * 3] = q.rgbRed;
            rgb[i * 3 + 1] = q.rgbGreen;
            rgb[i * 3 + 2] = q.rgbBlue;
        }
        FSamples = std::move(rgb);
        FColorType = pctRGBAlpha;
    } else {
        FColorType = pctRGBAlpha;
    }
    FAlpha.assign(pixels, 255);
}

uint8_t* TPngPicture::Scanline(int y) {
    if (y < 0 || y >= FHeight)
        return nullptr;
    return FSamples.data() + size_t(y) * size_t(FWidth) * size_t(Channels());
}

const uint8_t* TPngPicture::Scanline(int y) const {
    if (y < 0 || y >= FHeight)
        return nullptr;
    return FSamples.data() + size_t(y) * size_t(FWidth) * size_t(Channels());
}

uint8_t* TPngPicture::AlphaScanline(int y) {
    if (!HasAlpha() || y < 0 || y >= FHeight)
        return nullptr;
    return FAlpha.data() + size_t(y) * size_t(FWidth);
}

const uint8_t* TPngPicture::AlphaScanline(int y) const {
    if (!HasAlpha() || y < 0 || y >= FHeight)
        return nullptr;
    return FAlpha.data() + size_t(y) * size_t(FWidth);
}

std::unique_ptr<TDIB> TPngPicture::ToDIB() const {
    if (FColorType == pctPalette) {
        auto dib = std::make_unique<TDIB>();
        dib->ColorTable().fill(TRGBQuad{});
        for (size_t i = 0; i < FPalette.size() && i < 256; ++i) {
            dib->ColorTable()[i] = FPalette[i];
            dib->ColorTable()[i].rgbReserved = 0;
        }
        dib->UpdatePalette();
        dib->SetSize(FWidth, FHeight, 8);
        for (int y = 0; y < FHeight; ++y)
            std::memcpy(dib->ScanLine(y), Scanline(y), size_t(FWidth));
        return dib;
    }
    if (FColorType == pctGrey || FColorType == pctGreyAlpha) {
        auto dib = NewGreyDIB(FWidth, FHeight);
        for (int y = 0; y < FHeight; ++y)
            std::memcpy(dib->ScanLine(y), Scanline(y), size_t(FWidth));
        return dib;
    }
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(FWidth, FHeight, 24);
    for (int y = 0; y < FHeight; ++y) {
        const uint8_t* src = Scanline(y);
        uint8_t* dst = dib->ScanLine(y);
        for (int x = 0; x < FWidth; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return dib;
}

std::unique_ptr<TDIB> TPngPicture::ToDIBWithAlpha() const {
    if (!HasAlpha())
        return ToDIB();
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(FWidth, FHeight, 32);
    const bool grey = FColorType == pctGreyAlpha;
    for (int y = 0; y < FHeight; ++y) {
        const uint8_t* src = Scanline(y);
        const uint8_t* alpha = AlphaScanline(y);
        uint8_t* dst = dib->ScanLine(y);
        for (int x = 0; x < FWidth; ++x, dst += 4) {
            if (grey) {
                dst[0] = dst[1] = dst[2] = src[x];
            } else {
                dst[0] = src[size_t(x) * 3 + 2];
                dst[1] = src[size_t(x) * 3 + 1];
                dst[2] = src[size_t(x) * 3];
            }
            dst[3] = alpha[x];
        }
    }
    return dib;
}

} // namespace velmora
