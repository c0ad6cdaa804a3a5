// The display adjustments: the one piece of state the library keeps for the
// whole process, as hosts expect, and safe to use from any number of
// threads.
#pragma once

#include "common/display_values.h"

namespace kelmar {

// SetDisplay(): replaces all four values as one.
void StoreDisplayAdjust(const DisplayValues& values);

// The four values as they stand now, never a mix of two SetDisplay() calls.
DisplayValues LoadDisplayAdjust();

// What a Kelmar() call sees: the values as they stand now, and whether they
// differ from those the previous Kelmar() call saw (LastDisplayAdjust),
// which become these.  Comparison and copy are one step, so each change is
// seen by exactly one call, whichever thread makes it.
struct DisplaySnapshot {
  DisplayValues adjust;
  bool changed;
};
DisplaySnapshot TakeDisplayAdjust();

// LastDisplayAdjust, for tests.
DisplayValues LoadLastDisplayAdjust();

}  // namespace kelmar
