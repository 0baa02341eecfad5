#include "protection/cipher.h"

// OpenSSL 3 marks the low-level DES and SHA-1 calls deprecated; the stored files need exactly
// single-block DES with the classic key schedule, which the high-level interfaces do not expose.
#define OPENSSL_SUPPRESS_DEPRECATED
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>
#include <openssl/sha.h>
#pragma GCC diagnostic pop

#include <cstring>

namespace velmora {

namespace {

static_assert(sizeof(DES_key_schedule) == sizeof(TKeyData),
              "KeyData must be exactly the DES key schedule");

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Encrypts (enc true) or decrypts 8 bytes in place under a schedule.
void DesBlock(uint8_t* block, const TKeyData& keyData, bool enc) {
    DES_key_schedule ks;
    std::memcpy(&ks, keyData.data(), sizeof ks);
    DES_cblock in, out;
    std::memcpy(in, block, 8);
    DES_ecb_encrypt(&in, &out, &ks, enc ? DES_ENCRYPT : DES_DECRYPT);
    std::memcpy(block, out, 8);
}

TKeyData KeySchedule(const uint8_t key[8]) {
    DES_cblock cb;
    std::memcpy(cb, key, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&cb, &ks);
    TKeyData keyData;
    std::memcpy(keyData.data(), &ks, keyData.size());
    return keyData;
}

void Sha1(std::span<const uint8_t> data, uint8_t digest[20]) {
    SHA1(data.data(), data.size(), digest);
}

#pragma GCC diagnostic pop

} // namespace

TPakKey DeriveKey(std::span<const uint8_t> keyText) {
    uint8_t digest[20];
    Sha1(keyText, digest);
    TPakKey key;
    key.KeyData = KeySchedule(digest);
    key.Chain.fill(0x8F);
    DesBlock(key.Chain.data(), key.KeyData, true);
    return key;
}

TPakKey DeriveKey(std::string_view keyText) {
    return DeriveKey(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(keyText.data()), keyText.size()));
}

void EncryptChained(const uint8_t* source, uint8_t* dest, size_t length, const TPakKey& key) {
    TChain c = key.Chain;
    size_t pos = 0;
    for (; length - pos >= kCipherBlockSize; pos += kCipherBlockSize) {
        TChain x;
        for (size_t i = 0; i < kCipherBlockSize; ++i)
            x[i] = source[pos + i] ^ c[i];
        DesBlock(x.data(), key.KeyData, true);
        std::memcpy(dest + pos, x.data(), kCipherBlockSize);
        c = x;
    }
    if (pos < length) {
        DesBlock(c.data(), key.KeyData, true);
        for (size_t i = 0; pos + i < length; ++i)
            dest[pos + i] = source[pos + i] ^ c[i];
    }
}

void DecryptChained(const uint8_t* source, uint8_t* dest, size_t length, const TPakKey& key) {
    TChain c = key.Chain;
    size_t pos = 0;
    for (; length - pos >= kCipherBlockSize; pos += kCipherBlockSize) {
        TChain y;
        std::memcpy(y.data(), source + pos, kCipherBlockSize);
        TChain x = y;
        DesBlock(x.data(), key.KeyData, false);
        for (size_t i = 0; i < kCipherBlockSize; ++i)
            dest[pos + i] = x[i] ^ c[i];
        c = y;
    }
    if (pos < length) {
        // The tail is a stream XOR, so it uses DES encryption in both directions.
        DesBlock(c.data(), key.KeyData, true);
        for (size_t i = 0; pos + i < length; ++i)
            dest[pos + i] = source[pos + i] ^ c[i];
    }
}

std::vector<uint8_t> EncryptText(std::span<const uint8_t> data, std::string_view keyText) {
    std::vector<uint8_t> out(data.size());
    EncryptChained(data.data(), out.data(), data.size(), DeriveKey(keyText));
    return out;
}

std::vector<uint8_t> DecryptText(std::span<const uint8_t> data, std::string_view keyText) {
    std::vector<uint8_t> out(data.size());
    DecryptChained(data.data(), out.data(), data.size(), DeriveKey(keyText));
    return out;
}

std::string HeaderKeyText(int variant) {
    // Built at run time from the constants so the key texts do not stand in the binary as text.
    static constexpr uint32_t kHeaderConstants[3] = {0x12345678u, 0xDEADBEEFu, 0x9E3779B9u};
    uint32_t v = kHeaderConstants[variant == 1 || variant == 2 ? variant : 0];
    return std::to_string(v);
}

} // namespace velmora
