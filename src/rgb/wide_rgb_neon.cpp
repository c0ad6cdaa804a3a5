// Advanced SIMD (aarch64) vector paths of the RGB converters: 16 pixels, one
// macroblock row, per step, with the structure stores of 24-bit and 16-bit
// pixels (st3, st2).
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"

namespace kelmar {
namespace {

// The vector is held as bytes; the 16-bit operations see it as lanes of
// int16_t or uint16_t.
KELMAR_VECTOR_INLINE int16x8_t S16(uint8x16_t a) { return vreinterpretq_s16_u8(a); }
KELMAR_VECTOR_INLINE uint16x8_t U16(uint8x16_t a) { return vreinterpretq_u16_u8(a); }
KELMAR_VECTOR_INLINE uint8x16_t Bytes(int16x8_t a) { return vreinterpretq_u8_s16(a); }
KELMAR_VECTOR_INLINE uint8x16_t Bytes(uint16x8_t a) { return vreinterpretq_u8_u16(a); }

// The Advanced SIMD primitives of the vector kernels.
struct Neon {
  using Vec = uint8x16_t;
  static constexpr int kMacroblocksPerStep = 1;

  static Vec Zero() { return vdupq_n_u8(0); }
  static Vec Set8(char v) { return vdupq_n_u8(static_cast<uint8_t>(v)); }
  static Vec Set16(int16_t v) { return Bytes(vdupq_n_s16(v)); }
  static Vec Set32(int32_t v) { return vreinterpretq_u8_s32(vdupq_n_s32(v)); }
  static Vec Add16(Vec a, Vec b) { return Bytes(vaddq_s16(S16(a), S16(b))); }
  static Vec Sub16(Vec a, Vec b) { return Bytes(vsubq_s16(S16(a), S16(b))); }
  static Vec Mullo16(Vec a, Vec b) { return Bytes(vmulq_s16(S16(a), S16(b))); }
  // The high halves of the widening products of each half.
  static Vec MulhiU16(Vec a, Vec b) {
    const uint32x4_t low = vmull_u16(vget_low_u16(U16(a)), vget_low_u16(U16(b)));
    const uint32x4_t high = vmull_high_u16(U16(a), U16(b));
    return Bytes(vuzp2q_u16(vreinterpretq_u16_u32(low), vreinterpretq_u16_u32(high)));
  }
  // A true comparison is all ones in its lane, -1.
  static Vec PlusOneWhereGreater16(Vec x, Vec a, Vec b) {
    return Bytes(vsubq_u16(U16(x), vcgtq_s16(S16(a), S16(b))));
  }
  static Vec PlusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return Bytes(vsubq_u16(U16(x), vceqq_s16(S16(a), S16(b))));
  }
  static Vec MinusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return Bytes(vaddq_u16(U16(x), vceqq_s16(S16(a), S16(b))));
  }
  static Vec Max16(Vec a, Vec b) { return Bytes(vmaxq_s16(S16(a), S16(b))); }
  static Vec Min16(Vec a, Vec b) { return Bytes(vminq_s16(S16(a), S16(b))); }
  static Vec Abs16(Vec a) { return Bytes(vabsq_s16(S16(a))); }
  // `magnitude` with the sign of x; magnitudes are 0 where x is 0.
  static Vec Sign16(Vec magnitude, Vec x) {
    const int16x8_t negative = vshrq_n_s16(S16(x), 15);
    return Bytes(vsubq_s16(veorq_s16(S16(magnitude), negative), negative));
  }
  static Vec And(Vec a, Vec b) { return vandq_u8(a, b); }
  static Vec Or(Vec a, Vec b) { return vorrq_u8(a, b); }
  static Vec Xor(Vec a, Vec b) { return veorq_u8(a, b); }
  template <int n>
  static Vec Srli16(Vec a) {
    return Bytes(vshrq_n_u16(U16(a), n));
  }
  template <int n>
  static Vec Slli16(Vec a) {
    return Bytes(vshlq_n_u16(U16(a), n));
  }
  template <int n>
  static Vec ShiftRight8(Vec a) {
    return vshrq_n_u8(a, n);
  }
  template <int n>
  static Vec ShiftLeft8(Vec a) {
    return vshlq_n_u8(a, n);
  }
  template <int n>
  static Vec ShiftRightInsert8(Vec upper, Vec lower) {
    return vsriq_n_u8(upper, lower, n);
  }
  static Vec UnpackLo8(Vec a, Vec b) { return vzip1q_u8(a, b); }
  static Vec UnpackHi8(Vec a, Vec b) { return vzip2q_u8(a, b); }
  static Vec UnpackLo16(Vec a, Vec b) { return Bytes(vzip1q_u16(U16(a), U16(b))); }
  static Vec UnpackHi16(Vec a, Vec b) { return Bytes(vzip2q_u16(U16(a), U16(b))); }
  static Vec PackUS16(Vec a, Vec b) { return vqmovun_high_s16(vqmovun_s16(S16(a)), S16(b)); }
  static Vec AddsU8(Vec a, Vec b) { return vqaddq_u8(a, b); }
  static Vec SubsU8(Vec a, Vec b) { return vqsubq_u8(a, b); }
  static Vec MaxU8(Vec a, Vec b) { return vmaxq_u8(a, b); }
  static Vec MinU8(Vec a, Vec b) { return vminq_u8(a, b); }

  static Vec LoadLuma(const uint8_t* p) { return vld1q_u8(p); }
  static Vec LoadChroma16(const uint8_t* p) { return Bytes(vmovl_u8(vld1_u8(p))); }
  static Vec LoadChromaPairs(const uint8_t* p) {
    const uint8x8_t samples = vld1_u8(p);
    return vcombine_u8(vzip1_u8(samples, samples), vzip2_u8(samples, samples));
  }

  static void StoreBytes(uint8_t* out, Vec a) { vst1q_u8(out, a); }
  static void StoreWords(uint8_t* out, Vec low, Vec high) {
    vst1q_u8(out, low);
    vst1q_u8(out + 16, high);
  }
  static void StoreWordsOfBytes(uint8_t* out, Vec low, Vec high) {
    vst2q_u8(out, uint8x16x2_t{{low, high}});
  }
  static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    vst3q_u8(out, uint8x16x3_t{{b, g, r}});
  }
};

}  // namespace

PictureConverter RgbFormKernelNeon(RgbLayout layout, const RgbClosedForms& forms) {
  return FormKernelFor<Neon>(layout, forms);
}

PictureConverter Pal8KernelNeon() { return DitherPicture<Neon>; }

}  // namespace kelmar

#endif  // KELMAR_HAVE_NEON
