#pragma once

#include "core/game_images.h"
#include "operations/progress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// What differs between the images of one number in two libraries (bits of TDifferentImage::What).
enum TImageDifference : uint8_t {
    idPixels = 1,   // same size, other pixels as the game shows them (black or alpha 0 transparent)
    idSize = 2,     // other width or height, or an empty image against one with pixels
    idOffset = 4,   // another offset
    idOnlyInA = 8,  // the number lies past the end of B
    idOnlyInB = 16, // the number lies past the end of A
};

// The differences in words, in the order of the bits: "pixels, size, offset, only in A, only in B".
std::string DifferenceText(uint8_t What);

// One side of a differing image, as its header tells.
struct TImageSide {
    int Width = 0;
    int Height = 0;
    TPoint Offset;
    bool Empty = true;
};

struct TDifferentImage {
    int Index = 0;
    uint8_t What = 0;               // TImageDifference bits
    std::optional<TImageSide> A, B; // none on the side that does not hold the image
};

struct TDiffOptions {
    int From = 0;
    std::optional<int> To; // none: the last image of the longer library
};

struct TDiffResult {
    bool Done = false;
    std::string Error; // why nothing was compared (a range in neither library)
    int CountA = 0, CountB = 0;
    int From = 0, To = -1;
    // Image pairs decoded because their stored records differ (or the libraries store them
    // differently); equal records are never decoded.
    int Decoded = 0;
    std::vector<TDifferentImage> Differences; // in image order
};

// Compares images From..To of two libraries. Where both libraries store records alike
// (SameRecordLayout) a pair whose stored records are equal byte for byte is equal, unread beyond
// its bytes; any other pair is told apart by the headers (offset, size) and, at equal sizes, by
// decoding both pictures. A range that reaches past the end of both libraries is refused. progress
// is called with 0 and after each image; an exception from it (a cancel) ends the comparison.
TDiffResult DiffLibraries(TGameImages& LibraryA, TGameImages& LibraryB, const TDiffOptions& Options,
                          const TProgress& Progress = {});

} // namespace velmora
