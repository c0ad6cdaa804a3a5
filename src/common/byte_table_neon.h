// What the Advanced SIMD kernels share: their byte operations, a 256-byte
// table held in 16 registers and looked up 16 or 8 bytes at a time, and
// the interleaving structure stores.
#pragma once

#include "common/features.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

namespace kelmar {
namespace {

// The byte operations of the Advanced SIMD kernels, those the lookups by
// halves (tables/nibble_vectors.h) take among them.
struct NeonBytes {
  using V = uint8x16_t;
  KELMAR_VECTOR_INLINE static V Set8(char v) { return vdupq_n_u8(static_cast<uint8_t>(v)); }
  KELMAR_VECTOR_INLINE static V And(V a, V b) { return vandq_u8(a, b); }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V ShiftRight8(V a) {
    return vshrq_n_u8(a, kBits);
  }
  KELMAR_VECTOR_INLINE static V Shuffle(V table, V index) { return vqtbl1q_u8(table, index); }
  KELMAR_VECTOR_INLINE static V CmpGt8(V a, V b) {
    return vcgtq_s8(vreinterpretq_s8_u8(a), vreinterpretq_s8_u8(b));
  }
  KELMAR_VECTOR_INLINE static V Add8(V a, V b) { return vaddq_u8(a, b); }
  KELMAR_VECTOR_INLINE static V AddsU8(V a, V b) { return vqaddq_u8(a, b); }
  KELMAR_VECTOR_INLINE static V SubsU8(V a, V b) { return vqsubq_u8(a, b); }
};

struct ByteTableNeon {
  uint8x16x4_t part[4];
};

KELMAR_VECTOR_INLINE ByteTableNeon LoadByteTableNeon(const uint8_t* table) {
  ByteTableNeon t;
  for (int p = 0; p < 4; ++p) t.part[p] = vld1q_u8_x4(table + 64 * p);
  return t;
}

// A table pinned to v8-v23 for a loop.  g++ 12 keeps a table of
// four-register tuples in memory and reloads parts of it for every lookup
// in a loop, or moves the tuples around registers; the 16 registers named
// here hold it for the whole loop, and the lookups name them.
// KELMAR_PIN_TABLE(t, table) declares them in the function that runs the
// loop, KELMAR_PINNED_LOOKUP(t, level, index) looks a vector of 16 or 8
// bytes up: table[index], the first 64 entries by a lookup that gives 0
// outside them, the others by lookups that leave the bytes outside their 64
// entries as they were, each with the index moved down by 64 (wrapping, so
// the parts already passed land above 63).  One constant register.
#define KELMAR_PIN_TABLE(t, table)                               \
  register uint8x16_t t##0 asm("v8") = (table).part[0].val[0];   \
  register uint8x16_t t##1 asm("v9") = (table).part[0].val[1];   \
  register uint8x16_t t##2 asm("v10") = (table).part[0].val[2];  \
  register uint8x16_t t##3 asm("v11") = (table).part[0].val[3];  \
  register uint8x16_t t##4 asm("v12") = (table).part[1].val[0];  \
  register uint8x16_t t##5 asm("v13") = (table).part[1].val[1];  \
  register uint8x16_t t##6 asm("v14") = (table).part[1].val[2];  \
  register uint8x16_t t##7 asm("v15") = (table).part[1].val[3];  \
  register uint8x16_t t##8 asm("v16") = (table).part[2].val[0];  \
  register uint8x16_t t##9 asm("v17") = (table).part[2].val[1];  \
  register uint8x16_t t##10 asm("v18") = (table).part[2].val[2]; \
  register uint8x16_t t##11 asm("v19") = (table).part[2].val[3]; \
  register uint8x16_t t##12 asm("v20") = (table).part[3].val[0]; \
  register uint8x16_t t##13 asm("v21") = (table).part[3].val[1]; \
  register uint8x16_t t##14 asm("v22") = (table).part[3].val[2]; \
  register uint8x16_t t##15 asm("v23") = (table).part[3].val[3]; \
  const uint8x16_t t##Part = vdupq_n_u8(64)

#define KELMAR_LOOKUP_ASM(lanes)                   \
  "tbl %0." lanes ", {v8.16b-v11.16b}, %2." lanes  \
  "\n\t"                                           \
  "sub %1." lanes ", %2." lanes ", %3." lanes      \
  "\n\t"                                           \
  "tbx %0." lanes ", {v12.16b-v15.16b}, %1." lanes \
  "\n\t"                                           \
  "sub %1." lanes ", %1." lanes ", %3." lanes      \
  "\n\t"                                           \
  "tbx %0." lanes ", {v16.16b-v19.16b}, %1." lanes \
  "\n\t"                                           \
  "sub %1." lanes ", %1." lanes ", %3." lanes      \
  "\n\t"                                           \
  "tbx %0." lanes ", {v20.16b-v23.16b}, %1." lanes

// `step` is a scratch register for the moved index.
#define KELMAR_PINNED_LOOKUP_LANES(t, level, index, lanes, Step)                           \
  do {                                                                                     \
    Step step;                                                                             \
    asm(KELMAR_LOOKUP_ASM(lanes)                                                           \
        : "=&w"(level), "=&w"(step)                                                        \
        : "w"(index), "w"(t##Part), "w"(t##0), "w"(t##1), "w"(t##2), "w"(t##3), "w"(t##4), \
          "w"(t##5), "w"(t##6), "w"(t##7), "w"(t##8), "w"(t##9), "w"(t##10), "w"(t##11),   \
          "w"(t##12), "w"(t##13), "w"(t##14), "w"(t##15));                                 \
  } while (false)
#define KELMAR_PINNED_LOOKUP(t, level, index) \
  KELMAR_PINNED_LOOKUP_LANES(t, level, index, "16b", uint8x16_t)
#define KELMAR_PINNED_LOOKUP8(t, level, index) \
  KELMAR_PINNED_LOOKUP_LANES(t, level, index, "8b", uint8x8_t)

// A lookup of 16 bytes in a table pinned for this lookup alone, for code
// that holds the table as values (not in memory) across a loop: every
// lookup asks for the same registers, so the table stays there.
KELMAR_VECTOR_INLINE uint8x16_t LookupPinnedNeon(const ByteTableNeon& table, uint8x16_t index) {
  KELMAR_PIN_TABLE(t, table);
  uint8x16_t level;
  KELMAR_PINNED_LOOKUP(t, level, index);
  return level;
}

// st2, st3 and st4 of 16-byte vectors.  g++ 12 assembles the register
// tuples of vst2q_u8 and its kin through the stack once registers grow
// scarce (four instructions and a store-to-load round trip per store), so
// the vectors are handed to the store in registers named here; v26-v31 are
// free of the callee-saved v8-v15 and of the tables' low registers.
KELMAR_VECTOR_INLINE void Store2Neon(uint8_t* out, uint8x16_t a, uint8x16_t b) {
  register uint8x16_t r0 asm("v30") = a;
  register uint8x16_t r1 asm("v31") = b;
  asm("st2 {v30.16b, v31.16b}, %0"
      : "=Q"(*reinterpret_cast<uint8_t(*)[32]>(out))
      : "w"(r0), "w"(r1));
}
KELMAR_VECTOR_INLINE void Store3Neon(uint8_t* out, uint8x16_t a, uint8x16_t b, uint8x16_t c) {
  register uint8x16_t r0 asm("v29") = a;
  register uint8x16_t r1 asm("v30") = b;
  register uint8x16_t r2 asm("v31") = c;
  asm("st3 {v29.16b, v30.16b, v31.16b}, %0"
      : "=Q"(*reinterpret_cast<uint8_t(*)[48]>(out))
      : "w"(r0), "w"(r1), "w"(r2));
}
KELMAR_VECTOR_INLINE void Store4Neon(uint8_t* out, uint8x16_t a, uint8x16_t b, uint8x16_t c,
                                     uint8x16_t d) {
  register uint8x16_t r0 asm("v28") = a;
  register uint8x16_t r1 asm("v29") = b;
  register uint8x16_t r2 asm("v30") = c;
  register uint8x16_t r3 asm("v31") = d;
  asm("st4 {v28.16b, v29.16b, v30.16b, v31.16b}, %0"
      : "=Q"(*reinterpret_cast<uint8_t(*)[64]>(out))
      : "w"(r0), "w"(r1), "w"(r2), "w"(r3));
}

}  // namespace
}  // namespace kelmar

#endif  // KELMAR_HAVE_NEON
