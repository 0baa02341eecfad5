#pragma once

#include "core/game_images.h"
#include "operations/progress.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// True for the conversions the program offers: from any kind into any other kind that can be
// written (WIL, WZL, Pak); WIS libraries are only read.
bool ConversionSupported(TImageType source, TImageType target);

// True for the pairs that copy stored records as they are (WIL, WZL into Pak; WIL into WZL); the
// others decode every picture and encode it for the target.
bool ConvertsRecords(TImageType source, TImageType target);

struct TConvertOptions {
    std::string SourcePath;
    TImageType SourceKind = t_Wil;
    std::string TargetPath;
    TImageType TargetKind = t_Quillrand;
    uint8_t Compression = 0;
    // Password of a Pak target; empty means the default password.
    std::string PassWord;
    // Password of a Pak source; none: its password-list entry, else the default password.
    std::optional<std::string> SourcePassWord;
    // Bit count of a WIL target (8, 16, 24, 32); 0 chooses it (ConversionPlan).
    int BitCount = 0;
};

// What a conversion will do with the pictures, found from the source's image headers before it
// starts (images whose alpha only decoding tells are decoded).
struct TConversionPlan {
    bool Opened = false;
    bool WrongPassword = false; // a Pak source whose password does not fit
    std::string Error;          // why the source could not be read
    int SourceCount = 0;
    // The bit count the target is created with: the source's, or for a WIL target of a source
    // that stores any depth (WZL, Pak) the deepest depth its images use.
    int TargetBitCount = 8;
    // Images with an alpha plane whose alpha the target cannot keep (transparent pixels become
    // black, the transparent colour).
    int AlphaLost = 0;
    // Images whose alpha the target keeps at half resolution (WZL stores a half-width plane).
    int AlphaReduced = 0;
    // Images of more bits than the target stores: their colours are reduced to TargetBitCount.
    int ColoursReduced = 0;
    bool Lossy() const { return AlphaLost > 0 || AlphaReduced > 0 || ColoursReduced > 0; }
};

// Reads the source of a conversion and tells what converting it would lose.
TConversionPlan PlanConversion(const TConvertOptions& options);

// The losses of a plan in English, one sentence per kind of loss; empty when nothing is lost.
std::string ConversionLossText(const TConversionPlan& plan);

struct TConvertResult {
    bool Done = false;
    bool WrongPassword = false; // a Pak source whose password does not fit
    int Converted = 0;          // images stored in the target, empty slots included
    // Images of the source that could not be decoded: they became empty images.
    int Undecodable = 0;
    TConversionPlan Plan; // what the conversion lost
    std::string Error;    // why the target was not written
};

// Copies every image of the source library into a new library at TargetPath. The record pairs
// (ConvertsRecords) go record by record (Convert); every other pair goes picture by picture (Get,
// Add) with the pictures brought to the target's bit count as imports bring them (pictures keep
// their size), and an image without a picture becomes an empty image so that numbering stays
// aligned. The target gets the plan's bit count. A missing source, a source that does not open, a
// target that cannot be created or written, or one that would hold fewer images than the source
// is a failure, and an existing target is left untouched then: the new library is built under a
// temporary name and renamed over the target only when complete. An existing target is replaced
// under its edit lock, after what a conversion into it that was cut short left is settled.
TConvertResult ConvertLibrary(const TConvertOptions& options, const TProgress& progress = {});

} // namespace velmora
