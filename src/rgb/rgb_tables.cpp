// Building the tables of one display setting, with their integer forms.
#include "rgb/rgb_tables.h"

namespace kelmar {
namespace {

// The quantiser levels as the vector code computes them, for a table index
// already saturated to a byte.
uint8_t SaturatedSub(int32_t a, int32_t b) { return static_cast<uint8_t>(a > b ? a - b : 0); }
int32_t LumaShare(int32_t i) {
  const int32_t level = SaturatedSub(i, 14) & 0xF0;
  return level < 16 ? 16 : (level > 224 ? 224 : level);
}
int32_t UShare(int32_t i) {
  const int32_t level = (SaturatedSub(i, 80) >> 3) & 0x1C;
  return level > 12 ? 12 : level;
}
int32_t VShare(int32_t i) {
  const int32_t level = (SaturatedSub(i, 80) >> 5) & 0x07;
  return level > 3 ? 3 : level;
}

}  // namespace

DitherForms AnalyseDitherTables(const DitherTables& tables) {
  DitherForms forms = {};
  // Offsets must keep every index inside the tables.
  constexpr int32_t kMaxOffset = kQuantTableSize - 256;
  for (int k = 0; k < 16; ++k) {
    const int32_t luma = BayerMatrix[k];
    const int32_t chroma = tables.DitherMatrix[k];
    if (luma < 0 || luma > kMaxOffset || chroma < 0 || chroma > kMaxOffset) return forms;
    forms.patterns.luma[k / 4][k % 4] = static_cast<uint8_t>(luma);
    forms.patterns.chroma[k / 4][k % 4] = static_cast<uint8_t>(chroma);
  }
  for (int32_t i = 0; i < kQuantTableSize; ++i) {
    const int32_t saturated = i < 255 ? i : 255;
    if (tables.YQuantTable[i] != LumaShare(saturated) ||
        tables.UQuantTable[i] != UShare(saturated) || tables.VQuantTable[i] != VShare(saturated))
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
