// The conversions of the ratio table done by libyuv, and its cap on the
// instruction sets it may use.  Compiled against whichever libyuv.h is on
// the include path: in peers.cpp the distribution's, in newest_libyuv.cpp
// the newest release's.  Their flag values differ, so each build of this
// file turns a LibyuvLevel into its own libyuv's mask.
#pragma once

#include <cstdint>

#include "libyuv.h"

namespace kelmar::bench {

// The widest instruction set libyuv may use, to match a forced path:
// kPlainC is its portable rows only, kEverything what it finds.
enum class LibyuvLevel : int32_t { kPlainC, kSse2, kSsse3, kAvx2, kEverything };

// The output layouts libyuv is asked for, in the order of bench::Layout.
enum class LibyuvOutput : int32_t { kRgb24, kRgb555, kRgb565, kUyvy, kYuy2 };

namespace {

inline int LibyuvMask(LibyuvLevel level) {
  using namespace libyuv;
  const int sse2 = kCpuInitialized | kCpuHasX86 | kCpuHasSSE2;
  const int ssse3 = sse2 | kCpuHasSSSE3;
  const int avx2 = ssse3 | kCpuHasSSE41 | kCpuHasSSE42 | kCpuHasAVX | kCpuHasAVX2 | kCpuHasERMS |
                   kCpuHasFMA3 | kCpuHasF16C;
  switch (level) {
    case LibyuvLevel::kPlainC: return kCpuInitialized;
    case LibyuvLevel::kSse2: return sse2;
    case LibyuvLevel::kSsse3: return ssse3;
    case LibyuvLevel::kAvx2: return avx2;
    case LibyuvLevel::kEverything: break;
  }
  return -1;
}

inline void CapThisLibyuv(LibyuvLevel level) { libyuv::MaskCpuFlags(LibyuvMask(level)); }

// Full-range BT.601 where libyuv has a matrix form of the conversion.
inline void ConvertWithThisLibyuv(LibyuvOutput output, const uint8_t* y, int yStride,
                                  const uint8_t* u, const uint8_t* v, int chromaStride,
                                  uint8_t* dst, int rowBytes, int width, int height) {
  switch (output) {
    case LibyuvOutput::kRgb24:
      libyuv::I420ToRGB24Matrix(y, yStride, u, chromaStride, v, chromaStride, dst, rowBytes,
                                &libyuv::kYuvJPEGConstants, width, height);
      break;
    case LibyuvOutput::kRgb555:
      // The distribution's libyuv has no matrix form of this one:
      // limited-range BT.601 in both, for the same work.
      libyuv::I420ToARGB1555(y, yStride, u, chromaStride, v, chromaStride, dst, rowBytes, width,
                             height);
      break;
    case LibyuvOutput::kRgb565:
      libyuv::I420ToRGB565Matrix(y, yStride, u, chromaStride, v, chromaStride, dst, rowBytes,
                                 &libyuv::kYuvJPEGConstants, width, height);
      break;
    case LibyuvOutput::kUyvy:
      libyuv::I420ToUYVY(y, yStride, u, chromaStride, v, chromaStride, dst, rowBytes, width,
                         height);
      break;
    case LibyuvOutput::kYuy2:
      libyuv::I420ToYUY2(y, yStride, u, chromaStride, v, chromaStride, dst, rowBytes, width,
                         height);
      break;
  }
}

}  // namespace
}  // namespace kelmar::bench
