#pragma once

#include "core/dib.h"
#include "core/png_picture.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

// Alpha planes stored after the colour block of compressed images.
//
// A full-resolution plane holds one byte per pixel laid out like the storage of an 8-bit pixel
// buffer (bottom row first, rows padded to 4 bytes). A half-width plane holds width div 2 bytes
// per row, top row first, rows unpadded; readers spread it back over the full width.

// Bytes of the half-width plane the encoder writes for an alpha buffer of this size:
// (height × 8-bit row stride) div 2, except for width 2, where that length equals a full plane's
// width × height and (width × height) div 2 is written instead so that readers still recognise
// the plane as half-width.
uint64_t HalfAlphaPlaneSize(int Width, int Height);

// Encodes an 8-bit alpha buffer (index values are alpha) into a half-width plane of
// HalfAlphaPlaneSize bytes: row r, byte i takes a[2i] for even i and (a[2i] + a[2i + 1]) div 2
// for odd i; the bytes after the last row are 0. A 32-bit buffer gives its top bytes.
std::vector<uint8_t> EncodeHalfAlphaPlane(const TDIB& Alpha);

// Spreads a half-width plane over an 8-bit buffer of Width × Height (DefaultPalette): with
// s = y × (Width div 2) + x div 2, even columns take plane[s], odd columns the mean of plane[s]
// and plane[s + 1] (plane[s] again past the end). Samples past the end of the plane are 0.
std::unique_ptr<TDIB> DecodeHalfAlphaPlane(std::span<const uint8_t> Plane, int Width, int Height);

// Copies a full-resolution plane into the storage of an 8-bit buffer of Width × Height
// (DefaultPalette), as far as the plane reaches.
std::unique_ptr<TDIB> ReadFullAlphaPlane(std::span<const uint8_t> Plane, int Width, int Height);

// Picks the plane the bytes after a colour block hold, by their length E: width × height is a
// full plane; (width × height) div 2 or (height × 8-bit row stride) div 2 a half-width plane.
// Null for any other length (no alpha).
std::unique_ptr<TDIB> DecodeAlphaPlane(std::span<const uint8_t> Extra, int Width, int Height);

// The picture of an image with alpha: an RGB picture with alpha (palette pixels are expanded to
// their colours) whose alpha row y is row y of the 8-bit Alpha buffer. Alpha must have the size of
// Pixels; null otherwise or when Pixels is empty.
std::unique_ptr<TPngPicture> MakeAlphaPicture(const TDIB& Pixels, const TDIB& Alpha);

} // namespace velmora
