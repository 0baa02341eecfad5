#pragma once

#include "core/dib.h"

#include <cstdint>
#include <memory>

namespace velmora::demo {

// Pictures of the demo libraries, drawn by code. Every picture is a 32-bit buffer whose pixel
// words are 0xAARRGGBB; pictures without transparency have alpha 255 everywhere, so the alpha
// byte can be dropped or kept depending on what the library stores.

// A 32-bit buffer filled with one opaque colour (0xRRGGBB).
TDIB NewCanvas(int width, int height, uint32_t rgb);

// Draws the decimal digits of number with a 3 x 5 pixel font, each font pixel a scale x scale
// square, top-left corner at (x, y). Pixels outside the buffer are dropped.
void DrawNumber(TDIB& canvas, int number, int x, int y, int scale, uint32_t rgb);
// Width in pixels of DrawNumber's text.
int NumberWidth(int number, int scale);

// A floor tile: a colour that walks round the hue circle with the number, a lighter border, a
// checker pattern and the number in the middle.
TDIB NumberedTile(int number, int width, int height);

// One of six shapes (disc, ring, triangle, diamond, cross, star) chosen by index, filled with a
// vertical gradient, on black (the transparent colour of opaque libraries); its number in the
// bottom-left corner.
TDIB ShapePicture(int index, int size);

// A sprite with real transparency: a round body whose edge fades out, eyes, a shadow at half
// alpha and its number. Pixels outside the body have alpha 0 and colour 0.
TDIB SpritePicture(int index, int width, int height);

// The alpha bytes of a 32-bit picture as an 8-bit buffer of the same size (what the libraries
// take as their alpha plane); null for pictures of other bit counts.
std::unique_ptr<TDIB> AlphaPlaneOf(const TDIB& picture);

} // namespace velmora::demo
