#pragma once

#include "core/game_images.h"

#include <string>

namespace velmora {

// The folder of offset files beside the pictures.
inline constexpr const char* kPlacementsFolder = "Placements";

// Writes an offset file: the line X then the line Y, signed decimal, replacing the file. Write
// errors are ignored; the folder must exist.
void SavePlacement(const std::string& fileName, TPoint offset);

// Writes an offset file as SavePlacement does (UTF-8), under a temporary name renamed over
// fileName, so that an old file is replaced whole or left alone. False when it cannot be written.
bool WritePlacement(const std::string& fileName, TPoint offset);

// The offset file of a picture: its folder + "Placements/" + the picture's name without extension
// (cut at the first occurrence of the extension, so a.png.png gives a) + ".txt".
std::string PlacementFileOf(const std::string& pictureFileName);

// The offset stored for a picture; (0, 0) when there is no offset file. A missing second line
// gives Y 0; a line that is not a whole decimal number (a leading blank, letters, out of range
// of 64 bits) gives 0; values are cut to 32 bits.
TPoint LoadPlacement(const std::string& pictureFileName);

} // namespace velmora
