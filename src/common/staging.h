// Block moves between the caller's rows and a converter's local staging
// areas: an MMX variant with 8-byte moves and an integer variant with 4-byte
// moves.  Both move the same bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/addressing.h"
#include "common/features.h"

#if KELMAR_HAVE_MMX
#include <mmintrin.h>
#endif

namespace kelmar {

template <int Bytes>
inline void CopyWords(uint8_t* to, const uint8_t* from) {
  static_assert(Bytes % 4 == 0, "whole 32-bit words");
  for (int i = 0; i < Bytes; i += 4) {
    uint32_t word;
    std::memcpy(&word, from + i, 4);
    std::memcpy(to + i, &word, 4);
  }
}

#if KELMAR_HAVE_MMX
// Eight unaligned bytes.
struct Bytes8 {
  uint8_t b[8];
};

// The 8-byte moves go through MMX registers explicitly: written as plain
// copies, compilers turn them into general-register or SSE moves.
KELMAR_TARGET_MMX inline __m64 LoadMmx(const uint8_t* from) {
  __m64 q;
  __asm__("movq %1, %0" : "=y"(q) : "m"(*reinterpret_cast<const Bytes8*>(from)));
  return q;
}
KELMAR_TARGET_MMX inline void StoreMmx(uint8_t* to, __m64 q) {
  __asm__("movq %1, %0" : "=m"(*reinterpret_cast<Bytes8*>(to)) : "y"(q));
}

template <int Bytes>
KELMAR_TARGET_MMX inline void CopyMmx(uint8_t* to, const uint8_t* from) {
  static_assert(Bytes % 8 == 0, "whole 64-bit words");
  for (int i = 0; i < Bytes; i += 8) StoreMmx(to + i, LoadMmx(from + i));
}
#endif

// Samples of one row pair of one macroblock: two 16-byte luma runs and the
// 8-byte U and V runs that serve them.
struct StagedRowPair {
  uint8_t y0[16];
  uint8_t y1[16];
  uint8_t u[8];
  uint8_t v[8];
};

inline void StageInputWords(StagedRowPair& in, const RowPair& src) {
  CopyWords<16>(in.y0, src.y0);
  CopyWords<16>(in.y1, src.y1);
  CopyWords<8>(in.u, src.u);
  CopyWords<8>(in.v, src.v);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX inline void StageInputMmx(StagedRowPair& in, const RowPair& src) {
  CopyMmx<16>(in.y0, src.y0);
  CopyMmx<16>(in.y1, src.y1);
  CopyMmx<8>(in.u, src.u);
  CopyMmx<8>(in.v, src.v);
}
#endif

}  // namespace kelmar
