// The driver shared by the 16-bit converters.
#include "rgb/rgb16.h"

namespace kelmar {

ConvertState Rgb16State;

void DriveRgb16(Rgb16RowConverter convertRow, const BITMAPINFOHEADER* header, void* dst,
                const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom) {
  ConvertState& state = Rgb16State;
  StartConvert(state, header, dst, zoom, kRgb16BytesPerPixel);
  // Without a whole macroblock column nothing is converted, and the output
  // pointer must not walk the rows of a buffer that has none.
  if (state.mbCols < 1) return;
  for (int32_t mbRow = 0; mbRow < state.mbRows; ++mbRow) {
    convertRow(mbRow, planes, mbMap, zoom);
    state.rowOut += MacroblockRowAdvance(state, zoom);
  }
}

}  // namespace kelmar
