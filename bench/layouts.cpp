// The layouts, settings and pictures of the benchmarks, and their names.
#include "layouts.h"

#include <algorithm>
#include <map>
#include <random>

#include "kelmar.h"

namespace kelmar::bench {

const std::vector<LayoutInfo>& AllLayouts() {
  static const std::vector<LayoutInfo> layouts = {
      {Layout::kRgb24, "rgb24", 3, 24, BI_RGB},
      {Layout::kRgb555, "rgb555", 2, 16, BI_RGB},
      {Layout::kRgb565, "rgb565", 2, 16, BI_BITFIELDS},
      {Layout::kPal8, "pal8", 1, 8, BI_RGB},
      {Layout::kUyvy, "uyvy", 2, 16, KELMAR_FOURCC_UYVY},
      {Layout::kYuy2, "yuy2", 2, 16, KELMAR_FOURCC_YUY2},
  };
  return layouts;
}

const LayoutInfo& InfoOf(Layout layout) {
  for (const LayoutInfo& info : AllLayouts())
    if (info.layout == layout) return info;
  return AllLayouts().front();
}

const char* SettingName(Setting setting) {
  return setting == Setting::kNeutral ? "neutral" : "adjusted";
}

namespace {

const char* MapName(MapKind map) {
  switch (map) {
    case MapKind::kFull: return "full";
    case MapKind::kTenth: return "10%";
    case MapKind::kEmpty: return "empty";
  }
  return "?";
}

std::string SizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string KelmarName(Layout layout, int width, int height, Setting setting, MapKind map,
                       const char* path) {
  std::string name = std::string("kelmar/") + InfoOf(layout).name + "/" + SizeName(width, height) +
                     "/" + SettingName(setting) + "/" + MapName(map);
  if (path) name += std::string("/") + path;
  return name;
}

std::string PeerName(const char* peer, Layout layout, int width, int height) {
  return std::string(peer) + "/" + InfoOf(layout).name + "/" + SizeName(width, height);
}

std::string MemcpyName(int bytesPerPixel, int width, int height) {
  return "memcpy/" + std::to_string(bytesPerPixel) + "B/" + SizeName(width, height);
}

const SourcePicture& PictureOfSize(int width, int height) {
  static std::map<std::pair<int, int>, SourcePicture> pictures;
  SourcePicture& p = pictures[{width, height}];
  if (p.width) return p;
  p.width = width;
  p.height = height;
  std::mt19937 noise(12345);
  auto sample = [&](int base, int x, int y, int spread) {
    const int v = base + (x * 3 + y * 2) % spread + static_cast<int>(noise() % 24) - 12;
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
  };
  p.y.resize(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.y[size_t(y) * width + x] = sample(16, x, y, 224);
  const int cw = width / 2;
  const int ch = height / 2;
  p.u.resize(size_t(cw) * ch);
  p.v.resize(size_t(cw) * ch);
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) {
      p.u[size_t(y) * cw + x] = sample(64, x, y, 128);
      p.v[size_t(y) * cw + x] = sample(64, y, x, 128);
    }
  }
  return p;
}

}  // namespace kelmar::bench
