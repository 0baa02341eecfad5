// The writing side of WIL and WZL libraries: new files, full rewrites and changes in place.

#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/in_place_change.h"
#include "core/library_lock.h"
#include "core/utils.h"
#include "formats/library_file.h"
#include "formats/sequential_writer.h"

#include <algorithm>
#include <limits>

namespace velmora {

bool TIndexedLibrary::CreateFile(uint8_t ABitCount, const std::string&) {
    const auto [data, index] = NewFiles(ABitCount);
    const std::string indexName = IndexFileName();
    // A library that is there already is replaced as an edit of it: under its lock, after any
    // save of it that was cut short is settled.
    const TLibraryLock lock = LockForReplacing();
    for (const std::string* name : {static_cast<const std::string*>(&FFileName), &indexName})
        if (FileExists(*name))
            ResetFileAttributes(*name);
    TFileReplacement replacement({FFileName, indexName});
    replacement.Stream(0).Write(data);
    replacement.Stream(1).Write(index);
    replacement.Commit();
    return true;
}

TIndexedLibrary::TPlacement TIndexedLibrary::PlaceRecords(const TRecordList& Records) const {
    const TIndexedLayout& layout = IndexedState().Layout();
    TPlacement placement;
    placement.Positions.assign(Records.size(), 0);
    int64_t end = layout.FirstRecordAt;
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = Records[i]->Loaded();
        const int64_t size =
            record.HasImage() ? int64_t(record.DataSize) : int64_t(layout.EmptyRecord.size());
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
    const TIndexedLayout& layout = IndexedState().Layout();
    if (!m_FileStream || !m_IndexStream ||
        m_IndexStream->Size() != layout.IndexHeaderSize + int64_t(Records.size()) * 4)
        return false;
    TPlacement placement;
    try {
        ReadRecordHeaders(Records, 0, Records.size());
        placement = PlaceRecords(Records);
    } catch (const EFileError&) {
        return false;
    }
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = Records[i]->Loaded();
        const int32_t stored = record.HasImage() ? record.OffSet : 0;
        if (stored != placement.Positions[i] || record.Normalized ||
            (record.HasImage() && record.File != m_FileStream))
            return false;
    }
    return placement.End == m_FileStream->Size();
}

// The first append after opening checks the files byte for byte against what a rewrite of the
// records would write: the data file's and the index's headers, every position in the index, and
// every record header as it is stored.
bool TIndexedLibrary::FilesAsRewrite(const TRecordList& Records) const {
    const TIndexedState& state = IndexedState();
    const TIndexedLayout& layout = state.Layout();
    if (state.IndexState() != TIndexState::isGood || !LaidOutAsRewrite(Records))
        return false;
    const uint32_t count = uint32_t(Records.size());
    std::vector<uint8_t> index(size_t(layout.IndexHeaderSize) + size_t(count) * 4, 0);
    const std::vector<uint8_t> expectedData = state.DataHeaderBytes(count);
    std::vector<uint8_t> data(expectedData.size(), 0);
    if (ReadAt(*m_IndexStream, 0, index) != index.size() ||
        ReadAt(*m_FileStream, 0, data) != data.size() || data != expectedData)
        return false;
    const std::vector<uint8_t> expectedIndex = state.IndexHeaderBytes(count);
    if (!std::equal(expectedIndex.begin(), expectedIndex.end(), index.begin()))
        return false;
    const TPlacement placement = PlaceRecords(Records);
    for (size_t i = 0; i < Records.size(); ++i)
        if (GetI32(index.data() + layout.IndexHeaderSize + i * 4) != placement.Positions[i])
            return false;
    return true;
}

void TIndexedLibrary::WriteRecord(TSequentialWriter& Writer, const TImageData& Record) const {
    const std::vector<uint8_t>& empty = IndexedState().Layout().EmptyRecord;
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
    const TSnapshotPtr current = Snapshot();
    const TRecordList& old = current->Records();
    if (FInPlaceSaves && m_IndexStream && Records.size() >= old.size()) {
        // Which records changed, and whether each change can be written where the record lies:
        // a new offset in its header, or an image emptied. The records changed are read now,
        // before anything changes where they lie: earlier snapshots keep what they held.
        const int32_t firstRecord = IndexedState().Layout().FirstRecordAt;
        std::vector<size_t> changed;
        bool inPlace = true, emptied = false;
        for (size_t i = 0; inPlace && i < old.size(); ++i) {
            if (old[i] == Records[i])
                continue;
            const TImageData& before = old[i]->Loaded();
            const TImageData& after = Records[i]->Loaded();
            if (!before.HasImage() && !after.HasImage())
                continue;
            const bool stored =
                before.HasImage() && before.File == m_FileStream && before.OffSet >= firstRecord;
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
        if (inPlace && appended && !emptied && !FLaidOutAsRewrite)
            FLaidOutAsRewrite = FilesAsRewrite(old);
        // An edit that changed no record asks for the files to be written anew (MarkChanged).
        if (inPlace && (appended || !changed.empty()) &&
            (!appended || (FLaidOutAsRewrite.value_or(false) && !emptied)))
            return ChangeInPlace(Records, old, old.size(), changed);
    }
    return RewriteLibrary(Records);
}

void TIndexedLibrary::StateAfterSave() {
    std::shared_ptr<TIndexedState> state = ReadState(m_FileStream);
    if (!state)
        throw EFileError(FFileName, "the saved data file cannot be read again");
    state->FIndexState = TIndexState::isGood;
    FBitCount = state->BitCount();
    FCutShort = false;
    SetState(std::move(state));
}

TRecordList TIndexedLibrary::ChangeInPlace(const TRecordList& Records, const TRecordList& Old,
                                           size_t First, const std::vector<size_t>& Changed) {
    const TIndexedState& state = IndexedState();
    const TIndexedLayout& layout = state.Layout();
    const size_t headerSize = size_t(layout.ImageHeaderSize);
    TRecordList saved = Records;
    TInPlaceChange change(FFileName);
    const std::vector<uint8_t> emptyHeader(
        layout.EmptyRecord.begin(),
        layout.EmptyRecord.begin() + long(std::min(headerSize, layout.EmptyRecord.size())));
    for (size_t i : Changed) {
        const TImageData& before = Old[i]->Loaded();
        const TImageData& after = Records[i]->Loaded();
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
            saved[i] = state.StoredRecord(before.OffSet, emptyHeader, m_FileStream->Size(),
                                          before.OffSet + before.DataSize, m_FileStream);
        }
    }
    if (Records.size() == First) {
        if (change.Empty())
            return Records;
        change.Commit();
        FLaidOutAsRewrite = FLaidOutAsRewrite.value_or(false) && LaidOutAsRewrite(saved);
        return saved;
    }

    // Appended records: after the data file's end, which is where a rewrite puts them.
    const TPlacement placement = PlaceRecords(Records);
    const uint32_t count = uint32_t(Records.size());
    const int64_t oldEnd = m_FileStream->Size();
    change.Patch(*m_FileStream, FFileName, 0, state.DataHeaderBytes(count));
    change.Grow(*m_FileStream, FFileName, placement.End);
    const std::string indexName = NewIndexFileName();
    {
        TSequentialWriter indexWriter(change.Replace(indexName), 0);
        indexWriter.Write(state.IndexHeaderBytes(count));
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
        const TImageData& record = Records[i]->Loaded();
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
        saved[i] = state.StoredRecord(
            placement.Positions[i],
            std::span<const uint8_t>(headers.data() + (i - First) * headerSize, headerSize),
            placement.End, next, m_FileStream);
        if (placement.Positions[i] == 0)
            saved[i] = std::make_shared<TImageData>();
    }
    m_IndexStream = std::move(index);
    FIndexFile = indexName;
    StateAfterSave();
    FLaidOutAsRewrite = LaidOutAsRewrite(saved);
    return saved;
}

// The new files are written beside the old ones and replace both at once (TFileReplacement):
// a failure leaves the old files and this object as they were.
TRecordList TIndexedLibrary::RewriteLibrary(const TRecordList& Records) {
    const TIndexedState& state = IndexedState();
    const TIndexedLayout& layout = state.Layout();
    const size_t headerSize = size_t(layout.ImageHeaderSize);
    // Every record's header at once rather than one read per record.
    ReadRecordHeaders(Records, 0, Records.size());
    const TPlacement placement = PlaceRecords(Records);
    const uint32_t count = uint32_t(Records.size());
    const std::string indexName = NewIndexFileName();
    TFileReplacement replacement({FFileName, indexName});

    std::vector<uint8_t> positions(Records.size() * 4, 0);
    std::vector<uint8_t> headers(Records.size() * headerSize, 0);
    TSequentialWriter writer(replacement.Stream(0), 0);
    writer.Write(state.DataHeaderBytes(count));
    for (size_t i = 0; i < Records.size(); ++i) {
        const TImageData& record = Records[i]->Loaded();
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
    indexWriter.Write(state.IndexHeaderBytes(count));
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
        saved.push_back(state.StoredRecord(
            position, std::span<const uint8_t>(headers.data() + i * headerSize, headerSize),
            dataSize, next, data));
    }
    replacement.Commit();

    m_FileStream = std::move(data);
    m_IndexStream = std::move(index);
    FIndexFile = indexName;
    StateAfterSave();
    FLaidOutAsRewrite = LaidOutAsRewrite(saved);
    return saved;
}

} // namespace velmora
