// Choosing a vector path for the packed writers.
#include "packed/wide_packed.h"

namespace kelmar {

bool ChooseWidePacker(bool yuy2, const PackedCall& call, WidePacker& packer) {
#if KELMAR_HAVE_WIDE
  if (call.plan.wide == WideSimd::kNone) return false;
  // Adjusted output needs byte shuffles of 32 bytes.
  if (call.tables && call.plan.wide < WideSimd::kAvx2) return false;
  packer.yuy2 = yuy2;
  packer.lookups = call.tables ? &call.tables->lookups : nullptr;
  packer.packRun = call.plan.wide >= WideSimd::kAvx2 ? PackRunAvx2 : PackRunSse2;
  return true;
#else
  (void)yuy2;
  (void)call;
  (void)packer;
  return false;
#endif
}

}  // namespace kelmar
