// Table building must give the same doubles on every platform.  The i686
// build computes with the x87 unit, which by default rounds to 64-bit
// mantissas; this scope switches it to 53-bit (double) rounding while
// tables are built, so every operation rounds exactly as IEEE double does.
#pragma once

#include <cstdint>

namespace kelmar {

#if defined(__i386__) && !defined(__SSE2_MATH__)
class DoublePrecisionScope {
 public:
  DoublePrecisionScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const uint16_t doublePrecision = static_cast<uint16_t>((saved_ & ~0x0300u) | 0x0200u);
    __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
  }
  ~DoublePrecisionScope() { __asm__ volatile("fldcw %0" : : "m"(saved_)); }
  DoublePrecisionScope(const DoublePrecisionScope&) = delete;
  DoublePrecisionScope& operator=(const DoublePrecisionScope&) = delete;

 private:
  uint16_t saved_;
};
#else
class DoublePrecisionScope {
 public:
  DoublePrecisionScope() {}  // SSE and other units already round to double
};
#endif

}  // namespace kelmar
