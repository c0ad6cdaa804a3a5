// Library-wide state shared by the entry points, the table builders and the
// converters.  All of it is static, zero at load, and used from one thread.
#pragma once

#include <cstdint>

namespace kelmar {

struct DisplayValues {
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t balance;
};

inline bool operator==(const DisplayValues& a, const DisplayValues& b) {
  return a.brightness == b.brightness && a.contrast == b.contrast && a.saturation == b.saturation &&
         a.balance == b.balance;
}
inline bool operator!=(const DisplayValues& a, const DisplayValues& b) { return !(a == b); }

// Set by SetDisplay().
extern DisplayValues DisplayAdjust;
// What the previous Kelmar() call saw; a difference forces a full redraw.
extern DisplayValues LastDisplayAdjust;

// 1 when the processor reports MMX; chooses each converter's MMX or integer
// data moves.  Recomputed at the start of every Kelmar() call.
extern int32_t UseMmx;

// Widest vector extension the converters may use for this call, on top of
// the MMX / integer paths.  Every level writes the same bytes.
enum class WideSimd : int32_t { kNone = 0, kSse2 = 1, kAvx2 = 2 };
extern WideSimd WideLevel;

}  // namespace kelmar
