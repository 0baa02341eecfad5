#include "formats/wis.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/map_file_stream.h"
#include "formats/image_info.h"
#include "formats/wis_format.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace velmora {

namespace {

// How far a picture may outgrow what its payload can give (the rest reads as black).
constexpr uint64_t kDecodeAllowance = 1u << 20;

struct TWisImageHeader {
    uint8_t Flag = 0;
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
};

TWisImageHeader ParseImageHeader(const uint8_t* p) {
    TWisImageHeader header;
    header.Flag = p[wis::kFlagAt];
    header.Width = GetI16(p + wis::kWidthAt);
    header.Height = GetI16(p + wis::kHeightAt);
    header.X = GetI16(p + wis::kXAt);
    header.Y = GetI16(p + wis::kYAt);
    return header;
}

} // namespace

size_t DecodeRLE(std::span<const uint8_t> Source, std::span<uint8_t> Target) {
    size_t s = 0;
    size_t t = 0;
    while (s < Source.size() && t < Target.size()) {
        const uint8_t control = Source[s++];
        if (s >= Source.size())
            break; // a control byte without its value or count
        if (control >= 1) {
            const uint8_t value = Source[s++];
            const size_t n = std::min<size_t>(control, Target.size() - t);
            std::memset(Target.data() + t, value, n);
            t += n;
        } else {
            const size_t count = Source[s++];
            const size_t n = std::min({count, Source.size() - s, Target.size() - t});
            std::memcpy(Target.data() + t, Source.data() + s, n);
            s += std::min(count, Source.size() - s);
            t += n;
        }
    }
    return t;
}

TWis::TWis(const std::string& AFileName) : TGameImages(AFileName, t_Wis) {}

TWis::~TWis() {
    Finalize();
}

void TWis::Initialize() {
    if (FInitialized)
        Finalize();
    if (!FileExists(FFileName))
        return;
    ResetFileAttributes(FFileName);
    LoadIndex();
    try {
        m_FileStream = std::make_unique<TFileStream>(FFileName, TFileStream::fmOpenReadWrite);
    } catch (const EFileError&) {
        // Without write access the pictures can still be read; only SetPoint will fail.
        try {
            m_FileStream = std::make_unique<TFileStream>(FFileName, TFileStream::fmOpenRead);
        } catch (const EFileError&) {
            m_IndexList.clear();
            FImageCount = 0;
            return;
        }
    }
    FInitialized = true;
}

// Scans the table backwards from the end of the file: entries are taken until one fails the
// checks or the one at the first record position (512) is reached.
void TWis::LoadIndex() {
    m_IndexList.clear();
    std::vector<TWisHeader> taken;
    TMapFileStream map;
    if (map.LoadFromFile(FFileName)) {
        const uint8_t* memory = map.Memory();
        int64_t r = map.Size();
        while (true) {
            if (r <= wis::kHeadSize) {
                FIndexOffset = r;
                break;
            }
            r -= wis::kTableEntrySize;
            TWisHeader entry;
            entry.OffSet = GetI32(memory + r);
            entry.Length = GetI32(memory + r + 4);
            entry.temp3 = GetI32(memory + r + 8);
            if (entry.OffSet < wis::kHeadSize || entry.Length < 1) {
                FIndexOffset = r + wis::kTableEntrySize;
                break;
            }
            taken.push_back(entry);
            if (entry.OffSet == wis::kHeadSize) {
                FIndexOffset = r;
                break;
            }
        }
    }
    m_IndexList.assign(taken.rbegin(), taken.rend());
    FImageCount = int32_t(m_IndexList.size());
}

void TWis::Finalize() {
    if (FInitialized) {
        std::lock_guard lock(FCriticalSection);
        FInitialized = false;
        m_FileStream.reset();
        m_IndexList.clear();
    }
    TGameImages::Finalize();
}

std::unique_ptr<TDIB> TWis::ReadPicture(int Index, int* px, int* py) {
    if (!FInitialized || Index < 0 || Index >= FImageCount || size_t(Index) >= m_IndexList.size())
        return nullptr;
    const TWisHeader entry = m_IndexList[size_t(Index)];
    uint8_t rawHeader[wis::kImageHeaderSize];
    std::vector<uint8_t> data;
    TWisImageHeader header;
    {
        // The file position is shared by every reader: each seek-and-read runs alone.
        std::lock_guard lock(FCriticalSection);
        if (!m_FileStream)
            return nullptr;
        const uint64_t fileSize = uint64_t(m_FileStream->Size());
        const uint64_t start = uint64_t(entry.OffSet);
        if (!RangeInside(start, wis::kImageHeaderSize, fileSize))
            return nullptr;
        m_FileStream->Seek(entry.OffSet);
        if (m_FileStream->Read(rawHeader) != sizeof(rawHeader))
            return nullptr;
        header = ParseImageHeader(rawHeader);
        if (px && py) {
            *px = header.X;
            *py = header.Y;
        }
        if (!RangeInside(start + wis::kImageHeaderSize, uint64_t(entry.Length), fileSize))
            return nullptr;
        if (header.Width < 1 || header.Height < 1)
            return FillDIB();
        // A header that declares far more pixels than the payload can give is damage.
        const uint64_t pixels = uint64_t(header.Width) * uint64_t(header.Height);
        const uint64_t producible =
            uint64_t(entry.Length) * (header.Flag == wis::kRleFlag ? wis::kMaxRleExpansion : 1);
        if (pixels > producible + kDecodeAllowance)
            return nullptr;
        data.resize(size_t(entry.Length));
        if (m_FileStream->Read(data) != data.size())
            return nullptr;
    }
    const int w = header.Width;
    const int h = header.Height;
    // The picture's width is rounded up to a multiple of 4; the extra columns stay black.
    auto picture = MakeLibraryBuffer(8, int(RowBytes(w, 8)), h);
    std::vector<uint8_t> decoded;
    std::span<const uint8_t> pixels = data;
    if (header.Flag == wis::kRleFlag) {
        decoded.assign(size_t(w) * size_t(h), 0);
        DecodeRLE(data, decoded);
        pixels = decoded;
    }
    for (int i = 0; i < h; ++i) {
        const size_t from = size_t(i) * size_t(w);
        if (from >= pixels.size())
            break;
        std::memcpy(picture->ScanLine(i), pixels.data() + from,
                    std::min(size_t(w), pixels.size() - from));
    }
    return picture;
}

TPicture* TWis::GetBitmap(int Index) {
    Source.reset();
    try {
        Source = ReadPicture(Index, nullptr, nullptr);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TWis::Get(int Index, int& px, int& py) {
    px = 0;
    py = 0;
    try {
        return ReadPicture(Index, &px, &py);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TWis::GetPoint(int Index) {
    if (!FInitialized || Index < 0 || size_t(Index) >= m_IndexList.size())
        return {};
    const TWisHeader entry = m_IndexList[size_t(Index)];
    std::lock_guard lock(FCriticalSection);
    if (!m_FileStream ||
        !RangeInside(uint64_t(entry.OffSet), wis::kImageHeaderSize, uint64_t(m_FileStream->Size())))
        return {};
    uint8_t rawHeader[wis::kImageHeaderSize];
    m_FileStream->Seek(entry.OffSet);
    if (m_FileStream->Read(rawHeader) != sizeof(rawHeader))
        return {};
    const TWisImageHeader header = ParseImageHeader(rawHeader);
    return {header.X, header.Y};
}

void TWis::SetPoint(int Index, TPoint Value) {
    if (!FInitialized || Index < 0 || size_t(Index) >= m_IndexList.size())
        return;
    const TWisHeader entry = m_IndexList[size_t(Index)];
    std::lock_guard lock(FCriticalSection);
    if (!m_FileStream ||
        !RangeInside(uint64_t(entry.OffSet), wis::kImageHeaderSize, uint64_t(m_FileStream->Size())))
        return;
    uint8_t rawHeader[wis::kImageHeaderSize];
    m_FileStream->Seek(entry.OffSet);
    if (m_FileStream->Read(rawHeader) != sizeof(rawHeader))
        return;
    PutI16(rawHeader + wis::kXAt, Value.X);
    PutI16(rawHeader + wis::kYAt, Value.Y);
    m_FileStream->Seek(entry.OffSet);
    m_FileStream->Write(rawHeader);
}

} // namespace velmora
