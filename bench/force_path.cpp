// The one export that scripts/bench-builds.sh adds to a bench-only shared
// object, linked from one revision's kelmar_static archive (never
// installed): it forces the code path called `name` for every later call,
// so that two revisions are timed on the same path.  Paths are named, not
// numbered, because revisions number them differently (SSSE3 came in
// between SSE2 and AVX2).  Returns 0, forcing nothing, when this revision
// has no path of that name.
//
// Compiled against the headers of the revision it is linked with.  The
// script defines KELMAR_BENCH_PATH_NAMES for revisions whose cpu.h looks
// names up itself, and KELMAR_BENCH_PATH_LIMIT for the earlier ones that
// capped the paths with PathLimit, whose first value was the automatic
// choice.
#include <cstdint>
#include <cstring>

#include "common/cpu.h"

extern "C" __attribute__((visibility("default"))) int32_t KelmarBenchForcePath(const char* name) {
#if defined(KELMAR_BENCH_PATH_NAMES)
  kelmar::CodePath path;
  if (!kelmar::CodePathNamed(name, &path)) return 0;
  kelmar::SetPathLimit(path);
  return 1;
#else
  // The paths of the revisions before the names, narrowest first.
  static const char* const kNames[] = {"integer", "mmx", "sse2", "avx2", "avx512"};
  for (int32_t i = 0; i < 5; ++i) {
    if (std::strcmp(name, kNames[i]) != 0) continue;
#if defined(KELMAR_BENCH_PATH_LIMIT)
    kelmar::SetPathLimit(static_cast<kelmar::PathLimit>(i + 1));
#else
    kelmar::SetPathLimit(static_cast<kelmar::CodePath>(i));
#endif
    return 1;
  }
  return 0;
#endif
}
