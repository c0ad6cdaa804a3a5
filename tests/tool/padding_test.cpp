#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "bmp_writer.h"
#include "convert_run.h"
#include "display_image.h"
#include "padded_picture.h"
#include "tool_test_support.h"

namespace kconvert::test {
namespace {

Frame Crop(const Frame& frame, int width, int height) {
  Frame out;
  out.Resize(width, height);
  for (int y = 0; y < height; ++y) {
    std::copy_n(&frame.y[y * frame.width], width, &out.y[y * width]);
  }
  for (int y = 0; y < out.chromaHeight(); ++y) {
    std::copy_n(&frame.u[y * frame.chromaWidth()], out.chromaWidth(),
                &out.u[y * out.chromaWidth()]);
    std::copy_n(&frame.v[y * frame.chromaWidth()], out.chromaWidth(),
                &out.v[y * out.chromaWidth()]);
  }
  return out;
}

TEST(PaddedPicture, RepeatsEdgeSamplesAndListsRowsBottomUp) {
  const Frame frame = RandomFrame(21, 13, 7);
  PaddedPicture picture;
  picture.Assign(frame);
  ASSERT_EQ(picture.paddedWidth(), 32);
  ASSERT_EQ(picture.paddedHeight(), 16);
  const PlaneSet& planes = picture.planes();
  for (int y = 0; y < 16; ++y) {
    const uint8_t* row = planes.yRows[15 - y];  // table row 0 is the bottom row
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(row[x], frame.y[std::min(y, 12) * 21 + std::min(x, 20)]) << x << "," << y;
    }
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int at = std::min(y, 6) * 11 + std::min(x, 10);
      ASSERT_EQ(planes.uRows[7 - y][x], frame.u[at]) << x << "," << y;
      ASSERT_EQ(planes.vRows[7 - y][x], frame.v[at]) << x << "," << y;
    }
  }
  // The packed writers step through both chroma planes with one distance.
  EXPECT_EQ(planes.vRows[3] - planes.uRows[3], planes.vRows[0] - planes.uRows[0]);
}

TEST(PaddedPicture, MarksChangedMacroblocksInTheLibrarysMapOrder) {
  const Frame before = RandomFrame(48, 32, 3);
  Frame after = before;
  after.y[3 * 48 + 20] ^= 1;  // picture macroblock row 0, column 1
  after.v[12 * 24 + 2] ^= 1;  // chroma row 12: picture macroblock row 1, column 0
  PaddedPicture a, b;
  a.Assign(before);
  b.Assign(after);
  uint8_t map[6];
  EXPECT_EQ(MarkChangedMacroblocks(a, b, map), 2);
  // Map rows follow the row tables, which start at the bottom of the picture.
  EXPECT_EQ(std::vector<uint8_t>(map, map + 6), (std::vector<uint8_t>{1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(MarkChangedMacroblocks(a, a, map), 0);
}

// A picture of odd size shows exactly the pixels it shows inside a larger
// picture of whole macroblocks: padding never leaks into the true area, and
// the output is cropped to the true size.
TEST(Cropping, OddSizesShowTheSamePixelsAsTheWholePicture) {
  const Frame whole = RandomFrame(48, 32, 11);
  const Frame cropped = Crop(whole, 37, 21);
  for (bool zoom : {false, true}) {
    SetDisplay(0, 0, 0, 0);
    const std::vector<Layout> layouts(std::begin(kAllLayouts), std::end(kAllLayouts));
    FrameConverter big(layouts, 48, 32, zoom, false), small(layouts, 37, 21, zoom, false);
    big.Convert(whole);
    small.Convert(cropped);
    for (Layout layout : kAllLayouts) {
      SCOPED_TRACE(std::string(LayoutName(layout)) + (zoom ? " zoom" : ""));
      const RgbImage a = DecodeForDisplay(big.target(layout), 48, 32);
      const RgbImage b = DecodeForDisplay(small.target(layout), 37, 21);
      const int scale = IsPacked(layout) || !zoom ? 1 : 2;
      ASSERT_EQ(b.width, IsPacked(layout) ? 38 : 37 * scale);  // packed: whole pixel pairs
      ASSERT_EQ(b.height, 21 * scale);
      for (int y = 0; y < b.height; ++y) {
        ASSERT_TRUE(std::equal(b.at(0, y), b.at(0, y) + 3 * 37 * scale, a.at(0, y))) << y;
      }
    }
  }
}

TEST(Cropping, DoubleSizeRgb24IsEveryPixelTwiceEachWay) {
  const Frame frame = RandomFrame(37, 21, 5);
  SetDisplay(0, 0, 0, 0);
  FrameConverter normal({Layout::kRgb24}, 37, 21, false, false);
  FrameConverter doubled({Layout::kRgb24}, 37, 21, true, false);
  normal.Convert(frame);
  doubled.Convert(frame);
  const RgbImage a = DecodeForDisplay(normal.target(Layout::kRgb24), 37, 21);
  const RgbImage b = DecodeForDisplay(doubled.target(Layout::kRgb24), 37, 21);
  EXPECT_EQ(b.rgb, Enlarge(a, 2).rgb);
}

TEST(BmpFiles, CarryTheLibrarysHeaderTableAndRowsAtTheTrueSize) {
  const Frame frame = RandomFrame(37, 21, 9);
  RGBQUAD palette[256];
  SetDisplay(1, 2, 3, 0);
  ASSERT_EQ(DecGetPal(palette, 256, 0), 256);
  for (bool zoom : {false, true}) {
    FrameConverter converter({Layout::kRgb24, Layout::kRgb555, Layout::kRgb565, Layout::kPal8}, 37,
                             21, zoom, false);
    converter.Convert(frame);
    for (const LayoutTarget& target : converter.targets()) {
      SCOPED_TRACE(std::string(LayoutName(target.layout())) + (zoom ? " zoom" : ""));
      const std::vector<uint8_t> bytes = EncodeBmp(target, 37, 21);
      const Bmp bmp = ParseBmp(std::string(bytes.begin(), bytes.end()));
      EXPECT_EQ(bmp.width, 37 * target.scale());
      EXPECT_EQ(bmp.height, 21 * target.scale());
      EXPECT_EQ(bmp.bitCount, BitsPerPixel(target.layout()));
      const bool pal8 = target.layout() == Layout::kPal8;
      const bool fields = target.layout() == Layout::kRgb565;
      EXPECT_EQ(bmp.compression, fields ? 3u : 0u);
      EXPECT_EQ(bmp.clrUsed, pal8 ? 256u : 0u);
      if (pal8) {
        ASSERT_EQ(bmp.table.size(), 256u);
        EXPECT_EQ(std::memcmp(bmp.table.data(), palette, sizeof palette), 0);
      } else if (fields) {
        EXPECT_EQ(bmp.table, (std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}));
      } else {
        EXPECT_TRUE(bmp.table.empty());
      }
      ASSERT_EQ(bmp.rows.size(), static_cast<size_t>(bmp.height));
      for (int y = 0; y < bmp.height; ++y) {
        const auto* row = reinterpret_cast<const char*>(target.DisplayRow(y));
        ASSERT_EQ(bmp.rows[y], std::string(row, bmp.rows[y].size())) << "row " << y;
      }
    }
  }
  SetDisplay(0, 0, 0, 0);
}

}  // namespace
}  // namespace kconvert::test
