// Rounding to nearest, ties to even, on exact integer intermediates.  Every
// operation first forms its exact result (or, for division, enough quotient
// bits plus a sticky bit) and rounds once.
#include "tables/soft_double.h"

namespace kelmar {
namespace {

constexpr int kSignificandBits = 53;
constexpr int kFloatSignificandBits = 24;

// An unsigned 128-bit integer in two 64-bit halves; 32-bit targets have no
// native type for it.
struct Wide {
  uint64_t high;
  uint64_t low;
};

Wide WideProduct(uint64_t a, uint64_t b) {
  const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
  const uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
  const uint64_t lowLow = aLow * bLow;
  const uint64_t lowHigh = aLow * bHigh;
  const uint64_t highLow = aHigh * bLow;
  const uint64_t highHigh = aHigh * bHigh;
  const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
  return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
          (middle << 32) | (lowLow & 0xFFFFFFFFu)};
}

Wide ShiftLeft(Wide x, int n) {  // 0 <= n < 128
  if (n == 0) return x;
  if (n >= 64) return {x.low << (n - 64), 0};
  return {(x.high << n) | (x.low >> (64 - n)), x.low << n};
}

// x >> n, with `sticky` set when a one bit was shifted out.
Wide ShiftRight(Wide x, int n, bool& sticky) {  // 0 <= n < 128
  if (n == 0) return x;
  if (n >= 64) {
    const int m = n - 64;
    sticky = sticky || x.low != 0 || (m > 0 && (x.high << (64 - m)) != 0);
    return {0, m == 0 ? x.high : x.high >> m};
  }
  sticky = sticky || (x.low << (64 - n)) != 0;
  return {x.high >> n, (x.low >> n) | (x.high << (64 - n))};
}

Wide Sum(Wide a, Wide b) {
  const uint64_t low = a.low + b.low;
  return {a.high + b.high + (low < a.low ? 1 : 0), low};
}

Wide Difference(Wide a, Wide b) {  // a >= b
  return {a.high - b.high - (a.low < b.low ? 1 : 0), a.low - b.low};
}

bool IsBelow(Wide a, Wide b) { return a.high != b.high ? a.high < b.high : a.low < b.low; }

int BitLength(uint64_t x) { return x ? 64 - __builtin_clzll(x) : 0; }

int BitLength(Wide x) { return x.high ? 64 + BitLength(x.high) : BitLength(x.low); }

// (negative ? -1 : 1) * (magnitude + a fraction when `sticky`) * 2^exponent,
// rounded to `bits` significant bits, ties to even.
SoftDouble Round(bool negative, Wide magnitude, int32_t exponent, bool sticky, int bits) {
  const int length = BitLength(magnitude);
  if (length == 0) return {false, 0, 0};
  if (length <= bits) {
    // Exact; callers that pass `sticky` always supply more bits than this.
    const int shift = kSignificandBits - length;
    return {negative, ShiftLeft(magnitude, shift).low, exponent - shift};
  }
  const int dropped = length - bits;
  bool belowHalf = sticky;
  const Wide kept = ShiftRight(magnitude, dropped - 1, belowHalf);
  const bool half = (kept.low & 1) != 0;
  uint64_t significand = kept.low >> 1;
  exponent += dropped;
  if (half && (belowHalf || (significand & 1))) ++significand;
  if (significand >> bits) {  // rounded up to the next power of two
    significand >>= 1;
    ++exponent;
  }
  const int widen = kSignificandBits - bits;
  return {negative, significand << widen, exponent - widen};
}

SoftDouble Round(bool negative, Wide magnitude, int32_t exponent) {
  return Round(negative, magnitude, exponent, false, kSignificandBits);
}

}  // namespace

uint64_t BitsOf(const SoftDouble& x) {
  if (x.significand == 0) return 0;
  const uint64_t sign = x.negative ? uint64_t{1} << 63 : 0;
  const uint64_t biased = static_cast<uint64_t>(x.exponent + 1075);
  return sign | biased << 52 | (x.significand & ((uint64_t{1} << 52) - 1));
}

SoftDouble FromInteger(int64_t value) {
  const bool negative = value < 0;
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return Round(negative, {0, magnitude}, 0);
}

SoftDouble Add(const SoftDouble& a, const SoftDouble& b) {
  if (a.significand == 0) return b;
  if (b.significand == 0) return a;
  const SoftDouble& larger = a.exponent >= b.exponent ? a : b;
  const SoftDouble& smaller = a.exponent >= b.exponent ? b : a;
  const int32_t gap = larger.exponent - smaller.exponent;
  // Beyond this gap the smaller value is less than a quarter of the larger
  // one's last place, and rounding gives the larger value itself.
  if (gap > 64) return larger;
  const Wide big = ShiftLeft({0, larger.significand}, gap);
  const Wide small = {0, smaller.significand};
  if (larger.negative == smaller.negative)
    return Round(larger.negative, Sum(big, small), smaller.exponent);
  if (IsBelow(big, small)) return Round(smaller.negative, Difference(small, big), smaller.exponent);
  return Round(larger.negative, Difference(big, small), smaller.exponent);
}

SoftDouble Subtract(const SoftDouble& a, const SoftDouble& b) { return Add(a, Negate(b)); }

SoftDouble Multiply(const SoftDouble& a, const SoftDouble& b) {
  if (a.significand == 0 || b.significand == 0) return {false, 0, 0};
  return Round(a.negative != b.negative, WideProduct(a.significand, b.significand),
               a.exponent + b.exponent);
}

SoftDouble Divide(const SoftDouble& a, const SoftDouble& b) {
  if (a.significand == 0) return {false, 0, 0};
  // Long division of the significands: 56 quotient bits, of which at least
  // 55 are significant since the ratio lies in (1/2, 2), and the remainder
  // as the sticky bit.
  constexpr int kQuotientBits = 56;
  uint64_t remainder = a.significand;
  uint64_t quotient = 0;
  for (int i = 0; i < kQuotientBits; ++i) {
    quotient <<= 1;
    if (remainder >= b.significand) {
      remainder -= b.significand;
      quotient |= 1;
    }
    remainder <<= 1;
  }
  return Round(a.negative != b.negative, {0, quotient},
               a.exponent - b.exponent - (kQuotientBits - 1), remainder != 0, kSignificandBits);
}

SoftDouble RoundToFloat(const SoftDouble& x) {
  return Round(x.negative, {0, x.significand}, x.exponent, false, kFloatSignificandBits);
}

int64_t TruncateToInteger(const SoftDouble& x) {
  if (x.significand == 0 || x.exponent <= -64) return 0;
  const uint64_t magnitude =
      x.exponent >= 0 ? x.significand << x.exponent : x.significand >> -x.exponent;
  const int64_t value = static_cast<int64_t>(magnitude);
  return x.negative ? -value : value;
}

bool IsLess(const SoftDouble& a, const SoftDouble& b) {
  if (a.negative != b.negative) {
    return a.negative && (a.significand != 0 || b.significand != 0);
  }
  // Same sign: compare magnitudes, zero below everything.
  bool magnitudeLess;
  if (a.significand == 0 || b.significand == 0)
    magnitudeLess = a.significand == 0 && b.significand != 0;
  else if (a.exponent != b.exponent)
    magnitudeLess = a.exponent < b.exponent;
  else
    magnitudeLess = a.significand < b.significand;
  if (a.negative) {
    const bool equal = a.significand == b.significand && a.exponent == b.exponent;
    return !magnitudeLess && !equal;
  }
  return magnitudeLess;
}

}  // namespace kelmar
