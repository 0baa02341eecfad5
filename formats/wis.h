#pragma once

#include "core/game_images.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// One entry of the table at the end of a WIS file.
struct TWisHeader {
    int32_t OffSet = 0;
    int32_t Length = 0;
    int32_t temp3 = 0;
};

// A WIS library: one read-only file of 8-bit images, raw or run-length compressed, with a table
// of record positions at its end. Opening reads the table and every image's header; pictures
// are read from the file on demand with positional reads, so several threads may read at once.
// Only offsets can be changed (in place); adding, deleting and creating are refused.
class TWis : public TGameImages {
public:
    explicit TWis(const std::string& AFileName);
    ~TWis() override;

    TPicture* GetBitmap(int Index) override;
    TPoint GetPoint(int Index) override;
    void Initialize() override;
    void Finalize() override;
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;
    std::unique_ptr<TPicture> GetRecord(const TRecord& Record, int& px, int& py) override;
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha) override;
    TEditRefusal EditRefusal(bool OffsetsOnly = false) const override;
    std::string DamageText() const override;

    // Where the table starts.
    int64_t IndexOffset() const { return FIndexOffset; }
    const std::vector<TWisHeader>& IndexList() const { return m_IndexList; }

protected:
    TRecordList SaveRecords(const TRecordList& Records, const TUpdateSummary& Summary) override;
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override;

private:
    void LoadIndex();
    std::vector<TWisHeader> ScanRecords(int64_t Size) const;
    std::unique_ptr<TDIB> ReadPicture(const TImageData& Record) const;

    std::vector<TWisHeader> m_IndexList;
    int64_t FIndexOffset = 0;
    // The file ends before its table (see DamageText).
    bool FCutShort = false;
};

// Decodes run-length data into Target and returns the number of bytes written. A control byte
// C >= 1 repeats the next byte C times; C = 0 is followed by a count K of literal bytes (0, 0 does
// nothing). Output stops at the end of Target, input at the end of Source.
size_t DecodeRLE(std::span<const uint8_t> Source, std::span<uint8_t> Target);

} // namespace velmora
