#pragma once

// The formats as the layers above see them: library objects made by kind, behind the library
// interface (TGameImages); the format classes themselves stay private to formats/.

#include "core/game_images.h"

#include <memory>
#include <string>

namespace velmora {

// A new, unopened library object of the kind on path. Nothing is read or written.
std::unique_ptr<TGameImages> CreateLibrary(TImageType kind, const std::string& path);

// The index file a library of the kind at path uses (an existing one whatever the case of its
// extension, else the name it writes); empty for kinds without an index file.
std::string IndexFileNameOf(TImageType kind, const std::string& path);

} // namespace velmora
