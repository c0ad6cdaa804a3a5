// The four display adjustments set by SetDisplay().
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

// Packed output copies samples unchanged when all four are zero.
inline bool AnyAdjustment(const DisplayValues& a) {
  return a.brightness != 0 || a.contrast != 0 || a.saturation != 0 || a.balance != 0;
}

}  // namespace kelmar
