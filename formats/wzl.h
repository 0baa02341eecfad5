#pragma once

#include "core/file_stream.h"
#include "formats/image_info.h"
#include "formats/indexed_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// A WZL library: a data file of image records, each a 16-byte TImageInfo and raw or zlib
// payload, optionally with an alpha plane, and a .wzx index file of record offsets (an offset
// below 64 is an empty slot). A damaged stream decodes to null; nothing is thrown.
class TWzl : public TIndexedLibrary {
public:
    explicit TWzl(const std::string& AFileName);
    ~TWzl() override;

    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;
    std::unique_ptr<TImageData> ConvertRecord(const TImageData* SourceImageData,
                                              TGameImages* GameImages, uint8_t btEncr0) override;
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha) override;

    // A copy of the stored 16-byte header of image Index; none when not initialised, out of range
    // or for an empty slot.
    std::optional<TImageInfo> GetImageInfo(int Index) const;
    // The 64-byte data-file header as read (or as last written).
    const std::array<uint8_t, 64>& Header() const { return FHeader; }

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

private:
    std::array<uint8_t, 64> FHeader{};
};

// The 19-character title every WZL header written here carries in bytes 0 to 18.
extern const char* const WzlTitle;

} // namespace velmora
