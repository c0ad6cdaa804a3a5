// Pictures, guarded buffers and call helpers shared by the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cpu.h"
#include "common/display_values.h"
#include "common/output_layouts.h"
#include "kelmar.h"
#include "packed/packed_tables.h"
#include "rgb/rgb_tables.h"

namespace kelmar::test {

// Small deterministic generator, so failures reproduce from a seed.
class Rng {
 public:
  explicit Rng(uint32_t seed) : state_(seed * 2654435761u + 0x9e3779b9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in [lo, hi].
  int Uniform(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1));
  }

 private:
  uint32_t state_;
};

enum class RowOrder {
  kDown,  // row 0 at the lowest address
  kUp,    // row 0 at the highest address: negative strides
};

// A planar 4:2:0 picture with its row tables.  The planes are allocated at
// exactly their size, so a sanitizer catches any read past them.  U and V
// share one allocation, V after U, so the two planes are a constant distance
// apart as the packed writers require.
struct Picture {
  int width = 0;   // luma samples per row
  int height = 0;  // luma rows
  int lumaStride = 0;
  int chromaStride = 0;
  std::vector<uint8_t> luma;
  std::vector<uint8_t> chroma;  // U plane, then V plane
  std::vector<const uint8_t*> yRows, uRows, vRows;
  PlaneSet planes{};

  int chromaRows() const { return height / 2; }
  uint8_t* uPlane() { return chroma.data(); }
  uint8_t* vPlane() { return chroma.data() + chromaStride * chromaRows(); }
  // Sample (x, y) of each plane, in row-table coordinates.
  uint8_t Y(int x, int y) const { return yRows[y][x]; }
  uint8_t U(int x, int y) const { return uRows[y][x]; }
  uint8_t V(int x, int y) const { return vRows[y][x]; }
};

// `width` and `height` should be even.  Samples are uniform random bytes.
Picture MakePicture(int width, int height, uint32_t seed, RowOrder order = RowOrder::kDown);
Picture MakeFlatPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v);
// Rebuilds the row tables and PlaneSet after the planes were changed or moved.
void LinkRows(Picture& picture, RowOrder order);

// An output buffer with guard bytes on both sides; the payload starts filled
// with `fill` so untouched bytes can be told from written ones.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size, uint8_t fill = 0xA5);
  uint8_t* data() { return bytes_.data() + kGuard; }
  const uint8_t* data() const { return bytes_.data() + kGuard; }
  size_t size() const { return size_; }
  bool GuardsIntact() const;
  std::vector<uint8_t> Payload() const { return std::vector<uint8_t>(data(), data() + size_); }

 private:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0x5C;
  size_t size_;
  std::vector<uint8_t> bytes_;
};

// `size` bytes in address space reserved for them, between two `guard`-byte
// stretches that fault on any access.  Only the pages touched are ever backed
// by memory, so pictures far larger than the machine's memory can be
// converted when few of their macroblocks are marked.  data() is null where
// the reservation is refused.
class ReservedBuffer {
 public:
  ReservedBuffer(size_t size, size_t guard);
  ~ReservedBuffer();
  ReservedBuffer(const ReservedBuffer&) = delete;
  ReservedBuffer& operator=(const ReservedBuffer&) = delete;
  uint8_t* data() const { return data_; }

 private:
  void* base_ = nullptr;
  size_t reserved_ = 0;
  uint8_t* data_ = nullptr;
};

// A BITMAPINFOHEADER with room for 256 colour-table entries behind it.
struct HeaderWithPalette {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};
HeaderWithPalette MakeHeader(int32_t width, int32_t height, uint16_t bitCount,
                             uint32_t compression);
HeaderWithPalette MakeHeader(const OutputLayoutInfo& layout, int32_t width, int32_t height);

// A map of `count` bytes, all `value`.
std::vector<uint8_t> FullMap(size_t count, uint8_t value = 1);
// A map with about `percent` % of `count` bytes set, from `seed`.
std::vector<uint8_t> RandomMap(size_t count, uint32_t seed, int percent = 50);

// Forces a path for the lifetime of the object; restores automatic choice.
class ScopedPathLimit {
 public:
  explicit ScopedPathLimit(CodePath limit) { SetPathLimit(limit); }
  ~ScopedPathLimit() { SetPathLimit(kWidestCodePath); }
  ScopedPathLimit(const ScopedPathLimit&) = delete;
  ScopedPathLimit& operator=(const ScopedPathLimit&) = delete;
};

// The paths this machine can run, integer first.
std::vector<CodePath> SupportedPaths();

// Sets the display adjustments and makes the next Kelmar() call see them as
// unchanged, so it does not overwrite the caller's map.
void SetDisplayQuietly(int32_t brightness, int32_t contrast, int32_t saturation, int32_t balance);

// The tables a call with these adjustments reads, built by the test.
std::unique_ptr<RgbTables> RgbTablesFor(int32_t brightness, int32_t contrast, int32_t saturation);
std::unique_ptr<PackedTables> PackedTablesFor(const DisplayValues& adjust);

// The tables of the display setting as it stands now, as the next call would
// read them.  Valid until the next call of this function.
const RgbTables& TablesOfCurrentSetting();

// The plan that forcing `path` gives, as Kelmar() would choose it.
ConvertPlan PlanFor(CodePath path);

// True when no MMX register is left in use (the x87 tag word is all empty):
// a converter that forgot EMMS would leave the host's floating point broken.
bool FloatingPointStateClean();

// Runs `convert` once with every path this machine has forced, integer
// first, and requires the integer path's bytes from every other path and a
// clean floating-point state after each.  Returns the integer path's bytes.
std::vector<uint8_t> ExpectSameBytesOnEveryPath(
    const std::function<std::vector<uint8_t>(CodePath)>& convert, const std::string& what);

}  // namespace kelmar::test
