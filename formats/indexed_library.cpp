#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/library_lock.h"
#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/in_place_change.h"
#include "core/utils.h"
#include "formats/library_file.h"
#include "formats/sequential_writer.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>

namespace velmora {

namespace {

// Both index headers hold the record count here.
constexpr int kIndexCountAt = 44;

} // namespace

TIndexedLibrary::TIndexedLibrary(const std::string& AFileName, TImageType Kind)
    : TGameImages(AFileName, Kind) {}

std::string TIndexedLibrary::IndexFileName() const {
    return FindFileAnyCaseExt(ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) +
                              Layout().IndexExt);
}

std::string TIndexedLibrary::NewIndexFileName() const {
    if (!FIndexFile.empty() && FileExists(FIndexFile))
        return FIndexFile;
    return IndexFileName();
}

std::vector<std::string> TIndexedLibrary::WatchedFiles() const {
    return {FFileName, FIndexFile.empty() ? IndexFileName() : FIndexFile};
}

std::vector<std::string> TIndexedLibrary::RecoveryFiles() const {
    const std::string index = FIndexFile.empty() ? IndexFileName() : FIndexFile;
    return {FFileName, index, index + ".bak"};
}

bool TIndexedLibrary::CreateFile(uint8_t ABitCount, const std::string&) {
    const auto [data, index] = NewFiles(ABitCount);
    const std::string indexName = IndexFileName();
    // A library that is there already is replaced as an edit of it: under its lock, after any
    // save of it that was cut short is settled.
    TLibraryLock lock;
    if (FileExists(FFileName))
        lock = TLibraryLock(FFileName);
    if (const TRecoveryReport report =
            RecoverLibrary(RecoveryFiles(), lock.Locked() ? &lock : nullptr);
        !report.Problem.empty())
        throw EFileError(FFileName,
                         "the journal " + ExtractFileName(report.Journal) +
                             " of an interrupted save cannot be applied: " + report.Problem);
    for (const std::string* name : {static_cast<const std::string*>(&FFileName), &indexName})
        if (FileExists(*name))
            ResetFileAttributes(*name);
    TFileReplacement replacement({FFileName, indexName});
    replacement.Stream(0).Write(data);
    replacement.Stream(1).Write(index);
    replacement.Commit();
    return true;
}

void TIndexedLibrary::Initialize() {
    if (FInitialized)
        Finalize();
    // A save that a crash interrupted is finished or undone before anything is read, and the
    // files are read as one: never the data file of one save with the index of another.
    FIndexFile.clear();
    RecoverForOpen();
    const TFolderLock reading = LockForReading();
    if (!FileExists(FFileName))
        return;
    bool readOnly = false;
    std::shared_ptr<TFileStream> data = OpenLibraryStream(FFileName, readOnly);
    if (!data || data->Size() < Layout().MinimumDataSize || !ReadDataHeader(*data))
        return;
    FLayout = Layout();
    m_FileStream = std::move(data);
    FReadOnly = readOnly;
    LoadIndex();
    SpaceDIB = FillDIB();
    FInitialized = true;
}

void TIndexedLibrary::LoadIndex() {
    DoBeginRead();
    const TLayout& layout = FLayout;
    FIndexFile = IndexFileName();
    FIndexState = TIndexState::isMissing;
    FCutAt = -1;
    FLaidOutAsRewrite = false;
    TRecordList records;
    bool indexReadOnly = false;
    if (FileExists(FIndexFile))
        m_IndexStream = OpenLibraryStream(FIndexFile, indexReadOnly);
    if (m_IndexStream && m_IndexStream->Size() < layout.IndexHeaderSize)
        m_IndexStream.reset();
    if (m_IndexStream) {
        FIndexState = TIndexState::isGood;
        FReadOnly = FReadOnly || indexReadOnly;
        std::vector<uint8_t> indexHeader(size_t(layout.IndexHeaderSize), 0);
        ReadAt(*m_IndexStream, 0, indexHeader);
        int64_t count = GetI32(indexHeader.data() + kIndexCountAt);
        const int64_t held = (m_IndexStream->Size() - layout.IndexHeaderSize) / 4;
        if (count < 0 || count > held) {
            FIndexState = TIndexState::isDamaged;
            count = std::clamp<int64_t>(count, 0, held);
        }
        std::vector<uint8_t> positions(size_t(count) * 4);
        ReadAt(*m_IndexStream, layout.IndexHeaderSize, positions);
        const int64_t dataSize = m_FileStream->Size();
        const size_t headerSize = size_t(layout.ImageHeaderSize);
        // Every record's header, read in one go; empty slots read none (zeros).
        std::vector<int64_t> headerAt(size_t(count), -1);
        bool cutShort = false;
        for (int64_t i = 0; i < count; ++i) {
            const int32_t position = GetI32(positions.data() + i * 4);
            if (!layout.EmptySlotsBelowFirstRecord || position >= layout.FirstRecordAt) {
                if (position < layout.FirstRecordAt)
                    FIndexState = TIndexState::isDamaged;
                else if (int64_t(position) + layout.ImageHeaderSize > dataSize)
                    cutShort = true; // the data file ends before this record's header
                headerAt[size_t(i)] = position;
            }
        }
        if (cutShort)
            FIndexState = TIndexState::isDamaged;
        std::vector<uint8_t> headers(size_t(count) * headerSize);
        ReadBlocksAt(*m_FileStream, headerAt, headerSize, headers);
        // Whether every record's header is stored as a rewrite would write it.
        bool headersAsWritten = true;
        records.reserve(size_t(count));
        for (int64_t i = 0; i < count; ++i) {
            DoRead();
            const int32_t position = GetI32(positions.data() + i * 4);
            const std::span<const uint8_t> header =
                std::span<const uint8_t>(headers).subspan(size_t(i) * headerSize, headerSize);
            const int64_t next = i + 1 < count ? GetI32(positions.data() + (i + 1) * 4) : dataSize;
            bool asWritten = true;
            std::shared_ptr<TImageData> record =
                StoredRecord(position, header, dataSize, next, m_FileStream, &asWritten);
            // Where a file cut short ends: inside the first record it does not hold whole.
            if (cutShort && FCutAt < 0 && position >= layout.FirstRecordAt &&
                int64_t(position) + std::max<int64_t>(layout.ImageHeaderSize,
                                                      record->HasImage() ? record->DataSize : 0) >
                    dataSize)
                FCutAt = int(i);
            if (!asWritten || (record->HasImage() &&
                               !std::equal(header.begin(), header.end(), record->Header().begin(),
                                           record->Header().end())))
                headersAsWritten = false;
            records.push_back(std::move(record));
        }
        if (FIndexState == TIndexState::isGood && headersAsWritten &&
            m_IndexStream->Size() == layout.IndexHeaderSize + count * 4 &&
            indexHeader == IndexHeaderBytes(uint32_t(count))) {
            const std::vector<uint8_t> expected = DataHeaderBytes(uint32_t(count));
            std::vector<uint8_t> stored(expected.size(), 0);
            bool same = ReadAt(*m_FileStream, 0, stored) == stored.size() && stored == expected;
            if (same) {
                try {
                    const TPlacement placement = PlaceRecords(records);
                    for (int64_t i = 0; same && i < count; ++i)
                        same = placement.Positions[size_t(i)] == GetI32(positions.data() + i * 4);
                    FLaidOutAsRewrite = same && LaidOutAsRewrite(records);
                } catch (const EFileError&) {
                }
            }
        }
    }
    SetRecords(std::move(records));
    DoEndRead();
}

std::shared_ptr<TImageData> TIndexedLibrary::StoredRecord(int32_t Position,
                                                          std::span<const uint8_t> Header,
                                                          int64_t DataSize, int64_t Next,
                                                          const std::shared_ptr<TFileStream>& File,
                                                          bool* AsWritten) const {
    std::shared_ptr<TImageData> record = LoadedRecord(Position, Header, DataSize);
    const std::vector<uint8_t>& empty = FLayout.EmptyRecord;
    // A blank record with room for the blank picture's pixels after its header (as a rewrite
    // writes an emptied image, and as an image blanked in place leaves it) keeps that room, and
    // every rewrite writes it as the empty record again.
    if (!empty.empty() && record->HasImage() && record->DataSize == FLayout.ImageHeaderSize &&
        Position >= FLayout.FirstRecordAt && Next >= int64_t(Position) + int64_t(empty.size()) &&
        int64_t(Position) + int64_t(empty.size()) <= DataSize && File &&
        std::equal(record->Header().begin(), record->Header().end(), empty.begin())) {
        record->DataSize = int32_t(empty.size());
        if (AsWritten) {
            std::vector<uint8_t> stored(empty.size(), 0);
            *AsWritten = File->ReadAt(Position, stored) == stored.size() && stored == empty;
        }
    }
    if (record->HasImage() && record->OffSet != 0)
        record->File = File;
    return record;
}

void TIndexedLibrary::Finalize() {
    FInitialized = false;
    SpaceDIB.reset();
    TGameImages::Finalize();
    m_FileStream.reset();
    m_IndexStream.reset();
    FIndexState = TIndexState::isGood;
    FHeaderImageCount = 0;
}

std::string TIndexedLibrary::DamageText() const {
    const std::string shown = std::to_string(RecordCount()) + " of the " +
                              std::to_string(HeaderImageCount()) +
                              " images its header counts are shown";
    switch (FIndexState) {
    case TIndexState::isGood:
        return {};
    case TIndexState::isMissing:
        return "the index file is missing or empty; " + shown;
    case TIndexState::isDamaged:
        break;
    }
    if (FCutAt >= 0)
        return "the data file is cut short: it ends inside image " + std::to_string(FCutAt) +
               " of the " + std::to_string(RecordCount()) + " its index names";
    return "the index does not match the data file; " + shown;
}

TEditRefusal TIndexedLibrary::EditRefusal(bool OffsetsOnly) const {
    const TEditRefusal refusal = TGameImages::EditRefusal(OffsetsOnly);
    if (refusal != TEditRefusal::erNone)
        return refusal;
    switch (FIndexState) {
    case TIndexState::isMissing:
        return TEditRefusal::erIndexMissing;
    case TIndexState::isDamaged:
        return TEditRefusal::erIndexDamaged;
    case TIndexState::isGood:
        break;
    }
    return TEditRefusal::erNone;
}

TPicture* TIndexedLibrary::GetBitmap(int Index) {
    Source.reset();
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record)
        return nullptr;
    try {
        Source = DecodeRecord(*record);
    } catch (const std::exception&) {
        Source.reset();
    }
    return Source.get();
}

std::unique_ptr<TPicture> TIndexedLibrary::Get(int Index, int& px, int& py) {
    return GetRecord(FInitialized ? RecordAt(Index) : nullptr, px, py);
}

std::unique_ptr<TPicture> TIndexedLibrary::GetRecord(const TRecord& record, int& px, int& py) {
    if (!record)
        return nullptr;
    // A blank picture leaves px, py as they were.
    if (!IsBlank(*record)) {
        const TPoint point = PointOf(record->Header());
        px = point.X;
        py = point.Y;
    }
    try {
        return DecodeRecord(*record);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TIndexedLibrary::GetPoint(int Index) {
    const TRecord record = FInitialized ? RecordAt(Index) : nullptr;
    if (!record || !record->HasImage() || record->Header().size() < size_t(FLayout.ImageHeaderSize))
        return {};
    return PointOf(record->Header());
}

TRecord TIndexedLibrary::WithPoint(const TImageData& Record, TPoint Value) const {
    const size_t headerSize = size_t(FLayout.ImageHeaderSize);
    if (!Record.HasImage() || Record.Header().size() < headerSize)
        return nullptr;
    // A stored record is patched where it lies: only inside the record area of the open file,
    // never past its end (a damaged index must not grow the file).
    if (Record.InFile() &&
        (Record.File.get() != m_FileStream.get() || Record.OffSet < FLayout.FirstRecordAt ||
         int64_t(Record.OffSet) + int64_t(headerSize) > m_FileStream->Size()))
        return nullptr;
    auto changed = std::make_shared<TImageData>(Record);
    PutI16(changed->Image.data() + FLayout.XAt, Value.X);
    PutI16(changed->Image.data() + FLayout.YAt, Value.Y);
    return changed;
}

TPoint TIndexedLibrary::PointOf(std::span<const uint8_t> Header) const {
    const TLayout& layout = FLayout;
    if (Header.size() < size_t(std::max(layout.XAt, layout.YAt) + 2))
        return {};
    return {GetI16(Header.data() + layout.XAt), GetI16(Header.data() + layout.YAt)};
}

uint64_t TIndexedLibrary::BlankRecordBytes() const {
    return std::max<uint64_t>(4, FLayout.EmptyRecord.size());
}

int64_t TIndexedLibrary::StoredSize() const {
    const int64_t data = m_FileStream ? m_FileStream->Size() : 0;
    const int64_t index = m_IndexStream ? m_IndexStream->Size() : 0;
    return std::max(data, index);
}

TIndexedLibrary::TPlacement TIndexedLibrary::PlaceRecords(const TRecordList& Records) const {
    const std::vector<uint8_t>& empty = FLayout.EmptyRecord;
    TPlacement placement;
    placement.Positions.assign(Records.size(), 0);
    int64_t end = FLayout.FirstRecordAt;
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = *Records[i];
        const int64_t size = record.HasImage() ? int64_t(record.DataSize) : int64_t(empty.size());
        if (size == 0)
            continue;
        // Positions are stored as signed 32-bit values: refuse before writing anything rather
        // than write an index that points to the wrong places.
        if (end + size > std::numeric_limits<int32_t>::max())
            throw EFileError(FFileName,
                             "the library would exceed 2 GiB, which its index cannot address");
        placement.Positions[i] = int32_t(end);
        end += size;
    }
    placement.End = end;
    return placement;
}

bool TIndexedLibrary::LaidOutAsRewrite(const TRecordList& Records) const {
    if (!m_FileStream || !m_IndexStream ||
        m_IndexStream->Size() != FLayout.IndexHeaderSize + int64_t(Records.size()) * 4)
        return false;
    TPlacement placement;
    try {
        placement = PlaceRecords(Records);
    } catch (const EFileError&) {
        return false;
    }
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = *Records[i];
        const int32_t stored = record.HasImage() ? record.OffSet : 0;
        if (stored != placement.Positions[i] || (record.HasImage() && record.File != m_FileStream))
            return false;
    }
    return placement.End == m_FileStream->Size();
}

void TIndexedLibrary::WriteRecord(TSequentialWriter& Writer, const TImageData& Record) const {
    const std::vector<uint8_t>& empty = FLayout.EmptyRecord;
    const std::span<const uint8_t> header = Record.Header();
    // Emptied images, and blank records of the file that keep the room for the blank picture,
    // are the empty record: what lay in that room is not part of any picture.
    if (!Record.HasImage() ||
        (Record.InFile() && !empty.empty() && size_t(Record.DataSize) == empty.size() &&
         std::equal(header.begin(), header.end(), empty.begin()))) {
        Writer.Write(empty);
        return;
    }
    Writer.Write(header);
    const size_t size = size_t(Record.PayloadSize());
    // A payload the old file no longer has in full is completed with zeros, as it reads.
    size_t written;
    if (Record.InFile()) {
        written =
            Writer.WriteFrom(*Record.File, int64_t(Record.OffSet) + int64_t(header.size()), size);
    } else {
        const TPayload payload(Record);
        Writer.Write(payload.Bytes());
        written = payload.Bytes().size();
    }
    Writer.WriteZeros(size - written);
}

TRecordList TIndexedLibrary::SaveRecords(const TRecordList& Records, const TUpdateSummary&) {
    if (!m_FileStream)
        throw EFileError(FFileName, "the library is not open");
    const std::shared_ptr<const TRecordList> current = Snapshot();
    const TRecordList& old = *current;
    if (FInPlaceSaves && m_IndexStream && Records.size() >= old.size()) {
        // Which records changed, and whether each change can be written where the record lies:
        // a new offset in its header, or an image emptied.
        std::vector<size_t> changed;
        bool inPlace = true, emptied = false;
        for (size_t i = 0; inPlace && i < old.size(); ++i) {
            const TImageData& before = *old[i];
            const TImageData& after = *Records[i];
            if (&before == &after || (!before.HasImage() && !after.HasImage()))
                continue;
            const bool stored = before.HasImage() && before.File == m_FileStream &&
                                before.OffSet >= FLayout.FirstRecordAt;
            const bool newPoint =
                after.HasImage() && after.File == before.File && after.OffSet == before.OffSet &&
                after.DataSize == before.DataSize && after.HeaderSize == before.HeaderSize &&
                after.Header().size() == before.Header().size();
            inPlace = stored && (newPoint || !after.HasImage());
            emptied = emptied || !after.HasImage();
            changed.push_back(i);
        }
        // Appends go after the end only where the result is what a rewrite would write.
        const bool appended = Records.size() > old.size();
        // An edit that changed no record asks for the files to be written anew (MarkChanged).
        if (inPlace && (appended || !changed.empty()) &&
            (!appended || (FLaidOutAsRewrite && !emptied)))
            return ChangeInPlace(Records, old, old.size(), changed);
    }
    return RewriteLibrary(Records);
}

TRecordList TIndexedLibrary::ChangeInPlace(const TRecordList& Records, const TRecordList& Old,
                                           size_t First, const std::vector<size_t>& Changed) {
    const TLayout& layout = FLayout;
    const size_t headerSize = size_t(layout.ImageHeaderSize);
    TRecordList saved = Records;
    TInPlaceChange change(FFileName);
    const std::vector<uint8_t> emptyHeader(
        layout.EmptyRecord.begin(),
        layout.EmptyRecord.begin() + long(std::min(headerSize, layout.EmptyRecord.size())));
    for (size_t i : Changed) {
        const TImageData& before = *Old[i];
        const TImageData& after = *Records[i];
        if (after.HasImage()) {
            change.Patch(*m_FileStream, FFileName, before.OffSet, after.Header());
        } else if (layout.EmptyRecord.empty()) {
            // An empty slot: its index entry becomes 0, the record's bytes stay unused.
            const uint8_t zero[4] = {};
            change.Patch(*m_IndexStream, FIndexFile, layout.IndexHeaderSize + int64_t(i) * 4, zero);
            saved[i] = std::make_shared<TImageData>();
        } else {
            // The blank header over the old one; the old pixels stay (readers of earlier
            // snapshots still read them) and are no longer part of the library.
            change.Patch(*m_FileStream, FFileName, before.OffSet, emptyHeader);
            saved[i] = StoredRecord(before.OffSet, emptyHeader, m_FileStream->Size(),
                                    before.OffSet + before.DataSize, m_FileStream);
        }
    }
    if (Records.size() == First) {
        if (change.Empty())
            return Records;
        change.Commit();
        FLaidOutAsRewrite = FLaidOutAsRewrite && LaidOutAsRewrite(saved);
        return saved;
    }

    // Appended records: after the data file's end, which is where a rewrite puts them.
    const TPlacement placement = PlaceRecords(Records);
    const uint32_t count = uint32_t(Records.size());
    const int64_t oldEnd = m_FileStream->Size();
    change.Patch(*m_FileStream, FFileName, 0, DataHeaderBytes(count));
    change.Grow(*m_FileStream, FFileName, placement.End);
    const std::string indexName = NewIndexFileName();
    {
        TSequentialWriter indexWriter(change.Replace(indexName), 0);
        indexWriter.Write(IndexHeaderBytes(count));
        std::vector<uint8_t> positions(Records.size() * 4);
        for (size_t i = 0; i < Records.size(); ++i)
            PutI32(positions.data() + i * 4, placement.Positions[i]);
        indexWriter.Write(positions);
        indexWriter.Flush();
    }
    auto index =
        std::make_shared<TFileStream>(change.ReplacementName(), TFileStream::fmOpenReadWrite);
    change.Begin();
    TSequentialWriter writer(*m_FileStream, oldEnd);
    std::vector<uint8_t> headers((Records.size() - First) * headerSize, 0);
    for (size_t i = First; i < Records.size(); ++i) {
        const TImageData& record = *Records[i];
        const std::span<const uint8_t> header =
            record.HasImage() ? record.Header() : std::span<const uint8_t>(emptyHeader);
        std::copy_n(header.begin(), std::min(header.size(), headerSize),
                    headers.begin() + long((i - First) * headerSize));
        WriteRecord(writer, record);
    }
    writer.Flush();
    change.Commit();

    for (size_t i = First; i < Records.size(); ++i) {
        const int64_t next = i + 1 < Records.size() ? placement.Positions[i + 1] : placement.End;
        saved[i] = StoredRecord(
            placement.Positions[i],
            std::span<const uint8_t>(headers.data() + (i - First) * headerSize, headerSize),
            placement.End, next, m_FileStream);
        if (placement.Positions[i] == 0)
            saved[i] = std::make_shared<TImageData>();
    }
    m_IndexStream = std::move(index);
    FIndexFile = indexName;
    ReadDataHeader(*m_FileStream);
    FLayout = Layout();
    FLaidOutAsRewrite = LaidOutAsRewrite(saved);
    return saved;
}

// The new files are written beside the old ones and replace both at once (TFileReplacement):
// a failure leaves the old files and this object as they were.
TRecordList TIndexedLibrary::RewriteLibrary(const TRecordList& Records) {
    const TLayout& layout = FLayout;
    const size_t headerSize = size_t(layout.ImageHeaderSize);
    const TPlacement placement = PlaceRecords(Records);
    const uint32_t count = uint32_t(Records.size());
    const std::string indexName = NewIndexFileName();
    TFileReplacement replacement({FFileName, indexName});

    std::vector<uint8_t> positions(Records.size() * 4, 0);
    std::vector<uint8_t> headers(Records.size() * headerSize, 0);
    TSequentialWriter writer(replacement.Stream(0), 0);
    writer.Write(DataHeaderBytes(count));
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = *Records[i];
        if (placement.Positions[i] == 0)
            continue;
        PutI32(positions.data() + i * 4, placement.Positions[i]);
        const std::span<const uint8_t> header =
            record.HasImage() ? record.Header() : std::span<const uint8_t>(layout.EmptyRecord);
        std::copy_n(header.begin(), std::min(header.size(), headerSize),
                    headers.data() + i * headerSize);
        WriteRecord(writer, record);
    }
    writer.Flush();
    const int64_t dataSize = writer.Position();
    replacement.Stream(0).SetSize(dataSize);

    TSequentialWriter indexWriter(replacement.Stream(1), 0);
    indexWriter.Write(IndexHeaderBytes(count));
    indexWriter.Write(positions);
    indexWriter.Flush();
    replacement.Stream(1).SetSize(indexWriter.Position());

    // Handles opened on the new files before they take the old names keep reading them after.
    auto data =
        std::make_shared<TFileStream>(replacement.Temporary(0), TFileStream::fmOpenReadWrite);
    auto index =
        std::make_shared<TFileStream>(replacement.Temporary(1), TFileStream::fmOpenReadWrite);
    TRecordList saved;
    saved.reserve(Records.size());
    for (size_t i = 0; i < Records.size(); ++i) {
        const int32_t position = placement.Positions[i];
        size_t n = i + 1;
        while (n < Records.size() && placement.Positions[n] == 0)
            ++n;
        const int64_t next = n < Records.size() ? placement.Positions[n] : dataSize;
        saved.push_back(StoredRecord(
            position, std::span<const uint8_t>(headers.data() + i * headerSize, headerSize),
            dataSize, next, data));
    }
    replacement.Commit();

    m_FileStream = std::move(data);
    m_IndexStream = std::move(index);
    FIndexFile = indexName;
    FIndexState = TIndexState::isGood;
    // The header as it now stands in the file.
    ReadDataHeader(*m_FileStream);
    FLayout = Layout();
    FLaidOutAsRewrite = LaidOutAsRewrite(saved);
    return saved;
}

bool TIndexedLibrary::RecordStartsAt(int64_t Position, int64_t DataSize) const {
    if (Position == DataSize)
        return true;
    const size_t headerSize = size_t(FLayout.ImageHeaderSize);
    if (Position + int64_t(headerSize) > DataSize)
        return false;
    std::vector<uint8_t> header(headerSize);
    ReadAt(*m_FileStream, Position, header);
    bool blank = false;
    const uint64_t size = ScannedRecordSize(header, blank);
    return size > 0 && (uint64_t(DataSize - Position) >= size || blank);
}

TIndexRepair TIndexedLibrary::RepairIndex(bool DryRun) {
    if (!FInitialized || !m_FileStream)
        throw EEditRefused(FFileName, TEditRefusal::erNotOpen);
    if (!DryRun && FReadOnly)
        throw EEditRefused(FFileName, TEditRefusal::erReadOnlyFile);
    TLibraryLock lock;
    if (!DryRun)
        lock = TLibraryLock(FFileName);
    TIndexRepair result;
    result.IndexFile = NewIndexFileName();
    const TLayout& layout = FLayout;
    const int64_t headerSize = layout.ImageHeaderSize;
    const int64_t dataSize = m_FileStream->Size();
    std::vector<uint8_t> positions;
    std::vector<uint8_t> header(static_cast<size_t>(headerSize));
    int64_t position = layout.FirstRecordAt;
    while (position + headerSize <= dataSize && position <= std::numeric_limits<int32_t>::max()) {
        ReadAt(*m_FileStream, position, header);
        bool blank = false;
        uint64_t size = ScannedRecordSize(header, blank);
        if (size == 0)
            break;
        if (blank) {
            // A blank record read back and saved again keeps its header only: take that length
            // when the full one does not lead to another record and the short one does.
            const int64_t full = position + int64_t(size);
            if (!RecordStartsAt(full, dataSize) && RecordStartsAt(position + headerSize, dataSize))
                size = uint64_t(headerSize);
        }
        if (uint64_t(dataSize - position) < size)
            break;
        positions.resize(positions.size() + 4);
        PutI32(positions.data() + positions.size() - 4, int32_t(position));
        position += int64_t(size);
    }
    result.Found = int(positions.size() / 4);
    result.UnreadBytes = dataSize - std::min(position, dataSize);
    if (DryRun)
        return result;

    std::error_code ec;
    const std::string& indexName = result.IndexFile;
    if (std::filesystem::is_directory(indexName, ec))
        throw EFileError(indexName, "a folder stands where the index file belongs; move it away");
    std::vector<uint8_t> rebuilt = IndexHeaderBytes(uint32_t(result.Found));
    rebuilt.insert(rebuilt.end(), positions.begin(), positions.end());
    // The old index (if any) is kept under the first free name of NAME.bak, NAME.bak1, ... and
    // the new one replaces it, both in one step: a repair cut short at any point leaves the old
    // index in place and every earlier backup where it was, or the whole repair done.
    TFileReplacement replacement({indexName}, FFileName);
    replacement.Stream(0).Write(rebuilt);
    if (FileExists(indexName)) {
        const std::vector<uint8_t> old = TFileStream::ReadAll(indexName);
        // An index that already lists every record is left alone.
        if (old == rebuilt)
            return result;
        result.BackupFile = indexName + ".bak";
        for (int n = 1; std::filesystem::exists(result.BackupFile, ec); ++n)
            result.BackupFile = indexName + ".bak" + std::to_string(n);
        const std::string backup = HiddenNameFor(ResolveLinks(indexName) + ".bak", ".new");
        TFileStream copy(backup, TFileStream::fmCreate, result.BackupFile);
        try {
            copy.Write(old);
            copy.Close();
        } catch (...) {
            copy.Close();
            RemoveQuietly(backup);
            throw;
        }
        // Put in place before the new index, so that the old one is never without its copy.
        replacement.Precede(
            {backup, ExtractFilePath(ResolveLinks(indexName)) + ExtractFileName(result.BackupFile),
             std::nullopt});
    }
    replacement.Commit();
    result.Written = true;
    if (!Reload())
        throw EFileError(FFileName, "the index was rebuilt, but the library cannot be read again");
    return result;
}

} // namespace velmora
