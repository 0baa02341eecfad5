#pragma once

// Layout of WIS files.

namespace velmora::wis {

// The head area before the first record; the first record starts exactly here.
constexpr int kHeadSize = 512;
constexpr int kTableEntrySize = 12;
constexpr int kImageHeaderSize = 12;

// Image header fields.
constexpr int kFlagAt = 0;
constexpr int kWidthAt = 4;
constexpr int kHeightAt = 6;
constexpr int kXAt = 8;
constexpr int kYAt = 10;
// The flag value of a run-length-compressed payload.
constexpr int kRleFlag = 1;

// Each two bytes of run-length data produce at most 255 pixels.
constexpr int kMaxRleExpansion = 128;

} // namespace velmora::wis
