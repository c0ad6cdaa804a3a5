// UYVY and YUY2 output and the packed adjustment tables.
#include "packed/packed.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "test_support.h"

namespace kelmar::test {
namespace {

using Layout = OutputLayout;

constexpr uint8_t kFill = 0xA5;  // GuardedBuffer's initial payload

size_t OutputBytes(int width, int height) {
  return width > 0 && height > 0 ? 2 * static_cast<size_t>(width) * height : 0;
}

// Packs through the public entry point into a guarded buffer of the exact
// output size and returns the payload.
std::vector<uint8_t> Pack(Layout layout, int32_t width, int32_t height, const PlaneSet* planes,
                          std::vector<uint8_t> map, int32_t zoom = 0) {
  GuardedBuffer out(OutputBytes(width, height), kFill);
  HeaderWithPalette h = MakeHeader(InfoOf(layout), width, height);
  EXPECT_EQ(Kelmar(&h.header, out.data(), planes, map.data(), 0, zoom), 0);
  EXPECT_TRUE(out.GuardsIntact()) << InfoOf(layout).name << " " << width << " x " << height;
  return out.Payload();
}

std::vector<uint8_t> Pack(Layout layout, const Picture& p, const std::vector<uint8_t>& map,
                          int32_t zoom = 0) {
  return Pack(layout, p.width, p.height, &p.planes, map, zoom);
}

size_t MapBytes(int width, int height) {
  const size_t count = static_cast<size_t>(width / 16) * static_cast<size_t>(height / 16);
  return count > 0 ? count : 1;
}

// The packed picture by its definition rather than by macroblock walk:
// output row r holds picture row height - 1 - r with the chroma row that
// serves it, wherever that row and column lie in a whole macroblock with a
// set map byte.  `tables`, when given, maps samples through the packed
// tables.
std::vector<uint8_t> Expected(Layout layout, const Picture& p, const std::vector<uint8_t>& map,
                              const PackedTables* tables) {
  const int cols = p.width / 16;
  const int rows = p.height / 16;
  std::vector<uint8_t> out(OutputBytes(p.width, p.height), kFill);
  for (int r = 0; r < p.height; ++r) {
    const int row = p.height - 1 - r;
    if (row >= 16 * rows) continue;
    for (int x = 0; x < 16 * cols; x += 2) {
      if (!map[(row / 16) * cols + x / 16]) continue;
      uint8_t y0 = p.Y(x, row), y1 = p.Y(x + 1, row);
      uint8_t u = p.U(x / 2, row / 2), v = p.V(x / 2, row / 2);
      if (tables) {
        y0 = tables->PackedLumaTable[y0];
        y1 = tables->PackedLumaTable[y1];
        u = tables->PackedUTable[u];
        v = tables->PackedVTable[v];
      }
      uint8_t* group = &out[static_cast<size_t>(r) * 2 * p.width + 2 * x];
      const uint8_t uyvy[4] = {u, y0, v, y1};
      const uint8_t yuy2[4] = {y0, u, y1, v};
      std::memcpy(group, layout == Layout::kUyvy ? uyvy : yuy2, 4);
    }
  }
  return out;
}

class Packed : public ::testing::Test {
 protected:
  void TearDown() override { SetDisplayQuietly(0, 0, 0, 0); }
};

// --- tables -------------------------------------------------------------

struct Entry {
  int index;
  int value;
};

enum class Table { kLuma, kU, kV };

const uint8_t* TableData(const PackedTables& tables, Table table) {
  switch (table) {
    case Table::kLuma: return tables.PackedLumaTable;
    case Table::kU: return tables.PackedUTable;
    case Table::kV: return tables.PackedVTable;
  }
  return nullptr;
}

struct TableCase {
  DisplayValues adjust;
  Table table;
  std::vector<Entry> entries;
};

TEST_F(Packed, TableValues) {
  const std::vector<TableCase> cases = {
      {{1, 0, 0, 0},
       Table::kLuma,
       {{0, 11}, {100, 111}, {127, 138}, {128, 138}, {200, 210}, {244, 254}, {245, 255}}},
      {{0, -20, 0, 0}, Table::kLuma, {{0, 128}, {64, 128}, {200, 128}, {255, 128}}},
      {{0, 10, 0, 0},
       Table::kLuma,
       {{0, 0}, {64, 33}, {100, 87}, {127, 127}, {128, 128}, {129, 130}, {200, 236}, {255, 255}}},
      // Contrast -28: factor -0.4, so i = 58 gives x = 28.5 and i = 198 gives
      // x = -27.5, truncated toward zero to -27.
      {{0, -28, 0, 0}, Table::kLuma, {{58, 156}, {198, 101}, {0, 179}, {255, 78}}},
      {{0, 0, -10, 0}, Table::kU, {{0, 128}, {127, 128}, {255, 128}}},
      {{0, 0, -10, 0}, Table::kV, {{0, 128}, {129, 128}, {255, 128}}},
      {{0, 0, -5, 0}, Table::kU, {{0, 65}, {128, 128}, {129, 128}, {130, 129}, {255, 191}}},
      {{0, 0, -5, 0}, Table::kV, {{0, 65}, {128, 128}, {129, 128}, {130, 129}, {255, 191}}},
      {{0, 0, 10, 0},
       Table::kU,
       {{0, 0}, {64, 1}, {100, 73}, {127, 127}, {128, 128}, {191, 254}, {192, 255}}},
      {{0, 0, 10, 0}, Table::kV, {{0, 0}, {64, 1}, {191, 254}, {192, 255}, {255, 255}}},
      // Balance weakens one chroma table; the other runs through the ramp
      // at gain 1, which differs from the identity below 128.
      {{0, 0, 0, 10},
       Table::kV,
       {{0, 65}, {1, 65}, {100, 115}, {128, 128}, {129, 129}, {255, 192}}},
      {{0, 0, 0, 10}, Table::kU, {{0, 1}, {100, 101}, {127, 128}, {128, 128}, {255, 255}}},
      {{0, 0, 0, -10},
       Table::kU,
       {{0, 65}, {1, 65}, {100, 115}, {128, 128}, {129, 129}, {255, 192}}},
      {{0, 0, 0, -10}, Table::kV, {{0, 1}, {100, 101}, {127, 128}, {128, 128}, {255, 255}}},
      // h rounded once from double: h evaluated in float arithmetic gives
      // 87, 87, 116 and 107 here.
      {{0, 0, 0, 18}, Table::kV, {{9, 86}}},
      {{0, 0, 0, -18}, Table::kU, {{9, 86}}},
      {{0, 0, 0, 74}, Table::kV, {{23, 117}}},
      {{0, 0, -5, 18}, Table::kV, {{2, 106}}},
      // Adjustments at the ends of the int32 range.
      {{INT32_MAX, 0, 0, 0}, Table::kLuma, {{0, 255}, {255, 255}}},
      {{INT32_MIN, 0, 0, 0}, Table::kLuma, {{0, 0}, {255, 0}}},
      {{0, INT32_MAX, 0, 0}, Table::kLuma, {{0, 0}, {127, 0}, {128, 128}, {129, 255}}},
      {{0, INT32_MIN, 0, 0}, Table::kLuma, {{0, 255}, {127, 255}, {128, 128}, {129, 0}}},
      {{INT32_MAX, INT32_MIN, 0, 0}, Table::kLuma, {{0, 255}, {128, 255}, {255, 255}}},
      {{INT32_MIN, INT32_MAX, 0, 0}, Table::kLuma, {{0, 0}, {128, 0}, {255, 0}}},
      {{0, 0, INT32_MAX, 0}, Table::kU, {{0, 0}, {64, 1}, {191, 254}, {192, 255}}},
      {{0, 0, INT32_MIN, 0}, Table::kV, {{0, 128}, {255, 128}}},
      {{0, 0, 0, INT32_MIN}, Table::kU, {{0, 128}, {255, 128}}},
      {{0, 0, 0, INT32_MIN}, Table::kV, {{0, 1}, {255, 255}}},
      {{0, 0, 0, INT32_MAX}, Table::kV, {{0, 128}, {255, 128}}},
      {{0, 0, INT32_MAX, INT32_MAX}, Table::kU, {{0, 0}, {255, 255}}},
  };
  for (const TableCase& c : cases) {
    const auto tables = PackedTablesFor(c.adjust);
    const uint8_t* table = TableData(*tables, c.table);
    for (const Entry& e : c.entries) {
      EXPECT_EQ(table[e.index], e.value)
          << "adjust " << c.adjust.brightness << " " << c.adjust.contrast << " "
          << c.adjust.saturation << " " << c.adjust.balance << ", table "
          << static_cast<int>(c.table) << ", index " << e.index;
    }
  }
}

// Which forms the table build found for the mapped tables of `adjust`,
// each checked against every entry of its table: whether every mapped
// table has a ramp (else the SSE2 writer looks samples up) and whether
// every one has a form by halves.
struct FoundForms {
  bool ramps, halves;
};

FoundForms FormsGiveTheTables(const DisplayValues& adjust) {
  const auto tables = PackedTablesFor(adjust);
  const PackedLookups& lookups = tables->lookups;
  const auto expectRamp = [&](const uint8_t(&table)[256], const RampVectors& v, int lane,
                              RampShape shape) {
    const PackedRamp ramp = RampOfLane(v, lane);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(RampEntry(ramp, shape, x), table[x]) << "entry " << x;
  };
  const auto expectHalves = [&](const uint8_t(&table)[256], const NibbleVectors& v, int lane) {
    const NibbleTables halves = NibblesOfLane(v, lane);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(NibbleEntry(halves, x), table[x]) << "entry " << x;
  };
  if (lookups.mapLuma && lookups.lumaByRamp)
    expectRamp(tables->PackedLumaTable, lookups.lumaRamp, 0, lookups.lumaShape);
  if (lookups.mapChroma && lookups.chromaByRamp) {
    expectRamp(tables->PackedUTable, lookups.chromaRamp, 0, lookups.chromaShape);
    expectRamp(tables->PackedVTable, lookups.chromaRamp, 8, lookups.chromaShape);
  }
  if (lookups.mapLuma && lookups.lumaByNibbles)
    expectHalves(tables->PackedLumaTable, lookups.lumaNibbles, 0);
  if (lookups.mapChroma && lookups.chromaByNibbles) {
    expectHalves(tables->PackedUTable, lookups.chromaNibbles, 0);
    expectHalves(tables->PackedVTable, lookups.chromaNibbles, 1);
  }
  return {(!lookups.mapLuma || lookups.lumaByRamp) && (!lookups.mapChroma || lookups.chromaByRamp),
          (!lookups.mapLuma || lookups.lumaByNibbles) &&
              (!lookups.mapChroma || lookups.chromaByNibbles)};
}

// The vector writers compute adjusted samples rather than look them up
// wherever the tables have forms.  Every chroma setting a player's controls
// reach has ramps; of the contrasts, all but one or two whose ties at half a
// level the double arithmetic rounds one way here and the other there more
// often than two corrections set right.  Forms by halves hold for those
// ties wherever the rounded positions nest: every contrast from -13 up to
// the steep ones, every saturation from 0 up at any balance, and from -6 up
// at balance 0.  A gain below one half may put the middle's change of
// rounding (toward zero) inside a run of 16 entries, where no position
// nests.
TEST(PackedRamps, TheUsualSettingsAreComputed) {
  if (!KELMAR_HAVE_WIDE) GTEST_SKIP() << "no writer here computes tables";
  for (int saturation = -12; saturation <= 12; ++saturation) {
    for (int balance = -12; balance <= 12; ++balance) {
      if (saturation == 0 && balance == 0) continue;
      SCOPED_TRACE(testing::Message() << "saturation " << saturation << " balance " << balance);
      const FoundForms found = FormsGiveTheTables({0, 0, saturation, balance});
      EXPECT_TRUE(found.ramps);
      EXPECT_TRUE(found.halves || saturation < 0) << "halves";
      EXPECT_TRUE(found.halves || balance != 0 || saturation < -6) << "halves";
    }
  }
  for (int brightness : {-25, -1, 0, 3, 25}) {
    std::vector<int> lookedUp;
    for (int contrast = -20; contrast <= 30; ++contrast) {
      if (brightness == 0 && contrast == 0) continue;
      SCOPED_TRACE(testing::Message() << "brightness " << brightness << " contrast " << contrast);
      const FoundForms found = FormsGiveTheTables({brightness, contrast, 0, 0});
      EXPECT_TRUE(found.halves || contrast < -13);
      if (found.ramps) continue;
      lookedUp.push_back(contrast);
      // A gain of 1 + contrast / 20 with contrast a multiple of 4 puts no
      // product at half a level.
      EXPECT_NE(contrast % 4, 0);
    }
    EXPECT_LE(lookedUp.size(), 2u) << "brightness " << brightness;
  }
  // Runs of 16 entries that brightness pushes into the clamp whole take no
  // part in the form by halves, at any slope.
  for (int brightness : {-25, 25}) {
    for (int contrast = 31; contrast <= 300; ++contrast) {
      SCOPED_TRACE(testing::Message() << "brightness " << brightness << " contrast " << contrast);
      EXPECT_TRUE(FormsGiveTheTables({brightness, contrast, 0, 0}).halves);
    }
  }
  // Steep ramps, a step of a few entries between clamped runs, and their
  // inversions; the halves hold until a rise over 16 entries spans a byte,
  // whatever the runs clamped whole would rise.
  for (int contrast : {60, 200, 300, 100000, INT32_MAX, -60, -1000, INT32_MIN}) {
    for (int brightness : {0, 20, INT32_MIN}) {
      SCOPED_TRACE(testing::Message() << "brightness " << brightness << " contrast " << contrast);
      const FoundForms found = FormsGiveTheTables({brightness, contrast, 0, 0});
      EXPECT_TRUE(found.ramps);
      EXPECT_TRUE(found.halves || contrast > 300 || contrast < -300);
    }
  }
}

// A table whose own adjustments are zero is the identity, even when the
// other table's adjustments are set.
TEST_F(Packed, IdentityTablesWhereTheirAdjustmentsAreZero) {
  const std::vector<std::pair<DisplayValues, std::vector<Table>>> cases = {
      {{0, 0, 3, 0}, {Table::kLuma}},
      {{0, 0, 0, 10}, {Table::kLuma}},
      {{5, 0, 0, 0}, {Table::kU, Table::kV}},
      {{0, -7, 0, 0}, {Table::kU, Table::kV}},
  };
  for (const auto& [adjust, identities] : cases) {
    const auto tables = PackedTablesFor(adjust);
    for (Table t : identities) {
      for (int i = 0; i < 256; ++i) ASSERT_EQ(TableData(*tables, t)[i], i) << static_cast<int>(t);
    }
  }
}

// Back at all-zero adjustments, samples are copied unchanged: nothing of the
// tables of an earlier setting is used.
TEST_F(Packed, AllZeroAdjustmentsCopyAfterAnAdjustedCall) {
  const Picture p = MakePicture(48, 32, 17);
  const std::vector<uint8_t> map = FullMap(MapBytes(48, 32));
  for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
    SetDisplayQuietly(1, 2, 3, 4);
    Pack(layout, p, map);
    SetDisplayQuietly(0, 0, 0, 0);
    EXPECT_EQ(Pack(layout, p, map), Expected(layout, p, map, nullptr)) << InfoOf(layout).name;
  }
}

// --- output ---------------------------------------------------------------

// Output row r holds picture row 31 - r and chroma row 15 - r / 2; map row 1
// governs output rows 0..15.  Both row-table directions, every path.
TEST_F(Packed, ByteAndRowOrder) {
  for (RowOrder order : {RowOrder::kDown, RowOrder::kUp}) {
    const Picture p = MakePicture(16, 32, 7, order);
    for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
      SCOPED_TRACE(InfoOf(layout).name);
      const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
          [&](CodePath path) {
            const ScopedPathLimit limit(path);
            const std::vector<uint8_t> packed = Pack(layout, p, {1, 1});
            EXPECT_EQ(Pack(layout, p, {1, 1}, 1), packed) << "zoom is not consulted";
            return packed;
          },
          "row order");
      for (int r : {0, 1, 2, 15, 16, 30, 31}) {
        for (int g : {0, 3, 7}) {
          const int row = 31 - r;
          const uint8_t u = p.U(g, row / 2), v = p.V(g, row / 2);
          const uint8_t y0 = p.Y(2 * g, row), y1 = p.Y(2 * g + 1, row);
          const uint8_t* group = &out[32 * r + 4 * g];
          const std::vector<uint8_t> actual(group, group + 4);
          const std::vector<uint8_t> expected = layout == Layout::kUyvy
                                                    ? std::vector<uint8_t>{u, y0, v, y1}
                                                    : std::vector<uint8_t>{y0, u, y1, v};
          EXPECT_EQ(actual, expected) << "row " << r << " group " << g;
        }
      }
      const std::vector<uint8_t> top = Pack(layout, p, {0, 1});
      for (size_t i = 0; i < top.size(); ++i) {
        ASSERT_EQ(top[i], i < 16 * 32 ? out[i] : kFill) << "byte " << i;
      }
    }
  }
}

struct Size {
  int width;
  int height;
};

// Multiples of 16 and sizes with partial macroblocks, including odd ones.
const Size kSizes[] = {{16, 16}, {48, 32}, {176, 144}, {40, 40}, {33, 33},
                       {47, 17}, {17, 47}, {64, 31},   {31, 64}};

// Random pictures, maps and adjustments on every path, against the model;
// only whole macroblocks are written and the planes are read within their
// rows (the planes are allocated at their exact size).
TEST_F(Packed, MatchesTheDefinitionOnEveryPath) {
  Rng rng(11);
  uint32_t seed = 100;
  for (const Size& size : kSizes) {
    for (RowOrder order : {RowOrder::kDown, RowOrder::kUp}) {
      const Picture p = MakePicture(size.width, size.height, ++seed, order);
      const std::vector<uint8_t> map = RandomMap(MapBytes(size.width, size.height), ++seed);
      for (bool adjusted : {false, true}) {
        DisplayValues adjust = {0, 0, 0, 0};
        if (adjusted)
          adjust = {rng.Uniform(-3, 3), rng.Uniform(-15, 15), rng.Uniform(-8, 8),
                    rng.Uniform(-30, 30) | 1};
        SetDisplayQuietly(adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance);
        const auto tables = PackedTablesFor(adjust);
        for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
          SCOPED_TRACE(testing::Message() << InfoOf(layout).name << " " << size.width << " x "
                                          << size.height << (adjusted ? " adjusted" : ""));
          const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
              [&](CodePath path) {
                const ScopedPathLimit limit(path);
                return Pack(layout, p, map);
              },
              "packed");
          EXPECT_EQ(out, Expected(layout, p, map, adjusted ? tables.get() : nullptr));
        }
      }
    }
  }
}

TEST_F(Packed, Yuy2IsUyvyWithTheBytesOfEveryWordExchanged) {
  Rng rng(5);
  for (int trial = 0; trial < 12; ++trial) {
    const int width = rng.Uniform(1, 12) * 8 + rng.Uniform(0, 1);
    const int height = rng.Uniform(1, 12) * 8 + rng.Uniform(0, 1);
    const Picture p = MakePicture(width, height, 300 + trial);
    const std::vector<uint8_t> map = RandomMap(MapBytes(width, height), 400 + trial, 70);
    if (trial % 3 == 0) {
      SetDisplayQuietly(0, 0, 0, 0);
    } else {
      SetDisplayQuietly(rng.Uniform(-25, 25), rng.Uniform(-25, 25), rng.Uniform(-12, 12),
                        rng.Uniform(-100, 100));
    }
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          const ScopedPathLimit limit(path);
          std::vector<uint8_t> swapped = Pack(Layout::kUyvy, p, map);
          for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
          const std::vector<uint8_t> yuy2 = Pack(Layout::kYuy2, p, map);
          EXPECT_EQ(yuy2, swapped) << width << " x " << height << " " << CodePathName(path);
          return yuy2;
        },
        "word exchange");
  }
}

// Packs into a buffer `offset` bytes past a guarded allocation's start, so
// the output rows start at every alignment; the bytes before it must stay.
std::vector<uint8_t> PackAt(Layout layout, const Picture& p, std::vector<uint8_t> map,
                            size_t offset) {
  GuardedBuffer out(OutputBytes(p.width, p.height) + offset, kFill);
  HeaderWithPalette h = MakeHeader(InfoOf(layout), p.width, p.height);
  EXPECT_EQ(Kelmar(&h.header, out.data() + offset, &p.planes, map.data(), 0, 0), 0);
  EXPECT_TRUE(out.GuardsIntact()) << "offset " << offset;
  const std::vector<uint8_t> all = out.Payload();
  for (size_t i = 0; i < offset; ++i) EXPECT_EQ(all[i], kFill) << "offset " << offset;
  return std::vector<uint8_t>(all.begin() + offset, all.end());
}

// Runs of every length up to 21 macroblocks and beyond, rows starting at
// every offset from a cache line (some not on a 4-byte pixel pair), row
// strides that are and are not multiples of 64 bytes, copied and adjusted.
TEST_F(Packed, EveryRunLengthAndOutputAlignment) {
  const Size sizes[] = {{336, 32}, {80, 32}, {50, 48}, {16 * 9 + 2, 16}, {400, 16}};
  const size_t offsets[] = {0, 4, 16, 36, 60, 1, 2, 3};
  uint32_t seed = 700;
  for (const Size& size : sizes) {
    const Picture p = MakePicture(size.width, size.height, ++seed, RowOrder::kUp);
    const size_t count = MapBytes(size.width, size.height);
    for (const auto& map : {FullMap(count), RandomMap(count, ++seed, 80)}) {
      for (bool adjusted : {false, true}) {
        const DisplayValues adjust = adjusted ? DisplayValues{2, 3, 2, 5} : DisplayValues{};
        SetDisplayQuietly(adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance);
        const auto tables = PackedTablesFor(adjust);
        for (size_t offset : offsets) {
          SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << " offset "
                                          << offset << (adjusted ? " adjusted" : ""));
          const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
              [&](CodePath path) {
                const ScopedPathLimit limit(path);
                return PackAt(Layout::kYuy2, p, map, offset);
              },
              "aligned");
          EXPECT_EQ(out, Expected(Layout::kYuy2, p, map, adjusted ? tables.get() : nullptr));
        }
      }
    }
  }
}

// Settings that map luma only, chroma only, one chroma table only, both,
// and the ends of the int32 range, through every path's lookups and ramps.
TEST_F(Packed, EveryKindOfSettingOnEveryPath) {
  const DisplayValues settings[] = {
      {7, 0, 0, 0},
      {0, -9, 0, 0},
      {0, 0, 4, 0},
      {0, 0, 0, 20},
      {0, 0, 0, -3},
      {-4, 12, -6, 9},
      {INT32_MAX, 0, 0, 0},
      {0, INT32_MIN, 0, 0},
      {0, 0, INT32_MAX, 0},
      {0, 0, INT32_MIN, 0},
      {0, 0, 0, INT32_MIN},
      {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
      {1000, -1000, 500, -1},
      {0, 30000, -200, 77},
      // Ramps that round toward zero, need corrections, or have none; luma
      // and chroma in shapes of their own, or looked up beside computed
      // chroma.
      {2, 3, 2, 0},
      {0, 3, 0, 0},
      {0, -6, 0, 0},
      {0, -6, 0, 4},
      {0, INT32_MIN, 1, 0},
      {300, -21, -9, 0},
      {INT32_MAX, -35, 0, 0},
      {-4000, 26, 9, -7},
      {5, -6, -9, 4},
      {-3, -13, -7, 10},
  };
  const Picture p = MakePicture(208, 48, 31);
  const std::vector<uint8_t> map = RandomMap(MapBytes(208, 48), 32, 60);
  for (const DisplayValues& adjust : settings) {
    SetDisplayQuietly(adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance);
    const auto tables = PackedTablesFor(adjust);
    for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
      SCOPED_TRACE(testing::Message()
                   << InfoOf(layout).name << " " << adjust.brightness << " " << adjust.contrast
                   << " " << adjust.saturation << " " << adjust.balance);
      const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
          [&](CodePath path) {
            const ScopedPathLimit limit(path);
            return Pack(layout, p, map);
          },
          "setting");
      EXPECT_EQ(out, Expected(layout, p, map, tables.get()));
    }
  }
}

// Each writer takes whichever form a table has, in its own order, and looks
// up what has none: with the forms the build found dropped one kind at a
// time, every path still gives the tables' bytes.  Settings that map luma
// and chroma together and have both forms for each, with U and V alike
// (balance 0) or not.
TEST_F(Packed, EveryWriterWithoutSomeForms) {
  if (!KELMAR_HAVE_WIDE && !KELMAR_HAVE_NEON) GTEST_SKIP() << "no writer here computes tables";
  struct Dropped {
    const char* name;
    bool lumaHalves, chromaHalves, ramps;
  };
  const Dropped drops[] = {{"halves", true, true, false},
                           {"the luma's halves", true, false, false},
                           {"ramps", false, false, true},
                           {"both", true, true, true}};
  const Picture p = MakePicture(80, 32, 44);
  const std::vector<uint8_t> map = RandomMap(MapBytes(80, 32), 45, 80);
  const DisplayValues settings[] = {{2, 3, 2, 1}, {-1, 12, 4, -5}, {3, 5, 3, 0}};
  for (const DisplayValues& adjust : settings) {
    PackedTables tables = *PackedTablesFor(adjust);
    PackedLookups& l = tables.lookups;
    // Only the x86 writers have ramps.
    ASSERT_TRUE(l.lumaByNibbles && l.chromaByNibbles);
    ASSERT_TRUE(!KELMAR_HAVE_WIDE || (l.lumaByRamp && l.chromaByRamp));
    for (const Dropped& drop : drops) {
      l.lumaByNibbles = !drop.lumaHalves;
      l.chromaByNibbles = !drop.chromaHalves;
      l.lumaByRamp = l.chromaByRamp = !drop.ramps;
      for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
        SCOPED_TRACE(testing::Message() << InfoOf(layout).name << " without " << drop.name
                                        << ", contrast " << adjust.contrast);
        HeaderWithPalette h = MakeHeader(InfoOf(layout), p.width, p.height);
        const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
            [&](CodePath path) {
              GuardedBuffer buffer(OutputBytes(p.width, p.height), kFill);
              const PackedCall call = {PlanFor(path), &tables};
              (layout == Layout::kUyvy ? PackUYVY : PackYUY2)(
                  PackedGeometry(h.header), buffer.data(), &p.planes, map.data(), call);
              EXPECT_TRUE(buffer.GuardsIntact());
              return buffer.Payload();
            },
            "forms");
        EXPECT_EQ(out, Expected(layout, p, map, &tables));
      }
    }
  }
}

// Map rows whose marks start, end and run across the eight-byte steps of
// the map scan, and any non-zero byte as a mark: 71 columns are eight whole
// steps and seven bytes more.
TEST_F(Packed, MapPatternsAcrossTheScanSteps) {
  constexpr int kCols = 71;
  const auto span = [](int first, int last) {
    std::vector<int> columns;
    for (int c = first; c <= last; ++c) columns.push_back(c);
    return columns;
  };
  const std::vector<std::vector<int>> marked = {
      {},
      {0},
      {kCols - 1},
      {7, 8},
      {31, 32},
      {33},
      {63, 64, 65},
      span(15, 22),
      span(0, 16),
      span(40, kCols - 1),
      {3, 12, 21, 45, 66},
      {1, 2, 9, 10, 11, 22, 64, kCols - 1},
  };
  const Picture p = MakePicture(16 * kCols, 32, 41);
  for (const std::vector<int>& columns : marked) {
    std::vector<uint8_t> map(2 * kCols, 0);
    uint8_t value = 1;
    for (int c : columns) {
      map[c] = value;                     // bottom macroblock row
      map[kCols + kCols - 1 - c] = 0x80;  // top row, mirrored
      value = static_cast<uint8_t>(value * 3 + 0x40);
      if (value == 0) value = 1;
    }
    const std::vector<uint8_t> out = ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          const ScopedPathLimit limit(path);
          return Pack(Layout::kUyvy, p, map);
        },
        "map pattern");
    EXPECT_EQ(out, Expected(Layout::kUyvy, p, map, nullptr)) << columns.size() << " marks";
  }
}

// Without a whole macroblock nothing is written, and neither the row tables
// nor the planes are read: the plane set here has no tables at all.
TEST_F(Packed, NoWholeMacroblockTouchesNothing) {
  const Size sizes[] = {{1, 1},  {2, 2},  {15, 16},       {16, 15},       {16, 1},
                        {1, 16}, {0, 32}, {32, 0},        {32, -32},      {-32, 32},
                        {16, 2}, {2, 16}, {INT32_MAX, 1}, {1, INT32_MAX}, {INT32_MIN, 16}};
  const PlaneSet noPlanes = {nullptr, nullptr, nullptr};
  for (const Size& size : sizes) {
    const bool small = OutputBytes(size.width, size.height) <= 4096;
    const int w = small ? size.width : 0;  // huge sizes get an empty buffer
    for (bool adjusted : {false, true}) {
      if (adjusted) {
        SetDisplayQuietly(2, 3, 4, 5);
      } else {
        SetDisplayQuietly(0, 0, 0, 0);
      }
      for (Layout layout : {Layout::kUyvy, Layout::kYuy2}) {
        GuardedBuffer out(OutputBytes(w, size.height), kFill);
        HeaderWithPalette h = MakeHeader(InfoOf(layout), size.width, size.height);
        uint8_t map[1] = {1};
        EXPECT_EQ(Kelmar(&h.header, out.data(), &noPlanes, map, 0, 0), 0);
        EXPECT_TRUE(out.GuardsIntact()) << size.width << " x " << size.height;
        for (uint8_t b : out.Payload()) ASSERT_EQ(b, kFill) << size.width << " x " << size.height;
      }
    }
  }
}

}  // namespace
}  // namespace kelmar::test
