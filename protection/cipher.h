#pragma once

// The digest-keyed chained cipher that protects Pak headers, indexes and record headers.
//
// A key is derived from a key text with SHA-1: the first 8 digest bytes become a single-DES key
// schedule, and the initial chain is 20 bytes of 0x8F whose first 8 bytes are DES-encrypted under
// that schedule. The chained mode works on 20-byte blocks of which only the first 8 bytes pass
// through DES; a tail shorter than 20 bytes is XORed with the (once more DES-encrypted) chain.
// These rules define the bytes of stored files and must not change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A DES key schedule: 16 rounds x two 32-bit little-endian words (the classic libdes layout).
using TKeyData = std::array<uint8_t, 128>;
// The initial chain value belonging to a key schedule.
using TChain = std::array<uint8_t, 20>;

// One cipher key. Every encryption or decryption starts from a fresh copy of Chain.
struct TPakKey {
    TKeyData KeyData{};
    TChain Chain{};
    friend bool operator==(const TPakKey&, const TPakKey&) = default;
};

constexpr size_t kCipherBlockSize = 20;

// Derives the key of a key text (its bytes as given; passwords are converted to their single-byte
// form first, see PasswordKeyText).
TPakKey DeriveKey(std::span<const uint8_t> keyText);
TPakKey DeriveKey(std::string_view keyText);

// Transform `length` bytes from source to dest; source and dest may be the same buffer. The key
// is not changed: each call works on its own copy of the chain, so calls may run concurrently.
void EncryptChained(const uint8_t* source, uint8_t* dest, size_t length, const TPakKey& key);
void DecryptChained(const uint8_t* source, uint8_t* dest, size_t length, const TPakKey& key);

// EncryptChained / DecryptChained under DeriveKey(keyText), returning a buffer of the same length.
std::vector<uint8_t> EncryptText(std::span<const uint8_t> data, std::string_view keyText);
std::vector<uint8_t> DecryptText(std::span<const uint8_t> data, std::string_view keyText);

// The fixed key text of the 256-byte Pak header of file variant 0, 1 or 2: the decimal text of a
// 32-bit constant, built at run time. Any other variant gives the variant-0 text.
std::string HeaderKeyText(int variant);

} // namespace velmora
