// The built-in test picture, so the tool runs with nothing to download.
#pragma once

#include "frame.h"

namespace kconvert {

constexpr int kTestPictureWidth = 352;
constexpr int kTestPictureHeight = 288;

// Colour bars, grey ramps, saturated gradients and fine detail, laid out in
// bands that scale with the size: every layout's rounding and dither shows.
// Any size from 1 x 1 works.
Frame MakeTestPicture(int width, int height);

}  // namespace kconvert
