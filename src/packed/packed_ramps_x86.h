// Packed table ramps (packed_tables.h) computed in 128-bit SSE2 vectors:
// included by the x86 packed writers after they switch the compiler's
// target; everything here has internal linkage.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "packed/packed_tables.h"

namespace kelmar {
namespace {

KELMAR_VECTOR_INLINE __m128i LoadRampWords(const int16_t* words) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(words));
}

// The words of a ramp for one word vector of 256 * d + fine.
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m128i RampWords(__m128i a, const RampVectors& ramp, int lane,
                                       __m128i shift) {
  const __m128i y = _mm_adds_epi16(_mm_mulhi_epi16(a, LoadRampWords(ramp.scale + lane)),
                                   LoadRampWords(ramp.offset + lane));
  // Less the mask of a's sign: one more below the middle.
  if (kRounding == RampRounding::kBelowMiddle)
    return _mm_subs_epi16(_mm_sra_epi16(y, shift), _mm_srai_epi16(a, 15));
  const __m128i toward =
      _mm_and_si128(_mm_srai_epi16(y, 15), LoadRampWords(ramp.towardZero + lane));
  return _mm_adds_epi16(_mm_sra_epi16(_mm_add_epi16(y, toward), shift),
                        LoadRampWords(ramp.lift + lane));
}

KELMAR_VECTOR_INLINE __m128i LoadRampBytes(const uint8_t* bytes) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Sixteen samples through a ramp whose words `low` serve bytes 0-7 and
// `high` bytes 8-15: lanes 0 and 0 of RampVectors for one table, 0 and 8
// (with the byte arrays `byHalves`) for a table in each half.
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m128i ComputeRamp(const RampVectors& ramp, bool byHalves, int high,
                                         int shift, __m128i samples) {
  const __m128i d = _mm_xor_si128(samples, _mm_set1_epi8(-128));
  const __m128i fines = LoadRampBytes(byHalves ? ramp.fineByHalves : ramp.fine);
  const __m128i count = _mm_cvtsi32_si128(shift);
  __m128i entries =
      _mm_packus_epi16(RampWords<kRounding>(_mm_unpacklo_epi8(fines, d), ramp, 0, count),
                       RampWords<kRounding>(_mm_unpackhi_epi8(fines, d), ramp, high, count));
  if (ramp.corrected) {
    for (int k = 0; k < kRampCorrections; ++k) {
      const __m128i at = LoadRampBytes(byHalves ? ramp.correctAtByHalves[k] : ramp.correctAt[k]);
      const __m128i by = LoadRampBytes(byHalves ? ramp.correctByByHalves[k] : ramp.correctBy[k]);
      entries = _mm_add_epi8(entries, _mm_and_si128(_mm_cmpeq_epi8(samples, at), by));
    }
  }
  return entries;
}

// Sixteen luma samples through PackedLumaTable's ramp.
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m128i ComputeLumaRamp(const PackedLookups& lookups, __m128i samples) {
  return ComputeRamp<kRounding>(lookups.lumaRamp, false, 0, lookups.lumaShape.shift, samples);
}

// Eight U samples in bytes 0-7 and eight V samples in bytes 8-15 through
// their ramps.
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m128i ComputeChromaRamps(const PackedLookups& lookups, __m128i samples) {
  return ComputeRamp<kRounding>(lookups.chromaRamp, true, 8, lookups.chromaShape.shift, samples);
}

}  // namespace
}  // namespace kelmar
