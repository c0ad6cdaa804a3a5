// Advanced SIMD (aarch64) paths of the packed writers: 32 pixels per step,
// 16 for a last odd macroblock of a run.  The luma samples are loaded split
// into even and odd pixels (ld2) and stored with the chroma samples as the
// four bytes of each pixel pair (st4), so the interleaving costs no
// instruction of its own.  Adjusted output computes each table from its
// form by halves where it has one (five one-register lookups by the
// sample's two halves, tables/nibble_vectors.h), and otherwise looks each
// sample up in its 256-byte table with four lookups of 64 bytes, the table
// pinned to registers for the loop (byte_table_neon.h).
#include "packed/wide_packed.h"

#if KELMAR_HAVE_NEON

#include <arm_neon.h>

#include <cstdint>

#include "common/byte_table_neon.h"
#include "tables/nibble_vectors.h"

namespace kelmar {
namespace {

using Halves = NibbleVecs<uint8x16_t>;

// The tables of lane `lane` of `vectors` (0: luma, or U; 1: V).
KELMAR_VECTOR_INLINE Halves LoadHalves(const NibbleVectors& vectors, int lane) {
  const int at = 16 * lane;
  return {vld1q_u8(vectors.raise + at), vld1q_u8(vectors.lower + at),
          vld1q_u8(vectors.threshold + at), vld1q_u8(vectors.step + at),
          vld1q_u8(vectors.rank + at)};
}

template <bool kLowers>
KELMAR_VECTOR_INLINE uint8x16_t MapByHalves(const Halves& t, uint8x16_t samples) {
  return EntriesByNibbles<NeonBytes, kLowers>(t, samples);
}
template <bool kLowers>
KELMAR_VECTOR_INLINE uint8x8_t MapByHalves(const Halves& t, uint8x8_t samples) {
  return vget_low_u8(MapByHalves<kLowers>(t, vcombine_u8(samples, samples)));
}

// How a run maps one plane's samples: copied, looked up in the table, or
// computed from the table's form by halves (with or without its subtract
// below zero).
enum class NeonMap { kCopy, kTable, kHalves, kHalvesLowering };

constexpr bool ByHalves(NeonMap map) {
  return map == NeonMap::kHalves || map == NeonMap::kHalvesLowering;
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

// The chroma samples of up to kChunk macroblocks looked up in `table`, 16
// at a time (8 for the last odd macroblock).
constexpr ptrdiff_t kChunk = 32;

KELMAR_VECTOR_INLINE void LookUpSamples(const uint8_t (&table)[256], const uint8_t* samples,
                                        ptrdiff_t macroblocks, uint8_t* out) {
  const ByteTableNeon loaded = LoadByteTableNeon(table);
  KELMAR_PIN_TABLE(t, loaded);
  ptrdiff_t i = 0;
  for (; i + 16 <= 8 * macroblocks; i += 16) {
    const uint8x16_t index = vld1q_u8(samples + i);
    uint8x16_t level;
    KELMAR_PINNED_LOOKUP(t, level, index);
    vst1q_u8(out + i, level);
  }
  if (i < 8 * macroblocks) {
    const uint8x8_t index = vld1_u8(samples + i);
    uint8x8_t level;
    KELMAR_PINNED_LOOKUP8(t, level, index);
    vst1_u8(out + i, level);
  }
}

KELMAR_VECTOR_INLINE void MapSamplesByHalves(const Halves& t, const uint8_t* samples,
                                             ptrdiff_t macroblocks, uint8_t* out) {
  ptrdiff_t i = 0;
  for (; i + 16 <= 8 * macroblocks; i += 16)
    vst1q_u8(out + i, MapByHalves<true>(t, vld1q_u8(samples + i)));
  if (i < 8 * macroblocks) vst1_u8(out + i, MapByHalves<true>(t, vld1_u8(samples + i)));
}

// The output rows of `rows` from macroblock `first` on.
struct RowPairFrom {
  const uint8_t* y0;
  const uint8_t* y1;
  uint8_t* out0;
  uint8_t* out1;
};
KELMAR_VECTOR_INLINE RowPairFrom RowPairFromMacroblock(const RowPair& rows, ptrdiff_t first) {
  return {rows.y0 + 16 * first, rows.y1 + 16 * first, rows.out0 + 32 * first,
          rows.out1 + 32 * first};
}

// U and V samples of the macroblocks of a row pair as the row loops read
// them, two macroblocks (Wide) or one (Narrow) from macroblock c: as they
// are (mapped before, or copied), or computed by their forms by halves.
struct PlainChroma {
  const uint8_t* u;
  const uint8_t* v;
  KELMAR_VECTOR_INLINE uint8x16x2_t Wide(ptrdiff_t c) const {
    return {{vld1q_u8(u + 8 * c), vld1q_u8(v + 8 * c)}};
  }
  KELMAR_VECTOR_INLINE uint8x8x2_t Narrow(ptrdiff_t c) const {
    return {{vld1_u8(u + 8 * c), vld1_u8(v + 8 * c)}};
  }
};
struct ChromaByHalves {
  const uint8_t* u;
  const uint8_t* v;
  Halves uHalves, vHalves;
  KELMAR_VECTOR_INLINE uint8x16x2_t Wide(ptrdiff_t c) const {
    return {{MapByHalves<true>(uHalves, vld1q_u8(u + 8 * c)),
             MapByHalves<true>(vHalves, vld1q_u8(v + 8 * c))}};
  }
  KELMAR_VECTOR_INLINE uint8x8x2_t Narrow(ptrdiff_t c) const {
    return {{MapByHalves<true>(uHalves, vld1_u8(u + 8 * c)),
             MapByHalves<true>(vHalves, vld1_u8(v + 8 * c))}};
  }
};

// `macroblocks` macroblocks of a row pair with their chroma samples, each
// vector of luma samples (16 or 8) passed through mapLuma.
template <bool kYuy2, typename Chroma, typename MapLuma>
KELMAR_VECTOR_INLINE void PackRowPair(RowPairFrom r, ptrdiff_t macroblocks, Chroma chroma,
                                      MapLuma mapLuma) {
  ptrdiff_t c = 0;
  for (; c + 2 <= macroblocks; c += 2) {
    const uint8x16x2_t uv = chroma.Wide(c);
    for (int row = 0; row < 2; ++row) {
      const uint8x16x2_t y = vld2q_u8((row ? r.y1 : r.y0) + 16 * c);
      const uint8x16x2_t mapped = {{mapLuma(y.val[0]), mapLuma(y.val[1])}};
      StoreRow<kYuy2>((row ? r.out1 : r.out0) + 32 * c, mapped, uv.val[0], uv.val[1]);
    }
  }
  if (c < macroblocks) {
    const uint8x8x2_t uv = chroma.Narrow(c);
    for (int row = 0; row < 2; ++row) {
      const uint8x8x2_t y = vld2_u8((row ? r.y1 : r.y0) + 16 * c);
      const uint8x8x2_t mapped = {{mapLuma(y.val[0]), mapLuma(y.val[1])}};
      StoreRow<kYuy2>((row ? r.out1 : r.out0) + 32 * c, mapped, uv.val[0], uv.val[1]);
    }
  }
}

// The same with the luma samples looked up in `luma`.
template <bool kYuy2, typename Chroma>
KELMAR_VECTOR_INLINE void PackRowPairMapped(const ByteTableNeon& luma, RowPairFrom r,
                                            ptrdiff_t macroblocks, Chroma chroma) {
  KELMAR_PIN_TABLE(t, luma);
  ptrdiff_t c = 0;
  for (; c + 2 <= macroblocks; c += 2) {
    const uint8x16x2_t uv = chroma.Wide(c);
    for (int row = 0; row < 2; ++row) {
      const uint8x16x2_t y = vld2q_u8((row ? r.y1 : r.y0) + 16 * c);
      uint8x16x2_t mapped;
      KELMAR_PINNED_LOOKUP(t, mapped.val[0], y.val[0]);
      KELMAR_PINNED_LOOKUP(t, mapped.val[1], y.val[1]);
      StoreRow<kYuy2>((row ? r.out1 : r.out0) + 32 * c, mapped, uv.val[0], uv.val[1]);
    }
  }
  if (c < macroblocks) {
    const uint8x8x2_t uv = chroma.Narrow(c);
    for (int row = 0; row < 2; ++row) {
      const uint8x8x2_t y = vld2_u8((row ? r.y1 : r.y0) + 16 * c);
      uint8x8x2_t mapped;
      KELMAR_PINNED_LOOKUP8(t, mapped.val[0], y.val[0]);
      KELMAR_PINNED_LOOKUP8(t, mapped.val[1], y.val[1]);
      StoreRow<kYuy2>((row ? r.out1 : r.out0) + 32 * c, mapped, uv.val[0], uv.val[1]);
    }
  }
}

// The row pair's luma mapped as kLuma says, with `chroma`.
template <bool kYuy2, NeonMap kLuma, typename Chroma>
KELMAR_VECTOR_INLINE void PackRowPairWith(const ByteTableNeon& luma, const Halves& lumaHalves,
                                          RowPairFrom r, ptrdiff_t macroblocks, Chroma chroma) {
  constexpr bool kLowers = kLuma == NeonMap::kHalvesLowering;
  if (kLuma == NeonMap::kTable)
    PackRowPairMapped<kYuy2>(luma, r, macroblocks, chroma);
  else if (ByHalves(kLuma))
    PackRowPair<kYuy2>(r, macroblocks, chroma,
                       [&](auto y) { return MapByHalves<kLowers>(lumaHalves, y); });
  else
    PackRowPair<kYuy2>(r, macroblocks, chroma, [](auto y) { return y; });
}

// A run, one row pair at a time.  Chroma by halves is computed in the row
// loop, beside luma by halves or copied; chroma looked up, and chroma by
// halves beside luma looked up, first, a chunk of macroblocks at a time:
// those tables do not fit in the registers together.
template <bool kYuy2, NeonMap kLuma, NeonMap kChroma>
void PackRun(const PackedTables* tables, const PackedRun& run) {
  ByteTableNeon luma = {};
  Halves lumaHalves = {}, uHalves = {}, vHalves = {};
  if (kLuma == NeonMap::kTable) luma = LoadByteTableNeon(tables->PackedLumaTable);
  if (ByHalves(kLuma)) lumaHalves = LoadHalves(tables->lookups.lumaNibbles, 0);
  if (ByHalves(kChroma)) {
    uHalves = LoadHalves(tables->lookups.chromaNibbles, 0);
    vHalves = LoadHalves(tables->lookups.chromaNibbles, 1);
  }
  constexpr bool kChromaInLoop =
      kChroma == NeonMap::kCopy || (ByHalves(kChroma) && kLuma != NeonMap::kTable);
  for (int pair = 0; pair < 8; ++pair) {
    const RowPair rows = RowPairOfPackedRun(run, pair);
    const RowPairFrom whole = RowPairFromMacroblock(rows, 0);
    if constexpr (kChromaInLoop) {
      if constexpr (ByHalves(kChroma)) {
        const ChromaByHalves chroma = {rows.u, rows.v, uHalves, vHalves};
        PackRowPairWith<kYuy2, kLuma>(luma, lumaHalves, whole, run.macroblocks, chroma);
      } else {
        PackRowPairWith<kYuy2, kLuma>(luma, lumaHalves, whole, run.macroblocks,
                                      PlainChroma{rows.u, rows.v});
      }
      continue;
    }
    for (ptrdiff_t first = 0; first < run.macroblocks; first += kChunk) {
      const ptrdiff_t count = run.macroblocks - first < kChunk ? run.macroblocks - first : kChunk;
      const uint8_t* u = rows.u + 8 * first;
      const uint8_t* v = rows.v + 8 * first;
      alignas(16) uint8_t mappedU[8 * kChunk], mappedV[8 * kChunk];
      if (kChroma == NeonMap::kTable) {
        LookUpSamples(tables->PackedUTable, u, count, mappedU);
        LookUpSamples(tables->PackedVTable, v, count, mappedV);
      } else {
        MapSamplesByHalves(uHalves, u, count, mappedU);
        MapSamplesByHalves(vHalves, v, count, mappedV);
      }
      PackRowPairWith<kYuy2, kLuma>(luma, lumaHalves, RowPairFromMacroblock(rows, first), count,
                                    PlainChroma{mappedU, mappedV});
    }
  }
}

template <bool kYuy2, NeonMap kLuma, NeonMap kChroma>
void PackRuns(const PackedJob& job, const PackedPicture& picture) {
  ForEachPackedRun(picture,
                   [&](const PackedRun& run) { PackRun<kYuy2, kLuma, kChroma>(job.tables, run); });
}

// The writer for the chroma mapping, with the luma's as a template argument.
template <bool kYuy2, NeonMap kLuma>
void PackWithLuma(const PackedJob& job, const PackedPicture& picture, NeonMap chroma) {
  switch (chroma) {
    case NeonMap::kCopy: return PackRuns<kYuy2, kLuma, NeonMap::kCopy>(job, picture);
    case NeonMap::kTable: return PackRuns<kYuy2, kLuma, NeonMap::kTable>(job, picture);
    case NeonMap::kHalves:
    case NeonMap::kHalvesLowering: return PackRuns<kYuy2, kLuma, NeonMap::kHalves>(job, picture);
  }
}

// Every plane takes its form by halves where it has one; chroma's always
// subtracts below zero, as the chroma tables of a saturation do.
template <bool kYuy2>
void PackInOrder(const PackedJob& job, const PackedPicture& picture) {
  const PackedLookups* lookups = job.tables ? &job.tables->lookups : nullptr;
  NeonMap luma = NeonMap::kCopy, chroma = NeonMap::kCopy;
  if (lookups && lookups->mapLuma) {
    luma = !lookups->lumaByNibbles       ? NeonMap::kTable
           : lookups->lumaNibbles.lowers ? NeonMap::kHalvesLowering
                                         : NeonMap::kHalves;
  }
  if (lookups && lookups->mapChroma)
    chroma = lookups->chromaByNibbles ? NeonMap::kHalves : NeonMap::kTable;
  switch (luma) {
    case NeonMap::kCopy: return PackWithLuma<kYuy2, NeonMap::kCopy>(job, picture, chroma);
    case NeonMap::kTable: return PackWithLuma<kYuy2, NeonMap::kTable>(job, picture, chroma);
    case NeonMap::kHalves: return PackWithLuma<kYuy2, NeonMap::kHalves>(job, picture, chroma);
    case NeonMap::kHalvesLowering:
      return PackWithLuma<kYuy2, NeonMap::kHalvesLowering>(job, picture, chroma);
  }
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
