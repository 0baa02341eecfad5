#pragma once

#include <optional>
#include <vector>

namespace velmora {

// A rectangle to place on a sheet.
struct TPackItem {
    int Width = 0;
    int Height = 0;
};

// Where a rectangle went: its sheet and its top-left corner there.
struct TPackPlace {
    int Sheet = -1;
    int X = 0;
    int Y = 0;
};

struct TPackedSheet {
    int Width = 0; // the bounding box of the rectangles on the sheet
    int Height = 0;
};

struct TPacking {
    std::vector<TPackPlace> Places; // one per item, in the order of the items
    std::vector<TPackedSheet> Sheets;
};

// Packs rectangles (never rotated) onto as few sheets of at most MaxSize x MaxSize pixels as the
// skyline bottom-left rule finds, taller rectangles first, with at least Padding pixels between
// any two of them (none at the sheet's edges). Each sheet is as wide as about the square root of
// the area left to pack, widened to MaxSize when that leaves rectangles over. None when a
// rectangle is larger than a sheet or has no pixels.
std::optional<TPacking> PackRectangles(const std::vector<TPackItem>& Items, int MaxSize,
                                       int Padding);

} // namespace velmora
