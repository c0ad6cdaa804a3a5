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
// Blue and green are first interleaved into pairs (pixels 0-7 in one
// vector, 8-15 in the next), so that each 16-byte output part takes its blue
// and green bytes with one shuffle of 8 pairs and its red bytes with another:
// part 0 from pairs 0-7, part 1 from pairs 5-12 (the two vectors aligned by
// 10 bytes), part 2 from pairs 8-15.  A shuffle index of -128 leaves a zero
// for the other shuffle's bytes.
constexpr int kBgrPairWindow[3] = {0, 5, 8};  // the first pair of each part's window

struct BgrShuffles {
  int8_t pairs[3][16];
  int8_t red[3][16];
};
constexpr BgrShuffles MakeBgrShuffles() {
  BgrShuffles s{};
  for (int part = 0; part < 3; ++part)
    for (int p = 0; p < 16; ++p) {
      const int q = 16 * part + p;
      const int pixel = q / 3;
      const int colour = q % 3;
      s.pairs[part][p] =
          static_cast<int8_t>(colour < 2 ? 2 * (pixel - kBgrPairWindow[part]) + colour : -128);
      s.red[part][p] = static_cast<int8_t>(colour == 2 ? pixel : -128);
    }
  return s;
}
alignas(16) constexpr BgrShuffles kBgrShuffle = MakeBgrShuffles();

KELMAR_VECTOR_INLINE __m128i PairShuffle(int part) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgrShuffle.pairs[part]));
}
KELMAR_VECTOR_INLINE __m128i RedShuffle(int part) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgrShuffle.red[part]));
}

// The three 16-byte parts of the 24-bit pixels of 16 blue, green and red
// bytes.
struct BgrParts128 {
  __m128i part[3];
};
KELMAR_VECTOR_INLINE BgrParts128 InterleaveBgr(__m128i b, __m128i g, __m128i r) {
  const __m128i low = _mm_unpacklo_epi8(b, g);
  const __m128i high = _mm_unpackhi_epi8(b, g);
  const __m128i windows[3] = {low, _mm_alignr_epi8(high, low, 2 * kBgrPairWindow[1]), high};
  BgrParts128 parts;
  for (int k = 0; k < 3; ++k)
    parts.part[k] = _mm_or_si128(_mm_shuffle_epi8(windows[k], PairShuffle(k)),
                                 _mm_shuffle_epi8(r, RedShuffle(k)));
  return parts;
}

}  // namespace
}  // namespace kelmar
