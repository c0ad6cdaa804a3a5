// The UYVY and YUY2 writers: the planar 4:2:0 picture packed into 4:2:2
// rows, the last picture row first in the output, one marked macroblock at
// a time.  Both byte orders share one walk; only the writer of a row pair
// differs.
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

// A row pair's writer gets two luma rows that share a chroma row: y0 goes to
// the output row out0, y1 (the picture row below) to out1.  `tables` is null
// on the copy paths.  A macroblock's writer gets the macroblock as a run of
// one.
using RowPairWriter = void (*)(const PackedTables* tables, const RowPair& pair);
using MacroblockWriter = void (*)(const PackedTables* tables, const PackedRun& macroblock);

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

// The macroblock's eight row pairs, from the top.
template <RowPairWriter kWriteRowPair>
KELMAR_OUT_OF_LINE void PackMacroblock(const PackedTables* tables, const PackedRun& macroblock) {
  for (int pair = 0; pair < 8; ++pair) kWriteRowPair(tables, RowPairOfPackedRun(macroblock, pair));
}

#if KELMAR_HAVE_MMX
template <class Order>
KELMAR_OUT_OF_LINE KELMAR_TARGET_MMX void PackMacroblockMmx(const PackedTables* tables,
                                                            const PackedRun& macroblock) {
  PackMacroblock<PackRowPairMmx<Order>>(tables, macroblock);
  _mm_empty();
}
#endif

// The integer and MMX paths: every macroblock of a run on its own.
template <MacroblockWriter kWriteMacroblock>
void PackByMacroblocks(const PackedJob& job, const PackedPicture& picture) {
  ForEachPackedRun(picture, [&](const PackedRun& run) {
    PackedRun macroblock = run;
    macroblock.macroblocks = 1;
    for (ptrdiff_t c = 0; c < run.macroblocks; ++c) {
      macroblock.y = run.y + 16 * c;
      macroblock.u = run.u + 8 * c;
      macroblock.v = run.v + 8 * c;
      macroblock.out = run.out + kSpanBytes * c;
      kWriteMacroblock(job.tables, macroblock);
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
