// The entry points of the shared object that holds the newest libyuv
// (newest_libyuv.cpp).  The benchmark loads it with dlopen, so that it and
// the distribution's libyuv, whose symbols have the same names, can both be
// measured in one process.
#pragma once

#include <cstdint>

extern "C" {
// LibyuvLevel and LibyuvOutput of libyuv_calls.h, as integers.
typedef void (*KelmarBenchLibyuvCap)(int32_t level);
typedef void (*KelmarBenchLibyuvConvert)(int32_t output, const uint8_t* y, int yStride,
                                         const uint8_t* u, const uint8_t* v, int chromaStride,
                                         uint8_t* dst, int rowBytes, int width, int height);
}

#define KELMAR_BENCH_LIBYUV_CAP "kelmar_bench_libyuv_cap"
#define KELMAR_BENCH_LIBYUV_CONVERT "kelmar_bench_libyuv_convert"
