// Everything the RGB layouts read for one display setting: the adjustment
// tables, the 8-bit palette with its dither tables, and the integer forms
// of both that the vector paths compute instead of reading tables.
#pragma once

#include <cstdint>

#include "common/display_values.h"
#include "rgb/closed_forms.h"
#include "tables/adjust_tables.h"
#include "tables/dither_palette.h"

namespace kelmar {

// The 4 x 4 dither offsets of 8-bit output as bytes: luma (BayerMatrix) and
// chroma (DitherMatrix) offsets by matrix row and column.
struct DitherPatterns {
  uint8_t luma[4][4];
  uint8_t chroma[4][4];
};

// The quantiser tables are runs of equal values that saturating byte
// arithmetic reproduces; `exact` says whether these tables are those runs
// and their offsets fit in bytes.  The arithmetic adds these biases to the
// luma and chroma offsets, so that saturation at 255 clamps the shares
// from above.
constexpr int32_t kDitherLumaBias = 2;
constexpr int32_t kDitherChromaBias = 48;
struct DitherForms {
  bool exact;
  DitherPatterns patterns;
};
DitherForms AnalyseDitherTables(const DitherTables& tables);

struct RgbTables {
  // Balance plays no part in the RGB layouts; keys carry it as 0.
  using Key = DisplayValues;
  static Key KeyFor(const DisplayValues& adjust) {
    return {adjust.brightness, adjust.contrast, adjust.saturation, 0};
  }
  static void Build(const Key& key, RgbTables& tables);

  AdjustTables adjust;
  DitherTables dither;
  RgbClosedForms forms;
  DitherForms ditherForms;
};

}  // namespace kelmar
