#include "core/zlib_util.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <limits>
#include <new>

namespace velmora {

namespace {

// Owns an inflating z_stream so that inflateEnd runs on every way out.
class ZStream {
public:
    ZStream() {
        if (inflateInit(&FStream) != Z_OK)
            throw EDecompressionError("zlib: cannot start inflating");
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    ~ZStream() { inflateEnd(&FStream); }
    z_stream* operator->() { return &FStream; }
    z_stream* get() { return &FStream; }

private:
    z_stream FStream{};
};

constexpr size_t kChunkLimit = UINT_MAX; // zlib's counters are uInt

[[noreturn]] void RaiseDamaged(z_stream* z) {
    throw EDecompressionError(z->msg ? std::string("zlib: ") + z->msg
                                     : std::string("zlib: damaged stream"));
}

// After the output bound is reached: true when the stream ends there or has more output; false
// when its input runs out first. Raises on damage.
bool StreamEndsOrGivesMore(ZStream& z, std::span<const uint8_t> input, size_t& inPos) {
    for (;;) {
        uint8_t scratch;
        size_t inChunk = std::min(input.size() - inPos, kChunkLimit);
        z->next_in = const_cast<Bytef*>(input.data() + inPos);
        z->avail_in = uInt(inChunk);
        z->next_out = &scratch;
        z->avail_out = 1;
        int rc = inflate(z.get(), Z_NO_FLUSH);
        size_t usedIn = inChunk - z->avail_in;
        inPos += usedIn;
        if (rc == Z_STREAM_END)
            return true;
        if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR)
            RaiseDamaged(z.get());
        if (z->avail_out == 0)
            return true; // more output than allowed: cut
        if (usedIn == 0)
            return false;
    }
}

// zlib's own verdict and output, for the streams the fast path does not take whole.
std::vector<uint8_t> ZlibDecompress(std::span<const uint8_t> input, uint64_t maxOutput) {
    ZStream z;
    std::vector<uint8_t> out;
    // Start with a guess, never above the bound; grow by doubling up to the bound.
    uint64_t guess =
        std::min<uint64_t>(maxOutput, std::max<uint64_t>(4096, uint64_t(input.size()) * 4));
    out.resize(size_t(guess));
    size_t inPos = 0;
    size_t outPos = 0;
    for (;;) {
        if (outPos == out.size()) {
            if (out.size() >= maxOutput) {
                // The bound is reached. A stream that would give more is cut off here; one that
                // ends must still end properly (its checksum included).
                if (!StreamEndsOrGivesMore(z, input, inPos))
                    throw EDecompressionError("zlib: truncated stream");
                break;
            }
            uint64_t next = std::min<uint64_t>(maxOutput, std::max<uint64_t>(4096, out.size() * 2));
            out.resize(size_t(next));
        }
        size_t inChunk = std::min(input.size() - inPos, kChunkLimit);
        size_t outChunk = std::min(out.size() - outPos, kChunkLimit);
        z->next_in = const_cast<Bytef*>(input.data() + inPos);
        z->avail_in = uInt(inChunk);
        z->next_out = out.data() + outPos;
        z->avail_out = uInt(outChunk);
        int rc = inflate(z.get(), Z_NO_FLUSH);
        size_t usedIn = inChunk - z->avail_in;
        size_t madeOut = outChunk - z->avail_out;
        inPos += usedIn;
        outPos += madeOut;
        if (rc == Z_STREAM_END)
            break;
        if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR)
            RaiseDamaged(z.get());
        if (usedIn == 0 && madeOut == 0 && inPos == input.size() && outPos < out.size())
            throw EDecompressionError("zlib: truncated stream");
    }
    out.resize(outPos);
    return out;
}

int64_t ZlibInflateInto(std::span<const uint8_t> in, std::span<uint8_t> first,
                        std::span<uint8_t> second) {
    if (in.size() > std::numeric_limits<uInt>::max() ||
        first.size() > std::numeric_limits<uInt>::max() ||
        second.size() > std::numeric_limits<uInt>::max())
        return -1;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return -1;
    struct TEnd {
        z_stream* s;
        ~TEnd() { inflateEnd(s); }
    } end{&z};

    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    int64_t produced = 0;
    for (std::span<uint8_t> target : {first, second}) {
        z.next_out = target.data();
        z.avail_out = uInt(target.size());
        while (z.avail_out > 0) {
            const uInt before = z.avail_out;
            const int rc = inflate(&z, Z_NO_FLUSH);
            produced += int64_t(before - z.avail_out);
            if (rc == Z_STREAM_END)
                return produced;
            // With output space left, anything but progress means a damaged or cut stream.
            if (rc != Z_OK)
                return -1;
        }
    }
    // Both targets are full: whatever the stream holds beyond them is not needed.
    return produced;
}

// No deflate stream gives more than 1032 bytes per input byte (a 258-byte match in two bits).
constexpr uint64_t kMaxDeflateRatio = 1032;

struct TDecompressor {
    libdeflate_decompressor* Handle = nullptr;
    ~TDecompressor() {
        if (Handle)
            libdeflate_free_decompressor(Handle);
    }
};

libdeflate_decompressor* Decompressor() {
    thread_local TDecompressor d;
    if (!d.Handle) {
        d.Handle = libdeflate_alloc_decompressor();
        if (!d.Handle)
            throw std::bad_alloc();
    }
    return d.Handle;
}

// One compressor per level and thread: making one costs more than compressing a small picture.
struct TCompressors {
    std::array<libdeflate_compressor*, kZlibMaxLevel + 1> Handles{};
    ~TCompressors() {
        for (libdeflate_compressor* c : Handles)
            if (c)
                libdeflate_free_compressor(c);
    }
};

int ValidLevel(int level) {
    return level < 0 || level > kZlibMaxLevel ? kZlibDefaultLevel : level;
}

libdeflate_compressor* Compressor(int level) {
    thread_local TCompressors compressors;
    libdeflate_compressor*& c = compressors.Handles[size_t(ValidLevel(level))];
    if (!c) {
        c = libdeflate_alloc_compressor(ValidLevel(level));
        if (!c)
            throw std::bad_alloc();
    }
    return c;
}

// Decompresses completely into out; nullopt unless the stream is sound and fits. Every stream
// libdeflate cannot inflate whole (damaged, cut, or longer than the output) then goes to zlib, so
// verdicts and the cut of long streams are zlib's; the common case, a sound stream that fits, is
// fast.
std::optional<size_t> FastInflate(std::span<const uint8_t> in, std::span<uint8_t> out) {
    size_t actual = 0;
    if (libdeflate_zlib_decompress(Decompressor(), in.data(), in.size(), out.data(), out.size(),
                                   &actual) != LIBDEFLATE_SUCCESS)
        return std::nullopt;
    return actual;
}

} // namespace

size_t ZCompressBound(size_t size, int level) {
    return libdeflate_zlib_compress_bound(Compressor(level), size);
}

size_t ZCompressInto(std::span<const uint8_t> input, int level, std::span<uint8_t> out) {
    const size_t n = libdeflate_zlib_compress(Compressor(level), input.data(), input.size(),
                                              out.data(), out.size());
    if (n == 0)
        throw EDecompressionError("deflate: the output buffer is too small");
    return n;
}

std::vector<uint8_t> ZCompress(std::span<const uint8_t> input, int level) {
    std::vector<uint8_t> out(ZCompressBound(input.size(), level));
    out.resize(ZCompressInto(input, level, out));
    return out;
}

std::vector<uint8_t> ZDecompress(std::span<const uint8_t> input, uint64_t maxOutput) {
    const uint64_t reach = uint64_t(input.size()) * kMaxDeflateRatio + 64;
    std::vector<uint8_t> out(size_t(std::min(maxOutput, reach)));
    const std::optional<size_t> n = FastInflate(input, out);
    if (!n)
        return ZlibDecompress(input, maxOutput);
    out.resize(*n);
    if (out.capacity() > 2 * out.size() + 65536)
        out.shrink_to_fit();
    return out;
}

int64_t InflateInto(std::span<const uint8_t> in, std::span<uint8_t> first,
                    std::span<uint8_t> second) {
    if (second.empty()) {
        if (const std::optional<size_t> n = FastInflate(in, first))
            return int64_t(*n);
    } else {
        // libdeflate writes one buffer: inflate into a scratch buffer, then split.
        thread_local std::vector<uint8_t> scratch;
        scratch.resize(first.size() + second.size());
        const std::optional<size_t> n = FastInflate(in, scratch);
        if (n) {
            const size_t a = std::min(*n, first.size());
            if (a > 0)
                std::memcpy(first.data(), scratch.data(), a);
            if (*n > a)
                std::memcpy(second.data(), scratch.data() + a, *n - a);
        }
        if (scratch.capacity() > (size_t(16) << 20))
            std::vector<uint8_t>().swap(scratch);
        if (n)
            return int64_t(*n);
    }
    return ZlibInflateInto(in, first, second);
}

} // namespace velmora
