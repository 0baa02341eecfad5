#pragma once

#include "core/file_replacement.h"
#include "core/game_images.h"
#include "formats/image_info.h"
#include "formats/pak_header.h"
#include "protection/cipher.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The password-protected Pak container (.Pak, .Data): a short magic, a 256-byte header encrypted
// under a fixed key text per file variant, an index and the image records. The index and every
// record header are encrypted under the key of the file's password; pixel data is stored in clear,
// raw or zlib-compressed.
//
// Three file variants (m_btQuillrand 0, 1, 2) differ in their magic and so in where the header
// lies and where record data may begin. Two index layouts exist: the new one (m_bfType != 0) with
// 16-byte record headers and one offset per image, the old one (m_bfType == 0) with 12-byte
// record headers, packed pixels of the library's bit count and (offset, length) pairs.
//
// Opening order: construct, InputPassWord, CheckPassword (repeat with other passwords until it
// returns true; the file's start is read once), then Initialize, which reads index and records.
// Opening reads the index and every record's header (held decrypted); payloads are read from the
// open file when a picture is needed. An edit rewrites the whole file, except that changed offsets
// and emptied images are patched where they lie (a record header, an index entry).
//
// Get may run on several threads at once while the main thread calls GetBitmap: it decrypts into
// its own buffers with its own copy of the chain and never touches the current picture.
class TQuillrand : public TGameImages {
public:
    // No file is touched.
    explicit TQuillrand(const std::string& AFileName);
    ~TQuillrand() override;

    // Builds a record in the library's layout. btEncr0 0 asks for no compression; any other value
    // asks for zlib (new layout) or is stored as the packing kind (old layout: 1 run-length
    // packets, 2 zlib, others unpacked). Alpha is an optional 8-bit buffer of Source's size whose
    // indexes are alpha values (new layout only). Images of 4 pixels or fewer give an empty
    // record.
    std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                            const TDIB* Alpha) override;
    // The decoded image, owned by the library. The blank picture (null before a successful
    // CheckPassword) when not loaded, out of range, for empty slots and for images without
    // pixels; null for an unknown pixel kind.
    TPicture* GetBitmap(int Index) override;
    TPoint GetPoint(int Index) override;
    // Loads index and record headers; must follow a successful CheckPassword.
    void Initialize() override;
    void Finalize() override;
    // The record that stands for a record of an open WIL or WZL library (pixels copied, not
    // decoded; a half-width WZL alpha plane is expanded to a full plane). Any other source gives
    // an empty slot so that numbering stays aligned.
    std::unique_ptr<TImageData> ConvertRecord(const TImageData* SourceImageData,
                                              TGameImages* GameImages, uint8_t btEncr0) override;
    // Writes a new, empty variant-2 file of the given bit count keyed by PassWord (replacing any
    // file of that name as one step). Raises EFileError when the file cannot be written.
    bool CreateFile(uint8_t ABitCount, const std::string& PassWord) override;
    // A new picture the caller owns; px, py get the offset (0, 0 for the blank picture).
    std::unique_ptr<TPicture> Get(int Index, int& px, int& py) override;
    std::unique_ptr<TPicture> GetRecord(const TRecord& Record, int& px, int& py) override;
    std::optional<TImageDescription> Describe(int Index, bool WithAlpha) override;
    int HeaderImageCount() const override;
    std::vector<std::string> RecoveryFiles() const override {
        return {FFileName, FFileName + ".bak"};
    }

    // Derives the candidate key of a password (UTF-8; converted to its code-page bytes).
    void InputPassWord(const std::string& PassWord);
    // Opens the file if needed (for reading alone when it cannot be written), detects the
    // variant, decrypts the header and tests the candidate key against the check code. True = the
    // password fits and Initialize may follow. Older variant-0 files that kept the key itself get
    // a check code instead, written with the next edit. Nothing is written here.
    bool CheckPassword();
    // Re-keys the opened library under a new password (empty = the default password) as one
    // edit; with boBack a copy of the old file becomes FileName + ".bak" in the same step. Along
    // are files of the program replaced in that step too, after the library (the password list
    // naming the new password). Raises EEditRefused when the library takes no edits and
    // EFileError when it cannot be written (it stays as it was; EReplacementIncomplete: the next
    // opening finishes the change).
    void ChangePassword(const std::string& sNewPassword, bool boBack,
                        std::vector<TAccompanyingFile> Along = {});

    // The decrypted record header as a copy: 16 bytes (the image-info layout) in the new layout,
    // 12 in the old. None when not loaded, out of range or for an empty slot.
    std::optional<std::vector<uint8_t>> GetImageInfo(int Index) const;

    // Index layout: 0 = old, anything else = new.
    uint8_t bfType() const { return m_bfType; }
    // File variant 0, 1 or 2.
    uint8_t btQuillrand() const { return m_btQuillrand; }
    // The decrypted file header (KeyData and Chain hold the library key after a password check).
    const TPakFileHeader& Header() const { return FHeader; }

protected:
    TRecordList SaveRecords(const TRecordList& Records, const TUpdateSummary& Summary) override;
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override;
    bool Reload() override;
    uint64_t BlankRecordBytes() const override { return m_bfType != 0 ? 4 : 8; }

private:
    int DataBase() const { return PakDataBase(m_btQuillrand); }
    // The record of image Index that holds a header, or null.
    TRecord StoredRecord(int Index) const;
    // Decodes a record; Blank is set (and null returned) for images without pixels.
    std::unique_ptr<TPicture> Decode(const TImageData& Record, bool& Blank, TPoint& Point) const;
    std::unique_ptr<TPicture> DecodeNew(const TImageInfo& Info,
                                        std::span<const uint8_t> Payload) const;
    std::unique_ptr<TPicture> DecodeOld(int32_t Packing, int Width, int Height,
                                        std::span<const uint8_t> Payload) const;
    // The decrypted index of EntrySize bytes per image; empty when it does not lie in the file.
    std::vector<uint8_t> ReadIndex(size_t EntrySize, uint64_t FileSize) const;
    TRecordList LoadNewLayout(uint64_t FileSize);
    TRecordList LoadOldLayout(uint64_t FileSize);
    // Reads and decrypts the records' headers of HeaderSize bytes at Offsets, one after another;
    // those at a negative offset are left as zeros.
    std::vector<uint8_t> ReadRecordHeaders(std::span<const int64_t> Offsets,
                                           size_t HeaderSize) const;
    void OpenFile();
    // Sets m_btQuillrand from the file's first bytes; false for an unknown start.
    bool DetectVariant(std::span<const uint8_t> file);
    std::unique_ptr<TImageData> EncodeNew(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                          const TDIB* Alpha) const;
    std::unique_ptr<TImageData> EncodeOld(TDIB& Source, int X, int Y, uint8_t btEncr0) const;
    std::unique_ptr<TImageData>
    MakeNewRecord(const TImageInfo& Info, std::span<const uint8_t> Payload, uint8_t btEncr0) const;
    // Writes the headers of Points and empties the index entries of Emptied in place (under the
    // journal of TInPlaceChange); returns the records as they now lie in the file.
    TRecordList PatchRecords(const TRecordList& Records, const std::vector<size_t>& Points,
                             const std::vector<size_t>& Emptied);
    // Replaces the file by a new one holding Records under Header; returns the records as they
    // lie in it. Raises EFileError (nothing is changed then).
    TRecordList RewriteLibrary(const TRecordList& Records, TPakFileHeader& Header);
    void WriteHeader(TFileStream& file, const TPakFileHeader& Header) const;

    uint8_t m_bfType = 0;
    uint8_t m_btQuillrand = 0;
    TPakFileHeader FHeader;
    std::array<uint8_t, kPakFileHeaderInfoSize> FHeaderInfo{};
    TKeyData FKeyData{};
    TChain FChain{};
    // Set by a successful CheckPassword: the file is open and FHeader holds the library key.
    bool FPasswordChecked = false;
    // The candidate key could not be made (the password has characters the code page lacks):
    // no file opens with it.
    bool FKeyInvalid = false;
    // The file's bytes before the header (its magic), written back with every header.
    std::vector<uint8_t> FMagic;
    // The header was converted when it was read (an older variant-0 file): the next edit writes
    // the whole file.
    bool FHeaderConverted = false;
    // The header the next save writes (a change of password), instead of FHeader.
    std::optional<TPakFileHeader> FNextHeader;
    // Files the next full rewrite puts in place with the library (ChangePassword): a copy of the
    // old file before it, program files after it.
    std::optional<TAccompanyingFile> FBackup;
    std::vector<TAccompanyingFile> FAlong;
};

} // namespace velmora
