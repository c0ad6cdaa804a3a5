// Processor feature tests and the choice of code paths for one call.
#pragma once

#include "exports/state.h"

namespace kelmar {

// The flags-register ID test followed by CPUID leaf 1, EDX bit 23.  Always 0
// on processors that are not x86.
int32_t ProcessorHasMmx();

// Widest of SSE2 / AVX2 that both the processor and the operating system
// support.
WideSimd ProcessorWideSimd();

// Sets UseMmx and WideLevel for the call about to run, honouring the limit.
void SelectPaths();

// Caps the paths that SelectPaths() picks, so tests can run every path the
// machine has.  Not exported from the shared library.
enum class PathLimit : int32_t { kAuto, kInteger, kMmx, kSse2, kAvx2 };
void SetPathLimit(PathLimit limit);

}  // namespace kelmar
