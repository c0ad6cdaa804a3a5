// The processor test and the code paths one call follows.
#pragma once

#include <cstdint>

namespace kelmar {

// The code paths, narrowest first.  Every path writes the same bytes; a
// call runs each kernel on the widest path its plan allows that has one.
// kAvx512 stands for AVX-512 F, BW, VL and VBMI together (byte permutes
// across 64 bytes).  kNeon is AArch64 Advanced SIMD, which every aarch64
// processor has; it comes last so that the x86 paths keep their numbers (the
// 32-bit DLL's test export takes a path by its number).  A processor runs
// either the x86 paths or kNeon, never both.
enum class CodePath : int32_t { kInteger, kMmx, kSse2, kSsse3, kAvx2, kAvx512, kNeon };
constexpr int kCodePathCount = 7;
constexpr CodePath kWidestCodePath = CodePath::kNeon;

// Lower-case names, as the tests, tools and the bench spell them.
constexpr const char* kCodePathNames[kCodePathCount] = {"integer", "mmx",    "sse2", "ssse3",
                                                        "avx2",    "avx512", "neon"};
inline const char* CodePathName(CodePath path) {
  return kCodePathNames[static_cast<int32_t>(path)];
}
// The path called `name`; false when there is none.
inline bool CodePathNamed(const char* name, CodePath* path) {
  for (int32_t i = 0; i < kCodePathCount; ++i) {
    const char* expected = kCodePathNames[i];
    const char* given = name;
    while (*given != 0 && *given == *expected) ++given, ++expected;
    if (*given == 0 && *expected == 0) {
      *path = static_cast<CodePath>(i);
      return true;
    }
  }
  return false;
}

// Chosen once at the start of a call; every converter follows it.
struct ConvertPlan {
  CodePath widest;
  bool Allows(CodePath path) const { return path <= widest; }
};

// The flags-register ID test followed by CPUID leaf 1, EDX bit 23.  Always 0
// on processors that are not x86.
int32_t ProcessorHasMmx();

// Widest of SSE2 / SSSE3 / AVX2 / AVX-512 that both the processor and the operating
// system support (CPUID, and XGETBV for the YMM and ZMM state); kInteger when
// none, and on processors that are not x86.
CodePath ProcessorVectorPath();

// Whether this processor runs `path`.
bool ProcessorRuns(CodePath path);

// The plan of a Kelmar() call: the MMX test runs on every call; the vector
// extensions are probed once per process.  On aarch64 the plan is kNeon.
// Honours the path limit below.
ConvertPlan ChooseConvertPlan();

// Caps the paths that ChooseConvertPlan() picks, so tests can run every
// path the machine has; kWidestCodePath lifts the cap.  Not exported from the
// shared library or the DLL.
void SetPathLimit(CodePath limit);

}  // namespace kelmar
