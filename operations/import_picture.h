#pragma once

#include "core/dib.h"
#include "core/game_images.h"
#include "core/png_picture.h"
#include "operations/progress.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A picture made ready for a library: the pixel buffer handed to Add, Insert or Replace and, for
// PNG files whose colour type carries alpha, an 8-bit buffer of the same size with one alpha value
// per pixel (0 = fully transparent).
struct TLoadedPicture {
    std::unique_ptr<TDIB> Source;
    std::unique_ptr<TDIB> Alpha;
};

// Reads a BMP, TGA or PNG file (kind by extension) into a pixel buffer. PNG pictures with alpha
// get the alpha buffer, and their fully transparent pixels are set to 0 in the source buffer; a
// palette or grey PNG becomes an 8-bit buffer with its own colour table. False with a reason in
// `error` when the file cannot be read; `picture` is then empty.
bool LoadImportPicture(const std::string& fileName, TLoadedPicture& picture, std::string& error);

// Turns a PNG picture (from a file or a library) into a source buffer and, for colour types 4 and
// 6, an alpha buffer, as LoadImportPicture does.
TLoadedPicture PictureFromPng(const TPngPicture& png);

// True when every index an 8-bit buffer uses stands for the same colour in DefaultPalette.
bool IndexesMeanDefaultColours(const TDIB& buffer);

// True for the libraries that take pictures at their own bit count: WIL, WIS, and Pak libraries
// of the old index layout. WZL and new-layout Pak libraries store any depth.
bool ConvertsToLibraryBitCount(const TGameImages& library);

// Brings a buffer to a bit count: 8 to 16 bits keeps black as 0 and lifts each non-zero masked
// component of other colours to at least 8; to 8 bits the width is rounded up to a multiple of 4
// (new columns black) with colours mapped to the library palette; to 16 (5-6-5), 24 and 32 bits
// the pixels are converted in place (an empty buffer becomes 1 x 1). Other targets change nothing.
void ConvertBitCount(TDIB& buffer, int bitCount);

// The size rule and the depth rule of imports: a picture of 4 pixels or fewer becomes a 1 x 1
// blank (its alpha buffer is dropped), then the buffer is brought to the library's bit count when
// ConvertsToLibraryBitCount. An 8-bit picture whose colours are not those of the library palette
// keeps them: it is drawn onto the palette only for an 8-bit library, and becomes 24 bits for a
// library that stores any depth. For a 32-bit library the alpha buffer also goes into the top
// byte of every pixel.
void PrepareForLibrary(TLoadedPicture& picture, const TGameImages& library);

// PrepareForLibrary for pictures that come back from a library (conversions, atlases), which keep
// their size: an 8-bit library takes them at their own width (drawn onto the palette unless their
// indexes mean its colours already), without their alpha.
void PrepareKeepingSize(TLoadedPicture& picture, const TGameImages& library);

// How one imported picture enters the library.
enum TImportMode : uint8_t {
    imReplace = 0, // replaces the image at the index
    imInsert = 1,  // goes before the image at the index
    imAppend = 2,  // goes after the last image; the index is not used
};

struct TImportPictureResult {
    bool Loaded = false;   // the picture file was read
    bool Imported = false; // the library took it and was rewritten
    // The library takes no edits (nothing was written); Error says why.
    TEditRefusal Refusal = TEditRefusal::erNone;
    // The offset cannot be stored (outside -32768 .. 32767); nothing was written.
    bool OffsetRefused = false;
    // Where the picture went (the index given, or the new last index when appended).
    int Index = -1;
    std::string Error; // why nothing was imported
};

// Imports one picture file: loads it, applies the size and depth rules, then one edit
// (BeginUpdate(index or -1); Replace, Insert or Add; EndUpdate). A library that refuses (index out
// of its range, a format that cannot take pictures, an edit refusal, an offset outside 16 bits)
// gives Imported false and writes nothing. File-system errors of the library's rewrite raise
// EFileError; the library then stays as it was.
TImportPictureResult ImportPicture(TGameImages& library, const std::string& fileName, int index,
                                   TImportMode mode, TPoint offset, uint8_t compression);

// The library half of ImportPicture, for callers that load the picture first and ask for the
// mode afterwards: a picture already made ready (PrepareForLibrary) goes in by BeginUpdate;
// Replace, Insert or Add; EndUpdate. Loaded is set to true.
TImportPictureResult ImportLoadedPicture(TGameImages& library, TLoadedPicture& picture, int index,
                                         TImportMode mode, TPoint offset, uint8_t compression);

// Several pictures made ready for the library, in one edit: all go in at index (or are appended),
// or, when the library refuses one, none does. Index is the first picture's place; FailedItem
// the position of the picture refused (-1 when none was).
TImportPictureResult ImportLoadedPictures(TGameImages& library,
                                          std::vector<TLoadedPicture>& pictures, int index,
                                          TImportMode mode, TPoint offset, uint8_t compression,
                                          int* FailedItem = nullptr);

} // namespace velmora
