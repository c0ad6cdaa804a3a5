// Converts one 1280 x 720 picture with a full map a given number of times,
// with Kelmar or (built with KELMAR_COUNT_LIBYUV) libyuv, for counting the
// instructions of a conversion under an instruction-counting emulator
// (scripts/bench-aarch64.sh).  One conversion runs before the counted ones,
// so two runs that differ only in `count` differ only in conversions: the
// tables, the picture and the start-up are the same in both.  With --zoom
// Kelmar writes the 1280 x 720 output at double size, from a 640 x 360
// picture.
//
//   count_conversions [--zoom] kelmar|libyuv LAYOUT neutral|adjusted COUNT [PATH]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelmar.h"
#include "layouts.h"

#if defined(KELMAR_COUNT_LIBYUV)
#include "libyuv.h"
#endif

#if defined(KELMAR_COUNT_PATHS)
#include "common/cpu.h"
#endif

namespace kelmar::bench {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

bool LayoutNamed(const std::string& name, Layout* layout) {
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    if (name == info.name) {
      *layout = info.layout;
      return true;
    }
  }
  return false;
}

#if defined(KELMAR_COUNT_LIBYUV)
// The libyuv conversion the benchmark compares each layout with; false for
// 8-bit output, which libyuv does not make.
bool ConvertWithLibyuv(Layout layout, const SourcePicture& p, uint8_t* dst) {
  const int w = p.width, h = p.height, ys = p.yStride(), cs = p.chromaStride();
  const int rowBytes = w * InfoOf(layout).bytesPerPixel;
  switch (layout) {
    case Layout::kRgb24:
      libyuv::I420ToRGB24Matrix(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes,
                                &libyuv::kYuvJPEGConstants, w, h);
      return true;
    case Layout::kRgb555:
      libyuv::I420ToARGB1555(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      return true;
    case Layout::kRgb565:
      libyuv::I420ToRGB565Matrix(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes,
                                 &libyuv::kYuvJPEGConstants, w, h);
      return true;
    case Layout::kUyvy:
      libyuv::I420ToUYVY(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      return true;
    case Layout::kYuy2:
      libyuv::I420ToYUY2(p.y.data(), ys, p.u.data(), cs, p.v.data(), cs, dst, rowBytes, w, h);
      return true;
    case Layout::kPal8: break;
  }
  return false;
}
#endif

int Run(int argc, char** argv) {
  const int32_t zoom = argc > 1 && std::strcmp(argv[1], "--zoom") == 0;
  argc -= zoom;
  argv += zoom;
  Layout layout = Layout::kRgb24;
  if (argc < 5 || !LayoutNamed(argv[2], &layout)) {
    std::fprintf(stderr,
                 "usage: count_conversions [--zoom] kelmar|libyuv LAYOUT neutral|adjusted COUNT "
                 "[PATH]\n");
    return 2;
  }
  const std::string converter = argv[1];
  const Setting setting =
      std::strcmp(argv[3], "adjusted") == 0 ? Setting::kAdjusted : Setting::kNeutral;
  const int count = std::atoi(argv[4]);
#if defined(KELMAR_COUNT_PATHS)
  if (argc > 5) {
    CodePath path;
    if (!CodePathNamed(argv[5], &path) || !ProcessorRuns(path)) {
      std::fprintf(stderr, "count_conversions: no path '%s' here\n", argv[5]);
      return 2;
    }
    SetPathLimit(path);
  }
#endif
  const SourcePicture& picture = PictureOfSize(kWidth >> zoom, kHeight >> zoom);
  const OutputLayoutInfo& info = InfoOf(layout);
  std::vector<uint8_t> out(size_t{kWidth} * kHeight * info.bytesPerPixel);
  if (converter == "kelmar") {
    HostPicture host(picture);
    HeaderWithPalette header = MakeHeader(layout, kWidth, kHeight);
    std::vector<uint8_t> map =
        MakeMap(size_t{kWidth / 16} * (kHeight / 16), kWidth / 16, MapKind::kFull);
    ValuesOf(setting).Apply();
    for (int i = 0; i <= count; ++i) {
      if (Kelmar(&header.header, out.data(), &host.planes, map.data(), 0, zoom) != 0) {
        std::fprintf(stderr, "count_conversions: the conversion failed\n");
        return 1;
      }
    }
  } else {
#if defined(KELMAR_COUNT_LIBYUV)
    for (int i = 0; i <= count; ++i)
      if (!ConvertWithLibyuv(layout, picture, out.data())) return 3;
#else
    std::fprintf(stderr, "count_conversions: built without libyuv\n");
    return 3;
#endif
  }
  // Keep the output observable.
  unsigned sum = 0;
  for (size_t i = 0; i < out.size(); i += 4099) sum += out[i];
  std::printf("%u\n", sum);
  return 0;
}

}  // namespace
}  // namespace kelmar::bench

int main(int argc, char** argv) { return kelmar::bench::Run(argc, argv); }
