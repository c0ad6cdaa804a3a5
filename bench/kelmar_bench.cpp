// Kelmar against libyuv, libswscale and memcpy on the same pictures.
//
//   kelmar_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
//                --benchmark_min_time=0.1 [--paths] [--tier PATH] [--scaling]
//
// prints Google Benchmark's table and then the ratio tables: against the
// peers, 10 % maps (clustered and scattered) against the full map, far
// settings against the common adjusted one, and the fixed cost per call.
// --paths also measures every code path this processor has at 1280 x 720;
// --tier PATH (integer, mmx, sse2, avx2, avx512) runs every case that forces
// no path on that one, as a processor without the higher ones would;
// --scaling measures two threads against one instead.  Random interleaving
// runs the contenders in a random order each round, so that none always
// follows the same neighbour (and its state of the caches).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/cpu.h"
#include "kelmar.h"
#include "layouts.h"
#include "peers.h"
#include "ratio_table.h"
#include "scaling.h"

namespace kelmar::bench {

namespace {

struct KelmarCase {
  Layout layout;
  int width;
  int height;
  DisplaySetting setting;
  MapKind map;
  CodePath path;
};

void RunKelmar(benchmark::State& state, const KelmarCase& c) {
  const HostPicture picture(PictureOfSize(c.width, c.height));
  const PlaneSet& planes = picture.planes;
  const OutputLayoutInfo& info = InfoOf(c.layout);
  HeaderWithPalette header = MakeHeader(c.layout, c.width, c.height);
  std::vector<uint8_t> dst(size_t(c.width) * c.height * info.bytesPerPixel);
  const size_t mapBytes = size_t(c.width) * c.height / 256;
  std::vector<uint8_t> map = MakeMap(mapBytes, c.width / 16, c.map);

  SetPathLimit(c.path);
  c.setting.Apply();
  // The first call after a change marks every macroblock; let it mark a
  // scratch map so the measured calls see the map under test.
  std::vector<uint8_t> scratch(mapBytes, 1);
  Kelmar(&header.header, dst.data(), &planes, scratch.data(), 0, 0);

  for (auto _ : state) {
    Kelmar(&header.header, dst.data(), &planes, map.data(), 0, 0);
    benchmark::ClobberMemory();
  }
  SetPathLimit(kWidestCodePath);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.size()));
}

void RunLibyuv(benchmark::State& state, Layout layout, int width, int height) {
  const SourcePicture& picture = PictureOfSize(width, height);
  std::vector<uint8_t> dst(size_t(width) * height * InfoOf(layout).bytesPerPixel);
  for (auto _ : state) {
    ConvertWithLibyuv(layout, picture, dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.size()));
}

void RunSwscale(benchmark::State& state, Layout layout, int width, int height) {
  const SourcePicture& picture = PictureOfSize(width, height);
  std::vector<uint8_t> dst(size_t(width) * height * InfoOf(layout).bytesPerPixel);
  SwscaleConverter converter(layout, width, height);
  for (auto _ : state) {
    converter.Convert(picture, dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.size()));
}

// The processor test every call makes (CPUID traps to the hypervisor under
// virtualisation): the floor of a call's cost.
void RunProcessorTest(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ProcessorHasMmx());
}

void RunMemcpy(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> from(bytes, 0x5A);
  std::vector<uint8_t> to(bytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

template <typename Fn>
void Register(const std::string& name, Fn&& fn) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<Fn>(fn))->Unit(benchmark::kMicrosecond);
}

// The path named `name` among this processor's; no limit for no name.
bool FindPath(const char* name, CodePath* limit) {
  *limit = kWidestCodePath;
  if (name == nullptr) return true;
  return CodePathNamed(name, limit) && ProcessorRuns(*limit);
}

void RegisterAll(const TableOptions& options) {
  CodePath tier = kWidestCodePath;
  FindPath(options.tier, &tier);
  const std::vector<std::pair<int, int>> sizes = options.sizes;
  for (const auto& size : sizes) {
    const int w = size.first;
    const int h = size.second;
    for (const OutputLayoutInfo& info : kOutputLayouts) {
      const Layout layout = info.layout;
      for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
        for (MapKind map : {MapKind::kFull, MapKind::kClustered, MapKind::kScattered}) {
          const KelmarCase c = {layout, w, h, ValuesOf(setting), map, tier};
          Register(KelmarName(layout, w, h, setting, map),
                   [c](benchmark::State& state) { RunKelmar(state, c); });
        }
      }
      if (LibyuvConverts(layout))
        Register(PeerName("libyuv", layout, w, h),
                 [=](benchmark::State& state) { RunLibyuv(state, layout, w, h); });
      Register(PeerName("swscale", layout, w, h),
               [=](benchmark::State& state) { RunSwscale(state, layout, w, h); });
    }
    for (int bytesPerPixel : {1, 2, 3}) {
      const size_t bytes = size_t(w) * h * bytesPerPixel;
      Register(MemcpyName(bytesPerPixel, w, h),
               [bytes](benchmark::State& state) { RunMemcpy(state, bytes); });
    }
  }

  const int fw = options.fixedCostSize.first;
  const int fh = options.fixedCostSize.second;
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      for (MapKind map : {MapKind::kEmpty, MapKind::kFull}) {
        const KelmarCase c = {info.layout, fw, fh, ValuesOf(setting), map, tier};
        Register(KelmarName(info.layout, fw, fh, setting, map),
                 [c](benchmark::State& state) { RunKelmar(state, c); });
      }
    }
  }
  Register(kProcessorTestName, RunProcessorTest);

  // Far settings at the size of the main comparison, each also on the
  // integer path: a setting with no fast form shows as no faster than it.
  const int cw = options.pathSize.first;
  const int ch = options.pathSize.second;
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (const DisplaySetting& setting : CliffSettings()) {
      for (CodePath path : {tier, CodePath::kInteger}) {
        const KelmarCase c = {info.layout, cw, ch, setting, MapKind::kFull, path};
        Register(KelmarName(info.layout, cw, ch, setting.name, MapKind::kFull,
                            path == CodePath::kInteger ? CodePathName(path) : nullptr),
                 [c](benchmark::State& state) { RunKelmar(state, c); });
      }
    }
    const KelmarCase common = {
        info.layout, cw, ch, ValuesOf(Setting::kAdjusted), MapKind::kFull, CodePath::kInteger};
    Register(KelmarName(info.layout, cw, ch, Setting::kAdjusted, MapKind::kFull,
                        CodePathName(CodePath::kInteger)),
             [common](benchmark::State& state) { RunKelmar(state, common); });
  }

  for (const char* pathName : options.paths) {
    CodePath limit = kWidestCodePath;
    FindPath(pathName, &limit);
    for (const OutputLayoutInfo& info : kOutputLayouts) {
      for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
        const int w = options.pathSize.first;
        const int h = options.pathSize.second;
        const KelmarCase c = {info.layout, w, h, ValuesOf(setting), MapKind::kFull, limit};
        Register(KelmarName(info.layout, w, h, setting, MapKind::kFull, pathName),
                 [c](benchmark::State& state) { RunKelmar(state, c); });
      }
    }
  }
}

// Removes `flag` from argv; returns whether it was there.
bool TakeFlag(int& argc, char** argv, const char* flag) {
  bool found = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0)
      found = true;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  return found;
}

// Removes `flag` and the value after it from argv; returns the value, or
// nullptr when the flag is not there.
const char* TakeValue(int& argc, char** argv, const char* flag) {
  const char* value = nullptr;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0 && i + 1 < argc)
      value = argv[++i];
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  return value;
}

}  // namespace
}  // namespace kelmar::bench

int main(int argc, char** argv) {
  using namespace kelmar::bench;
  TableOptions options;
  options.sizes = {{352, 288}, {1280, 720}};
  options.fixedCostSize = {176, 144};
  options.pathSize = {1280, 720};
  options.tier = TakeValue(argc, argv, "--tier");
  kelmar::CodePath tier;
  if (!FindPath(options.tier, &tier)) {
    std::fprintf(stderr, "kelmar_bench: --tier %s: not a path of this processor\n", options.tier);
    return 1;
  }
  if (TakeFlag(argc, argv, "--paths"))
    for (int32_t i = 0; i < kelmar::kCodePathCount; ++i)
      if (kelmar::ProcessorRuns(static_cast<kelmar::CodePath>(i)))
        options.paths.push_back(kelmar::kCodePathNames[i]);
  options.scaling = TakeFlag(argc, argv, "--scaling");

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (options.scaling)
    RegisterScaling(options.pathSize.first, options.pathSize.second);
  else
    RegisterAll(options);
  RatioTableReporter reporter(options);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
