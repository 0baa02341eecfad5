#pragma once

#include "core/file_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace velmora {

// Writes many small blocks one after another through a buffer, so that rewriting a library of
// tens of thousands of records costs a few hundred large writes.
class TSequentialWriter {
public:
    TSequentialWriter(TFileStream& Stream, int64_t Start) : FStream(Stream), FPosition(Start) {
        FStream.Seek(Start);
        FBuffer.reserve(kChunk);
    }
    TSequentialWriter(const TSequentialWriter&) = delete;
    TSequentialWriter& operator=(const TSequentialWriter&) = delete;

    // Position of the next byte in the file.
    int64_t Position() const { return FPosition; }

    void Write(std::span<const uint8_t> bytes) {
        if (FBuffer.size() + bytes.size() > kChunk)
            Flush();
        if (bytes.size() >= kChunk)
            FStream.Write(bytes);
        else
            FBuffer.insert(FBuffer.end(), bytes.begin(), bytes.end());
        FPosition += int64_t(bytes.size());
    }

    void WriteZeros(size_t n) {
        static constexpr uint8_t zeros[64] = {};
        while (n > 0) {
            const size_t part = n < sizeof(zeros) ? n : sizeof(zeros);
            Write({zeros, part});
            n -= part;
        }
    }

    // Copies up to Length bytes that lie at Position of Source straight into the buffer; returns
    // how many the file had (fewer where it ends early).
    size_t WriteFrom(const TFileStream& Source, int64_t Position, size_t Length) {
        size_t copied = 0;
        while (copied < Length) {
            if (FBuffer.size() >= kChunk)
                Flush();
            const size_t part = std::min(Length - copied, kChunk - FBuffer.size());
            const size_t at = FBuffer.size();
            FBuffer.resize(at + part);
            const size_t got = Source.ReadAt(Position + int64_t(copied),
                                             std::span<uint8_t>(FBuffer).subspan(at, part));
            FBuffer.resize(at + got);
            FPosition += int64_t(got);
            copied += got;
            if (got < part)
                break;
        }
        return copied;
    }

    // Writes out what the buffer holds; raises EFileError.
    void Flush() {
        if (!FBuffer.empty())
            FStream.Write(FBuffer);
        FBuffer.clear();
    }

private:
    static constexpr size_t kChunk = size_t(4) << 20;
    TFileStream& FStream;
    int64_t FPosition;
    std::vector<uint8_t> FBuffer;
};

} // namespace velmora
