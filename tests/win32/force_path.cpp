// The one export of the test-only KELMAR.dll in tiers/ that the shipped DLL
// does not have: it forces the code path of every later call, so that the
// conformance program can run each one through the DLL.
#include <cstdint>

#include "common/cpu.h"
#include "kelmar.h"

extern "C" __declspec(dllexport) void KELMAR_CALL KelmarTestForcePath(int32_t path) {
  using kelmar::PathLimit;
  if (path < static_cast<int32_t>(PathLimit::kAuto) ||
      path > static_cast<int32_t>(PathLimit::kAvx512))
    return;
  kelmar::SetPathLimit(static_cast<PathLimit>(path));
}
