// The UYVY and YUY2 writers: the planar 4:2:0 picture packed into 4:2:2
// rows, the last picture row first, one marked macroblock at a time.  Both
// byte orders share one walk; only the writer of a row pair differs.
#include "common/addressing.h"
#include "common/features.h"
#include "common/layout_facts.h"
#include "common/staging.h"
#include "packed/packed.h"
#include "packed/packed_walk.h"

namespace kelmar {
namespace {

// Byte positions of a pixel pair's samples inside its 4-byte group.
struct UyvyOrder {
  static constexpr int kU = 0, kY0 = 1, kV = 2, kY1 = 3;
  static constexpr bool kLumaFirst = false;
};
struct Yuy2Order {
  static constexpr int kY0 = 0, kU = 1, kY1 = 2, kV = 3;
  static constexpr bool kLumaFirst = true;
};

constexpr int kSpanBytes = PackedFacts::kSpanBytes;

// The distances every row of a macroblock is reached by, from one row-table
// entry of each of Y and U per macroblock.
struct Steps {
  ptrdiff_t chroma;  // from one chroma row to the next, in U and V alike
  ptrdiff_t vFromU;  // from a U row to the V row with the same index
  ptrdiff_t outRow;  // from one output row to the next
};

// A row pair's writer gets two luma rows that share a chroma row: y0 goes to
// the output row out0, y1 (the picture row above) to out1.  `tables` is null
// on the copy paths.  A macroblock's writer gets its bottom row pair, whose
// output rows it finds by stepping.
using RowPairWriter = void (*)(const PackedTables* tables, const RowPair& pair);
using MacroblockWriter = void (*)(const PackedTables* tables, const RowPair& bottom,
                                  const Steps& steps);

template <class Order>
void PackSpanInteger(const uint8_t (&luma)[16], const uint8_t (&u)[8], const uint8_t (&v)[8],
                     uint8_t* out) {
  uint8_t span[kSpanBytes];
  for (int p = 0; p < 8; ++p) {
    uint8_t* group = span + 4 * p;
    group[Order::kU] = u[p];
    group[Order::kY0] = luma[2 * p];
    group[Order::kV] = v[p];
    group[Order::kY1] = luma[2 * p + 1];
  }
  CopyWords<kSpanBytes>(out, span);
}

// Integer code for both the unchanged copy and the adjusted output: the
// span is assembled in a local buffer and stored as 32-bit words.
template <class Order, bool kAdjusted>
void PackRowPairInteger(const PackedTables* tables, const RowPair& src) {
  uint8_t u[8], v[8], y0[16], y1[16];
  for (int p = 0; p < 8; ++p) {
    u[p] = kAdjusted ? tables->PackedUTable[src.u[p]] : src.u[p];
    v[p] = kAdjusted ? tables->PackedVTable[src.v[p]] : src.v[p];
  }
  for (int x = 0; x < 16; ++x) {
    y0[x] = kAdjusted ? tables->PackedLumaTable[src.y0[x]] : src.y0[x];
    y1[x] = kAdjusted ? tables->PackedLumaTable[src.y1[x]] : src.y1[x];
  }
  PackSpanInteger<Order>(y0, u, v, src.out0);
  PackSpanInteger<Order>(y1, u, v, src.out1);
}

#if KELMAR_HAVE_MMX
template <class Order>
KELMAR_TARGET_MMX inline __m64 InterleaveLow(__m64 chroma, __m64 luma) {
  return Order::kLumaFirst ? _mm_unpacklo_pi8(luma, chroma) : _mm_unpacklo_pi8(chroma, luma);
}
template <class Order>
KELMAR_TARGET_MMX inline __m64 InterleaveHigh(__m64 chroma, __m64 luma) {
  return Order::kLumaFirst ? _mm_unpackhi_pi8(luma, chroma) : _mm_unpackhi_pi8(chroma, luma);
}

// uvLow holds U0 V0 .. U3 V3 and uvHigh U4 V4 .. U7 V7; each is interleaved
// with eight luma samples into 16 output bytes.
template <class Order>
KELMAR_TARGET_MMX inline void PackSpanMmx(const uint8_t* luma, __m64 uvLow, __m64 uvHigh,
                                          uint8_t* out) {
  const __m64 yLow = LoadMmx(luma);
  const __m64 yHigh = LoadMmx(luma + 8);
  StoreMmx(out, InterleaveLow<Order>(uvLow, yLow));
  StoreMmx(out + 8, InterleaveHigh<Order>(uvLow, yLow));
  StoreMmx(out + 16, InterleaveLow<Order>(uvHigh, yHigh));
  StoreMmx(out + 24, InterleaveHigh<Order>(uvHigh, yHigh));
}

template <class Order>
KELMAR_TARGET_MMX void PackRowPairMmx(const PackedTables*, const RowPair& src) {
  const __m64 u = LoadMmx(src.u);
  const __m64 v = LoadMmx(src.v);
  const __m64 uvLow = _mm_unpacklo_pi8(u, v);
  const __m64 uvHigh = _mm_unpackhi_pi8(u, v);
  PackSpanMmx<Order>(src.y0, uvLow, uvHigh, src.out0);
  PackSpanMmx<Order>(src.y1, uvLow, uvHigh, src.out1);
}
#endif

// Eight row pairs from the macroblock's bottom luma row upward; output rows
// run forward from the bottom pair's, two per pair.  Addresses are formed as
// integers: strides may be negative and U and V may lie in separate
// allocations.
template <RowPairWriter kWriteRowPair>
KELMAR_OUT_OF_LINE void PackMacroblock(const PackedTables* tables, const RowPair& bottom,
                                       const Steps& steps) {
  const ptrdiff_t lumaStride = 2 * steps.chroma;
  for (int pair = 0; pair < 8; ++pair) {
    RowPair src;
    src.y0 = StepBytes(bottom.y0, -2 * pair * lumaStride);
    src.y1 = StepBytes(src.y0, -lumaStride);
    src.u = StepBytes(bottom.u, -pair * steps.chroma);
    src.v = StepBytes(bottom.v, -pair * steps.chroma);
    src.out0 = StepBytes(bottom.out0, 2 * pair * steps.outRow);
    src.out1 = StepBytes(src.out0, steps.outRow);
    kWriteRowPair(tables, src);
  }
}

#if KELMAR_HAVE_MMX
template <class Order>
KELMAR_OUT_OF_LINE KELMAR_TARGET_MMX void PackMacroblockMmx(const PackedTables* tables,
                                                            const RowPair& bottom,
                                                            const Steps& steps) {
  PackMacroblock<PackRowPairMmx<Order>>(tables, bottom, steps);
  _mm_empty();
}
#endif

// The integer and MMX paths: every macroblock of a run on its own.
template <MacroblockWriter kWriteMacroblock>
void PackByMacroblocks(const PackedJob& job, const PackedPicture& picture) {
  const PackedTables* tables = job.tables;
  ForEachPackedRun(picture, [&](const PackedRun& run) {
    const Steps steps = {run.chromaStride, RowDistance(run.u, run.v), run.outRow};
    for (ptrdiff_t c = 0; c < run.macroblocks; ++c) {
      RowPair bottom;
      bottom.y0 = run.y + 16 * c;
      bottom.u = run.u + 8 * c;
      bottom.v = StepBytes(bottom.u, steps.vFromU);
      bottom.out0 = run.out + kSpanBytes * c;
      kWriteMacroblock(tables, bottom, steps);
    }
  });
}

template <class Order>
constexpr PackedOrderKernels OwnKernels() {
  return {
    PackByMacroblocks<PackMacroblock<PackRowPairInteger<Order, false>>>,
        PackByMacroblocks<PackMacroblock<PackRowPairInteger<Order, true>>>,
#if KELMAR_HAVE_MMX
        PackByMacroblocks<PackMacroblockMmx<Order>>
  };
#else
        nullptr
  };
#endif
}

}  // namespace

const PackedOrderKernels kUyvyKernels = OwnKernels<UyvyOrder>();
const PackedOrderKernels kYuy2Kernels = OwnKernels<Yuy2Order>();

}  // namespace kelmar
