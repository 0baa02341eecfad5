#pragma once

#include "core/game_images.h"
#include "operations/progress.h"

#include <string>

namespace velmora {

// The range of the delete dialog after its clamping: a negative start becomes 0, both ends are cut
// to the last image, and a start beyond the end becomes the end. Valid only when the result lies
// inside the library (never for an empty library) and the range asked for reaches at least one
// image (5..9 of a 3-image library is refused rather than cut to the last image).
struct TDeleteRange {
    int Start = 0;
    int End = -1;
    bool Valid = false;
    int Count() const { return Valid ? End - Start + 1 : 0; }
};
TDeleteRange ClampDeleteRange(int start, int end, int imageCount);

struct TDeleteResult {
    TDeleteRange Range;
    bool Done = false; // the library deleted or blanked the range and was rewritten
    TEditRefusal Refusal = TEditRefusal::erNone; // the library takes no edits
    std::string Error;                           // why not
};

// Removes images start .. end (Delete) or, with blank, replaces them by empty images (Fill),
// after ClampDeleteRange. A range that does not fit changes nothing. progress is called once per
// image affected. File-system errors of the rewrite raise EFileError.
TDeleteResult DeleteImages(TGameImages& library, int start, int end, bool blank,
                           const TProgress& progress = {});

// True when `index` lies in the range a delete removed, so a selection there is gone.
bool DeleteRemovesIndex(const TDeleteRange& range, int index);

struct TOffsetResult {
    bool Done = false;
    TPoint Offset;                               // the offset now stored (read back)
    TEditRefusal Refusal = TEditRefusal::erNone; // the library takes no edits
    std::string Error;
};

// The offset of image `index`; Done false for an index out of range.
TOffsetResult ReadOffset(TGameImages& library, int index);

// Stores a new offset for image `index` (SetPoint, written into the file at once) and reads it
// back. Offsets are stored as signed 16-bit values, so values beyond -32768 .. 32767 are refused
// rather than silently cut. Done false for an index out of range or when the stored value differs.
TOffsetResult WriteOffset(TGameImages& library, int index, TPoint offset);

} // namespace velmora
