#pragma once

// On-disk layout of the Pak container: variants, the 256-byte file header and the record headers.

#include "core/checked.h"
#include "protection/cipher.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora {

// Magic texts: file starts and the plain texts a check code may decrypt to.
inline constexpr std::string_view kPakMagic0 = "K7PV4";
inline constexpr std::string_view kPakMagic0Alt = "Quillrand";
inline constexpr std::string_view kPakMagic1 = "QUILLRAND";
inline constexpr std::string_view kPakMagic2 = "QUILLRAND2";
// The title of new files.
inline constexpr std::string_view kPakTitle = "quillrand.example";

inline constexpr int kPakHeaderSize = 256;
inline constexpr int kPakFileHeaderInfoSize = 13;
inline constexpr int kPakNewRecordHeaderSize = 16;
inline constexpr int kPakOldRecordHeaderSize = 12;
inline constexpr int kPakMaxCheckCode = 12;

// Where the encrypted header of a variant starts.
constexpr int PakHeaderOffset(int variant) {
    return variant == 2 ? 13 : variant == 1 ? 10 : 5;
}
// The first offset at which record data of a variant may lie (magic plus header).
constexpr int PakDataBase(int variant) {
    return variant == 2 ? 269 : variant == 1 ? 266 : 262;
}

// The decrypted 256-byte file header, kept as its bytes so that every field keeps its exact
// position (several are unaligned).
struct TPakFileHeader {
    static constexpr int oBt1 = 0, oTitle = 1, oSize = 42, oImageCount = 46, obfType = 50,
                         oIndexOffset = 54, oBitCount = 58, oCreateDate = 60, oCheckCode = 68,
                         oKeyData = 108, oChain = 236;

    std::array<uint8_t, kPakHeaderSize> Bytes{};

    std::string Title() const {
        size_t n = std::min<size_t>(Bytes[oTitle], 40);
        return std::string(reinterpret_cast<const char*>(&Bytes[oTitle + 1]), n);
    }
    void SetTitle(std::string_view t) {
        size_t n = std::min<size_t>(t.size(), 40);
        std::fill_n(&Bytes[oTitle], 41, 0);
        Bytes[oTitle] = uint8_t(n);
        std::memcpy(&Bytes[oTitle + 1], t.data(), n);
    }
    uint32_t Size() const { return GetU32(&Bytes[oSize]); }
    void SetSize(uint32_t v) { PutU32(&Bytes[oSize], v); }
    uint32_t ImageCount() const { return GetU32(&Bytes[oImageCount]); }
    void SetImageCount(uint32_t v) { PutU32(&Bytes[oImageCount], v); }
    uint8_t bfType() const { return Bytes[obfType]; }
    void SetbfType(uint8_t v) { Bytes[obfType] = v; }
    uint32_t IndexOffset() const { return GetU32(&Bytes[oIndexOffset]); }
    void SetIndexOffset(uint32_t v) { PutU32(&Bytes[oIndexOffset], v); }
    uint16_t BitCount() const { return GetU16(&Bytes[oBitCount]); }
    void SetBitCount(uint16_t v) { PutU16(&Bytes[oBitCount], v); }
    // Days since 30 December 1899; the fraction is the local time of day.
    double CreateDate() const {
        double d;
        std::memcpy(&d, &Bytes[oCreateDate], 8);
        return d;
    }
    void SetCreateDate(double d) { std::memcpy(&Bytes[oCreateDate], &d, 8); }

    // The stored check code bytes (the length byte is capped at the 12 bytes the field holds).
    int CheckCodeLength() const { return std::min<int>(Bytes[oCheckCode], kPakMaxCheckCode); }
    uint8_t RawCheckCodeLength() const { return Bytes[oCheckCode]; }
    const uint8_t* CheckCode() const { return &Bytes[oCheckCode + 1]; }
    void SetCheckCode(const uint8_t* data, int length) {
        length = std::clamp(length, 0, kPakMaxCheckCode);
        std::fill_n(&Bytes[oCheckCode], 13, 0);
        Bytes[oCheckCode] = uint8_t(length);
        if (length > 0)
            std::memcpy(&Bytes[oCheckCode + 1], data, size_t(length));
    }

    TPakKey Key() const {
        TPakKey k;
        std::memcpy(k.KeyData.data(), &Bytes[oKeyData], k.KeyData.size());
        std::memcpy(k.Chain.data(), &Bytes[oChain], k.Chain.size());
        return k;
    }
    void SetKey(const TPakKey& k) {
        std::memcpy(&Bytes[oKeyData], k.KeyData.data(), k.KeyData.size());
        std::memcpy(&Bytes[oChain], k.Chain.data(), k.Chain.size());
    }
    bool KeyIsZero() const {
        return std::all_of(&Bytes[oKeyData], &Bytes[kPakHeaderSize],
                           [](uint8_t b) { return b == 0; });
    }
};

} // namespace velmora
