#pragma once

#include "core/file_stream.h"
#include "formats/image_info.h"
#include "formats/indexed_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// The state of a WZL library's files: the data file's header as read.
class TWzlState final : public TIndexedState {
public:
    TWzlState(std::shared_ptr<TFileStream> Data, std::span<const uint8_t> Header);

    const std::array<uint8_t, 64>& Header() const { return FHeader; }

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
    std::array<uint8_t, 64> FHeader{};
};

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
                                              TImageType SourceKind, int SourceBitCount,
                                              uint8_t btEncr0) override;

    // A copy of the stored 16-byte header of image Index; none when not initialised, out of range
    // or for an empty slot.
    std::optional<TImageInfo> GetImageInfo(int Index) const;
    // The 64-byte data-file header as read (or as last written).
    const std::array<uint8_t, 64>& Header() const;

protected:
    std::shared_ptr<TIndexedState> ReadState(std::shared_ptr<TFileStream> Data) const override;
    const char* IndexExt() const override { return ".wzx"; }
    int MinimumDataSize() const override;
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> NewFiles(int BitCount) const override;
};

// The 19-character title every WZL header written here carries in bytes 0 to 18.
extern const char* const WzlTitle;

} // namespace velmora
