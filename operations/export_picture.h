#pragma once

#include "core/dib.h"
#include "core/game_images.h"
#include "core/picture.h"
#include "core/png_picture.h"
#include "files/picture_files.h"

#include <memory>
#include <string>

namespace velmora {

// The name of an exported picture: the index formatted "%.5d" and ".PNG", ".BMP" or ".TGA" by the
// format (ifAuto and unknown values give ".BMP"). 7 gives 00007.PNG; 123456 gives 123456.PNG.
std::string ExportFileName(int index, TImageFormat format);

// A library pixel buffer as a bitmap of the same depth, size and pixels.
std::unique_ptr<TDIB> BitmapOfBuffer(const TDIB& buffer);

// A PNG picture as a bitmap; with an alpha channel (colour types 4 and 6) a 32-bit bitmap whose top
// bytes carry the alpha values.
std::unique_ptr<TDIB> BitmapOfPng(const TPngPicture& png);

// Writes one library picture to `fileName` in `format`: PNG (a PNG picture as itself, a pixel
// buffer through its bitmap, at pngLevel), BMP (a PNG picture through its bitmap with alpha, a
// pixel buffer as itself), TGA (through the bitmap, at 24 bits unless it has 32). ifAuto writes a
// PNG picture as PNG and anything else as BMP, whatever the name says. False with the reason in
// `error` when the file is not written; never raises.
bool WriteLibraryPicture(const TPicture& picture, const std::string& fileName, TImageFormat format,
                         std::string& error, int pngLevel = kDefaultPngLevel);

struct TExportImageResult {
    bool Written = false;
    std::string FileName; // the target, folder + ExportFileName
    std::string Error;    // why it was not written; empty with Written false = nothing to export
};

// Exports image `index` (GetBitmap) into `folder` as ExportFileName(index, format). An index out of
// range or an image without a picture writes nothing and reports no error text other than the
// reason.
TExportImageResult ExportImage(TGameImages& library, int index, const std::string& folder,
                               TImageFormat format);

} // namespace velmora
