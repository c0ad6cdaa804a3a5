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

struct HeaderWithPalette {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

// One layout's conversion of one picture as a host sets it up: row tables,
// header, buffer.  Each thread has its own.
class Conversion {
 public:
  Conversion(Layout layout, int width, int height) : width_(width), height_(height) {
    const SourcePicture& picture = PictureOfSize(width, height);
    for (int y = 0; y < height; ++y) yRows_.push_back(picture.y.data() + size_t(y) * width);
    for (int y = 0; y < height / 2; ++y) {
      uRows_.push_back(picture.u.data() + size_t(y) * (width / 2));
      vRows_.push_back(picture.v.data() + size_t(y) * (width / 2));
    }
    planes_ = {yRows_.data(), uRows_.data(), vRows_.data()};
    const LayoutInfo& info = InfoOf(layout);
    std::memset(&header_, 0, sizeof(header_));
    header_.header.biSize = sizeof(BITMAPINFOHEADER);
    header_.header.biWidth = width;
    header_.header.biHeight = height;
    header_.header.biPlanes = 1;
    header_.header.biBitCount = info.bitCount;
    header_.header.biCompression = info.compression;
    dst_.resize(size_t(width) * height * info.bytesPerPixel);
  }

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
    Kelmar(&header_.header, dst, &planes_, map.data(), 0, 0);
  }

 private:
  int width_, height_;
  std::vector<const uint8_t*> yRows_, uRows_, vRows_;
  PlaneSet planes_{};
  HeaderWithPalette header_;
  std::vector<uint8_t> dst_;
};

void Settle(Setting setting, Conversion& conversion) {
  if (setting == Setting::kNeutral)
    SetDisplay(0, 0, 0, 0);
  else
    SetDisplay(2, 3, 2, 0);
  // The call that sees a change marks everything; let it happen here.
  std::vector<uint8_t> map = conversion.BandMap(0, 1);
  conversion.Run(map);
}

// A second thread that converts a band whenever it is asked to.  It waits by
// spinning, as a decoder's worker between pictures would not: the handover
// costs microseconds, not the scheduler's wake-up.
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
    while (done_.load(std::memory_order_acquire) != requested_.load(std::memory_order_relaxed)) {
    }
  }

 private:
  void Loop() {
    for (uint64_t seen = 0;;) {
      uint64_t now;
      while ((now = requested_.load(std::memory_order_acquire)) == seen) std::this_thread::yield();
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
  for (const LayoutInfo& info : AllLayouts()) {
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
