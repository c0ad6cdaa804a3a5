// Block moves between the caller's rows and a converter's local staging
// areas: an MMX variant with 8-byte moves and an integer variant with 4-byte
// moves.  Both move the same bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "exports/state.h"
#include "rgb/convert_state.h"

#if defined(__i386__) || defined(__x86_64__)
#include <mmintrin.h>
#define KELMAR_HAVE_MMX 1
#define KELMAR_TARGET_MMX __attribute__((target("mmx")))
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
struct RowPairInput {
  uint8_t y0[16];
  uint8_t y1[16];
  uint8_t u[8];
  uint8_t v[8];
};

struct RowPairSource {
  const uint8_t* y0;
  const uint8_t* y1;
  const uint8_t* u;
  const uint8_t* v;
};

inline void StageInputWords(RowPairInput& in, const RowPairSource& src) {
  CopyWords<16>(in.y0, src.y0);
  CopyWords<16>(in.y1, src.y1);
  CopyWords<8>(in.u, src.u);
  CopyWords<8>(in.v, src.v);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX inline void StageInputMmx(RowPairInput& in, const RowPairSource& src) {
  CopyMmx<16>(in.y0, src.y0);
  CopyMmx<16>(in.y1, src.y1);
  CopyMmx<8>(in.u, src.u);
  CopyMmx<8>(in.v, src.v);
}
#endif

using RowPairConverter = void (*)(const RowPairSource& src, uint8_t* out0, uint8_t* out1);

// Normal size: the eight row pairs of one macroblock, with the rows found by
// stepping from the macroblock row's first table entries by the stride of
// entries 0 and 1.  Each pair goes through the MMX or the integer converter,
// as UseMmx says; `mmx` may be null where there is no MMX.
inline void ConvertSteppedMacroblock(const RowPairSource& first, intptr_t lumaStride,
                                     int64_t rowBytes, uint8_t* out, RowPairConverter integer,
                                     RowPairConverter mmx) {
  const RowPairConverter convert = UseMmx && mmx ? mmx : integer;
  const intptr_t chromaStride = ChromaStrideFromLuma(lumaStride);
  RowPairSource src = first;
  for (int j = 0; j < 8; ++j) {
    src.y1 = StepBytes(src.y0, lumaStride);
    convert(src, out, out + rowBytes);
    src.y0 = StepBytes(src.y0, 2 * lumaStride);
    src.u = StepBytes(src.u, chromaStride);
    src.v = StepBytes(src.v, chromaStride);
    out = StepBytes(out, 2 * rowBytes);
  }
}

}  // namespace kelmar
