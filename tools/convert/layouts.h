// The output layouts and one layout's output as a host keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/output_layouts.h"
#include "kelmar.h"
#include "padded_picture.h"
#include "workers.h"

namespace kconvert {

using Layout = kelmar::OutputLayout;

constexpr Layout kAllLayouts[] = {Layout::kRgb24, Layout::kRgb555, Layout::kRgb565,
                                  Layout::kPal8,  Layout::kUyvy,   Layout::kYuy2};

const char* LayoutName(Layout layout);         // "rgb24", as on the command line
const char* LayoutDescription(Layout layout);  // a few words for labels
std::optional<Layout> ParseLayout(const std::string& name);
bool IsPacked(Layout layout);
int BitsPerPixel(Layout layout);

// A bitmap header with room behind it for what the library or the host puts
// there: the 8-bit palette, or the three colour masks of 5-6-5 output.
struct BitmapInfo {
  BITMAPINFOHEADER header;
  uint32_t colors[256];
};

// One layout's header, pixel buffer and macroblock map, kept from frame to
// frame so that unmarked macroblocks keep what an earlier frame drew there.
class LayoutTarget {
 public:
  LayoutTarget(Layout layout, int paddedWidth, int paddedHeight, bool zoom);

  // Converts the macroblocks that `map` marks (one byte per macroblock of
  // the padded picture).  With `bands`, the picture is split into that
  // pool's number of bands of macroblock rows, converted at once: only
  // while the display adjustments are the ones the previous call saw, or
  // the call that sees a change would mark and convert everything while
  // the other bands convert theirs.  At double size the library leaves
  // every second row to the host; it is filled with a copy of the row the
  // library drew.
  void Convert(const PaddedPicture& picture, const uint8_t* map, WorkerPool* bands = nullptr);

  // The number of calls the last Convert() made: 1, or its bands.
  int lastCalls() const { return lastCalls_; }

  Layout layout() const { return layout_; }
  int scale() const { return zoom_ ? 2 : 1; }
  const BitmapInfo& info() const { return info_; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }
  size_t rowBytes() const { return rowBytes_; }
  // The map of the last Convert() as the library left it: a change of
  // display adjustments makes it mark every macroblock.
  const std::vector<uint8_t>& map() const { return map_; }
  // The buffer row that shows row `y` of the picture counted from the top,
  // in output pixels (so 0 .. 2 x height - 1 at double size).
  const uint8_t* DisplayRow(int y) const;

 private:
  Layout layout_;
  bool zoom_;
  int bufferWidth_;
  int bufferHeight_;
  size_t rowBytes_;
  void CallLibrary(const PlaneSet& planes, BitmapInfo& info, uint8_t* map);

  BitmapInfo info_{};
  std::vector<uint8_t> pixels_;
  std::vector<uint8_t> map_;
  int lastCalls_ = 0;
};

}  // namespace kconvert
