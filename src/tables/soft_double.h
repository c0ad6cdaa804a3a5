// Double-precision arithmetic carried out in integers.
//
// The tables are defined by double operations, each rounded to the nearest
// double (ties to even) in a given order.  Compilers may fuse a multiply and
// an add, reassociate under fast-math flags, or keep wider intermediates
// (x87); any of these changes a table entry here and there.  Integer
// arithmetic has none of that freedom, so every build on every processor
// computes the same tables.
//
// Only finite values well inside the normal range occur (magnitudes between
// about 2^-40 and 2^80), so there are no subnormals, infinities or NaNs.
#pragma once

#include <cstdint>

namespace kelmar {

// (negative ? -1 : 1) * significand * 2^exponent.  A non-zero value keeps
// its significand in [2^52, 2^53); zero has significand 0.
struct SoftDouble {
  bool negative;
  uint64_t significand;
  int32_t exponent;
};

// The double with these IEEE-754 bits, or the float with these bits widened
// to double.  Normal numbers and zero only.  Constant expressions, so that
// constants need no code at load time.
constexpr SoftDouble DoubleFromBits(uint64_t bits) {
  const int32_t biased = static_cast<int32_t>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0) return {false, 0, 0};
  return {(bits >> 63) != 0, fraction | (uint64_t{1} << 52), biased - 1075};
}
constexpr SoftDouble FloatFromBits(uint32_t bits) {
  const int32_t biased = static_cast<int32_t>((bits >> 23) & 0xFF);
  const uint64_t fraction = bits & ((1u << 23) - 1);
  if (biased == 0) return {false, 0, 0};
  return {(bits >> 31) != 0, (fraction | (uint64_t{1} << 23)) << 29, biased - 150 - 29};
}
// The IEEE-754 bits of `x`.
uint64_t BitsOf(const SoftDouble& x);

// The double nearest to `value` (exact for |value| < 2^53).
SoftDouble FromInteger(int64_t value);

// The correctly rounded sum, difference, product and quotient.
SoftDouble Add(const SoftDouble& a, const SoftDouble& b);
SoftDouble Subtract(const SoftDouble& a, const SoftDouble& b);
SoftDouble Multiply(const SoftDouble& a, const SoftDouble& b);
SoftDouble Divide(const SoftDouble& a, const SoftDouble& b);  // b != 0

// `x` rounded to single precision, as a double again.
SoftDouble RoundToFloat(const SoftDouble& x);

// `x` truncated toward zero; |x| must be below 2^62.
int64_t TruncateToInteger(const SoftDouble& x);

bool IsLess(const SoftDouble& a, const SoftDouble& b);
inline SoftDouble Negate(SoftDouble x) {
  if (x.significand != 0) x.negative = !x.negative;
  return x;
}
inline SoftDouble Magnitude(SoftDouble x) {
  x.negative = false;
  return x;
}

}  // namespace kelmar
