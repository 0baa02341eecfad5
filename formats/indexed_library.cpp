// The reading side of WIL and WZL libraries: the state of their files, opening, decoding.

#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/file_ops.h"
#include "core/utils.h"
#include "formats/library_file.h"

#include <algorithm>
#include <exception>

namespace velmora {

namespace {

// Both index headers hold the record count here.
constexpr int kIndexCountAt = 44;

} // namespace

TIndexedState::TIndexedState(TImageType Kind, int BitCount, std::shared_ptr<TFileStream> Data)
    : TFormatState(Kind, BitCount), FData(std::move(Data)), FDataSize(FData ? FData->Size() : 0) {}

TPoint TIndexedState::PointOfHeader(std::span<const uint8_t> Header) const {
    if (Header.size() < size_t(std::max(FLayout.XAt, FLayout.YAt) + 2))
        return {};
    return {GetI16(Header.data() + FLayout.XAt), GetI16(Header.data() + FLayout.YAt)};
}

std::shared_ptr<TImageData>
TIndexedState::StoredRecord(int32_t Position, std::span<const uint8_t> Header, int64_t DataSize,
                            int64_t Next, const std::shared_ptr<const TFileStream>& File,
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

std::unique_ptr<TImageData>
TIndexedState::MakeRecord(int32_t Position, int64_t Bound, std::span<const uint8_t> Header,
                          const std::shared_ptr<const TFileStream>& File) const {
    bool asWritten = true;
    const std::shared_ptr<TImageData> made =
        StoredRecord(Position, Header, FDataSize, Bound, File, &asWritten);
    auto record = std::make_unique<TImageData>(*made);
    record->Normalized =
        !asWritten ||
        (record->HasImage() && !std::equal(Header.begin(), Header.end(), record->Header().begin(),
                                           record->Header().end()));
    return record;
}

std::unique_ptr<TPicture> TIndexedState::Get(const TImageData* Record, int& px, int& py) const {
    if (!Record)
        return nullptr;
    // A blank picture leaves px, py as they were.
    if (!IsBlank(*Record)) {
        const TPoint point = PointOfHeader(Record->Header());
        px = point.X;
        py = point.Y;
    }
    try {
        return DecodeRecord(*Record);
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<TPicture> TIndexedState::Bitmap(const TImageData* Record) const {
    if (!Record)
        return nullptr;
    try {
        return DecodeRecord(*Record);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TPoint TIndexedState::PointOf(const TImageData* Record) const {
    if (!Record || !Record->HasImage() || Record->Header().size() < size_t(FLayout.ImageHeaderSize))
        return {};
    return PointOfHeader(Record->Header());
}

TIndexedLibrary::TIndexedLibrary(const std::string& AFileName, TImageType Kind)
    : TGameImages(AFileName, Kind) {}

const TIndexedState& TIndexedLibrary::IndexedState() const {
    return static_cast<const TIndexedState&>(*State());
}

std::string TIndexedLibrary::IndexFileName() const {
    return FindFileAnyCaseExt(ExtractFilePath(FFileName) + FileNameWithoutExt(FFileName) +
                              IndexExt());
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

bool TIndexedLibrary::ChangedElsewhere() const {
    return TGameImages::ChangedElsewhere() || (m_IndexStream && m_IndexStream->ChangedElsewhere());
}

int TIndexedLibrary::HeaderImageCount() const {
    return FInitialized ? IndexedState().HeaderImageCount() : 0;
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
    if (!data || data->Size() < MinimumDataSize())
        return;
    std::shared_ptr<TIndexedState> state = ReadState(data);
    if (!state)
        return;
    m_FileStream = std::move(data);
    FReadOnly = readOnly;
    FBitCount = state->BitCount();
    LoadIndex(std::move(state));
    FInitialized = true;
}

// Reads the index and makes a record for each entry whose header is read when first needed.
// What the positions alone tell is found here: an index that names more positions than it holds,
// positions inside the data file's header, headers past the data file's end.
void TIndexedLibrary::LoadIndex(std::shared_ptr<TIndexedState> State) {
    DoBeginRead();
    const TIndexedLayout& layout = State->FLayout;
    FIndexFile = IndexFileName();
    State->FIndexState = TIndexState::isMissing;
    FCutShort = false;
    FLaidOutAsRewrite.reset();
    TRecordList records;
    bool indexReadOnly = false;
    if (FileExists(FIndexFile))
        m_IndexStream = OpenLibraryStream(FIndexFile, indexReadOnly);
    if (m_IndexStream && m_IndexStream->Size() < layout.IndexHeaderSize)
        m_IndexStream.reset();
    if (m_IndexStream) {
        State->FIndexState = TIndexState::isGood;
        FReadOnly = FReadOnly || indexReadOnly;
        std::vector<uint8_t> indexHeader(size_t(layout.IndexHeaderSize), 0);
        ReadAt(*m_IndexStream, 0, indexHeader);
        int64_t count = GetI32(indexHeader.data() + kIndexCountAt);
        const int64_t held = (m_IndexStream->Size() - layout.IndexHeaderSize) / 4;
        if (count < 0 || count > held) {
            State->FIndexState = TIndexState::isDamaged;
            count = std::clamp<int64_t>(count, 0, held);
        }
        std::vector<uint8_t> positions(size_t(count) * 4);
        ReadAt(*m_IndexStream, layout.IndexHeaderSize, positions);
        const int64_t dataSize = State->FDataSize;
        std::vector<TUnreadRecords::TEntry> entries;
        std::vector<size_t> slots;
        entries.reserve(size_t(count));
        slots.reserve(size_t(count));
        records.resize(size_t(count));
        for (int64_t i = 0; i < count; ++i) {
            DoRead();
            const int32_t position = GetI32(positions.data() + i * 4);
            if (layout.EmptySlotsBelowFirstRecord && position < layout.FirstRecordAt) {
                records[size_t(i)] = std::make_shared<TImageData>();
                continue;
            }
            if (position < layout.FirstRecordAt)
                State->FIndexState = TIndexState::isDamaged;
            else if (int64_t(position) + layout.ImageHeaderSize > dataSize)
                FCutShort = true; // the data file ends before this record's header
            const int64_t next = i + 1 < count ? GetI32(positions.data() + (i + 1) * 4) : dataSize;
            entries.push_back({position, next});
            slots.push_back(size_t(i));
        }
        if (FCutShort)
            State->FIndexState = TIndexState::isDamaged;
        const TRecordList stubs = TUnreadRecords::Make(State, m_FileStream, std::move(entries));
        for (size_t k = 0; k < stubs.size(); ++k)
            records[slots[k]] = stubs[k];
    }
    SetState(std::move(State));
    SetRecords(std::move(records));
    DoEndRead();
}

void TIndexedLibrary::Finalize() {
    FInitialized = false;
    TGameImages::Finalize();
    m_FileStream.reset();
    m_IndexStream.reset();
    FCutShort = false;
    FLaidOutAsRewrite.reset();
}

int TIndexedLibrary::FirstRecordCutShort() const {
    if (!FCutShort)
        return -1;
    const TSnapshotPtr snapshot = Snapshot();
    const TRecordList& records = snapshot->Records();
    const TIndexedLayout& layout = IndexedState().Layout();
    const int64_t dataSize = IndexedState().DataSize();
    snapshot->ReadHeaders(0, snapshot->Count() - 1);
    for (size_t i = 0; i < records.size(); ++i) {
        const TImageData& record = records[i]->Loaded();
        const int64_t position = records[i]->OffSet;
        if (position >= layout.FirstRecordAt &&
            position + std::max<int64_t>(layout.ImageHeaderSize,
                                         record.HasImage() ? record.DataSize : 0) >
                dataSize)
            return int(i);
    }
    return -1;
}

std::string TIndexedLibrary::DamageText() const {
    const std::string shown = std::to_string(RecordCount()) + " of the " +
                              std::to_string(HeaderImageCount()) +
                              " images its header counts are shown";
    switch (IndexState()) {
    case TIndexState::isGood:
        return {};
    case TIndexState::isMissing:
        return "the index file is missing or empty; " + shown;
    case TIndexState::isDamaged:
        break;
    }
    int cutAt = -1;
    try {
        cutAt = FirstRecordCutShort();
    } catch (const std::exception&) {
    }
    if (cutAt >= 0)
        return "the data file is cut short: it ends inside image " + std::to_string(cutAt) +
               " of the " + std::to_string(RecordCount()) + " its index names";
    return "the index does not match the data file; " + shown;
}

TEditRefusal TIndexedLibrary::EditRefusal(bool OffsetsOnly) const {
    const TEditRefusal refusal = TGameImages::EditRefusal(OffsetsOnly);
    if (refusal != TEditRefusal::erNone)
        return refusal;
    switch (IndexState()) {
    case TIndexState::isMissing:
        return TEditRefusal::erIndexMissing;
    case TIndexState::isDamaged:
        return TEditRefusal::erIndexDamaged;
    case TIndexState::isGood:
        break;
    }
    return TEditRefusal::erNone;
}

TRecord TIndexedLibrary::WithPoint(const TImageData& Record, TPoint Value) const {
    const TIndexedLayout& layout = IndexedState().Layout();
    const size_t headerSize = size_t(layout.ImageHeaderSize);
    if (!Record.HasImage() || Record.Header().size() < headerSize)
        return nullptr;
    // A stored record is patched where it lies: only inside the record area of the open file,
    // never past its end (a damaged index must not grow the file).
    if (Record.InFile() &&
        (Record.File.get() != m_FileStream.get() || Record.OffSet < layout.FirstRecordAt ||
         int64_t(Record.OffSet) + int64_t(headerSize) > m_FileStream->Size()))
        return nullptr;
    auto changed = std::make_shared<TImageData>(Record);
    PutI16(changed->Image.data() + layout.XAt, Value.X);
    PutI16(changed->Image.data() + layout.YAt, Value.Y);
    return changed;
}

uint64_t TIndexedLibrary::BlankRecordBytes() const {
    return std::max<uint64_t>(4, IndexedState().Layout().EmptyRecord.size());
}

int64_t TIndexedLibrary::StoredSize() const {
    const int64_t data = m_FileStream ? m_FileStream->Size() : 0;
    const int64_t index = m_IndexStream ? m_IndexStream->Size() : 0;
    return std::max(data, index);
}

} // namespace velmora
