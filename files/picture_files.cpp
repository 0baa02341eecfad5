#include "files/picture_files.h"

#include "core/checked.h"
#include "core/file_stream.h"
#include "core/utils.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora {

bool PictureSizeAllowed(int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        return false;
    return uint64_t(width) * uint64_t(height) * 4 <= kMaxPictureBytes;
}

std::string PictureTooLargeText(int64_t width, int64_t height) {
    if (PictureSizeAllowed(width, height) || width < 1 || height < 1)
        return {};
    return std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than a picture may be (" + std::to_string(kMaxPictureSide) +
           " pixels a side, " + std::to_string(kMaxPictureBytes / 4) + " pixels in all)";
}

std::optional<std::pair<int64_t, int64_t>> PictureHeaderSize(std::span<const uint8_t> head,
                                                             TImageFormat format) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto be32 = [&](size_t at) {
        return int64_t(head[at]) << 24 | int64_t(head[at + 1]) << 16 | int64_t(head[at + 2]) << 8 |
               int64_t(head[at + 3]);
    };
    if (head.size() >= 24 && std::equal(kPng, kPng + 8, head.begin()) &&
        std::equal(head.begin() + 12, head.begin() + 16, "IHDR"))
        return std::pair(be32(16), be32(20));
    if (head.size() >= 26 && head[0] == 'B' && head[1] == 'M') {
        if (GetU32(&head[14]) == 12)
            return std::pair(int64_t(GetU16(&head[18])), int64_t(GetU16(&head[20])));
        const int64_t height = int32_t(GetU32(&head[22]));
        return std::pair(int64_t(int32_t(GetU32(&head[18]))), height < 0 ? -height : height);
    }
    if (format == ifTGA && head.size() >= 18)
        return std::pair(int64_t(GetU16(&head[12])), int64_t(GetU16(&head[14])));
    return std::nullopt;
}

std::optional<std::pair<int64_t, int64_t>> PictureFileSize(const std::string& fileName) {
    try {
        TFileStream file(fileName, TFileStream::fmOpenRead);
        std::vector<uint8_t> head(32, 0);
        head.resize(file.Read(head));
        return PictureHeaderSize(head, PictureFormatOf(fileName));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TImageFormat PictureFormatOf(const std::string& fileName) {
    const std::string ext = ExtractFileExt(fileName);
    if (SameText(ext, ".tga"))
        return ifTGA;
    if (SameText(ext, ".png"))
        return ifPNG;
    return ifBMP;
}

namespace {

bool LoadBMP(const std::string& fileName, TDIB& bitmap) {
    TDIB result;
    try {
        if (!result.LoadFromFile(fileName))
            return false;
    } catch (const std::exception&) {
        // The bitmap reader may raise on files it cannot open; to the caller that is a refusal.
        return false;
    }
    if (!PictureSizeAllowed(result.Width(), result.Height()))
        return false;
    bitmap = std::move(result);
    return true;
}

} // namespace

bool LoadPicture(const std::string& fileName, TDIB& bitmap, TImageFormat format) {
    if (format == ifAuto)
        format = PictureFormatOf(fileName);
    switch (format) {
    case ifPNG:
        return LoadPNG(fileName, bitmap);
    case ifBMP:
        return LoadBMP(fileName, bitmap);
    case ifTGA:
        return LoadTGA(fileName, bitmap);
    case ifAuto:
        break;
    }
    return false;
}

bool SavePicture(const std::string& fileName, const TDIB& bitmap, TImageFormat format) {
    if (format == ifAuto)
        format = PictureFormatOf(fileName);
    switch (format) {
    case ifPNG:
        return SavePNG(fileName, bitmap, kDefaultPngLevel);
    case ifBMP:
        // An empty bitmap has no BMP form; writing an empty file would report a picture that is
        // not there.
        if (bitmap.Empty())
            return false;
        bitmap.SaveToFile(fileName);
        return true;
    case ifTGA:
        return SaveTGA(fileName, bitmap, tfRunLength);
    case ifAuto:
        break;
    }
    return false;
}

bool IsPictureFile(const std::string& fileName) {
    const std::string ext = ExtractFileExt(fileName);
    return SameText(ext, ".bmp") || SameText(ext, ".png") || SameText(ext, ".tga");
}

bool FindPictureFiles(const std::string& folder, std::vector<std::string>& list,
                      const std::function<void()>& processMessages) {
    namespace fs = std::filesystem;
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != fs::path::preferred_separator && prefix.back() != '/')
        prefix += fs::path::preferred_separator;
    std::error_code ec;
    fs::directory_iterator it(prefix.empty() ? fs::path(".") : fs::path(prefix), ec);
    if (ec)
        return true;
    const fs::directory_iterator end;
    for (; it != end; it.increment(ec)) {
        if (ec)
            break;
        std::error_code typeError;
        const bool isFolder = it->is_directory(typeError);
        const std::string name = it->path().filename().string();
        if (!isFolder && IsPictureFile(name))
            list.push_back(prefix + name);
        if (processMessages)
            processMessages();
    }
    return true;
}

} // namespace velmora
