// What the conformance program's parts share: the exports it calls (linked,
// or resolved from the DLL), pictures with exact-size planes, the layouts,
// a digest, and threads (Win32 threads on Windows).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "common/output_layouts.h"
#include "kelmar.h"

namespace conformance {

using KelmarFn = decltype(&Kelmar);
using SetDisplayFn = decltype(&SetDisplay);
using DecGetPalFn = decltype(&DecGetPal);

struct Exports {
  KelmarFn kelmar;
  KelmarFn kelmarW;
  SetDisplayFn setDisplay;
  SetDisplayFn setDisplayW;
  DecGetPalFn decGetPal;
  DecGetPalFn decGetPalW;
};

// Counts a failed check and says what it was.
void Check(bool ok, const char* what);
int Failures();

uint64_t Fnv(const void* data, size_t size, uint64_t hash = 1469598103934665603ull);

class Rng {
 public:
  explicit Rng(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

// A 4:2:0 picture with exact-size planes; U and V in one block so they are a
// constant distance apart.  Rows run downward, or upward in memory.
struct Picture {
  Picture(int width, int height, bool upward, uint32_t seed);
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  int lumaStride = 0;
  int chromaStride = 0;
  std::vector<uint8_t> luma, chroma;
  std::vector<const uint8_t*> yRows, uRows, vRows;
  PlaneSet planes{};
};

struct Layout {
  const char* name;
  uint16_t bitCount;
  uint32_t compression;
  int bytesPerPixel;
  bool IsPacked() const {
    return compression == KELMAR_FOURCC_UYVY || compression == KELMAR_FOURCC_YUY2;
  }
};

// The six layouts of kelmar::kOutputLayouts first, then three the library
// refuses or draws nothing in.
extern const Layout kLayouts[9];
constexpr int kDrawnLayouts = 6;

// A header with room for the 8-bit palette behind it.
struct HeaderBlock {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};
HeaderBlock MakeHeader(const Layout& layout, int32_t width, int32_t height);

// Runs body(0) .. body(count - 1) on `count` threads at once and waits for
// all of them.
void RunThreads(int count, const std::function<void(int)>& body);

// The thread-safety stress: conversions on several threads while the display
// adjustments change, one picture split into bands across threads, and the
// rule that exactly one call sees each change.  Returns false on a failure.
bool RunThreadStress(const Exports& exports, int threads);

}  // namespace conformance
