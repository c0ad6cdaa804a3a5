// SSSE3 path of the packed writers: the SSE2 writer, with luma computed
// from its table's form by halves by byte shuffles, and U and V so where
// their tables are alike.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

KELMAR_TARGET_SSSE3_BEGIN

#include "packed/wide_packed_sse.h"

namespace kelmar {

void PackPictureSsse3(const PackedJob& job, const PackedPicture& picture) {
  PackPicture<SsePacker<true>>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
