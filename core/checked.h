#pragma once

// Little-endian field access and overflow-checked size arithmetic for parsing untrusted files.

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

namespace velmora {

inline uint16_t GetU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline int16_t GetI16(const uint8_t* p) {
    return int16_t(GetU16(p));
}
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) {
    return int32_t(GetU32(p));
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutI16(uint8_t* p, int32_t v) {
    PutU16(p, uint16_t(v));
}
inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void PutI32(uint8_t* p, int32_t v) {
    PutU32(p, uint32_t(v));
}

// Bounds-checked reads from a byte span: a field that does not fit reads as absent.
inline std::optional<uint32_t> ReadU32(std::span<const uint8_t> data, uint64_t offset) {
    if (offset > data.size() || data.size() - offset < 4)
        return std::nullopt;
    return GetU32(data.data() + offset);
}

inline std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a)
        return std::nullopt;
    return a * b;
}
inline std::optional<uint64_t> CheckedAdd(uint64_t a, uint64_t b) {
    if (b > std::numeric_limits<uint64_t>::max() - a)
        return std::nullopt;
    return a + b;
}

// True when [offset, offset + length) lies inside a block of `size` bytes.
inline bool RangeInside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// Bytes per padded row of `width` pixels at `bits` per pixel, in 64 bits.
inline uint64_t RowBytes(int64_t width, int bits) {
    if (width <= 0 || bits <= 0)
        return 0;
    return ((uint64_t(width) * uint64_t(bits) + 31) / 32) * 4;
}

} // namespace velmora
