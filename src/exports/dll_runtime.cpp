// What the compiler needs from a runtime, for a DLL that links no C runtime:
// the entry routine, the block-memory functions the compiler may call, and
// stack-protector support.  The conversion code itself calls no
// operating-system service.
#include <windows.h>

#include <cstddef>
#include <cstdint>

extern "C" {

// Module description, kept in the image as a plain string.
__attribute__((used)) const char KelmarModuleDescription[] =
    "KELMAR.DLL - YUV to RGB conversion DLL";

// Loading and unloading run nothing of the library's own.
BOOL WINAPI DllEntryPoint(HINSTANCE, DWORD, LPVOID) { return TRUE; }

void* memset(void* dst, int value, size_t n) {
  auto* d = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(value);
  return dst;
}

void* memcpy(void* dst, const void* src, size_t n) {
  auto* d = static_cast<unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
  return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
  auto* d = static_cast<unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
  } else {
    for (size_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return dst;
}

// A terminator canary: its zero, newline and 0xff bytes stop string copies
// from reproducing it.
uintptr_t __stack_chk_guard = 0x000aff0du;

// A smashed stack ends the process at once, as Windows does for its own
// stack-cookie failures.
__attribute__((noreturn)) void __stack_chk_fail() {
  TerminateProcess(GetCurrentProcess(), 0xC0000409u /* STATUS_STACK_BUFFER_OVERRUN */);
  __builtin_unreachable();
}

}  // extern "C"
