// A 256-entry byte table held in four AVX-512 registers and looked up 64
// bytes at a time.  Include after KELMAR_TARGET_AVX512_BEGIN.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace kelmar {

// Entries 0-63, 64-127, 128-191, 192-255.
struct ByteTable512 {
  __m512i quarter[4];
};

KELMAR_VECTOR_INLINE ByteTable512 LoadByteTable512(const uint8_t* entries) {
  ByteTable512 t;
  for (int q = 0; q < 4; ++q) t.quarter[q] = _mm512_loadu_si512(entries + 64 * q);
  return t;
}

// Two-register permutes see seven bits of the index, so each half of the
// table is one permute, and bit 7 picks the half.
KELMAR_VECTOR_INLINE __m512i LookupBytes512(const ByteTable512& t, __m512i index) {
  const __m512i low = _mm512_permutex2var_epi8(t.quarter[0], index, t.quarter[1]);
  const __m512i high = _mm512_permutex2var_epi8(t.quarter[2], index, t.quarter[3]);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

}  // namespace kelmar
