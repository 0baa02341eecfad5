#include "operations/diff_libraries.h"

#include "operations/atlas.h"
#include "operations/copy_images.h"

#include "core/file_stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora {

std::string DifferenceText(uint8_t What) {
    static const char* const kNames[] = {"pixels", "size", "offset", "only in A", "only in B"};
    std::string text;
    for (int bit = 0; bit < 5; ++bit) {
        if ((What & (1u << bit)) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += kNames[bit];
    }
    return text;
}

namespace {

// A window onto a file that serves the records of a library read one after another with one large
// read per window, so that comparing many small records costs what reading the file costs.
class TFileWindow {
public:
    TFileWindow() : FBuffer(new uint8_t[kSize]) {}

    // The bytes at At .. At + Length of File (Length at most kSize), fewer where the file ends.
    std::span<const uint8_t> Get(const TFileStream& File, int64_t At, size_t Length) {
        if (&File != FFile || At < FStart || At + int64_t(Length) > FStart + FFilled) {
            FFile = &File;
            FStart = At;
            FFilled = int64_t(File.ReadAt(At, std::span<uint8_t>(FBuffer.get(), kSize)));
        }
        const int64_t available = std::clamp<int64_t>(FStart + FFilled - At, 0, int64_t(Length));
        return {FBuffer.get() + (At - FStart), size_t(available)};
    }

    static constexpr size_t kSize = size_t(4) << 20;

private:
    std::unique_ptr<uint8_t[]> FBuffer;
    const TFileStream* FFile = nullptr;
    int64_t FStart = 0;
    int64_t FFilled = 0;
};

// True when two records of one layout whose headers and sizes are equal hold equal payloads.
bool SamePayload(const TImageData& a, const TImageData& b, TFileWindow& windowA,
                 TFileWindow& windowB) {
    // Both records' headers were read before the comparison.
    const int64_t size = a.PayloadSize();
    if (!a.InFile() || !b.InFile()) {
        const TPayload pa(a), pb(b);
        return pa.Complete() == pb.Complete() && std::equal(pa.Bytes().begin(), pa.Bytes().end(),
                                                            pb.Bytes().begin(), pb.Bytes().end());
    }
    const int64_t atA = int64_t(a.OffSet) + a.HeaderSize;
    const int64_t atB = int64_t(b.OffSet) + b.HeaderSize;
    for (int64_t done = 0; done < size;) {
        const size_t part = size_t(std::min<int64_t>(size - done, int64_t(TFileWindow::kSize)));
        const std::span<const uint8_t> bytesA = windowA.Get(*a.File, atA + done, part);
        const std::span<const uint8_t> bytesB = windowB.Get(*b.File, atB + done, part);
        // Bytes that a file cut short lacks are no picture's: they differ from any that are there.
        if (bytesA.size() != bytesB.size() ||
            std::memcmp(bytesA.data(), bytesB.data(), bytesA.size()) != 0)
            return false;
        if (bytesA.size() < part)
            return true;
        done += int64_t(part);
    }
    return true;
}

// Records whose stored bytes settle the comparison without decoding: of one layout, both with an
// image, equal headers and sizes. Their payloads decide.
bool PayloadDecides(const TImageData& a, const TImageData& b) {
    if (!a.HasImage() || !b.HasImage())
        return false;
    const std::span<const uint8_t> ha = a.Header(), hb = b.Header();
    return a.HeaderSize == b.HeaderSize && a.DataSize == b.DataSize &&
           std::equal(ha.begin(), ha.end(), hb.begin(), hb.end());
}

// Compares the payloads of the pairs Images (indexes into both record lists) on the processor's
// cores, in runs of consecutive images so that each worker reads its files front to back. Equal[k]
// is set for Images[k] when the payloads are equal. The calling thread works too and calls
// Progress after each of its runs with the number of images compared so far; the first exception
// of a worker or of Progress (a cancel) stops the others and is raised again.
void ComparePayloads(const TSnapshot& a, const TSnapshot& b, const std::vector<int>& Images,
                     std::vector<uint8_t>& Equal, const std::function<void(int)>& Progress) {
    // Runs of up to 32 MiB of payload or 4096 images.
    std::vector<size_t> runs{0};
    int64_t bytes = 0;
    for (size_t k = 0; k < Images.size(); ++k) {
        bytes += a.Record(Images[k])->PayloadSize();
        if (bytes >= (int64_t(32) << 20) || k + 1 - runs.back() >= 4096) {
            runs.push_back(k + 1);
            bytes = 0;
        }
    }
    if (runs.back() != Images.size())
        runs.push_back(Images.size());
    std::atomic<size_t> next{0};
    std::atomic<int> compared{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&](bool reporting) {
        TFileWindow windowA, windowB;
        try {
            for (;;) {
                const size_t run = next.fetch_add(1);
                if (stop || run + 1 >= runs.size())
                    return;
                for (size_t k = runs[run]; k < runs[run + 1]; ++k) {
                    const int i = Images[k];
                    Equal[k] = SamePayload(*a.Record(i), *b.Record(i), windowA, windowB) ? 1 : 0;
                }
                const int done = compared += int(runs[run + 1] - runs[run]);
                if (reporting && Progress)
                    Progress(done);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> helpers;
    const int cores = std::max(ProcessorCount(), 1);
    try {
        for (int k = 1; k < cores && size_t(k) + 1 < runs.size(); ++k)
            helpers.emplace_back(work, false);
    } catch (...) {
        // A helper that cannot be started: the others and the calling thread do its share.
    }
    work(true);
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

TImageSide SideOf(const TSnapshot& library, int index) {
    TImageSide side;
    if (const std::optional<TImageDescription> d = library.Describe(index, false)) {
        side.Width = d->Width;
        side.Height = d->Height;
        side.Offset = d->Offset;
        side.Empty = d->Empty;
    }
    return side;
}

// The picture as the game shows it: 32-bit straight alpha, with every fully transparent pixel 0
// whatever colour it kept. Empty when it cannot be decoded.
TDIB ShownPixels(const TSnapshot& library, int index) {
    int x = 0, y = 0;
    std::unique_ptr<TPicture> picture;
    try {
        picture = library.Get(index, x, y);
    } catch (const std::exception&) {
        return TDIB();
    }
    if (!picture)
        return TDIB();
    TDIB rgba = AtlasPixels(*picture);
    for (int row = 0; row < rgba.Height(); ++row) {
        auto* p = reinterpret_cast<uint8_t*>(rgba.ScanLine(row));
        for (int col = 0; col < rgba.Width(); ++col, p += 4)
            if (p[3] == 0)
                std::memset(p, 0, 4);
    }
    return rgba;
}

bool SamePixels(const TDIB& a, const TDIB& b) {
    if (a.Empty() || b.Empty() || a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    const size_t row = size_t(a.Width()) * 4;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), row) != 0)
            return false;
    return true;
}

} // namespace

TDiffResult DiffLibraries(TGameImages& LibraryA, TGameImages& LibraryB, const TDiffOptions& Options,
                          const TProgress& Progress) {
    TDiffResult result;
    const TSnapshotPtr snapshotA = LibraryA.Snapshot();
    const TSnapshotPtr snapshotB = LibraryB.Snapshot();
    const TSnapshot& A = *snapshotA;
    const TSnapshot& B = *snapshotB;
    result.CountA = A.Count();
    result.CountB = B.Count();
    const int longer = std::max(result.CountA, result.CountB);
    result.From = Options.From;
    result.To = Options.To.value_or(longer - 1);
    const bool nothingAsked = !Options.To && Options.From == 0 && longer == 0;
    if (!nothingAsked && (result.From < 0 || result.From > result.To || result.To >= longer)) {
        result.Error = "images " + std::to_string(result.From) + ".." + std::to_string(result.To) +
                       " are not all in either library (A holds " + std::to_string(result.CountA) +
                       ", B " + std::to_string(result.CountB) + ")";
        return result;
    }
    const int total = nothingAsked ? 0 : result.To - result.From + 1;
    if (Progress)
        Progress(0, total);
    // First the pairs whose stored bytes decide, compared without decoding; then, in order, every
    // other pair.
    const bool sameLayout = SameRecordLayout(A, B);
    const int shared = std::min(result.CountA, result.CountB);
    // Only the headers of the range are read, each library's in one go.
    A.ReadHeaders(result.From, std::min(result.From + total, result.CountA) - 1);
    B.ReadHeaders(result.From, std::min(result.From + total, result.CountB) - 1);
    std::vector<int> byBytes;
    for (int i = result.From; i < result.From + total && i < shared; ++i)
        if (sameLayout && PayloadDecides(*A.Record(i), *B.Record(i)))
            byBytes.push_back(i);
    std::vector<uint8_t> equalBytes(byBytes.size(), 0);
    ComparePayloads(A, B, byBytes, equalBytes, [&](int done) {
        if (Progress)
            Progress(done, total);
    });
    // Per image of the range: 0 not compared by its bytes, 1 bytes equal, 2 bytes different.
    std::vector<uint8_t> byteState(size_t(total), 0);
    for (size_t k = 0; k < byBytes.size(); ++k)
        byteState[size_t(byBytes[k] - result.From)] = equalBytes[k] ? 1 : 2;
    int settled = int(byBytes.size());
    for (int i = result.From; i < result.From + total; ++i) {
        const uint8_t state = byteState[size_t(i - result.From)];
        if (state == 1)
            continue;
        TDifferentImage image;
        image.Index = i;
        const TImageData* a = A.Record(i);
        const TImageData* b = B.Record(i);
        if (!b) {
            image.What = idOnlyInA;
            image.A = SideOf(A, i);
        } else if (!a) {
            image.What = idOnlyInB;
            image.B = SideOf(B, i);
        } else if (!(sameLayout && !a->HasImage() && !b->HasImage())) {
            const TImageSide sideA = SideOf(A, i), sideB = SideOf(B, i);
            image.A = sideA;
            image.B = sideB;
            if (!(sideA.Empty && sideB.Empty)) {
                if (!(sideA.Offset == sideB.Offset))
                    image.What |= idOffset;
                if (sideA.Empty != sideB.Empty || sideA.Width != sideB.Width ||
                    sideA.Height != sideB.Height) {
                    image.What |= idSize;
                } else {
                    ++result.Decoded;
                    const TDIB pa = ShownPixels(A, i), pb = ShownPixels(B, i);
                    if (pa.Width() != pb.Width() || pa.Height() != pb.Height())
                        image.What |= idSize;
                    else if (!SamePixels(pa, pb))
                        image.What |= idPixels;
                }
            }
        }
        if (image.What != 0)
            result.Differences.push_back(image);
        if (state == 0 && Progress)
            Progress(++settled, total);
    }
    result.Done = true;
    return result;
}

} // namespace velmora
