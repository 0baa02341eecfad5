#pragma once

#include "core/game_images.h"

#include <string>

namespace velmora {

// The bit count a new library gets: for WIL 16, 24 or 32 when asked, else 8; 8 for every other
// kind.
int CreationBitCount(TImageType kind, int requested);

// The password a new library gets: for Pak the given one, or the default password when it is
// empty; empty for the other kinds.
std::string CreationPassword(TImageType kind, const std::string& password);

struct TCreateResult {
    bool Created = false;
    std::string Error;
};

// Writes a new, empty WIL, WZL or Pak library at path (CreateFile of the kind), replacing an
// existing file of that name. WIS libraries cannot be created, and a Pak password that the code
// page cannot hold is refused (kUnencodablePasswordText). File-system errors are reported as the
// result's error.
TCreateResult CreateLibraryFile(TImageType kind, const std::string& path, int bitCount,
                                const std::string& password);

} // namespace velmora
