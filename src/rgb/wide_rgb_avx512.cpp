// AVX-512 vector paths of the RGB converters (F, BW, VL and VBMI): 64 pixels
// per step, LumaTable computed from its closed form or looked up in its
// windows with byte permutes; a macroblock without three marked neighbours
// goes four row pairs per step, one in each 128-bit lane.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

// g++ 12 reports the deliberately undefined first operand with which its
// AVX-512 intrinsics start (a variable initialised from itself) as
// uninitialised, or maybe so, once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include <immintrin.h>

#include <cstdint>

KELMAR_TARGET_AVX512_BEGIN

#include "common/byte_table_avx512.h"
#include "rgb/wide_rgb_core.h"
#include "rgb/wide_window_core.h"

namespace kelmar {
namespace {

struct ByteIndices {
  uint8_t bytes[64];
};

// Pixel p of a vector is served by chroma sample p / 2, whose clamped parts
// PackBoth left in 128-bit lane s / 8 at byte s % 8 (positive) and 8 + s % 8
// (negative).  `alternate`: odd pixels from the second source.
constexpr ByteIndices MakeSpread(bool negative, bool alternate) {
  ByteIndices s{};
  for (int p = 0; p < 64; ++p) {
    const int sample = p / 2;
    const int from = 16 * (sample / 8) + sample % 8 + (negative ? 8 : 0);
    s.bytes[p] = static_cast<uint8_t>(from + (alternate && (p & 1) ? 64 : 0));
  }
  return s;
}

// Where pixel p (0-63) of a row, or pixel p % 16 of row p / 16 with
// FourRows, lies in a vector of packed levels: at p, or by parity, where
// each 128-bit lane holds its 8 even pixels and then its 8 odd ones (the
// closed-form kernels widen the luma samples that way, WidenEven8).
constexpr int PositionOf(int pixel, bool byParity) {
  const int q = pixel % 16;
  return byParity ? pixel - q + (q % 2) * 8 + q / 2 : pixel;
}

// 24-bit output byte q is colour q % 3 of pixel q / 3.  For output bytes
// `first` to `first + 63`: blue and green from the first two sources of a
// two-source permute (`kBlueGreen`), red from a one-source permute merged
// over them where `redBytes` is set (`kRed`).
struct BgrIndices {
  ByteIndices blueGreen;
  ByteIndices red;
  __mmask64 redBytes;
};
constexpr BgrIndices MakeBgr(int first, bool byParity) {
  BgrIndices b{};
  for (int j = 0; j < 64; ++j) {
    const int q = first + j;
    const int pixel = PositionOf(q / 3 < 64 ? q / 3 : 0, byParity);
    switch (q % 3) {
      case 0: b.blueGreen.bytes[j] = static_cast<uint8_t>(pixel); break;
      case 1: b.blueGreen.bytes[j] = static_cast<uint8_t>(64 + pixel); break;
      default:
        b.red.bytes[j] = static_cast<uint8_t>(pixel);
        b.redBytes |= __mmask64{1} << j;
        break;
    }
  }
  return b;
}

// One output row of four in lanes: pixels 16 row to 16 row + 15, 48 bytes.
constexpr BgrIndices MakeBgrRow(int row, bool byParity) {
  BgrIndices b = MakeBgr(48 * row, byParity);
  b.redBytes &= (__mmask64{1} << 48) - 1;
  return b;
}

// The 16-bit output words of pixels 32 half to 32 half + 31 from a vector of
// low bytes (the first source of a two-source permute) and one of high bytes.
constexpr ByteIndices MakeWordBytes(int half, bool byParity) {
  ByteIndices w{};
  for (int j = 0; j < 64; ++j)
    w.bytes[j] = static_cast<uint8_t>(PositionOf(32 * half + j / 2, byParity) + 64 * (j % 2));
  return w;
}

// The store indices of one order of the packed levels.
struct StoreIndices {
  BgrIndices bgr[3];      // 64 pixels in a row: output bytes 0-63, 64-127, 128-191
  BgrIndices bgrRows[4];  // four rows of 16 pixels
  ByteIndices words[2];   // pixels 0-31 and 32-63, or rows 0-1 and 2-3
};
constexpr StoreIndices MakeStoreIndices(bool byParity) {
  return {{MakeBgr(0, byParity), MakeBgr(64, byParity), MakeBgr(128, byParity)},
          {MakeBgrRow(0, byParity), MakeBgrRow(1, byParity), MakeBgrRow(2, byParity),
           MakeBgrRow(3, byParity)},
          {MakeWordBytes(0, byParity), MakeWordBytes(1, byParity)}};
}

struct Indices {
  ByteIndices spread[2];     // positive, negative
  ByteIndices alternate[2];  // positive, negative
  StoreIndices stores[2];    // natural, by parity
};
constexpr Indices MakeIndices() {
  return {{MakeSpread(false, false), MakeSpread(true, false)},
          {MakeSpread(false, true), MakeSpread(true, true)},
          {MakeStoreIndices(false), MakeStoreIndices(true)}};
}
alignas(64) constexpr Indices kIndices = MakeIndices();

KELMAR_VECTOR_INLINE __m512i LoadIndices(const ByteIndices& indices) {
  return _mm512_loadu_si512(indices.bytes);
}

KELMAR_VECTOR_INLINE __m512i Bgr(const BgrIndices& indices, __m512i b, __m512i g, __m512i r) {
  const __m512i blueGreen = _mm512_permutex2var_epi8(b, LoadIndices(indices.blueGreen), g);
  // Loaded from memory: 32-bit x86 would otherwise build the 64-bit mask
  // from two 32-bit stores on every step, and a load that spans two stores
  // cannot take its value from them: it waits until they reach the cache.
  const __mmask64 red = _load_mask64(const_cast<__mmask64*>(&indices.redBytes));
  return _mm512_mask_permutexvar_epi8(blueGreen, red, LoadIndices(indices.red), r);
}

KELMAR_VECTOR_INLINE __m128i Load64Bits(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
KELMAR_VECTOR_INLINE __m128i Load128(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The AVX-512 primitives of the closed-form and window kernels: 64 pixels,
// four macroblock rows, per step; or, with FourRows, four row pairs of one
// macroblock.
struct Avx512 : BytesFromWords<Avx512> {
  using Vec = __m512i;
  static constexpr int kMacroblocksPerStep = 4;

  using Table = ByteTable512;
  static constexpr bool kTablesInRegisters = false;

  static Vec Zero() { return _mm512_setzero_si512(); }
  static Vec AllOnes() { return _mm512_set1_epi32(-1); }
  static Vec Set8(char v) { return _mm512_set1_epi8(v); }
  static Vec Set16(int16_t v) { return _mm512_set1_epi16(v); }
  static Vec Set32(int32_t v) { return _mm512_set1_epi32(v); }
  static Vec Add16(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm512_sub_epi16(a, b); }
  static Vec Mullo16(Vec a, Vec b) { return _mm512_mullo_epi16(a, b); }
  static Vec MulhiU16(Vec a, Vec b) { return _mm512_mulhi_epu16(a, b); }
  static Vec Abs16(Vec a) { return _mm512_abs_epi16(a); }
  // The steps of one add or subtract all ones (-1), which the compiler
  // makes with one instruction wherever it needs it: a constant of 1 would
  // hold one of the eight vector registers of 32-bit x86, or be reloaded.
  // b < a rather than a > b: the compare takes a memory operand only as its
  // second source, and the kernels pass their constant as a.
  static Vec PlusOneWhereGreater16(Vec x, Vec a, Vec b) {
    return _mm512_mask_sub_epi16(x, _mm512_cmplt_epi16_mask(b, a), x, AllOnes());
  }
  static Vec PlusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return _mm512_mask_sub_epi16(x, _mm512_cmpeq_epi16_mask(a, b), x, AllOnes());
  }
  static Vec MinusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return _mm512_mask_add_epi16(x, _mm512_cmpeq_epi16_mask(a, b), x, AllOnes());
  }
  static Vec PlusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm512_mask_sub_epi8(x, _mm512_cmpeq_epi8_mask(a, b), x, AllOnes());
  }
  static Vec MinusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm512_mask_add_epi8(x, _mm512_cmpeq_epi8_mask(a, b), x, AllOnes());
  }
  static Vec Max16(Vec a, Vec b) { return _mm512_max_epi16(a, b); }
  static Vec Min16(Vec a, Vec b) { return _mm512_min_epi16(a, b); }
  // `magnitude` with the sign of x; magnitudes are 0 where x is 0.
  static Vec Sign16(Vec magnitude, Vec x) {
    return _mm512_mask_sub_epi16(magnitude, _mm512_movepi16_mask(x), Zero(), magnitude);
  }
  static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm512_xor_si512(a, b); }
  template <int n>
  static Vec Srli16(Vec a) {
    return _mm512_srli_epi16(a, n);
  }
  template <int n>
  static Vec Slli16(Vec a) {
    return _mm512_slli_epi16(a, n);
  }
  // Luma samples widened by parity: each pixel pair's chroma terms then
  // serve both pixels where they are, with no unpack to spread them.
  static Vec WidenEven8(Vec a) { return _mm512_and_si512(a, Set16(0xFF)); }
  static Vec WidenOdd8(Vec a) { return _mm512_srli_epi16(a, 8); }
  // Each of the first (last) eight pixels of every 128-bit lane twice, in
  // pixel order, from bytes packed by parity.
  static Vec RepeatLo8ByParity(Vec a) {
    const __m128i pixels = _mm_setr_epi8(0, 0, 8, 8, 1, 1, 9, 9, 2, 2, 10, 10, 3, 3, 11, 11);
    return _mm512_shuffle_epi8(a, _mm512_broadcast_i32x4(pixels));
  }
  static Vec RepeatHi8ByParity(Vec a) {
    const __m128i pixels = _mm_setr_epi8(4, 4, 12, 12, 5, 5, 13, 13, 6, 6, 14, 14, 7, 7, 15, 15);
    return _mm512_shuffle_epi8(a, _mm512_broadcast_i32x4(pixels));
  }
  static Vec UnpackLo8(Vec a, Vec b) { return _mm512_unpacklo_epi8(a, b); }
  static Vec UnpackHi8(Vec a, Vec b) { return _mm512_unpackhi_epi8(a, b); }
  static Vec UnpackLo16(Vec a, Vec b) { return _mm512_unpacklo_epi16(a, b); }
  static Vec UnpackHi16(Vec a, Vec b) { return _mm512_unpackhi_epi16(a, b); }
  static Vec PackUS16(Vec a, Vec b) { return _mm512_packus_epi16(a, b); }
  static Vec AddsU8(Vec a, Vec b) { return _mm512_adds_epu8(a, b); }
  static Vec SubsU8(Vec a, Vec b) { return _mm512_subs_epu8(a, b); }

  static Table LoadTable(const uint8_t* entries) { return LoadByteTable512(entries); }
  static Vec Lookup(const Table& t, Vec index) { return LookupBytes512(t, index); }
  static Vec PackBoth(Vec index) { return _mm512_packus_epi16(index, Sub16(Zero(), index)); }
  template <bool kNegative>
  static Vec Spread(Vec both) {
    return _mm512_permutexvar_epi8(LoadIndices(kIndices.spread[kNegative]), both);
  }
  template <bool kNegative>
  static Vec SpreadAlternating(Vec even, Vec odd) {
    return _mm512_permutex2var_epi8(even, LoadIndices(kIndices.alternate[kNegative]), odd);
  }

  static Vec LoadLuma(const uint8_t* p) { return _mm512_loadu_si512(p); }
  static Vec LoadChroma16(const uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static Vec LoadLuma(const FourRows& p) {
    Vec a = _mm512_castsi128_si512(Load128(p.row[0]));
    a = _mm512_inserti32x4(a, Load128(p.row[1]), 1);
    a = _mm512_inserti32x4(a, Load128(p.row[2]), 2);
    return _mm512_inserti32x4(a, Load128(p.row[3]), 3);
  }
  static Vec LoadChroma16(const FourRows& p) {
    const __m128i low = _mm_unpacklo_epi64(Load64Bits(p.row[0]), Load64Bits(p.row[1]));
    const __m128i high = _mm_unpacklo_epi64(Load64Bits(p.row[2]), Load64Bits(p.row[3]));
    return _mm512_cvtepu8_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1));
  }

  // The stores take levels packed in their natural order, or ByParity from
  // levels widened by parity.
  template <typename OutRows>
  KELMAR_VECTOR_INLINE static void StoreBgr24(const OutRows& out, Vec b, Vec g, Vec r) {
    StoreBgr24In<false>(out, b, g, r);
  }
  template <typename OutRows>
  KELMAR_VECTOR_INLINE static void StoreBgr24ByParity(const OutRows& out, Vec b, Vec g, Vec r) {
    StoreBgr24In<true>(out, b, g, r);
  }
  template <typename OutRows>
  KELMAR_VECTOR_INLINE static void StoreWordsOfBytes(const OutRows& out, Vec low, Vec high) {
    StoreWordsIn<false>(out, low, high);
  }
  template <typename OutRows>
  KELMAR_VECTOR_INLINE static void StoreWordsOfBytesByParity(const OutRows& out, Vec low,
                                                             Vec high) {
    StoreWordsIn<true>(out, low, high);
  }

 private:
  template <bool kByParity>
  KELMAR_VECTOR_INLINE static void StoreBgr24In(uint8_t* out, Vec b, Vec g, Vec r) {
    const StoreIndices& indices = kIndices.stores[kByParity];
    for (int part = 0; part < 3; ++part)
      _mm512_storeu_si512(out + 64 * part, Bgr(indices.bgr[part], b, g, r));
  }
  template <bool kByParity>
  KELMAR_VECTOR_INLINE static void StoreBgr24In(const FourOutputRows& out, Vec b, Vec g, Vec r) {
    const StoreIndices& indices = kIndices.stores[kByParity];
    for (int row = 0; row < 4; ++row) {
      const Vec bytes = Bgr(indices.bgrRows[row], b, g, r);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.row[row]), _mm512_castsi512_si256(bytes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out.row[row] + 32),
                       _mm512_extracti32x4_epi32(bytes, 2));
    }
  }
  // One two-source byte permute per 64 output bytes puts each pixel's low
  // and high byte side by side, in the pixels' order.
  template <bool kByParity>
  KELMAR_VECTOR_INLINE static Vec WordsOf(int half, Vec low, Vec high) {
    return _mm512_permutex2var_epi8(low, LoadIndices(kIndices.stores[kByParity].words[half]), high);
  }
  template <bool kByParity>
  KELMAR_VECTOR_INLINE static void StoreWordsIn(uint8_t* out, Vec low, Vec high) {
    _mm512_storeu_si512(out, WordsOf<kByParity>(0, low, high));
    _mm512_storeu_si512(out + 64, WordsOf<kByParity>(1, low, high));
  }
  template <bool kByParity>
  KELMAR_VECTOR_INLINE static void StoreWordsIn(const FourOutputRows& out, Vec low, Vec high) {
    for (int half = 0; half < 2; ++half) {
      const Vec words = WordsOf<kByParity>(half, low, high);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.row[2 * half]),
                          _mm512_castsi512_si256(words));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.row[2 * half + 1]),
                          _mm512_extracti64x4_epi64(words, 1));
    }
  }
};

}  // namespace

// The luma in windows of LumaTable rather than by its halves, and no dither:
// with the 8 vector registers of 32-bit x86 its closed forms spill, and
// still take about 0.7 of the AVX2 forms' time on a processor with
// full-width AVX-512.
const WideRgbKernels kAvx512RgbKernels = {
    FormKernelFor<Avx512>,          nullptr, WindowKernelFor<Avx512>, DoubledKernelFor<Avx512>,
    DoubledWindowKernelFor<Avx512>, nullptr,
};

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
