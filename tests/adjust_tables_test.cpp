// LumaTable, UTable and VTable values.
#include "tables/adjust_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "exports/state.h"

namespace kelmar {
namespace {

void Build(int32_t brightness, int32_t contrast, int32_t saturation) {
  DisplayAdjust = {brightness, contrast, saturation, 0};
  BuildAdjustTables(0);
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

TEST(AdjustTables, SaturationFactorFollowsSinglePrecisionStep) {
  EXPECT_EQ(SaturationFactor(-9), 0.09999998658895493);
  EXPECT_EQ(SaturationFactor(1), 1.1000000014901161);
  EXPECT_EQ(SaturationFactor(9), 1.900000013411045);
  EXPECT_EQ(SaturationFactor(0), 1.0);
  EXPECT_EQ(SaturationFactor(-10), 0.0);
  EXPECT_EQ(SaturationFactor(10), 2.0);
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

}  // namespace
}  // namespace kelmar
