// Advanced SIMD (aarch64) vector paths of the RGB converters: 16 pixels, one
// macroblock row, per step, with the structure stores of 24-bit and 16-bit
// pixels (st3, st2); LumaTable computed from its closed form or looked up in
// its windows, 64 bytes per lookup.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

#include "common/byte_table_neon.h"
#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"
#include "rgb/wide_window_core.h"

namespace kelmar {
namespace {

// The vector is held as bytes; the 16-bit operations see it as lanes of
// int16_t or uint16_t.
KELMAR_VECTOR_INLINE int16x8_t S16(uint8x16_t a) { return vreinterpretq_s16_u8(a); }
KELMAR_VECTOR_INLINE uint16x8_t U16(uint8x16_t a) { return vreinterpretq_u16_u8(a); }
KELMAR_VECTOR_INLINE uint8x16_t Bytes(int16x8_t a) { return vreinterpretq_u8_s16(a); }
KELMAR_VECTOR_INLINE uint8x16_t Bytes(uint16x8_t a) { return vreinterpretq_u8_u16(a); }

// The Advanced SIMD primitives of the vector kernels, always inlined: with 32
// registers nothing spills, and a call would pass the tables through memory.
struct Neon : NeonBytes {
  using Vec = uint8x16_t;
  static constexpr int kMacroblocksPerStep = 1;
  // The window kernels keep the pixels of one row live at a time: the
  // structure stores take fixed registers, and the tables hold others.
  static constexpr bool kSingleWindowByRow = true;

  KELMAR_VECTOR_INLINE static Vec Zero() { return vdupq_n_u8(0); }
  KELMAR_VECTOR_INLINE static Vec Set16(int16_t v) { return Bytes(vdupq_n_s16(v)); }
  KELMAR_VECTOR_INLINE static Vec Set32(int32_t v) { return vreinterpretq_u8_s32(vdupq_n_s32(v)); }
  KELMAR_VECTOR_INLINE static Vec Add16(Vec a, Vec b) { return Bytes(vaddq_s16(S16(a), S16(b))); }
  KELMAR_VECTOR_INLINE static Vec Sub16(Vec a, Vec b) { return Bytes(vsubq_s16(S16(a), S16(b))); }
  KELMAR_VECTOR_INLINE static Vec Mullo16(Vec a, Vec b) { return Bytes(vmulq_s16(S16(a), S16(b))); }
  // The high halves of the widening products of each half.
  KELMAR_VECTOR_INLINE static Vec MulhiU16(Vec a, Vec b) {
    const uint32x4_t low = vmull_u16(vget_low_u16(U16(a)), vget_low_u16(U16(b)));
    const uint32x4_t high = vmull_high_u16(U16(a), U16(b));
    return Bytes(vuzp2q_u16(vreinterpretq_u16_u32(low), vreinterpretq_u16_u32(high)));
  }
  // The doubled high half of x << shift and the plane's doubling factor
  // (DoublingChromaFactor, which the kernel table has checked to exist)
  // never saturates, as |x << shift| <= 512, and floors; its sign bit
  // added back truncates it toward zero (DoubledChromaTerm).
  KELMAR_VECTOR_INLINE static Vec SignedChromaTerm16(Vec shifted, Vec factor) {
    const uint16x8_t doubledHigh = vreinterpretq_u16_s16(vqdmulhq_s16(S16(shifted), S16(factor)));
    return Bytes(vsraq_n_u16(doubledHigh, doubledHigh, 15));
  }
  // A true comparison is all ones in its lane, -1.
  KELMAR_VECTOR_INLINE static Vec PlusOneWhereGreater16(Vec x, Vec a, Vec b) {
    return Bytes(vsubq_u16(U16(x), vcgtq_s16(S16(a), S16(b))));
  }
  KELMAR_VECTOR_INLINE static Vec PlusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return Bytes(vsubq_u16(U16(x), vceqq_s16(S16(a), S16(b))));
  }
  KELMAR_VECTOR_INLINE static Vec MinusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return Bytes(vaddq_u16(U16(x), vceqq_s16(S16(a), S16(b))));
  }
  KELMAR_VECTOR_INLINE static Vec PlusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return vsubq_u8(x, vceqq_u8(a, b));
  }
  KELMAR_VECTOR_INLINE static Vec MinusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return vaddq_u8(x, vceqq_u8(a, b));
  }
  KELMAR_VECTOR_INLINE static Vec Max16(Vec a, Vec b) { return Bytes(vmaxq_s16(S16(a), S16(b))); }
  KELMAR_VECTOR_INLINE static Vec Min16(Vec a, Vec b) { return Bytes(vminq_s16(S16(a), S16(b))); }
  KELMAR_VECTOR_INLINE static Vec Abs16(Vec a) { return Bytes(vabsq_s16(S16(a))); }
  // `magnitude` with the sign of x; magnitudes are 0 where x is 0.
  KELMAR_VECTOR_INLINE static Vec Sign16(Vec magnitude, Vec x) {
    const int16x8_t negative = vshrq_n_s16(S16(x), 15);
    return Bytes(vsubq_s16(veorq_s16(S16(magnitude), negative), negative));
  }
  KELMAR_VECTOR_INLINE static Vec Or(Vec a, Vec b) { return vorrq_u8(a, b); }
  KELMAR_VECTOR_INLINE static Vec Xor(Vec a, Vec b) { return veorq_u8(a, b); }
  template <int n>
  KELMAR_VECTOR_INLINE static Vec Srli16(Vec a) {
    return Bytes(vshrq_n_u16(U16(a), n));
  }
  template <int n>
  KELMAR_VECTOR_INLINE static Vec Slli16(Vec a) {
    return Bytes(vshlq_n_u16(U16(a), n));
  }
  template <int n>
  KELMAR_VECTOR_INLINE static Vec ShiftLeft8(Vec a) {
    return vshlq_n_u8(a, n);
  }
  template <int n>
  KELMAR_VECTOR_INLINE static Vec ShiftRightInsert8(Vec upper, Vec lower) {
    return vsriq_n_u8(upper, lower, n);
  }
  KELMAR_VECTOR_INLINE static Vec WidenLo8(Vec a) { return Bytes(vmovl_u8(vget_low_u8(a))); }
  KELMAR_VECTOR_INLINE static Vec WidenHi8(Vec a) { return Bytes(vmovl_high_u8(a)); }
  KELMAR_VECTOR_INLINE static Vec UnpackLo8(Vec a, Vec b) { return vzip1q_u8(a, b); }
  KELMAR_VECTOR_INLINE static Vec UnpackHi8(Vec a, Vec b) { return vzip2q_u8(a, b); }
  KELMAR_VECTOR_INLINE static Vec UnpackLo16(Vec a, Vec b) {
    return Bytes(vzip1q_u16(U16(a), U16(b)));
  }
  KELMAR_VECTOR_INLINE static Vec UnpackHi16(Vec a, Vec b) {
    return Bytes(vzip2q_u16(U16(a), U16(b)));
  }
  KELMAR_VECTOR_INLINE static Vec PackUS16(Vec a, Vec b) {
    return vqmovun_high_s16(vqmovun_s16(S16(a)), S16(b));
  }
  // The centred unit-slope form (CompiledForm): the sign bit shifted down
  // and added in one instruction, the narrowing saturated to signed bytes
  // and moved up by 128 for the 16 of them at once.
  KELMAR_VECTOR_INLINE static Vec PlusOneWhereNegative16(Vec x) {
    return Bytes(vsraq_n_u16(U16(x), U16(x), 15));
  }
  KELMAR_VECTOR_INLINE static Vec PackCentred16(Vec a, Vec b) {
    const int8x16_t centred = vqmovn_high_s16(vqmovn_s16(S16(a)), S16(b));
    return veorq_u8(vreinterpretq_u8_s8(centred), vdupq_n_u8(0x80));
  }
  KELMAR_VECTOR_INLINE static Vec LoadBytes16(const uint8_t* p) { return vld1q_u8(p); }
  KELMAR_VECTOR_INLINE static Vec MaxU8(Vec a, Vec b) { return vmaxq_u8(a, b); }

  // sat(index) of the 8 samples in bytes 0-7, sat(-index) in 8-15.
  KELMAR_VECTOR_INLINE static Vec PackBoth(Vec index) {
    return vqmovun_high_s16(vqmovun_s16(S16(index)), vnegq_s16(S16(index)));
  }
  // Pixel p gets the part of sample p / 2; alternating, the odd pixels take
  // it from `odd`.
  template <bool kNegative>
  KELMAR_VECTOR_INLINE static Vec Spread(Vec both) {
    return kNegative ? vzip2q_u8(both, both) : vzip1q_u8(both, both);
  }
  template <bool kNegative>
  KELMAR_VECTOR_INLINE static Vec SpreadAlternating(Vec even, Vec odd) {
    return kNegative ? vzip2q_u8(even, odd) : vzip1q_u8(even, odd);
  }

  KELMAR_VECTOR_INLINE static Vec LoadLuma(const uint8_t* p) { return vld1q_u8(p); }
  // One widening subtraction.
  KELMAR_VECTOR_INLINE static Vec LoadCenteredChroma16(const uint8_t* p) {
    return Bytes(vsubl_u8(vld1_u8(p), vdup_n_u8(128)));
  }
  KELMAR_VECTOR_INLINE static Vec LoadChromaPairs(const uint8_t* p) {
    const uint8x8_t samples = vld1_u8(p);
    return vcombine_u8(vzip1_u8(samples, samples), vzip2_u8(samples, samples));
  }

  KELMAR_VECTOR_INLINE static void StoreBytes(uint8_t* out, Vec a) { vst1q_u8(out, a); }
  KELMAR_VECTOR_INLINE static void StoreWords(uint8_t* out, Vec low, Vec high) {
    vst1q_u8(out, low);
    vst1q_u8(out + 16, high);
  }
  // The closed-form kernels store with the intrinsics: with the registers
  // that Store2Neon and Store3Neon name, g++ 12 keeps the row pair's spread
  // chroma terms on the stack around every store.
  KELMAR_VECTOR_INLINE static void StoreWordsOfBytes(uint8_t* out, Vec low, Vec high) {
    vst2q_u8(out, (uint8x16x2_t{{low, high}}));
  }
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    vst3q_u8(out, (uint8x16x3_t{{b, g, r}}));
  }
};

// The structure stores of the kernels with more live values than the
// closed-form ones: they name their registers, as g++ 12 otherwise
// assembles the intrinsics' register tuples on the stack there.
struct NeonNamedStores : Neon {
  KELMAR_VECTOR_INLINE static void StoreWordsOfBytes(uint8_t* out, Vec low, Vec high) {
    Store2Neon(out, low, high);
  }
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    Store3Neon(out, b, g, r);
  }
};

// The window kernels hold LumaTable in v8-v23, which every lookup names
// (LookupPinnedNeon); the structure stores name registers above them.
struct NeonWithTable : NeonNamedStores {
  using Table = ByteTableNeon;
  static constexpr bool kTablesInRegisters = true;
  KELMAR_VECTOR_INLINE static Table LoadTable(const uint8_t* entries) {
    return LoadByteTableNeon(entries);
  }
  KELMAR_VECTOR_INLINE static Vec Lookup(const Table& t, Vec index) {
    return LookupPinnedNeon(t, index);
  }
};

// LumaTable by its halves as the window kernels' one window: their byte
// indices, one saturating add and one subtract a channel, where the
// closed-form kernels widen the luma and narrow each channel's sums (123
// instructions per 32 pixels against 132 for 24-bit, 138 against 142 for
// 5-5-5).
struct NeonHalves : NeonNamedStores {
  using Table = NibbleVecs<Vec>;
  static constexpr bool kTablesInRegisters = true;
  KELMAR_VECTOR_INLINE static Table LoadTable(const NibbleTables& t) {
    return {vld1q_u8(t.raise), vld1q_u8(t.lower), vld1q_u8(t.threshold), vld1q_u8(t.step),
            vld1q_u8(t.rank)};
  }
  KELMAR_VECTOR_INLINE static Vec Lookup(const Table& t, Vec index) {
    return EntriesByNibbles<NeonBytes, true>(t, index);
  }
};

// Double size: the unit-slope form by the closed-form kernel, the luma by
// its halves as a window, as at normal size.
PictureConverter NeonDoubledKernel(RgbLayout layout, const RgbClosedForms& forms) {
  if (const PictureConverter unitSlope = DoubledUnitSlopeKernelFor<Neon>(layout, forms))
    return unitSlope;
  return forms.UsableByHalves() ? DoubledHalvesWindowKernelFor<NeonHalves>(layout) : nullptr;
}

}  // namespace

const WideRgbKernels kNeonRgbKernels = {
    FormKernelFor<Neon>, HalvesWindowKernelFor<NeonHalves>,     WindowKernelFor<NeonWithTable>,
    NeonDoubledKernel,   DoubledWindowKernelFor<NeonWithTable>, DitherKernelFor<Neon>,
};

}  // namespace kelmar

#endif  // KELMAR_HAVE_NEON
