#include "operations/check_library.h"

#include "core/file_stream.h"

#include <algorithm>
#include <exception>

namespace velmora {

const char* RecordDamageText(TRecordDamage Damage) {
    switch (Damage) {
    case TRecordDamage::rdNone:
        return "sound";
    case TRecordDamage::rdTruncated:
        return "truncated: the data file ends inside the image";
    case TRecordDamage::rdUndecodable:
        return "the image data does not decode";
    case TRecordDamage::rdReadError:
        return "the image could not be read";
    }
    return "";
}

bool EndsPastTheFile(const TImageData& Stored) {
    const TImageData& record = Stored.Loaded();
    return record.InFile() && record.OffSet > 0 &&
           int64_t(record.OffSet) + std::max({record.DataSize, record.HeaderSize, 1}) >
               record.File->Size();
}

TRecordCheck ExplainMissingPicture(const TSnapshot& Snapshot, int Index, const std::string& Error) {
    TRecordCheck check;
    if (Index < 0 || Index >= Snapshot.Count())
        return check;
    const TImageData* record = nullptr;
    try {
        record = Snapshot.Record(Index);
    } catch (const std::exception& e) {
        return {TRecordDamage::rdReadError, Error.empty() ? e.what() : Error};
    }
    if (record && EndsPastTheFile(*record))
        return {TRecordDamage::rdTruncated, {}};
    if (!record || record->DataSize <= 0 || record->PayloadSize() == 0) {
        // An emptied slot: nothing to show, nothing broken. A raised error still counts.
        if (!Error.empty())
            check = {TRecordDamage::rdReadError, Error};
        return check;
    }
    try {
        if (!TPayload(*record).Complete())
            return {TRecordDamage::rdTruncated, {}};
    } catch (const std::exception& e) {
        return {TRecordDamage::rdReadError, e.what()};
    }
    if (!Error.empty())
        return {TRecordDamage::rdReadError, Error};
    // Some formats keep blank images as records with a header only and no pixels.
    if (const std::optional<TImageDescription> d = Snapshot.State().Describe(*record, false);
        d && (d->Empty || d->Width <= 0 || d->Height <= 0))
        return check;
    return {TRecordDamage::rdUndecodable, {}};
}

TRecordCheck ExplainMissingPicture(TGameImages& Library, int Index, const std::string& Error) {
    return ExplainMissingPicture(*Library.Snapshot(), Index, Error);
}

TRecordCheck CheckRecord(const TSnapshot& Snapshot, int Index, std::unique_ptr<TPicture>* Picture) {
    std::unique_ptr<TPicture> picture;
    std::string error;
    try {
        int x = 0;
        int y = 0;
        picture = Snapshot.Get(Index, x, y);
    } catch (const std::exception& e) {
        error = e.what();
    }
    TRecordCheck check;
    if (!picture || !error.empty()) {
        check = ExplainMissingPicture(Snapshot, Index, error);
    } else if (Index >= 0 && Index < Snapshot.Count()) {
        // A picture can come back from bytes the file no longer holds in full (a format that
        // pads what is missing): that is damage all the same.
        try {
            const TImageData* record = Snapshot.Record(Index);
            if (record && (EndsPastTheFile(*record) ||
                           (record->PayloadSize() > 0 && !TPayload(*record).Complete())))
                check = {TRecordDamage::rdTruncated, {}};
        } catch (const std::exception& e) {
            check = {TRecordDamage::rdReadError, e.what()};
        }
    }
    if (Picture)
        *Picture = std::move(picture);
    return check;
}

TRecordCheck CheckRecord(TGameImages& Library, int Index, std::unique_ptr<TPicture>* Picture) {
    return CheckRecord(*Library.Snapshot(), Index, Picture);
}

TLibraryCheck CheckLibrary(TGameImages& Library, const TCheckProgress& Progress) {
    TLibraryCheck result;
    const TSnapshotPtr snapshot = Library.Snapshot();
    const int total = snapshot->Count();
    try {
        // Every header in one go; a header that cannot be read is told by its own image below.
        snapshot->ReadHeaders(0, total - 1);
    } catch (const std::exception&) {
    }
    for (int i = 0; i < total; ++i) {
        const TRecordCheck check = CheckRecord(*snapshot, i);
        if (check.Damaged())
            result.Damaged.push_back({i, check});
        ++result.Checked;
        if (Progress && !Progress(i + 1, total) && i + 1 < total) {
            result.Cancelled = true;
            break;
        }
    }
    return result;
}

} // namespace velmora
