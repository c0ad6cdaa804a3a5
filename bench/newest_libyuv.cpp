// The newest libyuv, linked statically into a shared object that exports
// only these two functions: its own libyuv symbols stay local, so they do
// not meet the distribution's libyuv that the benchmark links.
#include "newest_libyuv.h"

#include "libyuv_calls.h"

extern "C" __attribute__((visibility("default"))) void kelmar_bench_libyuv_cap(int32_t level) {
  kelmar::bench::CapThisLibyuv(static_cast<kelmar::bench::LibyuvLevel>(level));
}

extern "C" __attribute__((visibility("default"))) void kelmar_bench_libyuv_convert(
    int32_t output, const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v,
    int chromaStride, uint8_t* dst, int rowBytes, int width, int height) {
  kelmar::bench::ConvertWithThisLibyuv(static_cast<kelmar::bench::LibyuvOutput>(output), y, yStride,
                                       u, v, chromaStride, dst, rowBytes, width, height);
}
