#include "formats/pak_codec.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr int kMaxPacket = 128;

bool SamePixel(const uint8_t* a, const uint8_t* b, int pixelBytes) {
    return std::memcmp(a, b, size_t(pixelBytes)) == 0;
}

} // namespace

void PackRunLengthRow(const uint8_t* row, int count, int pixelBytes, std::vector<uint8_t>& out) {
    const size_t b = size_t(pixelBytes);
    int p = 0;
    while (p < count) {
        const int remaining = count - p;
        // Literal length: pixels before the next pair of equal neighbours; with no pair ahead,
        // all but the last pixel, which then goes out as a literal of its own.
        int literal;
        if (remaining == 1) {
            literal = 1;
        } else {
            literal = 0;
            while (literal < remaining - 1 &&
                   !SamePixel(row + (p + literal) * b, row + (p + literal + 1) * b, pixelBytes))
                ++literal;
        }
        if (literal > 0) {
            const int n = std::min(literal, kMaxPacket);
            out.push_back(uint8_t(n - 1));
            out.insert(out.end(), row + p * b, row + (p + n) * b);
            p += n;
            continue;
        }
        int run = 1;
        while (run < remaining && SamePixel(row + p * b, row + (p + run) * b, pixelBytes))
            ++run;
        const int n = std::min(run, kMaxPacket);
        out.push_back(uint8_t(0x80 + n - 1));
        out.insert(out.end(), row + p * b, row + (p + 1) * b);
        p += n;
    }
}

std::vector<uint8_t> PackRunLength(const uint8_t* pixels, int width, int height, int pixelBytes) {
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0 || pixelBytes <= 0)
        return out;
    const size_t rowBytes = size_t(width) * size_t(pixelBytes);
    out.reserve(rowBytes * size_t(height) / 2 + 16);
    for (int y = 0; y < height; ++y)
        PackRunLengthRow(pixels + size_t(y) * rowBytes, width, pixelBytes, out);
    return out;
}

size_t UnpackRunLength(std::span<const uint8_t> in, std::span<uint8_t> out, int pixelBytes) {
    if (pixelBytes <= 0)
        return 0;
    const size_t b = size_t(pixelBytes);
    size_t ip = 0, op = 0;
    while (op < out.size() && ip < in.size()) {
        const uint8_t c = in[ip++];
        if (c < 0x80) {
            const size_t bytes = (size_t(c) + 1) * b;
            const size_t n = std::min({bytes, in.size() - ip, out.size() - op});
            std::memcpy(out.data() + op, in.data() + ip, n);
            op += n;
            if (in.size() - ip < bytes)
                break;
            ip += bytes;
        } else {
            if (in.size() - ip < b)
                break;
            const uint8_t* pixel = in.data() + ip;
            ip += b;
            for (size_t k = 0; k <= size_t(c - 0x80) && op < out.size(); ++k) {
                const size_t n = std::min(b, out.size() - op);
                std::memcpy(out.data() + op, pixel, n);
                op += n;
            }
        }
    }
    return op;
}

} // namespace velmora
