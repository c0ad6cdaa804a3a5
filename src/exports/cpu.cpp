// Processor feature tests.
#include "exports/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define KELMAR_X86 1
#endif

namespace kelmar {
namespace {

PathLimit pathLimit = PathLimit::kAuto;

#if KELMAR_X86
// A processor has CPUID when bit 21 (ID) of the flags register can be
// changed.  The flags are saved and restored around the probe.
bool HasCpuid() {
  uintptr_t before = 0;
  uintptr_t after = 0;
  __asm__ volatile(
#if defined(__x86_64__)
      "sub $128, %%rsp\n\t"  // keep clear of the red zone
#endif
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
#if defined(__x86_64__)
      "add $128, %%rsp\n\t"
#endif
      : "=&r"(before), "=&r"(after)
      :
      : "cc", "memory");
  return before != after;
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

WideSimd ProcessorWideSimd() {
#if KELMAR_X86
  if (!HasCpuid()) return WideSimd::kNone;
  const CpuidRegs leaf0 = Cpuid(0);
  const CpuidRegs leaf1 = Cpuid(1);
  if (!(leaf1.edx & (1u << 26))) return WideSimd::kNone;  // SSE2
  const bool osSavesYmm =
      (leaf1.ecx & (1u << 27)) && (leaf1.ecx & (1u << 28)) && (ReadXcr0() & 6u) == 6u;
  if (osSavesYmm && leaf0.eax >= 7 && (Cpuid(7).ebx & (1u << 5))) return WideSimd::kAvx2;
  return WideSimd::kSse2;
#else
  return WideSimd::kNone;
#endif
}

void SelectPaths() {
  // The MMX test runs on every call, as hosts of the library expect: a host
  // may rely on each conversion asking the processor afresh.  The wide
  // extensions are our own addition and are probed once, since under
  // virtualisation every CPUID traps to the hypervisor.
  UseMmx = ProcessorHasMmx();
  static int32_t detectedWide = -1;
  if (detectedWide < 0) detectedWide = static_cast<int32_t>(ProcessorWideSimd());
  WideSimd wide = static_cast<WideSimd>(detectedWide);
  switch (pathLimit) {
    case PathLimit::kAuto:
    case PathLimit::kAvx2: break;
    case PathLimit::kInteger:
      UseMmx = 0;
      wide = WideSimd::kNone;
      break;
    case PathLimit::kMmx: wide = WideSimd::kNone; break;
    case PathLimit::kSse2:
      if (wide > WideSimd::kSse2) wide = WideSimd::kSse2;
      break;
  }
  WideLevel = wide;
}

void SetPathLimit(PathLimit limit) { pathLimit = limit; }

}  // namespace kelmar
