// The packed layouts' view of the map walk (common/map_walk.h): runs of
// consecutive marked macroblocks, the bottom macroblock row first, with the
// row pointers of each run.  The vector paths inline it around their
// kernels, so a call sets its kernel up once and a run costs little more
// than its pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/addressing.h"
#include "common/geometry.h"
#include "common/layout_facts.h"
#include "common/map_walk.h"
#include "kelmar.h"

namespace kelmar {

// A run of marked macroblocks in one macroblock row.  The pointers are those
// of its first macroblock's bottom picture row, which goes to the first
// output row; rows above it follow in the output.
struct PackedRun {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  ptrdiff_t chromaStride;  // from one chroma row to the next; luma rows are twice as far
  ptrdiff_t outRow;        // from one output row to the next
  uint8_t* out;
  ptrdiff_t macroblocks;
};

// One packed conversion as the walk sees it.
struct PackedPicture {
  OutputGeometry geometry;
  uint8_t* dst;
  const PlaneSet* planes;
  const uint8_t* mbMap;
};

// Calls packRun(run) for every run of marked macroblocks.  Output row r
// holds picture row height - 1 - r.  Only whole macroblocks are written:
// map row y covers picture rows 16y..16y+15 and map column x luma columns
// 16x..16x+15, with width / 16 map bytes per row.  Rows and columns beyond
// the last whole macroblock keep the caller's bytes, and a picture without
// a whole macroblock reads neither its row tables nor its planes.
template <class PackRun>
inline void ForEachPackedRun(const PackedPicture& picture, PackRun&& packRun) {
  const OutputGeometry& g = picture.geometry;
  if (g.width < 2 || g.height < 2) return;
  const MacroblockMap map = {picture.mbMap, g.width / 16, g.height / 16};
  if (map.columns < 1 || map.rows < 1) return;

  const PlaneSet* planes = picture.planes;
  const ptrdiff_t chromaStride = RowDistance(planes->vRows[0], planes->vRows[1]);
  const ptrdiff_t vFromU = RowDistance(planes->uRows[0], planes->vRows[0]);
  const ptrdiff_t outRow = g.rowStep;
  constexpr ptrdiff_t kSpanBytes = PackedFacts::kSpanBytes;
  ForEachMarkedRow(map, WalkOrder::kBottomUp, [&](ptrdiff_t mbRow, const MarkedRuns& runs) {
    // The macroblock row's bottom picture row, 16 * mbRow + 15, is output
    // row height - 16 - 16 * mbRow.
    const ptrdiff_t firstOutRow = g.height - 16 - 16 * mbRow;
    uint8_t* rowOut = StepBytes(picture.dst, firstOutRow * outRow);
    const uint8_t* y = planes->yRows[16 * mbRow + 15];
    const uint8_t* u = planes->uRows[8 * mbRow + 7];
    runs.ForEach([&](ptrdiff_t x, ptrdiff_t count) {
      const uint8_t* runU = u + 8 * x;
      const PackedRun run = {y + 16 * x,   runU,   StepBytes(runU, vFromU),
                             chromaStride, outRow, rowOut + kSpanBytes * x,
                             count};
      packRun(run);
    });
  });
}

}  // namespace kelmar
