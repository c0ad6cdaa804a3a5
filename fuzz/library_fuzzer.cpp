// Fuzzes the library through its exports: a short sequence of SetDisplay,
// Kelmar and DecGetPal calls with fuzzed header fields, adjustments, maps,
// pictures and row tables.  Every buffer the library is handed is allocated
// at exactly the size a caller must supply for the call, so AddressSanitizer
// reports any access beyond it.  Each Kelmar call runs once on every code
// path the processor has, from the same inputs, and the results must agree
// to the byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/cpu.h"
#include "exports/display_state.h"
#include "kelmar.h"

namespace {

using kelmar::CodePath;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
// Largest amount of memory one call may need; bigger calls are skipped.
constexpr int64_t kMaxCallBytes = int64_t{4} << 20;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "library_fuzzer: %s\n", what);
  std::abort();
}

// The harness's own loops over buffers give the fuzzer no useful feedback.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

NO_COVERAGE bool AnyNonZero(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i]) return true;
  }
  return false;
}

// A heap block of exactly `size` bytes (possibly none).
class Block {
 public:
  explicit Block(size_t size) : size_(size), bytes_(new uint8_t[size]) {}
  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  // What a caller may pass for a buffer that must hold nothing.
  uint8_t* Pointer(bool nullWhenEmpty) { return size_ == 0 && nullWhenEmpty ? nullptr : data(); }
  size_t size() const { return size_; }
  std::vector<uint8_t> Copy() const { return std::vector<uint8_t>(data(), data() + size_); }
  void Restore(const std::vector<uint8_t>& from) {
    if (size_) std::memcpy(data(), from.data(), size_);
  }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> bytes_;
};

// Cheap deterministic bytes for planes and buffers.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed | 1u) {}
  uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<uint8_t>(state_ >> 24);
  }
  NO_COVERAGE void Fill(uint8_t* p, size_t n, int mode) {
    for (size_t i = 0; i < n; ++i) {
      switch (mode) {
        case 0: p[i] = Next(); break;
        case 1: p[i] = 0; break;
        case 2: p[i] = 255; break;
        default: p[i] = (i & 1) ? 255 : 0; break;  // extremes side by side
      }
    }
  }
  // About `quarters` / 4 of the bytes marked, with any non-zero value.
  NO_COVERAGE void FillMap(uint8_t* p, size_t n, int quarters) {
    for (size_t i = 0; i < n; ++i) {
      p[i] = (Next() & 3) < quarters ? static_cast<uint8_t>(Next() | 1) : 0;
    }
  }

 private:
  uint32_t state_;
};

int32_t ConsumeAdjustment(FuzzedDataProvider& in) {
  static constexpr int32_t kEdges[] = {0,
                                       1,
                                       -1,
                                       INT32_MIN,
                                       INT32_MAX,
                                       INT32_MIN + 1,
                                       INT32_MAX - 1,
                                       25,
                                       26,
                                       -25,
                                       -26,
                                       214748364,
                                       214748365,
                                       -214748364,
                                       -214748365,
                                       -20,
                                       -21,
                                       -40,
                                       -10,
                                       -9,
                                       10,
                                       11,
                                       1000000000,
                                       -999999999,
                                       2000000000,
                                       107374182,
                                       42949672,
                                       -42949673};
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: return in.PickValueInArray(kEdges);
    case 1: return in.ConsumeIntegralInRange<int32_t>(-60, 60);
    default: return in.ConsumeIntegral<int32_t>();
  }
}

int32_t ConsumeSide(FuzzedDataProvider& in) {
  static constexpr int32_t kExtremes[] = {INT32_MIN,  INT32_MAX, -65536, 65536,   1 << 24,
                                          -(1 << 24), 0x10000,   0x7FFF, -0x8000, 2147483632};
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.PickValueInArray(kExtremes);
    case 1: return in.ConsumeIntegral<int32_t>();
    case 2:
    case 3: return in.ConsumeIntegralInRange<int32_t>(-40, 40);
    case 4: return in.ConsumeIntegralInRange<int32_t>(100, 400);
    default: return in.ConsumeIntegralInRange<int32_t>(-16, 100);
  }
}

// What a call reads and writes, derived from the header as the caller sees
// it before the call.
struct CallShape {
  bool rgb = false;                // BI_RGB or BI_BITFIELDS: the tables are prepared
  bool converts = false;           // a converter runs
  int32_t expected = 0;            // Kelmar's result
  int bytesPerPixel = 0;           // RGB layouts
  bool everyRowOwnEntry = false;   // the converter takes no stride from the tables
  bool stepsByChroma = false;      // packed: luma stride is twice the chroma stride
  int32_t mbCols = 0, mbRows = 0;  // macroblocks converted
  int64_t dstBytes = 0;
  int64_t mapFill = 0;  // bytes set to 1 on a display change
  int64_t mapBytes = 0;
  int64_t headerBytes = 0;
};

CallShape ShapeOf(const BITMAPINFOHEADER& h, int32_t zoom) {
  CallShape s;
  const uint32_t compression = h.biCompression;
  const int32_t width = h.biWidth;
  const int32_t height = h.biHeight;
  const uint32_t product = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
  s.mapFill = std::max<int64_t>(0, static_cast<int32_t>(product) / 256);
  s.headerBytes = sizeof(BITMAPINFOHEADER);

  if (compression == KELMAR_FOURCC_UYVY || compression == KELMAR_FOURCC_YUY2) {
    s.stepsByChroma = true;
    if (width >= 2 && height >= 2) {
      s.dstBytes = 2 * static_cast<int64_t>(width) * height;
      s.mbCols = width / 16;
      s.mbRows = height / 16;
    }
  } else {
    s.rgb = true;
    if (h.biBitCount == 8) {
      s.headerBytes = std::max<int64_t>(s.headerBytes, int64_t{h.biSize} + 256 * 4);
    }
    const bool bitfields16 = compression == kBiBitfields && h.biBitCount == 16;
    s.expected = (compression == kBiRgb || bitfields16) ? 0 : -1;
    if (compression == kBiRgb) {
      s.bytesPerPixel = h.biBitCount == 24 ? 3 : h.biBitCount == 16 ? 2 : h.biBitCount == 8 ? 1 : 0;
    } else if (bitfields16) {
      s.bytesPerPixel = 2;
    }
    // A colour table that starts inside the header overwrites its fields
    // with the palette's leading zero entries; from biBitCount on, nothing
    // is drawn.
    if (h.biBitCount == 8 && h.biSize <= offsetof(BITMAPINFOHEADER, biBitCount)) {
      s.bytesPerPixel = 0;
    }
    if (s.bytesPerPixel) {
      const int32_t srcWidth = zoom ? width / 2 : width;
      const int32_t srcHeight = zoom ? height / 2 : height;
      s.mbCols = srcWidth >> 4;
      s.mbRows = srcHeight >> 4;
      s.everyRowOwnEntry = bitfields16 || (zoom && h.biBitCount != 8);
      if (s.mbCols > 0 && s.mbRows > 0) {
        const int64_t rowBytes = (zoom ? 2 : 1) * int64_t{s.bytesPerPixel} * srcWidth;
        const int64_t rows = (zoom ? 32 : 16) * int64_t{s.mbRows};
        // Each factor is below 2^36; the product is formed only if it is small.
        s.dstBytes = rows > kMaxCallBytes || rowBytes > kMaxCallBytes ? INT64_MAX : rows * rowBytes;
      }
    }
  }
  if (s.mbCols < 1 || s.mbRows < 1) s.mbCols = s.mbRows = 0;
  s.converts = s.mbCols > 0;
  s.mapBytes = std::max<int64_t>(s.mapFill, int64_t{s.mbCols} * s.mbRows);
  return s;
}

enum class Arrangement {
  kOneBlock,   // every row of a plane in one allocation
  kBands,      // one allocation per macroblock row, the same strides in each
  kScattered,  // one allocation per row
};

// A 4:2:0 picture of `mbRows` x `mbCols` macroblocks whose row tables and
// planes are exactly as large as the rows they describe.
struct FuzzPicture {
  std::vector<std::unique_ptr<Block>> blocks;
  std::unique_ptr<const uint8_t*[]> yRows, uRows, vRows;
  PlaneSet planes{};
};

// Rows k = 0 .. count - 1 at `offset` + k * `step` in a new block of
// `blockBytes`; a negative step puts row 0 at the highest address.
void PlaceRows(FuzzPicture& p, const uint8_t** rows, int count, int64_t step, int64_t offset,
               int64_t blockBytes, Noise& noise, int fill) {
  const int64_t lowest = std::min<int64_t>(0, (count - 1) * step);
  p.blocks.push_back(std::make_unique<Block>(static_cast<size_t>(blockBytes)));
  Block& block = *p.blocks.back();
  noise.Fill(block.data(), block.size(), fill);
  for (int k = 0; k < count; ++k) rows[k] = block.data() + (offset + k * step - lowest);
}

struct PlaneGeometry {
  Arrangement arrangement;
  int64_t chromaStep;  // signed: negative when row 0 is at the highest address
  int64_t lumaStep;    // 2 * chromaStep, or one more (the chroma step is half, rounded down)
  int64_t vFromU;      // distance from a U row to the V row with the same index
};

// Bytes a plane of `count` rows `step` apart, each `width` long, spans.
int64_t Span(int count, int64_t step, int64_t width) {
  return (count - 1) * (step < 0 ? -step : step) + width;
}

bool BuildPicture(FuzzPicture& p, const CallShape& shape, const PlaneGeometry& g, Noise& noise,
                  int fill) {
  const int lumaRows = 16 * shape.mbRows;
  const int chromaRows = 8 * shape.mbRows;
  p.yRows.reset(new const uint8_t*[lumaRows]);
  p.uRows.reset(new const uint8_t*[chromaRows]);
  p.vRows.reset(new const uint8_t*[chromaRows]);
  p.planes = {p.yRows.get(), p.uRows.get(), p.vRows.get()};
  if (!shape.converts) return true;

  const int64_t lumaWidth = 16 * int64_t{shape.mbCols};
  const int64_t chromaWidth = 8 * int64_t{shape.mbCols};
  const int bandRows = g.arrangement == Arrangement::kOneBlock ? lumaRows : 16;
  const int bands = lumaRows / bandRows;
  const int64_t lumaBand = Span(bandRows, g.lumaStep, lumaWidth);
  const int64_t uBand = Span(bandRows / 2, g.chromaStep, chromaWidth);
  const int64_t absV = g.vFromU < 0 ? -g.vFromU : g.vFromU;
  const int64_t chromaBand = absV + uBand;
  if ((lumaBand + chromaBand) * bands > kMaxCallBytes) return false;

  if (g.arrangement == Arrangement::kScattered) {
    for (int k = 0; k < lumaRows; ++k) {
      PlaceRows(p, &p.yRows[k], 1, 0, 0, lumaWidth, noise, fill);
    }
    for (int k = 0; k < chromaRows; ++k) {
      PlaceRows(p, &p.uRows[k], 1, 0, 0, chromaWidth, noise, fill);
      PlaceRows(p, &p.vRows[k], 1, 0, 0, chromaWidth, noise, fill);
    }
    return true;
  }
  for (int band = 0; band < bands; ++band) {
    PlaceRows(p, &p.yRows[band * bandRows], bandRows, g.lumaStep, 0, lumaBand, noise, fill);
    // U and V of a band share one block, V a constant distance from U.
    const int chromaBandRows = bandRows / 2;
    const uint8_t** u = &p.uRows[band * chromaBandRows];
    const uint8_t** v = &p.vRows[band * chromaBandRows];
    PlaceRows(p, u, chromaBandRows, g.chromaStep, g.vFromU < 0 ? absV : 0, chromaBand, noise, fill);
    for (int k = 0; k < chromaBandRows; ++k) v[k] = u[k] + g.vFromU;
  }
  return true;
}

PlaneGeometry ConsumeGeometry(FuzzedDataProvider& in, const CallShape& shape) {
  PlaneGeometry g;
  const int pick = in.ConsumeIntegralInRange(0, 2);
  g.arrangement = pick == 0   ? Arrangement::kOneBlock
                  : pick == 1 ? Arrangement::kBands
                              : Arrangement::kScattered;
  if (g.arrangement == Arrangement::kScattered && !shape.everyRowOwnEntry) {
    g.arrangement = Arrangement::kBands;
  }
  const int64_t chromaWidth = 8 * int64_t{shape.mbCols};
  // Rows may overlap (a step below the row width, even zero): the contract
  // asks only for constant steps.
  int64_t step = in.ConsumeBool() ? chromaWidth + in.ConsumeIntegralInRange(0, 24)
                                  : in.ConsumeIntegralInRange<int64_t>(0, chromaWidth + 8);
  const bool upward = in.ConsumeBool();
  g.chromaStep = upward ? -step : step;
  g.lumaStep = 2 * g.chromaStep;
  // Half an odd luma stride, rounded toward minus infinity, is the chroma
  // stride; the packed writers take the luma stride as exactly twice it.
  if (!shape.stepsByChroma && in.ConsumeBool()) g.lumaStep += 1;
  const int chromaBandRows = g.arrangement == Arrangement::kOneBlock ? 8 * shape.mbRows : 8;
  const int64_t uSpan = Span(std::max(chromaBandRows, 1), g.chromaStep, chromaWidth);
  const int64_t gap = in.ConsumeIntegralInRange(0, 40);
  g.vFromU = (uSpan + gap) * (in.ConsumeBool() ? 1 : -1);
  return g;
}

std::vector<CodePath> ProbePaths() {
  std::vector<CodePath> paths;
  for (int32_t i = 0; i < kelmar::kCodePathCount; ++i)
    if (kelmar::ProcessorRuns(static_cast<CodePath>(i))) paths.push_back(static_cast<CodePath>(i));
  return paths;
}

const std::vector<CodePath>& MachinePaths() {
  static const std::vector<CodePath> paths = ProbePaths();
  return paths;
}

struct Outcome {
  int32_t result;
  std::vector<uint8_t> header, dst, map;
};

void FuzzKelmar(FuzzedDataProvider& in) {
  BITMAPINFOHEADER h{};
  static constexpr uint32_t kCompressions[] = {
      kBiRgb, kBiBitfields, KELMAR_FOURCC_UYVY, KELMAR_FOURCC_YUY2, 1, 2, 0x32424752u};
  static constexpr uint16_t kBitCounts[] = {8, 16, 24, 32, 0, 1, 4, 15, 48};
  h.biSize =
      in.ConsumeBool() ? sizeof(BITMAPINFOHEADER) : in.ConsumeIntegralInRange<uint32_t>(0, 300);
  h.biWidth = ConsumeSide(in);
  h.biHeight = ConsumeSide(in);
  h.biPlanes = 1;
  h.biBitCount =
      in.ConsumeBool() ? in.PickValueInArray(kBitCounts) : in.ConsumeIntegral<uint16_t>();
  h.biCompression = in.ConsumeIntegralInRange(0, 7) ? in.PickValueInArray(kCompressions)
                                                    : in.ConsumeIntegral<uint32_t>();
  h.biClrUsed = in.ConsumeIntegral<uint32_t>();
  h.biClrImportant = in.ConsumeIntegral<uint32_t>();
  static constexpr int32_t kZooms[] = {0, 1, 2, -1, INT32_MIN};
  const int32_t zoom = in.ConsumeBool() ? 0 : in.PickValueInArray(kZooms);
  const int32_t reserved = in.ConsumeIntegral<int32_t>();

  const CallShape shape = ShapeOf(h, zoom);
  if (shape.dstBytes > kMaxCallBytes || shape.mapBytes > kMaxCallBytes ||
      shape.headerBytes > kMaxCallBytes) {
    return;
  }

  Noise noise(in.ConsumeIntegral<uint32_t>());
  const int sampleFill = in.ConsumeIntegralInRange(0, 3);
  FuzzPicture picture;
  if (!BuildPicture(picture, shape, ConsumeGeometry(in, shape), noise, sampleFill)) return;

  Block header(static_cast<size_t>(shape.headerBytes));
  noise.Fill(header.data(), header.size(), 0);
  std::memcpy(header.data(), &h, sizeof(h));
  Block dst(static_cast<size_t>(shape.dstBytes));
  noise.Fill(dst.data(), dst.size(), 0);
  Block map(static_cast<size_t>(shape.mapBytes));
  noise.FillMap(map.data(), map.size(), in.ConsumeIntegralInRange(0, 4));

  const std::vector<uint8_t> headerBefore = header.Copy(), dstBefore = dst.Copy(),
                             mapBefore = map.Copy();
  const kelmar::DisplayValues lastBefore = kelmar::LoadLastDisplayAdjust();
  const kelmar::DisplayValues current = kelmar::LoadDisplayAdjust();
  const bool displayChanged = current != lastBefore;
  const bool useW = in.ConsumeBool();
  const bool nullWhenEmpty = in.ConsumeBool();
  const PlaneSet* planes = shape.converts || !nullWhenEmpty ? &picture.planes : nullptr;

  std::vector<Outcome> outcomes;
  for (CodePath path : MachinePaths()) {
    header.Restore(headerBefore);
    dst.Restore(dstBefore);
    map.Restore(mapBefore);
    // Every path sees the display change (or its absence) afresh.
    kelmar::StoreDisplayAdjust(lastBefore);
    kelmar::TakeDisplayAdjust();
    kelmar::StoreDisplayAdjust(current);
    kelmar::SetPathLimit(path);
    auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
    const int32_t result = (useW ? KelmarW : Kelmar)(bih, dst.Pointer(nullWhenEmpty), planes,
                                                     map.Pointer(nullWhenEmpty), reserved, zoom);
    outcomes.push_back({result, header.Copy(), dst.Copy(), map.Copy()});
  }
  kelmar::SetPathLimit(kelmar::kWidestCodePath);

  const Outcome& first = outcomes.front();
  for (const Outcome& o : outcomes) {
    if (o.result != first.result || o.header != first.header || o.dst != first.dst ||
        o.map != first.map) {
      Fail("code paths disagree");
    }
  }
  if (first.result != shape.expected) Fail("unexpected result");
  if (kelmar::LoadLastDisplayAdjust() != current) Fail("display change not recorded");

  // The map changes only on a display change, and then only its filled part.
  std::vector<uint8_t> expectedMap = mapBefore;
  if (displayChanged) std::fill_n(expectedMap.begin(), shape.mapFill, uint8_t{1});
  if (first.map != expectedMap) Fail("map written outside the fill");
  const bool anyMarked =
      AnyNonZero(first.map.data(), static_cast<size_t>(int64_t{shape.mbCols} * shape.mbRows));
  if (!(shape.converts && anyMarked) && first.dst != dstBefore) {
    Fail("output written without a marked macroblock");
  }

  const auto* after = reinterpret_cast<const BITMAPINFOHEADER*>(first.header.data());
  if (shape.rgb) {
    if (after->biClrImportant != 0) Fail("biClrImportant not cleared");
  } else if (first.header != headerBefore) {
    Fail("packed call wrote the header");
  }
  if (shape.rgb && h.biBitCount == 8 && h.biSize >= sizeof(BITMAPINFOHEADER)) {
    // The colour table behind the header is the palette DecGetPal hands out.
    RGBQUAD palette[256];
    if (DecGetPal(palette, 256, 0) != 256) Fail("DecGetPal count");
    if (std::memcmp(first.header.data() + h.biSize, palette, sizeof(palette)) != 0) {
      Fail("colour table differs from DecGetPal");
    }
    if (after->biClrUsed != 256) Fail("biClrUsed not set");
  }
}

void FuzzDecGetPal(FuzzedDataProvider& in) {
  const uint32_t count = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 300)
                                          : in.ConsumeIntegral<uint32_t>();
  const uint32_t n = std::min<uint32_t>(count, 256);
  Block palette(n * sizeof(RGBQUAD));
  const bool useW = in.ConsumeBool();
  const int32_t copied = (useW ? DecGetPalW : DecGetPal)(reinterpret_cast<RGBQUAD*>(palette.data()),
                                                         count, in.ConsumeIntegral<int32_t>());
  if (copied != static_cast<int32_t>(n)) Fail("DecGetPal count");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // The library keeps the adjustments from call to call; every input starts
  // from the state at load.
  SetDisplay(0, 0, 0, 0);
  kelmar::TakeDisplayAdjust();
  for (int call = 0; call < 6 && in.remaining_bytes() > 0; ++call) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        const int32_t b = ConsumeAdjustment(in), c = ConsumeAdjustment(in),
                      s = ConsumeAdjustment(in), u = ConsumeAdjustment(in);
        (in.ConsumeBool() ? SetDisplayW : SetDisplay)(b, c, s, u);
        break;
      }
      case 1: FuzzDecGetPal(in); break;
      default: FuzzKelmar(in); break;
    }
  }
  return 0;
}
