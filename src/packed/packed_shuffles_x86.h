// Byte-shuffle lookups of the packed tables, written once over a type of
// byte operations (Bytes128 here; the AVX2 writer adds 256-bit ones):
// included by the x86 packed writers after they switch the compiler's
// target; everything here has internal linkage, and a writer instantiates
// only what its instruction set has.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "packed/packed_tables.h"
#include "tables/nibble_vectors.h"

namespace kelmar {
namespace {

// The byte operations the table lookups use, for 128-bit vectors.
struct Bytes128 {
  using V = __m128i;
  KELMAR_VECTOR_INLINE static V Load(const uint8_t* p) {
    return _mm_load_si128(reinterpret_cast<const V*>(p));
  }
  KELMAR_VECTOR_INLINE static V Set8(char value) { return _mm_set1_epi8(value); }
  KELMAR_VECTOR_INLINE static V Zero() { return _mm_setzero_si128(); }
  KELMAR_VECTOR_INLINE static V And(V a, V b) { return _mm_and_si128(a, b); }
  KELMAR_VECTOR_INLINE static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  KELMAR_VECTOR_INLINE static V Shuffle(V table, V index) { return _mm_shuffle_epi8(table, index); }
  KELMAR_VECTOR_INLINE static V Blend(V a, V b, V mask) { return _mm_blendv_epi8(a, b, mask); }
  KELMAR_VECTOR_INLINE static V AddsU8(V a, V b) { return _mm_adds_epu8(a, b); }
  KELMAR_VECTOR_INLINE static V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
  KELMAR_VECTOR_INLINE static V Add8(V a, V b) { return _mm_add_epi8(a, b); }
  KELMAR_VECTOR_INLINE static V CmpGt8(V a, V b) { return _mm_cmpgt_epi8(a, b); }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Slli16(V a) {
    return _mm_slli_epi16(a, kBits);
  }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Srli16(V a) {
    return _mm_srli_epi16(a, kBits);
  }
  // Per byte: the 16-bit shift's bits from the next byte masked off.
  template <int kBits>
  KELMAR_VECTOR_INLINE static V ShiftRight8(V a) {
    return And(Srli16<kBits>(a), Set8(static_cast<char>(0xFF >> kBits)));
  }
};

// table[index]: a shuffle of each 16-entry slice by the low four index
// bits, then a tree of blends on bits 4 to 7.  The vectors load each slice
// from byte `half` of its 32 (0 for 256-bit vectors).
template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupByBlends(const SlicedTables& table, int half, V index) {
  const V low = B::And(index, B::Set8(0x0F));
  V level[16];
  for (int s = 0; s < 16; ++s) level[s] = B::Shuffle(B::Load(table.slice[s] + half), low);
  // Bit b of every index byte moved to the byte's top bit, which the blend
  // tests; 16-bit shifts by less than 8 bring in only lower bits of the same
  // byte below it.
  const V bit4 = B::template Slli16<3>(index);
  for (int s = 0; s < 8; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit4);
  const V bit5 = B::template Slli16<2>(index);
  for (int s = 0; s < 4; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit5);
  const V bit6 = B::template Slli16<1>(index);
  for (int s = 0; s < 2; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit6);
  return B::Blend(level[0], level[1], index);
}

// Left as it stands: the compiler may not regroup the XORs of a chain into
// a tree, whose 16 pending shuffles would spill with 8 registers.
template <typename V>
KELMAR_VECTOR_INLINE void KeepInOrder(V& value) {
  asm("" : "+x"(value));
}

// table[index] over chained slices.  The shuffle of slice s of the index's
// half of the table reads the slice exactly when s is the index's own slice
// or a later one of the half: it selects by index + 0x70 - 16s, whose top
// bit is clear just then and whose low four bits are the index's.  The
// selector starts at index + 0x70 (saturating, so an index of the other
// half stays above 0x80) and steps down by 16 (saturating, never reaching
// zero), which needs two constants and three working registers.
template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupByChain(const SlicedTables& table, int half, V index) {
  const V start = B::Set8(0x70);
  const V step = B::Set8(16);
  V result = B::Zero();
  for (int part = 0; part < 2; ++part) {
    V select = B::AddsU8(part ? B::Xor(index, B::Set8(-128)) : index, start);
    for (int s = 8 * part; s < 8 * part + 8; ++s) {
      result = B::Xor(result, B::Shuffle(B::Load(table.slice[s] + half), select));
      KeepInOrder(result);
      select = B::SubsU8(select, step);
    }
  }
  return result;
}

template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupSliced(const SlicedTables& table, int half, V index) {
  return kXorChainedSlices ? LookupByChain<B>(table, half, index)
                           : LookupByBlends<B>(table, half, index);
}

// table[sample] for a table with a form by halves (NibbleTables): five
// 16-entry shuffles, four where no base lies below zero (kLowers false), the
// loads from byte `half` of the 32 of each (0 for 256-bit vectors, whose
// lanes hold a table each).
template <typename B, bool kLowers, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupByNibbles(const NibbleVectors& t, int half, V samples) {
  const NibbleVecs<V> tables = {
      B::Load(t.raise + half), kLowers ? B::Load(t.lower + half) : B::Zero(),
      B::Load(t.threshold + half), B::Load(t.step + half), B::Load(t.rank + half)};
  return EntriesByNibbles<B, kLowers>(tables, samples);
}

}  // namespace
}  // namespace kelmar
