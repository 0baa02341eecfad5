#include "core/read_blocks.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

size_t ReadAt(const TFileStream& stream, int64_t position, std::span<uint8_t> out) {
    std::fill(out.begin(), out.end(), uint8_t(0));
    if (position < 0)
        return 0;
    return stream.ReadAt(position, out);
}

void ReadBlocksAt(const TFileStream& stream, std::span<const int64_t> Positions, size_t BlockSize,
                  std::span<uint8_t> Out) {
    const size_t count = std::min(Positions.size(), BlockSize ? Out.size() / BlockSize : 0);
    const auto readRange = [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i)
            ReadAt(stream, Positions[i], Out.subspan(i * BlockSize, BlockSize));
    };
    // Below this many blocks, or when they are in the cache, one thread is as quick.
    constexpr size_t kBlocksPerThread = 512;
    constexpr size_t kMaxThreads = 64;
    const size_t threads = std::min(kMaxThreads, count / kBlocksPerThread);
    if (threads < 2) {
        readRange(0, count);
        return;
    }
    // Small blocks far apart: reading ahead would fetch the records between them.
    stream.AdviseScattered(true);
    struct TAdviseAgain {
        const TFileStream& Stream;
        ~TAdviseAgain() { Stream.AdviseScattered(false); }
    } adviseAgain{stream};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto readShare = [&](size_t first, size_t last) {
        try {
            readRange(first, last);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
                failure = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(threads);
    const size_t share = (count + threads - 1) / threads;
    for (size_t t = 0; t < threads; ++t) {
        const size_t first = std::min(count, t * share);
        const size_t last = std::min(count, first + share);
        try {
            workers.emplace_back(readShare, first, last);
        } catch (const std::system_error&) {
            // No thread to spare: this one reads the share (its failure is kept like theirs, so
            // that every worker is joined before anything is raised).
            readShare(first, last);
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace velmora
