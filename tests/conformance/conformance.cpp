// Converts a fixed set of pictures through the library's exports and prints
// one digest line per call.  Built natively and for Windows; the outputs
// must be identical, proving the DLL writes the native library's bytes, and
// so must those of every other build of the library.  On Windows it also
// resolves every export by name and by ordinal and checks the calling
// convention.
//
//   kelmar_conformance                 the digest lines
//   kelmar_conformance --threads [N]   the thread-safety stress (N threads, default 4)
//   --path integer|mmx|sse2|avx2|avx512  first force a code path (test builds only)
//   --dll PATH                        Windows: the DLL to load (default KELMAR.dll)
//
// On Windows every conversion goes through a thunk that calls the DLL with
// the stack aligned differently each time: 32-bit callers promise only 4
// bytes, and 64-bit ones 16 where vector code may want 32.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/cpu.h"
#include "conformance_support.h"

namespace conformance {
namespace {

struct Size {
  int32_t width, height;
};
// 256 x 256 random samples reach nearly every table entry any setting uses.
const Size kSizes[] = {{16, 16}, {48, 32}, {176, 144}, {40, 36}, {82, 70}, {64, 18}, {256, 256}};

struct Adjust {
  int32_t brightness, contrast, saturation, balance;
};
const Adjust kAdjusts[] = {
    {0, 0, 0, 0},         {2, 3, 2, 0},    {-3, -5, 10, 7},      {0, 0, -10, -10},
    {5, -25, 3, 0},       {0, 0, 0, 1},    {INT32_MAX, 0, 1, 0}, {1, INT32_MIN, -5, INT32_MIN},
    {0, 7, 9, INT32_MAX}, {0, 10, -1, -3}, {-2, 17, -3, 0},      {0, -13, 4, 0},
};

// Calls `fn`; on Windows with the stack aligned in a way that `index`
// chooses.
int32_t CallAtStackOffset(KelmarFn fn, BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                          uint8_t* map, int32_t reserved, int32_t zoom, int index);

// One call through `fn`; prints the digest of everything the call may write.
void RunCase(KelmarFn fn, const Exports& e, int index, const Layout& layout, const Size& size,
             const Adjust& adjust, int32_t zoom, bool upward) {
  const bool doubled = zoom && !layout.IsPacked();
  const int srcWidth = doubled ? size.width / 2 : size.width;
  const int srcHeight = doubled ? size.height / 2 : size.height;
  const Picture picture(srcWidth, srcHeight, upward, 1000u + static_cast<uint32_t>(index));
  HeaderBlock block = MakeHeader(layout, size.width, size.height);

  std::vector<uint8_t> out(static_cast<size_t>(layout.bytesPerPixel) * size.width * size.height,
                           0xA5);
  std::vector<uint8_t> map(static_cast<size_t>(size.width) * size.height / 256 + 1);
  Rng rng(77u + static_cast<uint32_t>(index));
  for (auto& b : map) b = (rng.Next() >> 28) < 11 ? 1 : 0;

  e.setDisplay(adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance);
  const int32_t result =
      CallAtStackOffset(fn, &block.header, out.data(), &picture.planes, map.data(), 0, zoom, index);
  std::printf(
      "%4d %-10s %4dx%-4d zoom=%d %s adj=%d,%d,%d,%d -> %d out=%016llx hdr=%016llx "
      "map=%016llx\n",
      index, layout.name, size.width, size.height, zoom, upward ? "up  " : "down",
      adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance, result,
      static_cast<unsigned long long>(Fnv(out.data(), out.size())),
      static_cast<unsigned long long>(Fnv(&block, sizeof(block))),
      static_cast<unsigned long long>(Fnv(map.data(), map.size())));
}

void RunConversions(const Exports& e) {
  int index = 0;
  for (const Adjust& adjust : kAdjusts) {
    for (const Layout& layout : kLayouts) {
      for (const Size& size : kSizes) {
        for (int32_t zoom : {0, 1}) {
          const bool upward = (index % 3) == 1;
          // Every other call goes through the W name; both must agree.
          RunCase(index % 2 ? e.kelmarW : e.kelmar, e, index, layout, size, adjust, zoom, upward);
          ++index;
        }
      }
    }
  }
}

void RunPalettes(const Exports& e) {
  for (const Adjust& adjust : kAdjusts) {
    for (uint32_t count : {0u, 16u, 256u, 300u, 0xFFFFFFFFu}) {
      RGBQUAD palette[257];
      std::memset(palette, 0x33, sizeof(palette));
      e.setDisplayW(adjust.brightness, adjust.contrast, adjust.saturation, adjust.balance);
      const int32_t n = (count % 2 ? e.decGetPalW : e.decGetPal)(palette, count, 0);
      std::printf("palette adj=%d,%d,%d,%d count=%u -> %d pal=%016llx\n", adjust.brightness,
                  adjust.contrast, adjust.saturation, adjust.balance, count, n,
                  static_cast<unsigned long long>(Fnv(palette, sizeof(palette))));
    }
  }
}

#if defined(_WIN32)
// CallKelmarAtOffset(fn, args, offset) calls fn with the six arguments in
// args, the stack pointer first aligned down and then lowered by offset.
#if defined(__x86_64__)
// The Microsoft x64 convention: fn in rcx, args in rdx, offset in r8; four
// arguments in registers, two on the stack above 32 bytes of shadow space.
// The stack stays 16-byte aligned, as the convention wants, and is 32-byte
// aligned or not by the offset (0 or 16).
__asm__(
    ".globl CallKelmarAtOffset\n"
    "CallKelmarAtOffset:\n"
    "  push %rbp\n"
    "  mov %rsp, %rbp\n"
    "  push %rbx\n"
    "  push %rsi\n"
    "  mov %rcx, %rax\n"
    "  mov %rdx, %rbx\n"
    "  and $-32, %rsp\n"
    "  sub %r8, %rsp\n"
    "  sub $48, %rsp\n"
    "  mov 32(%rbx), %r10\n"
    "  mov %r10, 32(%rsp)\n"
    "  mov 40(%rbx), %r10\n"
    "  mov %r10, 40(%rsp)\n"
    "  mov 0(%rbx), %rcx\n"
    "  mov 8(%rbx), %rdx\n"
    "  mov 16(%rbx), %r8\n"
    "  mov 24(%rbx), %r9\n"
    "  call *%rax\n"
    "  lea -16(%rbp), %rsp\n"
    "  pop %rsi\n"
    "  pop %rbx\n"
    "  pop %rbp\n"
    "  ret\n");
constexpr intptr_t kStackOffsets[] = {0, 16};
#else
// cdecl: fn, args and offset on the stack; the six arguments are pushed for
// the __stdcall callee, which removes them.  With offsets 0, 4, 8 and 12 the
// callee finds every alignment of a 4-byte-aligned stack.
__asm__(
    ".globl _CallKelmarAtOffset\n"
    "_CallKelmarAtOffset:\n"
    "  push %ebp\n"
    "  mov %esp, %ebp\n"
    "  push %ebx\n"
    "  push %esi\n"
    "  mov 8(%ebp), %eax\n"
    "  mov 12(%ebp), %ebx\n"
    "  mov 16(%ebp), %ecx\n"
    "  mov %esp, %esi\n"
    "  and $-16, %esp\n"
    "  sub %ecx, %esp\n"
    "  pushl 20(%ebx)\n"
    "  pushl 16(%ebx)\n"
    "  pushl 12(%ebx)\n"
    "  pushl 8(%ebx)\n"
    "  pushl 4(%ebx)\n"
    "  pushl 0(%ebx)\n"
    "  call *%eax\n"
    "  mov %esi, %esp\n"
    "  pop %esi\n"
    "  pop %ebx\n"
    "  pop %ebp\n"
    "  ret\n");
constexpr intptr_t kStackOffsets[] = {0, 4, 8, 12};
#endif
extern "C" int32_t CallKelmarAtOffset(KelmarFn fn, const uintptr_t* args, intptr_t offset);

int32_t CallAtStackOffset(KelmarFn fn, BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                          uint8_t* map, int32_t reserved, int32_t zoom, int index) {
  const uintptr_t args[6] = {reinterpret_cast<uintptr_t>(header),
                             reinterpret_cast<uintptr_t>(dst),
                             reinterpret_cast<uintptr_t>(planes),
                             reinterpret_cast<uintptr_t>(map),
                             static_cast<uintptr_t>(static_cast<uint32_t>(reserved)),
                             static_cast<uintptr_t>(static_cast<uint32_t>(zoom))};
  constexpr int kOffsets = sizeof(kStackOffsets) / sizeof(kStackOffsets[0]);
  return CallKelmarAtOffset(fn, args, kStackOffsets[index % kOffsets]);
}

#if defined(__i386__)
// Calls a four-argument export with a hand-built frame and returns how far
// the stack pointer moved: 0 when the callee removes its arguments.
int32_t StackDriftOfFourArgumentCall(SetDisplayFn fn) {
  uint32_t before = 0;
  uint32_t after = 0;
  __asm__ volatile(
      "mov %%esp, %0\n\t"
      "push $0\n\t"
      "push $0\n\t"
      "push $0\n\t"
      "push $0\n\t"
      "call *%2\n\t"
      "mov %%esp, %1\n\t"
      "mov %0, %%esp\n\t"
      : "=&b"(before), "=&S"(after)
      : "D"(fn)
      : "eax", "ecx", "edx", "memory", "cc");
  return static_cast<int32_t>(before - after);
}
#endif

template <typename Fn>
Fn Resolve(HMODULE dll, const char* name, int ordinal) {
  FARPROC byName = GetProcAddress(dll, name);
  FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
  char what[96];
  std::snprintf(what, sizeof(what), "%s resolves by name and by ordinal %d to one entry", name,
                ordinal);
  Check(byName != nullptr && byName == byOrdinal, what);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(byName));
}

HMODULE dll = nullptr;

bool LoadExports(Exports& e, const char* path, bool testBuild) {
  dll = LoadLibraryA(path);
  if (!dll) {
    std::printf("FAILED: cannot load %s\n", path);
    return false;
  }
  e.decGetPal = Resolve<DecGetPalFn>(dll, "DecGetPal", 1);
  e.setDisplay = Resolve<SetDisplayFn>(dll, "SetDisplay", 2);
  e.kelmar = Resolve<KelmarFn>(dll, "Kelmar", 3);
  e.decGetPalW = Resolve<DecGetPalFn>(dll, "DecGetPalW", 4);
  e.setDisplayW = Resolve<SetDisplayFn>(dll, "SetDisplayW", 5);
  e.kelmarW = Resolve<KelmarFn>(dll, "KelmarW", 6);
  Check(e.setDisplayW == e.setDisplay, "SetDisplayW is the entry of SetDisplay");
  Check(e.decGetPalW == e.decGetPal, "DecGetPalW is the entry of DecGetPal");
  // Only the test build has a seventh export (ForcePath below).
  if (!testBuild) Check(GetProcAddress(dll, MAKEINTRESOURCEA(7)) == nullptr, "no seventh export");
  Check(GetProcAddress(dll, "_Kelmar@24") == nullptr, "no decorated names");
#if defined(__i386__)
  Check(StackDriftOfFourArgumentCall(e.setDisplay) == 0, "SetDisplay removes its arguments");
#endif
  e.setDisplay(0, 0, 0, 0);
  return e.kelmar && e.kelmarW && e.setDisplay && e.decGetPal;
}
#else
int32_t CallAtStackOffset(KelmarFn fn, BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                          uint8_t* map, int32_t reserved, int32_t zoom, int /*index*/) {
  return fn(header, dst, planes, map, reserved, zoom);
}

bool LoadExports(Exports& e, const char* /*path*/, bool /*testBuild*/) {
  e = {Kelmar, KelmarW, SetDisplay, SetDisplayW, DecGetPal, DecGetPalW};
  return true;
}
#endif

bool ForcePath(const std::string& name) {
  kelmar::CodePath named = kelmar::kWidestCodePath;
  const int32_t path =
      kelmar::CodePathNamed(name.c_str(), &named) ? static_cast<int32_t>(named) : -1;
#if defined(KELMAR_CONFORMANCE_PATHS)
  if (path >= 0) {
    kelmar::SetPathLimit(named);
    return true;
  }
#elif defined(_WIN32)
  using ForcePathFn = void(KELMAR_CALL*)(int32_t);
  const auto force = reinterpret_cast<ForcePathFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "KelmarTestForcePath")));
  if (path >= 0 && force) {
    force(path);
    return true;
  }
#endif
  std::printf("FAILED: cannot force the path '%s' with this library\n", name.c_str());
  return false;
}

}  // namespace
}  // namespace conformance

int main(int argc, char** argv) {
  using namespace conformance;
  int threads = 0;
  std::string path, dll = "KELMAR.dll";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--threads") {
      threads = i + 1 < argc && argv[i + 1][0] != '-' ? std::atoi(argv[++i]) : 4;
    } else if (arg == "--path" && i + 1 < argc) {
      path = argv[++i];
    } else if (arg == "--dll" && i + 1 < argc) {
      dll = argv[++i];
    } else {
      std::printf("usage: %s [--threads [N]] [--path ", argv[0]);
      for (int32_t p = 0; p < kelmar::kCodePathCount; ++p)
        std::printf("%s%s", p ? "|" : "", kelmar::kCodePathNames[p]);
      std::printf("] [--dll PATH]\n");
      return 2;
    }
  }
  Exports exports{};
  if (!LoadExports(exports, dll.c_str(), !path.empty())) return 1;
  if (!path.empty() && !ForcePath(path)) return 2;
  if (threads > 0) {
    RunThreadStress(exports, threads);
  } else {
    RunConversions(exports);
    RunPalettes(exports);
  }
  if (Failures()) {
    std::printf("%d checks failed\n", Failures());
    return 1;
  }
  return 0;
}
