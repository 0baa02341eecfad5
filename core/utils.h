#pragma once

#include "core/dib.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

// The file-name part of Path without its extension. The name ends where the extension (text from
// the last dot) first occurs in it, compared without regard to case: x.wil.wil gives x.
std::string FileNameWithoutExt(const std::string& Path);

// Str as a decimal integer (low 32 bits) when it starts with a digit, "+" or "-" and converts
// whole; else Default.
int32_t TextToInt(const std::string& Str, int32_t Default);

// Splits off the first token of Str: skips leading dividers, Dest gets the run up to the next
// divider, the result is everything after that divider.
std::string SplitToken(const std::string& Str, std::string& Dest, const std::string& Dividers);

// Both strings have at least N characters and their first N are equal after folding a-z to A-Z.
bool SameTextPrefix(const std::string& Str1, const std::string& Str2, int N);

std::string BoolText(bool Value);
int32_t MinInt(int32_t A, int32_t B);

// Case-insensitive comparison of ASCII letters (file names and extensions).
bool SameText(const std::string& a, const std::string& b);
std::string UpperCase(const std::string& s);
// The extension of a path including its dot ("" when none).
std::string ExtractFileExt(const std::string& Path);
// The folder of a path including its trailing separator ("" when none).
std::string ExtractFilePath(const std::string& Path);
std::string ExtractFileName(const std::string& Path);
// Path with its extension replaced (Ext includes the dot).
std::string ChangeFileExt(const std::string& Path, const std::string& Ext);

// A copy of a surface (the caller owns it).
std::unique_ptr<TDIB> CopyBitmapHandle(const TDIB& Bitmap);

// Draws Bitmap at (X, Y) of DC so that pixels of exactly TransparentColor leave DC unchanged and
// every other pixel replaces it.
void BlitTransparent(TDIB& DC, int X, int Y, const TDIB& Bitmap, TColor TransparentColor);

} // namespace velmora
