#pragma once

// Helpers for the Pak container and cipher tests: scratch folders and test pictures.

#include "core/dib.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

// A fresh, empty folder under the system's temporary folder, removed again on destruction.
class TPakScratchDir {
public:
    explicit TPakScratchDir(const std::string& tag);
    ~TPakScratchDir();
    TPakScratchDir(const TPakScratchDir&) = delete;
    TPakScratchDir& operator=(const TPakScratchDir&) = delete;
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// A buffer of the given size and bit count (16 bits as 5-6-5, 8 bits with the default palette)
// whose storage bytes follow a pattern derived from seed; padding bytes stay 0.
std::unique_ptr<TDIB> MakePatternDIB(int width, int height, int bitCount, uint32_t seed);

// An 8-bit alpha buffer of the given size with values derived from seed.
std::unique_ptr<TDIB> MakeAlphaDIB(int width, int height, uint32_t seed);

// True when both buffers have the same size, bit count and storage bytes.
bool SameStorage(const TDIB& a, const TDIB& b);

// One record of a hand-built Pak file: its plain record header (16 bytes in the new layout, 12 in
// the old) and payload. A record without header bytes is an empty slot.
struct TPakTestRecord {
    std::vector<uint8_t> Header;
    std::vector<uint8_t> Payload;
};

// A Pak file built from the container layout alone, independently of the library's writer.
struct TPakTestFile {
    int Variant = 2;
    uint8_t bfType = 2;
    uint16_t BitCount = 16;
    std::string Password = "secret";
    // The plain text of the check code; empty for none.
    std::string CheckText = "QUILLRAND2";
    // The password's key material in the header (new files and older variant-0 files).
    bool StoreKey = false;
    // Variant-0 start: "K7PV4" as given here (any case).
    std::string Variant0Magic = "K7PV4";
    std::vector<TPakTestRecord> Records;
};

std::vector<uint8_t> BuildPakFile(const TPakTestFile& fileLayout);

// Plain record headers.
std::vector<uint8_t> NewRecordHeader(uint8_t kind, uint8_t alpha, int width, int height, int x,
                                     int y, int32_t dataLength);
std::vector<uint8_t> OldRecordHeader(int32_t packing, int width, int height, int x, int y);

// The decrypted 256-byte header of a Pak file (variant from its start, as the tests build them).
std::vector<uint8_t> DecryptPakHeader(const std::vector<uint8_t>& file, int variant);

std::vector<uint8_t> ReadPakBytes(const std::string& fileName);
void WritePakBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

} // namespace velmora::test
