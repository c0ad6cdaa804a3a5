// AVX-512 path of the packed writers (F, BW, VL and VBMI): a two-register
// byte permute interleaves 64 luma samples with their U V pairs, and the
// same permute over the 256-byte tables maps samples, so adjusted output
// costs a few permutes more than the copy and the same for every setting.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>

namespace kelmar {
namespace {

// Byte k of output row chunk `half` (0: pixels 0-31, 1: pixels 32-63) as a
// permute index over luma (0-63) and chroma (U at 64-95, V at 96-127).
struct alignas(64) InterleaveIndex {
  uint8_t first[64];
  uint8_t second[64];
};

constexpr InterleaveIndex MakeInterleaveIndex(bool yuy2) {
  InterleaveIndex index{};
  for (int half = 0; half < 2; ++half) {
    uint8_t* bytes = half == 0 ? index.first : index.second;
    for (int g = 0; g < 16; ++g) {
      const int pair = 16 * half + g;
      const uint8_t y0 = static_cast<uint8_t>(2 * pair);
      const uint8_t y1 = static_cast<uint8_t>(2 * pair + 1);
      const uint8_t u = static_cast<uint8_t>(64 + pair);
      const uint8_t v = static_cast<uint8_t>(96 + pair);
      const uint8_t uyvy[4] = {u, y0, v, y1};
      const uint8_t yuy2Order[4] = {y0, u, y1, v};
      for (int b = 0; b < 4; ++b) bytes[4 * g + b] = yuy2 ? yuy2Order[b] : uyvy[b];
    }
  }
  return index;
}

constexpr InterleaveIndex kUyvyIndex = MakeInterleaveIndex(false);
constexpr InterleaveIndex kYuy2Index = MakeInterleaveIndex(true);

}  // namespace
}  // namespace kelmar

KELMAR_TARGET_AVX512_BEGIN

#include "common/byte_table_avx512.h"

namespace kelmar {
namespace {

// Chroma registers hold U in bytes 0-31 and V in bytes 32-63.
constexpr __mmask64 kVBytes = 0xFFFFFFFF00000000ull;

struct Kernel {
  __m512i first;   // interleave index, output bytes 0-63 of a chunk
  __m512i second;  // output bytes 64-127
  ByteTable512 luma, u, v;
};

// kBytes of output (32, 64 or 128) read kBytes / 2 luma and kBytes / 4 U
// and V samples; loads are exactly that wide, so a chunk reads nothing past
// its own samples.  Bytes above a narrow load are never stored.  (The
// masked insert, extract and shuffle in this file stand for the plain ones,
// whose undefined pass-through operand g++ 12 reports as uninitialised.)
template <int kBytes>
KELMAR_VECTOR_INLINE __m512i LoadLuma(const uint8_t* y) {
  if (kBytes == 32)
    return _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
  if (kBytes == 64)
    return _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)));
  return _mm512_loadu_si512(y);
}

template <int kBytes>
KELMAR_VECTOR_INLINE __m512i LoadChroma(const uint8_t* u, const uint8_t* v) {
  __m256i us, vs;
  if (kBytes == 32) {
    us = _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)));
    vs = _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)));
  } else if (kBytes == 64) {
    us = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u)));
    vs = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v)));
  } else {
    us = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(u));
    vs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v));
  }
  const __m512i low = _mm512_castsi256_si512(us);
  return _mm512_mask_inserti64x4(low, 0xFF, low, vs, 1);
}

template <int kBytes, bool kMapLuma>
KELMAR_VECTOR_INLINE void PackRow(const Kernel& kernel, const uint8_t* y, __m512i uv,
                                  uint8_t* out) {
  __m512i luma = LoadLuma<kBytes>(y);
  if (kMapLuma) luma = LookupBytes512(kernel.luma, luma);
  const __m512i first = _mm512_permutex2var_epi8(luma, kernel.first, uv);
  if (kBytes == 32) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm512_maskz_extracti64x4_epi64(0xF, first, 0));
    return;
  }
  _mm512_storeu_si512(out, first);
  if (kBytes == 128)
    _mm512_storeu_si512(out + 64, _mm512_permutex2var_epi8(luma, kernel.second, uv));
}

// Output bytes [k, k + kBytes) of both rows of a pair; k is a multiple of 4,
// so the chunk starts on a pixel pair.
template <int kBytes, bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackChunk(const Kernel& kernel, const RowPair& rows, ptrdiff_t k) {
  __m512i uv = LoadChroma<kBytes>(rows.u + k / 4, rows.v + k / 4);
  if (kMapChroma)
    uv =
        _mm512_mask_blend_epi8(kVBytes, LookupBytes512(kernel.u, uv), LookupBytes512(kernel.v, uv));
  PackRow<kBytes, kMapLuma>(kernel, rows.y0 + k / 2, uv, rows.out0 + k);
  PackRow<kBytes, kMapLuma>(kernel, rows.y1 + k / 2, uv, rows.out1 + k);
}

// Output bytes [k, k + 256) of both rows of a pair: 64 U and 64 V samples
// in a register each, so each table lookup serves twice the samples of the
// 128-byte chunk's shared register.
template <bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackWideChunk(const Kernel& kernel, const RowPair& rows, ptrdiff_t k) {
  __m512i u = _mm512_loadu_si512(rows.u + k / 4);
  __m512i v = _mm512_loadu_si512(rows.v + k / 4);
  if (kMapChroma) {
    u = LookupBytes512(kernel.u, u);
    v = LookupBytes512(kernel.v, v);
  }
  // U in bytes 0-31 and V in 32-63, of samples 0-31 and then 32-63.
  const __m512i uv[2] = {_mm512_maskz_shuffle_i64x2(0xFF, u, v, 0x44),
                         _mm512_maskz_shuffle_i64x2(0xFF, u, v, 0xEE)};
  for (int half = 0; half < 2; ++half) {
    const ptrdiff_t at = k + 128 * half;
    PackRow<128, kMapLuma>(kernel, rows.y0 + at / 2, uv[half], rows.out0 + at);
    PackRow<128, kMapLuma>(kernel, rows.y1 + at / 2, uv[half], rows.out1 + at);
  }
}

// `bytes` (a multiple of 32) of each row of a pair.  From 128 bytes on, the
// stores after a first unaligned chunk start on row 0's next 64-byte
// boundary, so they do not straddle cache lines; the last chunk ends at the
// row's end and may overlap the one before, rewriting the same bytes.  A
// row that does not start on a pixel pair boundary mod 4 keeps unaligned
// stores.
template <bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackPair(const Kernel& kernel, const RowPair& rows, ptrdiff_t bytes) {
  ptrdiff_t k = 0;
  if (bytes >= 128) {
    const ptrdiff_t head =
        static_cast<ptrdiff_t>((0u - reinterpret_cast<uintptr_t>(rows.out0)) & 63u);
    if (head % 4 == 0 && head != 0) {
      PackChunk<64, kMapLuma, kMapChroma>(kernel, rows, 0);
      k = head;
    }
    if (kMapChroma)
      for (; k + 256 <= bytes; k += 256) PackWideChunk<kMapLuma, kMapChroma>(kernel, rows, k);
    for (; k + 128 <= bytes; k += 128) PackChunk<128, kMapLuma, kMapChroma>(kernel, rows, k);
    if (k + 64 <= bytes) {
      PackChunk<64, kMapLuma, kMapChroma>(kernel, rows, k);
      k += 64;
    }
    if (k < bytes) PackChunk<64, kMapLuma, kMapChroma>(kernel, rows, bytes - 64);
    return;
  }
  for (; k + 64 <= bytes; k += 64) PackChunk<64, kMapLuma, kMapChroma>(kernel, rows, k);
  if (k < bytes) PackChunk<32, kMapLuma, kMapChroma>(kernel, rows, k);
}

// A lone macroblock (the common run of a sparse map) takes the straight
// path of one 32-byte chunk per row pair.
template <bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackRun(const Kernel& kernel, const PackedRun& run) {
  if (run.macroblocks == 1) {
    for (int pair = 0; pair < 8; ++pair)
      PackChunk<32, kMapLuma, kMapChroma>(kernel, RowPairOfPackedRun(run, pair), 0);
    return;
  }
  const ptrdiff_t bytes = 32 * run.macroblocks;
  for (int pair = 0; pair < 8; ++pair)
    PackPair<kMapLuma, kMapChroma>(kernel, RowPairOfPackedRun(run, pair), bytes);
}

template <bool kMapLuma, bool kMapChroma>
void PackRuns(const Kernel& kernel, const PackedPicture& picture) {
  // A copy the stores cannot alias, so the tables stay in registers rather
  // than being reloaded around every store.
  const Kernel local = kernel;
  ForEachPackedRun(picture,
                   [&local](const PackedRun& run) { PackRun<kMapLuma, kMapChroma>(local, run); });
}

}  // namespace

// The kernel's registers are set up once for the whole picture.
void PackPictureAvx512(const PackedJob& job, const PackedPicture& picture) {
  const InterleaveIndex& index = job.yuy2 ? kYuy2Index : kUyvyIndex;
  Kernel kernel{};
  kernel.first = _mm512_load_si512(index.first);
  kernel.second = _mm512_load_si512(index.second);
  const PackedTables* tables = job.tables;
  const bool mapLuma = tables && tables->lookups.mapLuma;
  const bool mapChroma = tables && tables->lookups.mapChroma;
  if (mapLuma) kernel.luma = LoadByteTable512(tables->PackedLumaTable);
  if (mapChroma) {
    kernel.u = LoadByteTable512(tables->PackedUTable);
    kernel.v = LoadByteTable512(tables->PackedVTable);
  }
  if (mapLuma) {
    if (mapChroma) return PackRuns<true, true>(kernel, picture);
    return PackRuns<true, false>(kernel, picture);
  }
  if (mapChroma) return PackRuns<false, true>(kernel, picture);
  PackRuns<false, false>(kernel, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
