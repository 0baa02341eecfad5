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
// image's untrimmed size, the rectangle its trimmed pixels take, the anchor point in the untrimmed
// picture's normalised coordinates, as `pivot` (read by Phaser) and as `anchor` (read by PixiJS),
// so that an engine drawing the frame there at the anchor puts it where the game draws the image,
// and the library's offset itself. Several sheets are linked for PixiJS by the data files'
// meta.related_multi_packs and listed for Phaser in one multi-atlas file (a "textures" array).

enum TAtlasFormat : uint8_t {
    afJsonHash = 0,  // "frames": {"00012": {...}, ...}
    afJsonArray = 1, // "frames": [{"filename": "00012", ...}, ...]
};

// The largest sheet side an export writes: what WebGL loads as one texture on most devices.
inline constexpr int kMaxAtlasSheetSide = 8192;

struct TAtlasExportOptions {
    // The first sheet; a name without an extension gets ".png". Further sheets are named
    // NAME-1.png, NAME-2.png, ... beside it.
    std::string SheetPath;
    // The first data file; empty: SheetPath with the extension .json (a name without an extension
    // gets ".json"). Further data files follow the sheets' names (NAME-1.json, ...); with several
    // sheets NAME.multiatlas.json lists them all for Phaser.
    std::string DataPath;
    int From = 0;
    int To = -1; // -1: the last image
    TAtlasFormat Format = afJsonHash;
    int Padding = 2;    // pixels between frames
    int MaxSize = 4096; // a sheet is at most MaxSize x MaxSize (kMaxAtlasSheetSide at most)
    // Put before every frame's number (%05d), so that atlases of several libraries loaded
    // together keep their frames apart ("hero/" gives "hero/00012"). It may not end in a digit.
    std::string Prefix;
};

struct TAtlasExportResult {
    bool Done = false;
    int Frames = 0; // images written into the sheets
    int Empty = 0;  // images of the range without a visible pixel, left out
    std::vector<std::string> Sheets;
    std::vector<std::string> DataFiles;
    std::string MultiAtlasFile; // with several sheets: Phaser's multi-atlas file
    std::string Error;
};

// The sheet and data paths an export writes for these options: SheetPath and DataPath (or the
// sheet's name with .json) with the extension a name without one gets. Empty strings and the
// reason in Error when a name has another extension (the sheets are PNG pictures; engines load
// data files by the extension .json), or when the padding, the sheet size or the prefix cannot be
// used.
struct TAtlasNames {
    std::string SheetPath;
    std::string DataPath;
    std::string Error;
};
TAtlasNames AtlasNames(const TAtlasExportOptions& Options);

// A frame's name: the prefix and the image number as %05d.
std::string AtlasFrameName(const std::string& Prefix, int Index);

// A relative file path as the URL path that names it: every byte other than letters, digits,
// "-", ".", "_", "~" and "/" percent-encoded ("a#1.png" -> "a%231.png"), so that engines, which
// take meta.image as a URL, fetch the file of that name.
std::string UrlPathOf(const std::string& Path);
// The file path a URL path names (percent-escapes decoded); the text itself when it holds a "%"
// that starts no escape.
std::string PathOfUrl(const std::string& Url);

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
    // The number the name ends in ("00012", "12.png", "hero/00012", "spr/00012.PNG"), when it
    // ends in one, and what stands before it.
    std::optional<int> Number;
    std::string Prefix;
    TDIB Pixels; // 32-bit, straight alpha
    TPoint Offset;
};

// Reads atlas data files and cuts every frame out of its sheet: the hash and array forms (rotated
// and trimmed frames as other packers write them) with the data files a file names as its
// companions (meta.related_multi_packs), and Phaser's multi-atlas form (a "textures" array of
// sheets with their frames). Sheets are PNG, BMP or TGA files named relative to the data file (a
// URL path: percent-escapes are decoded), or PNG pictures embedded as data URIs. Frames come in
// the order of their numbers when every name ends in a number after the same prefix, else in the
// order of the files and of the frames in them. False with the reason in Error for a malformed
// file, a sheet that cannot be read (JPEG and WebP sheets are refused), a scaled atlas
// (meta.scale other than 1), premultiplied alpha or a frame outside its sheet.
struct TAtlasReadResult {
    bool Done = false;
    std::vector<TAtlasFrame> Frames;
    // The numbered ranges the exporter wrote (meta.range of Velmora's files), when the files name
    // them.
    std::vector<std::pair<int, int>> Ranges;
    std::string Error;
};
TAtlasReadResult ReadAtlas(const std::vector<std::string>& DataPaths);

// A frame made ready for a library: fully opaque pixels, or alpha that is only 0 and 255 over
// pixels never pure black (what black-transparent libraries export), become a picture without
// alpha, black where it was transparent; any other alpha goes with the picture as its alpha
// buffer, transparent pixels black.
TLoadedPicture PictureOfFrame(const TDIB& Pixels);

struct TAtlasImportOptions {
    std::string DataPath;
    // Further data files read with the first, as the parts of one atlas (other packers write one
    // unlinked data file per sheet).
    std::vector<std::string> MoreDataPaths;
    TImportMode Mode = imAppend;
    int At = 0; // the first image replaced or inserted before (not used to append)
    uint8_t Compression = 0;
};

struct TAtlasImportResult {
    bool Done = false;
    int Imported = 0; // frames imported
    int Blanks = 0;   // empty images put where numbered frames leave gaps
    // Numbers between the first and the last frame's that no frame has and no empty image took
    // (frames of data files not given, when the files name no range).
    int Missing = 0;
    TEditRefusal Refusal = TEditRefusal::erNone;
    int First = -1; // the index of the first image written
    std::string Error;
};

// Imports the frames of an atlas as one edit: appended, inserted before image At, or replacing
// images from At on (frames past the library's end are appended). Numbered frames come in the
// order of their numbers; where the data files name the range they were exported from (meta.range,
// which Velmora's exports write) the numbers of a range that no frame has (the empty images the
// export left out) become empty images again; numbers of other files give the order alone.
// Offsets come from each frame's offset, else from its anchor or pivot. Pictures keep their size
// (PrepareKeepingSize). Nothing is written unless every frame goes in.
TAtlasImportResult ImportAtlas(TGameImages& Library, const TAtlasImportOptions& Options,
                               const TProgress& Progress = {});

} // namespace velmora
