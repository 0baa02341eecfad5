#pragma once

// File handling shared by the formats that keep their data (and index) file open: opening,
// reading at a position, and keeping the records' file positions across a save that may fail.

#include "core/file_stream.h"
#include "core/game_images.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// Opens a library file for reading and writing, or for reading alone when writing is not allowed;
// null when it cannot be opened at all.
std::unique_ptr<TFileStream> OpenLibraryFile(const std::string& name);

// Reads up to out.size() bytes at position; what lies outside the file stays zero.
void ReadAt(TFileStream& stream, int64_t position, std::span<uint8_t> out);

// The file positions of a library's records before a save. A save rewrites them as it goes; when
// it fails, Restore puts them back so that SetPoint still patches the headers in the old files.
class TRecordPositions {
public:
    explicit TRecordPositions(const std::vector<std::unique_ptr<TImageData>>& images);
    void Restore(std::vector<std::unique_ptr<TImageData>>& images) const;

private:
    std::vector<int32_t> FPositions;
};

} // namespace velmora
