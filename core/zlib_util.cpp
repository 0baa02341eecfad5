#include "core/zlib_util.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

namespace velmora {

namespace {

// Owns an inflating or deflating z_stream so that its End function runs on every way out.
class ZStream {
public:
    enum Kind { Inflate, Deflate };
    ZStream(Kind kind, int level) : FKind(kind) {
        int rc = kind == Inflate ? inflateInit(&FStream) : deflateInit(&FStream, level);
        if (rc != Z_OK)
            throw EDecompressionError(kind == Inflate ? "zlib: cannot start inflating"
                                                      : "zlib: cannot start deflating");
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    ~ZStream() {
        if (FKind == Inflate)
            inflateEnd(&FStream);
        else
            deflateEnd(&FStream);
    }
    z_stream* operator->() { return &FStream; }
    z_stream* get() { return &FStream; }

private:
    Kind FKind;
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

} // namespace

std::vector<uint8_t> ZCompress(std::span<const uint8_t> input, int level) {
    if (level < -1 || level > 9)
        level = Z_DEFAULT_COMPRESSION;
    ZStream z(ZStream::Deflate, level);
    std::vector<uint8_t> out(
        size_t(deflateBound(z.get(), uLong(std::min(input.size(), size_t(ULONG_MAX))))) + 16);
    size_t inPos = 0;
    size_t outPos = 0;
    for (;;) {
        size_t inChunk = std::min(input.size() - inPos, kChunkLimit);
        z->next_in = const_cast<Bytef*>(input.data() + inPos);
        z->avail_in = uInt(inChunk);
        if (outPos == out.size())
            out.resize(out.size() * 2);
        size_t outChunk = std::min(out.size() - outPos, kChunkLimit);
        z->next_out = out.data() + outPos;
        z->avail_out = uInt(outChunk);
        bool last = inPos + inChunk == input.size();
        int rc = deflate(z.get(), last ? Z_FINISH : Z_NO_FLUSH);
        inPos += inChunk - z->avail_in;
        outPos += outChunk - z->avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            throw EDecompressionError("zlib: deflate failed");
    }
    out.resize(outPos);
    return out;
}

std::vector<uint8_t> ZDecompress(std::span<const uint8_t> input, uint64_t maxOutput) {
    ZStream z(ZStream::Inflate, 0);
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

} // namespace velmora
