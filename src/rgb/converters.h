// The RGB converters behind Kelmar()'s dispatch.  Each converts the marked
// macroblocks of `planes` into `dst`, an output of `geometry`; `call` gives
// the paths chosen for the call and the tables of its display setting.
#pragma once

#include <cstdint>

#include "common/geometry.h"
#include "kelmar.h"
#include "rgb/convert_state.h"

namespace kelmar {

// Each RGB layout's own paths, defined in its file.
extern const RgbLayoutKernels kRgb24Kernels;
extern const RgbLayoutKernels kRgb555Kernels;
extern const RgbLayoutKernels kRgb565Kernels;
extern const RgbLayoutKernels kPal8Kernels;

void ConvertRgb24(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                  const uint8_t* mbMap, const RgbCall& call);
void ConvertRgb555(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, const RgbCall& call);
void ConvertRgb565(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, const RgbCall& call);
void ConvertPal8(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, const RgbCall& call);

}  // namespace kelmar
