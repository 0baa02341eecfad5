#include "formats/wil.h"

#include "core/checked.h"
#include "core/safe_replace.h"
#include "core/palette.h"
#include "core/utils.h"
#include "formats/image_info.h"
#include "formats/library_file.h"
#include "formats/load_budget.h"
#include "formats/sequential_writer.h"
#include "formats/wil_format.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

namespace velmora {

namespace {

int BitCountOfColorCount(uint32_t colorCount) {
    if (colorCount < wil::kColorCount16)
        return 8;
    if (colorCount == wil::kColorCount16)
        return 16;
    if (colorCount == wil::kColorCount24)
        return 24;
    if (colorCount == wil::kColorCount32)
        return 32;
    return 0;
}

void MakeBlankHeader(uint8_t* header, int size) {
    std::memset(header, 0, size_t(size));
    PutI16(header + wil::kWidthAt, 1);
    PutI16(header + wil::kHeightAt, 1);
}

} // namespace

TWil::TWil(const std::string& AFileName) : TGameImages(AFileName, t_Wil) {}

TWil::~TWil() {
    Finalize();
}

std::string TWil::IndexFileName() const {
    return FindFileAnyCaseExt(ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) + ".WIX");
}

void TWil::Initialize() {
    if (FInitialized)
        Finalize();
    // A save that a crash interrupted is finished or undone before anything is read.
    RecoverReplacement(FFileName, {IndexFileName()});
    if (!FileExists(FFileName))
        return;
    m_FileStream = OpenLibraryFile(FFileName);
    if (!m_FileStream)
        return;
    // Shorter than the smallest header: nothing here is a library.
    if (m_FileStream->Size() < wil::kShortFileHeaderSize) {
        m_FileStream.reset();
        return;
    }
    ReadAt(*m_FileStream, 0, FHeader);
    FVersion = 0;
    FFileHeaderSize = wil::kLongFileHeaderSize;
    FIndexHeaderSize = wil::kLongIndexHeaderSize;
    FImageHeaderSize = wil::kLongImageHeaderSize;
    const int32_t indexOffset = GetI32(FHeader.data() + wil::kIndexOffsetAt);
    if (indexOffset == 0 || indexOffset == -1) {
        FVersion = 1;
        FFileHeaderSize = wil::kShortFileHeaderSize;
        FIndexHeaderSize = wil::kShortIndexHeaderSize;
        FImageHeaderSize = wil::kShortImageHeaderSize;
    }
    const int bits = BitCountOfColorCount(GetU32(FHeader.data() + wil::kColorCountAt));
    if (bits == 0) {
        m_FileStream.reset();
        return;
    }
    FBitCount = bits;
    FImageCount = std::max<int32_t>(0, GetI32(FHeader.data() + wil::kImageCountAt));
    m_nFileHeaderSize = FFileHeaderSize;
    m_nIndexHeaderSize = FIndexHeaderSize;
    m_nImageHeaderSize = FImageHeaderSize;
    ReadAt(*m_FileStream, FFileHeaderSize, FRGBQuads);
    LoadIndex();
    SpaceDIB = FillDIB();
    FInitialized = true;
}

// Reads every record straight from the data file into its own block: the file is never held in
// memory twice, and the total is capped by TLoadBudget against damaged headers.
void TWil::LoadIndex() {
    DoBeginRead();
    const std::string indexName = IndexFileName();
    if (FileExists(indexName))
        m_IndexStream = OpenLibraryFile(indexName);
    if (m_IndexStream) {
        const int64_t indexSize = m_IndexStream->Size();
        std::vector<uint8_t> indexHeader(size_t(FIndexHeaderSize), 0);
        ReadAt(*m_IndexStream, 0, indexHeader);
        int64_t count = 0;
        if (indexSize >= wil::kIndexCountAt + 4)
            count = std::max<int32_t>(0, GetI32(indexHeader.data() + wil::kIndexCountAt));
        // A count larger than the positions the file holds is cut to those.
        count = std::min<int64_t>(count, std::max<int64_t>(0, indexSize - FIndexHeaderSize) / 4);
        std::vector<uint8_t> positions(size_t(count) * 4);
        ReadAt(*m_IndexStream, FIndexHeaderSize, positions);

        const int64_t dataSize = m_FileStream->Size();
        TLoadBudget budget{uint64_t(dataSize)};
        const uint64_t headerSize = uint64_t(FImageHeaderSize);
        std::vector<uint8_t> header(headerSize);
        m_Images.reserve(size_t(count));
        for (int64_t i = 0; i < count; ++i) {
            DoRead();
            auto record = std::make_unique<TImageData>();
            const int32_t position = GetI32(positions.data() + i * 4);
            record->OffSet = position;
            record->HeaderSize = FImageHeaderSize;
            ReadAt(*m_FileStream, position, header);
            const int w = GetI16(header.data() + wil::kWidthAt);
            const int h = GetI16(header.data() + wil::kHeightAt);
            uint64_t size = 0;
            if (w >= 1 && h >= 1 && int64_t(w) * h > 4)
                size = headerSize + RowBytes(w, FBitCount) * uint64_t(h);
            if (size == 0 || size > uint64_t(std::numeric_limits<int32_t>::max()) ||
                !budget.Take(size)) {
                // A blank record, or one whose declared size cannot be honoured: it reads as
                // the blank picture and is saved as a blank record.
                record->Image.assign(header.begin(), header.end());
                MakeBlankHeader(record->Image.data(), FImageHeaderSize);
                record->DataSize = FImageHeaderSize;
            } else {
                record->Image.resize(size_t(size));
                ReadAt(*m_FileStream, position, record->Image);
                record->DataSize = int32_t(size);
            }
            m_Images.push_back(std::move(record));
        }
        FImageCount = int32_t(m_Images.size());
    }
    DoEndRead();
}

void TWil::Finalize() {
    {
        std::unique_lock lock(FRecordsLock);
        FInitialized = false;
        SpaceDIB.reset();
        m_FileStream.reset();
        m_IndexStream.reset();
        m_MemoryStream.clear();
        TGameImages::Finalize();
    }
}

namespace {

// True when a record reads as the blank picture: emptied, too small to hold a header, or
// declaring fewer than 5 pixels or more than a picture can hold.
bool IsBlankRecord(const TImageData& Record, int BitCount) {
    const size_t headerSize = size_t(std::max(0, Record.HeaderSize));
    if (!Record.HasImage() || headerSize < wil::kYAt + 2 || Record.Image.size() < headerSize)
        return true;
    const int w = GetI16(Record.Image.data() + wil::kWidthAt);
    const int h = GetI16(Record.Image.data() + wil::kHeightAt);
    if (w < 1 || h < 1 || int64_t(w) * h < 5)
        return true;
    return RowBytes(w, BitCount) * uint64_t(h) > uint64_t(std::numeric_limits<int32_t>::max());
}

} // namespace

std::unique_ptr<TDIB> TWil::DecodeRecord(const TImageData& Record) {
    if (IsBlankRecord(Record, FBitCount))
        return FillDIB();
    const size_t headerSize = size_t(Record.HeaderSize);
    const int w = GetI16(Record.Image.data() + wil::kWidthAt);
    const int h = GetI16(Record.Image.data() + wil::kHeightAt);
    const uint64_t payload = RowBytes(w, FBitCount) * uint64_t(h);
    auto dib = MakeLibraryBuffer(FBitCount, w, h);
    if (!dib)
        return nullptr;
    const size_t n = std::min(size_t(payload), Record.Image.size() - headerSize);
    if (n > 0)
        std::memcpy(dib->PBits(), Record.Image.data() + headerSize, n);
    return dib;
}

TPicture* TWil::GetBitmap(int Index) {
    Source.reset();
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
        return nullptr;
    try {
        Source = DecodeRecord(*m_Images[size_t(Index)]);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TWil::Get(int Index, int& px, int& py) {
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
        return nullptr;
    const TImageData& record = *m_Images[size_t(Index)];
    try {
        auto dib = DecodeRecord(record);
        // A blank picture keeps the caller's px, py.
        if (dib && !IsBlankRecord(record, FBitCount)) {
            px = GetI16(record.Image.data() + wil::kXAt);
            py = GetI16(record.Image.data() + wil::kYAt);
        }
        return dib;
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TWil::GetPoint(int Index) {
    std::shared_lock lock(FRecordsLock);
    if (!FInitialized || Index < 0 || size_t(Index) >= m_Images.size())
        return {};
    const TImageData& record = *m_Images[size_t(Index)];
    if (!record.HasImage() || record.Image.size() < wil::kYAt + 2)
        return {};
    return {GetI16(record.Image.data() + wil::kXAt), GetI16(record.Image.data() + wil::kYAt)};
}

void TWil::SetPoint(int Index, TPoint Value) {
    std::unique_lock lock(FRecordsLock);
    if (!FInitialized || !m_FileStream || Index < 0 || size_t(Index) >= m_Images.size())
        return;
    TImageData& record = *m_Images[size_t(Index)];
    const size_t headerSize = size_t(std::max(0, record.HeaderSize));
    if (!record.HasImage() || record.OffSet < wil::kFirstPatchablePosition ||
        headerSize < wil::kYAt + 2 || record.Image.size() < headerSize)
        return;
    // A position past the end of the file (a damaged index) must not grow the file.
    if (int64_t(record.OffSet) + int64_t(headerSize) > m_FileStream->Size())
        return;
    PutI16(record.Image.data() + wil::kXAt, Value.X);
    PutI16(record.Image.data() + wil::kYAt, Value.Y);
    m_FileStream->Seek(record.OffSet);
    m_FileStream->Write({record.Image.data(), headerSize});
}

std::unique_ptr<TImageData> TWil::EncodeImage(TDIB& Source, int X, int Y, uint8_t /*btEncr0*/,
                                              const TDIB* /*Alpha*/) {
    // The record header holds the size in 16 bits; larger pictures cannot be stored.
    if (Source.Width() > std::numeric_limits<int16_t>::max() ||
        Source.Height() > std::numeric_limits<int16_t>::max())
        return nullptr;
    // Converted on a copy so that the caller's picture stays as it was.
    TDIB picture(Source);
    if (picture.Empty()) {
        picture = *MakeLibraryBuffer(FBitCount, std::max(picture.Width(), 1),
                                     std::max(picture.Height(), 1));
    } else if (picture.BitCount() != FBitCount ||
               (FBitCount == 16 && picture.PixelFormat() != MakePixelFormat(5, 6, 5))) {
        // A 16-bit picture in the 5-5-5 layout is converted too, not reinterpreted.
        if (FBitCount == 8) {
            auto indexed = MakeLibraryBuffer(8, picture.Width(), picture.Height());
            indexed->Draw(0, 0, picture);
            picture = *indexed;
        } else {
            picture.SetPixelFormat(FBitCount == 16 ? MakePixelFormat(5, 6, 5)
                                                   : MakePixelFormat(8, 8, 8));
            picture.SetBitCount(FBitCount);
        }
    }
    const TDIB& stored = picture;
    const uint64_t payload =
        RowBytes(stored.Width(), stored.BitCount()) * uint64_t(stored.Height());
    const uint64_t size = uint64_t(FImageHeaderSize) + payload;
    if (size > uint64_t(std::numeric_limits<int32_t>::max()))
        return nullptr;
    auto record = std::make_unique<TImageData>();
    record->HeaderSize = FImageHeaderSize;
    record->DataSize = int32_t(size);
    record->Image.assign(size_t(size), 0);
    uint8_t* header = record->Image.data();
    PutI16(header + wil::kWidthAt, stored.Width());
    PutI16(header + wil::kHeightAt, stored.Height());
    PutI16(header + wil::kXAt, X);
    PutI16(header + wil::kYAt, Y);
    if (payload > 0)
        std::memcpy(header + FImageHeaderSize, stored.PBits(), size_t(payload));
    return record;
}

void TWil::EndUpdate() {
    try {
        std::unique_lock lock(FRecordsLock);
        FImageCount = int32_t(m_Images.size());
        if (m_FileStream)
            SaveLibrary();
        else
            PutI32(FHeader.data() + wil::kImageCountAt, FImageCount);
    } catch (...) {
        // The update ends even when writing fails, so that the library can be read again.
        TGameImages::EndUpdate();
        throw;
    }
    TGameImages::EndUpdate();
}

// The new files are written beside the old ones and replace both at once (TFileReplacement). A
// failure leaves the old files as they were, and the records keep the positions they have in
// them, so that SetPoint still patches the right headers and a later save can try again.
void TWil::SaveLibrary() {
    const auto header = FHeader;
    const TRecordPositions positions(m_Images);
    // Saving a library whose index file was missing creates it.
    const std::string indexName =
        m_IndexStream ? m_IndexStream->FileName()
                      : ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) + ".WIX";
    try {
        PutI32(FHeader.data() + wil::kImageCountAt, FImageCount);
        TFileReplacement replacement({FFileName, indexName});
        WriteLibrary(replacement.Stream(0), replacement.Stream(1));
        replacement.Commit();
    } catch (...) {
        FHeader = header;
        positions.Restore(m_Images);
        throw;
    }
    // The open handles follow the new files; the old ones are gone.
    m_FileStream = OpenLibraryFile(FFileName);
    m_IndexStream = OpenLibraryFile(indexName);
    if (!m_FileStream || !m_IndexStream)
        throw EFileError(FFileName, "saved, but the new files cannot be opened again");
}

void TWil::WriteLibrary(TFileStream& Data, TFileStream& Index) {
    const int64_t firstRecord = int64_t(FFileHeaderSize) + wil::kPaletteBytes;
    const int64_t blankSize = int64_t(FImageHeaderSize) + int64_t(RowBytes(1, FBitCount));
    // Positions are stored as signed 32-bit values: refuse before writing anything rather than
    // write an index that points to the wrong places.
    int64_t end = firstRecord;
    for (const auto& record : m_Images)
        end +=
            record->HasImage() && record->DataSize > 0 ? int64_t(record->Image.size()) : blankSize;
    if (end > std::numeric_limits<int32_t>::max())
        throw EFileError(FFileName,
                         "the library would exceed 2 GiB, which its index cannot address");

    std::vector<uint8_t> positions(m_Images.size() * 4);
    std::vector<uint8_t> blank(size_t(blankSize), 0);
    MakeBlankHeader(blank.data(), FImageHeaderSize);
    if (SpaceDIB && SpaceDIB->Size() == blankSize - FImageHeaderSize) {
        const TDIB& space = *SpaceDIB;
        std::memcpy(blank.data() + FImageHeaderSize, space.PBits(), size_t(space.Size()));
    }

    TSequentialWriter writer(Data, 0);
    writer.Write({FHeader.data(), size_t(FFileHeaderSize)});
    writer.Write(FRGBQuads);
    for (size_t i = 0; i < m_Images.size(); ++i) {
        TImageData& record = *m_Images[i];
        record.OffSet = int32_t(writer.Position());
        PutI32(positions.data() + i * 4, record.OffSet);
        if (record.HasImage() && record.DataSize > 0)
            writer.Write(record.Image);
        else
            writer.Write(blank);
    }
    writer.Flush();
    Data.SetSize(writer.Position());

    std::vector<uint8_t> indexHeader(size_t(FIndexHeaderSize), 0);
    const size_t titleLength = sizeof(wil::kTitle) - 1;
    indexHeader[0] = uint8_t(titleLength);
    std::memcpy(indexHeader.data() + 1, wil::kTitle, titleLength);
    PutI32(indexHeader.data() + wil::kIndexCountAt, int32_t(m_Images.size()));
    TSequentialWriter indexWriter(Index, 0);
    indexWriter.Write(indexHeader);
    indexWriter.Write(positions);
    indexWriter.Flush();
    Index.SetSize(indexWriter.Position());
}

} // namespace velmora
