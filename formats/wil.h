#pragma once

#include "core/file_stream.h"
#include "core/game_images.h"

#include <array>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>

namespace velmora {

// A WIL library: a data file with a header, a 256-colour palette and the image records one after
// another, and a .WIX index file with the position of every record. 8, 16, 24 or 32 bits per
// pixel. Opening reads every record into memory; every edit rewrites both files from the list;
// SetPoint patches one record header in place.
//
// Get may run on several threads at once while the main thread calls GetBitmap, GetPoint or
// SetPoint.
class TWil : public TGameImages {
public:
    explicit TWil(const std::string& AFileName);
    ~TWil() override;

    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;
    TPicture* GetBitmap(int Index) override;
    TPoint GetPoint(int Index) override;
    void SetPoint(int Index, TPoint Value) override;
    void Initialize() override;
    void Finalize() override;
    void EndUpdate() override;
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;

    // 1 for the short layout (56-byte file header, 48-byte index header, 12-byte image headers),
    // 0 for the long one (60, 52, 16).
    uint8_t btVersion() const { return FVersion; }
    int FileHeaderSize() const { return FFileHeaderSize; }
    int IndexHeaderSize() const { return FIndexHeaderSize; }
    int ImageHeaderSize() const { return FImageHeaderSize; }
    // The palette stored in the data file (blue, green, red, 0 per entry). Pictures are always
    // shown with DefaultPalette; this one is only written back.
    const std::array<uint8_t, 1024>& RGBQuads() const { return FRGBQuads; }
    // The index file: an existing one whatever the case of its extension, else name.WIX.
    std::string IndexFileName() const;

private:
    void LoadIndex();
    // Replaces both files by new ones written from the records. Raises EFileError.
    void SaveLibrary();
    // Writes the whole library: header, palette and records into Data, header and positions into
    // Index, each cut at its end. Raises EFileError.
    void WriteLibrary(TFileStream& Data, TFileStream& Index);
    std::unique_ptr<TDIB> DecodeRecord(const TImageData& Record);

    uint8_t FVersion = 0;
    std::array<uint8_t, 60> FHeader{};
    std::unique_ptr<TFileStream> m_IndexStream;
    int32_t FFileHeaderSize = 0;
    int32_t FIndexHeaderSize = 0;
    int32_t FImageHeaderSize = 0;
    std::array<uint8_t, 1024> FRGBQuads{};
    // Readers (Get, GetBitmap, GetPoint) share it; SetPoint, saving and closing take it alone.
    mutable std::shared_mutex FRecordsLock;
};

} // namespace velmora
