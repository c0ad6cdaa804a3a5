// Conversions from several threads at once, each checked against the same
// conversion made alone.
//
// 1. Streams: every thread converts its own pictures, in every layout, while
//    another thread keeps changing the display adjustments and asking for
//    the palette.  Every result must be exactly the single-threaded result of
//    one of the settings: never a mix of two.
// 2. Bands: one picture split into bands of macroblock rows, one thread per
//    band, all writing the same buffer: the single-threaded picture.
// 3. A change of the adjustments is seen by exactly one of the calls that
//    race for it.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "conformance_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

namespace conformance {
namespace {

struct Setting {
  int32_t brightness, contrast, saturation, balance;
};

// Every table differs between any two of these.
const Setting kSettings[] = {{0, 0, 0, 0}, {2, 3, 2, 1}, {-3, -7, 5, 6}, {1, 31, -10, -4}};
constexpr int kSettingCount = sizeof(kSettings) / sizeof(kSettings[0]);

void Apply(const Exports& e, const Setting& s) {
  e.setDisplay(s.brightness, s.contrast, s.saturation, s.balance);
}

void YieldThread() {
#if defined(_WIN32)
  Sleep(0);
#else
  sched_yield();
#endif
}

struct Case {
  int layout;
  int32_t width, height, zoom;
};

size_t MapBytes(const Case& c) {
  const int scale = c.zoom && !kLayouts[c.layout].IsPacked() ? 2 : 1;
  const size_t mbs = static_cast<size_t>(c.width / 16 / scale) * (c.height / 16 / scale);
  const size_t fill = static_cast<size_t>(c.width) * c.height / 256;
  return mbs > fill ? mbs : fill;
}

size_t OutputBytes(const Case& c) {
  return static_cast<size_t>(kLayouts[c.layout].bytesPerPixel) * c.width * c.height;
}

struct Result {
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> palette;  // behind an 8-bit header
  bool operator==(const Result& o) const { return pixels == o.pixels && palette == o.palette; }
};

// One call with every macroblock marked.
Result Convert(const Exports& e, const Case& c, const Picture& picture) {
  const Layout& layout = kLayouts[c.layout];
  HeaderBlock block = MakeHeader(layout, c.width, c.height);
  Result r;
  r.pixels.assign(OutputBytes(c), 0xA5);
  std::vector<uint8_t> map(MapBytes(c), 1);
  e.kelmar(&block.header, r.pixels.data(), &picture.planes, map.data(), 0, c.zoom);
  if (layout.bitCount == 8 && !layout.IsPacked()) {
    const auto* colors = reinterpret_cast<const uint8_t*>(block.colors);
    r.palette.assign(colors, colors + sizeof(block.colors));
  }
  return r;
}

// Makes the next calls see the setting as unchanged: one call with an empty
// map, as a host does before it splits a picture into bands.
void SettleDisplay(const Exports& e, const Picture& picture) {
  HeaderBlock block = MakeHeader(kLayouts[0], 16, 16);
  std::vector<uint8_t> out(16 * 16 * 3);
  uint8_t map = 0;
  e.kelmar(&block.header, out.data(), &picture.planes, &map, 0, 0);
}

bool StreamsWhileSettingsChange(const Exports& e, int threads) {
  const Case cases[] = {{0, 96, 64, 0},  {1, 80, 48, 0}, {2, 64, 64, 0},
                        {3, 96, 48, 0},  {4, 96, 64, 0}, {5, 48, 32, 0},
                        {0, 128, 96, 1}, {3, 64, 64, 1}, {2, 96, 64, 1}};
  constexpr int kCases = sizeof(cases) / sizeof(cases[0]);
  std::vector<std::unique_ptr<Picture>> pictures;
  for (int i = 0; i < kCases; ++i) {
    const int scale = cases[i].zoom && !kLayouts[cases[i].layout].IsPacked() ? 2 : 1;
    pictures.push_back(std::make_unique<Picture>(cases[i].width / scale, cases[i].height / scale,
                                                 i % 2 == 1, 500u + i));
  }
  std::vector<Result> reference(kSettingCount * kCases);
  std::vector<std::vector<uint8_t>> palettes(kSettingCount);
  for (int s = 0; s < kSettingCount; ++s) {
    Apply(e, kSettings[s]);
    for (int i = 0; i < kCases; ++i) reference[s * kCases + i] = Convert(e, cases[i], *pictures[i]);
    palettes[s].resize(256 * sizeof(RGBQUAD));
    e.decGetPal(reinterpret_cast<RGBQUAD*>(palettes[s].data()), 256, 0);
  }

  std::atomic<int> running{threads};
  std::atomic<int> mixed{0};
  std::atomic<int> seen[kSettingCount] = {};
  // The palette handed out is always that of one setting.
  const auto checkPalette = [&](DecGetPalFn decGetPal) {
    std::vector<uint8_t> palette(256 * sizeof(RGBQUAD));
    decGetPal(reinterpret_cast<RGBQUAD*>(palette.data()), 256, 0);
    bool known = false;
    for (const auto& p : palettes) known = known || p == palette;
    if (!known) mixed.fetch_add(1);
  };
  RunThreads(threads + 1, [&](int index) {
    if (index == threads) {
      // The adjustments change under the running conversions.
      for (int round = 0; running.load() > 0; ++round) {
        Apply(e, kSettings[round % kSettingCount]);
        checkPalette(e.decGetPalW);
        YieldThread();
      }
      return;
    }
    for (int n = 0; n < 8 * kCases; ++n) {
      if (n % 5 == index % 5) checkPalette(e.decGetPal);
      const int i = (n + index) % kCases;
      const Result result = Convert(e, cases[i], *pictures[i]);
      int match = -1;
      for (int s = 0; s < kSettingCount && match < 0; ++s)
        if (result == reference[s * kCases + i]) match = s;
      if (match < 0)
        mixed.fetch_add(1);
      else
        seen[match].fetch_add(1);
    }
    running.fetch_sub(1);
  });
  Check(mixed.load() == 0, "every result is that of one setting");
  int settingsSeen = 0;
  for (const auto& count : seen) settingsSeen += count.load() > 0 ? 1 : 0;
  std::printf("threads: %d threads, %d conversions during setting changes, %d settings seen\n",
              threads, threads * 8 * kCases, settingsSeen);
  return mixed.load() == 0;
}

bool BandsMakeOnePicture(const Exports& e, int threads) {
  bool ok = true;
  int pictures = 0;
  for (int s = 0; s < kSettingCount; ++s) {
    for (int layout = 0; layout < kDrawnLayouts; ++layout) {
      for (int32_t zoom : {0, 1}) {
        if (zoom && kLayouts[layout].IsPacked()) continue;
        const Case c = {layout, zoom ? 512 : 256, zoom ? 416 : 208, zoom};
        const Picture picture(256, 208, s % 2 == 1, 900u + layout);
        Apply(e, kSettings[s]);
        SettleDisplay(e, picture);
        const Result whole = Convert(e, c, picture);

        const int mbCols = 256 / 16, mbRows = 208 / 16;
        HeaderBlock shared = MakeHeader(kLayouts[layout], c.width, c.height);
        std::vector<uint8_t> out(OutputBytes(c), 0xA5);
        RunThreads(threads, [&](int band) {
          HeaderBlock block = shared;  // each call writes its own header
          std::vector<uint8_t> map(MapBytes(c), 0);
          for (int row = band * mbRows / threads; row < (band + 1) * mbRows / threads; ++row)
            std::memset(&map[static_cast<size_t>(row) * mbCols], 1, mbCols);
          e.kelmar(&block.header, out.data(), &picture.planes, map.data(), 0, zoom);
        });
        const bool same = out == whole.pixels;
        if (!same) {
          std::printf("FAILED: bands differ: %s zoom %d setting %d\n", kLayouts[layout].name, zoom,
                      s);
          ok = false;
        }
        ++pictures;
      }
    }
  }
  Check(ok, "a picture converted in bands equals the whole conversion");
  std::printf("threads: %d pictures in %d bands each, identical to whole conversions\n", pictures,
              threads);
  return ok;
}

bool EachChangeSeenOnce(const Exports& e, int threads) {
  const Picture picture(16, 16, false, 7);
  SettleDisplay(e, picture);
  bool ok = true;
  constexpr int kRounds = 40;
  for (int round = 0; round < kRounds; ++round) {
    e.setDisplay(round % 2 ? round : -round, 0, round, 0);
    std::atomic<int> ready{0};
    std::atomic<int> filled{0};
    RunThreads(threads, [&](int) {
      HeaderBlock block = MakeHeader(kLayouts[0], 16, 16);
      std::vector<uint8_t> out(16 * 16 * 3);
      uint8_t map = 0;
      // Start together, to race for the change.
      ready.fetch_add(1);
      while (ready.load() < threads) {
      }
      e.kelmar(&block.header, out.data(), &picture.planes, &map, 0, 0);
      if (map == 1) filled.fetch_add(1);
    });
    if (filled.load() != 1) {
      std::printf("FAILED: round %d: %d calls saw the change\n", round, filled.load());
      ok = false;
    }
  }
  Check(ok, "each change is seen by exactly one call");
  std::printf("threads: %d changes, each seen by exactly one of %d racing calls\n", kRounds,
              threads);
  return ok;
}

}  // namespace

bool RunThreadStress(const Exports& e, int threads) {
  const bool streams = StreamsWhileSettingsChange(e, threads);
  const bool bands = BandsMakeOnePicture(e, threads);
  const bool once = EachChangeSeenOnce(e, threads);
  e.setDisplay(0, 0, 0, 0);
  return streams && bands && once;
}

}  // namespace conformance
