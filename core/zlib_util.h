#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace velmora {

// A zlib stream that does not inflate.
class EDecompressionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Compresses into a zlib stream (RFC 1950) at the given level (-1 = zlib's default).
std::vector<uint8_t> ZCompress(std::span<const uint8_t> input, int level = -1);

// Inflates a zlib stream, producing at most maxOutput bytes (more is treated as damage and the
// output is cut there). Raises EDecompressionError when the stream is damaged or truncated.
std::vector<uint8_t> ZDecompress(std::span<const uint8_t> input, uint64_t maxOutput);

} // namespace velmora
