// What distinguishes the output layouts, one place per layout, for the
// integer, MMX and vector code alike.
#pragma once

#include <cstdint>

namespace kelmar {

// Where a converter finds the source rows of a macroblock row at normal
// size: by stepping from the macroblock row's first table entries with the
// stride of entries 0 and 1, or from every row's own table entry.  At double
// size the RGB layouts other than 8-bit read every row's own entry.
enum class RowSource { kStepped, kEveryEntry };

// Offsets added to a LumaTable index before the lookup.  Red and blue are
// rounded to the nearest output level; green alternates between two offsets
// by the parity of x + y, a 2 x 2 checkerboard dither on top of the
// rounding.  At double size every offset is 0.
struct LumaOffsets {
  int32_t redBlue;
  int32_t greenEven;  // x + y even
  int32_t greenOdd;   // x + y odd
};

struct Rgb24Facts {
  static constexpr int kBytesPerPixel = 3;
  static constexpr LumaOffsets kOffsets = {0, 0, 0};  // whole output levels
  static constexpr RowSource kRows = RowSource::kStepped;
};

// Five bits per colour: half an output level is 4 table steps; green gets 6
// and 2 alternately, which averages to the same rounding.
struct Rgb555Facts {
  static constexpr int kBytesPerPixel = 2;
  static constexpr LumaOffsets kOffsets = {4, 6, 2};
  static constexpr RowSource kRows = RowSource::kStepped;
};

// Green has one bit more than in 5-5-5, so half the green offsets.  This
// layout reads every row's own table entry at both sizes.
struct Rgb565Facts {
  static constexpr int kBytesPerPixel = 2;
  static constexpr LumaOffsets kOffsets = {4, 3, 1};
  static constexpr RowSource kRows = RowSource::kEveryEntry;
};

// Palette indices from the raw samples; rows are stepped at both sizes.
struct Pal8Facts {
  static constexpr int kBytesPerPixel = 1;
  static constexpr RowSource kRows = RowSource::kStepped;
};

// An RGB layout at double size: each source pixel written twice side by
// side on the even output rows, every offset 0, every row from its own
// table entry.  kBytesPerPixel is the output of one source pixel.
template <typename Facts>
struct DoubledFacts {
  using Single = Facts;
  static constexpr int kBytesPerPixel = 2 * Facts::kBytesPerPixel;
  static constexpr LumaOffsets kOffsets = {0, 0, 0};
  static constexpr RowSource kRows = RowSource::kEveryEntry;
};

// The RGB layouts, as the exports name them to the kernel table.
enum class RgbLayout { kRgb24, kRgb555, kRgb565, kPal8 };

constexpr int32_t LargestOffset(const LumaOffsets& o) {
  const int32_t green = o.greenEven > o.greenOdd ? o.greenEven : o.greenOdd;
  return o.redBlue > green ? o.redBlue : green;
}

// The largest offset any layout adds to a LumaTable index: the table
// reaches that far past the largest index a sample and a term make.
constexpr int32_t kMaxLumaOffset = LargestOffset(Rgb555Facts::kOffsets);
static_assert(LargestOffset(Rgb24Facts::kOffsets) <= kMaxLumaOffset &&
                  LargestOffset(Rgb565Facts::kOffsets) <= kMaxLumaOffset,
              "the 5-5-5 offsets are the largest");

// Packed 4:2:2 output goes bottom-up: the last table row first.  Rows are
// reached from one yRows and one uRows entry per macroblock, with the
// chroma stride of vRows entries 0 and 1; only the unadjusted copy has an
// MMX path.
struct PackedFacts {
  static constexpr int kBytesPerPixel = 2;
  static constexpr int kSpanBytes = 32;  // one output row of one macroblock
};

}  // namespace kelmar
