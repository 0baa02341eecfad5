// The writing side of TQuillrand: new files, record encoding, conversion and full rewrites.

#include "formats/pak.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/utils.h"
#include "core/file_replacement.h"
#include "core/in_place_change.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/image_info.h"
#include "formats/library_file.h"
#include "formats/pak_codec.h"
#include "formats/sequential_writer.h"
#include "protection/password_text.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>

namespace velmora {

namespace {

constexpr uint64_t kMaxInt32 = uint64_t(std::numeric_limits<int32_t>::max());
constexpr int kMaxSide = std::numeric_limits<int16_t>::max();

// The current local date and time as days since 30 December 1899.
double LocalDateTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // timegm reads the local fields as if they were UTC: seconds of the local wall-clock time.
    const double seconds = double(timegm(&local));
    return seconds / 86400.0 + 25569.0;
}

// The full-resolution plane of an alpha buffer (laid out as an 8-bit buffer's storage), or none
// when the buffer does not match the image: a plane of another size would break the record.
std::optional<std::vector<uint8_t>> FullAlphaPlane(const TDIB* Alpha, int width, int height) {
    if (!Alpha || Alpha->Width() != width || Alpha->Height() != height)
        return std::nullopt;
    if (Alpha->BitCount() == 8)
        return std::vector<uint8_t>(Alpha->PBits(), Alpha->PBits() + Alpha->Size());
    if (Alpha->BitCount() != 32)
        return std::nullopt;
    const size_t rowBytes = size_t(RowBytes(width, 8));
    std::vector<uint8_t> plane(rowBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane[size_t(height - 1 - y) * rowBytes + size_t(x)] =
                uint8_t(Alpha->Pixel(x, y) >> 24);
    return plane;
}

// The picture as the library stores it: 16-bit pixels in the 5-6-5 layout, and 1- or 4-bit
// pictures (whose pixel kinds no reader decodes) as 8-bit palette pictures. Converted pictures
// are held in `holder`; the caller's picture is never changed.
const TDIB& InStoredLayout(const TDIB& Source, int bits, std::unique_ptr<TDIB>& holder) {
    if (bits < 8)
        bits = 8;
    const bool layoutOk = bits != 16 || Source.PixelFormat() == MakePixelFormat(5, 6, 5);
    if (Source.BitCount() == bits && layoutOk)
        return Source;
    holder = MakeLibraryBuffer(bits, Source.Width(), Source.Height());
    if (!holder)
        return Source;
    holder->FillRect(0, 0, Source.Width(), Source.Height(), RGBColor(0, 0, 0));
    holder->Draw(0, 0, Source);
    return *holder;
}

// Bits per pixel of a WZL pixel kind as stored (kinds 0-2 are kept but never decoded).
int StoredBitsOfKind(uint8_t kind) {
    static constexpr int kBits[8] = {1, 1, 4, 8, 16, 16, 24, 32};
    return kind < 8 ? kBits[kind] : 0;
}

} // namespace

bool TQuillrand::CreateFile(uint8_t ABitCount, const std::string& PassWord) {
    // A password the code page cannot hold could never be typed to open the file.
    const std::optional<std::string> keyText = PasswordKeyText(PassWord);
    if (!keyText)
        return false;
    // A library that is there already is replaced as an edit of it: under its lock, after any
    // save of it that was cut short is settled.
    const TLibraryLock lock = LockForReplacing();
    if (FileExists(FFileName))
        ResetFileAttributes(FFileName);
    // Written beside any old file and renamed over it: a failure leaves the old file whole.
    TFileReplacement replacement({FFileName});
    TFileStream& file = replacement.Stream(0);
    const TPakKey key = DeriveKey(*keyText);
    TPakFileHeader header;
    header.SetTitle(kPakTitle);
    header.SetSize(uint32_t(PakDataBase(2)));
    header.SetImageCount(0);
    header.SetbfType(2);
    header.SetIndexOffset(uint32_t(PakDataBase(2)));
    header.SetBitCount(ABitCount);
    header.SetCreateDate(LocalDateTimeNow());

    uint8_t code[10];
    EncryptChained(reinterpret_cast<const uint8_t*>(kPakMagic2.data()), code, 10, key);
    header.SetCheckCode(code, 10);
    // The key stays out of the file, as with every header written: the check code alone tells
    // whether a password fits, and the header is encrypted under a key anyone can derive.
    const std::vector<uint8_t> encrypted = EncryptText(header.Bytes, HeaderKeyText(2));
    header.SetKey(key);
    FHeader = header;

    std::array<uint8_t, kPakFileHeaderInfoSize> magic{};
    magic[0] = uint8_t(kPakMagic2.size());
    std::memcpy(&magic[1], kPakMagic2.data(), kPakMagic2.size());
    file.Write(magic);
    file.Write(encrypted);
    file.SetSize(PakDataBase(2));
    replacement.Commit();
    return true;
}

std::unique_ptr<TImageData> TQuillrand::EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                                    const TDIB* Alpha) {
    auto record = std::make_unique<TImageData>();
    record->boCompression = btEncr0 != 0;
    if (int64_t(Source.Width()) * Source.Height() <= 4)
        return record;
    // Sizes are stored as 16-bit values: a larger picture cannot be stored faithfully.
    if (Source.Width() > kMaxSide || Source.Height() > kMaxSide)
        return nullptr;
    if (m_bfType != 0)
        return EncodeNew(Source, X, Y, btEncr0, Alpha);
    return EncodeOld(Source, X, Y, btEncr0);
}

std::unique_ptr<TImageData> TQuillrand::MakeNewRecord(const TImageInfo& Info,
                                                      std::span<const uint8_t> Payload,
                                                      uint8_t btEncr0) const {
    TImageInfo info = Info;
    info.nDataLength = 0;
    std::vector<uint8_t> packed;
    if (btEncr0 != 0) {
        packed = ZCompress(Payload);
        if (packed.size() < Payload.size()) {
            info.nDataLength = int32_t(packed.size());
            Payload = packed;
        }
    }
    if (Payload.size() > kMaxInt32 - 16)
        return nullptr;
    auto record = std::make_unique<TImageData>();
    record->boCompression = info.nDataLength > 0;
    record->HeaderSize = 16;
    record->DataSize = int32_t(16 + Payload.size());
    record->Image.resize(size_t(record->DataSize));
    info.Write(record->Image.data());
    std::memcpy(record->Image.data() + 16, Payload.data(), Payload.size());
    return record;
}

std::unique_ptr<TImageData> TQuillrand::EncodeNew(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                                  const TDIB* Alpha) const {
    const int width = Source.Width(), height = Source.Height();
    const std::optional<std::vector<uint8_t>> plane = FullAlphaPlane(Alpha, width, height);
    std::unique_ptr<TDIB> converted;
    const TDIB& source = InStoredLayout(Source, Source.BitCount(), converted);
    TImageInfo info;
    info.btPixelKind = PixelKindOfBitCount(source.BitCount());
    info.btAlpha = plane ? 1 : 0;
    info.wWidth = int16_t(width);
    info.wHeight = int16_t(height);
    info.wPx = int16_t(X);
    info.wPy = int16_t(Y);
    std::vector<uint8_t> payload(source.PBits(), source.PBits() + source.Size());
    if (plane)
        payload.insert(payload.end(), plane->begin(), plane->end());
    return MakeNewRecord(info, payload, btEncr0);
}

std::unique_ptr<TImageData> TQuillrand::EncodeOld(TDIB& Source, int X, int Y,
                                                  uint8_t btEncr0) const {
    const int width = Source.Width(), height = Source.Height();
    // Old-layout records carry no pixel kind: every image has the library's bit count.
    std::unique_ptr<TDIB> converted;
    const TDIB* source = &InStoredLayout(Source, FBitCount, converted);
    const int pixelBytes = FBitCount / 8;
    const size_t run = size_t(width) * size_t(height) * size_t(pixelBytes);
    const uint8_t* pixels = source->PBits();
    std::vector<uint8_t> packed;
    if (btEncr0 == 1)
        packed = PackRunLength(pixels, width, height, pixelBytes);
    else if (btEncr0 == 2)
        packed = ZCompress(std::span<const uint8_t>(pixels, run));
    else
        packed.assign(pixels, pixels + run);
    if (packed.size() > kMaxInt32 - 12)
        return nullptr;

    auto record = std::make_unique<TImageData>();
    record->boCompression = btEncr0 != 0;
    record->HeaderSize = 12;
    record->DataSize = int32_t(12 + packed.size());
    record->Image.resize(size_t(record->DataSize));
    uint8_t* header = record->Image.data();
    PutI32(&header[0], btEncr0);
    PutI16(&header[4], width);
    PutI16(&header[6], height);
    PutI16(&header[8], X);
    PutI16(&header[10], Y);
    std::memcpy(record->Image.data() + 12, packed.data(), packed.size());
    return record;
}

// An image that cannot be converted becomes an empty slot, so that source and target keep the
// same numbering.
std::unique_ptr<TImageData> TQuillrand::ConvertRecord(const TImageData* SourceImageData,
                                                      TImageType SourceKind, int SourceBitCount,
                                                      uint8_t btEncr0) {
    auto slot = std::make_unique<TImageData>();
    if (!SourceImageData || SourceImageData->HeaderSize <= 0 ||
        SourceImageData->Header().size() < size_t(SourceImageData->HeaderSize))
        return slot;
    const TImageData& src = *SourceImageData;
    const std::span<const uint8_t> srcHeader = src.Header();
    const TPayload srcRead(src);
    const std::span<const uint8_t> srcPayload = srcRead.Bytes();

    TImageInfo info;
    std::vector<uint8_t> payload;
    uint64_t colourSize = 0;
    if (SourceKind == t_Wil && src.HeaderSize >= 8) {
        info.wWidth = GetI16(&srcHeader[0]);
        info.wHeight = GetI16(&srcHeader[2]);
        info.wPx = GetI16(&srcHeader[4]);
        info.wPy = GetI16(&srcHeader[6]);
        info.btPixelKind = PixelKindOfBitCount(SourceBitCount);
        if (info.wWidth < 1 || info.wHeight < 1 || int(info.wWidth) * info.wHeight <= 4)
            return slot;
        colourSize = ColorBlockSize(info.btPixelKind, info.wWidth, info.wHeight);
        if (colourSize == 0 || colourSize > kMaxInt32)
            return slot;
        payload.assign(srcPayload.begin(), srcPayload.end());
    } else if (SourceKind == t_Wzl && src.HeaderSize >= 16) {
        const TImageInfo wzl = TImageInfo::Read(srcHeader.data());
        const int w = wzl.wWidth, h = wzl.wHeight;
        const int bits = StoredBitsOfKind(wzl.btPixelKind);
        if (w < 1 || h < 1 || w * h <= 4 || bits == 0)
            return slot;
        colourSize = RowBytes(w, bits) * uint64_t(h);
        const uint64_t planeSize = RowBytes(w, 8) * uint64_t(h);
        if (colourSize + planeSize > kMaxInt32)
            return slot;
        if (wzl.nDataLength > 0) {
            // One byte beyond the largest plane tells a longer stream (no alpha) from a full one.
            payload.resize(size_t(colourSize) + size_t(w) * size_t(h) + 1);
            const size_t length = std::min(srcPayload.size(), size_t(wzl.nDataLength));
            const int64_t n = InflateInto(srcPayload.first(length), payload);
            if (n < 0)
                return slot; // a damaged source image becomes an empty slot
            payload.resize(size_t(n));
        } else {
            payload.assign(srcPayload.begin(), srcPayload.end());
        }
        std::unique_ptr<TDIB> alpha;
        if (payload.size() > colourSize)
            alpha = DecodeAlphaPlane(std::span<const uint8_t>(payload).subspan(colourSize), w, h);
        payload.resize(size_t(colourSize));
        if (alpha) {
            const TDIB& plane = *alpha;
            payload.insert(payload.end(), plane.PBits(), plane.PBits() + plane.Size());
        }
        info = wzl;
        info.btReserved1 = info.btReserved2 = 0;
        info.btAlpha = alpha ? 1 : 0;
    } else {
        return slot;
    }
    // The reader takes exactly a colour block (and plane) from a raw record: pad short sources.
    if (payload.size() < colourSize)
        payload.resize(size_t(colourSize));
    if (info.btAlpha == 0)
        payload.resize(size_t(colourSize));

    std::unique_ptr<TImageData> record;
    if (m_bfType != 0) {
        record = MakeNewRecord(info, payload, btEncr0);
    } else {
        // An old-layout target stores pixels of its own bit count: go through a picture.
        std::unique_ptr<TDIB> picture =
            MakePixelBuffer(info.btPixelKind, info.wWidth, info.wHeight);
        if (!picture)
            return slot;
        std::copy_n(payload.begin(), std::min(payload.size(), size_t(picture->Size())),
                    picture->PBits());
        record = EncodeOld(*picture, info.wPx, info.wPy, btEncr0);
    }
    return record ? std::move(record) : std::move(slot);
}

TRecordList TQuillrand::SaveRecords(const TRecordList& Records, const TUpdateSummary&) {
    if (!FInitialized || !m_FileStream)
        throw EFileError(FFileName, "the library is not open");
    const TSnapshotPtr current = Snapshot();
    const TRecordList& old = current->Records();
    if (FInPlaceSaves && !FNextHeader && !FHeaderConverted && Records.size() == old.size() &&
        FHeader.ImageCount() == old.size()) {
        // Offsets changed and images emptied are written where they lie: a record header, or the
        // image's index entry made an empty slot (the record's bytes stay unused until the next
        // rewrite). Anything else moves records, and the file is written anew. The records
        // changed are read before anything changes where they lie.
        std::vector<size_t> points, emptied;
        bool inPlace = true;
        for (size_t i = 0; inPlace && i < old.size(); ++i) {
            if (old[i] == Records[i])
                continue;
            const TImageData& before = old[i]->Loaded();
            const TImageData& after = Records[i]->Loaded();
            if (!before.HasImage() && !after.HasImage())
                continue;
            const bool stored =
                before.HasImage() && before.File == m_FileStream && before.OffSet >= DataBase();
            if (stored && !after.HasImage()) {
                emptied.push_back(i);
            } else if (stored && after.File == before.File && after.OffSet == before.OffSet &&
                       after.DataSize == before.DataSize &&
                       after.Header().size() == before.Header().size()) {
                points.push_back(i);
            } else {
                inPlace = false;
            }
        }
        // An edit that changed no record asks for the file to be written anew (MarkChanged).
        if (inPlace && !(points.empty() && emptied.empty()))
            return PatchRecords(Records, points, emptied);
    }
    TPakFileHeader header = FNextHeader ? *FNextHeader : FHeader;
    TRecordList saved = RewriteLibrary(Records, header);
    FHeader = header;
    FHeaderConverted = false;
    SetState(MakeState());
    return saved;
}

TRecordList TQuillrand::PatchRecords(const TRecordList& Records, const std::vector<size_t>& Points,
                                     const std::vector<size_t>& Emptied) {
    TRecordList saved = Records;
    TInPlaceChange change(FFileName);
    const TPakKey key = FHeader.Key();
    for (size_t i : Points) {
        const TImageData& record = Records[i]->Loaded();
        std::vector<uint8_t> header(record.Header().begin(), record.Header().end());
        EncryptChained(header.data(), header.data(), header.size(), key);
        change.Patch(*m_FileStream, FFileName, record.OffSet, header);
    }
    if (!Emptied.empty()) {
        // The index is one chained block: it is encrypted anew from the first changed entry on.
        const size_t entrySize = m_bfType != 0 ? 4 : 8;
        std::vector<uint8_t> index = ReadIndex(entrySize, uint64_t(m_FileStream->Size()));
        if (index.size() != Records.size() * entrySize)
            throw EFileError(FFileName, "the index cannot be read again");
        for (size_t i : Emptied) {
            std::fill_n(index.begin() + long(i * entrySize), entrySize, uint8_t(0));
            saved[i] = std::make_shared<TImageData>();
        }
        EncryptChained(index.data(), index.data(), index.size(), key);
        change.Patch(*m_FileStream, FFileName, FHeader.IndexOffset(), index);
    }
    if (change.Empty())
        return saved;
    change.Commit();
    return saved;
}

// The new file is written beside the old one and renamed over it (TFileReplacement). A failure
// leaves the old file, the header and the records as they were.
TRecordList TQuillrand::RewriteLibrary(const TRecordList& Records, TPakFileHeader& Header) {
    const uint64_t base = uint64_t(DataBase());
    const size_t count = Records.size();
    Header.SetImageCount(uint32_t(count));
    Header.SetbfType(m_bfType);
    const bool newLayout = m_bfType != 0;
    const size_t entrySize = newLayout ? 4 : 8;
    std::vector<uint8_t> index(count * entrySize);
    const TPakKey key = Header.Key();

    // Every record's header at once rather than one read per record.
    ReadRecordHeaders(Records, 0, Records.size());
    // Offsets are 32-bit in the index: a library that outgrows them cannot be stored.
    std::vector<int32_t> offsets(count, 0);
    uint64_t position = base + (newLayout ? index.size() : 0);
    for (size_t i = 0; i < count; ++i) {
        const TImageData& record = Records[i]->Loaded();
        if (!record.HasImage() || record.HeaderSize <= 0)
            continue;
        if (position + uint64_t(record.DataSize) > kMaxInt32)
            throw EFileError(FFileName, "the library would exceed 2 GB");
        offsets[i] = int32_t(position);
        PutI32(&index[i * entrySize], offsets[i]);
        if (!newLayout)
            PutI32(&index[i * entrySize + 4], record.DataSize - record.HeaderSize);
        position += uint64_t(record.DataSize);
    }
    const uint64_t recordsEnd = position;
    if (!newLayout && recordsEnd + index.size() + 1 > kMaxInt32)
        throw EFileError(FFileName, "the library would exceed 2 GB");
    EncryptChained(index.data(), index.data(), index.size(), key);
    Header.SetIndexOffset(uint32_t(newLayout ? base : recordsEnd));

    TFileReplacement replacement({FFileName});
    if (FBackup)
        replacement.Precede(*FBackup);
    for (const TAccompanyingFile& along : FAlong)
        replacement.Accompany(along);
    TFileStream& file = replacement.Stream(0);
    // Whatever lies around magic and header before the data base is carried over unchanged.
    std::vector<uint8_t> start(size_t(std::min<int64_t>(m_FileStream->Size(), DataBase())), 0);
    ReadAt(*m_FileStream, 0, start);
    file.Write(start);
    if (newLayout)
        WriteHeader(file, Header);
    // New layout: index, then records, from the data base. Old layout: records from the data
    // base (never inside the magic and header), then the index and one closing byte.
    TSequentialWriter writer(file, int64_t(base));
    if (newLayout)
        writer.Write(index);
    for (size_t i = 0; i < count; ++i) {
        if (offsets[i] == 0)
            continue;
        const TImageData& record = Records[i]->Loaded();
        std::vector<uint8_t> header(record.Header().begin(), record.Header().end());
        EncryptChained(header.data(), header.data(), header.size(), key);
        writer.Write(header);
        // Stored payloads are copied from the old file one after another, never held whole.
        const size_t size = size_t(record.PayloadSize());
        size_t written;
        if (record.InFile()) {
            written = writer.WriteFrom(*record.File,
                                       int64_t(record.OffSet) + int64_t(record.HeaderSize), size);
        } else {
            const TPayload payload(record);
            writer.Write(payload.Bytes());
            written = payload.Bytes().size();
        }
        writer.WriteZeros(size - written);
    }
    if (!newLayout) {
        writer.Write(index);
        const uint8_t closing = 0;
        writer.Write(std::span<const uint8_t>(&closing, 1));
    }
    writer.Flush();
    file.SetSize(int64_t(newLayout ? recordsEnd : recordsEnd + index.size() + 1));
    if (!newLayout)
        WriteHeader(file, Header);

    // A handle opened on the new file before it takes the old name keeps reading it after.
    auto written =
        std::make_shared<TFileStream>(replacement.Temporary(0), TFileStream::fmOpenReadWrite);
    TRecordList saved;
    saved.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const TImageData& record = Records[i]->Loaded();
        auto next = std::make_shared<TImageData>();
        if (offsets[i] != 0) {
            next->boCompression = record.boCompression;
            next->HeaderSize = record.HeaderSize;
            next->DataSize = record.DataSize;
            next->OffSet = offsets[i];
            next->Image.assign(record.Header().begin(), record.Header().end());
            next->File = written;
        }
        saved.push_back(std::move(next));
    }
    replacement.Commit();
    m_FileStream = std::move(written);
    return saved;
}

void TQuillrand::WriteHeader(TFileStream& file, const TPakFileHeader& Header) const {
    TPakFileHeader stored = Header;
    stored.SetKey(TPakKey{});
    std::vector<uint8_t> encrypted = EncryptText(stored.Bytes, HeaderKeyText(m_btQuillrand));
    if (m_btQuillrand == 0)
        encrypted.push_back(0);
    // The magic is written back as read, so that the file is complete whatever was there.
    if (!FMagic.empty()) {
        file.Seek(0);
        file.Write(FMagic);
    }
    file.Seek(PakHeaderOffset(m_btQuillrand));
    file.Write(encrypted);
}

} // namespace velmora
