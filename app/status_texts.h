#pragma once

#include "core/game_images.h"
#include "operations/check_library.h"
#include "operations/convert_library.h"

#include <QString>

#include <exception>
#include <optional>

namespace velmora {

// Status pane 4 after opening: "Wil 8位色", "Wis 16位真彩", "Wzl", "Pak ".
QString LibraryKindText(TImageType kind, int bitCount);

// Status pane 2: "13/250" for the image at 0-based index 12 of 250.
QString PositionText(int index, int count);

// Status pane 3: "序号:00012 宽:40 高:30 偏移坐标:-12,7".
QString ImageDataText(int index, int width, int height, int x, int y);

// The "%.5d" label of a grid cell: at least five digits, never cut.
QString CellNumberText(int index);

// What status pane 4 becomes when image index of the library is selected:
//   nullopt  - the pane keeps its text (WIL, WIS, or a WZL image of an unknown pixel kind);
//   ""       - the pane is cleared;
//   a text   - "Pak(1) 16位色", "Pak(2) 16位色 压缩:是", "Wzl 32位色 压缩:否".
std::optional<QString> PixelFormatText(TGameImages& library, int index);

// The message box text for a library that refuses an edit, and for an edit that waited in vain
// for another program's lock.
QString EditRefusalMessage(TEditRefusal refusal);
QString LibraryBusyMessage();
// What a message box says of an edit that raised: the two texts above for a refused or locked
// library, the error's own text otherwise.
QString EditErrorText(const std::exception& error);

// An error detail of the commands (English, often "PATH: reason") as a message box shows it:
// in Chinese the reason translated, the path kept, and the original text after it in brackets,
// for whoever needs to look it up (on the same line with oneLine, for lists); in English the
// original text. A detail of no known form keeps its own text under "详细信息：".
QString ErrorDetailText(const std::string& detail, bool oneLine = false);

// Status pane 3 for an image that cannot be decoded: "图片数据损坏: …".
QString DamageText(const TRecordCheck& check);

// What a conversion or a paste loses (TConversionPlan), one line per kind of loss, for the
// question asked before it; empty when nothing is lost.
QString LossMessage(const TConversionPlan& plan);

} // namespace velmora
