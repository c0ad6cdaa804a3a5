// The same conversions done by libyuv and libswscale.
#pragma once

#include <cstdint>

#include "layouts.h"

struct SwsContext;

namespace kelmar::bench {

// libyuv has no conversion to the 8-bit palettised layout.
bool LibyuvConverts(Layout layout);
void ConvertWithLibyuv(Layout layout, const SourcePicture& picture, uint8_t* dst);

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
