// libyuv and libswscale doing the conversions Kelmar does, on the same
// picture, for the ratio table.
#include "peers.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "libyuv_calls.h"
#include "newest_libyuv.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace kelmar::bench {

bool LibyuvConverts(Layout layout) { return layout != Layout::kPal8; }

namespace {

LibyuvOutput LibyuvOutputOf(Layout layout) {
  switch (layout) {
    case Layout::kRgb24: return LibyuvOutput::kRgb24;
    case Layout::kRgb555: return LibyuvOutput::kRgb555;
    case Layout::kRgb565: return LibyuvOutput::kRgb565;
    case Layout::kUyvy: return LibyuvOutput::kUyvy;
    case Layout::kYuy2: return LibyuvOutput::kYuy2;
    case Layout::kPal8: break;  // not asked: LibyuvConverts()
  }
  return LibyuvOutput::kRgb24;
}

LibyuvLevel LibyuvLevelOf(CodePath path) {
  switch (path) {
    case CodePath::kInteger:
    case CodePath::kMmx: return LibyuvLevel::kPlainC;
    case CodePath::kSse2: return LibyuvLevel::kSse2;
    case CodePath::kSsse3: return LibyuvLevel::kSsse3;
    case CodePath::kAvx2: return LibyuvLevel::kAvx2;
    case CodePath::kAvx512:
    case CodePath::kNeon: break;
  }
  return LibyuvLevel::kEverything;
}

// The entry points of the newest libyuv's shared object; null when the
// build made none.
struct NewestLibyuv {
  KelmarBenchLibyuvCap cap = nullptr;
  KelmarBenchLibyuvConvert convert = nullptr;
};

const NewestLibyuv& LoadNewestLibyuv() {
  static const NewestLibyuv loaded = [] {
    NewestLibyuv newest;
#ifdef KELMAR_NEWEST_LIBYUV_PATH
    void* object = dlopen(KELMAR_NEWEST_LIBYUV_PATH, RTLD_NOW | RTLD_LOCAL);
    if (object == nullptr) {
      std::fprintf(stderr, "kelmar_bench: without the newest libyuv: %s\n", dlerror());
      return newest;
    }
    newest.cap = reinterpret_cast<KelmarBenchLibyuvCap>(dlsym(object, KELMAR_BENCH_LIBYUV_CAP));
    newest.convert =
        reinterpret_cast<KelmarBenchLibyuvConvert>(dlsym(object, KELMAR_BENCH_LIBYUV_CONVERT));
    if (newest.cap == nullptr || newest.convert == nullptr) newest = NewestLibyuv();
#endif
    return newest;
  }();
  return loaded;
}

}  // namespace

bool HaveLibyuv(Libyuv which) {
  return which == Libyuv::kDistribution || LoadNewestLibyuv().convert != nullptr;
}

const char* LibyuvName(Libyuv which) {
#ifdef KELMAR_NEWEST_LIBYUV_VERSION
  if (which == Libyuv::kNewest) return "libyuv-" KELMAR_NEWEST_LIBYUV_VERSION;
#endif
  return which == Libyuv::kDistribution ? "libyuv" : "libyuv-newest";
}

void ConvertWithLibyuv(Libyuv which, Layout layout, const SourcePicture& p, uint8_t* dst) {
  const LibyuvOutput output = LibyuvOutputOf(layout);
  const int rowBytes = p.width * InfoOf(layout).bytesPerPixel;
  if (which == Libyuv::kNewest)
    LoadNewestLibyuv().convert(static_cast<int32_t>(output), p.y.data(), p.yStride(), p.u.data(),
                               p.v.data(), p.chromaStride(), dst, rowBytes, p.width, p.height);
  else
    ConvertWithThisLibyuv(output, p.y.data(), p.yStride(), p.u.data(), p.v.data(), p.chromaStride(),
                          dst, rowBytes, p.width, p.height);
}

void CapLibyuv(CodePath path) {
  const LibyuvLevel level = LibyuvLevelOf(path);
  CapThisLibyuv(level);
  if (HaveLibyuv(Libyuv::kNewest)) LoadNewestLibyuv().cap(static_cast<int32_t>(level));
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
