// A small 5 x 7 bitmap font for the labels of the contact sheet.
#pragma once

#include <cstdint>
#include <string>

#include "display_image.h"

namespace kconvert {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// Width in pixels of `text` drawn at `scale`.
int TextWidth(const std::string& text, int scale);

// Draws `text` with its top left corner at (x, y), each font pixel as a
// scale x scale square, clipped to the image.  Lower case is drawn as upper
// case; characters the font lacks as '?'.
void DrawText(RgbImage& image, int x, int y, const std::string& text, int scale,
              const uint8_t (&colour)[3]);

}  // namespace kconvert
