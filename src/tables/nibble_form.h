// A 256-entry byte table as arithmetic on 16-entry tables, for code that
// shuffles bytes by four-bit indices: the packed writers' tables, and
// windows of LumaTable.
#pragma once

#include <cstdint>

namespace kelmar {

// A 256-entry table looked up by the two halves of the sample: byte
// shuffles of 16-entry tables by its high four bits h and its low four
// bits l give
//   entry(16h + l) = clamp(base[h] + step[l] - (threshold[h] > rank[l] ? 1 : 0))
// where the clamp to 0..255 is a saturating add of base's part above zero
// (raise) and a saturating subtract of its part below zero (lower).  A
// rounded line fits it: base[h] is its level at 16h, step[l] its rise over
// l more entries, one less where 16h lies low between two levels; rank and
// threshold order those positions, which holds for any roundings that nest
// (ties the double arithmetic rounds both ways included, as long as they
// do).  Eight-bit arithmetic throughout, so twice the samples of a ramp per
// vector.  A form is only ever used once it has given every entry of its
// table (NibbleEntry).
struct NibbleTables {
  uint8_t raise[16], lower[16], threshold[16];  // by the high four bits
  uint8_t step[16], rank[16];                   // by the low four bits
};

// Entry x of the table that `tables` give.
uint8_t NibbleEntry(const NibbleTables& tables, int x);

// The form by halves of a table (NibbleTables) from its levels: false where
// the rise over l entries differs by more than one between high halves, the
// rises span more than a byte, or the low positions do not nest.  A run of
// 16 entries clamped whole takes no part: its saturated base gives 0 or 255
// whatever the step.
bool FindNibbles(const int64_t (&levels)[256], const uint8_t (&table)[256], NibbleTables& found);

}  // namespace kelmar
