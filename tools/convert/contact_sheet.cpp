#include "contact_sheet.h"

#include <algorithm>

#include "font.h"

namespace kconvert {
namespace {

constexpr int kMargin = 12;
constexpr int kColumns = 3;
constexpr uint8_t kBackground = 40;
constexpr uint8_t kFrameLevel = 128;
constexpr uint8_t kTextColour[3] = {235, 235, 235};

void Paste(RgbImage& sheet, const RgbImage& tile, int left, int top) {
  for (int y = 0; y < tile.height; ++y) {
    std::copy_n(tile.at(0, y), 3 * tile.width, sheet.at(left, top + y));
  }
}

// A one-pixel line around the tile, so black picture edges stay visible.
void DrawFrame(RgbImage& sheet, int left, int top, int width, int height) {
  for (int x = left - 1; x <= left + width; ++x) {
    std::fill_n(sheet.at(x, top - 1), 3, kFrameLevel);
    std::fill_n(sheet.at(x, top + height), 3, kFrameLevel);
  }
  for (int y = top - 1; y <= top + height; ++y) {
    std::fill_n(sheet.at(left - 1, y), 3, kFrameLevel);
    std::fill_n(sheet.at(left + width, y), 3, kFrameLevel);
  }
}

}  // namespace

RgbImage MakeContactSheet(const std::string& title, const std::vector<SheetTile>& tiles) {
  int cellWidth = 1, cellHeight = 1;
  size_t longestLabel = 0;
  for (const SheetTile& tile : tiles) {
    cellWidth = std::max(cellWidth, tile.image.width);
    cellHeight = std::max(cellHeight, tile.image.height);
    longestLabel = std::max(longestLabel, tile.label.size());
  }
  // Labels at double size when they fit over the pictures.
  const int scale = TextWidth(std::string(longestLabel, 'M'), 2) <= cellWidth ? 2 : 1;
  const int labelHeight = kGlyphHeight * scale + 6;
  const int columns = std::min<int>(kColumns, std::max<int>(1, static_cast<int>(tiles.size())));
  const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
  const int titleHeight = kGlyphHeight * 2 + kMargin;

  const int width =
      std::max(kMargin + columns * (cellWidth + kMargin), 2 * kMargin + TextWidth(title, 2));
  const int height = kMargin + titleHeight + rows * (labelHeight + cellHeight + kMargin);
  RgbImage sheet(width, height, kBackground);
  DrawText(sheet, kMargin, kMargin, title, 2, kTextColour);

  for (size_t i = 0; i < tiles.size(); ++i) {
    const int left = kMargin + static_cast<int>(i % columns) * (cellWidth + kMargin);
    const int top = kMargin + titleHeight +
                    static_cast<int>(i / columns) * (labelHeight + cellHeight + kMargin);
    DrawText(sheet, left, top, tiles[i].label, scale, kTextColour);
    const RgbImage& image = tiles[i].image;
    Paste(sheet, image, left, top + labelHeight);
    DrawFrame(sheet, left, top + labelHeight, image.width, image.height);
  }
  return sheet;
}

}  // namespace kconvert
