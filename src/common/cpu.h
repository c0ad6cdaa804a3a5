// The processor test and the code paths one call follows.
#pragma once

#include <cstdint>

namespace kelmar {

// Widest vector extension the row converters may use, on top of the MMX /
// integer paths.  Every level writes the same bytes.  kAvx512 stands for
// AVX-512 F, BW, VL and VBMI together (byte permutes across 64 bytes).
enum class WideSimd : int32_t { kNone = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

// Chosen once at the start of a call; every converter follows it.
struct ConvertPlan {
  bool mmx;       // the processor reports MMX: MMX block moves
  WideSimd wide;  // vector row converters up to this extension
};

// The flags-register ID test followed by CPUID leaf 1, EDX bit 23.  Always 0
// on processors that are not x86.
int32_t ProcessorHasMmx();

// Widest of SSE2 / AVX2 / AVX-512 that both the processor and the operating
// system support (CPUID, and XGETBV for the YMM and ZMM state).
WideSimd ProcessorWideSimd();

// The plan of a Kelmar() call: the MMX test runs on every call; the wide
// extensions are probed once per process.  Honours the path limit below.
ConvertPlan ChooseConvertPlan();

// Caps the paths that ChooseConvertPlan() picks, so tests can run every
// path the machine has.  Not exported from the shared library or the DLL.
enum class PathLimit : int32_t { kAuto, kInteger, kMmx, kSse2, kAvx2, kAvx512 };
void SetPathLimit(PathLimit limit);

}  // namespace kelmar
