// Password check and change of Pak libraries (TQuillrand's key handling).

#include "formats/pak.h"

#include "formats/library_file.h"

#include "core/file_ops.h"
#include "core/file_stream.h"
#include "core/journal.h"
#include "core/file_replacement.h"
#include "core/utils.h"
#include "protection/cipher.h"
#include "protection/password_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
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
    // A password the code page cannot hold has no key and opens nothing, never the library of a
    // substitute text that another password shares.
    const std::optional<std::string> text = PasswordKeyText(PassWord);
    FKeyInvalid = !text;
    const TPakKey key = text ? DeriveKey(*text) : TPakKey{};
    FKeyData = key.KeyData;
    FChain = key.Chain;
}

void TQuillrand::OpenFile() {
    if (m_FileStream && m_FileStream->IsOpen())
        return;
    // A save that a crash interrupted is finished or undone before anything is read.
    RecoverForOpen();
    // A file that cannot be written (read-only media) is still read; its edits are refused.
    bool readOnly = false;
    m_FileStream = OpenLibraryStream(FFileName, readOnly);
    if (!m_FileStream)
        throw EFileError(FFileName, "the file cannot be opened");
    FReadOnly = readOnly;
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
    FHeaderConverted = false;
    if (!FileExists(FFileName) || FKeyInvalid)
        return false;
    OpenFile();
    // The password check needs only the magic and the header; Initialize reads the rest.
    std::vector<uint8_t> start(size_t(std::min<int64_t>(m_FileStream->Size(), PakDataBase(2))));
    start.resize(m_FileStream->ReadAt(0, start));
    const std::span<const uint8_t> file(start);
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
        // An older variant-0 file keeps the key itself instead of a check code: it gets a check
        // code, and its key material leaves the header, with the next edit (every save writes the
        // header without the key). Opening writes nothing.
        uint8_t code[5];
        EncryptChained(reinterpret_cast<const uint8_t*>(kPakMagic0.data()), code, 5, stored);
        FHeader.SetCheckCode(code, 5);
        FHeaderConverted = true;
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
    const uint16_t bits = FHeader.BitCount();
    FBitCount = bits == 8 || bits == 16 || bits == 24 || bits == 32 ? bits : 8;
    FPasswordChecked = true;
    // Until Initialize reads the index, every image reads as the blank picture.
    SetState(MakeState());
    SetRecords({});
    return true;
}

void TQuillrand::ChangePassword(const std::string& sNewPassword, bool boBack,
                                std::vector<TAccompanyingFile> Along) {
    if (!FInitialized || !m_FileStream)
        throw EEditRefused(FFileName, TEditRefusal::erNotOpen);
    const std::string password = sNewPassword.empty() ? kDefaultPakPassword : sNewPassword;
    // Refused before anything is written: no one could type such a password to open the file.
    const std::optional<std::string> keyText = PasswordKeyText(password);
    if (!keyText)
        throw std::invalid_argument(kUnencodablePasswordText);
    TUpdate update = BeginUpdate(-1);
    DoBeginRead();
    if (boBack) {
        // The copy is put in place with the re-keyed file, in the same step: a change cut short
        // leaves no backup of a file that did not change, nor the file changed without it.
        const std::string backup = ResolveLinks(FFileName + ".bak");
        const std::string copy = HiddenNameFor(backup, ".new");
        try {
            TFileStream out(copy, TFileStream::fmCreate, backup);
            std::vector<uint8_t> chunk(size_t(1) << 20);
            for (int64_t at = 0;;) {
                const size_t n = m_FileStream->ReadAt(at, chunk);
                if (n == 0)
                    break;
                out.Write(std::span<const uint8_t>(chunk).first(n));
                at += int64_t(n);
            }
        } catch (...) {
            RemoveQuietly(copy);
            throw;
        }
        // Put in place first: when that fails, nothing has changed.
        FBackup = TAccompanyingFile{copy, backup, std::nullopt};
    }
    const TPakKey oldKey = FHeader.Key();
    const TPakKey newKey = DeriveKey(*keyText);
    // Record headers are held decrypted: only the check code and the header's key change, and
    // every header is written under the new key.
    TPakFileHeader next = FHeader;
    const int length = next.CheckCodeLength();
    uint8_t code[kPakMaxCheckCode];
    DecryptChained(next.CheckCode(), code, size_t(length), oldKey);
    EncryptChained(code, code, size_t(length), newKey);
    next.SetCheckCode(code, length);
    next.SetKey(newKey);
    for (int i = 0; i < update.Count(); ++i)
        DoRead();
    FNextHeader = next;
    FAlong = std::move(Along);
    update.MarkChanged();
    try {
        update.EndUpdate();
    } catch (...) {
        FNextHeader.reset();
        // New files a replacement that failed before it was made never took over.
        if (!FileExists(JournalNameFor(FFileName))) {
            if (FBackup)
                RemoveQuietly(FBackup->NewFile);
            for (const TAccompanyingFile& file : FAlong)
                RemoveQuietly(file.NewFile);
        }
        FBackup.reset();
        FAlong.clear();
        throw;
    }
    FNextHeader.reset();
    FBackup.reset();
    FAlong.clear();
    FKeyData = newKey.KeyData;
    FChain = newKey.Chain;
}

bool TQuillrand::TryPassWord(const std::string& PassWord) {
    InputPassWord(PassWord);
    return CheckPassword();
}

void TQuillrand::ChangePassWord(const std::string& NewPassWord, bool Backup,
                                std::vector<TAccompanyingFile> Along) {
    ChangePassword(NewPassWord, Backup, std::move(Along));
}

bool TQuillrand::Reload() {
    // The candidate key stays: the library is checked and read again with it.
    const TKeyData keyData = FKeyData;
    const TChain chain = FChain;
    const TNotifyEvent begin = FOnBeginRead, read = FOnRead, end = FOnEndRead;
    FOnBeginRead = FOnRead = FOnEndRead = nullptr;
    Finalize();
    FKeyData = keyData;
    FChain = chain;
    if (CheckPassword())
        Initialize();
    FOnBeginRead = begin;
    FOnRead = read;
    FOnEndRead = end;
    return FInitialized;
}

} // namespace velmora
