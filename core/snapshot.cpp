#include "core/snapshot.h"

#include "core/file_ops.h"
#include "core/library_lock.h"
#include "core/palette.h"
#include "core/read_blocks.h"

#include <map>

namespace velmora {

const TImageData& TImageData::Loaded() const {
    return Unread ? Unread->Read(UnreadIndex) : *this;
}

bool TImageData::HeaderRead() const {
    return !Unread || Unread->IsRead(UnreadIndex);
}

TPayload::TPayload(const TImageData& Stored) {
    const TImageData& Record = Stored.Loaded();
    const int64_t size = Record.PayloadSize();
    const size_t header = size_t(std::max(Record.HeaderSize, 0));
    if (!Record.InFile()) {
        const size_t held = Record.Image.size() > header ? Record.Image.size() - header : 0;
        FBytes = std::span<const uint8_t>(Record.Image)
                     .subspan(std::min(header, Record.Image.size()),
                              std::min<size_t>(held, size_t(size)));
        FComplete = int64_t(FBytes.size()) == size;
        return;
    }
    FRead.resize(size_t(size));
    const size_t n = Record.File->ReadAt(int64_t(Record.OffSet) + int64_t(header), FRead);
    FRead.resize(n);
    FBytes = FRead;
    FComplete = int64_t(n) == size;
}

TUnreadRecords::TUnreadRecords(std::shared_ptr<const TRecordMaker> Maker,
                               std::shared_ptr<const TFileStream> File, std::vector<TEntry> Entries)
    : FMaker(std::move(Maker)), FFile(std::move(File)), FFolderOf(ResolveLinks(FFile->FileName())),
      FEntries(std::move(Entries)),
      FRead(std::make_unique<std::atomic<const TImageData*>[]>(FEntries.size())) {}

TUnreadRecords::~TUnreadRecords() {
    for (size_t i = 0; i < FEntries.size(); ++i)
        delete FRead[i].load(std::memory_order_relaxed);
}

TRecordList TUnreadRecords::Make(std::shared_ptr<const TRecordMaker> Maker,
                                 std::shared_ptr<const TFileStream> File,
                                 std::vector<TEntry> Entries) {
    const std::shared_ptr<const TUnreadRecords> table(
        new TUnreadRecords(std::move(Maker), std::move(File), std::move(Entries)));
    TRecordList records;
    records.reserve(table->FEntries.size());
    for (size_t i = 0; i < table->FEntries.size(); ++i) {
        auto record = std::make_shared<TImageData>();
        record->OffSet = table->FEntries[i].Position;
        record->File = table->FFile;
        record->Unread = table;
        record->UnreadIndex = uint32_t(i);
        records.push_back(std::move(record));
    }
    return records;
}

const TImageData& TUnreadRecords::Read(uint32_t Index) const {
    if (const TImageData* read = FRead[Index].load(std::memory_order_acquire))
        return *read;
    ReadMany(std::span<const uint32_t>(&Index, 1));
    return *FRead[Index].load(std::memory_order_acquire);
}

void TUnreadRecords::ReadMany(std::span<const uint32_t> Indexes) const {
    std::vector<uint32_t> unread;
    for (uint32_t i : Indexes)
        if (!FRead[i].load(std::memory_order_acquire))
            unread.push_back(i);
    if (unread.empty())
        return;
    const size_t headerSize = FMaker->StoredHeaderSize();
    std::vector<int64_t> positions(unread.size());
    for (size_t k = 0; k < unread.size(); ++k)
        positions[k] = FEntries[unread[k]].Position;
    std::vector<uint8_t> headers(unread.size() * headerSize);
    {
        // Never a change half made, and never another program's change mixed into what was read.
        const TFolderLock reading(FFolderOf, TFolderLock::flShared);
        if (FFile->ChangedElsewhere())
            throw ELibraryChanged(FFile->FileName());
        ReadBlocksAt(*FFile, positions, headerSize, headers);
    }
    for (size_t k = 0; k < unread.size(); ++k) {
        const TEntry& entry = FEntries[unread[k]];
        std::unique_ptr<TImageData> record = FMaker->MakeRecord(
            entry.Position, entry.Bound,
            std::span<const uint8_t>(headers).subspan(k * headerSize, headerSize), FFile);
        const TImageData* expected = nullptr;
        // Whoever read first wins; the others' reads are dropped.
        if (FRead[unread[k]].compare_exchange_strong(expected, record.get(),
                                                     std::memory_order_acq_rel))
            record.release();
    }
}

void ReadRecordHeaders(const TRecordList& Records, size_t First, size_t Last) {
    std::map<const TUnreadRecords*, std::vector<uint32_t>> unread;
    for (size_t i = First; i <= Last && i < Records.size(); ++i)
        if (const TImageData* record = Records[i].get(); record && record->Unread)
            unread[record->Unread.get()].push_back(record->UnreadIndex);
    for (const auto& [table, indexes] : unread)
        table->ReadMany(indexes);
}

std::unique_ptr<TPicture> TFormatState::Bitmap(const TImageData* Record) const {
    int x = 0, y = 0;
    return Get(Record, x, y);
}

std::unique_ptr<TDIB> TFormatState::FillDIB() const {
    auto dib = std::make_unique<TDIB>();
    int bits = FBitCount;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        bits = 8;
    if (bits == 8) {
        dib->ColorTable() = DefaultPalette;
        dib->UpdatePalette();
    }
    dib->SetPixelFormat(bits == 16 ? MakePixelFormat(5, 6, 5) : MakePixelFormat(8, 8, 8));
    dib->SetSize(1, 1, bits);
    return dib;
}

std::unique_ptr<TImageData>
TFormatState::MakeRecord(int32_t, int64_t, std::span<const uint8_t>,
                         const std::shared_ptr<const TFileStream>&) const {
    return std::make_unique<TImageData>();
}

TSnapshot::TSnapshot(TRecordList Records, std::shared_ptr<const TFormatState> State)
    : FRecords(std::move(Records)), FState(std::move(State)) {}

const TImageData* TSnapshot::Record(int Index) const {
    if (Index < 0 || size_t(Index) >= FRecords.size() || !FRecords[size_t(Index)])
        return nullptr;
    return &FRecords[size_t(Index)]->Loaded();
}

void TSnapshot::ReadHeaders(int First, int Last) const {
    if (Last < First || Last < 0)
        return;
    ReadRecordHeaders(FRecords, size_t(std::max(First, 0)), size_t(Last));
}

std::unique_ptr<TPicture> TSnapshot::Get(int Index, int& px, int& py) const {
    return FState->Get(Record(Index), px, py);
}

std::unique_ptr<TPicture> TSnapshot::Bitmap(int Index) const {
    return FState->Bitmap(Record(Index));
}

TPoint TSnapshot::GetPoint(int Index) const {
    return FState->PointOf(Record(Index));
}

std::optional<TImageDescription> TSnapshot::Describe(int Index, bool WithAlpha) const {
    const TImageData* record = Record(Index);
    if (!record)
        return std::nullopt;
    return FState->Describe(*record, WithAlpha);
}

} // namespace velmora
