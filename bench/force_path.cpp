// The one export that scripts/bench-builds.sh adds to a bench-only shared
// object, linked from one revision's kelmar_static archive (never
// installed): it forces the code path of every later call, so that two
// revisions are timed on the same path.  `path` counts from 0 (integer) to
// 4 (AVX-512); any other value leaves the automatic choice.
//
// Compiled against the headers of the revision it is linked with.  Earlier
// revisions capped the paths with PathLimit, whose first value was the
// automatic choice; the script defines KELMAR_BENCH_PATH_LIMIT for them.
#include <cstdint>

#include "common/cpu.h"

extern "C" __attribute__((visibility("default"))) void KelmarBenchForcePath(int32_t path) {
  if (path < 0 || path > 4) return;
#if defined(KELMAR_BENCH_PATH_LIMIT)
  kelmar::SetPathLimit(static_cast<kelmar::PathLimit>(path + 1));
#else
  kelmar::SetPathLimit(static_cast<kelmar::CodePath>(path));
#endif
}
