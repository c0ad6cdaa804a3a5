// PackedLumaTable, PackedUTable and PackedVTable for one display setting,
// with the forms of them that the vector writers use.
#pragma once

#include <cstdint>

#include "common/display_values.h"

namespace kelmar {

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
