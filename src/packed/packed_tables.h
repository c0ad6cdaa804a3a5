// PackedLumaTable, PackedUTable and PackedVTable for one display setting,
// with the forms of them that the vector writers use.
#pragma once

#include <cstdint>

#include "common/display_values.h"
#include "common/features.h"
#include "tables/nibble_form.h"

namespace kelmar {

// How the AVX2 writer looks a byte up in a 256-entry table: 16 byte
// shuffles, one per slice of 16 entries.  With 32 vector registers (x86-64)
// a tree of blends on index bits 4 to 7 picks one of the 16 results.  With
// 8 (32-bit x86) those 16 results spill, so there the slices are chained
// instead: within each half of the table (slices 0-7 and 8-15) a slice holds
// its entries XOR those of the slice after it, the lookup XORs the shuffles
// of every slice from the index's own to the end of its half (the others
// read as zero), and the chain cancels to the index's own entry.  Three
// registers suffice.
constexpr bool kXorChainedSlices = !KELMAR_WIDE_REGISTERS_32;

// A 256-entry table split into 16 slices of 16 entries, two tables side by
// side (or one table twice), so a 256-bit byte shuffle by the low index
// bits looks up one slice of the first table in its low lane and of the
// second in its high lane.
struct alignas(32) SlicedTables {
  uint8_t slice[16][32];
};

// A 256-entry table computed rather than looked up, in 16-bit vector
// arithmetic.  For a sample x, with d = x - 128 (the byte x ^ 0x80 read as
// signed):
//   a     = 256 * d + fine                  (d and fine as one word)
//   y     = saturate16(((a * scale) >> 16) + offset)
// which is about 2^shift * (d * gain + bias), then one of two roundings:
//   kBelowMiddle: entry = saturate8u((y >> shift) + (d < 0 ? 1 : 0))
//   kTowardZero:  entry = saturate8u(trunc(y / 2^shift) + lift)
// the shapes of the packed ramps, whose truncation toward zero rounds the
// two halves of the table differently (the second also where the gain is
// small enough that the halves meet away from the middle).  A form is only
// ever used once it has given every entry of its table (RampEntry).
enum class RampRounding : uint8_t { kBelowMiddle, kTowardZero };

struct RampShape {
  RampRounding rounding;
  int shift;
};

// Entries the line misses, at most this many, are set right after it: a
// table whose ties at half a level its double arithmetic rounds both ways
// follows no single line.
constexpr int kRampCorrections = 2;

struct PackedRamp {
  int16_t scale;
  int16_t offset;
  int16_t lift;  // kTowardZero only
  uint8_t fine;
  // Entry correctAt[k] gets correctBy[k] added, modulo 256; 0 leaves the
  // slot unused.
  uint8_t correctAt[kRampCorrections];
  uint8_t correctBy[kRampCorrections];
};

// Entry x of the table that `ramp` computes in `shape`.
uint8_t RampEntry(const PackedRamp& ramp, RampShape shape, int x);

// Two ramps (or one twice) as the vector writers load them: 16-bit lanes
// 0-7 and bytes 0-15 of the first, 8-15 and 16-31 of the second, so each
// 128-bit lane of a 256-bit vector computes its own table;
// `fineByHalves` has the fine bytes for 128-bit vectors that hold eight
// samples of each table.
struct alignas(32) RampVectors {
  int16_t scale[16];
  int16_t offset[16];
  int16_t lift[16];
  int16_t towardZero[16];  // 2^shift - 1, added to negative words before the shift
  uint8_t fine[32];
  uint8_t correctAt[kRampCorrections][32];
  uint8_t correctBy[kRampCorrections][32];
  uint8_t fineByHalves[16];
  uint8_t correctAtByHalves[kRampCorrections][16];
  uint8_t correctByByHalves[kRampCorrections][16];
  bool corrected;  // either ramp has corrections
};

// The ramp of lane `lane` (0-15) of `vectors`.
PackedRamp RampOfLane(const RampVectors& vectors, int lane);

// Two NibbleTables (or one twice) as a 256-bit byte shuffle reads them, the
// first in the low 128-bit lane and the second in the high one.
struct alignas(32) NibbleVectors {
  uint8_t raise[32], lower[32], threshold[32];
  uint8_t step[32], rank[32];
  bool lowers;  // some entry of `lower` is not zero
};

// The tables of lane `lane` (0 or 1) of `vectors`.
NibbleTables NibblesOfLane(const NibbleVectors& vectors, int lane);

// The packed tables as the vector writers read them: tables that are the
// identity are skipped, the others computed by their halves (writers with
// byte shuffles) or as ramps where they have forms (luma in a shape of its
// own, U and V in one shape together, as they share a vector), or else
// looked up.
struct PackedLookups {
  bool mapLuma;          // luma through PackedLumaTable
  bool mapChroma;        // U and V through PackedUTable and PackedVTable
  bool lumaByNibbles;    // the mapped luma by lumaNibbles
  bool chromaByNibbles;  // the mapped U and V by chromaNibbles
  bool chromaAlike;      // PackedUTable and PackedVTable are the same table
  bool lumaByRamp;       // the mapped luma by lumaRamp in lumaShape
  bool chromaByRamp;     // the mapped U and V by chromaRamp in chromaShape
  RampShape lumaShape;   // rounding and shift of each ramp
  RampShape chromaShape;
  NibbleVectors lumaNibbles;    // PackedLumaTable twice
  NibbleVectors chromaNibbles;  // PackedUTable, PackedVTable
  RampVectors lumaRamp;         // PackedLumaTable twice
  RampVectors chromaRamp;       // PackedUTable, PackedVTable
  SlicedTables luma;            // PackedLumaTable twice
  SlicedTables chroma;          // PackedUTable, PackedVTable
};

struct PackedTables {
  using Key = DisplayValues;
  static Key KeyFor(const DisplayValues& adjust) { return adjust; }
  static void Build(const Key& key, PackedTables& tables);

  uint8_t PackedLumaTable[256];
  uint8_t PackedUTable[256];
  uint8_t PackedVTable[256];
  PackedLookups lookups;
};

// The three tables for `adjust`, at least one of whose values is non-zero
// (with all four zero the writers copy samples and read no table).
void BuildPackedTables(const DisplayValues& adjust, PackedTables& tables);

}  // namespace kelmar
