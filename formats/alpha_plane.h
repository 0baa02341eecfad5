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

// Encodes an 8-bit alpha buffer (index values are alpha; a 32-bit buffer gives its top bytes)
// into a half-width plane of HalfAlphaPlaneSize bytes, choosing the samples whose spread
// (DecodeHalfAlphaPlane) differs least from the buffer: the smallest sum of absolute differences
// over all pixels, found exactly by dynamic programming along the run of samples. Among equally
// close planes the one nearest the pixels each sample stands for is kept, and a sample that no
// pixel shows by itself (the last one of some widths, read only in a mean) takes the smallest value
// that gives its mean. So a buffer that a plane decodes to encodes to that same plane again, byte
// for byte: decoding and encoding again never changes a stored plane. Bytes no pixel reads are 0.
std::vector<uint8_t> EncodeHalfAlphaPlane(const TDIB& Alpha);

// Spreads a half-width plane over an 8-bit buffer of Width × Height (DefaultPalette): with
// s = y × (Width div 2) + x div 2, even columns take plane[s], odd columns the mean of plane[s]
// and plane[s + 1] (plane[s] again past the end). Samples past the end of the plane are 0.
std::unique_ptr<TDIB> DecodeHalfAlphaPlane(std::span<const uint8_t> Plane, int Width, int Height);

// Sets every pixel of Pixels (8, 16, 24 or 32 bits) that the 8-bit Alpha buffer of its size makes
// fully transparent to 0, the black that imports store under transparent pixels. Nothing happens
// when the sizes differ.
void ClearTransparentPixels(TDIB& Pixels, const TDIB& Alpha);

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
