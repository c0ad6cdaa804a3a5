// The RGB converters behind Kelmar()'s dispatch.  Each converts the marked
// macroblocks of `planes` into `dst`; `reserved` is not read; a non-zero
// `zoom` writes double size.  LumaTable, UTable and VTable (and for 8-bit
// output the dither tables) must have been built for the call.
#pragma once

#include <cstdint>

#include "kelmar.h"

namespace kelmar {

void ConvertRgb24(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                  const uint8_t* mbMap, int32_t reserved, int32_t zoom);
void ConvertRgb555(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, int32_t reserved, int32_t zoom);
void ConvertRgb565(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, int32_t reserved, int32_t zoom);
void ConvertPal8(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, int32_t reserved, int32_t zoom);

// Row converters: the marked macroblocks of macroblock row `mbRow`, driven by
// the converter's ConvertState.
void ConvertRgb24Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom);
void ConvertRgb555Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom);
void ConvertRgb565Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom);
void ConvertPal8Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom);

}  // namespace kelmar
