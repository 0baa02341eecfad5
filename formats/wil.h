#pragma once

#include "core/file_stream.h"
#include "formats/indexed_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// The state of a WIL library's files: the data file's header (the short or long layout it
// selects), its palette and bit count.
class TWilState final : public TIndexedState {
public:
    TWilState(std::shared_ptr<TFileStream> Data, std::span<const uint8_t> Header);

    // 1 for the short layout (56-byte file header, 48-byte index header, 12-byte image headers),
    // 0 for the long one (60, 52, 16).
    uint8_t btVersion() const { return FVersion; }
    int FileHeaderSize() const { return FFileHeaderSize; }
    int IndexHeaderSize() const { return FIndexHeaderSize; }
    int ImageHeaderSize() const { return FImageHeaderSize; }
    // The palette stored in the data file (blue, green, red, 0 per entry). Pictures are always
    // shown with DefaultPalette; this one is only written back.
    const std::array<uint8_t, 1024>& RGBQuads() const { return FRGBQuads; }
    // False when the header names no bit count WIL stores.
    bool Valid() const { return FBitCountValid; }

    TFormatFacts Facts() const override;
    std::optional<TImageDescription> Describe(const TImageData& Record,
                                              bool WithAlpha) const override;
    std::shared_ptr<TImageData> LoadedRecord(int32_t Position, std::span<const uint8_t> Header,
                                             int64_t DataSize) const override;
    uint64_t ScannedRecordSize(std::span<const uint8_t> Header, bool& Blank) const override;
    std::vector<uint8_t> DataHeaderBytes(uint32_t Count) const override;
    std::vector<uint8_t> IndexHeaderBytes(uint32_t Count) const override;
    bool IsBlank(const TImageData& Record) const override;
    std::unique_ptr<TPicture> DecodeRecord(const TImageData& Record) const override;
    std::shared_ptr<TIndexedState> Copy() const override;

private:
    uint8_t FVersion = 0;
    bool FBitCountValid = false;
    std::array<uint8_t, 60> FHeader{};
    int32_t FFileHeaderSize = 0;
    int32_t FIndexHeaderSize = 0;
    int32_t FImageHeaderSize = 0;
    std::array<uint8_t, 1024> FRGBQuads{};
};

// A WIL library: a data file with a header, a 256-colour palette and the image records one after
// another, and a .WIX index file with the position of every record. 8, 16, 24 or 32 bits per
// pixel.
class TWil : public TIndexedLibrary {
public:
    explicit TWil(const std::string& AFileName);
    ~TWil() override;

    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;

    // The open library's layout (see TWilState).
    uint8_t btVersion() const { return WilState().btVersion(); }
    int FileHeaderSize() const { return WilState().FileHeaderSize(); }
    int IndexHeaderSize() const { return WilState().IndexHeaderSize(); }
    int ImageHeaderSize() const { return WilState().ImageHeaderSize(); }
    const std::array<uint8_t, 1024>& RGBQuads() const { return WilState().RGBQuads(); }

protected:
    std::shared_ptr<TIndexedState> ReadState(std::shared_ptr<TFileStream> Data) const override;
    const char* IndexExt() const override { return ".WIX"; }
    int MinimumDataSize() const override;
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> NewFiles(int BitCount) const override;
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override;

private:
    const TWilState& WilState() const;
};

} // namespace velmora
