// The byte shuffles that interleave 16 blue, green and red bytes into 48
// bytes of 24-bit pixels.  Included by the SSSE3 and AVX2 files after they
// have switched the compiler's target (PSHUFB is SSSE3); everything here
// has internal linkage.
#pragma once

#include <tmmintrin.h>

#include <cstdint>

#include "common/features.h"

namespace kelmar {
namespace {

// Byte p of the 48 output bytes of 16 pixels is colour p % 3 of pixel p / 3.
// kBgrShuffle[part][colour] gathers the bytes of output part (16 bytes) from
// the 16 bytes of one colour; -128 leaves a zero for the other colours.
struct BgrShuffles {
  int8_t bytes[3][3][16];
};
constexpr BgrShuffles MakeBgrShuffles() {
  BgrShuffles s{};
  for (int part = 0; part < 3; ++part)
    for (int colour = 0; colour < 3; ++colour)
      for (int p = 0; p < 16; ++p) {
        const int q = 16 * part + p;
        s.bytes[part][colour][p] = static_cast<int8_t>(q % 3 == colour ? q / 3 : -128);
      }
  return s;
}
alignas(16) constexpr BgrShuffles kBgrShuffle = MakeBgrShuffles();

KELMAR_VECTOR_INLINE __m128i Shuffle(int part, int colour) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgrShuffle.bytes[part][colour]));
}

KELMAR_VECTOR_INLINE __m128i BgrPart(int part, __m128i b, __m128i g, __m128i r) {
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(b, Shuffle(part, 0)), _mm_shuffle_epi8(g, Shuffle(part, 1))),
      _mm_shuffle_epi8(r, Shuffle(part, 2)));
}

}  // namespace
}  // namespace kelmar
