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

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRun(const ByteTable& luma, const PackedTables* tables, const PackedRun& run) {
  for (int pair = 0; pair < 8; ++pair) {
    const auto [y0, y1, u, v, out0, out1] = RowPairOfPackedRun(run, pair);
    ptrdiff_t c = 0;
    for (; c + 2 <= run.macroblocks; c += 2) {
      uint8x16_t us = vld1q_u8(u + 8 * c);
      uint8x16_t vs = vld1q_u8(v + 8 * c);
      if (kMapChroma) {
        // Two tables besides the luma one do not fit in the registers.
        us = Lookup(LoadByteTable(tables->PackedUTable), us);
        vs = Lookup(LoadByteTable(tables->PackedVTable), vs);
      }
      StoreRow<kYuy2>(out0 + 32 * c, MapLuma<kMapLuma>(luma, vld2q_u8(y0 + 16 * c)), us, vs);
      StoreRow<kYuy2>(out1 + 32 * c, MapLuma<kMapLuma>(luma, vld2q_u8(y1 + 16 * c)), us, vs);
    }
    if (c < run.macroblocks) {
      uint8x8_t us = vld1_u8(u + 8 * c);
      uint8x8_t vs = vld1_u8(v + 8 * c);
      if (kMapChroma) {
        us = Lookup(LoadByteTable(tables->PackedUTable), us);
        vs = Lookup(LoadByteTable(tables->PackedVTable), vs);
      }
      StoreRow<kYuy2>(out0 + 32 * c, MapLuma<kMapLuma>(luma, vld2_u8(y0 + 16 * c)), us, vs);
      StoreRow<kYuy2>(out1 + 32 * c, MapLuma<kMapLuma>(luma, vld2_u8(y1 + 16 * c)), us, vs);
    }
  }
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRuns(const PackedJob& job, const PackedPicture& picture) {
  ByteTable luma = {};
  if (kMapLuma) luma = LoadByteTable(job.tables->PackedLumaTable);
  ForEachPackedRun(picture, [&](const PackedRun& run) {
    PackRun<kYuy2, kMapLuma, kMapChroma>(luma, job.tables, run);
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
