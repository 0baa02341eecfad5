// Rebuilding the index of a WIL or WZL library from its data file.

#include "formats/indexed_library.h"

#include "core/checked.h"
#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/library_lock.h"
#include "core/utils.h"
#include "formats/library_file.h"

#include <filesystem>
#include <limits>

namespace velmora {

bool TIndexedLibrary::RecordStartsAt(int64_t Position, int64_t DataSize) const {
    if (Position == DataSize)
        return true;
    const size_t headerSize = size_t(IndexedState().Layout().ImageHeaderSize);
    if (Position + int64_t(headerSize) > DataSize)
        return false;
    std::vector<uint8_t> header(headerSize);
    ReadAt(*m_FileStream, Position, header);
    bool blank = false;
    const uint64_t size = IndexedState().ScannedRecordSize(header, blank);
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
    const TIndexedState& state = IndexedState();
    const TIndexedLayout& layout = state.Layout();
    const int64_t headerSize = layout.ImageHeaderSize;
    const int64_t dataSize = m_FileStream->Size();
    std::vector<uint8_t> positions;
    std::vector<uint8_t> header(static_cast<size_t>(headerSize));
    int64_t position = layout.FirstRecordAt;
    while (position + headerSize <= dataSize && position <= std::numeric_limits<int32_t>::max()) {
        ReadAt(*m_FileStream, position, header);
        bool blank = false;
        uint64_t size = state.ScannedRecordSize(header, blank);
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
    std::vector<uint8_t> rebuilt = state.IndexHeaderBytes(uint32_t(result.Found));
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
