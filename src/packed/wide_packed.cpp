// Choosing a vector path for the packed writers.
#include "packed/wide_packed.h"

namespace kelmar {

bool ChooseWidePacker(bool yuy2, const PackedCall& call, WidePacker& packer) {
#if KELMAR_HAVE_WIDE
  const ConvertPlan& plan = call.plan;
  if (!plan.Allows(CodePath::kSse2)) return false;
  // Adjusted output needs byte shuffles of 32 bytes.
  if (call.tables && !plan.Allows(CodePath::kAvx2)) return false;
  packer.yuy2 = yuy2;
  packer.tables = call.tables;
  packer.packPicture = plan.Allows(CodePath::kAvx512) ? PackPictureAvx512
                       : plan.Allows(CodePath::kAvx2) ? PackPictureAvx2
                                                      : PackPictureSse2;
  return true;
#else
  (void)yuy2;
  (void)call;
  (void)packer;
  return false;
#endif
}

}  // namespace kelmar
