#pragma once

// Helpers for the crash and failure tests: libraries of every writable kind and layout, opened
// the way the program opens them, and a pixel-exact fingerprint of their content.

#include "core/game_images.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::safety_test {

enum class TLibraryCase { Wil, Wzl, PakNew, PakOld };

// The password of the Pak libraries these helpers create and open.
inline constexpr char kTestPakPassword[] = "crash-test";

const char* CaseName(TLibraryCase c);
// The data file name of the case in folder.
std::string LibraryPath(const std::string& folder, TLibraryCase c);
// Creates a library of Count pictures (Side x Side, 16 bits) through the library's own writer.
void CreateTestLibrary(const std::string& path, TLibraryCase c, int count, int side);
// Opens a library as the program does (Pak with the tests' password); null when it does not open.
std::unique_ptr<TGameImages> OpenTestLibrary(const std::string& path, TLibraryCase c);
// A 16-bit picture whose pixels follow seed.
std::unique_ptr<TDIB> TestPicture(int side, uint32_t seed);

// One entry per image: a hash of its size and every pixel, and its offset.
struct TImageFingerprint {
    uint64_t Pixels = 0;
    TPoint Point;
    friend bool operator==(const TImageFingerprint&, const TImageFingerprint&) = default;
};
using TFingerprint = std::vector<TImageFingerprint>;
TFingerprint Fingerprint(TGameImages& library);
// The hash of a picture's size and pixels; 0 for none.
uint64_t PictureHash(const TPicture* picture);

// Names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

} // namespace velmora::safety_test
