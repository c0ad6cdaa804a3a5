// The one export of the test-only KELMAR.dll in tiers/ that the shipped DLL
// does not have: it forces the code path of every later call, so that the
// conformance program can run each one through the DLL.
#include <cstdint>

#include "common/cpu.h"
#include "kelmar.h"

extern "C" __declspec(dllexport) void KELMAR_CALL KelmarTestForcePath(int32_t path) {
  if (path < 0 || path >= kelmar::kCodePathCount) return;
  kelmar::SetPathLimit(static_cast<kelmar::CodePath>(path));
}
