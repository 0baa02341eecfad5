#pragma once

#include "core/file_stream.h"
#include "formats/indexed_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

// A WIL library: a data file with a header, a 256-colour palette and the image records one after
// another, and a .WIX index file with the position of every record. 8, 16, 24 or 32 bits per
// pixel.
class TWil : public TIndexedLibrary {
public:
    explicit TWil(const std::string& AFileName);
    ~TWil() override;

    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha) override;

    // 1 for the short layout (56-byte file header, 48-byte index header, 12-byte image headers),
    // 0 for the long one (60, 52, 16).
    uint8_t btVersion() const { return FVersion; }
    int FileHeaderSize() const { return FFileHeaderSize; }
    int IndexHeaderSize() const { return FIndexHeaderSize; }
    int ImageHeaderSize() const { return FImageHeaderSize; }
    // The palette stored in the data file (blue, green, red, 0 per entry). Pictures are always
    // shown with DefaultPalette; this one is only written back.
    const std::array<uint8_t, 1024>& RGBQuads() const { return FRGBQuads; }

protected:
    bool ReadDataHeader(const TFileStream& Data) override;
    TLayout Layout() const override;
    std::shared_ptr<TImageData> LoadedRecord(int32_t Position, std::span<const uint8_t> Header,
                                             int64_t DataSize) const override;
    uint64_t ScannedRecordSize(std::span<const uint8_t> Header, bool& Blank) const override;
    std::vector<uint8_t> DataHeaderBytes(uint32_t Count) const override;
    std::vector<uint8_t> IndexHeaderBytes(uint32_t Count) const override;
    bool IsBlank(const TImageData& Record) const override;
    std::unique_ptr<TPicture> DecodeRecord(const TImageData& Record) const override;
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> NewFiles(int BitCount) const override;
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override;

private:
    uint8_t FVersion = 0;
    std::array<uint8_t, 60> FHeader{};
    int32_t FFileHeaderSize = 0;
    int32_t FIndexHeaderSize = 0;
    int32_t FImageHeaderSize = 0;
    std::array<uint8_t, 1024> FRGBQuads{};
};

} // namespace velmora
