#pragma once

#include "core/game_images.h"
#include "operations/convert_library.h"
#include "operations/progress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// How the images of one library enter another.
enum class TCopyWay : uint8_t {
    // The stored records as they are, byte for byte: libraries of one kind whose records mean the
    // same (WIL of one bit count and header layout, any two WZL, Pak of one index layout and, for
    // the old layout, one bit count).
    cwRecords,
    // Record by record as conversions take them (ConvertRecord): WIL into WZL, WIL and WZL into a
    // Pak library of the new layout. The pixels are copied, not decoded.
    cwConvertedRecords,
    // Every other pair: each picture decoded and brought to the target's bit count as imports
    // bring them (pictures keep their size).
    cwPictures,
};

// How images of source travel into target.
TCopyWay CopyWayOf(const TGameImages& source, const TGameImages& target);

// True when the stored records of the two libraries mean the same pictures (CopyWayOf gives
// cwRecords): equal records then show equal images.
bool SameRecordLayout(const TGameImages& a, const TGameImages& b);

// Images of a library as they stood when they were taken (复制 in the editor): the records of the
// snapshot then and what their headers said. A copy of them copies those images, whatever the
// library holds by the time it runs; the records keep the files they lie in open.
struct TTakenImages {
    std::shared_ptr<const TRecordList> Records; // the whole snapshot
    int From = 0;
    int To = -1;
    // What the headers of images From..To said, in order (none where the library said nothing).
    std::vector<std::optional<TImageDescription>> Descriptions;
    int Count() const { return To - From + 1; }
};

// Takes images from..to of the library's current snapshot, reading their headers only. A range
// that does not lie inside the library takes nothing (Count() 0 or less).
TTakenImages TakeImages(TGameImages& library, int from, int to);

// Where copied images go in the target.
enum TCopyMode : uint8_t {
    cmAppend = 0,  // after the last image
    cmInsert = 1,  // before image At (At may be the image count: the same as appending)
    cmReplace = 2, // over images At, At + 1, ...; every one of them must exist
};

struct TCopyOptions {
    int From = 0;          // the first source image
    std::optional<int> To; // the last source image; none: the source's last
    TCopyMode Mode = cmAppend;
    int At = 0; // the target image inserted before or replaced first (insert and replace)
    // Compression of images that are encoded anew (converted records, decoded pictures): none
    // keeps each image's own (compressed when its source record is), a value forces it (0 raw,
    // anything else compressed, as imports take it). Records that travel unchanged keep theirs.
    std::optional<uint8_t> Compression;
    // Images taken from the source earlier (TakeImages of the same library object): they are
    // copied rather than From..To of the source's records now, and From and To are not used.
    std::shared_ptr<const TTakenImages> Taken;
    // PlanCopy counts what the target cannot hold (decoding images whose alpha only decoding
    // tells); off, Losses stays empty (a copy whose plan was shown before).
    bool CountLosses = true;
};

// What a copy will do, found from the libraries' image headers before anything is written.
struct TCopyPlan {
    bool Valid = false;
    std::string Error; // why the copy is refused (range, refusal of the target)
    TEditRefusal Refusal = TEditRefusal::erNone;
    int From = 0;
    int To = -1;
    int Count = 0;
    int First = 0; // the target index of the first copied image
    TCopyWay Way = TCopyWay::cwRecords;
    // What the target cannot hold (pictures only): TargetBitCount is the target's bit count;
    // AlphaLost, AlphaReduced and ColoursReduced count the images that lose some of it.
    TConversionPlan Losses;
};

// Checks a copy: the range must lie inside the source (a source of no images has no range; taken
// images must be some), the target place inside the target, and the target must take edits. For
// pictures that are decoded, counts what the target cannot hold (images whose alpha only decoding
// tells are decoded).
TCopyPlan PlanCopy(TGameImages& source, TGameImages& target, const TCopyOptions& options);

struct TCopyResult {
    bool Done = false; // the target was written with every image of the range
    int Copied = 0;
    // Source images whose picture could not be decoded: they became empty images, so that the
    // numbering stays.
    int Undecodable = 0;
    TCopyPlan Plan;
    std::string Error; // why nothing was written
};

// Copies images From..To of source into target as one edit (BeginUpdate ... EndUpdate), the way
// CopyWayOf names. A plan that is not valid writes nothing; nor does an image the target refuses.
// source and target may be the same library. progress is called with 0 and after each image; an
// exception from it (a cancel) discards the edit. File-system errors of the target's write raise
// EFileError, as does a target that would outgrow its 2 GiB files; the target stays as it was.
TCopyResult CopyImages(TGameImages& source, TGameImages& target, const TCopyOptions& options,
                       const TProgress& progress = {});

} // namespace velmora
