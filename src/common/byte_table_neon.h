// What the Advanced SIMD kernels share: a 256-byte table held in 16
// registers and looked up 16 or 8 bytes at a time, and the interleaving
// structure stores.
#pragma once

#include "common/features.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

namespace kelmar {
namespace {

struct ByteTableNeon {
  uint8x16x4_t part[4];
};

KELMAR_VECTOR_INLINE ByteTableNeon LoadByteTableNeon(const uint8_t* table) {
  ByteTableNeon t;
  for (int p = 0; p < 4; ++p) t.part[p] = vld1q_u8_x4(table + 64 * p);
  return t;
}

// table[index]: the first 64 entries by a lookup that gives 0 outside them,
// the others by lookups that leave the bytes outside their 64 entries as
// they were, each with the index moved down by 64 (wrapping, so the parts
// already passed land above 63).  One constant register.
KELMAR_VECTOR_INLINE uint8x16_t LookupBytesNeon(const ByteTableNeon& t, uint8x16_t index) {
  const uint8x16_t part = vdupq_n_u8(64);
  uint8x16_t level = vqtbl4q_u8(t.part[0], index);
  index = vsubq_u8(index, part);
  level = vqtbx4q_u8(level, t.part[1], index);
  index = vsubq_u8(index, part);
  level = vqtbx4q_u8(level, t.part[2], index);
  return vqtbx4q_u8(level, t.part[3], vsubq_u8(index, part));
}
KELMAR_VECTOR_INLINE uint8x8_t LookupBytesNeon(const ByteTableNeon& t, uint8x8_t index) {
  const uint8x8_t part = vdup_n_u8(64);
  uint8x8_t level = vqtbl4_u8(t.part[0], index);
  index = vsub_u8(index, part);
  level = vqtbx4_u8(level, t.part[1], index);
  index = vsub_u8(index, part);
  level = vqtbx4_u8(level, t.part[2], index);
  return vqtbx4_u8(level, t.part[3], vsub_u8(index, part));
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
