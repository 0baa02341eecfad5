#pragma once

#include "core/game_images.h"

#include <string>
#include <vector>

namespace velmora {

// The files a library consists of: the data file, and for WIL and WZL its index file (".WIX",
// ".wzx"; an existing one in any letter case).
std::vector<std::string> LibraryFiles(const std::string& path, TImageType kind);

// A name in the folder of `path` for a library being built to replace it: short (a dot, 16 hex
// digits of a hash of the file name, ".vwork" and the extension), so that it fits the file-name
// limit whatever the length of the name it stands for.
std::string TemporaryNameFor(const std::string& path);

} // namespace velmora
