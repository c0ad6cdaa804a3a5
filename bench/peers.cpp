// libyuv and libswscale doing the conversions Kelmar does, on the same
// picture, for the ratio table.
#include "peers.h"

#include <cstdio>
#include <cstdlib>

#include "libyuv.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace kelmar::bench {

bool LibyuvConverts(Layout layout) { return layout != Layout::kPal8; }

void ConvertWithLibyuv(Layout layout, const SourcePicture& p, uint8_t* dst) {
  const int w = p.width;
  const int h = p.height;
  const int ys = p.yStride();
  const int cs = p.chromaStride();
  const int rowBytes = w * InfoOf(layout).bytesPerPixel;
  switch (layout) {
    case Layout::kRgb24:
      libyuv::I420ToRGB24Matrix(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes,
                                &libyuv::kYuvJPEGConstants, w, h);
      break;
    case Layout::kRgb555:
      // Debian's libyuv has no matrix form of this one: limited-range BT.601.
      libyuv::I420ToARGB1555(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      break;
    case Layout::kRgb565:
      libyuv::I420ToRGB565Matrix(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes,
                                 &libyuv::kYuvJPEGConstants, w, h);
      break;
    case Layout::kUyvy:
      libyuv::I420ToUYVY(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      break;
    case Layout::kYuy2:
      libyuv::I420ToYUY2(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      break;
    case Layout::kPal8: break;
  }
}

namespace {

AVPixelFormat SwscaleFormat(Layout layout) {
  switch (layout) {
    case Layout::kRgb24: return AV_PIX_FMT_BGR24;
    case Layout::kRgb555: return AV_PIX_FMT_RGB555LE;
    case Layout::kRgb565: return AV_PIX_FMT_RGB565LE;
    case Layout::kPal8: return AV_PIX_FMT_BGR8;
    case Layout::kUyvy: return AV_PIX_FMT_UYVY422;
    case Layout::kYuy2: return AV_PIX_FMT_YUYV422;
  }
  return AV_PIX_FMT_NONE;
}

}  // namespace

SwscaleConverter::SwscaleConverter(Layout layout, int width, int height)
    : rowBytes_(width * InfoOf(layout).bytesPerPixel) {
  context_ = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, SwscaleFormat(layout),
                            SWS_POINT, nullptr, nullptr, nullptr);
  if (!context_) {
    std::fprintf(stderr, "libswscale has no conversion to %s\n", InfoOf(layout).name);
    std::abort();
  }
  // Full-range BT.601 source, as Kelmar's tables assume.
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(context_, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
}

SwscaleConverter::~SwscaleConverter() { sws_freeContext(context_); }

void SwscaleConverter::Convert(const SourcePicture& p, uint8_t* dst) {
  const uint8_t* const src[4] = {p.y.data(), p.u.data(), p.v.data(), nullptr};
  const int srcStride[4] = {p.yStride(), p.chromaStride(), p.chromaStride(), 0};
  uint8_t* const out[4] = {dst, palette_, nullptr, nullptr};
  const int outStride[4] = {rowBytes_, 0, 0, 0};
  sws_scale(context_, src, srcStride, 0, p.height, out, outStride);
}

}  // namespace kelmar::bench
