#include "app/globals.h"

namespace velmora {

std::vector<std::string> g_RecentFiles;
std::string g_CurrentDir;

} // namespace velmora
