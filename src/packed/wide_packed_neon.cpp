// Advanced SIMD (aarch64) paths of the packed writers: 32 pixels per step,
// 16 for a last odd macroblock of a run.  The luma samples are loaded split
// into even and odd pixels (ld2) and stored with the chroma samples as the
// four bytes of each pixel pair (st4), so the interleaving costs no
// instruction of its own.  Adjusted output looks each sample up in its
// 256-byte table with four lookups of 64 bytes.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

#include "common/byte_table_neon.h"

namespace kelmar {
namespace {

using ByteTable = ByteTableNeon;

KELMAR_VECTOR_INLINE ByteTable LoadByteTable(const uint8_t (&table)[256]) {
  return LoadByteTableNeon(table);
}
template <typename Bytes>
KELMAR_VECTOR_INLINE Bytes Lookup(const ByteTable& t, Bytes index) {
  return LookupBytesNeon(t, index);
}

// One output row: the pixel pairs' luma samples (even and odd pixels) with
// the chroma samples that serve them, in the layout's byte order.
template <bool kYuy2>
KELMAR_VECTOR_INLINE void StoreRow(uint8_t* out, uint8x16x2_t y, uint8x16_t u, uint8x16_t v) {
  if (kYuy2)
    Store4Neon(out, y.val[0], u, y.val[1], v);
  else
    Store4Neon(out, u, y.val[0], v, y.val[1]);
}
template <bool kYuy2>
KELMAR_VECTOR_INLINE void StoreRow(uint8_t* out, uint8x8x2_t y, uint8x8_t u, uint8x8_t v) {
  if (kYuy2)
    vst4_u8(out, uint8x8x4_t{{y.val[0], u, y.val[1], v}});
  else
    vst4_u8(out, uint8x8x4_t{{u, y.val[0], v, y.val[1]}});
}

template <bool kMapLuma, typename Pair>
KELMAR_VECTOR_INLINE Pair MapLuma(const ByteTable& luma, Pair y) {
  if (kMapLuma) {
    y.val[0] = Lookup(luma, y.val[0]);
    y.val[1] = Lookup(luma, y.val[1]);
  }
  return y;
}

// The chroma samples of up to kChunk macroblocks looked up with a table in
// registers, 16 at a time (8 for the last odd macroblock).
constexpr ptrdiff_t kChunk = 32;

KELMAR_VECTOR_INLINE void LookUpSamples(const uint8_t (&table)[256], const uint8_t* samples,
                                        ptrdiff_t macroblocks, uint8_t* out) {
  const ByteTable t = LoadByteTable(table);
  ptrdiff_t i = 0;
  for (; i + 16 <= 8 * macroblocks; i += 16) vst1q_u8(out + i, Lookup(t, vld1q_u8(samples + i)));
  if (i < 8 * macroblocks) vst1_u8(out + i, Lookup(t, vld1_u8(samples + i)));
}

// Row pair `pair` of `macroblocks` macroblocks of a run from its column
// `first`, with the chroma samples u and v of those macroblocks.
template <bool kYuy2, bool kMapLuma>
KELMAR_VECTOR_INLINE void PackRowPair(const ByteTable& luma, const RowPair& rows, ptrdiff_t first,
                                      ptrdiff_t macroblocks, const uint8_t* u, const uint8_t* v) {
  const uint8_t* y0 = rows.y0 + 16 * first;
  const uint8_t* y1 = rows.y1 + 16 * first;
  uint8_t* out0 = rows.out0 + 32 * first;
  uint8_t* out1 = rows.out1 + 32 * first;
  ptrdiff_t c = 0;
  for (; c + 2 <= macroblocks; c += 2) {
    const uint8x16_t us = vld1q_u8(u + 8 * c);
    const uint8x16_t vs = vld1q_u8(v + 8 * c);
    StoreRow<kYuy2>(out0 + 32 * c, MapLuma<kMapLuma>(luma, vld2q_u8(y0 + 16 * c)), us, vs);
    StoreRow<kYuy2>(out1 + 32 * c, MapLuma<kMapLuma>(luma, vld2q_u8(y1 + 16 * c)), us, vs);
  }
  if (c < macroblocks) {
    const uint8x8_t us = vld1_u8(u + 8 * c);
    const uint8x8_t vs = vld1_u8(v + 8 * c);
    StoreRow<kYuy2>(out0 + 32 * c, MapLuma<kMapLuma>(luma, vld2_u8(y0 + 16 * c)), us, vs);
    StoreRow<kYuy2>(out1 + 32 * c, MapLuma<kMapLuma>(luma, vld2_u8(y1 + 16 * c)), us, vs);
  }
}

// A run, one row pair at a time.  The luma table stays in 16 registers;
// adjusted chroma samples are looked up first, a chunk of macroblocks at a
// time, since the two chroma tables do not fit beside it.
template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRun(const PackedTables* tables, const PackedRun& run) {
  ByteTable luma = {};
  if (kMapLuma) luma = LoadByteTable(tables->PackedLumaTable);
  for (int pair = 0; pair < 8; ++pair) {
    const RowPair rows = RowPairOfPackedRun(run, pair);
    if (!kMapChroma) {
      PackRowPair<kYuy2, kMapLuma>(luma, rows, 0, run.macroblocks, rows.u, rows.v);
      continue;
    }
    for (ptrdiff_t first = 0; first < run.macroblocks; first += kChunk) {
      const ptrdiff_t count = run.macroblocks - first < kChunk ? run.macroblocks - first : kChunk;
      alignas(16) uint8_t u[8 * kChunk], v[8 * kChunk];
      LookUpSamples(tables->PackedUTable, rows.u + 8 * first, count, u);
      LookUpSamples(tables->PackedVTable, rows.v + 8 * first, count, v);
      PackRowPair<kYuy2, kMapLuma>(luma, rows, first, count, u, v);
    }
  }
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRuns(const PackedJob& job, const PackedPicture& picture) {
  ForEachPackedRun(picture, [&](const PackedRun& run) {
    PackRun<kYuy2, kMapLuma, kMapChroma>(job.tables, run);
  });
}

template <bool kYuy2>
void PackInOrder(const PackedJob& job, const PackedPicture& picture) {
  const PackedLookups* lookups = job.tables ? &job.tables->lookups : nullptr;
  if (lookups && lookups->mapLuma) {
    if (lookups->mapChroma) return PackRuns<kYuy2, true, true>(job, picture);
    return PackRuns<kYuy2, true, false>(job, picture);
  }
  if (lookups && lookups->mapChroma) return PackRuns<kYuy2, false, true>(job, picture);
  PackRuns<kYuy2, false, false>(job, picture);
}

}  // namespace

void PackPictureNeon(const PackedJob& job, const PackedPicture& picture) {
  if (job.yuy2)
    PackInOrder<true>(job, picture);
  else
    PackInOrder<false>(job, picture);
}

}  // namespace kelmar

#endif  // KELMAR_HAVE_NEON
