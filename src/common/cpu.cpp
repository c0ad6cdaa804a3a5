// Processor feature tests and the plan of a call.
#include "common/cpu.h"

#include <atomic>

#include "common/features.h"

#if KELMAR_X86
#include <cpuid.h>
#endif

namespace kelmar {
namespace {

std::atomic<int32_t> pathLimit{static_cast<int32_t>(kWidestCodePath)};

#if !KELMAR_HAVE_NEON
// Probed once; -1 until then.  Two calls racing to probe store the same
// value.
std::atomic<int32_t> detectedVector{-1};
#endif

#if KELMAR_X86
// A processor has CPUID when bit 21 (ID) of the flags register can be
// changed.  The flags are saved and restored around the probe.  Every
// x86-64 processor has CPUID, so 64-bit code skips the probe (a flags
// write that costs some 60 ns).
bool HasCpuid() {
#if defined(__x86_64__)
  return true;
#else
  uint32_t before = 0;
  uint32_t after = 0;
  __asm__ volatile(
      "pushf\n\t"
      "pushf\n\t"
      "pop %0\n\t"
      "mov %0, %1\n\t"
      "xor $0x200000, %1\n\t"
      "push %1\n\t"
      "popf\n\t"
      "pushf\n\t"
      "pop %1\n\t"
      "popf\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc", "memory");
  return before != after;
#endif
}

struct CpuidRegs {
  uint32_t eax, ebx, ecx, edx;
};

CpuidRegs Cpuid(uint32_t leaf) {
  CpuidRegs r{};
  __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

// XCR0: which register states the operating system saves.
uint32_t ReadXcr0() {
  uint32_t low = 0;
  uint32_t high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}
#endif

}  // namespace

int32_t ProcessorHasMmx() {
#if KELMAR_X86
  if (!HasCpuid()) return 0;
  return (Cpuid(1).edx & 0x800000u) ? 1 : 0;
#else
  return 0;
#endif
}

CodePath ProcessorVectorPath() {
#if KELMAR_X86
  if (!HasCpuid()) return CodePath::kInteger;
  const CpuidRegs leaf0 = Cpuid(0);
  const CpuidRegs leaf1 = Cpuid(1);
  if (!(leaf1.edx & (1u << 26))) return CodePath::kInteger;  // SSE2
  if (!(leaf1.ecx & (1u << 9))) return CodePath::kSse2;      // SSSE3
  // XCR0 bits 1 and 2: XMM and YMM state; 5 to 7: the opmask and ZMM state.
  const bool osxsave = (leaf1.ecx & (1u << 27)) && (leaf1.ecx & (1u << 28));
  const uint32_t xcr0 = osxsave ? ReadXcr0() : 0;
  if ((xcr0 & 0x06u) != 0x06u || leaf0.eax < 7) return CodePath::kSsse3;
  const CpuidRegs leaf7 = Cpuid(7);
  if (!(leaf7.ebx & (1u << 5))) return CodePath::kSsse3;  // AVX2
  constexpr uint32_t kAvx512FBwVl = (1u << 16) | (1u << 30) | (1u << 31);
  const bool avx512 = (xcr0 & 0xE6u) == 0xE6u && (leaf7.ebx & kAvx512FBwVl) == kAvx512FBwVl &&
                      (leaf7.ecx & (1u << 1));  // VBMI
  return avx512 ? CodePath::kAvx512 : CodePath::kAvx2;
#else
  return CodePath::kInteger;
#endif
}

bool ProcessorRuns(CodePath path) {
  switch (path) {
    case CodePath::kInteger: return true;
    case CodePath::kMmx: return ProcessorHasMmx() != 0;
    case CodePath::kNeon: return KELMAR_HAVE_NEON != 0;
    default: return KELMAR_X86 && path <= ProcessorVectorPath();
  }
}

ConvertPlan ChooseConvertPlan() {
  const int32_t limit = pathLimit.load(std::memory_order_relaxed);
#if KELMAR_HAVE_NEON
  // Advanced SIMD is part of every AArch64 processor: nothing to probe.
  constexpr int32_t kNeon = static_cast<int32_t>(CodePath::kNeon);
  return {static_cast<CodePath>(kNeon < limit ? kNeon : limit)};
#else
  // The MMX test runs on every call, as hosts of the library expect: a host
  // may rely on each conversion asking the processor afresh.  The vector
  // extensions are our own addition and are probed once, since under
  // virtualisation every CPUID traps to the hypervisor.  Every processor
  // with a vector extension has MMX.
  if (!ProcessorHasMmx()) return {CodePath::kInteger};
  int32_t vector = detectedVector.load(std::memory_order_relaxed);
  if (vector < 0) {
    vector = static_cast<int32_t>(ProcessorVectorPath());
    detectedVector.store(vector, std::memory_order_relaxed);
  }
  const int32_t widest =
      vector > static_cast<int32_t>(CodePath::kMmx) ? vector : static_cast<int32_t>(CodePath::kMmx);
  return {static_cast<CodePath>(widest < limit ? widest : limit)};
#endif
}

void SetPathLimit(CodePath limit) {
  pathLimit.store(static_cast<int32_t>(limit), std::memory_order_relaxed);
}

}  // namespace kelmar
