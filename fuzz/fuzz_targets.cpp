#include "fuzz/fuzz_targets.h"

#include "core/checked.h"
#include "core/dib.h"
#include "core/file_stream.h"
#include "core/png_picture.h"
#include "files/picture_files.h"
#include "formats/pak.h"
#include "formats/pak_header.h"
#include "formats/wil.h"
#include "formats/wis.h"
#include "formats/wzl.h"
#include "protection/cipher.h"
#include "protection/password_text.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace velmora::fuzz {

namespace {

// How many images of an opened library are decoded per input: enough to reach every code path,
// few enough to keep an input fast.
constexpr int kImagesPerInput = 48;

void WriteFile(const std::string& name, std::span<const uint8_t> bytes) {
    TFileStream file(name, TFileStream::fmCreate);
    file.Write(bytes);
}

std::pair<std::span<const uint8_t>, std::span<const uint8_t>>
SplitPair(std::span<const uint8_t> data) {
    if (data.size() < 4)
        return {data, {}};
    const uint64_t length = std::min<uint64_t>(GetU32(data.data()), data.size() - 4);
    return {data.subspan(4, size_t(length)), data.subspan(4 + size_t(length))};
}

// What the program does with an opened library: thumbnails, previews, offsets, and the pictures
// decoded for export on worker threads.
void Exercise(TGameImages& library) {
    const int count = std::min(library.ImageCount(), kImagesPerInput);
    TDIB canvas;
    canvas.SetSize(32, 32, 32);
    for (int i = 0; i < count; ++i) {
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture = library.Get(i, x, y);
        if (const TPngPicture* png = picture ? picture->AsPng() : nullptr)
            (void)png->ToDIBWithAlpha();
        (void)library.GetPoint(i);
        int w = 32, h = 32;
        library.StretchBlt(i, canvas, 0, 0, w, h);
    }
}

// Opens a library as the editor and velmora-cli do, then uses it.
template <typename TLibrary> bool OpenAndUse(const std::string& path) {
    TLibrary library(path);
    library.Initialize();
    if (!library.Initialized())
        return false;
    Exercise(library);
    return true;
}

template <typename TBody> bool Guarded(TBody body) {
    // A reader may report a file-system error (the only exception it raises); any other exception
    // escaping is a fault and must reach the fuzzer.
    try {
        return body();
    } catch (const EFileError&) {
        return false;
    }
}

std::vector<uint8_t> PakFromPlainHeader(std::span<const uint8_t> data) {
    if (data.empty())
        return {};
    const int variant = data[0] % 3;
    data = data.subspan(1);
    TPakFileHeader header;
    std::copy_n(data.begin(), std::min<size_t>(data.size(), kPakHeaderSize), header.Bytes.begin());
    const std::span<const uint8_t> rest = data.size() > size_t(kPakHeaderSize)
                                              ? data.subspan(kPakHeaderSize)
                                              : std::span<const uint8_t>();
    const TPakKey key = DeriveKey(PasswordKeyText(kFuzzPakPassword).value());
    const std::string_view check = variant == 2   ? kPakMagic2
                                   : variant == 1 ? kPakMagic1
                                                  : kPakMagic0;
    uint8_t code[kPakMaxCheckCode] = {};
    EncryptChained(reinterpret_cast<const uint8_t*>(check.data()), code, check.size(), key);
    header.SetCheckCode(code, int(check.size()));
    header.SetKey(TPakKey{});
    std::vector<uint8_t> file;
    if (variant == 2) {
        file.push_back(uint8_t(kPakMagic2.size()));
        file.insert(file.end(), kPakMagic2.begin(), kPakMagic2.end());
    } else {
        const std::string_view magic = variant == 1 ? kPakMagic1 : kPakMagic0;
        file.insert(file.end(), magic.begin(), magic.end());
    }
    file.resize(size_t(PakHeaderOffset(variant)), 0);
    const std::vector<uint8_t> encrypted = EncryptText(header.Bytes, HeaderKeyText(variant));
    file.insert(file.end(), encrypted.begin(), encrypted.end());
    file.resize(std::max(file.size(), size_t(PakDataBase(variant))), 0);
    file.insert(file.end(), rest.begin(), rest.end());
    CryptPakIndexAndRecords(file, header, true);
    return file;
}

} // namespace

void CryptPakIndexAndRecords(std::vector<uint8_t>& file, const TPakFileHeader& header,
                             bool encrypt) {
    const TPakKey key = DeriveKey(PasswordKeyText(kFuzzPakPassword).value());
    const bool newLayout = header.bfType() != 0;
    const uint64_t entry = newLayout ? 4 : 8;
    const uint64_t recordHeader = newLayout ? kPakNewRecordHeaderSize : kPakOldRecordHeaderSize;
    const uint64_t at = header.IndexOffset();
    if (at >= file.size())
        return;
    const uint64_t count =
        std::min<uint64_t>({header.ImageCount(), (file.size() - at) / entry, uint64_t(4096)});
    uint8_t* index = file.data() + at;
    const size_t indexBytes = size_t(count * entry);
    auto records = [&](bool reverse) {
        for (uint64_t n = 0; n < count; ++n) {
            const uint64_t i = reverse ? count - 1 - n : n;
            const int64_t offset = GetI32(index + i * entry);
            if (offset < 0 || uint64_t(offset) + recordHeader > file.size())
                continue;
            uint8_t* record = file.data() + offset;
            if (encrypt)
                EncryptChained(record, record, size_t(recordHeader), key);
            else
                DecryptChained(record, record, size_t(recordHeader), key);
        }
    };
    // Encrypting goes records first (their offsets are read from the plain index), then the
    // index; decrypting undoes it in the opposite order.
    if (encrypt) {
        records(false);
        EncryptChained(index, index, indexBytes, key);
    } else {
        DecryptChained(index, index, indexBytes, key);
        records(true);
    }
}

const std::string& FuzzFolder() {
    static const std::string folder = [] {
        struct stat st {};
        std::string base = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "";
        if (base.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string name = base + "/velmora-fuzz-XXXXXX";
        if (!::mkdtemp(name.data()))
            std::abort();
        // The folder lives in memory: it must not outlast the process.
        static const std::string created = name;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(created, ec);
        });
        return name + "/";
    }();
    return folder;
}

std::vector<uint8_t> JoinPair(std::span<const uint8_t> data, std::span<const uint8_t> index) {
    std::vector<uint8_t> joined(4);
    PutU32(joined.data(), uint32_t(data.size()));
    joined.insert(joined.end(), data.begin(), data.end());
    joined.insert(joined.end(), index.begin(), index.end());
    return joined;
}

bool FuzzWil(std::span<const uint8_t> data) {
    return Guarded([&] {
        const auto [dataFile, indexFile] = SplitPair(data);
        const std::string path = FuzzFolder() + "a.wil";
        WriteFile(path, dataFile);
        WriteFile(FuzzFolder() + "a.WIX", indexFile);
        return OpenAndUse<TWil>(path);
    });
}

bool FuzzWzl(std::span<const uint8_t> data) {
    return Guarded([&] {
        const auto [dataFile, indexFile] = SplitPair(data);
        const std::string path = FuzzFolder() + "a.wzl";
        WriteFile(path, dataFile);
        WriteFile(FuzzFolder() + "a.wzx", indexFile);
        return OpenAndUse<TWzl>(path);
    });
}

bool FuzzWis(std::span<const uint8_t> data) {
    return Guarded([&] {
        const std::string path = FuzzFolder() + "a.wis";
        WriteFile(path, data);
        return OpenAndUse<TWis>(path);
    });
}

bool FuzzPak(std::span<const uint8_t> data) {
    return Guarded([&] {
        if (data.empty())
            return false;
        std::vector<uint8_t> file;
        if (data[0] % 2 == 0)
            file.assign(data.begin() + 1, data.end());
        else
            file = PakFromPlainHeader(data.subspan(1));
        const std::string path = FuzzFolder() + "a.pak";
        WriteFile(path, file);
        TQuillrand library(path);
        library.InputPassWord(kFuzzPakPassword);
        if (!library.CheckPassword())
            return false;
        library.Initialize();
        if (!library.Initialized())
            return false;
        Exercise(library);
        for (int i = 0; i < std::min(library.ImageCount(), kImagesPerInput); ++i)
            (void)library.GetImageInfo(i);
        return true;
    });
}

bool FuzzBmp(std::span<const uint8_t> data) {
    TDIB dib;
    if (!dib.LoadFromStream(data))
        return false;
    // A loaded picture must survive what the program does next: conversion and writing.
    (void)dib.SaveToStream();
    return true;
}

namespace {

// A copy of a PNG stream whose complete chunks carry correct checksums. Almost every mutation
// breaks a chunk's CRC, and the reader rightly stops at the first bad one; with the checksums
// mended the mutations reach the decoding behind it.
std::vector<uint8_t> WithMendedChecksums(std::span<const uint8_t> data) {
    std::vector<uint8_t> png(data.begin(), data.end());
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint64_t length = (uint64_t(png[at]) << 24) | (uint64_t(png[at + 1]) << 16) |
                                (uint64_t(png[at + 2]) << 8) | png[at + 3];
        if (length > png.size() - at - 12)
            break;
        const size_t end = at + 8 + size_t(length);
        const uint32_t crc = uint32_t(::crc32(0, png.data() + at + 4, uInt(length + 4)));
        for (int i = 0; i < 4; ++i)
            png[end + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        at = end + 4;
    }
    return png;
}

bool ReadPng(std::span<const uint8_t> data) {
    TDIB dib;
    const bool loaded = LoadPNGFromMemory(data, dib);
    std::unique_ptr<TPngPicture> picture = LoadPngPictureFromMemory(data);
    if (picture)
        (void)picture->ToDIBWithAlpha();
    return loaded || picture;
}

} // namespace

bool FuzzPng(std::span<const uint8_t> data) {
    const std::vector<uint8_t> mended = WithMendedChecksums(data);
    const bool read = ReadPng(mended);
    // The input as it came, for the paths that handle bad checksums.
    if (!std::equal(mended.begin(), mended.end(), data.begin(), data.end()))
        return ReadPng(data) || read;
    return read;
}

bool FuzzTga(std::span<const uint8_t> data) {
    TDIB dib;
    if (!LoadTGAFromMemory(data, dib))
        return false;
    (void)SaveTGAToMemory(dib, tfRunLength);
    return true;
}

const std::vector<TFuzzTargetInfo>& FuzzTargets() {
    static const std::vector<TFuzzTargetInfo> targets = {
        {"wil", FuzzWil},
        {"wis", FuzzWis},
        {"wzl", FuzzWzl},
        {"pak", FuzzPak},
        {"bmp", FuzzBmp},
        {"png", FuzzPng},
        {"tga", FuzzTga},
        {"pak_list", FuzzPakList},
        {"placement", FuzzPlacement},
        {"recent_files", FuzzRecentFiles},
    };
    return targets;
}

} // namespace velmora::fuzz
