#include "tools/demo/demo_pictures.h"

#include "formats/image_info.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace velmora::demo {

namespace {

// Rows of the 3 x 5 digits, three bits each (the top bit is the left column).
constexpr std::array<std::array<uint8_t, 5>, 10> kDigits{{
    {7, 5, 5, 5, 7}, // 0
    {2, 6, 2, 2, 7}, // 1
    {7, 1, 7, 4, 7}, // 2
    {7, 1, 7, 1, 7}, // 3
    {5, 5, 7, 1, 1}, // 4
    {7, 4, 7, 1, 7}, // 5
    {7, 4, 7, 5, 7}, // 6
    {7, 1, 2, 2, 2}, // 7
    {7, 5, 7, 5, 7}, // 8
    {7, 5, 7, 1, 7}, // 9
}};

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t Rgb(int r, int g, int b) {
    return uint32_t(std::clamp(r, 0, 255)) << 16 | uint32_t(std::clamp(g, 0, 255)) << 8 |
           uint32_t(std::clamp(b, 0, 255));
}

// A saturated colour for a hue in degrees, with the given brightness (0..255).
uint32_t HueColor(int hue, int value) {
    hue = ((hue % 360) + 360) % 360;
    const int sector = hue / 60;
    const int f = (hue % 60) * value / 60;
    const int low = value / 5;
    switch (sector) {
    case 0:
        return Rgb(value, low + f * 4 / 5, low);
    case 1:
        return Rgb(value - f * 4 / 5, value, low);
    case 2:
        return Rgb(low, value, low + f * 4 / 5);
    case 3:
        return Rgb(low, value - f * 4 / 5, value);
    case 4:
        return Rgb(low + f * 4 / 5, low, value);
    default:
        return Rgb(value, low, value - f * 4 / 5);
    }
}

uint32_t Scale(uint32_t rgb, int percent) {
    return Rgb(int((rgb >> 16) & 0xFF) * percent / 100, int((rgb >> 8) & 0xFF) * percent / 100,
               int(rgb & 0xFF) * percent / 100);
}

void Put(TDIB& canvas, int x, int y, uint32_t rgb, uint8_t alpha = 255) {
    canvas.SetPixel(x, y, alpha == 0 ? 0 : (uint32_t(alpha) << 24 | (rgb & 0xFFFFFF)));
}

// Signed distance-like tests of the six shapes, in coordinates where the shape spans -1..1.
bool InShape(int kind, double u, double v) {
    const double r = std::sqrt(u * u + v * v);
    switch (kind) {
    case 0:
        return r <= 0.95;
    case 1:
        return r <= 0.95 && r >= 0.55;
    case 2:
        return v >= -0.9 && v <= 0.85 && std::abs(u) <= (v + 0.9) * 0.55;
    case 3:
        return std::abs(u) + std::abs(v) <= 0.95;
    case 4:
        return (std::abs(u) <= 0.3 && std::abs(v) <= 0.9) ||
               (std::abs(v) <= 0.3 && std::abs(u) <= 0.9);
    default: {
        // Five points: the radius limit swings between 0.4 and 0.95 with the angle.
        const double angle = std::atan2(v, u) + M_PI / 2;
        const double swing = std::abs(std::fmod(angle * 5 / (2 * M_PI) + 10.5, 1.0) - 0.5) * 2;
        return r <= 0.4 + 0.55 * swing;
    }
    }
}

} // namespace

TDIB NewCanvas(int width, int height, uint32_t rgb) {
    TDIB canvas;
    canvas.SetPixelFormat(MakePixelFormat(8, 8, 8));
    canvas.SetSize(width, height, 32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            canvas.SetPixel(x, y, kOpaque | (rgb & 0xFFFFFF));
    return canvas;
}

int NumberWidth(int number, int scale) {
    return int(std::to_string(number).size()) * 4 * scale - scale;
}

void DrawNumber(TDIB& canvas, int number, int x, int y, int scale, uint32_t rgb) {
    const std::string text = std::to_string(number);
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            const auto& rows = kDigits[size_t(c - '0')];
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (rows[size_t(row)] & (4 >> col))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                                Put(canvas, x + col * scale + dx, y + row * scale + dy, rgb);
        }
        x += 4 * scale;
    }
}

TDIB NumberedTile(int number, int width, int height) {
    const uint32_t base = HueColor(number * 37, 200);
    TDIB tile = NewCanvas(width, height, base);
    const uint32_t dark = Scale(base, 80);
    const uint32_t light = Scale(base, 100) | 0x404040;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2)
                Put(tile, x, y, light);
            else if (((x / 8) + (y / 8)) % 2 == 1)
                Put(tile, x, y, dark);
        }
    const int scale = std::max(1, std::min(width / 12, height / 8));
    const int textWidth = NumberWidth(number, scale);
    const int x = (width - textWidth) / 2;
    const int y = (height - 5 * scale) / 2;
    DrawNumber(tile, number, x + 1, y + 1, scale, 0x101010);
    DrawNumber(tile, number, x, y, scale, 0xFFFFFF);
    return tile;
}

TDIB ShapePicture(int index, int size) {
    TDIB picture = NewCanvas(size, size, 0);
    const uint32_t top = HueColor(index * 53 + 20, 255);
    const uint32_t bottom = Scale(HueColor(index * 53 + 60, 255), 45);
    for (int y = 0; y < size; ++y) {
        const int t = size > 1 ? y * 100 / (size - 1) : 0;
        const uint32_t rgb =
            Rgb(int((top >> 16) & 0xFF) * (100 - t) / 100 + int((bottom >> 16) & 0xFF) * t / 100,
                int((top >> 8) & 0xFF) * (100 - t) / 100 + int((bottom >> 8) & 0xFF) * t / 100,
                int(top & 0xFF) * (100 - t) / 100 + int(bottom & 0xFF) * t / 100);
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) * 2 / size - 1;
            const double v = (y + 0.5) * 2 / size - 1;
            if (InShape(index % 6, u, v))
                Put(picture, x, y, rgb | 0x080808);
        }
    }
    const int scale = std::max(1, size / 32);
    DrawNumber(picture, index, 1, size - 5 * scale - 1, scale, 0xFFFFFF);
    return picture;
}

TDIB SpritePicture(int index, int width, int height) {
    TDIB sprite;
    sprite.SetPixelFormat(MakePixelFormat(8, 8, 8));
    sprite.SetSize(width, height, 32); // all pixels 0: fully transparent
    const uint32_t body = HueColor(index * 71 + 200, 230);
    const double cx = width / 2.0;
    const double cy = height * 0.45;
    const double rx = width * 0.42;
    const double ry = height * 0.4;
    // The shadow: a flat ellipse at the feet, half transparent.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5 - cx) / (width * 0.4);
            const double v = (y + 0.5 - height * 0.88) / (height * 0.09);
            if (u * u + v * v <= 1)
                Put(sprite, x, y, 0x000000, 110);
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5 - cx) / rx;
            const double v = (y + 0.5 - cy) / ry;
            const double r = std::sqrt(u * u + v * v);
            if (r > 1)
                continue;
            // Lit from the top left; the edge fades out over its outer fifth.
            const int light = int(100 + 40 * (-u - v) / 2);
            const uint8_t alpha = uint8_t(r < 0.8 ? 255 : 255 * (1 - r) / 0.2);
            Put(sprite, x, y, Scale(body, std::clamp(light, 40, 130)), std::max<uint8_t>(alpha, 1));
        }
    const int eye = std::max(1, width / 12);
    for (int side = -1; side <= 1; side += 2) {
        const int ex = int(cx + side * rx * 0.38);
        const int ey = int(cy - ry * 0.25);
        for (int dy = -eye; dy <= eye; ++dy)
            for (int dx = -eye; dx <= eye; ++dx)
                if (dx * dx + dy * dy <= eye * eye)
                    Put(sprite, ex + dx, ey + dy, dx + dy < 0 ? 0xFFFFFF : 0x202020);
    }
    const int scale = std::max(1, width / 24);
    DrawNumber(sprite, index, int(cx) - NumberWidth(index, scale) / 2, int(cy + ry * 0.2), scale,
               0xFFFFFF);
    return sprite;
}

std::unique_ptr<TDIB> AlphaPlaneOf(const TDIB& picture) {
    if (picture.BitCount() != 32)
        return nullptr;
    std::unique_ptr<TDIB> alpha = MakeLibraryBuffer(8, picture.Width(), picture.Height());
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* src = picture.ScanLine(y);
        uint8_t* dst = alpha->ScanLine(y);
        for (int x = 0; x < picture.Width(); ++x)
            dst[x] = src[4 * x + 3];
    }
    return alpha;
}

} // namespace velmora::demo
