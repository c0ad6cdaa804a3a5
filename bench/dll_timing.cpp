// The same conversions timed through KELMAR.dll (built for Windows, run
// under wine) and through libkelmar.so (built natively): 1280 x 720, full
// map, every layout neutral and adjusted.  Prints one line per case with
// the fastest of ROUNDS rounds, in microseconds per picture;
// scripts/bench-dll.sh runs both and prints their ratios.
//
//   kelmar_dll_timing [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

bool LoadExports(Exports& e) {
#if defined(_WIN32)
  HMODULE dll = LoadLibraryA("KELMAR.dll");
  if (!dll) return false;
  e.kelmar =
      reinterpret_cast<decltype(&Kelmar)>(reinterpret_cast<void*>(GetProcAddress(dll, "Kelmar")));
  e.setDisplay = reinterpret_cast<decltype(&SetDisplay)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "SetDisplay")));
  return e.kelmar && e.setDisplay;
#else
  e = {Kelmar, SetDisplay};
  return true;
#endif
}

}  // namespace
}  // namespace kelmar::bench

int main(int argc, char** argv) {
  using namespace kelmar::bench;
  Exports e{};
  if (!LoadExports(e)) {
    std::fprintf(stderr, "kelmar_dll_timing: cannot load the library\n");
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
