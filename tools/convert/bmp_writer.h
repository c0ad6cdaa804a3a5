// .bmp files of the RGB layouts, with the header the library filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "layouts.h"

namespace kconvert {

// A bottom-up .bmp of a picture of the given true size from an RGB
// `target`: the library's header with the true size and the image size,
// the palette behind an 8-bit header, the colour masks behind a 5-6-5 one,
// and rows padded to whole 32-bit words as the file format wants.
std::vector<uint8_t> EncodeBmp(const LayoutTarget& target, int width, int height);

// The same bytes, handed to `write` piece by piece (the headers, then row
// after row), so that a large picture is not held twice.
void WriteBmp(const LayoutTarget& target, int width, int height,
              const std::function<void(const uint8_t*, size_t)>& write);

}  // namespace kconvert
