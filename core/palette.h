#pragma once

#include "core/dib.h"

#include <cstdint>

namespace velmora {

// The fixed 256-colour table of every 8-bit library picture (blue, green, red, 0 per entry).
extern const TColorTable DefaultPalette;

// Index of the nearest colour of `table` to (r, g, b) by squared RGB distance, lowest index on
// ties. For DefaultPalette a cached 15-bit lookup answers; other tables are searched.
uint8_t NearestColorIndex(const TColorTable& table, uint8_t r, uint8_t g, uint8_t b);

} // namespace velmora
