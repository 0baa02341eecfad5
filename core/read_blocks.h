#pragma once

// Reading a library's files at positions: one block, or many scattered blocks at once.

#include "core/file_stream.h"

#include <cstdint>
#include <span>

namespace velmora {

// Reads up to out.size() bytes at position; what lies outside the file stays zero. Returns how
// many bytes the file had.
size_t ReadAt(const TFileStream& stream, int64_t position, std::span<uint8_t> out);

// Reads BlockSize bytes at each of Positions into Out, block after block, as ReadAt does (a
// negative position, or what lies outside the file, reads as zeros). Many scattered blocks are
// read by several threads at once, so that a disk whose pages are not in the cache serves them
// side by side instead of one after another.
void ReadBlocksAt(const TFileStream& stream, std::span<const int64_t> Positions, size_t BlockSize,
                  std::span<uint8_t> Out);

} // namespace velmora
