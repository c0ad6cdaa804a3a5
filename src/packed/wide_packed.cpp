// Choosing a vector path for the packed writers.
#include "packed/wide_packed.h"

namespace kelmar {

bool ChooseWidePacker(bool yuy2, const PackedCall& call, WidePacker& packer) {
#if KELMAR_HAVE_WIDE
  if (call.plan.wide == WideSimd::kNone) return false;
  // Adjusted output needs byte shuffles of 32 bytes.
  if (call.tables && call.plan.wide < WideSimd::kAvx2) return false;
  packer.yuy2 = yuy2;
  packer.tables = call.tables;
  switch (call.plan.wide) {
    case WideSimd::kAvx512: packer.packPicture = PackPictureAvx512; break;
    case WideSimd::kAvx2: packer.packPicture = PackPictureAvx2; break;
    default: packer.packPicture = PackPictureSse2; break;
  }
  return true;
#else
  (void)yuy2;
  (void)call;
  (void)packer;
  return false;
#endif
}

}  // namespace kelmar
