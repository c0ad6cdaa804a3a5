// The walk shared by every packed path: runs of consecutive marked
// macroblocks, the bottom macroblock row first.  The vector paths inline it
// around their kernels, so a call sets its kernel up once and a run costs
// little more than its pixels.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/addressing.h"
#include "common/layout_facts.h"
#include "kelmar.h"

namespace kelmar {

// A run of marked macroblocks in one macroblock row.  The pointers are those
// of its first macroblock's bottom picture row, which goes to the first
// output row; rows above it follow in the output.
struct PackedRun {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int64_t chromaStride;  // from one chroma row to the next; luma rows are twice as far
  int64_t outRow;        // from one output row to the next
  uint8_t* out;
  int32_t macroblocks;
};

// One packed conversion as the walk sees it.
struct PackedPicture {
  int32_t width;
  int32_t height;
  uint8_t* dst;
  const PlaneSet* planes;
  const uint8_t* mbMap;
};

namespace packed_walk {

constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Eight map bytes, the first in the lowest byte.
inline uint64_t LoadMapWord(const uint8_t* map) {
  uint64_t word;
  std::memcpy(&word, map, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

// The top bit of every non-zero byte; the sum of the low seven bits and
// 0x7F never carries into the next byte.
inline uint64_t NonZeroBytes(uint64_t word) {
  return (((word & kLowBits) + kLowBits) | word) & kHighBits;
}

inline int32_t FirstFlaggedByte(uint64_t flags) {
  return static_cast<int32_t>(__builtin_ctzll(flags) >> 3);
}

// First marked (non-zero) column in [x, end), or end.  Eight map bytes a
// step while they are inside the row; sparse maps skip zeros quickly and
// a dense one finds its next mark without a branch per byte.
inline int32_t NextMarked(const uint8_t* map, int32_t x, int32_t end) {
  for (; x + 8 <= end; x += 8) {
    const uint64_t marks = NonZeroBytes(LoadMapWord(map + x));
    if (marks) return x + FirstFlaggedByte(marks);
  }
  for (; x < end; ++x)
    if (map[x]) return x;
  return end;
}

// First unmarked column in [x, end), or end.
inline int32_t NextUnmarked(const uint8_t* map, int32_t x, int32_t end) {
  for (; x + 8 <= end; x += 8) {
    const uint64_t gaps = NonZeroBytes(LoadMapWord(map + x)) ^ kHighBits;
    if (gaps) return x + FirstFlaggedByte(gaps);
  }
  for (; x < end; ++x)
    if (!map[x]) return x;
  return end;
}

}  // namespace packed_walk

// Calls packRun(run) for every run of marked macroblocks.  Output row r
// holds picture row height - 1 - r.  Only whole macroblocks are written:
// map row y covers picture rows 16y..16y+15 and map column x luma columns
// 16x..16x+15, with width / 16 map bytes per row.  Rows and columns beyond
// the last whole macroblock keep the caller's bytes, and a picture without
// a whole macroblock reads neither its row tables nor its planes.
template <class PackRun>
inline void ForEachPackedRun(const PackedPicture& picture, PackRun&& packRun) {
  if (picture.width < 2 || picture.height < 2) return;
  const int32_t mbCols = picture.width / 16;
  const int32_t mbRows = picture.height / 16;
  if (mbCols < 1 || mbRows < 1) return;

  const PlaneSet* planes = picture.planes;
  const int64_t chromaStride = RowDistance(planes->vRows[0], planes->vRows[1]);
  const int64_t vFromU = RowDistance(planes->uRows[0], planes->vRows[0]);
  const int64_t outRow = 2 * static_cast<int64_t>(picture.width);
  constexpr int kSpanBytes = PackedFacts::kSpanBytes;
  for (int32_t mbRow = mbRows - 1; mbRow >= 0; --mbRow) {
    const uint8_t* rowMap = picture.mbMap + static_cast<int64_t>(mbRow) * mbCols;
    int32_t x = packed_walk::NextMarked(rowMap, 0, mbCols);
    if (x == mbCols) continue;
    // The macroblock row's bottom picture row, 16 * mbRow + 15, is output
    // row height - 16 - 16 * mbRow.
    const int64_t firstOutRow =
        static_cast<int64_t>(picture.height) - 16 - 16 * static_cast<int64_t>(mbRow);
    uint8_t* rowOut = StepBytes(picture.dst, firstOutRow * outRow);
    const uint8_t* y = planes->yRows[16 * mbRow + 15];
    const uint8_t* u = planes->uRows[8 * mbRow + 7];
    while (x < mbCols) {
      const int32_t end = packed_walk::NextUnmarked(rowMap, x + 1, mbCols);
      const uint8_t* runU = u + 8 * x;
      const PackedRun run = {y + 16 * x,   runU,   StepBytes(runU, vFromU),
                             chromaStride, outRow, rowOut + kSpanBytes * x,
                             end - x};
      packRun(run);
      x = packed_walk::NextMarked(rowMap, end, mbCols);
    }
  }
}

}  // namespace kelmar
