#pragma once

#include "core/game_images.h"
#include "core/picture.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// What is wrong with one record.
enum class TRecordDamage : uint8_t {
    rdNone,
    rdTruncated,   // the data file ends inside the record
    rdUndecodable, // the bytes are there but do not decode into a picture
    rdReadError,   // reading or decoding raised an error
};

// The damage in English, for the command line and the log.
const char* RecordDamageText(TRecordDamage Damage);

struct TRecordCheck {
    TRecordDamage Damage = TRecordDamage::rdNone;
    // The error's own text for rdReadError.
    std::string Detail;
    bool Damaged() const { return Damage != TRecordDamage::rdNone; }
};

// True when the record lies in its data file and the file ends before the record does (a file
// cut short): such a record reads as zeros where its bytes are missing, a blank header looking like
// an empty image. Checks the file's size only.
bool EndsPastTheFile(const TImageData& Record);

// Tells why image Index of a snapshot, whose picture came back null (or raised Error), is not
// shown: an empty record is not damaged; one whose payload the file does not hold is truncated;
// one whose header cannot be read is a read error; otherwise its bytes do not decode. Safe on any
// thread. The library's form reads its current snapshot.
TRecordCheck ExplainMissingPicture(const TSnapshot& Snapshot, int Index,
                                   const std::string& Error = {});
TRecordCheck ExplainMissingPicture(TGameImages& Library, int Index, const std::string& Error = {});

// Decodes image Index (Get) and tells whether it is damaged; Picture, when given, receives what
// Get returned.
TRecordCheck CheckRecord(const TSnapshot& Snapshot, int Index,
                         std::unique_ptr<TPicture>* Picture = nullptr);
TRecordCheck CheckRecord(TGameImages& Library, int Index,
                         std::unique_ptr<TPicture>* Picture = nullptr);

struct TDamagedRecord {
    int Index = 0;
    TRecordCheck Check;
};

struct TLibraryCheck {
    int Checked = 0;        // records read
    bool Cancelled = false; // Progress asked to stop before the last record
    std::vector<TDamagedRecord> Damaged;
};

// Called after each record with the number checked and the total; false stops the check.
using TCheckProgress = std::function<bool(int done, int total)>;

// Reads every record of the library's current snapshot (taken once, at the start) and lists the
// damaged ones in order.
TLibraryCheck CheckLibrary(TGameImages& Library, const TCheckProgress& Progress = {});

} // namespace velmora
