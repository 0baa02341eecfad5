// TDIB: the canvas operations (fill, draw at a position, stretch-draw).

#include "core/dib.h"

#include "core/dib_pixels.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

// [lo, hi) of a span of `length` starting at `at`, clipped to [0, limit).
struct TClip {
    int lo = 0, hi = 0;
    TClip(int64_t at, int64_t length, int limit) {
        lo = int(std::clamp<int64_t>(at, 0, limit));
        hi = int(std::clamp<int64_t>(at + length, 0, limit));
    }
    bool Empty() const { return lo >= hi; }
};

} // namespace

void TDIB::FillRect(int x, int y, int w, int h, TColor color) {
    if (Empty() || w <= 0 || h <= 0)
        return;
    TClip cx(x, w, FWidth), cy(y, h, FHeight);
    if (cx.Empty() || cy.Empty())
        return;
    TPixelWriter writer(*this);
    uint32_t raw = writer.Convert(color & 0xFFFFFF);
    for (int row = cy.lo; row < cy.hi; ++row) {
        uint8_t* line = ScanLine(row);
        if (FBitCount == 8) {
            std::memset(line + cx.lo, int(raw), size_t(cx.hi - cx.lo));
            continue;
        }
        for (int col = cx.lo; col < cx.hi; ++col)
            writer.WriteRaw(line, col, raw);
    }
}

void TDIB::Draw(int x, int y, const TDIB& source) {
    if (Empty() || source.Empty())
        return;
    TClip cx(x, source.Width(), FWidth), cy(y, source.Height(), FHeight);
    if (cx.Empty() || cy.Empty())
        return;
    const TDIB src(source); // shares storage, and keeps it when source is this buffer
    PBits();                // own storage before writing
    if (SameLayout(*this, src)) {
        const int bytesPerPixel = FBitCount / 8;
        for (int row = cy.lo; row < cy.hi; ++row) {
            uint8_t* dst = ScanLine(row);
            const uint8_t* s = src.ScanLine(row - y);
            if (bytesPerPixel > 0) {
                std::memcpy(dst + size_t(cx.lo) * size_t(bytesPerPixel),
                            s + size_t(cx.lo - x) * size_t(bytesPerPixel),
                            size_t(cx.hi - cx.lo) * size_t(bytesPerPixel));
            } else {
                for (int col = cx.lo; col < cx.hi; ++col)
                    WriteIndex(dst, col, FBitCount, ReadIndex(s, col - x, FBitCount));
            }
        }
        return;
    }
    TPixelReader reader(src);
    TPixelWriter writer(*this);
    for (int row = cy.lo; row < cy.hi; ++row) {
        uint8_t* dst = ScanLine(row);
        const uint8_t* s = src.ScanLine(row - y);
        for (int col = cx.lo; col < cx.hi; ++col)
            writer.Write(dst, col, reader.Read(s, col - x));
    }
}

void TDIB::StretchDraw(int x, int y, int w, int h, const TDIB& source) {
    if (Empty() || source.Empty() || w <= 0 || h <= 0)
        return;
    TClip cx(x, w, FWidth), cy(y, h, FHeight);
    if (cx.Empty() || cy.Empty())
        return;
    const TDIB src(source);
    PBits();
    const int64_t sw = src.Width(), sh = src.Height();
    // Nearest neighbour: target pixel t samples the source pixel under its centre.
    std::vector<int> columns(size_t(cx.hi - cx.lo));
    for (int col = cx.lo; col < cx.hi; ++col) {
        int64_t t = int64_t(col) - x;
        columns[size_t(col - cx.lo)] = int(((2 * t + 1) * sw) / (2 * int64_t(w)));
    }
    const bool raw = SameLayout(*this, src);
    TPixelReader reader(src);
    TPixelWriter writer(*this);
    for (int row = cy.lo; row < cy.hi; ++row) {
        int64_t t = int64_t(row) - y;
        int sy = int(((2 * t + 1) * sh) / (2 * int64_t(h)));
        uint8_t* dst = ScanLine(row);
        const uint8_t* s = src.ScanLine(sy);
        for (int col = cx.lo; col < cx.hi; ++col) {
            int sx = columns[size_t(col - cx.lo)];
            if (raw)
                writer.WriteRaw(dst, col, ReadRaw(s, sx, FBitCount));
            else
                writer.Write(dst, col, reader.Read(s, sx));
        }
    }
}

} // namespace velmora
