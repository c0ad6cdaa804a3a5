#include "rgb/converters.h"

namespace kelmar {

// Not built yet: draws nothing.
void ConvertRgb565(const BITMAPINFOHEADER*, void*, const PlaneSet*, const uint8_t*, int32_t, int32_t) {}

}  // namespace kelmar
