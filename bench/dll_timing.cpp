// The same conversions timed through KELMAR.dll (built for Windows, run
// under wine) and through the native shared library: 1280 x 720, full map,
// every layout neutral and adjusted.  Prints one line per case with the
// fastest of ROUNDS rounds, in microseconds per picture;
// scripts/bench-dll.sh runs both and prints their ratios.  With --tier PATH
// every call takes that code path: the Windows program then loads the test
// build of the DLL in tiers/, which can force one.
//
//   kelmar_dll_timing [--tier PATH] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/cpu.h"
#include "kelmar.h"
#include "layouts.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kelmar::bench {
namespace {

struct Exports {
  decltype(&Kelmar) kelmar;
  decltype(&SetDisplay) setDisplay;
};

#if defined(_WIN32)
using ForcePath = void(KELMAR_CALL*)(int32_t path);

template <typename Function>
Function Export(HMODULE dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
#else
extern "C" int32_t KelmarBenchForcePath(const char* name);
#endif

// The library's entries, with every call on `tier` unless it is null.
bool LoadExports(const char* tier, Exports& e) {
#if defined(_WIN32)
  HMODULE dll = LoadLibraryA(tier ? "tiers\\KELMAR.dll" : "KELMAR.dll");
  if (!dll) return false;
  e.kelmar = Export<decltype(&Kelmar)>(dll, "Kelmar");
  e.setDisplay = Export<decltype(&SetDisplay)>(dll, "SetDisplay");
  if (!e.kelmar || !e.setDisplay) return false;
  if (!tier) return true;
  const auto force = Export<ForcePath>(dll, "KelmarTestForcePath");
  kelmar::CodePath path;
  if (!force || !kelmar::CodePathNamed(tier, &path)) return false;
  force(static_cast<int32_t>(path));
  return true;
#else
  e = {Kelmar, SetDisplay};
  return !tier || KelmarBenchForcePath(tier) != 0;
#endif
}

}  // namespace
}  // namespace kelmar::bench

int main(int argc, char** argv) {
  using namespace kelmar::bench;
  const char* tier = nullptr;
  if (argc > 2 && std::strcmp(argv[1], "--tier") == 0) {
    tier = argv[2];
    argc -= 2;
    argv += 2;
  }
  Exports e{};
  if (!LoadExports(tier, e)) {
    std::fprintf(stderr, "kelmar_dll_timing: cannot load the library%s%s\n",
                 tier ? " with the path " : "", tier ? tier : "");
    return 1;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  constexpr int kWidth = 1280, kHeight = 720, kCalls = 10;
  const HostPicture picture(PictureOfSize(kWidth, kHeight));
  const PlaneSet& planes = picture.planes;
  for (const kelmar::OutputLayoutInfo& info : kelmar::kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      HeaderWithPalette header = MakeHeader(info.layout, kWidth, kHeight);
      // Both builds write to a 64-byte aligned bitmap, as a DIB section is;
      // their heaps align differently.
      std::vector<uint8_t> storage(size_t(kWidth) * kHeight * info.bytesPerPixel + 64);
      uint8_t* dst = storage.data() + (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;
      std::vector<uint8_t> map(size_t(kWidth) * kHeight / 256, 1);
      ValuesOf(setting).Apply(e.setDisplay);
      e.kelmar(&header.header, dst, &planes, map.data(), 0, 0);  // sees the change
      double best = 1e30;
      for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalls; ++i) e.kelmar(&header.header, dst, &planes, map.data(), 0, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds / kCalls);
      }
      std::printf("%s %s %.1f\n", info.name, SettingName(setting), best * 1e6);
    }
  }
  return 0;
}
