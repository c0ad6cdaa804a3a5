// 16-bit output: 5-5-5 (16-bit BI_RGB) and 5-6-5 (16-bit BI_BITFIELDS).
#include "rgb/rgb16.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tables/adjust_tables.h"
#include "test_support.h"

namespace kelmar::test {
namespace {

using Layout = OutputLayout;
constexpr Layout k555 = OutputLayout::kRgb555;
constexpr Layout k565 = OutputLayout::kRgb565;

struct Size {
  int32_t width, height;  // header values
  int32_t zoom;
};

int32_t SourceSide(int32_t side, int32_t zoom) { return zoom ? side / 2 : side; }
int32_t WholeMacroblocks(int32_t side, int32_t zoom) { return SourceSide(side, zoom) >> 4; }
bool ConvertsNothing(const Size& s) {
  return WholeMacroblocks(s.width, s.zoom) < 1 || WholeMacroblocks(s.height, s.zoom) < 1;
}
size_t OutputRowBytes(const Size& s) { return (s.zoom ? 4 : 2) * SourceSide(s.width, s.zoom); }
size_t OutputBytes(const Size& s) {
  if (ConvertsNothing(s)) return 256;
  return OutputRowBytes(s) * (s.zoom ? 2 : 1) * SourceSide(s.height, s.zoom);
}
// A picture of exactly the whole macroblocks, so a sanitizer catches any read
// beyond them.
Picture PictureFor(const Size& s, uint32_t seed, RowOrder order = RowOrder::kDown) {
  if (ConvertsNothing(s)) return MakePicture(16, 16, seed);
  return MakePicture(16 * WholeMacroblocks(s.width, s.zoom),
                     16 * WholeMacroblocks(s.height, s.zoom), seed, order);
}

// The pixel rule, with the tables of the current setting.
uint16_t ExpectedWord(Layout layout, uint8_t y, uint8_t u, uint8_t v, bool rounded, bool oddSite) {
  const int rb = rounded ? 4 : 0;
  const int g = !rounded ? 0 : layout == k555 ? (oddSite ? 2 : 6) : (oddSite ? 1 : 3);
  const AdjustTables& tables = TablesOfCurrentSetting().adjust;
  const uint8_t* LumaTable = tables.LumaTable();
  const ChromaTerms* UTable = tables.UTable();
  const ChromaTerms* VTable = tables.VTable();
  const int red = LumaTable[y + VTable[v].other + rb];
  const int green = LumaTable[y + UTable[u].green + VTable[v].green + g];
  const int blue = LumaTable[y + UTable[u].other + rb];
  if (layout == k555)
    return static_cast<uint16_t>((red >> 3) << 10 | (green >> 3) << 5 | blue >> 3);
  return static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

// Pixel by pixel: every sample from its own row-table entry, each marked
// macroblock's words placed at their address, everything else left at `fill`.
std::vector<uint8_t> ExpectedOutput(Layout layout, const PlaneSet& planes, const Size& s,
                                    const std::vector<uint8_t>& map, uint8_t fill) {
  std::vector<uint8_t> out(OutputBytes(s), fill);
  if (ConvertsNothing(s)) return out;
  const int mbCols = WholeMacroblocks(s.width, s.zoom);
  const int mbRows = WholeMacroblocks(s.height, s.zoom);
  const size_t rowBytes = OutputRowBytes(s);
  const auto put = [&](size_t at, uint16_t word) {
    out[at] = static_cast<uint8_t>(word);
    out[at + 1] = static_cast<uint8_t>(word >> 8);
  };
  for (int y = 0; y < 16 * mbRows; ++y) {
    for (int x = 0; x < 16 * mbCols; ++x) {
      if (!map[(y / 16) * mbCols + x / 16]) continue;
      const uint16_t word = ExpectedWord(layout, planes.yRows[y][x], planes.uRows[y / 2][x / 2],
                                         planes.vRows[y / 2][x / 2], !s.zoom, (x + y) % 2 == 1);
      if (s.zoom) {
        put(2 * y * rowBytes + 4 * x, word);
        put(2 * y * rowBytes + 4 * x + 2, word);
      } else {
        put(y * rowBytes + 2 * x, word);
      }
    }
  }
  return out;
}

std::vector<uint8_t> Convert(Layout layout, const PlaneSet& planes, const Size& s,
                             std::vector<uint8_t> map, uint8_t fill = 0xA5) {
  HeaderWithPalette h = MakeHeader(InfoOf(layout), s.width, s.height);
  // Masks that are not 5-6-5's: the layout is fixed, the masks are not read
  // and stay as they are.
  const uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  std::memcpy(h.colors, masks, sizeof(masks));
  GuardedBuffer out(OutputBytes(s), fill);
  EXPECT_EQ(Kelmar(&h.header, out.data(), &planes, map.data(), 0, s.zoom), 0);
  EXPECT_TRUE(out.GuardsIntact());
  EXPECT_EQ(std::memcmp(h.colors, masks, sizeof(masks)), 0);
  return out.Payload();
}

// Converts into buffers prefilled with 0x00 and with 0xFF, so any byte
// written where the picture does not go shows up in one of them.
void ExpectMatchesRule(Layout layout, const PlaneSet& planes, const Size& s,
                       const std::vector<uint8_t>& map) {
  for (uint8_t fill : {0x00, 0xFF}) {
    const std::vector<uint8_t> out = Convert(layout, planes, s, map, fill);
    ASSERT_EQ(out, ExpectedOutput(layout, planes, s, map, fill))
        << InfoOf(layout).name << " " << s.width << " x " << s.height << " zoom " << s.zoom
        << " fill " << int{fill};
  }
}

class Rgb16Test : public ::testing::Test {
 protected:
  void SetUp() override { SetDisplayQuietly(0, 0, 0, 0); }
  void TearDown() override { SetDisplayQuietly(0, 0, 0, 0); }
};

TEST_F(Rgb16Test, FlatColoursGiveExactWords) {
  struct Case {
    uint8_t y, u, v;
    uint16_t words555[3], words565[3];  // x + y even, x + y odd, double size
  };
  const Case cases[] = {
      // Neutral chroma: the offsets alone decide the level.
      {1, 128, 128, {0x0020, 0x0000, 0x0000}, {0x0020, 0x0000, 0x0000}},
      {2, 128, 128, {0x0020, 0x0000, 0x0000}, {0x0020, 0x0020, 0x0000}},
      {100, 128, 128, {0x35AD, 0x358D, 0x318C}, {0x6B4D, 0x6B2D, 0x632C}},
      {250, 128, 128, {0x7FFF, 0x7FFF, 0x7FFF}, {0xFFFF, 0xFFDF, 0xFFDF}},
      // Saturated red and blue: red comes from V, blue from U.
      {76, 85, 255, {0x7C00, 0x7C00, 0x7C00}, {0xF820, 0xF800, 0xF800}},
      {29, 255, 107, {0x001F, 0x001F, 0x001F}, {0x003F, 0x001F, 0x001F}},
  };
  for (const Case& c : cases) {
    const Picture picture = MakeFlatPicture(16, 16, c.y, c.u, c.v);
    for (Layout layout : {k555, k565}) {
      const uint16_t* words = layout == k555 ? c.words555 : c.words565;
      for (int32_t zoom : {0, 1}) {
        const Size s = {16 << zoom, 16 << zoom, zoom};
        const std::vector<uint8_t> out = Convert(layout, picture.planes, s, FullMap(1));
        // At double size the odd rows stay untouched (checked elsewhere).
        for (int y = 0; y < 16 << zoom; y += 1 + zoom) {
          for (int x = 0; x < 16 << zoom; ++x) {
            const size_t at = y * OutputRowBytes(s) + 2 * x;
            const int word = out[at] | out[at + 1] << 8;
            ASSERT_EQ(word, words[zoom ? 2 : (x + y) % 2])
                << InfoOf(layout).name << " Y " << int{c.y} << " zoom " << zoom << " at " << x
                << ", " << y;
          }
        }
      }
    }
  }
}

TEST_F(Rgb16Test, GeometryAndMaps) {
  struct Case {
    Size size;
    std::vector<uint8_t> map;  // empty: all marked
  };
  const Case cases[] = {
      {{40, 36, 0}, {}},
      {{82, 70, 1}, {}},
      {{82, 70, 2}, {}},
      {{48, 32, 0}, {1, 0, 1, 1, 1, 0}},
      {{96, 64, -1}, {0, 7, 1, 0, 0, 1}},
      {{33, 17, 0}, {0, 1}},
      // No whole macroblock: nothing written.
      {{15, 40, 0}, {}},
      {{40, 15, 0}, {}},
      {{31, 64, 1}, {}},
      {{-40, 40, 0}, {}},
      {{40, -40, 1}, {}},
      {{INT32_MIN, 32, 0}, {}},
      {{32, INT32_MIN, 1}, {}},
      {{INT32_MAX, 8, 0}, {}},
  };
  for (const Case& c : cases) {
    const Picture picture = PictureFor(c.size, 7);
    const std::vector<uint8_t> map = c.map.empty() ? FullMap(16) : c.map;
    for (Layout layout : {k555, k565}) {
      ExpectMatchesRule(layout, picture.planes, c.size, map);
    }
  }
}

// A picture whose rows lie at any signed distance, chroma rows at half of it
// rounded toward minus infinity: evenly spaced tables.
struct StridedPicture {
  std::vector<uint8_t> luma, u, v;
  std::vector<const uint8_t*> yRows, uRows, vRows;
  PlaneSet planes{};
};

void FillRows(std::vector<uint8_t>& plane, std::vector<const uint8_t*>& rows, int width, int height,
              int stride, Rng& rng) {
  const int span = std::abs(stride) * (height - 1);
  plane.resize(span + width);
  for (auto& b : plane) b = static_cast<uint8_t>(rng.Next() >> 24);
  const uint8_t* first = plane.data() + (stride < 0 ? span : 0);
  for (int r = 0; r < height; ++r) rows.push_back(first + r * stride);
}

StridedPicture MakeStridedPicture(int width, int height, int lumaStride, uint32_t seed) {
  StridedPicture p;
  Rng rng(seed);
  const int chromaStride = lumaStride >= 0 ? lumaStride / 2 : -((1 - lumaStride) / 2);
  FillRows(p.luma, p.yRows, width, height, lumaStride, rng);
  FillRows(p.u, p.uRows, width / 2, height / 2, chromaStride, rng);
  FillRows(p.v, p.vRows, width / 2, height / 2, chromaStride, rng);
  p.planes = {p.yRows.data(), p.uRows.data(), p.vRows.data()};
  return p;
}

TEST_F(Rgb16Test, UpwardAndOddStrides) {
  for (int stride : {35, -35, -32, -48}) {
    const StridedPicture picture = MakeStridedPicture(32, 32, stride, 11);
    SCOPED_TRACE(stride);
    for (Layout layout : {k555, k565}) {
      for (int32_t zoom : {0, 1}) {
        const Size s = {32 << zoom, 32 << zoom, zoom};
        ExpectMatchesRule(layout, picture.planes, s, FullMap(4));
      }
    }
  }
}

// Row tables whose entries jump between two pictures of different strides.
// At normal size 5-5-5 reads only entries 0 and 1 (the stride, for every
// macroblock row) and the first entry of each macroblock row; at double size,
// and for 5-6-5 at both sizes, every row comes from its own entry.
TEST_F(Rgb16Test, UnevenRowTables) {
  const Picture a = MakePicture(32, 64, 21);
  const Picture b = MakePicture(48, 64, 22);  // wider rows: another stride
  std::vector<const uint8_t*> y(64), u(32), v(32);
  for (int r = 0; r < 64; ++r) {
    const bool first = r % 16 == 0 || r == 1;
    y[r] = ((r / 16) % 2 == 1) == first ? b.yRows[r] : a.yRows[r];
  }
  for (int r = 0; r < 32; ++r) {
    const bool fromB = ((r / 8) % 2 == 1) == (r % 8 == 0);
    u[r] = fromB ? b.uRows[r] : a.uRows[r];
    v[r] = fromB ? b.vRows[r] : a.vRows[r];
  }
  const PlaneSet mixed = {y.data(), u.data(), v.data()};
  // What 5-5-5 reads at normal size: every row stepped from its macroblock
  // row's first entry by the stride of entries 0 and 1.
  std::vector<const uint8_t*> ys(64), us(32), vs(32);
  const int stride = a.lumaStride;
  for (int r = 0; r < 64; ++r) ys[r] = y[r - r % 16] + (r % 16) * stride;
  for (int r = 0; r < 32; ++r) {
    us[r] = u[r - r % 8] + (r % 8) * (stride / 2);
    vs[r] = v[r - r % 8] + (r % 8) * (stride / 2);
  }
  const PlaneSet stepped = {ys.data(), us.data(), vs.data()};

  const Size normal = {32, 64, 0};
  const std::vector<uint8_t> map = FullMap(8);
  const std::vector<uint8_t> out = Convert(k555, mixed, normal, map);
  EXPECT_EQ(out, ExpectedOutput(k555, stepped, normal, map, 0xA5));
  EXPECT_NE(out, ExpectedOutput(k555, mixed, normal, map, 0xA5));
  ExpectMatchesRule(k565, mixed, normal, map);
  for (Layout layout : {k555, k565}) ExpectMatchesRule(layout, mixed, {64, 128, 1}, map);
}

// Every path the machine has writes the bytes of the pixel rule, on random
// sizes, maps, row orders and adjustments (positive saturation and contrast
// included, and the extremes of the adjustment range).
TEST_F(Rgb16Test, EveryPathFollowsThePixelRule) {
  Rng rng(2024);
  for (int round = 0; round < 48; ++round) {
    const Layout layout = round % 2 ? k565 : k555;
    const int32_t zoom = round % 3;
    const Size s = {rng.Uniform(0, zoom ? 200 : 100), rng.Uniform(0, zoom ? 160 : 80), zoom};
    const RowOrder order = rng.Uniform(0, 1) ? RowOrder::kUp : RowOrder::kDown;
    const Picture picture = PictureFor(s, rng.Next(), order);
    const std::vector<uint8_t> map = RandomMap(64, rng.Next(), 70);
    if (round % 8 == 7) {
      SetDisplayQuietly(round % 16 == 7 ? INT32_MAX : INT32_MIN, INT32_MAX, INT32_MAX, 0);
    } else {
      SetDisplayQuietly(rng.Uniform(-25, 25), rng.Uniform(-20, 20), rng.Uniform(-12, 12), 0);
    }
    ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          const ScopedPathLimit limit(path);
          SCOPED_TRACE(CodePathName(path));
          ExpectMatchesRule(layout, picture.planes, s, map);
          return Convert(layout, picture.planes, s, map, 0x5A);
        },
        "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace kelmar::test
