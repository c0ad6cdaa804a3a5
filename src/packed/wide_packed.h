// Vector paths of the packed writers: a run of consecutive marked
// macroblocks is packed one row pair at a time across the whole run.
//
// Unadjusted output is pure interleaving (SSE2 or AVX2).  Adjusted output
// (AVX2 only) looks every sample up in its 256-byte table with byte shuffles,
// so it gives the table's bytes for any table.
#pragma once

#include <cstdint>

#include "common/addressing.h"
#include "common/features.h"
#include "packed/packed.h"

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

// Row pair `pair` of a run: two luma rows going up the picture, the chroma
// rows that serve them, and the two output rows going down the buffer.
struct PackedRowPair {
  const uint8_t* y0;
  const uint8_t* y1;
  const uint8_t* u;
  const uint8_t* v;
  uint8_t* outA;
  uint8_t* outB;
};

inline PackedRowPair RowPairOfPackedRun(const PackedRun& run, int pair) {
  const int64_t lumaStride = 2 * run.chromaStride;
  PackedRowPair rows;
  rows.y0 = StepBytes(run.y, -2 * pair * lumaStride);
  rows.y1 = StepBytes(rows.y0, -lumaStride);
  rows.u = StepBytes(run.u, -pair * run.chromaStride);
  rows.v = StepBytes(run.v, -pair * run.chromaStride);
  rows.outA = StepBytes(run.out, 2 * pair * run.outRow);
  rows.outB = StepBytes(rows.outA, run.outRow);
  return rows;
}

// The vector writer of one call.
struct WidePacker {
  void (*packRun)(const WidePacker& packer, const PackedRun& run);
  bool yuy2;                     // byte order Y U Y V rather than U Y V Y
  const PackedLookups* lookups;  // null: samples copied unchanged
};

// Sets up `packer` for this call's byte order, tables and plan; false when
// no vector path applies.
bool ChooseWidePacker(bool yuy2, const PackedCall& call, WidePacker& packer);

#if KELMAR_HAVE_WIDE
void PackRunSse2(const WidePacker& packer, const PackedRun& run);
void PackRunAvx2(const WidePacker& packer, const PackedRun& run);
#endif

}  // namespace kelmar
