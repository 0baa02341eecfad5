#include "operations/delete_images.h"

#include <algorithm>

namespace velmora {

TDeleteRange ClampDeleteRange(int start, int end, int imageCount) {
    TDeleteRange range;
    const int last = imageCount - 1;
    // A range that lies wholly after the last image names no image: cutting it to the last one
    // would delete an image nobody asked for.
    const bool pastTheEnd = std::min(start, end) > last;
    start = std::max(start, 0);
    end = std::min(end, last);
    start = std::min(start, last);
    if (start > end)
        start = end;
    range.Start = start;
    range.End = end;
    range.Valid = end >= start && start >= 0 && end < imageCount && !pastTheEnd;
    return range;
}

bool DeleteRemovesIndex(const TDeleteRange& range, int index) {
    return range.Valid && index >= range.Start && index <= range.End;
}

TDeleteResult DeleteImages(TGameImages& library, int start, int end, bool blank,
                           const TProgress& progress) {
    TDeleteResult result;
    result.Range = ClampDeleteRange(start, end, library.ImageCount());
    if (!result.Range.Valid) {
        result.Error = library.ImageCount() == 0 ? "the library holds no images"
                                                 : "the range does not fit the library";
        return result;
    }
    result.Refusal = library.EditRefusal();
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return result;
    }
    const int total = result.Range.Count();
    int done = 0;
    TNotifyEvent notify;
    if (progress) {
        progress(0, total);
        notify = [&](TGameImages*) { progress(++done, total); };
    }
    result.Done = blank ? library.Fill(result.Range.Start, result.Range.End, notify)
                        : library.Delete(result.Range.Start, result.Range.End, notify);
    if (!result.Done)
        result.Error = "the library refused the change";
    return result;
}

TOffsetResult ReadOffset(TGameImages& library, int index) {
    TOffsetResult result;
    if (index < 0 || index >= library.ImageCount()) {
        result.Error = "image " + std::to_string(index) + " does not exist";
        return result;
    }
    result.Offset = library.GetPoint(index);
    result.Done = true;
    return result;
}

TOffsetResult WriteOffset(TGameImages& library, int index, TPoint offset) {
    TOffsetResult result;
    if (index < 0 || index >= library.ImageCount()) {
        result.Error = "image " + std::to_string(index) + " does not exist";
        return result;
    }
    if (!StorableOffset(offset)) {
        result.Error = "offsets are stored as 16-bit values (-32768..32767)";
        return result;
    }
    result.Refusal = library.EditRefusal(true);
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return result;
    }
    library.SetPoint(index, offset);
    result.Offset = library.GetPoint(index);
    result.Done = result.Offset == offset;
    if (!result.Done)
        result.Error = "the library did not store the offset (an empty image has none)";
    return result;
}

} // namespace velmora
