// The UYVY and YUY2 writers: the planar 4:2:0 picture packed into 4:2:2
// rows, the last picture row first, one marked macroblock at a time.  Both
// byte orders share one walk; only the writer of a row pair differs.
#include "common/addressing.h"
#include "common/features.h"
#include "common/layout_facts.h"
#include "common/staging.h"
#include "packed/packed.h"
#include "packed/wide_packed.h"

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
  int64_t chroma;  // from one chroma row to the next, in U and V alike
  int64_t vFromU;  // from a U row to the V row with the same index
  int64_t outRow;  // from one output row to the next
};

// A row pair's writer gets two luma rows that share a chroma row: y0 goes to
// the output row at outA, y1 (the picture row above) to the one at outB.
// `tables` is null on the copy paths.
using RowPairWriter = void (*)(const PackedTables* tables, const RowPairSource& src, uint8_t* outA,
                               uint8_t* outB);
using MacroblockWriter = void (*)(const PackedTables* tables, const RowPairSource& bottom,
                                  const Steps& steps, uint8_t* out);

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
void PackRowPairInteger(const PackedTables* tables, const RowPairSource& src, uint8_t* outA,
                        uint8_t* outB) {
  uint8_t u[8], v[8], y0[16], y1[16];
  for (int p = 0; p < 8; ++p) {
    u[p] = kAdjusted ? tables->PackedUTable[src.u[p]] : src.u[p];
    v[p] = kAdjusted ? tables->PackedVTable[src.v[p]] : src.v[p];
  }
  for (int x = 0; x < 16; ++x) {
    y0[x] = kAdjusted ? tables->PackedLumaTable[src.y0[x]] : src.y0[x];
    y1[x] = kAdjusted ? tables->PackedLumaTable[src.y1[x]] : src.y1[x];
  }
  PackSpanInteger<Order>(y0, u, v, outA);
  PackSpanInteger<Order>(y1, u, v, outB);
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
KELMAR_TARGET_MMX void PackRowPairMmx(const PackedTables*, const RowPairSource& src, uint8_t* outA,
                                      uint8_t* outB) {
  const __m64 u = LoadMmx(src.u);
  const __m64 v = LoadMmx(src.v);
  const __m64 uvLow = _mm_unpacklo_pi8(u, v);
  const __m64 uvHigh = _mm_unpackhi_pi8(u, v);
  PackSpanMmx<Order>(src.y0, uvLow, uvHigh, outA);
  PackSpanMmx<Order>(src.y1, uvLow, uvHigh, outB);
}
#endif

// Eight row pairs from the macroblock's bottom luma row upward; output rows
// run forward from `out`, two per pair.  Addresses are formed as integers:
// strides may be negative and U and V may lie in separate allocations.
template <RowPairWriter kWriteRowPair>
void PackMacroblock(const PackedTables* tables, const RowPairSource& bottom, const Steps& steps,
                    uint8_t* out) {
  const int64_t lumaStride = 2 * steps.chroma;
  for (int pair = 0; pair < 8; ++pair) {
    RowPairSource src;
    src.y0 = StepBytes(bottom.y0, -2 * pair * lumaStride);
    src.y1 = StepBytes(src.y0, -lumaStride);
    src.u = StepBytes(bottom.u, -pair * steps.chroma);
    src.v = StepBytes(bottom.v, -pair * steps.chroma);
    uint8_t* outA = StepBytes(out, 2 * pair * steps.outRow);
    kWriteRowPair(tables, src, outA, StepBytes(outA, steps.outRow));
  }
}

#if KELMAR_HAVE_MMX
template <class Order>
KELMAR_TARGET_MMX void PackMacroblockMmx(const PackedTables* tables, const RowPairSource& bottom,
                                         const Steps& steps, uint8_t* out) {
  PackMacroblock<PackRowPairMmx<Order>>(tables, bottom, steps, out);
  _mm_empty();
}
#endif

// One way of writing macroblocks for the whole call, chosen by the
// adjustments and the plan alone.
template <class Order>
MacroblockWriter ChooseMacroblockWriter(const PackedCall& call) {
  if (call.tables) return PackMacroblock<PackRowPairInteger<Order, true>>;
#if KELMAR_HAVE_MMX
  if (call.plan.mmx) return PackMacroblockMmx<Order>;
#endif
  return PackMacroblock<PackRowPairInteger<Order, false>>;
}

// Output row r holds picture row height - 1 - r.  Only whole macroblocks
// are written: map row y covers picture rows 16y..16y+15 and map column x
// luma columns 16x..16x+15, with width / 16 map bytes per row.  Rows and
// columns beyond the last whole macroblock keep the caller's bytes, and a
// picture without a whole macroblock reads neither its row tables nor its
// planes.
void WalkPicture(int32_t width, int32_t height, uint8_t* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, const PackedTables* tables, MacroblockWriter writeMacroblock,
                 const WidePacker* wide) {
  if (width < 2 || height < 2) return;
  const int32_t mbCols = width / 16;
  const int32_t mbRows = height / 16;
  if (mbCols < 1 || mbRows < 1) return;

  const Steps steps = {RowDistance(planes->vRows[0], planes->vRows[1]),
                       RowDistance(planes->uRows[0], planes->vRows[0]),
                       2 * static_cast<int64_t>(width)};
  for (int32_t mbRow = mbRows - 1; mbRow >= 0; --mbRow) {
    const uint8_t* rowMap = mbMap + static_cast<int64_t>(mbRow) * mbCols;
    // The macroblock's bottom picture row, 16 * mbRow + 15, is output row
    // height - 16 - 16 * mbRow.
    const int64_t firstOutRow =
        static_cast<int64_t>(height) - 16 - 16 * static_cast<int64_t>(mbRow);
    uint8_t* rowOut = StepBytes(dst, firstOutRow * steps.outRow);
    for (int32_t x = 0; x < mbCols; ++x) {
      if (!rowMap[x]) continue;
      if (wide) {
        // The vector path packs every run of marked macroblocks at once.
        int32_t end = x + 1;
        while (end < mbCols && rowMap[end]) ++end;
        const uint8_t* u = planes->uRows[8 * mbRow + 7] + 8 * x;
        const PackedRun run = {planes->yRows[16 * mbRow + 15] + 16 * x,
                               u,
                               StepBytes(u, steps.vFromU),
                               steps.chroma,
                               steps.outRow,
                               rowOut + kSpanBytes * x,
                               end - x};
        wide->packRun(*wide, run);
        x = end - 1;
        continue;
      }
      RowPairSource bottom;
      bottom.y0 = planes->yRows[16 * mbRow + 15] + 16 * x;
      bottom.y1 = nullptr;
      bottom.u = planes->uRows[8 * mbRow + 7] + 8 * x;
      bottom.v = StepBytes(bottom.u, steps.vFromU);
      writeMacroblock(tables, bottom, steps, rowOut + kSpanBytes * x);
    }
  }
}

template <class Order>
void Pack(int32_t width, int32_t height, void* dst, const PlaneSet* planes, const uint8_t* mbMap,
          const PackedCall& call) {
  WidePacker wide;
  const bool haveWide = ChooseWidePacker(Order::kLumaFirst, call, wide);
  WalkPicture(width, height, static_cast<uint8_t*>(dst), planes, mbMap, call.tables,
              ChooseMacroblockWriter<Order>(call), haveWide ? &wide : nullptr);
}

}  // namespace

void PackUYVY(int32_t width, int32_t height, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call) {
  Pack<UyvyOrder>(width, height, dst, planes, mbMap, call);
}

void PackYUY2(int32_t width, int32_t height, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call) {
  Pack<Yuy2Order>(width, height, dst, planes, mbMap, call);
}

}  // namespace kelmar
