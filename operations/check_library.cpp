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

bool EndsPastTheFile(const TImageData& record) {
    return record.InFile() && record.OffSet > 0 &&
           int64_t(record.OffSet) + std::max({record.DataSize, record.HeaderSize, 1}) >
               record.File->Size();
}

TRecordCheck ExplainMissingPicture(TGameImages& Library, int Index, const std::string& Error) {
    TRecordCheck check;
    const std::shared_ptr<const TRecordList> snapshot = Library.Snapshot();
    if (Index < 0 || size_t(Index) >= snapshot->size())
        return check;
    const TRecord& record = (*snapshot)[size_t(Index)];
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
    if (const std::optional<TImageDescription> d = Library.Describe(Index, false);
        d && (d->Empty || d->Width <= 0 || d->Height <= 0))
        return check;
    return {TRecordDamage::rdUndecodable, {}};
}

TRecordCheck CheckRecord(TGameImages& Library, int Index, std::unique_ptr<TPicture>* Picture) {
    std::unique_ptr<TPicture> picture;
    std::string error;
    try {
        int x = 0;
        int y = 0;
        picture = Library.Get(Index, x, y);
    } catch (const std::exception& e) {
        error = e.what();
    }
    TRecordCheck check;
    if (!picture || !error.empty()) {
        check = ExplainMissingPicture(Library, Index, error);
    } else {
        // A picture can come back from bytes the file no longer holds in full (a format that
        // pads what is missing): that is damage all the same.
        const std::shared_ptr<const TRecordList> snapshot = Library.Snapshot();
        if (size_t(Index) < snapshot->size()) {
            const TRecord& record = (*snapshot)[size_t(Index)];
            try {
                if (record && (EndsPastTheFile(*record) ||
                               (record->PayloadSize() > 0 && !TPayload(*record).Complete())))
                    check = {TRecordDamage::rdTruncated, {}};
            } catch (const std::exception& e) {
                check = {TRecordDamage::rdReadError, e.what()};
            }
        }
    }
    if (Picture)
        *Picture = std::move(picture);
    return check;
}

TLibraryCheck CheckLibrary(TGameImages& Library, const TCheckProgress& Progress) {
    TLibraryCheck result;
    const int total = int(Library.Snapshot()->size());
    for (int i = 0; i < total; ++i) {
        const TRecordCheck check = CheckRecord(Library, i);
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
