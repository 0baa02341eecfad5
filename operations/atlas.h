#pragma once

#include "core/dib.h"
#include "core/game_images.h"
#include "operations/import_picture.h"
#include "operations/progress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Sprite-sheet atlases: the images of a range packed onto PNG sheets, with a JSON data file per
// sheet in the hash or array form that web game engines load as it is. Every frame carries its
// image's untrimmed size, the rectangle its trimmed pixels take, the anchor point as a pivot in
// the untrimmed picture's normalised coordinates (an engine that draws the frame with its pivot
// at the anchor puts it where the game draws the image) and the library's offset itself.

enum TAtlasFormat : uint8_t {
    afJsonHash = 0,  // "frames": {"00012": {...}, ...}
    afJsonArray = 1, // "frames": [{"filename": "00012", ...}, ...]
};

struct TAtlasExportOptions {
    // The first sheet; further sheets are named NAME-1.png, NAME-2.png, ... beside it.
    std::string SheetPath;
    // The first data file; empty: SheetPath with the extension .json. Further data files follow
    // the sheets' names (NAME-1.json, ...).
    std::string DataPath;
    int From = 0;
    int To = -1; // -1: the last image
    TAtlasFormat Format = afJsonHash;
    int Padding = 2;    // pixels between frames
    int MaxSize = 4096; // a sheet is at most MaxSize x MaxSize
};

struct TAtlasExportResult {
    bool Done = false;
    int Frames = 0; // images written into the sheets
    int Empty = 0;  // images of the range without a visible pixel, left out
    std::vector<std::string> Sheets;
    std::vector<std::string> DataFiles;
    std::string Error;
};

// The pivot of an image of Width x Height drawn at Offset from its anchor: (-X / Width,
// -Y / Height). The offset is recovered as (round(-pivot.x * Width), round(-pivot.y * Height)).
struct TPivot {
    double X = 0;
    double Y = 0;
};
TPivot PivotOfOffset(TPoint Offset, int Width, int Height);
TPoint OffsetOfPivot(TPivot Pivot, int Width, int Height);

// A library picture as 32-bit pixels with straight alpha in the top bytes: pictures with alpha as
// they are; pictures of black-transparent libraries (8, 16, 24 bits, and 32 bits without alpha)
// with black as alpha 0 and every other colour opaque.
TDIB AtlasPixels(const TPicture& Picture);

// Writes images From..To of the library as an atlas. Images without a visible pixel are left out;
// the others are trimmed to their visible pixels and packed. A frame larger than a sheet, a range
// outside the library or a file that cannot be written is a failure (files already written are
// removed then).
TAtlasExportResult ExportAtlas(TGameImages& Library, const TAtlasExportOptions& Options,
                               const TProgress& Progress = {});

// One frame of an atlas as read back: its picture restored to the untrimmed size (transparent
// around the trimmed pixels) and its offset.
struct TAtlasFrame {
    std::string Name;
    std::optional<int> Number; // the name's number ("00012", "12.png"), when it is one
    TDIB Pixels;               // 32-bit, straight alpha
    TPoint Offset;
};

// Reads an atlas data file (hash or array form; rotated and trimmed frames as other packers write
// them) and the data files it names as its companions (meta.related_multi_packs), and cuts every
// frame out of its sheet. Frames come in the order of their names' numbers when every name is a
// number, else in file order. False with the reason in Error for a malformed file, a sheet that
// cannot be read or a frame outside its sheet.
struct TAtlasReadResult {
    bool Done = false;
    std::vector<TAtlasFrame> Frames;
    // The numbered range the exporter wrote (meta.range), when the file names one.
    std::optional<int> RangeFrom, RangeTo;
    std::string Error;
};
TAtlasReadResult ReadAtlas(const std::string& DataPath);

// A frame made ready for a library: fully opaque pixels, or alpha that is only 0 and 255 over
// pixels never pure black (what black-transparent libraries export), become a picture without
// alpha, black where it was transparent; any other alpha goes with the picture as its alpha
// buffer, transparent pixels black.
TLoadedPicture PictureOfFrame(const TDIB& Pixels);

struct TAtlasImportOptions {
    std::string DataPath;
    TImportMode Mode = imAppend;
    int At = 0; // the first image replaced or inserted before (not used to append)
    uint8_t Compression = 0;
};

struct TAtlasImportResult {
    bool Done = false;
    int Imported = 0; // frames imported
    int Blanks = 0;   // empty images put where numbered frames leave gaps
    TEditRefusal Refusal = TEditRefusal::erNone;
    int First = -1; // the index of the first image written
    std::string Error;
};

// Imports the frames of an atlas as one edit: appended, inserted before image At, or replacing
// images from At on (frames past the library's end are appended). Numbered frames come in the
// order of their numbers; when the file names the range it was exported from (meta.range) and
// every frame lies in it, the numbers missing from the range (the empty images the export left
// out) become empty images again. Offsets come from each frame's offset, else from its
// pivot. Pictures keep their size (PrepareKeepingSize). Nothing is written unless every frame goes
// in.
TAtlasImportResult ImportAtlas(TGameImages& Library, const TAtlasImportOptions& Options,
                               const TProgress& Progress = {});

} // namespace velmora
