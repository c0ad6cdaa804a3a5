// SSE2 path of the packed writers, 16 pixels per step: the copy, and the
// adjusted output computed by the tables' ramps or, for tables without
// them, with the entries read one at a time.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

KELMAR_TARGET_SSE2_BEGIN

#include "packed/wide_packed_sse.h"

namespace kelmar {

void PackPictureSse2(const PackedJob& job, const PackedPicture& picture) {
  PackPicture<SsePacker<false>>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
