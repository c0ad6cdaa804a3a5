// LumaTable, UTable and VTable values.
#include "tables/adjust_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "test_support.h"

namespace kelmar {
namespace {

// The tables of the last Build(), by their index-0 bases.
AdjustTables built;
const uint8_t* const LumaTable = built.LumaTable();
const ChromaTerms* const UTable = built.UTable();
const ChromaTerms* const VTable = built.VTable();

void Build(int32_t brightness, int32_t contrast, int32_t saturation) {
  BuildAdjustTables(brightness, contrast, saturation, built);
}

struct TermsCase {
  int index;
  ChromaTerms u;
  ChromaTerms v;
};

void ExpectTerms(const TermsCase& c) {
  EXPECT_EQ(UTable[c.index].green, c.u.green) << "U green at " << c.index;
  EXPECT_EQ(UTable[c.index].other, c.u.other) << "U blue at " << c.index;
  EXPECT_EQ(VTable[c.index].green, c.v.green) << "V green at " << c.index;
  EXPECT_EQ(VTable[c.index].other, c.v.other) << "V red at " << c.index;
}

TEST(AdjustTables, NeutralLumaRaisesNegativeDistancesByOne) {
  Build(0, 0, 0);
  for (int i = kLumaTableMin; i <= kLumaTableMax; ++i) {
    const int expected = i <= -1 ? 0 : i <= 127 ? i + 1 : i <= 255 ? i : 255;
    ASSERT_EQ(LumaTable[i], expected) << "index " << i;
  }
}

TEST(AdjustTables, NeutralChromaTerms) {
  Build(0, 0, 0);
  const TermsCase cases[] = {
      {0, {44, -226}, {91, -179}},   {80, {16, -85}, {34, -67}},     {128, {0, 0}, {0, 0}},
      {255, {-43, 225}, {-90, 178}}, {-70, {68, -350}, {141, -277}}, {329, {-69, 356}, {-143, 281}},
  };
  for (const auto& c : cases) ExpectTerms(c);
}

TEST(AdjustTables, FullSaturationDoublesTermsAndSaturates) {
  for (int32_t saturation : {10, 25, INT32_MAX}) {
    Build(0, 0, saturation);
    ExpectTerms({0, {88, -453}, {182, -358}});
    ExpectTerms({255, {-87, 450}, {-181, 356}});
  }
}

TEST(AdjustTables, NoSaturationGivesGrey) {
  for (int32_t saturation : {-10, -11, -1000, INT32_MIN}) {
    Build(0, 0, saturation);
    for (int j = kChromaTableMin; j <= kChromaTableMax; ++j) {
      ASSERT_EQ(UTable[j].green, 0);
      ASSERT_EQ(UTable[j].other, 0);
      ASSERT_EQ(VTable[j].green, 0);
      ASSERT_EQ(VTable[j].other, 0);
    }
  }
}

uint64_t BitsOfDouble(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

TEST(AdjustTables, SaturationFactorFollowsSinglePrecisionStep) {
  const std::pair<int32_t, double> cases[] = {
      {-9, 0.09999998658895493},
      {1, 1.1000000014901161},
      {9, 1.900000013411045},
      {0, 1.0},
      {-10, 0.0},
      {10, 2.0},
  };
  for (const auto& [saturation, factor] : cases)
    EXPECT_EQ(BitsOf(SaturationFactor(saturation)), BitsOfDouble(factor)) << saturation;
}

TEST(AdjustTables, FlatContrastIsBrightnessOnly) {
  Build(10, -20, 0);
  for (int i = kLumaTableMin; i <= kLumaTableMax; ++i) ASSERT_EQ(LumaTable[i], 228) << i;
}

TEST(AdjustTables, NegativeContrastInvertsRamp) {
  Build(0, -40, 0);  // k = -1
  EXPECT_EQ(LumaTable[0], 255);
  EXPECT_EQ(LumaTable[255], 2);  // trunc(-127 + 0.5) = -126, + 128
  EXPECT_EQ(LumaTable[128], 128);
}

// Extreme brightness drives every entry to the end of the range instead of
// wrapping around in 32-bit arithmetic.
TEST(AdjustTables, ExtremeValuesSaturateInsteadOfWrapping) {
  struct Case {
    int32_t brightness, contrast;
    int low, high;  // expected entries at indices 0 and 255
  };
  const Case cases[] = {
      {INT32_MAX, 0, 255, 255},
      {214748365, 0, 255, 255},
      {INT32_MIN, 0, 0, 0},
      {-214748365, 0, 0, 0},
      {0, INT32_MAX, 0, 255},
      {0, INT32_MIN, 255, 0},
      {INT32_MAX, INT32_MAX, 255, 255},
      {INT32_MIN, INT32_MIN, 0, 0},
      {26, 0, 255, 255},
      {-26, 0, 0, 0},
  };
  for (const auto& c : cases) {
    Build(c.brightness, c.contrast, 0);
    EXPECT_EQ(LumaTable[0], c.low) << c.brightness << " " << c.contrast;
    EXPECT_EQ(LumaTable[255], c.high) << c.brightness << " " << c.contrast;
  }
}

// The widened table holds the same formula at every index a converter can
// reach with the largest saturation factor.
TEST(AdjustTables, WidenedLumaTableCoversEveryReachableIndex) {
  EXPECT_LE(kLumaTableMin, 0 - 453);
  EXPECT_GE(kLumaTableMax, 255 + 450 + 6);
  Build(0, 0, 10);
  int lowest = 0, highest = 0;
  for (int s = 0; s <= 255; ++s) {
    const int blue = UTable[s].other, red = VTable[s].other;
    for (int t = 0; t <= 255; ++t) {
      const int green = UTable[s].green + VTable[t].green;
      lowest = std::min({lowest, blue, red, green});
      highest = std::max({highest, 255 + blue + 6, 255 + red + 6, 255 + green + 6});
    }
  }
  EXPECT_GE(lowest, kLumaTableMin);
  EXPECT_LE(highest, kLumaTableMax);
  Build(3, 7, 0);
  const double k = 1 + 0.05 * 7;
  for (int i : {kLumaTableMin, -300, 499, 500, kLumaTableMax}) {
    const long t = static_cast<long>((i - 128) * k + 0.5) + 30 + 128;
    EXPECT_EQ(LumaTable[i], t < 0 ? 0 : t > 255 ? 255 : t) << i;
  }
}

// --- Integer double arithmetic against the processor's -----------------------
//
// Each hardware operation goes through a volatile, so it is rounded on its own:
// no build of these tests can fuse or reassociate it.  Only a fast-math build
// may still replace a division by a multiplication with the reciprocal; there
// the processor is no reference, and the committed table digests remain.
#if defined(__FAST_MATH__)
#define SKIP_WITHOUT_IEEE_REFERENCE() GTEST_SKIP() << "fast-math build: no IEEE reference"
#else
#define SKIP_WITHOUT_IEEE_REFERENCE() static_cast<void>(0)
#endif

double Rounded(double x) {
  volatile double stored = x;
  return stored;
}

SoftDouble ToSoft(double x) { return DoubleFromBits(BitsOfDouble(x)); }

// Random doubles of both signs between 2^-40 and 2^80, with random runs of
// trailing zero bits so that sums and products often land on halfway cases.
double RandomDouble(test::Rng& rng) {
  uint64_t significand = (uint64_t{rng.Next()} << 32 | rng.Next()) & ((uint64_t{1} << 52) - 1);
  significand &= ~uint64_t{0} << rng.Uniform(0, 52);
  const uint64_t exponent = static_cast<uint64_t>(1023 + rng.Uniform(-40, 80));
  const uint64_t sign = rng.Uniform(0, 1) ? uint64_t{1} << 63 : 0;
  const uint64_t bits = sign | exponent << 52 | significand;
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

TEST(SoftDouble, EveryOperationRoundsAsTheProcessorDoes) {
  SKIP_WITHOUT_IEEE_REFERENCE();
  test::Rng rng(20261208);
  for (int n = 0; n < 200000; ++n) {
    double a = RandomDouble(rng);
    double b = RandomDouble(rng);
    // Close exponents too, for cancellation and carries.
    if (n % 3 == 0) b = Rounded(a * Rounded(1.0 + rng.Uniform(-1000, 1000) / 4096.0));
    const SoftDouble sa = ToSoft(a), sb = ToSoft(b);
    ASSERT_EQ(BitsOf(Add(sa, sb)), BitsOfDouble(Rounded(a + b))) << a << " + " << b;
    ASSERT_EQ(BitsOf(Subtract(sa, sb)), BitsOfDouble(Rounded(a - b))) << a << " - " << b;
    ASSERT_EQ(BitsOf(Multiply(sa, sb)), BitsOfDouble(Rounded(a * b))) << a << " * " << b;
    ASSERT_EQ(BitsOf(Divide(sa, sb)), BitsOfDouble(Rounded(a / b))) << a << " / " << b;
    ASSERT_EQ(IsLess(sa, sb), a < b) << a << " < " << b;
    const volatile float single = static_cast<float>(a);
    ASSERT_EQ(BitsOf(RoundToFloat(sa)), BitsOfDouble(static_cast<double>(single))) << a;
    if (std::fabs(a) < 0x1p61) {
      ASSERT_EQ(TruncateToInteger(sa), static_cast<int64_t>(a)) << a;
    }
  }
}

TEST(SoftDouble, ExactCasesAndZero) {
  const SoftDouble zero = FromInteger(0);
  const int64_t integers[] = {0,
                              1,
                              -1,
                              2,
                              -128,
                              INT32_MIN,
                              INT32_MAX,
                              1 << 30,
                              -(1 << 30),
                              4294967296,
                              9007199254740993,
                              -9007199254740993,
                              INT64_MIN};
  for (int64_t v : integers) {
    EXPECT_EQ(BitsOf(FromInteger(v)), BitsOfDouble(static_cast<double>(v))) << v;
    EXPECT_EQ(BitsOf(Add(FromInteger(v), zero)), BitsOf(FromInteger(v))) << v;
    EXPECT_EQ(BitsOf(Multiply(FromInteger(v), zero)), 0u) << v;
    EXPECT_EQ(BitsOf(Subtract(FromInteger(v), FromInteger(v))), 0u) << v;
  }
  EXPECT_TRUE(IsLess(FromInteger(-1), zero));
  EXPECT_FALSE(IsLess(zero, zero));
  EXPECT_EQ(TruncateToInteger(ToSoft(-27.5)), -27);  // toward zero, not down
  EXPECT_EQ(TruncateToInteger(ToSoft(0.999)), 0);
  // The constants of the formulas are the literals they stand for.
  const std::pair<SoftDouble, double> constants[] = {
      {kUGreen, static_cast<double>(-0.34414f)},
      {kUBlue, static_cast<double>(1.772f)},
      {kVGreen, static_cast<double>(-0.71414f)},
      {kVRed, static_cast<double>(1.402f)},
      {FloatFromBits(0x3DCCCCCDu), static_cast<double>(0.1f)},
      {DoubleFromBits(0xBFA999999999999Au), -0.05}};
  for (const auto& [soft, literal] : constants) EXPECT_EQ(BitsOf(soft), BitsOfDouble(literal));
}

// The table formulas evaluated step by step in hardware doubles, each step
// rounded on its own: the reference the integer builders must reproduce.
int64_t ReferenceRamp(int32_t distance, double gain) {
  return static_cast<int64_t>(Rounded(Rounded(distance * gain) + 0.5));
}
double ReferenceContrast(int32_t contrast) { return Rounded(1.0 - Rounded(contrast * -0.05)); }
double ReferenceSaturation(int32_t saturation) {
  double s = Rounded(Rounded(saturation * static_cast<double>(0.1f)) + 1.0);
  if (s < static_cast<double>(0.01f)) s = 0;
  return s > 2 ? 2 : s;
}
int32_t ReferenceTerm(double s, int j, float coefficient) {
  return static_cast<int32_t>(Rounded(Rounded(s * (j - 128)) * static_cast<double>(coefficient)));
}

TEST(AdjustTables, BuildersMatchSeparatelyRoundedDoubles) {
  SKIP_WITHOUT_IEEE_REFERENCE();
  std::vector<int32_t> settings = {INT32_MIN, INT32_MAX, -1000001, 999999, -4321, 4321};
  for (int32_t v = -300; v <= 300; ++v) settings.push_back(v);
  uint8_t luma[kLumaTableSize];
  ChromaTerms u[kChromaTableSize], v[kChromaTableSize];
  for (int32_t setting : settings) {
    BuildLumaTable(3, setting, luma - kLumaTableMin);
    const double k = ReferenceContrast(setting);
    for (int i = kLumaTableMin; i <= kLumaTableMax; ++i) {
      const int64_t level = ReferenceRamp(i - 128, k) + 158;
      ASSERT_EQ(luma[i - kLumaTableMin], level < 0     ? 0
                                         : level > 255 ? 255
                                                       : level)
          << "contrast " << setting << " index " << i;
    }
    BuildChromaTables(setting, u - kChromaTableMin, v - kChromaTableMin);
    const double s = ReferenceSaturation(setting);
    for (int j = kChromaTableMin; j <= kChromaTableMax; ++j) {
      const ChromaTerms& uj = u[j - kChromaTableMin];
      const ChromaTerms& vj = v[j - kChromaTableMin];
      ASSERT_EQ(uj.green, ReferenceTerm(s, j, -0.34414f)) << setting << " " << j;
      ASSERT_EQ(uj.other, ReferenceTerm(s, j, 1.772f)) << setting << " " << j;
      ASSERT_EQ(vj.green, ReferenceTerm(s, j, -0.71414f)) << setting << " " << j;
      ASSERT_EQ(vj.other, ReferenceTerm(s, j, 1.402f)) << setting << " " << j;
    }
  }
}

}  // namespace
}  // namespace kelmar
