#pragma once

#include "files/picture_files.h"

#include <string>

namespace velmora {

class TLibraryDocument;

// The toolbar command "导出": saves the document's current image as one picture file named after
// its index ("%.5d" and .PNG, .BMP or .TGA by the type chosen in the save dialog), in the folder
// the save dialog ends in, with its offset file in the folder's "Placements" folder as 批量导出
// writes it. Nothing happens while the document is busy or when no image is current.
void ToolButtonSaveBMPClick(TLibraryDocument& document);

// The export format (0 PNG, 1 BMP, 2 TGA) and the target of the last export, kept by the main
// window for the whole run.
struct TExportChoice {
    int Format = 0;
    std::string Target;
};
const TExportChoice& LastExportChoice();

// The save dialog's type change: filterIndex is 0-based (0 PNG, 1 BMP, 2 TGA). Sets the export
// format and, for a known type, the target to folder + the "%.5d" index of image `index` + the
// type's extension; returns that file name (empty for an unknown type, which changes the format
// only).
std::string SaveDialog1TypeChange(int filterIndex, const std::string& folder, int index);

} // namespace velmora
