// Address arithmetic on the caller's row pointers and output buffer.
//
// Rows may lie anywhere (upward tables, separate allocations), so distances
// are taken on the addresses rather than as pointer differences within one
// object, and pointers step the same way: after a macroblock's last row pair
// they may point past the caller's buffer, where they are never used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelmar.h"

namespace kelmar {

inline ptrdiff_t RowDistance(const void* from, const void* to) {
  return static_cast<ptrdiff_t>(reinterpret_cast<uintptr_t>(to) -
                                reinterpret_cast<uintptr_t>(from));
}

template <typename T>
inline T* StepBytes(T* p, ptrdiff_t bytes) {
  return reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(bytes));
}

// The luma stride of the row tables, from entries 0 and 1, and the chroma
// stride derived from it (half, rounded toward minus infinity).
inline ptrdiff_t LumaStride(const PlaneSet* planes) {
  return RowDistance(planes->yRows[0], planes->yRows[1]);
}
inline ptrdiff_t ChromaStrideFromLuma(ptrdiff_t lumaStride) {
  return lumaStride >= 0 ? lumaStride / 2 : -((-lumaStride + 1) / 2);
}

// A row pair: two luma rows, the chroma rows that serve both, and the two
// output rows they go to.  Rows are pointers, or (one row pair in each
// 128-bit lane of a wider vector) the lane forms of rgb/wide_rgb.h.
template <typename Rows = const uint8_t*, typename OutRows = uint8_t*>
struct RowPairOf {
  Rows y0, y1, u, v;
  OutRows out0, out1;
};
using RowPair = RowPairOf<>;

}  // namespace kelmar
