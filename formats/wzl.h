#pragma once

#include "core/file_stream.h"
#include "core/game_images.h"
#include "formats/image_info.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>

namespace velmora {

// A WZL library: a data file of image records, each a 16-byte TImageInfo and raw or zlib
// payload, optionally with an alpha plane, and a .wzx index file of record offsets (an offset
// below 64 is an empty slot). Opening reads every record into memory; every edit rewrites both
// files from the list; SetPoint patches one record header in place.
//
// Get may run on several threads at once while the main thread calls GetBitmap, GetPoint,
// GetImageInfo or SetPoint. A damaged stream decodes to null; nothing is thrown.
class TWzl : public TGameImages {
public:
    explicit TWzl(const std::string& AFileName);
    ~TWzl() override;

    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;
    TPicture* GetBitmap(int Index) override;
    TPoint GetPoint(int Index) override;
    void SetPoint(int Index, TPoint Value) override;
    void Initialize() override;
    void Finalize() override;
    void EndUpdate() override;
    void Convert(const TImageData* SourceImageData, TGameImages* GameImages,
                 uint8_t btEncr0) override;
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;

    // A copy of the stored 16-byte header of image Index; none when not initialised, during an
    // update, out of range or for an empty slot.
    std::optional<TImageInfo> GetImageInfo(int Index) const;

    // The index file: an existing one whatever the case of its extension, else name.wzx.
    std::string IndexFileName() const;
    // The 64-byte data-file header as read (or as last written).
    const std::array<uint8_t, 64>& Header() const { return FHeader; }

private:
    void LoadRecords(std::span<const uint8_t> Offsets, int64_t DataSize);
    // Replaces both files by new ones written from the records. Raises EFileError.
    void SaveLibrary();
    // Writes the whole library: header and records into Data, header and offsets into Index,
    // each cut at its end. Raises EFileError.
    void WriteLibrary(TFileStream& Data, TFileStream& Index);
    std::unique_ptr<TPicture> DecodeRecord(const TImageData& Record);

    std::array<uint8_t, 64> FHeader{};
    std::unique_ptr<TFileStream> m_IndexStream;
    // Readers share it; SetPoint, saving and closing take it alone.
    mutable std::shared_mutex FRecordsLock;
};

// The 19-character title every WZL header written here carries in bytes 0 to 18.
extern const char* const WzlTitle;

} // namespace velmora
