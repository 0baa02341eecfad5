#pragma once

#include "core/dib.h"
#include "core/png_picture.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Picture kind, in the order of the export choices (PNG, BMP, TGA, automatic).
enum TImageFormat : uint8_t {
    ifPNG = 0,
    ifBMP = 1,
    ifTGA = 2,
    ifAuto = 3,
};

// Largest picture any reader accepts: neither side above 16384 pixels and at most 256 MiB of
// pixel storage at 32 bits per pixel. Larger headers are refused before anything is allocated.
constexpr int kMaxPictureSide = 16384;
constexpr uint64_t kMaxPictureBytes = uint64_t(256) << 20;
// True when a picture of that size may be loaded.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Why a picture of that size is not loaded ("20000 x 2 pixels is larger than a picture may be
// (16384 pixels a side, 67108864 pixels in all)"); empty when PictureSizeAllowed takes it.
std::string PictureTooLargeText(int64_t width, int64_t height);

// The width and height the header of a picture file gives (PNG, BMP or TGA, by the file's first
// bytes, else by the format given); none when the header cannot be read. A picture that does
// not load may be too large rather than damaged: this tells which.
std::optional<std::pair<int64_t, int64_t>> PictureHeaderSize(std::span<const uint8_t> head,
                                                             TImageFormat format);
std::optional<std::pair<int64_t, int64_t>> PictureFileSize(const std::string& fileName);

// ".tga" -> ifTGA, ".png" -> ifPNG, anything else (or no extension) -> ifBMP; case-insensitive.
TImageFormat PictureFormatOf(const std::string& fileName);

// Reads a picture into bitmap; ifAuto decides by the extension. TGA arrives as a 24- or 32-bit
// bitmap, PNG as LoadPNG describes, BMP in its own bit count; 32-bit bitmaps carry alpha in the top
// byte where the file has alpha. False when the file is damaged, refused or of an unknown kind; the
// bitmap is then unchanged. Raises EFileError when a PNG file cannot be opened.
bool LoadPicture(const std::string& fileName, TDIB& bitmap, TImageFormat format);

// PNG compression levels: 0 (stored) to 12 (smallest, slowest). The default is the fastest level
// whose files are no larger than libpng's at zlib's level 9 (1: sprites come out at 0.85 of
// libpng's bytes; bench/export_bench's PngLevel measures every level against it).
inline constexpr int kDefaultPngLevel = 1;
inline constexpr int kMaxPngLevel = 12;

// Writes bitmap as a picture; ifAuto decides by the extension. PNG at kDefaultPngLevel (an alpha
// channel only when the bitmap HasAlphaChannel), BMP in the bitmap's own bit count, TGA run-length
// compressed, bottom row first (24 and 32 bits only). Returns false when the bitmap cannot be
// written in that format or a TGA file cannot be created or written, or a PNG fails to encode or
// write. Raises EFileError when a PNG or BMP target cannot be created.
bool SavePicture(const std::string& fileName, const TDIB& bitmap, TImageFormat format);

// The name has the extension .bmp, .png or .tga, compared case-insensitively (FindPictureFiles
// also leaves folders out).
bool IsPictureFile(const std::string& fileName);

// Appends the full path (folder + name) of every picture file directly inside folder, in the
// order the file system lists them, hidden files included, sub-folders not entered. folder should
// end in a path separator; one is added when it does not. processMessages, when given, runs after
// every entry (the editor keeps its window responsive with it). Always true, also for an empty or
// missing folder.
bool FindPictureFiles(const std::string& folder, std::vector<std::string>& list,
                      const std::function<void()>& processMessages = {});

// --- The codecs behind LoadPicture and SavePicture ---

// TGA types 2 and 10 at 24 or 32 bits. See LoadPicture for the resulting bit count: a 32-bit file
// gives 32 bits; a 24-bit file gives 24 bits only when stored top first and left to right, else
// 32 bits with top bytes 0. False (bitmap unchanged) on anything damaged or refused.
bool LoadTGA(const std::string& fileName, TDIB& bitmap);
bool LoadTGAFromMemory(std::span<const uint8_t> data, TDIB& bitmap);

// TGA writing flags: 1 = each row right to left, 2 = rows from the top row down, 4 = run-length
// packets (image type 10). The program writes with flag 4 only.
enum : int { tfRightToLeft = 1, tfTopFirst = 2, tfRunLength = 4 };
// Writes a 24- or 32-bit bitmap; false for other bit counts (the created file stays empty), when
// the file cannot be created or a write fails. A 32-bit bitmap is written with 32 bits only when
// it HasAlphaChannel, else with 24 bits (elsewhere a fourth byte of 0 reads as transparent).
bool SaveTGA(const std::string& fileName, const TDIB& bitmap, int flags);
// The bytes SaveTGA writes; empty for bit counts other than 24 and 32 or an empty bitmap.
std::vector<uint8_t> SaveTGAToMemory(const TDIB& bitmap, int flags);

// The TGA run-length packet coder on pixels of bytesPerPixel bytes each.
std::vector<uint8_t> EncodeTGAPackets(std::span<const uint8_t> pixels, int bytesPerPixel);
// Decodes exactly out.size() bytes of pixels from data starting at pos (advanced past the packets
// read). False when the packets run past the end of data or past the end of out.
bool DecodeTGAPackets(std::span<const uint8_t> data, size_t& pos, std::span<uint8_t> out,
                      int bytesPerPixel);

// PNG: read through libpng, written by our own writer (rows filtered one by one, one zlib stream).
// LoadPNG fills bitmap with an 8-bit palette bitmap for palette images (their
// palette as colour table), 32 bits with the alpha in the top byte for colour types 4 and 6, else
// 24 bits (grey and 16-bit images keep their colours at 8 bits per channel). False on a PNG that
// does not decode or is refused, bitmap unchanged; raises EFileError when the file cannot be
// opened.
bool LoadPNG(const std::string& fileName, TDIB& bitmap);
bool LoadPNGFromMemory(std::span<const uint8_t> data, TDIB& bitmap);
// Palette bitmaps of 8 bits or fewer become a palette PNG, a 32-bit bitmap with HasAlphaChannel
// an RGBA PNG (colour type 6), anything else an RGB PNG. level: 0..kMaxPngLevel (others are
// clamped). The file is written under a temporary name and renamed into place. False when
// encoding, writing or the rename fails; raises EFileError when the file cannot be created.
bool SavePNG(const std::string& fileName, const TDIB& bitmap, int level);
// The bytes SavePNG writes; empty when encoding fails or the bitmap is empty.
std::vector<uint8_t> SavePNGToMemory(const TDIB& bitmap, int level);

// The PNG picture type, so pictures with an alpha plane round-trip. Loading keeps grey, grey with
// alpha, palette, RGB and RGBA as such at 8 bits per sample (16-bit samples are cut to 8 bits,
// palettes below 8 bits widened to one index per byte). Null on a PNG that does not decode or is
// refused; raises EFileError when the file cannot be opened.
std::unique_ptr<TPngPicture> LoadPngPicture(const std::string& fileName);
std::unique_ptr<TPngPicture> LoadPngPictureFromMemory(std::span<const uint8_t> data);
// Writes the picture in its own colour type at the level (as SavePNG). False when encoding or
// writing fails; raises EFileError when the file cannot be created.
bool SavePngPicture(const std::string& fileName, const TPngPicture& picture, int level);
std::vector<uint8_t> SavePngPictureToMemory(const TPngPicture& picture, int level);

} // namespace velmora
