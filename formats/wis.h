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
// of record positions at its end. Pictures are read from the file on demand; only offsets can be
// changed (in place). Adding, deleting and creating are refused.
//
// Every seek-and-read on the open file runs under the library's lock, so Get may run on several
// threads while the main thread calls GetBitmap, GetPoint or SetPoint.
class TWis : public TGameImages {
public:
    explicit TWis(const std::string& AFileName);
    ~TWis() override;

    TPicture* GetBitmap(int Index) override;
    TPoint GetPoint(int Index) override;
    void SetPoint(int Index, TPoint Value) override;
    void Initialize() override;
    void Finalize() override;
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;

    // Where the table starts.
    int64_t IndexOffset() const { return FIndexOffset; }
    const std::vector<TWisHeader>& IndexList() const { return m_IndexList; }

private:
    void LoadIndex();
    std::unique_ptr<TDIB> ReadPicture(int Index, int* px, int* py);

    std::vector<TWisHeader> m_IndexList;
    int64_t FIndexOffset = 0;
};

// Decodes run-length data into Target and returns the number of bytes written. A control byte
// C >= 1 repeats the next byte C times; C = 0 is followed by a count K of literal bytes (0, 0 does
// nothing). Output stops at the end of Target, input at the end of Source.
size_t DecodeRLE(std::span<const uint8_t> Source, std::span<uint8_t> Target);

} // namespace velmora
