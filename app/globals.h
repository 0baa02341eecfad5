#pragma once

#include "core/game_images.h"
#include "files/app_dir.h" // g_AppDir

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// The selected grid cell and the image it shows; editing commands act on it.
struct TSelection {
    int Col = 0;
    int Row = 0;
    int Index = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int Width = 0;
    int Height = 0;
};

// The one library the main window has open, or none.
extern std::unique_ptr<TGameImages> g_Images;
// Set while a library is being opened and while an editing command runs; the main window cannot
// close, and thumbnails are not drawn, while it is set.
extern bool g_Busy;
// Recently opened library files, newest first, at most kMaxRecentFiles, no two equal when compared
// without regard to case.
extern std::vector<std::string> g_RecentFiles;
// The folder selected in the folder tree, ending in a separator; empty until the first selection.
extern std::string g_CurrentDir;
extern TSelection g_Selection;

// Sets g_Busy for its lifetime and gives it back the value it had on every way out, exceptions
// included, so that a guard inside another (a command that opens a library) does not end the
// outer one's busy time. The only way g_Busy is set.
class TBusyGuard {
public:
    TBusyGuard() : FWasBusy(g_Busy) { g_Busy = true; }
    ~TBusyGuard() { g_Busy = FWasBusy; }
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

private:
    bool FWasBusy;
};

} // namespace velmora
