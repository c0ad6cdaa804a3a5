// The 8-bit palette, its quantiser tables, DecGetPal() and the palette that
// Kelmar() writes behind an 8-bit header.
#include "tables/dither_palette.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "exports/display_state.h"
#include "tables/adjust_tables.h"
#include "test_support.h"

namespace kelmar {
namespace {

using test::GuardedBuffer;

struct Colour {
  int blue, green, red;
};

void ExpectEntry(const RGBQUAD& entry, const Colour& c, int index) {
  EXPECT_EQ(entry.rgbBlue, c.blue) << "entry " << index;
  EXPECT_EQ(entry.rgbGreen, c.green) << "entry " << index;
  EXPECT_EQ(entry.rgbRed, c.red) << "entry " << index;
  EXPECT_EQ(entry.rgbReserved, 0) << "entry " << index;
}

// The tables of one setting, built from storage full of leftovers: the
// build must clear what it does not fill.
struct Built {
  AdjustTables adjust;
  DitherTables dither;
};
std::unique_ptr<Built> BuildFor(int32_t brightness, int32_t contrast, int32_t saturation) {
  auto built = std::make_unique<Built>();
  std::memset(built.get(), 0xEE, sizeof(Built));
  BuildAdjustTables(brightness, contrast, saturation, built->adjust);
  BuildDitherTables(built->adjust, built->dither);
  return built;
}

TEST(DitherPalette, KnownEntries) {
  struct Case {
    int32_t brightness, saturation;
    int index;
    Colour colour;
  };
  const Case cases[] = {
      {0, 0, 16, {0, 81, 0}},
      {0, 0, 17, {0, 58, 9}},
      {0, 0, 20, {3, 70, 0}},
      {0, 0, 128, {58, 192, 76}},
      {0, 0, 239, {255, 188, 255}},
      {0, 10, 16, {0, 131, 0}},
      {0, 10, 239, {255, 137, 255}},
      {3, 0, 128, {88, 222, 106}},
      // No saturation: the grey of each luma level.
      {0, -10, 16, {31, 31, 31}},
      {0, -10, 31, {31, 31, 31}},
      {0, -10, 224, {238, 238, 238}},
      {0, -10, 239, {238, 238, 238}},
      {0, -10, 128, {142, 142, 142}},
  };
  for (const Case& c : cases) {
    const auto built = BuildFor(c.brightness, 0, c.saturation);
    ExpectEntry(built->dither.DitherPalette[c.index], c.colour, c.index);
  }
}

// Entry 16 ly + 4 lu + lv holds grid point y = 30 + 16 (ly - 1),
// u = 80 + 32 lu, v = 80 + 32 lv; everything off the grid is zero.
TEST(DitherPalette, EveryEntryHoldsItsGridPoint) {
  for (int32_t saturation : {0, -5, 10}) {
    const auto built = BuildFor(2, 3, saturation);
    const uint8_t* LumaTable = built->adjust.LumaTable();
    const ChromaTerms* UTable = built->adjust.UTable();
    const ChromaTerms* VTable = built->adjust.VTable();
    for (int index = 0; index < 256; ++index) {
      const int ly = index >> 4, lu = (index >> 2) & 3, lv = index & 3;
      Colour expected = {0, 0, 0};
      if (ly >= 1 && ly <= 14) {
        const int y = 30 + 16 * (ly - 1), u = 80 + 32 * lu, v = 80 + 32 * lv;
        expected = {LumaTable[y + UTable[u].other],
                    LumaTable[y + UTable[u].green + VTable[v].green],
                    LumaTable[y + VTable[v].other]};
      }
      ExpectEntry(built->dither.DitherPalette[index], expected, index);
    }
  }
}

// The quantiser tables as runs of equal values, whatever the adjustments.
TEST(DitherPalette, QuantiserRunsAndDitherOffsets) {
  for (int32_t saturation : {0, -10, 10}) {
    const auto built = BuildFor(3, -7, saturation);
    const DitherTables& t = built->dither;
    for (int i = 0; i < kQuantTableSize; ++i) {
      const int yLevel = i <= 45 ? 1 : i >= 238 ? 14 : 2 + (i - 46) / 16;
      const int cLevel = i <= 111 ? 0 : i >= 176 ? 3 : 1 + (i - 112) / 32;
      ASSERT_EQ(t.YQuantTable[i], 16 * yLevel) << i;
      ASSERT_EQ(t.UQuantTable[i], 4 * cLevel) << i;
      ASSERT_EQ(t.VQuantTable[i], cLevel) << i;
    }
    for (int k = 0; k < 16; ++k) ASSERT_EQ(t.DitherMatrix[k], 2 * BayerMatrix[k]) << k;
    EXPECT_EQ(t.YQuantTable[45], 16);
    EXPECT_EQ(t.YQuantTable[46], 32);
    EXPECT_EQ(t.YQuantTable[237], 208);
    EXPECT_EQ(t.YQuantTable[289], 224);
    EXPECT_EQ(t.UQuantTable[111], 0);
    EXPECT_EQ(t.UQuantTable[112], 4);
  }
}

TEST(DecGetPal, CopiesAtMost256Entries) {
  struct Case {
    uint32_t count;
    int32_t copied;
  };
  const Case cases[] = {{0, 0},     {1, 1},     {16, 16},           {255, 255},
                        {256, 256}, {300, 256}, {0x80000000u, 256}, {0xFFFFFFFFu, 256}};
  SetDisplay(0, 0, 0, 0);
  const auto built = BuildFor(0, 0, 0);
  for (const Case& c : cases) {
    GuardedBuffer out(300 * sizeof(RGBQUAD));
    auto* palette = reinterpret_cast<RGBQUAD*>(out.data());
    ASSERT_EQ(DecGetPal(palette, c.count, 0), c.copied) << c.count;
    EXPECT_EQ(std::memcmp(palette, built->dither.DitherPalette, c.copied * sizeof(RGBQUAD)), 0)
        << c.count;
    const std::vector<uint8_t> bytes = out.Payload();
    for (size_t b = c.copied * sizeof(RGBQUAD); b < bytes.size(); ++b)
      ASSERT_EQ(bytes[b], 0xA5) << "count " << c.count << " byte " << b;
    EXPECT_TRUE(out.GuardsIntact());
  }
  // The first 16 entries are off the grid.
  RGBQUAD first[16];
  std::memset(first, 0x77, sizeof(first));
  ASSERT_EQ(DecGetPalW(first, 16, 0), 16);
  for (int i = 0; i < 16; ++i) ExpectEntry(first[i], {0, 0, 0}, i);
}

// The palette follows the adjustments as they stand at each call.
TEST(DecGetPal, FollowsEverySetting) {
  for (const DisplayValues& a : {DisplayValues{3, 0, 0, 0}, DisplayValues{-2, 5, 4, 9},
                                 DisplayValues{0, 0, 10, 0}, DisplayValues{3, 0, 0, 0}}) {
    SetDisplay(a.brightness, a.contrast, a.saturation, a.balance);
    EXPECT_EQ(DecGetPal(nullptr, 0, 12345), 0);
    RGBQUAD palette[256];
    ASSERT_EQ(DecGetPal(palette, 256, 0), 256);
    const auto built = BuildFor(a.brightness, a.contrast, a.saturation);
    EXPECT_EQ(std::memcmp(palette, built->dither.DitherPalette, sizeof(palette)), 0)
        << a.brightness << " " << a.contrast << " " << a.saturation;
  }
  RGBQUAD entry[129];
  ASSERT_EQ(DecGetPal(entry, 129, 0), 129);
  ExpectEntry(entry[128], {88, 222, 106}, 128);
  SetDisplay(0, 0, 0, 0);
}

TEST(DecGetPal, BothNamesGiveTheSamePalette) {
  SetDisplay(-2, 5, 4, 9);
  RGBQUAD a[256], b[256];
  ASSERT_EQ(DecGetPal(a, 256, 0), 256);
  ASSERT_EQ(DecGetPalW(b, 256, -1), 256);
  EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0);
  SetDisplay(0, 0, 0, 0);
}

// DecGetPal() must not consume a pending display change: the next Kelmar()
// call still redraws everything.
TEST(DecGetPal, LeavesChangeTestAndPathsAlone) {
  test::SetDisplayQuietly(0, 0, 0, 0);
  SetDisplay(1, 2, 3, 4);
  RGBQUAD palette[256];
  DecGetPal(palette, 256, 0);
  EXPECT_EQ(LoadLastDisplayAdjust(), (DisplayValues{0, 0, 0, 0}));

  test::HeaderWithPalette h = test::MakeHeader(32, 16, 8, BI_RGB);
  test::Picture picture = test::MakeFlatPicture(32, 16, 128, 128, 128);
  std::vector<uint8_t> map(2, 0);
  std::vector<uint8_t> out(32 * 16, 0);
  ASSERT_EQ(Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, 0), 0);
  EXPECT_EQ(map, std::vector<uint8_t>(2, 1));
  EXPECT_EQ(std::memcmp(h.colors, palette, sizeof(palette)), 0);
}

// Kelmar() writes the palette where biSize says the colour table starts,
// sets biClrUsed and biClrImportant, also for 8-bit layouts it then refuses.
TEST(KelmarPalette, WrittenBehindEightBitHeaders) {
  struct Case {
    uint32_t compression;
    uint32_t headerSize;
    int32_t result;
  };
  const Case cases[] = {
      {BI_RGB, sizeof(BITMAPINFOHEADER), 0},
      {BI_RGB, sizeof(BITMAPINFOHEADER) + 12, 0},
      {BI_BITFIELDS, sizeof(BITMAPINFOHEADER), -1},
      {BI_BITFIELDS, sizeof(BITMAPINFOHEADER) + 12, -1},
      {7, sizeof(BITMAPINFOHEADER), -1},
  };
  test::SetDisplayQuietly(0, 0, 10, 0);
  RGBQUAD expected[256];
  ASSERT_EQ(DecGetPal(expected, 256, 0), 256);
  for (const Case& c : cases) {
    GuardedBuffer record(c.headerSize + sizeof(expected));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(record.data());
    const test::HeaderWithPalette h = test::MakeHeader(16, 16, 8, c.compression);
    std::memcpy(header, &h.header, sizeof(h.header));
    header->biSize = c.headerSize;
    header->biClrUsed = 17;
    header->biClrImportant = 99;
    test::Picture picture = test::MakePicture(16, 16, 5);
    uint8_t map = 1;
    std::vector<uint8_t> out(16 * 16);
    EXPECT_EQ(Kelmar(header, out.data(), &picture.planes, &map, 0, 0), c.result);
    EXPECT_EQ(header->biClrUsed, 256u);
    EXPECT_EQ(header->biClrImportant, 0u);
    EXPECT_EQ(std::memcmp(record.data() + c.headerSize, expected, sizeof(expected)), 0)
        << "compression " << c.compression << " biSize " << c.headerSize;
    // The bytes between the header and a later colour table are left alone.
    for (uint32_t b = sizeof(BITMAPINFOHEADER); b < c.headerSize; ++b)
      EXPECT_EQ(record.data()[b], 0xA5) << b;
    EXPECT_TRUE(record.GuardsIntact());
  }
}

// A colour table that starts inside a short header overwrites its fields
// with the palette's leading zero entries: the call answers for the
// compression it started with, and the bit count it then finds (0) draws
// nothing.
TEST(KelmarPalette, ColourTableInsideAShortHeader) {
  test::SetDisplayQuietly(0, 0, 0, 0);
  for (const auto& [compression, result] :
       {std::pair<uint32_t, int32_t>{BI_RGB, 0}, std::pair<uint32_t, int32_t>{BI_BITFIELDS, -1}}) {
    GuardedBuffer record(12 + 256 * sizeof(RGBQUAD));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(record.data());
    const test::HeaderWithPalette h = test::MakeHeader(16, 16, 8, compression);
    std::memcpy(header, &h.header, sizeof(h.header));
    header->biSize = 12;
    test::Picture picture = test::MakePicture(16, 16, 5);
    uint8_t map = 1;
    GuardedBuffer out(16 * 16);
    const std::vector<uint8_t> before = out.Payload();
    EXPECT_EQ(Kelmar(header, out.data(), &picture.planes, &map, 0, 0), result) << compression;
    EXPECT_EQ(out.Payload(), before) << compression;
    EXPECT_EQ(header->biBitCount, 0) << compression;
    EXPECT_TRUE(record.GuardsIntact());
  }
}

TEST(KelmarPalette, OtherBitCountsWriteNoPalette) {
  test::SetDisplayQuietly(0, 0, 0, 0);
  for (uint16_t bitCount : {16, 24, 32}) {
    test::HeaderWithPalette h = test::MakeHeader(16, 16, bitCount, BI_RGB);
    std::memset(h.colors, 0x33, sizeof(h.colors));
    h.header.biClrUsed = 17;
    test::Picture picture = test::MakePicture(16, 16, 1);
    uint8_t map = 0;
    std::vector<uint8_t> out(16 * 16 * 4);
    Kelmar(&h.header, out.data(), &picture.planes, &map, 0, 0);
    EXPECT_EQ(h.header.biClrUsed, 17u) << bitCount;
    EXPECT_EQ(h.colors[0].rgbBlue, 0x33) << bitCount;
    EXPECT_EQ(h.colors[255].rgbReserved, 0x33) << bitCount;
  }
}

}  // namespace
}  // namespace kelmar
