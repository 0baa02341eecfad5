#pragma once

#include "formats/wis.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// Run-length encodes pixels the way WIS files hold them: runs of 2 to 255 equal bytes as
// (count, value), everything else as literal blocks (0, count, bytes).
std::vector<uint8_t> EncodeRLE(std::span<const uint8_t> Pixels);

// Builds WIS files for tests and demos: a 512-byte head, image records from 512 on, and the table
// of record positions at the end. The product only reads WIS.
class TWisWriter {
public:
    TWisWriter();

    // Appends an image of Width x Height palette indices (rows of exactly Width bytes, top row
    // first), run-length encoded when Rle is set; returns its table entry.
    TWisHeader AddImage(int Width, int Height, int X, int Y, std::span<const uint8_t> Pixels,
                        bool Rle);
    // Appends a record with any flag byte and payload, as damaged or unusual files hold them.
    TWisHeader AddRecord(uint8_t Flag, int Width, int Height, int X, int Y,
                         std::span<const uint8_t> Payload);

    // The entries of every record added so far, in order.
    const std::vector<TWisHeader>& Entries() const { return FEntries; }

    // The file with the given table (by default the entries of all records).
    std::vector<uint8_t> Bytes(const std::vector<TWisHeader>& Table) const;
    std::vector<uint8_t> Bytes() const { return Bytes(FEntries); }
    void Save(const std::string& FileName, const std::vector<TWisHeader>& Table) const;
    void Save(const std::string& FileName) const { Save(FileName, FEntries); }

private:
    std::vector<uint8_t> FRecords;
    std::vector<TWisHeader> FEntries;
};

} // namespace velmora
