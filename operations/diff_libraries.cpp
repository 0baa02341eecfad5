#include "operations/diff_libraries.h"

#include "operations/atlas.h"
#include "operations/copy_images.h"

#include <algorithm>
#include <cstring>
#include <exception>

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

// Compares the payloads of two records a block at a time, reading them from their files.
class TPayloadComparer {
public:
    bool Equal(const TImageData& a, const TImageData& b) {
        const int64_t size = a.PayloadSize();
        if (size != b.PayloadSize())
            return false;
        if (!a.InFile() || !b.InFile()) {
            const TPayload pa(a), pb(b);
            return pa.Complete() == pb.Complete() && pa.Bytes().size() == pb.Bytes().size() &&
                   std::equal(pa.Bytes().begin(), pa.Bytes().end(), pb.Bytes().begin());
        }
        const int64_t atA = int64_t(a.OffSet) + a.HeaderSize;
        const int64_t atB = int64_t(b.OffSet) + b.HeaderSize;
        for (int64_t done = 0; done < size;) {
            const size_t part = size_t(std::min<int64_t>(size - done, kBlock));
            FA.resize(part);
            FB.resize(part);
            const size_t gotA = a.File->ReadAt(atA + done, FA);
            const size_t gotB = b.File->ReadAt(atB + done, FB);
            // Bytes a file cut short lacks are no picture's; they differ from any that are there.
            if (gotA != gotB || std::memcmp(FA.data(), FB.data(), gotA) != 0)
                return false;
            if (gotA < part)
                return true;
            done += int64_t(part);
        }
        return true;
    }

private:
    static constexpr int64_t kBlock = int64_t(1) << 20;
    std::vector<uint8_t> FA, FB;
};

bool SameRecord(const TImageData& a, const TImageData& b, TPayloadComparer& comparer) {
    if (!a.HasImage() || !b.HasImage())
        return a.HasImage() == b.HasImage();
    const std::span<const uint8_t> ha = a.Header(), hb = b.Header();
    return a.HeaderSize == b.HeaderSize && a.DataSize == b.DataSize &&
           std::equal(ha.begin(), ha.end(), hb.begin(), hb.end()) && comparer.Equal(a, b);
}

TImageSide SideOf(TGameImages& library, int index) {
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
TDIB ShownPixels(TGameImages& library, int index) {
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

TDiffResult DiffLibraries(TGameImages& A, TGameImages& B, const TDiffOptions& Options,
                          const TProgress& Progress) {
    TDiffResult result;
    const std::shared_ptr<const TRecordList> recordsA = A.Snapshot();
    const std::shared_ptr<const TRecordList> recordsB = B.Snapshot();
    result.CountA = int(recordsA->size());
    result.CountB = int(recordsB->size());
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
    const bool sameLayout = SameRecordLayout(A, B);
    TPayloadComparer comparer;
    for (int i = result.From; i < result.From + total; ++i) {
        TDifferentImage image;
        image.Index = i;
        if (i >= result.CountB) {
            image.What = idOnlyInA;
            image.A = SideOf(A, i);
        } else if (i >= result.CountA) {
            image.What = idOnlyInB;
            image.B = SideOf(B, i);
        } else if (!sameLayout ||
                   !SameRecord(*(*recordsA)[size_t(i)], *(*recordsB)[size_t(i)], comparer)) {
            const TImageSide a = SideOf(A, i), b = SideOf(B, i);
            image.A = a;
            image.B = b;
            if (!(a.Empty && b.Empty)) {
                if (!(a.Offset == b.Offset))
                    image.What |= idOffset;
                if (a.Empty != b.Empty || a.Width != b.Width || a.Height != b.Height) {
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
        if (Progress)
            Progress(i - result.From + 1, total);
    }
    result.Done = true;
    return result;
}

} // namespace velmora
