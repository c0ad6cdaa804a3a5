// The layouts, settings and pictures of the benchmarks, and their names.
#include "layouts.h"

#include <algorithm>
#include <climits>
#include <map>
#include <random>

#include "kelmar.h"

namespace kelmar::bench {

DisplaySetting ValuesOf(Setting setting) {
  return setting == Setting::kNeutral ? DisplaySetting{"neutral", 0, 0, 0, 0}
                                      : DisplaySetting{"adjusted", 2, 3, 2, 0};
}

const char* SettingName(Setting setting) { return ValuesOf(setting).name; }

const std::vector<DisplaySetting>& CliffSettings() {
  static const std::vector<DisplaySetting> settings = {
      {"contrast 60", 0, 60, 0, 0},
      {"contrast 300", 1, 300, 2, 0},
      {"contrast -10 (wide ramp)", 0, -10, 0, 0},
      {"contrast -35 (wide ramp)", 2, -35, 3, 0},
      {"contrast -60 (inverted)", 0, -60, 0, 0},
      {"saturation 9", 0, 3, 9, 0},
      {"saturation -9", 0, 3, -9, 0},
      {"balance 100", 0, 3, 2, 100},
      {"brightness 20", 20, 3, 2, 0},
      {"int32 max", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
      {"int32 min", INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
      {"contrast int32 min", 0, INT32_MIN, 1, 0},
  };
  return settings;
}

const char* MapName(MapKind map) {
  switch (map) {
    case MapKind::kFull: return "full";
    case MapKind::kClustered: return "clustered";
    case MapKind::kScattered: return "scattered";
    case MapKind::kEmpty: return "empty";
  }
  return "?";
}

std::vector<uint8_t> MakeMap(size_t count, int mbCols, MapKind kind) {
  std::vector<uint8_t> map(count, kind == MapKind::kFull ? 1 : 0);
  const size_t tenth = (count + 5) / 10;
  if (kind == MapKind::kClustered) {
    // One changed region a third of the way down: whole macroblock rows, the
    // last one partly.
    const size_t first = static_cast<size_t>(mbCols) * (count / mbCols / 3);
    std::fill_n(map.begin() + first, std::min(tenth, count - first), uint8_t{1});
  } else if (kind == MapKind::kScattered) {
    for (size_t i = 0; i < count; i += 10) map[i] = 1;
  }
  return map;
}

namespace {

std::string SizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string KelmarName(Layout layout, int width, int height, const char* setting, MapKind map,
                       const char* path) {
  std::string name = std::string("kelmar/") + InfoOf(layout).name + "/" + SizeName(width, height) +
                     "/" + setting + "/" + MapName(map);
  if (path) name += std::string("/") + path;
  return name;
}

std::string KelmarName(Layout layout, int width, int height, Setting setting, MapKind map,
                       const char* path) {
  return KelmarName(layout, width, height, SettingName(setting), map, path);
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

HostPicture::HostPicture(const SourcePicture& picture) {
  for (int y = 0; y < picture.height; ++y)
    yRows.push_back(picture.y.data() + size_t(y) * picture.yStride());
  for (int y = 0; y < picture.height / 2; ++y) {
    uRows.push_back(picture.u.data() + size_t(y) * picture.chromaStride());
    vRows.push_back(picture.v.data() + size_t(y) * picture.chromaStride());
  }
  planes = {yRows.data(), uRows.data(), vRows.data()};
}

HeaderWithPalette MakeHeader(Layout layout, int width, int height) {
  HeaderWithPalette h{};
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  h.header.biWidth = width;
  h.header.biHeight = height;
  h.header.biPlanes = 1;
  h.header.biBitCount = InfoOf(layout).bitCount;
  h.header.biCompression = InfoOf(layout).compression;
  return h;
}

}  // namespace kelmar::bench
