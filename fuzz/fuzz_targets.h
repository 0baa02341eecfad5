#pragma once

// The readers under fuzzing, one function per target. Each takes untrusted bytes, feeds them to
// the program's own entry point and exercises what the program does after a successful read. It
// returns true when the input was read (a library opened, a picture loaded), false when it was
// refused; it never throws and must never crash, hang or read out of bounds.
//
// Readers whose entry point is a file name get the bytes as a file in a private folder in memory
// (/dev/shm when it exists), so they run exactly as they do for the program.

#include "formats/pak_header.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora::fuzz {

using TFuzzTarget = bool (*)(std::span<const uint8_t> data);

struct TFuzzTargetInfo {
    const char* Name;
    TFuzzTarget Run;
};

// Library inputs of two files (WIL, WZL) are split: a 4-byte little-endian length of the data
// file, the data file, then the index file.
std::vector<uint8_t> JoinPair(std::span<const uint8_t> data, std::span<const uint8_t> index);

// Pak inputs start with a mode byte. Mode 0 (even): the rest is the file as stored. Mode 1 (odd):
// a variant byte (0, 1 or 2) and the plain 256-byte header, then the bytes after it; the header
// gets the check code of kFuzzPakPassword and is encrypted as the writer does, so that header
// fields reach the loader.
inline constexpr const char* kFuzzPakPassword = "fuzz";

// Mode 1 of the Pak target also takes the index and the record headers in clear: they are
// encrypted with the key of kFuzzPakPassword (encrypt) or, for making seeds, decrypted. The header
// is the plain file header.
void CryptPakIndexAndRecords(std::vector<uint8_t>& file, const TPakFileHeader& header,
                             bool encrypt);

bool FuzzWil(std::span<const uint8_t> data);
bool FuzzWis(std::span<const uint8_t> data);
bool FuzzWzl(std::span<const uint8_t> data);
bool FuzzPak(std::span<const uint8_t> data);
bool FuzzBmp(std::span<const uint8_t> data);
bool FuzzPng(std::span<const uint8_t> data);
bool FuzzTga(std::span<const uint8_t> data);
bool FuzzPakList(std::span<const uint8_t> data);
bool FuzzPlacement(std::span<const uint8_t> data);
bool FuzzRecentFiles(std::span<const uint8_t> data);

// Every target by name (the names of the fuzz/ programs and of the folders of damaged inputs).
const std::vector<TFuzzTargetInfo>& FuzzTargets();

// The private folder, ending in '/'.
const std::string& FuzzFolder();

} // namespace velmora::fuzz
