// Shared driver state and helpers of the RGB converters.
//
// Every RGB converter walks the picture in the same way: a driver over the
// macroblock rows (top to bottom) and a row converter over the macroblocks of
// one row (left to right), converting those whose map byte is non-zero.
#pragma once

#include <cstdint>

#include "kelmar.h"
#include "tables/adjust_tables.h"

namespace kelmar {

struct ConvertState {
  int32_t srcWidth;
  int32_t srcHeight;
  int32_t mbCols;
  int32_t mbRows;
  // Byte distances are 64-bit so that no header value can overflow them.
  int64_t rowBytes;    // distance between output rows at normal size
  int64_t mbRowBytes;  // 16 output rows at normal size
  uint8_t* rowOut;     // output of the current macroblock row
  int32_t mbIndex;     // next macroblock map byte to test
};

// Sets every field of `state` for a call: the source size is the header's
// size, halved (toward zero) at double size.
inline void StartConvert(ConvertState& state, const BITMAPINFOHEADER* header, void* dst,
                         int32_t zoom, int bytesPerPixel) {
  const int32_t width = header->biWidth;
  const int32_t height = header->biHeight;
  state.srcWidth = zoom ? width / 2 : width;
  state.srcHeight = zoom ? height / 2 : height;
  state.mbCols = state.srcWidth >> 4;
  state.mbRows = state.srcHeight >> 4;
  state.rowBytes = static_cast<int64_t>(bytesPerPixel) * state.srcWidth;
  state.mbRowBytes = 16 * state.rowBytes;
  state.rowOut = static_cast<uint8_t*>(dst);
  state.mbIndex = 0;
}

// Output bytes one macroblock row covers: 16 rows, or 32 rows twice as wide
// at double size.
inline int64_t MacroblockRowAdvance(const ConvertState& state, int32_t zoom) {
  return zoom ? 4 * state.mbRowBytes : state.mbRowBytes;
}

using RowConverter = void (*)(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap,
                              int32_t zoom);

// The driver of every RGB converter: sets `state` for the call and converts
// the picture one macroblock row at a time, top to bottom.
inline void DriveConverter(ConvertState& state, RowConverter convertRow, int bytesPerPixel,
                           const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                           const uint8_t* mbMap, int32_t zoom) {
  StartConvert(state, header, dst, zoom, bytesPerPixel);
  // Without a whole macroblock column nothing is converted, and the output
  // pointer must not walk the rows of a buffer that has none.
  if (state.mbCols < 1) return;
  for (int32_t mbRow = 0; mbRow < state.mbRows; ++mbRow) {
    convertRow(mbRow, planes, mbMap, zoom);
    state.rowOut += MacroblockRowAdvance(state, zoom);
  }
}

// Calls `convertMacroblock(c, out)` for every marked macroblock of the current
// macroblock row, left to right; `out` is where its output starts.  Every
// macroblock visited advances the map index, converted or not.
template <typename ConvertMacroblock>
inline void ForEachMarkedMacroblock(ConvertState& state, int bytesPerPixel, const uint8_t* mbMap,
                                    int32_t zoom, ConvertMacroblock convertMacroblock) {
  const int64_t macroblockBytes = (zoom ? 32 : 16) * bytesPerPixel;
  uint8_t* out = state.rowOut;
  for (int32_t c = 0; c < state.mbCols; ++c) {
    if (mbMap[state.mbIndex]) convertMacroblock(c, out);
    ++state.mbIndex;
    out += macroblockBytes;
  }
}

// Address arithmetic on the caller's row pointers.  Rows may lie anywhere
// (upward tables, separate allocations), so distances are taken on the
// addresses rather than as pointer differences within one object.  Output
// pointers step the same way: after a macroblock's last row pair they may
// point past the caller's buffer, where they are never used.
inline intptr_t RowDistance(const void* from, const void* to) {
  return static_cast<intptr_t>(reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from));
}
template <typename T>
inline T* StepBytes(T* p, int64_t bytes) {
  return reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(bytes));
}

// The luma stride of the row tables and the chroma stride derived from it
// (half, rounded toward minus infinity).
inline intptr_t LumaStride(const PlaneSet* planes) {
  return RowDistance(planes->yRows[0], planes->yRows[1]);
}
inline intptr_t ChromaStrideFromLuma(intptr_t lumaStride) {
  return lumaStride >= 0 ? lumaStride / 2 : -((-lumaStride + 1) / 2);
}

// The three chroma terms of one 2 x 2 block of pixels.
struct PixelTerms {
  int32_t blue;
  int32_t green;
  int32_t red;
};

inline PixelTerms LookupTerms(uint8_t u, uint8_t v) {
  const ChromaTerms& uTerms = UTable[u];
  const ChromaTerms& vTerms = VTable[v];
  return {uTerms.other, uTerms.green + vTerms.green, vTerms.other};
}

}  // namespace kelmar
