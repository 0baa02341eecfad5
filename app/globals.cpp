#include "app/globals.h"

namespace velmora {

std::unique_ptr<TGameImages> g_Images;
bool g_Busy = false;
std::vector<std::string> g_RecentFiles;
std::string g_CurrentDir;
TSelection g_Selection;

} // namespace velmora
