#pragma once

namespace velmora {

class TfrmMain;

// The toolbar command "导出": saves the image of the grid's current cell as one picture file
// named after its index ("%.5d" and .PNG, .BMP or .TGA by the type chosen in the save dialog),
// in the folder the save dialog ends in. Nothing happens without an open library, while g_Busy is
// set, or when the current cell holds no image.
void ToolButtonSaveBMPClick(TfrmMain& main);

} // namespace velmora
