// The RGB converters behind Kelmar()'s dispatch.  Each converts the marked
// macroblocks of `planes` into `dst`; a non-zero `zoom` writes double size.
// `call` gives the paths chosen for the call and the tables of its display
// setting.
#pragma once

#include <cstdint>

#include "kelmar.h"
#include "rgb/convert_state.h"

namespace kelmar {

void ConvertRgb24(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                  const uint8_t* mbMap, int32_t zoom, const RgbCall& call);
void ConvertRgb555(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, int32_t zoom, const RgbCall& call);
void ConvertRgb565(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, int32_t zoom, const RgbCall& call);
void ConvertPal8(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, int32_t zoom, const RgbCall& call);

}  // namespace kelmar
