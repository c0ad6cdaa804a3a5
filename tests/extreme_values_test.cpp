// Every adjustment at the ends of the int32 range and at the edges of its
// formula's useful range, for every layout: the tables stay complete and
// inside their ranges, the output is the same on every path, and nothing is
// written outside the buffers.  Header sizes far outside the useful range
// convert nothing and touch nothing.  Meant to run under UBSan as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "tables/adjust_tables.h"
#include "tables/dither_palette.h"
#include "test_support.h"

namespace kelmar::test {
namespace {

using Layout = OutputLayoutInfo;
const Layout& kRgb24 = InfoOf(OutputLayout::kRgb24);
const Layout& kPal8 = InfoOf(OutputLayout::kPal8);
const Layout& kUyvy = InfoOf(OutputLayout::kUyvy);

// Where each formula changes character: 10 x brightness leaves int32 from
// +-214748365 on, and from +-26 it saturates every sample; contrast -20
// flattens the luma ramp and below it the ramp falls (-40 mirrors it);
// saturation -10 and below removes colour, from 10 on it is capped; balance
// divides by 1 + 0.1 |balance|, which grows to about 2^27.
constexpr int32_t kEdges[] = {
    INT32_MIN, INT32_MIN + 1, -214748365, -214748364, -26, -25, -1, 0, 1, 25,
    26,        214748364,     214748365,  INT32_MAX};
constexpr int32_t kContrastEdges[] = {-21, -20, -19, -40, -41};
constexpr int32_t kSaturationEdges[] = {-11, -10, -9, 9, 10, 11};

std::vector<DisplayValues> Settings() {
  std::vector<DisplayValues> settings;
  for (int32_t v : kEdges) {
    settings.push_back({v, 0, 0, 0});
    settings.push_back({0, v, 0, 0});
    settings.push_back({0, 0, v, 0});
    settings.push_back({0, 0, 0, v});
  }
  for (int32_t c : kContrastEdges) settings.push_back({0, c, 0, 0});
  for (int32_t s : kSaturationEdges) {
    settings.push_back({0, 0, s, 0});
    settings.push_back({0, 0, s, INT32_MIN});
  }
  const DisplayValues mixed[] = {
      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
      {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
      {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
      {-26, -21, 11, 214748365},
      {26, -40, -9, -214748365},
  };
  settings.insert(settings.end(), std::begin(mixed), std::end(mixed));
  return settings;
}

std::string Describe(const DisplayValues& a) {
  return "brightness " + std::to_string(a.brightness) + ", contrast " + std::to_string(a.contrast) +
         ", saturation " + std::to_string(a.saturation) + ", balance " + std::to_string(a.balance);
}

// 48 x 32 random samples whose first macroblock holds every combination of
// the extreme samples 0 and 255, with the rows running upward in memory.
Picture ExtremePicture() {
  Picture p = MakePicture(48, 32, 77, RowOrder::kUp);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) const_cast<uint8_t*>(p.yRows[y])[x] = (x + y) & 1 ? 255 : 0;
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const_cast<uint8_t*>(p.uRows[y])[x] = x & 1 ? 255 : 0;
      const_cast<uint8_t*>(p.vRows[y])[x] = (x >> 1 ^ y) & 1 ? 255 : 0;
    }
  }
  return p;
}

struct Output {
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> palette;  // behind an 8-bit header
};

// The call on one path, into a guarded buffer of exactly the output's size.
Output Convert(const Layout& layout, int32_t zoom, const Picture& picture) {
  const int scale = zoom && !layout.packed ? 2 : 1;
  const int32_t width = picture.width * scale, height = picture.height * scale;
  auto h = MakeHeader(layout, width, height);
  GuardedBuffer out(static_cast<size_t>(width) * height * layout.bytesPerPixel);
  std::vector<uint8_t> map = FullMap(static_cast<size_t>(width) * height / 256);
  EXPECT_EQ(Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, zoom), 0);
  EXPECT_TRUE(out.GuardsIntact());
  Output result{out.Payload(), {}};
  if (layout.bitCount == 8 && !layout.packed) {
    const auto* colors = reinterpret_cast<const uint8_t*>(h.colors);
    result.palette.assign(colors, colors + sizeof(h.colors));
  }
  return result;
}

// Each index Y + terms + offset that a converter forms from samples 0..255
// lies inside LumaTable.
void ExpectTermsInsideLumaTable(const AdjustTables& tables) {
  const ChromaTerms* UTable = tables.UTable();
  const ChromaTerms* VTable = tables.VTable();
  const auto range = [](const ChromaTerms* table, int32_t ChromaTerms::*term) {
    std::pair<int, int> r{INT_MAX, INT_MIN};
    for (int sample = 0; sample < 256; ++sample) {
      r.first = std::min(r.first, table[sample].*term);
      r.second = std::max(r.second, table[sample].*term);
    }
    return r;
  };
  const auto blue = range(UTable, &ChromaTerms::other);
  const auto red = range(VTable, &ChromaTerms::other);
  const auto uGreen = range(UTable, &ChromaTerms::green);
  const auto vGreen = range(VTable, &ChromaTerms::green);
  const std::pair<int, int> green{uGreen.first + vGreen.first, uGreen.second + vGreen.second};
  for (const auto& [low, high] : {blue, green, red}) {
    EXPECT_GE(low, kLumaTableMin);
    EXPECT_LE(255 + high + kMaxLumaOffset, kLumaTableMax);
  }
}

// LumaTable follows the sign of the contrast factor 1 + 0.05 x contrast, and
// its entry at 128 is 128 + 10 x brightness, clamped.
void ExpectLumaTableShape(const DisplayValues& a, const AdjustTables& tables) {
  const uint8_t* LumaTable = tables.LumaTable();
  const int64_t centre = std::clamp<int64_t>(128 + 10 * int64_t{a.brightness}, 0, 255);
  EXPECT_EQ(LumaTable[128], centre);
  for (int i = kLumaTableMin + 1; i <= kLumaTableMax; ++i) {
    if (a.contrast > -20) {
      ASSERT_GE(LumaTable[i], LumaTable[i - 1]) << i;
    } else if (a.contrast < -20) {
      ASSERT_LE(LumaTable[i], LumaTable[i - 1]) << i;
    } else {
      ASSERT_EQ(LumaTable[i], centre) << i;
    }
  }
}

// Packed chroma gains are never negative, so both chroma tables rise, and
// the chroma zero stays put.
void ExpectPackedTablesShape(const DisplayValues& a, const PackedTables& tables) {
  const uint8_t* PackedLumaTable = tables.PackedLumaTable;
  for (const uint8_t* table : {tables.PackedUTable, tables.PackedVTable}) {
    EXPECT_EQ(table[128], 128);
    for (int i = 1; i < 256; ++i) ASSERT_GE(table[i], table[i - 1]) << i;
  }
  for (int i = 1; i < 256; ++i) {
    if (a.contrast >= -20) {
      ASSERT_GE(PackedLumaTable[i], PackedLumaTable[i - 1]) << i;
    } else {
      ASSERT_LE(PackedLumaTable[i], PackedLumaTable[i - 1]) << i;
    }
  }
}

class ExtremeValues : public ::testing::Test {
 protected:
  void TearDown() override { SetDisplayQuietly(0, 0, 0, 0); }
};

TEST_F(ExtremeValues, EveryLayoutGivesCompleteTablesAndOneOutputOnEveryPath) {
  const Picture picture = ExtremePicture();
  for (const DisplayValues& a : Settings()) {
    for (const Layout& layout : kOutputLayouts) {
      for (int32_t zoom : {0, 1}) {
        if (zoom && layout.packed) continue;
        SCOPED_TRACE(Describe(a) + ", " + layout.name + (zoom ? " double size" : ""));
        std::vector<uint8_t> palette;
        ExpectSameBytesOnEveryPath(
            [&](CodePath path) {
              ScopedPathLimit limit(path);
              SetDisplayQuietly(a.brightness, a.contrast, a.saturation, a.balance);
              Output out = Convert(layout, zoom, picture);
              if (palette.empty()) palette = out.palette;
              EXPECT_EQ(out.palette, palette) << CodePathName(path);
              return out.pixels;
            },
            "");
        if (layout.packed) {
          if (AnyAdjustment(a)) ExpectPackedTablesShape(a, *PackedTablesFor(a));
        } else {
          const auto tables = RgbTablesFor(a.brightness, a.contrast, a.saturation);
          ExpectLumaTableShape(a, tables->adjust);
          ExpectTermsInsideLumaTable(tables->adjust);
        }
      }
    }
  }
}

TEST_F(ExtremeValues, SaturatedBrightnessGivesWhiteOrBlackEverywhere) {
  // From +-26 on every grey level saturates; from +-214748365 on 10 x
  // brightness leaves int32, and every index saturates whatever the chroma
  // terms add.
  const struct {
    int32_t brightness, saturation;
  } cases[] = {{26, -10},        {-26, -10},      {214748365, INT32_MAX},
               {-214748365, 10}, {INT32_MAX, 11}, {INT32_MIN, INT32_MAX}};
  const Picture picture = ExtremePicture();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.brightness);
    SetDisplayQuietly(c.brightness, 0, c.saturation, INT32_MIN);
    const uint8_t level = c.brightness > 0 ? 255 : 0;
    const Output rgb = Convert(kRgb24, 0, picture);
    EXPECT_EQ(std::count(rgb.pixels.begin(), rgb.pixels.end(), level), rgb.pixels.size());
    const Output pal8 = Convert(kPal8, 0, picture);
    for (size_t i = 16 * 4; i < 240 * 4; ++i) {
      ASSERT_EQ(pal8.palette[i], i % 4 == 3 ? 0 : level) << "palette byte " << i;
    }
    const Output uyvy = Convert(kUyvy, 0, picture);
    for (size_t i = 1; i < uyvy.pixels.size(); i += 2) ASSERT_EQ(uyvy.pixels[i], level) << i;
  }
}

TEST_F(ExtremeValues, NoSaturationGivesGreyAndHugeBalanceAFlatChroma) {
  const Picture picture = ExtremePicture();
  for (int32_t saturation : {-10, -11, INT32_MIN}) {
    SetDisplayQuietly(0, 0, saturation, 0);
    const Output rgb = Convert(kRgb24, 0, picture);
    for (size_t i = 0; i < rgb.pixels.size(); i += 3) {
      ASSERT_EQ(rgb.pixels[i], rgb.pixels[i + 1]) << i;
      ASSERT_EQ(rgb.pixels[i], rgb.pixels[i + 2]) << i;
    }
  }
  // Balance 2^31 weakens one chroma component to nothing: it is 128
  // throughout, while the other keeps its samples (the ramp at gain 1).
  for (int32_t balance : {INT32_MAX, INT32_MIN}) {
    SetDisplayQuietly(0, 0, 0, balance);
    const Output uyvy = Convert(kUyvy, 0, picture);
    const size_t flat = balance > 0 ? 2 : 0;  // V or U in each UYVY group
    std::vector<uint8_t> other;
    for (size_t i = 0; i < uyvy.pixels.size(); i += 4) {
      ASSERT_EQ(uyvy.pixels[i + flat], 128) << i;
      other.push_back(uyvy.pixels[i + 2 - flat]);
    }
    EXPECT_EQ(*std::min_element(other.begin(), other.end()), 1);  // sample 0
    EXPECT_EQ(*std::max_element(other.begin(), other.end()), 255);
  }
}

// Sizes whose picture has no whole macroblock column need no output buffer
// at all, whatever the height: the call converts nothing, also when the
// height would give millions of macroblock rows.
TEST_F(ExtremeValues, HeadersWithoutMacroblocksTouchNothing) {
  const Picture picture = MakePicture(32, 32, 5);
  const int32_t sizes[][2] = {{-16, 16},      {-1, INT32_MAX},        {INT32_MIN, INT32_MAX},
                              {0, INT32_MAX}, {INT32_MIN, 64},        {-32, INT32_MIN},
                              {INT32_MIN, 1}, {-INT32_MAX, INT32_MAX}};
  SetDisplayQuietly(3, 2, 1, 0);
  for (const Layout& layout : kOutputLayouts) {
    for (const auto& size : sizes) {
      for (int32_t zoom : {0, 1}) {
        SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(size[0]) + "x" +
                     std::to_string(size[1]) + " zoom " + std::to_string(zoom));
        auto h = MakeHeader(layout, size[0], size[1]);
        uint8_t map[1] = {1};
        EXPECT_EQ(Kelmar(&h.header, nullptr, &picture.planes, map, 0, zoom), 0);
      }
    }
  }
}

// Pictures whose byte offsets pass 2^31: a single marked macroblock far out
// in a picture as wide (or with as many macroblocks) as an int32 header
// allows.  Every buffer is exactly as large as the call needs, in reserved
// address space with gigabytes of faulting space around it, so a write or
// read at a wrapped offset crashes instead of passing unseen; the marked
// macroblock must hold what a 16 x 16 picture of the same samples gives.
// Only x86-64 Linux reserves such spans cheaply (not valgrind or qemu).
#if defined(__x86_64__) && defined(__linux__)
TEST_F(ExtremeValues, HugePicturesWriteTheMarkedMacroblockInPlace) {
  struct Case {
    const char* what;
    OutputLayout layout;
    int32_t width, height;
    int64_t column, mbRow;
  };
  const Case cases[] = {
      // 32 output bytes per macroblock: column 2^26 is 2^31 bytes in.
      {"uyvy, column 2^26", OutputLayout::kUyvy, 1120000000, 16, 67108864, 0},
      {"yuy2, column 2^26", OutputLayout::kYuy2, 1120000000, 16, 67108864, 0},
      // 48 and 32 bytes per macroblock: the last column passes 2^31 bytes.
      {"rgb24, last column", OutputLayout::kRgb24, 715827920, 16, 44739244, 0},
      {"rgb555, last column", OutputLayout::kRgb555, 1073741840, 16, 67108864, 0},
      {"rgb565, last column", OutputLayout::kRgb565, 1073741840, 16, 67108864, 0},
      {"pal8, last column", OutputLayout::kPal8, 2147483632, 16, 134217726, 0},
      // Macroblock 2^31 of the map: the first of row 32768.
      {"pal8, map byte 2^31", OutputLayout::kPal8, 1048576, 524304, 0, 32768},
  };
  constexpr size_t kGuard = size_t{8} << 30;
  SetDisplayQuietly(0, 0, 0, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Layout& layout = InfoOf(c.layout);
    const size_t width = static_cast<size_t>(c.width);
    const size_t height = static_cast<size_t>(c.height);
    const size_t mbCols = width / 16;
    const size_t mapBytes = mbCols * (height / 16);
    ReservedBuffer luma(width * height, kGuard), chroma(width * height / 2, kGuard),
        out(width * height * layout.bytesPerPixel, kGuard), map(mapBytes, kGuard);
    if (!luma.data() || !chroma.data() || !out.data() || !map.data())
      GTEST_SKIP() << "address space reservation refused";

    // The marked macroblock's samples, from a small random picture; U and
    // V planes one after the other, as the packed writers require.
    const Picture sample = MakePicture(16, 16, 77);
    std::vector<const uint8_t*> yRows(height), uRows(height / 2), vRows(height / 2);
    uint8_t* const vPlane = chroma.data() + width / 2 * (height / 2);
    for (size_t r = 0; r < height; ++r) yRows[r] = luma.data() + r * width;
    for (size_t r = 0; r < height / 2; ++r) {
      uRows[r] = chroma.data() + r * (width / 2);
      vRows[r] = vPlane + r * (width / 2);
    }
    const size_t x0 = 16 * static_cast<size_t>(c.column);
    const size_t y0 = 16 * static_cast<size_t>(c.mbRow);
    for (size_t r = 0; r < 16; ++r)
      std::memcpy(luma.data() + (y0 + r) * width + x0, sample.yRows[r], 16);
    for (size_t r = 0; r < 8; ++r) {
      std::memcpy(const_cast<uint8_t*>(uRows[y0 / 2 + r]) + x0 / 2, sample.uRows[r], 8);
      std::memcpy(const_cast<uint8_t*>(vRows[y0 / 2 + r]) + x0 / 2, sample.vRows[r], 8);
    }
    map.data()[static_cast<size_t>(c.mbRow) * mbCols + static_cast<size_t>(c.column)] = 1;
    const PlaneSet planes = {yRows.data(), uRows.data(), vRows.data()};

    auto small = MakeHeader(16, 16, layout.bitCount, layout.compression);
    auto huge = MakeHeader(c.width, c.height, layout.bitCount, layout.compression);
    const size_t macroblockBytes = 16 * static_cast<size_t>(layout.bytesPerPixel);
    const size_t rowBytes = width * layout.bytesPerPixel;
    for (const CodePath path : SupportedPaths()) {
      SCOPED_TRACE(CodePathName(path));
      ScopedPathLimit limit(path);
      std::vector<uint8_t> expected(16 * macroblockBytes);
      uint8_t oneMap[1] = {1};
      ASSERT_EQ(Kelmar(&small.header, expected.data(), &sample.planes, oneMap, 0, 0), 0);
      ASSERT_EQ(Kelmar(&huge.header, out.data(), &planes, map.data(), 0, 0), 0);
      // Packed output runs bottom-up, so picture row y0 lands in output
      // row height - 16 - y0 onward, as it does in the small picture.
      const size_t firstRow = layout.packed ? height - 16 - y0 : y0;
      for (size_t r = 0; r < 16; ++r) {
        const uint8_t* got = out.data() + (firstRow + r) * rowBytes + x0 * layout.bytesPerPixel;
        ASSERT_EQ(std::vector<uint8_t>(got, got + macroblockBytes),
                  std::vector<uint8_t>(&expected[r * macroblockBytes],
                                       &expected[(r + 1) * macroblockBytes]))
            << "output row " << r;
      }
    }
  }
}
#endif

}  // namespace
}  // namespace kelmar::test
