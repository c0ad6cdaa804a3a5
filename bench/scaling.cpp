#include "scaling.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "kelmar.h"

namespace kelmar::bench {
namespace {

// One layout's conversion of one picture as a host sets it up: row tables,
// header, buffer.  Each thread has its own.
class Conversion {
 public:
  Conversion(Layout layout, int width, int height)
      : width_(width),
        height_(height),
        picture_(PictureOfSize(width, height)),
        header_(MakeHeader(layout, width, height)),
        dst_(size_t(width) * height * InfoOf(layout).bytesPerPixel) {}

  // A map marking the macroblock rows [first, end) of `parts` equal bands.
  std::vector<uint8_t> BandMap(int band, int bands) const {
    const int mbCols = width_ / 16, mbRows = height_ / 16;
    std::vector<uint8_t> map(size_t(width_) * height_ / 256, 0);
    for (int row = band * mbRows / bands; row < (band + 1) * mbRows / bands; ++row)
      std::memset(&map[size_t(row) * mbCols], 1, mbCols);
    return map;
  }

  // Converts the macroblocks `map` marks into this conversion's buffer, or
  // into `shared`'s.
  void Run(std::vector<uint8_t>& map, Conversion* shared = nullptr) {
    uint8_t* dst = (shared ? shared : this)->dst_.data();
    Kelmar(&header_.header, dst, &picture_.planes, map.data(), 0, 0);
  }

 private:
  int width_, height_;
  HostPicture picture_;
  HeaderWithPalette header_;
  std::vector<uint8_t> dst_;
};

void Settle(Setting setting, Conversion& conversion) {
  ValuesOf(setting).Apply();
  // The call that sees a change marks everything; let it happen here.
  std::vector<uint8_t> map = conversion.BandMap(0, 1);
  conversion.Run(map);
}

// A pause in a spin-wait: it keeps the waiting thread on its core without a
// system call, which under virtualisation costs microseconds.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// A second thread that converts a band whenever it is asked to.  It waits by
// spinning, as a decoder's worker between pictures would not: the handover
// costs well under a microsecond, not the scheduler's wake-up.
class BandHelper {
 public:
  explicit BandHelper(std::function<void()> work)
      : work_(std::move(work)), thread_([this] { Loop(); }) {}
  ~BandHelper() {
    stop_.store(true);
    requested_.fetch_add(1);
    thread_.join();
  }
  void Start() { requested_.fetch_add(1, std::memory_order_release); }
  void Wait() {
    while (done_.load(std::memory_order_acquire) != requested_.load(std::memory_order_relaxed))
      SpinPause();
  }

 private:
  void Loop() {
    for (uint64_t seen = 0;;) {
      uint64_t now;
      while ((now = requested_.load(std::memory_order_acquire)) == seen) SpinPause();
      if (stop_.load()) return;
      work_();
      seen = now;
      done_.store(seen, std::memory_order_release);
    }
  }

  std::function<void()> work_;
  std::atomic<uint64_t> requested_{0};
  std::atomic<uint64_t> done_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void RunStreams(benchmark::State& state, Layout layout, Setting setting, int width, int height) {
  Conversion conversion(layout, width, height);
  if (state.thread_index() == 0) Settle(setting, conversion);
  std::vector<uint8_t> map = conversion.BandMap(0, 1);
  for (auto _ : state) {
    conversion.Run(map);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void RunBands(benchmark::State& state, Layout layout, Setting setting, int width, int height,
              int bands) {
  Conversion first(layout, width, height);
  Conversion second(layout, width, height);
  Settle(setting, first);
  std::vector<uint8_t> firstMap = first.BandMap(0, bands);
  if (bands == 1) {
    for (auto _ : state) {
      first.Run(firstMap);
      benchmark::ClobberMemory();
    }
  } else {
    std::vector<uint8_t> secondMap = second.BandMap(1, bands);
    BandHelper helper([&] { second.Run(secondMap, &first); });
    for (auto _ : state) {
      helper.Start();
      first.Run(firstMap);
      helper.Wait();
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

std::string StreamsName(Layout layout, Setting setting) {
  return std::string("scaling/streams/") + InfoOf(layout).name + "/" + SettingName(setting);
}

std::string BandsName(Layout layout, Setting setting, int bands) {
  return std::string("scaling/bands/") + InfoOf(layout).name + "/" + SettingName(setting) + "/" +
         std::to_string(bands);
}

void RegisterScaling(int width, int height) {
  PictureOfSize(width, height);  // made here, before threads share it
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      const Layout layout = info.layout;
      benchmark::RegisterBenchmark(
          StreamsName(layout, setting).c_str(),
          [=](benchmark::State& state) { RunStreams(state, layout, setting, width, height); })
          ->Threads(1)
          ->Threads(2)
          ->UseRealTime()
          ->Unit(benchmark::kMicrosecond);
      for (int bands : {1, 2}) {
        benchmark::RegisterBenchmark(BandsName(layout, setting, bands).c_str(),
                                     [=](benchmark::State& state) {
                                       RunBands(state, layout, setting, width, height, bands);
                                     })
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
}

}  // namespace kelmar::bench
