#pragma once

// Layout of WIL data files and their .WIX index files.

#include <cstdint>

namespace velmora::wil {

// Header sizes of the two layouts: data-file header, index-file header, per-image header.
constexpr int kShortFileHeaderSize = 56;
constexpr int kShortIndexHeaderSize = 48;
constexpr int kShortImageHeaderSize = 12;
constexpr int kLongFileHeaderSize = 60;
constexpr int kLongIndexHeaderSize = 52;
constexpr int kLongImageHeaderSize = 16;

constexpr int kPaletteBytes = 1024;

// Data-file header fields. The long layout's IndexOffset at 56 is, in the short layout, the first
// palette entry; 0 or -1 there selects the short layout.
constexpr int kImageCountAt = 44;
constexpr int kColorCountAt = 48;
constexpr int kPaletteSizeAt = 52;
constexpr int kIndexOffsetAt = 56;

// Index-file header: title, record count at 44, then (long layout) a zero word.
constexpr int kIndexCountAt = 44;

// The title the index header is written with (length-prefixed in a 44-byte field).
constexpr char kTitle[] = "WEMADE Entertainment inc.";
constexpr int kTitleField = 44;

// Per-image header fields.
constexpr int kWidthAt = 0;
constexpr int kHeightAt = 2;
constexpr int kXAt = 4;
constexpr int kYAt = 6;

// SetPoint patches only records at or after this position.
constexpr int kFirstPatchablePosition = 1080;

// ColorCount values that select 16, 24 and 32 bits; anything below 65536 is 8 bits.
constexpr uint32_t kColorCount16 = 65536;
constexpr uint32_t kColorCount24 = 16777216;
constexpr uint32_t kColorCount32 = 0xFFFFFFFFu;

} // namespace velmora::wil
