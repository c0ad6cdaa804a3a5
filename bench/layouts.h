// The output layouts the benchmark measures, and the source picture they
// are converted from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelmar::bench {

enum class Layout { kRgb24, kRgb555, kRgb565, kPal8, kUyvy, kYuy2 };

struct LayoutInfo {
  Layout layout;
  const char* name;
  int bytesPerPixel;
  uint16_t bitCount;     // Kelmar header
  uint32_t compression;  // Kelmar header
};

const std::vector<LayoutInfo>& AllLayouts();
const LayoutInfo& InfoOf(Layout layout);

// A planar 4:2:0 picture in three contiguous planes, rows top to bottom.
struct SourcePicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, u, v;
  int yStride() const { return width; }
  int chromaStride() const { return width / 2; }
};

enum class Setting { kNeutral, kAdjusted };  // adjusted: brightness 2, contrast 3, saturation 2
enum class MapKind { kFull, kTenth, kEmpty };

const char* SettingName(Setting setting);

// Benchmark names, shared by the registration and the ratio table.  `path`
// is the forced code path, or nullptr for the automatic choice.
std::string KelmarName(Layout layout, int width, int height, Setting setting, MapKind map,
                       const char* path = nullptr);
std::string PeerName(const char* peer, Layout layout, int width, int height);
std::string MemcpyName(int bytesPerPixel, int width, int height);

// A smooth picture with some noise, the same for every converter.
const SourcePicture& PictureOfSize(int width, int height);

}  // namespace kelmar::bench
