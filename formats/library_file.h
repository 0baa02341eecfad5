#pragma once

// File handling shared by the formats: opening a library's files and reading them at a position.

#include "core/file_stream.h"
#include "core/read_blocks.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velmora {

// Opens a library file for reading and writing, or for reading alone when writing is not allowed
// (readOnly tells which); null when it cannot be opened at all.
std::shared_ptr<TFileStream> OpenLibraryStream(const std::string& name, bool& readOnly);

// How far a record's declared size may reach past the end of its file and still be read (the
// missing part reading as zero), so that a last record cut short stays readable while a damaged
// header that declares gigabytes is never allocated.
inline constexpr uint64_t kTruncationAllowance = uint64_t(1) << 20;

// zlib cannot inflate one input byte into more than about 1032 output bytes.
inline constexpr uint64_t kMaxInflateRatio = 1032;
// How far a picture may outgrow what its stored bytes can give (the rest reads as zero or black):
// a header that declares more is damage, refused before a picture of that size is allocated.
inline constexpr uint64_t kDecodeAllowance = uint64_t(1) << 20;

// True when a record of `size` bytes at `position` can be honoured in a file of `fileSize` bytes.
inline bool RecordSizePlausible(int64_t position, uint64_t size, int64_t fileSize) {
    const uint64_t left = position < fileSize ? uint64_t(fileSize - position) : 0;
    return size <= left + kTruncationAllowance;
}

} // namespace velmora
