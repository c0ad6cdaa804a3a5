// PNG files of decoded pictures and contact sheets, through libpng.
#pragma once

#include <cstdint>
#include <vector>

#include "display_image.h"

namespace kconvert {

// Throws ToolError if libpng fails.
std::vector<uint8_t> EncodePng(const RgbImage& image);

}  // namespace kconvert
