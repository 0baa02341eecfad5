#pragma once

#include "core/game_images.h"

#include <string>
#include <vector>

namespace velmora::demo {

// The password of the demo's second Pak library, kept in the demo's Pak.txt.
inline constexpr const char* kDemoSecretPassword = "velmora-demo";

// One library of the demo folder.
struct TDemoLibrary {
    std::string FileName; // full path
    TImageType Kind = t_Wil;
    int BitCount = 8;       // what the library is created with
    int ImageCount = 0;     // images written
    bool WithAlpha = false; // its pictures carry an alpha plane
    std::string PassWord;   // the password of a Pak library; empty for the other kinds
    std::string Description;
};

// The libraries of a demo program folder, in the order of its recent-file list (newest first),
// with their full paths under folder + "Data/". Nothing is written.
std::vector<TDemoLibrary> DemoLibraries(const std::string& folder);

// Writes a demo program folder: the libraries of DemoLibraries (each replaced when it exists),
// Config.ini listing them and Pak.txt holding the password of the Pak library that does not use
// the default one. folder is created when missing. Raises EFileError when something cannot be
// written; sets g_AppDir to folder (with a separator) for the product's file writers.
std::vector<TDemoLibrary> WriteDemoFolder(const std::string& folder);

} // namespace velmora::demo
