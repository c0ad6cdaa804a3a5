// The output layouts the benchmark measures, and the source picture they
// are converted from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/output_layouts.h"
#include "kelmar.h"

namespace kelmar::bench {

using Layout = OutputLayout;

// A planar 4:2:0 picture in three contiguous planes, rows top to bottom.
struct SourcePicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, u, v;
  int yStride() const { return width; }
  int chromaStride() const { return width / 2; }
};

enum class Setting { kNeutral, kAdjusted };  // adjusted: brightness 2, contrast 3, saturation 2

// The four display adjustments of a benchmark, with a name for tables.
struct DisplaySetting {
  const char* name;
  int32_t brightness, contrast, saturation, balance;
  void Apply(decltype(&SetDisplay) setDisplay = SetDisplay) const {
    setDisplay(brightness, contrast, saturation, balance);
  }
};
DisplaySetting ValuesOf(Setting setting);
const char* SettingName(Setting setting);

// Settings far from the common ones, each to be no slower than 1.3 x the
// common adjusted setting: steep and inverted contrast, ramps wider than
// 256 table entries, saturation and balance at their limits, int32 extremes.
const std::vector<DisplaySetting>& CliffSettings();

// Which macroblocks are marked: all, 10 % in runs of whole rows (a changed
// region), 10 % as every tenth macroblock on its own, or none.
enum class MapKind { kFull, kClustered, kScattered, kEmpty };
const char* MapName(MapKind map);
std::vector<uint8_t> MakeMap(size_t count, int mbCols, MapKind kind);

// Benchmark names, shared by the registration and the ratio tables.  `path`
// is the forced code path, or nullptr for the automatic choice.
std::string KelmarName(Layout layout, int width, int height, const char* setting, MapKind map,
                       const char* path = nullptr);
std::string KelmarName(Layout layout, int width, int height, Setting setting, MapKind map,
                       const char* path = nullptr);
std::string PeerName(const char* peer, Layout layout, int width, int height);
std::string MemcpyName(int bytesPerPixel, int width, int height);
constexpr char kProcessorTestName[] = "fixed/processor-test";

// A smooth picture with some noise, the same for every converter.
const SourcePicture& PictureOfSize(int width, int height);

// What a host hands the library for a picture: its row tables, top row
// first.  Not copyable: `planes` points into the tables.
struct HostPicture {
  explicit HostPicture(const SourcePicture& picture);
  HostPicture(const HostPicture&) = delete;
  HostPicture& operator=(const HostPicture&) = delete;
  std::vector<const uint8_t*> yRows, uRows, vRows;
  PlaneSet planes{};
};

// A header of `layout` with room for the 8-bit palette behind it.
struct HeaderWithPalette {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};
HeaderWithPalette MakeHeader(Layout layout, int width, int height);

}  // namespace kelmar::bench
