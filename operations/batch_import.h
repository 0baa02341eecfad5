#pragma once

#include "core/game_images.h"
#include "operations/import_picture.h"
#include "operations/progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// What a batch import brings in.
enum TBatchContent : uint8_t {
    bcPicturesAndOffsets = 0, // 图片和坐标: pictures, offsets from their offset files or fixed
    bcPictures = 1,           // 图片: pictures, the fixed offset
    bcOffsets = 2,            // 坐标: the offsets of existing images, nothing else; overwrites
    bcBlank = 3,              // 空图片: empty placeholder images with the fixed offset
};

// Where a batch import puts its items.
enum TBatchMode : uint8_t {
    bmAppend = 0,    // 从尾部添加
    bmInsert = 1,    // 按编号插入, before image Start
    bmOverwrite = 2, // 按编号覆盖, images Start .. End
};

// The inputs of a batch import, as the dialog holds them.
struct TBatchImportOptions {
    TBatchContent Content = bcPicturesAndOffsets;
    TBatchMode Mode = bmAppend;
    // 起始编号 and 结束编号. For blank content they also carry the number to add: Start in append
    // mode, End in insert mode.
    int Start = 0;
    int End = 0;
    // Offsets from each picture's offset file (同名坐标文件) rather than the fixed pair.
    bool OffsetsFromPlacements = true;
    // The fixed pair as typed, "X,Y" (相同坐标).
    std::string FixedOffset = "0,0";
    uint8_t Compression = 0;
    // The pictures, in import order; see ListPictureFolder.
    std::vector<std::string> Files;
    // Write nothing unless every item went in as asked (no placeholders, no refusals).
    bool AllOrNothing = false;
};

// The pictures of a folder as the batch import takes them: FindPictureFiles, then sorted
// ascending by ordinal comparison of the whole path.
std::vector<std::string> ListPictureFolder(const std::string& folder);

// The fixed offset text: trimmed, split at "," into X and Y, each read with TextToInt and the
// default 0 ("12,-7" gives (12, -7); "5" gives (5, 0)).
TPoint ParseFixedOffset(const std::string& text);

// The run a batch import works on, after the clamping and count rules.
struct TBatchImportPlan {
    TBatchMode Mode = bmAppend; // insert becomes append on an empty library
    int Start = 0;              // first index touched (insert and overwrite)
    int Count = 0;              // number of items
};

// The count rule: append takes the list (blank: Start items); insert clamps Start to the last
// image and takes the list (blank: End items), turning into append on an empty library; overwrite
// (which offsets only always is) orders and clamps Start and End to the library and takes as many
// listed pictures as fit (blank: End - Start + 1), and takes nothing when the run lies wholly
// after the last image.
TBatchImportPlan PlanBatchImport(TBatchContent content, TBatchMode mode, int start, int end,
                                 int imageCount, int listLength);

// One item that did not go in as asked.
struct TBatchImportIssue {
    int Item = 0;         // position in the run, from 0
    int Index = -1;       // library index aimed at (-1 when appended)
    std::string FileName; // the picture, empty for placeholders
    std::string Reason;
};

struct TBatchImportResult {
    TBatchImportPlan Plan;
    int Imported = 0; // items the library took
    // Set when nothing was written for a reason of the whole run (Error says which): the library
    // takes no edits, an offset cannot be stored, the count does not fit the format, or
    // AllOrNothing found an item that did not go in.
    bool Written = false;
    TEditRefusal Refusal = TEditRefusal::erNone;
    std::string Error;
    // Pictures that could not be read and went in as empty placeholder images (keeping numbering).
    std::vector<TBatchImportIssue> Unreadable;
    // Items the library refused (Add, Insert, Replace or SetPoint returned false).
    std::vector<TBatchImportIssue> Refused;
    bool Succeeded() const { return Error.empty() && Unreadable.empty() && Refused.empty(); }
};

// Runs a batch import as one edit: BeginUpdate; Add, Insert or Replace per item; EndUpdate (only
// when the count is above 0). Unreadable pictures become the library's placeholder. Offsets only
// sets the offset of images Start.. from the offset file of each listed picture (or the fixed
// pair), as one edit that WIS libraries take too; an image that holds no offset (an empty slot)
// is listed in Refused. An offset
// outside -32768 .. 32767 (fixed, or from an offset file) refuses the whole run, as does a count
// of images the format cannot hold within its 2 GiB files (refused before anything is made).
// File-system errors of the library's rewrite raise EFileError; nothing of the run is written
// then, and an exception from progress discards the run as well.
TBatchImportResult BatchImport(TGameImages& library, const TBatchImportOptions& options,
                               const TProgress& progress = {});

// The batch loader: the picture at path made ready for the library, or the library's placeholder
// (FillDIB) when there is no such file or it cannot be read; `readable` tells which.
TLoadedPicture LoadBatchPicture(TGameImages& library, const std::string& path, bool& readable,
                                std::string& error);

} // namespace velmora
