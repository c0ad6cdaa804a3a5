// Two builds of the library in one process, timed in paired rounds: each
// round converts the same picture with both, interleaved three times in a
// random order, and keeps each one's fastest time (another process taking
// the processor only ever adds time).  The result is the median over rounds
// of the one's time over the other's.
//
//   kelmar_build_compare [--tier PATH] [--zoom] BASELINE.so CANDIDATE.so [rounds]
//
// --tier forces the code path of that name (integer, mmx, sse2, ssse3, avx2,
// avx512) in both, through the KelmarBenchForcePath export of the bench-only builds that
// scripts/bench-builds.sh links.
// Single-threaded, 352 x 288 and 1280 x 720, full map, every layout neutral
// and adjusted; with --zoom the RGB layouts at double size, 704 x 576 and
// 1280 x 720 of output.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/cpu.h"
#include "kelmar.h"
#include "layouts.h"

namespace kelmar::bench {
namespace {

struct Library {
  decltype(&Kelmar) kelmar;
  decltype(&SetDisplay) setDisplay;
  int32_t (*forcePath)(const char* name);  // only in the bench-only builds
};

bool Open(const char* path, Library& library) {
  // Local binding: each library keeps its own symbols.
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "kelmar_build_compare: %s\n", dlerror());
    return false;
  }
  library.kelmar = reinterpret_cast<decltype(&Kelmar)>(dlsym(handle, "Kelmar"));
  library.setDisplay = reinterpret_cast<decltype(&SetDisplay)>(dlsym(handle, "SetDisplay"));
  library.forcePath =
      reinterpret_cast<int32_t (*)(const char*)>(dlsym(handle, "KelmarBenchForcePath"));
  if (!library.kelmar || !library.setDisplay) {
    std::fprintf(stderr, "kelmar_build_compare: %s lacks the exports\n", path);
    return false;
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds for `calls` conversions.
double Time(const Library& library, HeaderWithPalette& header, std::vector<uint8_t>& dst,
            const PlaneSet& planes, std::vector<uint8_t>& map, int32_t zoom, int calls) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i)
    library.kelmar(&header.header, dst.data(), &planes, map.data(), 0, zoom);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace
}  // namespace kelmar::bench

int main(int argc, char** argv) {
  using namespace kelmar;
  using namespace kelmar::bench;
  const char* tier = nullptr;
  if (argc > 2 && std::string(argv[1]) == "--tier") {
    tier = argv[2];
    argc -= 2;
    argv += 2;
  }
  const int32_t zoom = argc > 1 && std::string(argv[1]) == "--zoom";
  argc -= zoom;
  argv += zoom;
  CodePath path = kWidestCodePath;
  if (argc < 3 || (tier && !CodePathNamed(tier, &path))) {
    std::fprintf(stderr, "usage: kelmar_build_compare [--tier ");
    for (int32_t p = 0; p < kCodePathCount; ++p)
      std::fprintf(stderr, "%s%s", p ? "|" : "", kCodePathNames[p]);
    std::fprintf(stderr, "] [--zoom] BASELINE.so CANDIDATE.so [rounds]\n");
    return 2;
  }
  Library libraries[2];
  if (!Open(argv[1], libraries[0]) || !Open(argv[2], libraries[1])) return 1;
  if (tier) {
    for (int i = 0; i < 2; ++i) {
      if (!libraries[i].forcePath) {
        std::fprintf(stderr, "kelmar_build_compare: %s cannot force a path\n", argv[1 + i]);
        return 1;
      }
      if (!libraries[i].forcePath(tier)) {
        std::fprintf(stderr, "kelmar_build_compare: %s has no path %s\n", argv[1 + i], tier);
        return 1;
      }
    }
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 31;
  // Calls per timing at 1280 x 720; smaller pictures get proportionally more.
  constexpr int kCalls = 5;
  // Output sizes: at double size the source is half as wide and high.
  const std::pair<int, int> sizes[] = {{zoom ? 704 : 352, zoom ? 576 : 288}, {1280, 720}};
  std::mt19937 order(20261208);

  std::printf(
      "Candidate / baseline on the %s path%s, medians of %d paired rounds (below 1: faster)\n\n",
      tier ? tier : "automatic", zoom ? " at double size" : "", rounds);
  std::printf("| layout | size | neutral | adjusted |\n|---|---|---:|---:|\n");
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    if (zoom && info.packed) continue;
    for (const auto& [width, height] : sizes) {
      const HostPicture picture(
          PictureOfSize(zoom ? width / 2 : width, zoom ? height / 2 : height));
      const int calls = kCalls * (1280 * 720) / (width * height);
      std::printf("| %s | %dx%d |", info.name, width, height);
      for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
        HeaderWithPalette header = MakeHeader(info.layout, width, height);
        std::vector<uint8_t> dst(size_t(width) * height * info.bytesPerPixel);
        std::vector<uint8_t> map(size_t(width) * height / 256, 1);
        for (Library& library : libraries) {
          ValuesOf(setting).Apply(library.setDisplay);
          Time(library, header, dst, picture.planes, map, zoom, 2);  // the change, and warm caches
        }
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
          double fastest[2] = {1e9, 1e9};
          for (int repeat = 0; repeat < 3; ++repeat) {
            const bool candidateFirst = order() & 1;
            for (int k = 0; k < 2; ++k) {
              const int which = candidateFirst ? 1 - k : k;
              fastest[which] = std::min(fastest[which], Time(libraries[which], header, dst,
                                                             picture.planes, map, zoom, calls));
            }
          }
          ratios.push_back(fastest[1] / fastest[0]);
        }
        std::printf(" %.3f |", Median(ratios));
        std::fflush(stdout);
      }
      std::printf("\n");
    }
  }
  return 0;
}
