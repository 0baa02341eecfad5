#include "files/placements.h"

#include "core/file_stream.h"
#include "core/utils.h"
#include "files/text_file.h"

#include <exception>
#include <filesystem>

namespace velmora {

void SavePlacement(const std::string& fileName, TPoint offset) {
    try {
        RewriteTextFile(fileName, {std::to_string(offset.X), std::to_string(offset.Y)});
    } catch (const std::exception&) {
        // An offset file that cannot be written only costs the offset on a later import.
    }
}

bool WritePlacement(const std::string& fileName, TPoint offset) {
    const std::string text = std::to_string(offset.X) + "\r\n" + std::to_string(offset.Y) + "\r\n";
    try {
        return WriteFileThroughTemporary(
            fileName, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    } catch (const std::exception&) {
        return false;
    }
}

std::string PlacementFileOf(const std::string& pictureFileName) {
    return ExtractFilePath(pictureFileName) + kPlacementsFolder +
           char(std::filesystem::path::preferred_separator) + FileNameWithoutExt(pictureFileName) +
           ".txt";
}

TPoint LoadPlacement(const std::string& pictureFileName) {
    std::vector<std::string> lines;
    if (!ReadTextFile(PlacementFileOf(pictureFileName), lines))
        return {};
    TPoint offset;
    if (lines.size() >= 1)
        offset.X = TextToInt(lines[0], 0);
    if (lines.size() >= 2)
        offset.Y = TextToInt(lines[1], 0);
    return offset;
}

} // namespace velmora
