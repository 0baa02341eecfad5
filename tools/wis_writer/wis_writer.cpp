#include "tools/wis_writer/wis_writer.h"

#include "core/checked.h"
#include "core/file_stream.h"

namespace velmora {

std::vector<uint8_t> EncodeRLE(std::span<const uint8_t> Pixels) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < Pixels.size()) {
        size_t run = 1;
        while (i + run < Pixels.size() && run < 255 && Pixels[i + run] == Pixels[i])
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(run));
            out.push_back(Pixels[i]);
            i += run;
            continue;
        }
        // A literal block up to the next run of two or more.
        size_t n = 0;
        while (i + n < Pixels.size() && n < 255 &&
               !(i + n + 1 < Pixels.size() && Pixels[i + n + 1] == Pixels[i + n]))
            ++n;
        if (n == 0)
            n = 1;
        out.push_back(0);
        out.push_back(uint8_t(n));
        out.insert(out.end(), Pixels.begin() + i, Pixels.begin() + i + n);
        i += n;
    }
    return out;
}

TWisWriter::TWisWriter() : FRecords(512, 0) {}

TWisHeader TWisWriter::AddImage(int Width, int Height, int X, int Y,
                                std::span<const uint8_t> Pixels, bool Rle) {
    if (Rle)
        return AddRecord(1, Width, Height, X, Y, EncodeRLE(Pixels));
    return AddRecord(0, Width, Height, X, Y, Pixels);
}

TWisHeader TWisWriter::AddRecord(uint8_t Flag, int Width, int Height, int X, int Y,
                                 std::span<const uint8_t> Payload) {
    TWisHeader entry;
    entry.OffSet = int32_t(FRecords.size());
    entry.Length = int32_t(Payload.size());
    uint8_t header[12] = {};
    header[0] = Flag;
    PutI16(header + 4, Width);
    PutI16(header + 6, Height);
    PutI16(header + 8, X);
    PutI16(header + 10, Y);
    FRecords.insert(FRecords.end(), header, header + 12);
    FRecords.insert(FRecords.end(), Payload.begin(), Payload.end());
    FEntries.push_back(entry);
    return entry;
}

std::vector<uint8_t> TWisWriter::Bytes(const std::vector<TWisHeader>& Table) const {
    std::vector<uint8_t> file = FRecords;
    for (const TWisHeader& entry : Table) {
        uint8_t raw[12];
        PutI32(raw, entry.OffSet);
        PutI32(raw + 4, entry.Length);
        PutI32(raw + 8, entry.temp3);
        file.insert(file.end(), raw, raw + 12);
    }
    return file;
}

void TWisWriter::Save(const std::string& FileName, const std::vector<TWisHeader>& Table) const {
    TFileStream file(FileName, TFileStream::fmCreate);
    file.Write(Bytes(Table));
}

} // namespace velmora
