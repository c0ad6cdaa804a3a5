// Building the tables of one display setting, with their integer forms.
#include "rgb/rgb_tables.h"

namespace kelmar {
namespace {

// The quantiser levels as the vector code computes them (saturating byte
// arithmetic) for the table index i = sample + offset, which may pass 255.
int32_t SaturatedSum(int32_t i, int32_t bias) { return i + bias < 255 ? i + bias : 255; }
int32_t SaturatedSub(int32_t a, int32_t b) { return a > b ? a - b : 0; }
int32_t LumaShare(int32_t i) {
  const int32_t level = SaturatedSub(SaturatedSum(i, kDitherLumaBias), 16) & 0xF0;
  return level < 16 ? 16 : level;
}
int32_t ChromaBits(int32_t i) {
  return SaturatedSub(SaturatedSum(i, kDitherChromaBias), 128) & 0x60;
}
int32_t UShare(int32_t i) { return ChromaBits(i) >> 3; }
int32_t VShare(int32_t i) { return ChromaBits(i) >> 5; }

}  // namespace

DitherForms AnalyseDitherTables(const DitherTables& tables) {
  DitherForms forms = {};
  // Offsets must keep every index inside the tables.
  constexpr int32_t kMaxOffset = kQuantTableSize - 256;
  static_assert(kMaxOffset + kDitherChromaBias <= 255 && kMaxOffset + kDitherLumaBias <= 255,
                "the biased offsets must be bytes");
  for (int k = 0; k < 16; ++k) {
    const int32_t luma = BayerMatrix[k];
    const int32_t chroma = tables.DitherMatrix[k];
    if (luma < 0 || luma > kMaxOffset || chroma < 0 || chroma > kMaxOffset) return forms;
    forms.patterns.luma[k / 4][k % 4] = static_cast<uint8_t>(luma);
    forms.patterns.chroma[k / 4][k % 4] = static_cast<uint8_t>(chroma);
  }
  for (int32_t i = 0; i < kQuantTableSize; ++i) {
    if (tables.YQuantTable[i] != LumaShare(i) || tables.UQuantTable[i] != UShare(i) ||
        tables.VQuantTable[i] != VShare(i))
      return forms;
  }
  forms.exact = true;
  return forms;
}

void RgbTables::Build(const Key& key, RgbTables& tables) {
  BuildAdjustTables(key.brightness, key.contrast, key.saturation, tables.adjust);
  BuildDitherTables(tables.adjust, tables.dither);
  tables.forms = AnalyseAdjustTables(tables.adjust, key.brightness, key.contrast, key.saturation);
  tables.ditherForms = AnalyseDitherTables(tables.dither);
}

}  // namespace kelmar
