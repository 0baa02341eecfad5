#include "protection/cipher.h"
#include "protection/password_text.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>
#include <openssl/sha.h>
#pragma GCC diagnostic pop

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace velmora {
namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
TKeyData ScheduleOf(const uint8_t key[8]) {
    DES_cblock cb;
    std::memcpy(cb, key, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&cb, &ks);
    TKeyData out;
    std::memcpy(out.data(), &ks, out.size());
    return out;
}
#pragma GCC diagnostic pop

std::vector<uint8_t> Sequence(size_t n, uint8_t start = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(start + i * 37);
    return v;
}

TEST(Cipher, RoundTripsEveryLengthInSeparateAndSameBuffers) {
    const TPakKey key = DeriveKey("secret");
    for (size_t n = 0; n <= 100; ++n) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> plain = Sequence(n);
        std::vector<uint8_t> enc(n), dec(n);
        EncryptChained(plain.data(), enc.data(), n, key);
        DecryptChained(enc.data(), dec.data(), n, key);
        EXPECT_EQ(dec, plain);
        if (n >= 4) {
            EXPECT_NE(enc, plain);
        }

        std::vector<uint8_t> inPlace = plain;
        EncryptChained(inPlace.data(), inPlace.data(), n, key);
        EXPECT_EQ(inPlace, enc);
        DecryptChained(inPlace.data(), inPlace.data(), n, key);
        EXPECT_EQ(inPlace, plain);
    }
}

TEST(Cipher, IsDeterministicAndLeavesTheKeyUnchanged) {
    const TPakKey key = DeriveKey("abc");
    const TPakKey copy = key;
    const std::vector<uint8_t> plain = Sequence(57);
    std::vector<uint8_t> a(57), b(57);
    EncryptChained(plain.data(), a.data(), 57, key);
    EncryptChained(plain.data(), b.data(), 57, key);
    EXPECT_EQ(a, b);
    EXPECT_EQ(key, copy);
    EXPECT_EQ(EncryptText(plain, "abc"), a);
    EXPECT_EQ(DecryptText(a, "abc"), plain);
}

TEST(Cipher, DerivedKeyUsesTheFirstEightDigestBytesAndAnEncryptedChain) {
    for (const char* text : {"", "abc", "quillrand", "a much longer password text"}) {
        SCOPED_TRACE(text);
        uint8_t digest[20];
        SHA1(reinterpret_cast<const uint8_t*>(text), std::strlen(text), digest);
        const TPakKey key = DeriveKey(text);
        EXPECT_EQ(key.KeyData, ScheduleOf(digest));

        // A digest that differs only in bytes 8-19 gives the same schedule.
        uint8_t other[20];
        std::memcpy(other, digest, 20);
        for (int i = 8; i < 20; ++i)
            other[i] ^= 0xFF;
        EXPECT_EQ(ScheduleOf(other), key.KeyData);

        for (int i = 8; i < 20; ++i)
            EXPECT_EQ(key.Chain[i], 0x8F) << i;
        // The first 8 chain bytes are the encryption of eight 0x8F bytes: decrypting them back
        // through the cipher's tail step is checked against a plain DES call.
        DES_cblock in, out;
        std::memset(in, 0x8F, 8);
        DES_key_schedule ks;
        std::memcpy(&ks, key.KeyData.data(), sizeof ks);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        DES_ecb_encrypt(&in, &out, &ks, DES_ENCRYPT);
#pragma GCC diagnostic pop
        EXPECT_EQ(0, std::memcmp(out, key.Chain.data(), 8));
    }
    EXPECT_NE(DeriveKey("a").KeyData, DeriveKey("b").KeyData);
}

TEST(Cipher, SingleBlockDesMatchesTheStandardTestVector) {
    // Key 133457799BBCDFF1 encrypts 0123456789ABCDEF to 85E813540F0AB405. With that block as the
    // chain, the tail step of eight zero bytes outputs the chain's encryption.
    const uint8_t desKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    TPakKey key;
    key.KeyData = ScheduleOf(desKey);
    const uint8_t block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::memcpy(key.Chain.data(), block, 8);
    const uint8_t zeros[8] = {};
    uint8_t enc[8];
    EncryptChained(zeros, enc, 8, key);
    const uint8_t expected[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
    EXPECT_EQ(0, std::memcmp(enc, expected, 8));
    uint8_t dec[8];
    DecryptChained(zeros, dec, 8, key);
    EXPECT_EQ(0, std::memcmp(dec, expected, 8)) << "the tail uses encryption in both directions";
}

TEST(Cipher, BlockStructure) {
    const TPakKey key = DeriveKey("k");
    // Short data: XOR with the encrypted chain, whose bytes 8-19 are 0x8F.
    const std::vector<uint8_t> ten = Sequence(10);
    std::vector<uint8_t> enc(10);
    EncryptChained(ten.data(), enc.data(), 10, key);
    EXPECT_EQ(enc[8], ten[8] ^ 0x8F);
    EXPECT_EQ(enc[9], ten[9] ^ 0x8F);

    // Full blocks: bytes 8-19 are only XORed with the previous output block.
    const std::vector<uint8_t> plain = Sequence(45);
    std::vector<uint8_t> out(45);
    EncryptChained(plain.data(), out.data(), 45, key);
    for (int i = 8; i < 20; ++i)
        EXPECT_EQ(out[i], plain[i] ^ 0x8F) << i;
    for (int i = 28; i < 40; ++i)
        EXPECT_EQ(out[i], plain[i] ^ out[i - 20]) << i;

    // A change in the first block reaches every later block and the tail.
    std::vector<uint8_t> changed = plain;
    changed[0] ^= 1;
    std::vector<uint8_t> out2(45);
    EncryptChained(changed.data(), out2.data(), 45, key);
    EXPECT_NE(std::vector<uint8_t>(out.begin() + 20, out.begin() + 40),
              std::vector<uint8_t>(out2.begin() + 20, out2.begin() + 40));
    EXPECT_NE(std::vector<uint8_t>(out.begin() + 40, out.end()),
              std::vector<uint8_t>(out2.begin() + 40, out2.end()));

    // Lengths that are multiples of 20 use no tail: a prefix encrypts like the longer buffer.
    std::vector<uint8_t> forty(40);
    EncryptChained(plain.data(), forty.data(), 40, key);
    EXPECT_EQ(forty, std::vector<uint8_t>(out.begin(), out.begin() + 40));
}

TEST(Cipher, HeaderKeyTexts) {
    EXPECT_EQ(HeaderKeyText(0), "305419896");
    EXPECT_EQ(HeaderKeyText(1), "3735928559");
    EXPECT_EQ(HeaderKeyText(2), "2654435769");
}

TEST(PasswordText, ConvertsToCodePageBytes) {
    EXPECT_EQ(PasswordKeyText("abc123"), "abc123");
    EXPECT_EQ(PasswordKeyText(""), "");
    EXPECT_EQ(PasswordKeyText("测试"), "\xB2\xE2\xCA\xD4");
    EXPECT_EQ(PasswordKeyText("a测b"), "a\xB2\xE2"
                                       "b");
    // Bytes that are not UTF-8 are taken to be code-page text already.
    EXPECT_EQ(PasswordKeyText("\xB2\xE2\xCA\xD4"), "\xB2\xE2\xCA\xD4");
    // A character the code page cannot hold leaves the password without a key: no substitute.
    EXPECT_EQ(PasswordKeyText("x\xF0\x9F\x98\x80y"), std::nullopt);
    EXPECT_FALSE(PasswordFitsCodePage("😀key"));
    EXPECT_TRUE(PasswordFitsCodePage("测试key"));
}

} // namespace
} // namespace velmora
