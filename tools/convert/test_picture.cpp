#include "test_picture.h"

#include <algorithm>
#include <cmath>

namespace kconvert {
namespace {

struct Yuv {
  double y, u, v;
};

// Full-range BT.601, the inverse of what the library applies.
Yuv FromRgb(double r, double g, double b) {
  return {0.299 * r + 0.587 * g + 0.114 * b, 128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
          128 + 0.5 * r - 0.418688 * g - 0.081312 * b};
}

Yuv Grey(double level) { return {level, 128, 128}; }

// Hue 0..1 at full saturation and value.
Yuv FromHue(double hue) {
  const double h = 6 * (hue - std::floor(hue));
  const int sector = static_cast<int>(h) % 6;
  const double f = h - std::floor(h);
  const double up = 255 * f, down = 255 * (1 - f);
  switch (sector) {
    case 0: return FromRgb(255, up, 0);
    case 1: return FromRgb(down, 255, 0);
    case 2: return FromRgb(0, 255, up);
    case 3: return FromRgb(0, down, 255);
    case 4: return FromRgb(up, 0, 255);
    default: return FromRgb(255, 0, down);
  }
}

// White, yellow, cyan, green, magenta, red, blue, black at `level`.
Yuv Bar(int index, double level) {
  static constexpr bool kOn[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                     {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
  const bool* on = kOn[index];
  return FromRgb(on[0] ? level : 0, on[1] ? level : 0, on[2] ? level : 0);
}

Yuv FineDetail(double fx, double fy, int x, int y, int width, int height) {
  const int panel = std::min(3, static_cast<int>(fx * 4));
  switch (panel) {
    case 0: return Grey(((x / (fy < 0.5 ? 1 : 2)) % 2) ? 255 : 0);    // 1- and 2-pixel columns
    case 1: return Grey(((y / (fx < 0.375 ? 1 : 2)) % 2) ? 255 : 0);  // 1- and 2-pixel rows
    case 2:  // red and green 1-pixel checks: chroma that 4:2:0 cannot hold
      return ((x + y) % 2) ? FromRgb(255, 0, 0) : FromRgb(0, 255, 0);
    default: {  // a zone plate: every spatial frequency up to the sample rate
      const double cx = x - 0.875 * width, cy = y - 0.85 * height;
      const double scale = 3.14159265358979 / std::max(width / 4, 1);
      return Grey(127.5 + 127.5 * std::cos((cx * cx + cy * cy) * scale * 0.5));
    }
  }
}

Yuv PixelAt(int x, int y, int width, int height) {
  const double fx = (x + 0.5) / width;
  const double fy = (y + 0.5) / height;
  if (fy < 0.30) {  // 100% bars over 75% bars
    return Bar(std::min(7, static_cast<int>(fx * 8)), fy < 0.20 ? 255 : 191);
  }
  if (fy < 0.45) {  // a smooth ramp over 16 steps
    if (fy < 0.375) return Grey(255 * fx);
    return Grey(std::min(15, static_cast<int>(fx * 16)) * 17);
  }
  if (fy < 0.70) {
    if (fy < 0.575) return FromHue(fx);
    // The whole chroma square at mid grey: U across, V down.
    return {128, 255 * fx, 255 * (fy - 0.575) / 0.125};
  }
  return FineDetail(fx, (fy - 0.70) / 0.30, x, y, width, height);
}

uint8_t ToSample(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

Frame MakeTestPicture(int width, int height) {
  Frame frame;
  frame.Resize(width, height);
  std::vector<Yuv> full(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Yuv p = PixelAt(x, y, width, height);
      full[static_cast<size_t>(y) * width + x] = p;
      frame.y[static_cast<size_t>(y) * width + x] = ToSample(p.y);
    }
  }
  // Chroma is the mean of the (up to) four pixels each sample covers.
  const int cw = frame.chromaWidth();
  for (int cy = 0; cy < frame.chromaHeight(); ++cy) {
    for (int cx = 0; cx < cw; ++cx) {
      double u = 0, v = 0;
      int n = 0;
      for (int y = 2 * cy; y < std::min(2 * cy + 2, height); ++y) {
        for (int x = 2 * cx; x < std::min(2 * cx + 2, width); ++x) {
          u += full[static_cast<size_t>(y) * width + x].u;
          v += full[static_cast<size_t>(y) * width + x].v;
          ++n;
        }
      }
      frame.u[static_cast<size_t>(cy) * cw + cx] = ToSample(u / n);
      frame.v[static_cast<size_t>(cy) * cw + cx] = ToSample(v / n);
    }
  }
  return frame;
}

}  // namespace kconvert
