// 24-bit output: pixel rule, geometry and row addressing (the every-path
// sweep in wide_paths_test.cpp covers path equality).
#include <gtest/gtest.h>

#include "tables/adjust_tables.h"
#include "test_support.h"

namespace kelmar::test {
namespace {

// The colour of one source pixel by the table rule, with the tables of the
// current setting.
struct Bgr {
  uint8_t b, g, r;
  bool operator==(const Bgr& o) const { return b == o.b && g == o.g && r == o.r; }
};

Bgr ExpectedPixel(const Picture& p, int x, int y) {
  const AdjustTables& tables = TablesOfCurrentSetting().adjust;
  const uint8_t* LumaTable = tables.LumaTable();
  const int luma = p.Y(x, y);
  const ChromaTerms& u = tables.UTable()[p.U(x / 2, y / 2)];
  const ChromaTerms& v = tables.VTable()[p.V(x / 2, y / 2)];
  return {LumaTable[luma + u.other], LumaTable[luma + u.green + v.green],
          LumaTable[luma + v.other]};
}

Bgr At(const uint8_t* out, int64_t rowBytes, int x, int y) {
  const uint8_t* p = out + y * rowBytes + 3 * x;
  return {p[0], p[1], p[2]};
}

class Rgb24 : public ::testing::Test {
 protected:
  void SetUp() override { SetDisplayQuietly(0, 0, 0, 0); }
  void TearDown() override { SetDisplayQuietly(0, 0, 0, 0); }

  // Converts with `map` into a buffer of the header's size.
  GuardedBuffer Convert(const Picture& picture, int32_t width, int32_t height, int32_t zoom,
                        std::vector<uint8_t> map) {
    auto h = MakeHeader(width, height, 24, BI_RGB);
    const size_t size = 3 * static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
    GuardedBuffer out(size);
    map.resize(std::max<size_t>(map.size(), 1));
    EXPECT_EQ(Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, zoom), 0);
    EXPECT_TRUE(out.GuardsIntact());
    return out;
  }
};

TEST_F(Rgb24, NormalSizeFollowsTheTableRuleAndLeavesTheRestAlone) {
  SetDisplayQuietly(1, 4, 3, 0);
  Picture picture = MakePicture(40, 36, 11);
  const GuardedBuffer out = Convert(picture, 40, 36, 0, FullMap(4));
  for (int y = 0; y < 36; ++y) {
    for (int x = 0; x < 40; ++x) {
      const Bgr got = At(out.data(), 120, x, y);
      if (x < 32 && y < 32) {
        ASSERT_TRUE(got == ExpectedPixel(picture, x, y)) << x << "," << y;
      } else {
        ASSERT_TRUE(got == (Bgr{0xA5, 0xA5, 0xA5}))
            << "outside whole macroblocks " << x << "," << y;
      }
    }
  }
}

TEST_F(Rgb24, MapSelectsMacroblocks) {
  Picture picture = MakePicture(48, 32, 12);
  const std::vector<uint8_t> map = {1, 0, 7, 1, 255, 0};
  const GuardedBuffer out = Convert(picture, 48, 32, 0, map);
  for (int mb = 0; mb < 6; ++mb) {
    const int x0 = 16 * (mb % 3), y0 = 16 * (mb / 3);
    for (int y = y0; y < y0 + 16; ++y)
      for (int x = x0; x < x0 + 16; ++x)
        ASSERT_TRUE(At(out.data(), 144, x, y) ==
                    (map[mb] ? ExpectedPixel(picture, x, y) : Bgr{0xA5, 0xA5, 0xA5}))
            << "macroblock " << mb;
  }
}

TEST_F(Rgb24, DoubleSizeWritesEachPixelTwiceOnEvenRows) {
  SetDisplayQuietly(0, 0, 6, 0);
  Picture picture = MakePicture(42, 36, 13);  // 83 x 70 halves to 41 x 35
  for (int32_t zoom : {1, 2, -1}) {
    const GuardedBuffer out = Convert(picture, 83, 70, zoom, FullMap(83 * 70 / 256));
    const int64_t rowBytes = 2 * 3 * 41;
    for (int y = 0; y < 70; ++y) {
      for (int x = 0; x < 82; ++x) {  // rows are 2 x 41 pixels
        const Bgr got = At(out.data(), rowBytes, x, y);
        if (y % 2 == 0 && x < 64 && y < 64) {
          ASSERT_TRUE(got == ExpectedPixel(picture, x / 2, y / 2)) << x << "," << y;
        } else {
          ASSERT_TRUE(got == (Bgr{0xA5, 0xA5, 0xA5})) << x << "," << y;
        }
      }
    }
  }
}

TEST_F(Rgb24, SizesWithoutAWholeMacroblockWriteNothing) {
  struct Case {
    int32_t width, height, zoom;
  };
  const Case cases[] = {{15, 64, 0},  {64, 15, 0},  {31, 64, 1}, {64, 31, 1},
                        {-64, 64, 0}, {64, -64, 0}, {0, 0, 0},   {-64, -64, 1}};
  Picture picture = MakePicture(64, 64, 14);
  for (const Case& c : cases) {
    auto h = MakeHeader(c.width, c.height, 24, BI_RGB);
    GuardedBuffer out(64);
    std::vector<uint8_t> map(64, 1);
    EXPECT_EQ(Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, c.zoom), 0);
    EXPECT_EQ(out.Payload(), std::vector<uint8_t>(64, 0xA5)) << c.width << "x" << c.height;
    EXPECT_TRUE(out.GuardsIntact());
  }
}

// At normal size rows are reached by stepping from the macroblock row's first
// entry with the stride of entries 0 and 1; at double size every row's own
// entry is read.  Point every other entry at a decoy picture to tell them
// apart.
TEST_F(Rgb24, RowAddressingDiffersBetweenSizes) {
  Picture real = MakePicture(32, 32, 15);
  Picture decoy = MakePicture(32, 32, 16);
  Picture mixed = MakePicture(32, 32, 0);  // rows as the tables below name them
  std::vector<const uint8_t*> yRows = real.yRows, uRows = real.uRows, vRows = real.vRows;
  for (int r = 0; r < 32; ++r) {
    const bool stepped = r == 0 || r == 1 || r % 16 == 0;
    if (!stepped) yRows[r] = decoy.yRows[r];
    std::memcpy(&mixed.luma[r * mixed.lumaStride], yRows[r], 32);
  }
  for (int r = 0; r < 16; ++r) {
    if (r % 8 != 0) uRows[r] = decoy.uRows[r], vRows[r] = decoy.vRows[r];
    std::memcpy(mixed.uPlane() + r * mixed.chromaStride, uRows[r], 16);
    std::memcpy(mixed.vPlane() + r * mixed.chromaStride, vRows[r], 16);
  }
  Picture uneven = real;
  uneven.planes = {yRows.data(), uRows.data(), vRows.data()};

  EXPECT_EQ(Convert(uneven, 32, 32, 0, FullMap(4)).Payload(),
            Convert(real, 32, 32, 0, FullMap(4)).Payload());
  EXPECT_EQ(Convert(uneven, 64, 64, 1, FullMap(16)).Payload(),
            Convert(mixed, 64, 64, 1, FullMap(16)).Payload());
}

TEST_F(Rgb24, UpwardRowTablesReadThePictureBottomUp) {
  Picture down = MakePicture(48, 48, 17, RowOrder::kDown);
  Picture up = down;
  LinkRows(up, RowOrder::kUp);
  // Flip the planes so that the upward tables describe the same picture.
  for (int r = 0; r < 48; ++r) std::memcpy(&up.luma[(47 - r) * up.lumaStride], down.yRows[r], 48);
  for (int r = 0; r < 24; ++r) {
    std::memcpy(up.uPlane() + (23 - r) * up.chromaStride, down.uRows[r], 24);
    std::memcpy(up.vPlane() + (23 - r) * up.chromaStride, down.vRows[r], 24);
  }
  for (int32_t zoom : {0, 1}) {
    const int32_t size = zoom ? 96 : 48;
    EXPECT_EQ(Convert(up, size, size, zoom, FullMap(36)).Payload(),
              Convert(down, size, size, zoom, FullMap(36)).Payload())
        << "zoom " << zoom;
  }
}

}  // namespace
}  // namespace kelmar::test
