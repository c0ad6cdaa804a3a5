// PackedLumaTable, PackedUTable and PackedVTable for one display setting,
// with the forms of them that the vector writers use.
#pragma once

#include <cstdint>

#include "common/display_values.h"
#include "common/features.h"

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

// The packed tables as the vector writers read them: tables that are the
// identity are skipped, the others looked up by byte shuffles.
struct PackedLookups {
  bool mapLuma;         // luma through PackedLumaTable
  bool mapChroma;       // U and V through PackedUTable and PackedVTable
  SlicedTables luma;    // PackedLumaTable twice
  SlicedTables chroma;  // PackedUTable, PackedVTable
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
