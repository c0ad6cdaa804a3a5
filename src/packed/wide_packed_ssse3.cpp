// SSSE3 path of the packed writers: the SSE2 writer, with luma computed
// from its table's form by halves by byte shuffles, and U and V so where
// their tables have no ramp (a ramp computes both in one vector, the halves
// take one each).
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

KELMAR_TARGET_SSSE3_BEGIN

#include "packed/wide_packed_sse.h"

namespace kelmar {

void PackPictureSsse3(const PackedJob& job, const PackedPicture& picture) {
  PackPicture<SsePacker<NibbleUse::kBeforeRamp, NibbleUse::kAfterRamp>>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
