#pragma once

#include "core/game_images.h"

#include <string>
#include <vector>

namespace velmora {

// The files a library consists of: the data file, and for WIL and WZL its index file (".WIX",
// ".wzx"; an existing one in any letter case).
std::vector<std::string> LibraryFiles(const std::string& path, TImageType kind);

// A short hidden name for a temporary copy of a library, beside the file `path` leads to (its links
// followed), that keeps a short extension.
std::string TemporaryNameFor(const std::string& path);

// For the index file of a WIL or WZL library (".WIX", ".wzx" in any case) the data file it
// belongs to (an existing one in any letter case, else the name with ".Wil" or ".Wzl"); empty
// for every other name. Index files are never opened as libraries of their own.
std::string DataFileOfIndex(const std::string& path);

} // namespace velmora
