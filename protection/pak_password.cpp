// Password check and change of Pak libraries (TQuillrand's key handling).

#include "formats/pak.h"

#include "core/file_stream.h"
#include "core/safe_replace.h"
#include "core/utils.h"
#include "protection/cipher.h"
#include "protection/password_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <random>
#include <stdexcept>

namespace velmora {

namespace {

// ASCII prefix test without regard to letter case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           SameTextPrefix(std::string(text.substr(0, prefix.size())), std::string(prefix),
                          int(prefix.size()));
}

bool IsCheckMagic(std::string_view text) {
    return text == kPakMagic0 || text == kPakMagic1 || text == kPakMagic2;
}

} // namespace

void TQuillrand::InputPassWord(const std::string& PassWord) {
    // A password the code page cannot hold has no key and opens nothing: it gets a key of random
    // bytes, never the key of a substitute text that another password shares.
    const std::optional<std::string> text = PasswordKeyText(PassWord);
    TPakKey key;
    if (text) {
        key = DeriveKey(*text);
    } else {
        std::random_device random;
        std::array<uint8_t, 32> noise{};
        for (uint8_t& b : noise)
            b = uint8_t(random());
        key = DeriveKey(noise);
    }
    FKeyData = key.KeyData;
    FChain = key.Chain;
}

void TQuillrand::OpenFile() {
    if (!m_FileStream || !m_FileStream->IsOpen()) {
        // A save that a crash interrupted is finished or undone before anything is read.
        RecoverReplacement(FFileName);
        ResetFileAttributes(FFileName);
        m_FileStream = std::make_unique<TFileStream>(FFileName, TFileStream::fmOpenReadWrite);
    }
    // The password check needs only the magic and the header; Initialize reads the rest.
    if (m_MemoryStream.empty()) {
        const int64_t size = std::min<int64_t>(m_FileStream->Size(), PakDataBase(2));
        m_MemoryStream.resize(size_t(size));
        m_FileStream->Seek(0);
        m_FileStream->ReadBuffer(m_MemoryStream);
    }
    m_FileStream->Seek(0);
}

bool TQuillrand::DetectVariant(std::span<const uint8_t> file) {
    std::array<uint8_t, kPakFileHeaderInfoSize> start{};
    std::copy_n(file.begin(), std::min(file.size(), start.size()), start.begin());
    const std::string_view raw(reinterpret_cast<const char*>(start.data()), start.size());
    m_btQuillrand = 0;
    if (StartsWithNoCase(raw, kPakMagic0) || StartsWithNoCase(raw, kPakMagic0Alt))
        return true;
    FHeaderInfo = start;
    const size_t length = std::min<size_t>(start[0], start.size() - 1);
    const std::string_view text = raw.substr(1, length);
    // The longer magic first: "QUILLRAND2" also begins with "QUILLRAND".
    if (StartsWithNoCase(text, kPakMagic2)) {
        m_btQuillrand = 2;
        return true;
    }
    if (StartsWithNoCase(text, kPakMagic1)) {
        m_btQuillrand = 1;
        return true;
    }
    return false;
}

bool TQuillrand::CheckPassword() {
    // A loaded library has dropped its file copy and keeps its key: nothing to check.
    if (FInitialized)
        return false;
    m_bfType = 0;
    m_btQuillrand = 0;
    FHeader = TPakFileHeader{};
    FHeaderInfo.fill(0);
    FPasswordChecked = false;
    if (!FileExists(FFileName))
        return false;
    OpenFile();
    const std::span<const uint8_t> file(m_MemoryStream);
    // An unknown start never opens, whatever its header would decrypt to.
    if (!DetectVariant(file))
        return false;
    const uint64_t headerOffset = uint64_t(PakHeaderOffset(m_btQuillrand));
    if (!RangeInside(headerOffset, kPakHeaderSize, file.size()))
        return false;
    const std::vector<uint8_t> header =
        DecryptText(file.subspan(headerOffset, kPakHeaderSize), HeaderKeyText(m_btQuillrand));
    std::memcpy(FHeader.Bytes.data(), header.data(), kPakHeaderSize);
    FMagic.assign(file.begin(), file.begin() + int64_t(headerOffset));

    const TPakKey candidate{FKeyData, FChain};
    const TPakKey stored = FHeader.Key();
    if (m_btQuillrand == 0 && FHeader.RawCheckCodeLength() == 0 && stored == candidate) {
        // An older variant-0 file keeps the key itself instead of a check code: give it a check
        // code and take the key material out of its header, once.
        uint8_t code[5];
        EncryptChained(reinterpret_cast<const uint8_t*>(kPakMagic0.data()), code, 5, stored);
        FHeader.SetCheckCode(code, 5);
        FHeader.SetKey(TPakKey{});
        const std::vector<uint8_t> encrypted = EncryptText(FHeader.Bytes, HeaderKeyText(0));
        m_FileStream->Seek(int64_t(headerOffset));
        m_FileStream->Write(encrypted);
    }

    FHeader.SetKey(candidate);
    // A length above the field's 12 bytes is damage, never a fitting password.
    if (FHeader.RawCheckCodeLength() > kPakMaxCheckCode)
        return false;
    const int length = FHeader.CheckCodeLength();
    std::string text(size_t(length), '\0');
    DecryptChained(FHeader.CheckCode(), reinterpret_cast<uint8_t*>(text.data()), size_t(length),
                   candidate);
    if (!IsCheckMagic(text))
        return false;

    m_bfType = FHeader.bfType();
    FImageCount = int32_t(std::min<uint32_t>(FHeader.ImageCount(), INT32_MAX));
    const uint16_t bits = FHeader.BitCount();
    FBitCount = bits == 8 || bits == 16 || bits == 24 || bits == 32 ? bits : 8;
    SpaceDIB = FillDIB();
    FPasswordChecked = true;
    return true;
}

void TQuillrand::ChangePassword(const std::string& sNewPassword, bool boBack) {
    // Re-keying needs the records in memory; an unopened library has nothing to rewrite.
    if (!FInitialized || !m_FileStream)
        return;
    const std::string password = sNewPassword.empty() ? kDefaultPakPassword : sNewPassword;
    // Refused before anything is written: no one could type such a password to open the file.
    const std::optional<std::string> keyText = PasswordKeyText(password);
    if (!keyText)
        throw std::invalid_argument(kUnencodablePasswordText);
    DoBeginRead();
    if (boBack) {
        const std::vector<uint8_t> old = TFileStream::ReadAll(FFileName);
        // The backup replaces an older one only once it is complete.
        TFileReplacement backup({FFileName + ".bak"});
        backup.Stream(0).Write(old);
        backup.Commit();
    }
    const TPakKey oldKey = FHeader.Key();
    const TPakKey newKey = DeriveKey(*keyText);
    const TPakFileHeader oldHeader = FHeader;
    const TKeyData oldKeyData = FKeyData;
    const TChain oldChain = FChain;

    auto rekey = [this](const TPakKey& from, const TPakKey& to, bool notify) {
        for (auto& record : m_Images) {
            if (notify)
                DoRead();
            if (!record || record->HeaderSize <= 0 ||
                record->Image.size() < size_t(record->HeaderSize))
                continue;
            uint8_t* header = record->Image.data();
            DecryptChained(header, header, size_t(record->HeaderSize), from);
            EncryptChained(header, header, size_t(record->HeaderSize), to);
        }
    };
    rekey(oldKey, newKey, true);

    const int length = FHeader.CheckCodeLength();
    uint8_t code[kPakMaxCheckCode];
    DecryptChained(FHeader.CheckCode(), code, size_t(length), oldKey);
    FKeyData = newKey.KeyData;
    FChain = newKey.Chain;
    FHeader.SetKey(newKey);
    EncryptChained(code, code, size_t(length), newKey);
    FHeader.SetCheckCode(code, length);
    m_nSize = 0;
    try {
        SaveLibrary();
    } catch (...) {
        // Keep memory consistent with the old key so that the library stays readable.
        rekey(newKey, oldKey, false);
        FHeader = oldHeader;
        FKeyData = oldKeyData;
        FChain = oldChain;
        throw;
    }
}

} // namespace velmora
