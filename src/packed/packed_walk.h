// The packed layouts' view of the map walk (common/map_walk.h): runs of
// consecutive marked macroblocks, the top macroblock row first, with the
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
// of its first macroblock's top picture row, which goes to the last output
// row of the macroblock row; each picture row below it goes to the output
// row before.  The source is read in the order rows follow each other in
// the tables (in memory, for most pictures), and the output written
// backwards, which costs less than the other way round.
struct PackedRun {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  ptrdiff_t chromaStride;  // from one chroma row to the next; luma rows are twice as far
  ptrdiff_t outRow;        // from a picture row's output row to the next one's (negative)
  uint8_t* out;
  ptrdiff_t macroblocks;
};

// Row pair `pair` (0 to 7, from the top) of a run: two luma rows going down
// the picture, the chroma row that serves both, and the two output rows
// they go to, going up the buffer.
inline RowPair RowPairOfPackedRun(const PackedRun& run, int pair) {
  const ptrdiff_t lumaStride = 2 * run.chromaStride;
  RowPair rows;
  rows.y0 = StepBytes(run.y, 2 * pair * lumaStride);
  rows.y1 = StepBytes(rows.y0, lumaStride);
  rows.u = StepBytes(run.u, pair * run.chromaStride);
  rows.v = StepBytes(run.v, pair * run.chromaStride);
  rows.out0 = StepBytes(run.out, 2 * pair * run.outRow);
  rows.out1 = StepBytes(rows.out0, run.outRow);
  return rows;
}

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
  const ptrdiff_t outRow = -g.rowStep;
  constexpr ptrdiff_t kSpanBytes = PackedFacts::kSpanBytes;
  ForEachMarkedRow(map, [&](ptrdiff_t mbRow, const MarkedRuns& runs) {
    // The macroblock row's top picture row, 16 * mbRow, is output row
    // height - 1 - 16 * mbRow.
    const ptrdiff_t topOutRow = g.height - 1 - 16 * mbRow;
    uint8_t* rowOut = StepBytes(picture.dst, topOutRow * g.rowStep);
    const uint8_t* y = planes->yRows[16 * mbRow];
    const uint8_t* u = planes->uRows[8 * mbRow];
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
