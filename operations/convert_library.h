#pragma once

#include "core/game_images.h"
#include "operations/progress.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// True for the conversions the program offers: WIL, WIS or WZL into Pak, and WIL into WZL.
bool ConversionSupported(TImageType source, TImageType target);

struct TConvertOptions {
    std::string SourcePath;
    TImageType SourceKind = t_Wil;
    std::string TargetPath;
    TImageType TargetKind = t_Quillrand;
    uint8_t Compression = 0;
    // Password of a Pak target; empty means the default password.
    std::string PassWord;
};

struct TConvertResult {
    bool Done = false;
    int Converted = 0; // images stored in the target, empty slots included
    std::string Error; // why the target was not written
};

// Copies every image of the source library into a new library at TargetPath. WIL and WZL sources
// go record by record (Convert); a WIS source goes picture by picture (Get, Add), and an image
// without a picture becomes an empty image so that numbering stays aligned. The target gets the
// source's bit count. A missing source, a source that does not open, a target that cannot be
// created or written is a failure, and an existing target is left untouched then: the new library
// is built under a temporary name and renamed over the target only when complete.
TConvertResult ConvertLibrary(const TConvertOptions& options, const TProgress& progress = {});

// Finishes or removes what a conversion into target that was cut short (a crash, a kill) left:
// its replacement is completed when it had begun, its unfinished work library removed otherwise.
// Every conversion does this first; opening the target does it as well.
void RecoverConversion(const std::string& target, TImageType kind);

} // namespace velmora
