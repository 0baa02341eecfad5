#pragma once

#include <string>

namespace velmora {

class TOpenLibraries;

// Asks before a command writes a whole library file over target (新建, 数据转换). An existing file
// is named with its image count (a Pak file read with its listed password, else with password);
// an open library is not replaced behind its window: the user closes it first or the command is
// refused. True when the command may go on.
bool MayReplaceLibrary(TOpenLibraries& open, const std::string& target,
                       const std::string& password = {});

} // namespace velmora
