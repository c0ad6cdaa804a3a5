#include "test_support.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>

#include "common/features.h"
#include "exports/display_state.h"

namespace kelmar::test {

void LinkRows(Picture& p, RowOrder order) {
  const int rows = p.height;
  const int chromaRows = p.chromaRows();
  p.yRows.assign(rows, nullptr);
  p.uRows.assign(chromaRows, nullptr);
  p.vRows.assign(chromaRows, nullptr);
  for (int r = 0; r < rows; ++r) {
    const int at = order == RowOrder::kDown ? r : rows - 1 - r;
    p.yRows[r] = p.luma.data() + static_cast<size_t>(at) * p.lumaStride;
  }
  for (int r = 0; r < chromaRows; ++r) {
    const int at = order == RowOrder::kDown ? r : chromaRows - 1 - r;
    p.uRows[r] = p.uPlane() + static_cast<size_t>(at) * p.chromaStride;
    p.vRows[r] = p.vPlane() + static_cast<size_t>(at) * p.chromaStride;
  }
  p.planes = {p.yRows.data(), p.uRows.data(), p.vRows.data()};
}

static Picture AllocatePicture(int width, int height) {
  Picture p;
  p.width = width;
  p.height = height;
  // The converters take the chroma stride as half the luma stride.
  p.lumaStride = (width + 1) & ~1;
  p.chromaStride = p.lumaStride / 2;
  p.luma.assign(static_cast<size_t>(p.lumaStride) * height, 0);
  p.chroma.assign(2 * static_cast<size_t>(p.chromaStride) * (height / 2), 0);
  return p;
}

Picture MakePicture(int width, int height, uint32_t seed, RowOrder order) {
  Picture p = AllocatePicture(width, height);
  Rng rng(seed);
  for (auto& b : p.luma) b = static_cast<uint8_t>(rng.Next() >> 24);
  for (auto& b : p.chroma) b = static_cast<uint8_t>(rng.Next() >> 24);
  LinkRows(p, order);
  return p;
}

Picture MakeFlatPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
  Picture p = AllocatePicture(width, height);
  std::fill(p.luma.begin(), p.luma.end(), y);
  const size_t half = p.chroma.size() / 2;
  std::fill(p.chroma.begin(), p.chroma.begin() + half, u);
  std::fill(p.chroma.begin() + half, p.chroma.end(), v);
  LinkRows(p, RowOrder::kDown);
  return p;
}

GuardedBuffer::GuardedBuffer(size_t size, uint8_t fill)
    : size_(size), bytes_(size + 2 * kGuard, kGuardByte) {
  std::fill(bytes_.begin() + kGuard, bytes_.begin() + kGuard + size, fill);
}

bool GuardedBuffer::GuardsIntact() const {
  const auto isGuard = [](uint8_t b) { return b == kGuardByte; };
  return std::all_of(bytes_.begin(), bytes_.begin() + kGuard, isGuard) &&
         std::all_of(bytes_.end() - kGuard, bytes_.end(), isGuard);
}

HeaderWithPalette MakeHeader(int32_t width, int32_t height, uint16_t bitCount,
                             uint32_t compression) {
  HeaderWithPalette h;
  std::memset(&h, 0, sizeof(h));
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  h.header.biWidth = width;
  h.header.biHeight = height;
  h.header.biPlanes = 1;
  h.header.biBitCount = bitCount;
  h.header.biCompression = compression;
  return h;
}

HeaderWithPalette MakeHeader(const OutputLayoutInfo& layout, int32_t width, int32_t height) {
  return MakeHeader(width, height, layout.bitCount, layout.compression);
}

std::vector<uint8_t> FullMap(size_t count, uint8_t value) {
  return std::vector<uint8_t>(count, value);
}

std::vector<uint8_t> RandomMap(size_t count, uint32_t seed, int percent) {
  Rng rng(seed);
  std::vector<uint8_t> map(count);
  for (auto& b : map)
    b = rng.Uniform(0, 99) < percent ? static_cast<uint8_t>(rng.Uniform(1, 255)) : 0;
  return map;
}

std::vector<CodePath> SupportedPaths() {
  std::vector<CodePath> paths;
  for (int32_t i = 0; i < kCodePathCount; ++i)
    if (ProcessorRuns(static_cast<CodePath>(i))) paths.push_back(static_cast<CodePath>(i));
  return paths;
}

void SetDisplayQuietly(int32_t brightness, int32_t contrast, int32_t saturation, int32_t balance) {
  SetDisplay(brightness, contrast, saturation, balance);
  TakeDisplayAdjust();
}

std::unique_ptr<RgbTables> RgbTablesFor(int32_t brightness, int32_t contrast, int32_t saturation) {
  auto tables = std::make_unique<RgbTables>();
  RgbTables::Build({brightness, contrast, saturation, 0}, *tables);
  return tables;
}

std::unique_ptr<PackedTables> PackedTablesFor(const DisplayValues& adjust) {
  auto tables = std::make_unique<PackedTables>();
  PackedTables::Build(adjust, *tables);
  return tables;
}

const RgbTables& TablesOfCurrentSetting() {
  static std::unique_ptr<RgbTables> tables;
  static DisplayValues builtFor;
  const DisplayValues now = RgbTables::KeyFor(LoadDisplayAdjust());
  if (!tables || now != builtFor) {
    tables = RgbTablesFor(now.brightness, now.contrast, now.saturation);
    builtFor = now;
  }
  return *tables;
}

ConvertPlan PlanFor(CodePath path) {
  SetPathLimit(path);
  const ConvertPlan plan = ChooseConvertPlan();
  SetPathLimit(kWidestCodePath);
  return plan;
}

bool FloatingPointStateClean() {
#if KELMAR_X86
  // The x87 environment: control, status and tag words first, 28 bytes in
  // all.  Storing it masks the exceptions, so it is loaded back at once.
  uint16_t environment[14];
  __asm__ volatile("fnstenv %0" : "=m"(environment));
  __asm__ volatile("fldenv %0" : : "m"(environment));
  return environment[4] == 0xFFFF;
#else
  return true;
#endif
}

#if defined(__linux__)
ReservedBuffer::ReservedBuffer(size_t size, size_t guard) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t span = (size + page - 1) / page * page;
  reserved_ = span + 2 * guard;
  void* base =
      mmap(nullptr, reserved_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) return;
  base_ = base;
  uint8_t* data = static_cast<uint8_t*>(base) + guard;
  if (mprotect(data, span, PROT_READ | PROT_WRITE) == 0) data_ = data;
}

ReservedBuffer::~ReservedBuffer() {
  if (base_) munmap(base_, reserved_);
}
#else
ReservedBuffer::ReservedBuffer(size_t, size_t) {}
ReservedBuffer::~ReservedBuffer() = default;
#endif

std::vector<uint8_t> ExpectSameBytesOnEveryPath(
    const std::function<std::vector<uint8_t>(CodePath)>& convert, const std::string& what) {
  std::vector<uint8_t> expected;
  for (CodePath path : SupportedPaths()) {
    const std::vector<uint8_t> bytes = convert(path);
    EXPECT_TRUE(FloatingPointStateClean()) << CodePathName(path) << " left MMX state: " << what;
    if (path == CodePath::kInteger)
      expected = bytes;
    else
      EXPECT_EQ(bytes, expected) << CodePathName(path) << ": " << what;
  }
  return expected;
}

}  // namespace kelmar::test
