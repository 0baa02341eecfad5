#include "operations/export_picture.h"

#include "core/file_stream.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora {

std::string ExportFileName(int index, TImageFormat format) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.5d", index);
    switch (format) {
    case ifPNG:
        return std::string(digits) + ".PNG";
    case ifTGA:
        return std::string(digits) + ".TGA";
    default:
        return std::string(digits) + ".BMP";
    }
}

std::unique_ptr<TDIB> BitmapOfBuffer(const TDIB& buffer) {
    return std::make_unique<TDIB>(buffer);
}

std::unique_ptr<TDIB> BitmapOfPng(const TPngPicture& png) {
    return png.ToDIBWithAlpha();
}

namespace {

bool WriteOrThrow(const TPicture& picture, const std::string& fileName, TImageFormat format,
                  int pngLevel) {
    const TPngPicture* png = picture.AsPng();
    const TDIB* dib = picture.AsDIB();
    if (!png && !dib)
        return false;
    switch (format) {
    case ifPNG:
        if (png)
            return SavePngPicture(fileName, *png, pngLevel);
        return SavePNG(fileName, *BitmapOfBuffer(*dib), pngLevel);
    case ifBMP:
        if (png) {
            std::unique_ptr<TDIB> bitmap = BitmapOfPng(*png);
            if (!bitmap)
                return false;
            bitmap->SaveToFile(fileName);
        } else {
            dib->SaveToFile(fileName);
        }
        return true;
    case ifTGA: {
        std::unique_ptr<TDIB> bitmap = png ? BitmapOfPng(*png) : BitmapOfBuffer(*dib);
        if (!bitmap)
            return false;
        // TGA holds 24 or 32 bits only; 8- and 16-bit pictures are widened rather than failing.
        if (bitmap->BitCount() != 24 && bitmap->BitCount() != 32) {
            bitmap->SetPixelFormat(MakePixelFormat(8, 8, 8));
            bitmap->SetBitCount(24);
        }
        return SavePicture(fileName, *bitmap, ifTGA);
    }
    case ifAuto:
        if (png)
            return SavePngPicture(fileName, *png, pngLevel);
        dib->SaveToFile(fileName);
        return true;
    }
    return false;
}

} // namespace

bool WriteLibraryPicture(const TPicture& picture, const std::string& fileName, TImageFormat format,
                         std::string& error, int pngLevel) {
    if (picture.Width() < 1 || picture.Height() < 1) {
        error = "the image has no pixels";
        return false;
    }
    bool ok = false;
    try {
        ok = WriteOrThrow(picture, fileName, format, pngLevel);
        if (!ok)
            error = "the picture could not be encoded or written";
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!ok) {
        // A picture that failed half-way is not left behind as a truncated file.
        std::error_code ec;
        std::filesystem::remove(fileName, ec);
    }
    return ok;
}

TExportImageResult ExportImage(TGameImages& library, int index, const std::string& folder,
                               TImageFormat format) {
    TExportImageResult result;
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    if (format == ifAuto)
        format = ifBMP;
    result.FileName = dir + ExportFileName(index, format);
    if (index < 0 || index >= library.ImageCount()) {
        result.Error = "image " + std::to_string(index) + " does not exist";
        return result;
    }
    TPicture* picture = nullptr;
    try {
        picture = library.GetBitmap(index);
    } catch (const std::exception& e) {
        result.Error = e.what();
        return result;
    }
    if (!picture) {
        result.Error = "image " + std::to_string(index) + " has no picture";
        return result;
    }
    result.Written = WriteLibraryPicture(*picture, result.FileName, format, result.Error);
    return result;
}

} // namespace velmora
