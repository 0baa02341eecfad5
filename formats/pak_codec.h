#pragma once

// Pixel packing of Pak records: the run-length packets of the old layout. Their zlib streams go
// through core/zlib_util.

#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// Appends the run-length packets of one row of `count` pixels of `pixelBytes` bytes each. A packet
// starts with a control byte c: below 0x80 a literal of c + 1 pixels follows; from 0x80 on one
// pixel follows that stands for (c - 0x80) + 1 equal pixels. Packets hold at most 128 pixels.
void PackRunLengthRow(const uint8_t* row, int count, int pixelBytes, std::vector<uint8_t>& out);

// Packs `height` rows of `width` pixels taken one after another from `pixels`, each row on its own.
std::vector<uint8_t> PackRunLength(const uint8_t* pixels, int width, int height, int pixelBytes);

// Unpacks packets into `out` until it is full or the input ends; packets may run across row ends.
// Packets that would overrun `out` are cut, a truncated packet ends the data. Returns the number
// of bytes written.
size_t UnpackRunLength(std::span<const uint8_t> in, std::span<uint8_t> out, int pixelBytes);

} // namespace velmora
