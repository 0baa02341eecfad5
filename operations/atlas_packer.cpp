#include "operations/atlas_packer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace velmora {

namespace {

// The skyline of one sheet: the top edges of what is placed, as runs from left to right.
class TSkyline {
public:
    TSkyline(int width, int height) : FWidth(width), FHeight(height) {
        FNodes.push_back({0, 0, width});
    }

    // Places a rectangle where its top edge ends lowest (then leftmost); false when it fits
    // nowhere.
    bool Insert(int w, int h, int& x, int& y) {
        int bestTop = INT32_MAX, bestX = 0, bestY = 0;
        size_t bestNode = FNodes.size();
        for (size_t i = 0; i < FNodes.size(); ++i) {
            int top = 0;
            if (!Fits(i, w, h, top))
                continue;
            if (top + h < bestTop || (top + h == bestTop && FNodes[i].X < bestX)) {
                bestTop = top + h;
                bestX = FNodes[i].X;
                bestY = top;
                bestNode = i;
            }
        }
        if (bestNode == FNodes.size())
            return false;
        Place(bestNode, bestX, bestY, w, h);
        x = bestX;
        y = bestY;
        return true;
    }

private:
    struct TNode {
        int X, Y, Width;
    };

    // Whether a rectangle starting at node i fits; top receives the height it would rest on.
    bool Fits(size_t i, int w, int h, int& top) const {
        const int x = FNodes[i].X;
        if (x + w > FWidth)
            return false;
        top = 0;
        int left = w;
        for (size_t j = i; left > 0; ++j) {
            if (j == FNodes.size())
                return false;
            top = std::max(top, FNodes[j].Y);
            if (top + h > FHeight)
                return false;
            left -= FNodes[j].Width;
        }
        return true;
    }

    void Place(size_t i, int x, int y, int w, int h) {
        FNodes.insert(FNodes.begin() + std::ptrdiff_t(i), {x, y + h, w});
        // The nodes the rectangle covers shrink or go.
        for (size_t j = i + 1; j < FNodes.size();) {
            const int end = FNodes[j - 1].X + FNodes[j - 1].Width;
            if (FNodes[j].X >= end)
                break;
            const int cut = end - FNodes[j].X;
            if (cut >= FNodes[j].Width) {
                FNodes.erase(FNodes.begin() + std::ptrdiff_t(j));
                continue;
            }
            FNodes[j].X += cut;
            FNodes[j].Width -= cut;
            break;
        }
        // Neighbours at one height become one run.
        for (size_t j = 0; j + 1 < FNodes.size();) {
            if (FNodes[j].Y == FNodes[j + 1].Y) {
                FNodes[j].Width += FNodes[j + 1].Width;
                FNodes.erase(FNodes.begin() + std::ptrdiff_t(j + 1));
            } else {
                ++j;
            }
        }
    }

    int FWidth, FHeight;
    std::vector<TNode> FNodes;
};

} // namespace

std::optional<TPacking> PackRectangles(const std::vector<TPackItem>& Items, int MaxSize,
                                       int Padding) {
    if (MaxSize < 1 || Padding < 0)
        return std::nullopt;
    for (const TPackItem& item : Items)
        if (item.Width < 1 || item.Height < 1 || item.Width > MaxSize || item.Height > MaxSize)
            return std::nullopt;
    TPacking packing;
    packing.Places.resize(Items.size());
    std::vector<size_t> remaining(Items.size());
    std::iota(remaining.begin(), remaining.end(), size_t(0));
    std::stable_sort(remaining.begin(), remaining.end(), [&](size_t a, size_t b) {
        if (Items[a].Height != Items[b].Height)
            return Items[a].Height > Items[b].Height;
        return Items[a].Width > Items[b].Width;
    });
    // Every rectangle is placed with its padding to the right and below, on a sheet that much
    // larger: the padding is kept between rectangles and never needed at the sheet's edges.
    while (!remaining.empty()) {
        double area = 0;
        int widest = 0;
        for (size_t i : remaining) {
            area += double(Items[i].Width + Padding) * double(Items[i].Height + Padding);
            widest = std::max(widest, Items[i].Width);
        }
        const int square = int(std::min<double>(MaxSize, std::ceil(std::sqrt(area * 1.1))));
        std::vector<size_t> left;
        std::vector<TPackPlace> places(Items.size());
        for (int width : {std::max(square, widest), MaxSize}) {
            TSkyline sky(width + Padding, MaxSize + Padding);
            left.clear();
            std::fill(places.begin(), places.end(), TPackPlace{});
            for (size_t i : remaining) {
                int x = 0, y = 0;
                if (sky.Insert(Items[i].Width + Padding, Items[i].Height + Padding, x, y))
                    places[i] = {int(packing.Sheets.size()), x, y};
                else
                    left.push_back(i);
            }
            if (left.empty())
                break;
        }
        TPackedSheet sheet;
        for (size_t i : remaining) {
            if (places[i].Sheet < 0)
                continue;
            packing.Places[i] = places[i];
            sheet.Width = std::max(sheet.Width, places[i].X + Items[i].Width);
            sheet.Height = std::max(sheet.Height, places[i].Y + Items[i].Height);
        }
        packing.Sheets.push_back(sheet);
        remaining = std::move(left);
    }
    return packing;
}

} // namespace velmora
