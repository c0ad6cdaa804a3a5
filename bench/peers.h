// The same conversions done by libyuv and libswscale.
#pragma once

#include <cstdint>

#include "common/cpu.h"
#include "layouts.h"

struct SwsContext;

namespace kelmar::bench {

// libyuv has no conversion to the 8-bit palettised layout.
bool LibyuvConverts(Layout layout);

// The distribution's libyuv, linked, and the newest release, loaded from the
// shared object the build makes of it when its archive was there.
enum class Libyuv { kDistribution, kNewest };
bool HaveLibyuv(Libyuv which);
// The contender's name in benchmark names and tables: "libyuv" for the
// distribution's, "libyuv-" and the release number for the newest.
const char* LibyuvName(Libyuv which);
void ConvertWithLibyuv(Libyuv which, Layout layout, const SourcePicture& picture, uint8_t* dst);
// Caps every libyuv to the instruction sets of `path`, as a processor that
// has no wider ones would run it.
void CapLibyuv(CodePath path);

// Full-range 4:2:0 to the layout's libswscale format, point sampling.
class SwscaleConverter {
 public:
  SwscaleConverter(Layout layout, int width, int height);
  ~SwscaleConverter();
  SwscaleConverter(const SwscaleConverter&) = delete;
  SwscaleConverter& operator=(const SwscaleConverter&) = delete;
  void Convert(const SourcePicture& picture, uint8_t* dst);

 private:
  SwsContext* context_ = nullptr;
  int rowBytes_ = 0;
  uint8_t palette_[1024] = {};  // second plane of 8-bit formats
};

}  // namespace kelmar::bench
