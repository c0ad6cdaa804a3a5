#include "display_image.h"

#include <algorithm>
#include <cmath>

namespace kconvert {
namespace {

uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Expand6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

uint8_t ClampLevel(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

void PutYuv(uint8_t* out, int y, int u, int v) {
  out[0] = ClampLevel(y + 1.402 * (v - 128));
  out[1] = ClampLevel(y - 0.344136 * (u - 128) - 0.714136 * (v - 128));
  out[2] = ClampLevel(y + 1.772 * (u - 128));
}

void DecodeRow(const LayoutTarget& target, const uint8_t* row, int width, uint8_t* out) {
  // The palette behind the header: blue, green, red, reserved per entry.
  const uint8_t* palette = reinterpret_cast<const uint8_t*>(target.info().colors);
  for (int x = 0; x < width; ++x, out += 3) {
    switch (target.layout()) {
      case Layout::kRgb24:
        out[0] = row[3 * x + 2];
        out[1] = row[3 * x + 1];
        out[2] = row[3 * x];
        break;
      case Layout::kRgb555: {
        const unsigned p = row[2 * x] | row[2 * x + 1] << 8;
        out[0] = Expand5(p >> 10 & 31);
        out[1] = Expand5(p >> 5 & 31);
        out[2] = Expand5(p & 31);
        break;
      }
      case Layout::kRgb565: {
        const unsigned p = row[2 * x] | row[2 * x + 1] << 8;
        out[0] = Expand5(p >> 11);
        out[1] = Expand6(p >> 5 & 63);
        out[2] = Expand5(p & 31);
        break;
      }
      case Layout::kPal8: {
        const uint8_t* quad = palette + 4 * row[x];
        out[0] = quad[2];
        out[1] = quad[1];
        out[2] = quad[0];
        break;
      }
      case Layout::kUyvy: {
        const uint8_t* group = row + 4 * (x / 2);
        PutYuv(out, group[1 + 2 * (x % 2)], group[0], group[2]);
        break;
      }
      case Layout::kYuy2: {
        const uint8_t* group = row + 4 * (x / 2);
        PutYuv(out, group[2 * (x % 2)], group[1], group[3]);
        break;
      }
    }
  }
}

}  // namespace

int OutputWidth(const LayoutTarget& target, int width) {
  return IsPacked(target.layout()) ? (width + 1) / 2 * 2 : width * target.scale();
}

int OutputHeight(const LayoutTarget& target, int height) { return height * target.scale(); }

RgbImage DecodeForDisplay(const LayoutTarget& target, int width, int height) {
  RgbImage image(OutputWidth(target, width), OutputHeight(target, height));
  for (int y = 0; y < image.height; ++y) {
    DecodeRow(target, target.DisplayRow(y), image.width, image.at(0, y));
  }
  return image;
}

RgbImage Enlarge(const RgbImage& image, int factor) {
  RgbImage out(image.width * factor, image.height * factor);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      std::copy_n(image.at(x / factor, y / factor), 3, out.at(x, y));
    }
  }
  return out;
}

RgbImage Shrink(const RgbImage& image, int factor) {
  RgbImage out((image.width + factor - 1) / factor, (image.height + factor - 1) / factor);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      int sum[3] = {0, 0, 0}, n = 0;
      for (int sy = y * factor; sy < std::min(image.height, (y + 1) * factor); ++sy) {
        for (int sx = x * factor; sx < std::min(image.width, (x + 1) * factor); ++sx, ++n) {
          for (int c = 0; c < 3; ++c) sum[c] += image.at(sx, sy)[c];
        }
      }
      for (int c = 0; c < 3; ++c) out.at(x, y)[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
    }
  }
  return out;
}

}  // namespace kconvert
