#pragma once

// The one codec of zlib streams (RFC 1950) in the program: WZL and Pak payloads and the image
// data of PNG files. libdeflate makes and reads them; game clients read them with zlib.
//
// Reading keeps zlib's verdicts: a stream libdeflate cannot inflate whole into the buffer it is
// given (cut short, damaged, a wrong Adler-32, more output than the buffer) goes through zlib,
// which gives the output and the refusal it always gave. libdeflate is more lenient than zlib
// only about code tables no compressor writes (more than 286 length or 30 distance codes).

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace velmora {

// A zlib stream that does not inflate, or a stream that cannot be made.
class EDecompressionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// zlib's default level, the one the library formats ask for.
inline constexpr int kZlibDefaultLevel = 6;
// The highest compression level (slowest, smallest).
inline constexpr int kZlibMaxLevel = 12;

// Compresses into a zlib stream at a level from 0 (stored) to 12; 1 to 9 compare with zlib's
// levels of the same number. Levels out of range take the default.
std::vector<uint8_t> ZCompress(std::span<const uint8_t> input, int level = kZlibDefaultLevel);

// The largest stream ZCompressInto can make of `size` bytes at `level`.
size_t ZCompressBound(size_t size, int level);
// Compresses into `out`, which must hold ZCompressBound(input.size(), level) bytes; returns the
// stream's length. Raises EDecompressionError when the stream cannot be made.
size_t ZCompressInto(std::span<const uint8_t> input, int level, std::span<uint8_t> out);

// Inflates a zlib stream, producing at most maxOutput bytes (a stream that would give more is cut
// there). Raises EDecompressionError when the stream is damaged or ends before its end marker.
std::vector<uint8_t> ZDecompress(std::span<const uint8_t> input, uint64_t maxOutput);

// Inflates a zlib stream into `first` and then `second`, never writing past them. Returns the
// number of bytes produced (output beyond both buffers is ignored), or -1 when the stream is
// damaged or ends before its end marker.
int64_t InflateInto(std::span<const uint8_t> in, std::span<uint8_t> first,
                    std::span<uint8_t> second = {});

} // namespace velmora
