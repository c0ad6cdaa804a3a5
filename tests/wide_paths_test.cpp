// Every path against the integer path: identical bytes for every layout,
// size, map, row table and adjustment (one sweep over all of them), and the
// closed forms and luma windows that the vector paths take in place of the
// tables, with tables those forms do not fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <initializer_list>
#include <iterator>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "common/output_layouts.h"
#include "exports/kernel_table.h"
#include "rgb/closed_forms.h"
#include "rgb/converters.h"
#include "tables/adjust_tables.h"
#include "tables/dither_palette.h"
#include "test_support.h"

namespace kelmar::test {
namespace {

using Layout = OutputLayoutInfo;
const Layout& kRgb24 = InfoOf(OutputLayout::kRgb24);
const Layout& kPal8 = InfoOf(OutputLayout::kPal8);

struct Adjust {
  int32_t brightness, contrast, saturation, balance;
};

// Neutral, the benchmark's setting, every kind of luma form (unit slope,
// rational with and without corrected indices, clamped, none), one to several luma
// windows (rising and falling, with and without a closed form besides),
// saturation at and beyond its limits, and the int32 extremes.
const Adjust kAdjusts[] = {
    {0, 60, 0, 0},
    {0, -60, 0, 0},
    {5, -40, 0, 0},
    {0, -30, 10, 0},
    {0, -7, 10, 0},
    {0, -25, 0, 0},
    {0, 255, -3, 0},
    {0, 0, 0, 0},
    {2, 3, 2, 0},
    {1, 0, 0, 0},
    {-3, 0, -4, 0},
    {0, 0, 10, 0},
    {0, -20, 0, 0},
    {4, -6, 7, 0},
    {0, 21, 1, 0},
    {-2, -13, 3, 0},
    {0, 3, 0, 5},
    {0, 0, 0, -7},
    {5, 7, -9, 0},
    {0, 59, 0, 0},
    {0, -59, 0, 0},
    {0, 100, 5, 0},
    {-30, 300, 2, 0},
    {12, -1000, 4, 0},
    {-30, INT32_MAX, 0, 0},
    {25, 0, 0, 0},
    {-26, 0, 0, 0},
    {0, 0, -10, 0},
    {0, 0, INT32_MAX, 0},
    {3, 1, 11, 2},
    {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
    {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
    {INT32_MAX, 0, INT32_MIN, 0},
};

struct Size {
  int32_t width, height, zoom;
};

// Odd and even numbers of macroblocks per row (the vector paths take two or
// four at a time), sizes with partial macroblocks, and double size.
const Size kRgbSizes[] = {{16, 16, 0},  {32, 16, 0}, {48, 32, 0},  {80, 48, 0},
                          {112, 32, 0}, {40, 36, 0}, {200, 50, 0}, {352, 32, 0},
                          {96, 64, 1},  {83, 70, 1}, {352, 64, 1}};
const Size kPackedSizes[] = {{16, 16, 0},  {48, 32, 0}, {80, 48, 0},
                             {112, 32, 0}, {40, 36, 0}, {352, 32, 0}};

enum class Tables { kDown, kUp, kShuffled };

int32_t Source(int32_t side, int32_t zoom) { return zoom ? side / 2 : side; }

size_t OutputBytes(const Layout& layout, const Size& s) {
  if (layout.packed) return size_t(2) * s.width * s.height;
  const size_t factor = s.zoom ? 4 : 1;
  return factor * layout.bytesPerPixel * Source(s.width, s.zoom) * Source(s.height, s.zoom);
}

// The macroblock rows of the picture placed in a shuffled order in memory:
// rows are evenly spaced within a macroblock row but not across them.
void ShuffleMacroblockRows(Picture& p, Rng& rng) {
  const int mbRows = p.height / 16;
  std::vector<int> order(mbRows);
  std::iota(order.begin(), order.end(), 0);
  for (int i = mbRows - 1; i > 0; --i) std::swap(order[i], order[rng.Uniform(0, i)]);
  for (int m = 0; m < mbRows; ++m) {
    for (int r = 0; r < 16; ++r)
      p.yRows[16 * m + r] = p.luma.data() + size_t(16 * order[m] + r) * p.lumaStride;
    for (int j = 0; j < 8; ++j) {
      p.uRows[8 * m + j] = p.uPlane() + size_t(8 * order[m] + j) * p.chromaStride;
      p.vRows[8 * m + j] = p.vPlane() + size_t(8 * order[m] + j) * p.chromaStride;
    }
  }
}

// A picture of exactly the converted macroblocks, so the sanitizers catch
// any read beyond them; or, with `whole`, of the whole source size, partial
// macroblocks included.
Picture PictureFor(const Layout& layout, const Size& s, Tables tables, uint32_t seed,
                   bool whole = false) {
  const int w = whole ? Source(s.width, s.zoom) : std::max(16, Source(s.width, s.zoom) & ~15);
  const int h = whole ? Source(s.height, s.zoom) : std::max(16, Source(s.height, s.zoom) & ~15);
  Picture p = MakePicture(w, h, seed, tables == Tables::kUp ? RowOrder::kUp : RowOrder::kDown);
  Rng rng(seed);
  if (tables == Tables::kShuffled && !layout.packed) ShuffleMacroblockRows(p, rng);
  return p;
}

std::vector<uint8_t> Convert(const Layout& layout, const Size& s, const Picture& picture,
                             const std::vector<uint8_t>& map, CodePath path) {
  HeaderWithPalette header = MakeHeader(layout, s.width, s.height);
  GuardedBuffer out(OutputBytes(layout, s));
  std::vector<uint8_t> mapCopy = map;
  ScopedPathLimit limit(path);
  Kelmar(&header.header, out.data(), &picture.planes, mapCopy.data(), 0, s.zoom);
  EXPECT_TRUE(out.GuardsIntact()) << layout.name << " " << CodePathName(path);
  return out.Payload();
}

std::vector<CodePath> WidePaths() {
  std::vector<CodePath> wide;
  for (CodePath path : SupportedPaths())
    if (path >= CodePath::kSse2) wide.push_back(path);
  return wide;
}

// One conversion of the every-path sweep.
struct SweepCase {
  const Layout* layout;
  Size size;
  Adjust adjust;
  Tables tables;
  uint32_t pictureSeed;
  bool wholePicture;  // see PictureFor
  std::vector<uint8_t> map;
  std::string mapName;
};

std::string Describe(const SweepCase& c) {
  const Size& s = c.size;
  const Adjust& a = c.adjust;
  return std::string(c.layout->name) + " " + std::to_string(s.width) + "x" +
         std::to_string(s.height) + " zoom " + std::to_string(s.zoom) + " adjust (" +
         std::to_string(a.brightness) + ", " + std::to_string(a.contrast) + ", " +
         std::to_string(a.saturation) + ", " + std::to_string(a.balance) + ") map " + c.mapName +
         " tables " + std::to_string(static_cast<int>(c.tables)) +
         (c.wholePicture ? " whole picture" : "");
}

// Every layout, setting and size of the tables above, with random row-table
// orders and maps.
void AddLayoutSettingSizeGrid(std::vector<SweepCase>& cases) {
  Rng rng(7);
  uint32_t seed = 1;
  for (const Layout& layout : kOutputLayouts) {
    for (const Adjust& a : kAdjusts) {
      const Size* sizes = layout.packed ? kPackedSizes : kRgbSizes;
      const size_t count = layout.packed ? std::size(kPackedSizes) : std::size(kRgbSizes);
      for (size_t i = 0; i < count; ++i) {
        const Size& s = sizes[i];
        const Tables tables = static_cast<Tables>(rng.Uniform(0, 2));
        const int percent = std::array<int, 3>{100, 50, 10}[rng.Uniform(0, 2)];
        const uint32_t pictureSeed = ++seed;
        const size_t mapBytes = size_t(s.width) * s.height / 256 + 1;
        cases.push_back({&layout, s, a, tables, pictureSeed, false,
                         RandomMap(mapBytes, ++seed, percent), std::to_string(percent) + "%"});
      }
    }
  }
}

// Wide pictures: long runs of marked macroblocks and full 1280-pixel rows.
void AddLargePictures(std::vector<SweepCase>& cases) {
  const Size s = {1280, 64, 0};
  for (const Layout& layout : kOutputLayouts) {
    for (const Adjust& a : {Adjust{0, 0, 0, 0}, Adjust{2, 3, 2, 0}, Adjust{-1, -3, 4, 1}}) {
      for (int percent : {100, 90})
        cases.push_back({&layout, s, a, Tables::kUp, 99, false, RandomMap(320, 5, percent),
                         std::to_string(percent) + "%"});
    }
  }
}

// Maps with one macroblock marked, in every position of rows of 21: the
// vector paths skip unmarked map bytes eight at a time and rows without a
// marked byte altogether, which must find a mark at any position, the last
// of a row included, and never one of the next row.
void AddEverySingleMacroblockMap(std::vector<SweepCase>& cases) {
  const Size s = {336, 48, 0};
  const Adjust benchSetting = {2, 3, 2, 0};
  for (int l = 0; l < 4; ++l) {
    for (size_t marked = 0; marked < 63; ++marked) {
      std::vector<uint8_t> map(63, 0);
      map[marked] = 1;
      cases.push_back({&kOutputLayouts[l], s, benchSetting, Tables::kDown, 40u + l, false, map,
                       "macroblock " + std::to_string(marked)});
    }
  }
}

// RGB output at random sizes of whole pictures (partial macroblocks
// included), both row orders, random settings, and double size with an odd
// output width.
void AddRandomRgbPictures(std::vector<SweepCase>& cases, const Layout& layout, uint32_t seed) {
  Rng rng(seed);
  for (int round = 0; round < 40; ++round) {
    const int32_t zoom = rng.Uniform(0, 1);
    const int width = 2 * rng.Uniform(8, 60), height = 2 * rng.Uniform(8, 40);
    const int32_t outWidth = zoom ? 2 * width + rng.Uniform(0, 1) : width;
    const int32_t outHeight = zoom ? 2 * height : height;
    const Adjust a = {rng.Uniform(-30, 30), rng.Uniform(-45, 45), rng.Uniform(-12, 12), 0};
    const Size s = {outWidth, outHeight, zoom};
    const Tables tables = round % 2 ? Tables::kUp : Tables::kDown;
    cases.push_back({&layout, s, a, tables, seed + 82 + round, true,
                     RandomMap(outWidth * outHeight / 256 + 1, seed + 182 + round, 70), "70%"});
  }
}

// Packed output of a whole CIF picture, rows upward in memory: the copy
// paths of the neutral setting.
void AddPackedCopies(std::vector<SweepCase>& cases) {
  const Size cif = {352, 288, 0};
  const Adjust neutral = {0, 0, 0, 0};
  for (OutputLayout layout : {OutputLayout::kUyvy, OutputLayout::kYuy2})
    cases.push_back(
        {&InfoOf(layout), cif, neutral, Tables::kUp, 21, true, FullMap(22 * 18), "full"});
}

std::vector<SweepCase> SweepCases() {
  std::vector<SweepCase> cases;
  AddLayoutSettingSizeGrid(cases);
  AddLargePictures(cases);
  AddEverySingleMacroblockMap(cases);
  AddRandomRgbPictures(cases, kRgb24, 18);
  AddRandomRgbPictures(cases, InfoOf(OutputLayout::kRgb555), 19);
  AddRandomRgbPictures(cases, InfoOf(OutputLayout::kRgb565), 20);
  AddPackedCopies(cases);
  return cases;
}

TEST(EveryPath, SameBytesAsTheIntegerPath) {
  for (const SweepCase& c : SweepCases()) {
    const Adjust& a = c.adjust;
    SetDisplayQuietly(a.brightness, a.contrast, a.saturation, a.balance);
    const Picture picture = PictureFor(*c.layout, c.size, c.tables, c.pictureSeed, c.wholePicture);
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) { return Convert(*c.layout, c.size, picture, c.map, path); },
        Describe(c));
    if (HasFailure()) break;
  }
  SetDisplayQuietly(0, 0, 0, 0);
}

// Every saturation step and the common contrast settings have forms, so the
// vector paths are taken for them rather than the table-driven fallback;
// so do the steep ramps (a clamped form), up to the int32 extremes.
TEST(ClosedForms, FoundForCommonSettings) {
  struct Range {
    std::vector<int32_t> brightnesses, contrasts;
  };
  const Range ranges[] = {
      {{2}, {-10, -3, -1, 0, 1, 2, 3, 5, 10}},
      {{-30, -12, 0, 2, 7, 30},
       {-5000, -1000, -300, -61, -60, -45, 45, 59, 60, 61, 77, 100, 300, 1000, 4076, 5000}},
      {{INT32_MIN, -30, -2, 0, 3, 30, INT32_MAX}, {INT32_MIN, INT32_MIN + 1, INT32_MAX}},
  };
  for (const Range& range : ranges) {
    for (int32_t brightness : range.brightnesses) {
      for (int32_t contrast : range.contrasts) {
        for (int32_t saturation = -11; saturation <= 11; ++saturation) {
          const auto tables = RgbTablesFor(brightness, contrast, saturation);
          const RgbClosedForms& forms = tables->forms;
          const std::string what = "brightness " + std::to_string(brightness) + " contrast " +
                                   std::to_string(contrast) + " saturation " +
                                   std::to_string(saturation);
          ASSERT_TRUE(forms.Usable()) << what;
          for (int32_t i = kLumaTableMin; i <= kLumaTableMax; ++i)
            ASSERT_EQ(LumaLevelFromForm(forms.luma, i), tables->adjust.LumaTable()[i])
                << what << " index " << i;
          // x86's one multiply of 4 |x| gives the same chroma magnitudes,
          // and Advanced SIMD's doubling multiply of each plane's shifted
          // samples the same terms.
          for (const ChromaTermForm* term :
               {&forms.uBlue, &forms.uGreen, &forms.vGreen, &forms.vRed}) {
            ASSERT_EQ(term->quarter, QuarterChromaFactor(*term)) << what;
            ASSERT_GE(term->quarter, 0) << what << ": no quarter factor";
          }
          ASSERT_GT(forms.uShift, 0) << what;
          ASSERT_GT(forms.vShift, 0) << what;
          const struct {
            const ChromaTermForm* term;
            int32_t shift;
          } planeTerms[] = {{&forms.uBlue, forms.uShift},
                            {&forms.uGreen, forms.uShift},
                            {&forms.vGreen, forms.vShift},
                            {&forms.vRed, forms.vShift}};
          for (const auto& p : planeTerms) {
            const int32_t factor = p.term->doubling[p.shift - 1];
            ASSERT_EQ(factor, DoublingChromaFactor(*p.term, p.shift)) << what;
            for (int32_t sample = 0; sample < 256; ++sample)
              ASSERT_EQ(DoubledChromaTerm(p.shift, factor, sample),
                        ChromaTermFromForm(*p.term, false, sample))
                  << what << " sample " << sample;
          }
        }
      }
    }
  }
}

// The factors x86 multiplies 4 |x| by: a neighbour of a quarter of the whole
// factor that gives every magnitude of the form, none once it passes 16
// bits; and Advanced SIMD's doubling factors of x << 1 (any quarter factor
// below 32768) and x << 2 (half an even one), none where no neighbour
// serves, and every term they give.
TEST(ClosedForms, ChromaFactors) {
  struct Case {
    uint16_t high, low;
    int32_t quarter, doubling1, doubling2;
  };
  const Case cases[] = {{0, 0, 0, 0, 0},
                        {1, 0, 16384, 16385, 8193},
                        {1, 1, 16384, 16385, 8193},
                        {0, 65535, 16383, 16383, 8191},
                        {1, 50594, 29032, 29032, 14516},
                        {3, 65535, 65535, -1, 32767},
                        {4, 0, -1, -1, -1},
                        {0, 27564, 6891, 6891, -1},
                        {2, 50594, 45416, -1, 22708}};
  for (const Case& c : cases) {
    const ChromaTermForm form = {c.high, c.low, -1, {-1, -1}};
    const int32_t quarter = QuarterChromaFactor(form);
    EXPECT_EQ(quarter, c.quarter) << c.high << " " << c.low;
    for (int32_t a = 0; a <= 128 && quarter >= 0; ++a)
      ASSERT_EQ((4 * a * quarter) >> 16, a * c.high + ((a * c.low) >> 16)) << c.low << " " << a;
    const int32_t expected[] = {c.doubling1, c.doubling2};
    for (int32_t shift = 1; shift <= 2; ++shift) {
      const int32_t factor = DoublingChromaFactor(form, shift);
      EXPECT_EQ(factor, expected[shift - 1]) << c.high << " " << c.low << " shift " << shift;
      if (factor < 0) continue;
      for (int32_t sample = 0; sample < 256; ++sample)
        ASSERT_EQ(DoubledChromaTerm(shift, factor, sample), ChromaTermFromForm(form, false, sample))
            << c.low << " " << shift << " " << sample;
    }
  }
}

// A plane takes shift 1 where both its terms have a factor for it, else 2.
TEST(ClosedForms, DoublingChromaShifts) {
  const ChromaTermForm both = {0, 0, 0, {0, 0}};
  const ChromaTermForm onlyOne = {0, 0, 0, {7, -1}};
  const ChromaTermForm onlyTwo = {0, 0, 0, {-1, 7}};
  const ChromaTermForm none = {0, 0, 0, {-1, -1}};
  EXPECT_EQ(DoublingChromaShift(both, both), 1);
  EXPECT_EQ(DoublingChromaShift(both, onlyTwo), 2);
  EXPECT_EQ(DoublingChromaShift(onlyOne, both), 1);
  EXPECT_EQ(DoublingChromaShift(onlyOne, onlyTwo), 0);
  EXPECT_EQ(DoublingChromaShift(none, both), 0);
}

// Converts with the given tables, bypassing Kelmar() so that tampered tables
// are used as they are.
template <typename Converter>
std::vector<uint8_t> ConvertWithTables(Converter convert, const Layout& layout,
                                       const Picture& picture, const Size& s,
                                       const RgbTables& tables, CodePath path,
                                       std::vector<uint8_t> map = {}) {
  HeaderWithPalette header = MakeHeader(layout, s.width, s.height);
  GuardedBuffer out(OutputBytes(layout, s));
  if (map.empty()) map = FullMap(size_t(s.width) * s.height / 256);
  convert(RgbGeometry(header.header, 0, layout.bytesPerPixel), out.data(), &picture.planes,
          map.data(), {PlanFor(path), &tables});
  EXPECT_TRUE(out.GuardsIntact());
  return out.Payload();
}

// A random picture of each RGB layout, in a random row order and with a
// random map, converted with `tables` as they are: every path writes the
// same bytes.
void ExpectEveryRgbLayoutAlike(const RgbTables& tables, Rng& rng, const std::string& what) {
  const Size s = {208, 48, 0};
  for (int l = 0; l < 3; ++l) {
    const Layout& layout = kOutputLayouts[l];
    const Tables order = static_cast<Tables>(rng.Uniform(0, 2));
    const Picture picture = PictureFor(layout, s, order, rng.Next());
    const std::vector<uint8_t> map = RandomMap(size_t(s.width) * s.height / 256, rng.Next(), 70);
    const auto converter = l == 0 ? ConvertRgb24 : l == 1 ? ConvertRgb555 : ConvertRgb565;
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          return ConvertWithTables(converter, layout, picture, s, tables, path, map);
        },
        std::string(layout.name) + " " + what);
  }
}

// A table entry that no form predicts: off by one where a rational form can
// absorb it as a corrected index, off by more where nothing can; chroma
// terms off by one.  The vector paths must still write what the tables say.
TEST(ClosedForms, TablesWithoutAFormFallBackToTheTables) {
  const std::vector<CodePath> wide = WidePaths();
  if (wide.empty()) GTEST_SKIP() << "no vector path";
  struct Tamper {
    const char* what;
    Adjust adjust;
    int lumaIndex, lumaStep, chromaIndex;
    LumaFormKind expectedKind;
    bool halves, chromaExact;
  };
  const Tamper tampers[] = {
      {"unit slope, luma +1", {0, 0, 0, 0}, 100, 1, -1, LumaFormKind::kNone, false, true},
      {"rational, luma +1", {2, 3, 2, 0}, 120, 1, -1, LumaFormKind::kRational, false, true},
      {"rational, luma +9", {2, 3, 2, 0}, 120, 9, -1, LumaFormKind::kNone, false, true},
      {"chroma", {1, 0, 3, 0}, 0, 0, 77, LumaFormKind::kUnitSlope, false, false},
  };
  const Size s = {80, 32, 0};
  const Picture picture = PictureFor(kRgb24, s, Tables::kDown, 3);
  for (const Tamper& t : tampers) {
    const auto tables = RgbTablesFor(t.adjust.brightness, t.adjust.contrast, t.adjust.saturation);
    AdjustTables& adjust = tables->adjust;
    adjust.LumaTable()[t.lumaIndex] =
        static_cast<uint8_t>(adjust.LumaTable()[t.lumaIndex] + t.lumaStep);
    if (t.chromaIndex >= 0) adjust.UTable()[t.chromaIndex].other += 1;
    tables->forms =
        AnalyseAdjustTables(adjust, t.adjust.brightness, t.adjust.contrast, t.adjust.saturation);
    EXPECT_EQ(tables->forms.luma.kind, t.expectedKind) << t.what;
    EXPECT_EQ(tables->forms.halves.found, t.halves) << t.what;
    EXPECT_EQ(tables->forms.chromaExact, t.chromaExact) << t.what;
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          return ConvertWithTables(ConvertRgb24, kRgb24, picture, s, *tables, path);
        },
        t.what);
  }
}

// Every kernel a form's corrections compile to: keyed by m or by level, with
// one, two, three (by level) or four slots per direction, for the plain and
// the clamped rational forms, on every layout.  The luma's halves, which the
// paths with byte shuffles take over most of these forms, are dropped.
TEST(ClosedForms, EveryCorrectionKernelOnEveryLayout) {
  struct Case {
    Adjust adjust;
    LumaFormKind kind;
    bool byLevel;
    int32_t slots;
  };
  const Case cases[] = {
      {{2, 3, 2, 0}, LumaFormKind::kRational, true, 1},
      {{-30, 21, 0, 0}, LumaFormKind::kRational, true, 2},
      {{20, 3, 2, 0}, LumaFormKind::kRational, true, 3},
      {{-30, 26, 3, 0}, LumaFormKind::kRational, true, kMaxLumaExceptionsPerSide},
      {{-30, -11, 0, 0}, LumaFormKind::kRational, false, 1},
      {{-29, -11, 1, 0}, LumaFormKind::kRational, false, 2},
      {{-30, -7, 0, 0}, LumaFormKind::kRational, false, kMaxLumaExceptionsPerSide},
      {{-30, 77, 2, 0}, LumaFormKind::kClampedRational, true, 1},
      {{-30, 62, 0, 0}, LumaFormKind::kClampedRational, true, 2},
  };
  Rng rng(23);
  for (const Case& c : cases) {
    const auto tables = RgbTablesFor(c.adjust.brightness, c.adjust.contrast, c.adjust.saturation);
    const LumaForm& luma = tables->forms.luma;
    const std::string what = "brightness " + std::to_string(c.adjust.brightness) + " contrast " +
                             std::to_string(c.adjust.contrast);
    ASSERT_TRUE(tables->forms.Usable()) << what;
    EXPECT_EQ(luma.kind, c.kind) << what;
    EXPECT_EQ(luma.correctsLevels, c.byLevel) << what;
    EXPECT_EQ(LumaCorrectionSlots(luma), c.slots) << what;
    tables->forms.halves.found = false;
    ExpectEveryRgbLayoutAlike(*tables, rng, what);
  }
}

// The luma's halves wherever the ramp rises more than one level and at
// most 17 per entry (contrast 1 to 320), falls by a whole or quarter level
// (contrast a multiple of 5 below -40), or is a step of a few entries (the
// int32 extremes), and where brightness cuts a flatter ramp to fit; each
// gives every entry of LumaTable.
TEST(LumaHalves, FoundWhereTheRampFitsAWindow) {
  struct Case {
    std::vector<int32_t> brightnesses, contrasts;
    bool found;
  };
  const Case cases[] = {
      {{-30, -12, 0, 2, 7, 30}, {1, 2, 3, 5, 10, 20, 26, 59, 60, 61, 100, 200, 319, 320}, true},
      {{-30, 0, 2, 30}, {-45, -60, -100, -120}, true},
      {{30, -30}, {-12, -30}, true},
      {{INT32_MIN, -30, 0, 30, INT32_MAX}, {INT32_MIN, -100000, 100000, INT32_MAX}, true},
      {{0, 2, 7}, {-44, -36, -25, -19, -10, -1, 0, 321, 400}, false},
  };
  for (const Case& c : cases) {
    for (int32_t brightness : c.brightnesses) {
      for (int32_t contrast : c.contrasts) {
        const auto tables = RgbTablesFor(brightness, contrast, 0);
        const LumaHalves& halves = tables->forms.halves;
        const std::string what =
            "brightness " + std::to_string(brightness) + " contrast " + std::to_string(contrast);
        ASSERT_EQ(halves.found, c.found) << what;
        if (!halves.found) continue;
        for (int32_t i = kLumaTableMin; i <= kLumaTableMax; ++i)
          ASSERT_EQ(LumaLevelFromHalves(halves, i), tables->adjust.LumaTable()[i])
              << what << " index " << i;
      }
    }
  }
}

// The kernels by halves on every layout, rising, falling and cut short by
// brightness, with the closed luma form dropped so that every path with byte
// shuffles takes them.
TEST(LumaHalves, EveryLayoutByHalves) {
  const Adjust settings[] = {{2, 3, 2, 0},     {-30, 77, 2, 0},  {0, -60, 3, 0},
                             {30, -12, -4, 0}, {-7, 319, 10, 0}, {5, INT32_MIN, 3, 0}};
  Rng rng(29);
  for (const Adjust& a : settings) {
    const auto tables = RgbTablesFor(a.brightness, a.contrast, a.saturation);
    const std::string what =
        "brightness " + std::to_string(a.brightness) + " contrast " + std::to_string(a.contrast);
    ASSERT_TRUE(tables->forms.UsableByHalves()) << what;
    tables->forms.luma.kind = LumaFormKind::kNone;
    ExpectEveryRgbLayoutAlike(*tables, rng, what);
  }
}

// Every table has luma windows, so the AVX-512 path never falls back to
// the tables: one window wherever the ramp is at least one level per entry
// (contrast from 1 on, below -40, and at -20 where it is flat), more for the
// flatter ramps and for contrast 0 and -40, whose ramps hold 257 entries.
TEST(LumaWindows, FoundForEverySetting) {
  const int32_t brightnesses[] = {INT32_MIN, -26, -3, 0, 2, 25, INT32_MAX};
  const int32_t contrasts[] = {INT32_MIN, -1000, -60, -41, -40, -33, -25, -20, -19,
                               -13,       -10,   -1,  0,   1,   3,   59,  60,  INT32_MAX};
  for (int32_t brightness : brightnesses) {
    for (int32_t contrast : contrasts) {
      const auto tables = RgbTablesFor(brightness, contrast, 0);
      const LumaWindows& windows = tables->forms.windows;
      const std::string what =
          "brightness " + std::to_string(brightness) + " contrast " + std::to_string(contrast);
      ASSERT_GE(windows.count, 1) << what;
      const bool steep = contrast >= 1 || contrast < -40 || contrast == -20;
      if (steep) {
        EXPECT_EQ(windows.count, 1) << what;
      }
      for (int32_t i = kLumaTableMin; i <= kLumaTableMax; ++i)
        ASSERT_EQ(LumaLevelFromWindows(windows, i), tables->adjust.LumaTable()[i])
            << what << " " << i;
    }
  }
}

// The window kernels for every count of windows, rising and falling, on
// every layout, with runs of every length (the last macroblocks of a run go
// four row pairs per vector).  Without a closed luma form or halves the
// AVX-512 and Advanced SIMD paths take the windows whatever their count.
TEST(LumaWindows, EveryCountOnEveryLayout) {
  struct Case {
    Adjust adjust;
    int windows;
    uint8_t flip;
  };
  const Case cases[] = {{{2, 3, 2, 0}, 1, 0},       {{0, 0, 0, 0}, 2, 0},
                        {{5, -40, 3, 0}, 2, 0xFF},  {{0, -13, 0, 0}, 3, 0},
                        {{0, -25, 10, 0}, 4, 0xFF}, {{0, -19, 10, 0}, 5, 0}};
  Rng rng(11);
  for (const Case& c : cases) {
    const auto tables = RgbTablesFor(c.adjust.brightness, c.adjust.contrast, c.adjust.saturation);
    EXPECT_EQ(tables->forms.windows.count, c.windows);
    EXPECT_EQ(tables->forms.windows.flip, c.flip);
    tables->forms.luma.kind = LumaFormKind::kNone;
    tables->forms.halves.found = false;
    ExpectEveryRgbLayoutAlike(*tables, rng, std::to_string(c.windows) + " windows");
  }
}

// Windows are a lookup of the table itself: a changed entry inside the
// first window, or an isolated one in the leading constant run (which
// widens the ramp), is simply looked up; a dip in a later window's steps,
// which a monotone sum cannot give, leaves no windows.
TEST(LumaWindows, TamperedTables) {
  struct Tamper {
    const char* what;
    Adjust adjust;
    int lumaIndex, value, expectedWindows;
  };
  const Tamper tampers[] = {
      {"inside the first window", {2, 3, 2, 0}, 100, 7, 1},
      {"in the leading constant run", {2, 3, 2, 0}, kLumaTableMin + 5, 1, 3},
      {"in the leading constant run, falling", {0, -60, 0, 0}, kLumaTableMin + 5, 254, 3},
      {"a dip in the second window", {0, -10, 0, 0}, 300, 0, 0},
  };
  const Size s = {80, 32, 0};
  const Picture picture = PictureFor(kRgb24, s, Tables::kDown, 5);
  for (const Tamper& t : tampers) {
    const auto tables = RgbTablesFor(t.adjust.brightness, t.adjust.contrast, t.adjust.saturation);
    AdjustTables& adjust = tables->adjust;
    adjust.LumaTable()[t.lumaIndex] = static_cast<uint8_t>(t.value);
    tables->forms =
        AnalyseAdjustTables(adjust, t.adjust.brightness, t.adjust.contrast, t.adjust.saturation);
    EXPECT_EQ(tables->forms.windows.count, t.expectedWindows) << t.what;
    tables->forms.halves.found = false;  // so that Advanced SIMD takes the windows
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          return ConvertWithTables(ConvertRgb24, kRgb24, picture, s, *tables, path);
        },
        t.what);
  }
}

// 8-bit output: quantiser tables that are not runs of the expected shape fall
// back to the tables; dither offsets are taken from the matrix as it is.
TEST(ClosedForms, DitherTablesWithoutTheirFormsFallBackToTheTables) {
  const std::vector<CodePath> wide = WidePaths();
  if (wide.empty()) GTEST_SKIP() << "no vector path";
  const Size s = {80, 32, 0};
  const Picture picture = PictureFor(kPal8, s, Tables::kDown, 4);
  // A quantiser entry off its run has no vector form; a changed dither
  // offset is simply used by the vector path as well.
  struct Tamper {
    const char* what;
    uint8_t* (*entry)(DitherTables& d);  // the quantiser entry, or null
    int value;
    bool formsHold;
  };
  const Tamper tampers[] = {
      {"luma quantiser", [](DitherTables& d) { return &d.YQuantTable[100]; }, 48, false},
      {"U quantiser", [](DitherTables& d) { return &d.UQuantTable[200]; }, 4, false},
      {"V quantiser", [](DitherTables& d) { return &d.VQuantTable[111]; }, 1, false},
      {"last luma quantiser entry",
       [](DitherTables& d) { return &d.YQuantTable[kQuantTableSize - 1]; }, 208, false},
      {"last U quantiser entry",
       [](DitherTables& d) { return &d.UQuantTable[kQuantTableSize - 1]; }, 8, false},
      {"dither offset", nullptr, 7, true},
      {"largest dither offset", nullptr, 34, true},
  };
  for (const Tamper& t : tampers) {
    const auto tables = RgbTablesFor(0, 0, 0);
    DitherTables& d = tables->dither;
    if (t.entry)
      *t.entry(d) = static_cast<uint8_t>(t.value);
    else
      d.DitherMatrix[3] = t.value;
    tables->ditherForms = AnalyseDitherTables(d);
    EXPECT_EQ(tables->ditherForms.exact, t.formsHold) << t.what;
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          return ConvertWithTables(ConvertPal8, kPal8, picture, s, *tables, path);
        },
        t.what);
  }
}

// Each vector path takes a kernel of its own for every layout at the common
// settings and both sizes, none a narrower path's: such a fallback writes
// the same bytes, so the sweep above cannot see it.  The kernels a path
// lacks are the exceptions: AVX-512 dithers with AVX2's kernel, and SSE2
// has none for adjusted tables at double size.
TEST(KernelTable, EachVectorPathHasKernelsOfItsOwn) {
  const std::vector<CodePath> wide = WidePaths();
  if (wide.empty()) GTEST_SKIP() << "no vector path";
  const ConvertPlan narrowest = {CodePath::kMmx};
  const Adjust settings[] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, 3, 2, 1}};
  for (const Adjust& a : settings) {
    const bool adjusted = a.contrast != 0;
    const auto rgbTables = RgbTablesFor(a.brightness, a.contrast, a.saturation);
    const std::pair<RgbLayout, const char*> layouts[] = {{RgbLayout::kRgb24, "24-bit"},
                                                         {RgbLayout::kRgb555, "5-5-5"},
                                                         {RgbLayout::kRgb565, "5-6-5"},
                                                         {RgbLayout::kPal8, "8-bit"}};
    for (const auto& [layout, layoutName] : layouts) {
      for (bool zoom : {false, true}) {
        PictureConverter narrower = ChooseRgbConverter(layout, {narrowest, rgbTables.get()}, zoom);
        for (CodePath path : wide) {
          const PictureConverter own = ChooseRgbConverter(layout, {{path}, rgbTables.get()}, zoom);
          const bool pal8 = layout == RgbLayout::kPal8;
          const bool lacksOne = (path == CodePath::kAvx512 && pal8) ||
                                (path == CodePath::kSse2 && zoom && adjusted && !pal8);
          EXPECT_EQ(own == narrower, lacksOne)
              << CodePathName(path) << " " << layoutName << (zoom ? " double size" : "")
              << " contrast " << a.contrast;
          narrower = own;
        }
      }
    }
    const auto packedTables = PackedTablesFor({a.brightness, a.contrast, a.saturation, a.balance});
    const PackedTables* const copiedOrAdjusted[] = {nullptr, packedTables.get()};
    for (const PackedTables* tables : copiedOrAdjusted)
      for (bool yuy2 : {false, true}) {
        PackedConverter narrower = ChoosePackedConverter(yuy2, {narrowest, tables});
        for (CodePath path : wide) {
          const PackedConverter own = ChoosePackedConverter(yuy2, {{path}, tables});
          EXPECT_NE(own, narrower) << CodePathName(path) << (yuy2 ? " YUY2" : " UYVY");
          narrower = own;
        }
      }
  }
}

}  // namespace
}  // namespace kelmar::test
