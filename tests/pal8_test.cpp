// The 8-bit dithered converter, driven through Kelmar().
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "rgb/converters.h"
#include "tables/dither_palette.h"
#include "test_support.h"

namespace kelmar {
namespace {

using test::GuardedBuffer;
using test::Picture;

// Untouched output bytes: never a palette index (luma level 15 is unused).
constexpr uint8_t kFill = 0xF5;

int SourceSize(int32_t size, int32_t zoom) { return zoom ? size / 2 : size; }

// Output bytes an 8-bit conversion may write: whole rows of the output size.
size_t OutputBytes(int32_t width, int32_t height, int32_t zoom) {
  const int srcWidth = SourceSize(width, zoom), srcHeight = SourceSize(height, zoom);
  if (srcWidth < 16 || srcHeight < 16) return 64;
  return static_cast<size_t>(srcWidth) * srcHeight * (zoom ? 4 : 1);
}

// One 8-bit Kelmar() call into a buffer of exactly the bytes it may write.
std::vector<uint8_t> Convert(const Picture& picture, int32_t width, int32_t height,
                             const std::vector<uint8_t>& map, int32_t zoom) {
  test::HeaderWithPalette h = test::MakeHeader(width, height, 8, BI_RGB);
  GuardedBuffer out(OutputBytes(width, height, zoom), kFill);
  std::vector<uint8_t> mapCopy = map;
  EXPECT_EQ(Kelmar(&h.header, out.data(), &picture.planes, mapCopy.data(), 0, zoom), 0);
  EXPECT_TRUE(out.GuardsIntact()) << width << " x " << height << " zoom " << zoom;
  return out.Payload();
}

// The dither rule at every pixel, reading each row from its own table entry.
std::vector<uint8_t> Expected(const Picture& p, int32_t width, int32_t height,
                              const std::vector<uint8_t>& map, int32_t zoom) {
  std::vector<uint8_t> out(OutputBytes(width, height, zoom), kFill);
  const int srcWidth = SourceSize(width, zoom), srcHeight = SourceSize(height, zoom);
  if (srcWidth < 16 || srcHeight < 16) return out;
  const int mbCols = srcWidth / 16, mbRows = srcHeight / 16;
  const size_t rowBytes = static_cast<size_t>(zoom ? 2 * srcWidth : srcWidth);
  const DitherTables& t = test::TablesOfCurrentSetting().dither;
  for (int y = 0; y < 16 * mbRows; ++y) {
    for (int x = 0; x < 16 * mbCols; ++x) {
      if (!map[(y / 16) * mbCols + x / 16]) continue;
      const int m = 4 * (y % 4) + x % 4;
      const uint8_t index =
          static_cast<uint8_t>(t.YQuantTable[p.Y(x, y) + BayerMatrix[m]] +
                               t.UQuantTable[p.U(x / 2, y / 2) + 2 * BayerMatrix[m]] +
                               t.VQuantTable[p.V(x / 2, y / 2) + 2 * BayerMatrix[m]]);
      if (zoom) {
        out[2 * y * rowBytes + 2 * x] = out[2 * y * rowBytes + 2 * x + 1] = index;
      } else {
        out[y * rowBytes + x] = index;
      }
    }
  }
  return out;
}

class Pal8 : public ::testing::Test {
 protected:
  void SetUp() override { test::SetDisplayQuietly(0, 0, 0, 0); }
};

// The 4 x 4 dither patterns of flat pictures, repeated over the picture, on
// every path.
TEST_F(Pal8, FlatPicturesGiveTheDitherPattern) {
  struct Case {
    uint8_t y;
    uint8_t pattern[4][4];
  };
  const Case cases[] = {
      {128,
       {{117, 122, 117, 122}, {122, 117, 138, 117}, {117, 122, 117, 122}, {138, 117, 122, 117}}},
      {16, {{21, 26, 21, 26}, {26, 21, 26, 21}, {21, 26, 21, 26}, {26, 21, 26, 21}}},
  };
  for (const Case& c : cases) {
    const Picture picture = test::MakeFlatPicture(48, 32, c.y, 128, 128);
    const std::vector<uint8_t> out = test::ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          test::ScopedPathLimit limit(path);
          return Convert(picture, 48, 32, test::FullMap(6), 0);
        },
        "flat picture");
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 48; ++x)
        ASSERT_EQ(out[48 * y + x], c.pattern[y % 4][x % 4])
            << " Y " << int(c.y) << " at " << x << "," << y;
  }
}

// Double size widens the source pattern: each index twice, even rows only.
TEST_F(Pal8, DoubleSizeWidensThePattern) {
  const Picture picture = test::MakeFlatPicture(32, 16, 128, 128, 128);
  for (int32_t zoom : {1, 2, -1}) {
    const std::vector<uint8_t> out = Convert(picture, 64, 32, test::FullMap(8), zoom);
    const uint8_t row0[8] = {117, 117, 122, 122, 117, 117, 122, 122};
    const uint8_t row2[8] = {122, 122, 117, 117, 138, 138, 117, 117};
    EXPECT_TRUE(std::equal(row0, row0 + 8, out.begin()));
    EXPECT_TRUE(std::equal(row2, row2 + 8, out.begin() + 2 * 64));
    for (int row = 1; row < 32; row += 2)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(out[64 * row + x], kFill) << x << "," << row;
    EXPECT_EQ(out, Expected(picture, 64, 32, test::FullMap(8), zoom)) << "zoom " << zoom;
  }
}

// Sizes that are not whole macroblocks, maps with gaps, both row orders, both
// sizes: every converted pixel follows the dither rule and every other byte
// keeps the fill, which is never an index.
TEST_F(Pal8, GeometryMapsAndRowOrders) {
  struct Case {
    int32_t width, height, zoom;
  };
  const Case cases[] = {
      {40, 36, 0}, {48, 32, 0}, {16, 16, 0}, {33, 17, 0}, {176, 144, 0},
      {83, 70, 1}, {64, 32, 2}, {32, 32, 1}, {96, 66, 1}, {31, 200, 0},
  };
  uint32_t seed = 1;
  for (const Case& c : cases) {
    for (test::RowOrder order : {test::RowOrder::kDown, test::RowOrder::kUp}) {
      const int srcWidth = SourceSize(c.width, c.zoom), srcHeight = SourceSize(c.height, c.zoom);
      const Picture picture = test::MakePicture(srcWidth & ~1, srcHeight & ~1, ++seed, order);
      const size_t blocks = static_cast<size_t>(srcWidth / 16) * (srcHeight / 16);
      const std::vector<uint8_t> map = test::RandomMap(std::max<size_t>(blocks, 1), ++seed, 70);
      EXPECT_EQ(Convert(picture, c.width, c.height, map, c.zoom),
                Expected(picture, c.width, c.height, map, c.zoom))
          << c.width << " x " << c.height << " zoom " << c.zoom << " order "
          << static_cast<int>(order);
    }
  }
}

TEST_F(Pal8, NoWholeMacroblockWritesNothing) {
  const Picture picture = test::MakePicture(32, 32, 3);
  const int32_t sizes[][3] = {{15, 32, 0}, {32, 15, 0}, {32, -16, 0}, {-32, 32, 0},
                              {31, 64, 1}, {64, 31, 1}, {64, -32, 1}, {0, 0, 0}};
  for (const auto& s : sizes) {
    const std::vector<uint8_t> out = Convert(picture, s[0], s[1], test::FullMap(16), s[2]);
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), kFill)) << s[0] << " x " << s[1];
  }
}

// Rows are found by stepping from the first row of each macroblock row, at
// both sizes: no other table entry may be read.  The other entries point at
// a decoy picture.
TEST_F(Pal8, RowsAreFoundByStepping) {
  const Picture real = test::MakePicture(32, 48, 21);
  const Picture decoy = test::MakePicture(32, 48, 22);
  Picture mixed = real;
  for (int r = 2; r < 48; ++r)
    if (r % 16) mixed.yRows[r] = decoy.yRows[r];
  for (int r = 1; r < 24; ++r) {
    if (r % 8) {
      mixed.uRows[r] = decoy.uRows[r];
      mixed.vRows[r] = decoy.vRows[r];
    }
  }
  mixed.planes = {mixed.yRows.data(), mixed.uRows.data(), mixed.vRows.data()};
  const std::vector<uint8_t> map = test::FullMap(6);
  EXPECT_EQ(Convert(mixed, 32, 48, map, 0), Expected(real, 32, 48, map, 0));
  EXPECT_EQ(Convert(mixed, 64, 96, map, 1), Expected(real, 64, 96, map, 1));
}

// Odd luma strides: the chroma stride is half of it, rounded toward minus
// infinity (8 for 17, -9 for -17).
TEST_F(Pal8, OddStridesHalveTowardMinusInfinity) {
  for (int lumaStride : {17, -17}) {
    const int chromaStride = lumaStride > 0 ? 8 : -9;
    const int rows = 32;
    Picture p;
    p.width = 16;
    p.height = rows;
    test::Rng rng(static_cast<uint32_t>(lumaStride + 100));
    p.luma.resize(17 * rows);
    p.chroma.resize(2 * 9 * rows / 2);
    for (auto& b : p.luma) b = static_cast<uint8_t>(rng.Next() >> 24);
    for (auto& b : p.chroma) b = static_cast<uint8_t>(rng.Next() >> 24);
    const int firstY = lumaStride > 0 ? 0 : 17 * (rows - 1);
    const int firstC = chromaStride > 0 ? 0 : 9 * (rows / 2 - 1);
    for (int r = 0; r < rows; ++r) p.yRows.push_back(p.luma.data() + firstY + r * lumaStride);
    const uint8_t* vPlane = p.chroma.data() + 9 * rows / 2;
    for (int r = 0; r < rows / 2; ++r) {
      p.uRows.push_back(p.chroma.data() + firstC + r * chromaStride);
      p.vRows.push_back(vPlane + firstC + r * chromaStride);
    }
    p.planes = {p.yRows.data(), p.uRows.data(), p.vRows.data()};
    const std::vector<uint8_t> map = test::FullMap(2);
    EXPECT_EQ(Convert(p, 16, 32, map, 0), Expected(p, 16, 32, map, 0)) << lumaStride;
    EXPECT_EQ(Convert(p, 32, 64, map, 1), Expected(p, 32, 64, map, 1)) << lumaStride;
  }
}

// Every path the machine has writes the same bytes and the same palette, on
// random pictures, sizes, maps and adjustments.
TEST_F(Pal8, AllPathsWriteTheSameBytes) {
  test::Rng rng(77);
  for (int round = 0; round < 24; ++round) {
    const int32_t zoom = rng.Uniform(0, 2) == 0 ? rng.Uniform(1, 3) : 0;
    const int srcWidth = 2 * rng.Uniform(8, 60), srcHeight = 2 * rng.Uniform(8, 40);
    const int32_t width = zoom ? 2 * srcWidth + rng.Uniform(0, 1) : srcWidth;
    const int32_t height = zoom ? 2 * srcHeight + rng.Uniform(0, 1) : srcHeight;
    const test::RowOrder order = rng.Uniform(0, 1) ? test::RowOrder::kUp : test::RowOrder::kDown;
    const Picture picture = test::MakePicture(srcWidth, srcHeight, rng.Next(), order);
    const std::vector<uint8_t> map =
        test::RandomMap(static_cast<size_t>(srcWidth / 16) * (srcHeight / 16), rng.Next(), 80);
    test::SetDisplayQuietly(rng.Uniform(-30, 30), rng.Uniform(-30, 30), rng.Uniform(-15, 15),
                            rng.Uniform(-5, 5));
    const std::vector<uint8_t> out = test::ExpectSameBytesOnEveryPath(
        [&](CodePath path) {
          test::ScopedPathLimit limit(path);
          return Convert(picture, width, height, map, zoom);
        },
        "round " + std::to_string(round));
    EXPECT_EQ(out, Expected(picture, width, height, map, zoom)) << "round " << round;
  }
}

}  // namespace
}  // namespace kelmar
