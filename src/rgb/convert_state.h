// The driving pattern every RGB converter shares: a driver over the
// macroblock rows (top to bottom) and a row converter over the macroblocks
// of one row (left to right), converting those whose map byte is non-zero.
// All of it works on a ConvertState local to the call.
#pragma once

#include <cstdint>

#include "common/addressing.h"
#include "common/cpu.h"
#include "kelmar.h"
#include "rgb/rgb_tables.h"

namespace kelmar {

struct ConvertState {
  int32_t srcWidth;
  int32_t srcHeight;
  int32_t mbCols;
  int32_t mbRows;
  // Byte distances are 64-bit so that no header value can overflow them.
  int64_t rowBytes;    // distance between output rows at normal size
  int64_t mbRowBytes;  // 16 output rows at normal size
  uint8_t* rowOut;     // output of the current macroblock row
  int32_t mbIndex;     // next macroblock map byte to test
};

// What one RGB conversion follows: the call's code paths and the tables of
// its display setting.
struct RgbCall {
  ConvertPlan plan;
  const RgbTables* tables;
};

// What every row converter of a call reads besides its ConvertState.
struct RowJob {
  const PlaneSet* planes;
  const uint8_t* mbMap;
  const RgbTables* tables;
  int32_t zoom;
};

// Converts the marked macroblocks of macroblock row `mbRow` and advances
// state.mbIndex past the row.  Each converter chooses one for the whole call.
using RowConverter = void (*)(const RowJob& job, ConvertState& state, int32_t mbRow);

// The state at the start of a call: the source size is the header's size,
// halved (toward zero) at double size.
inline ConvertState StartConvert(const BITMAPINFOHEADER* header, void* dst, int32_t zoom,
                                 int bytesPerPixel) {
  ConvertState state;
  const int32_t width = header->biWidth;
  const int32_t height = header->biHeight;
  state.srcWidth = zoom ? width / 2 : width;
  state.srcHeight = zoom ? height / 2 : height;
  state.mbCols = state.srcWidth >> 4;
  state.mbRows = state.srcHeight >> 4;
  state.rowBytes = static_cast<int64_t>(bytesPerPixel) * state.srcWidth;
  state.mbRowBytes = 16 * state.rowBytes;
  state.rowOut = static_cast<uint8_t*>(dst);
  state.mbIndex = 0;
  return state;
}

// Output bytes one macroblock row covers: 16 rows, or 32 rows twice as wide
// at double size.
inline int64_t MacroblockRowAdvance(const ConvertState& state, int32_t zoom) {
  return zoom ? 4 * state.mbRowBytes : state.mbRowBytes;
}

// The driver: the picture one macroblock row at a time, top to bottom.
inline void DriveConverter(ConvertState state, RowConverter convertRow, const RowJob& job) {
  // Without a whole macroblock column nothing is converted, and the output
  // pointer must not walk the rows of a buffer that has none.
  if (state.mbCols < 1) return;
  for (int32_t mbRow = 0; mbRow < state.mbRows; ++mbRow) {
    convertRow(job, state, mbRow);
    state.rowOut += MacroblockRowAdvance(state, job.zoom);
  }
}

// Calls `convertMacroblock(c, out)` for every marked macroblock of the current
// macroblock row, left to right; `out` is where its output starts.  Every
// macroblock visited advances the map index, converted or not.
template <typename ConvertMacroblock>
inline void ForEachMarkedMacroblock(ConvertState& state, int bytesPerPixel, const RowJob& job,
                                    ConvertMacroblock convertMacroblock) {
  const int64_t macroblockBytes = (job.zoom ? 32 : 16) * bytesPerPixel;
  uint8_t* out = state.rowOut;
  for (int32_t c = 0; c < state.mbCols; ++c) {
    if (job.mbMap[state.mbIndex]) convertMacroblock(c, out);
    ++state.mbIndex;
    out += macroblockBytes;
  }
}

// The three chroma terms of one 2 x 2 block of pixels.
struct PixelTerms {
  int32_t blue;
  int32_t green;
  int32_t red;
};

inline PixelTerms LookupTerms(const AdjustTables& tables, uint8_t u, uint8_t v) {
  const ChromaTerms& uTerms = tables.UTable()[u];
  const ChromaTerms& vTerms = tables.VTable()[v];
  return {uTerms.other, uTerms.green + vTerms.green, vTerms.other};
}

// Normal size, rows found by stepping: two output rows of one macroblock
// from its row pair `src`.
using RowPairConverter = void (*)(const AdjustTables& tables, const RowPairSource& src,
                                  uint8_t* out0, uint8_t* out1);

// The eight row pairs of one macroblock, found by stepping from the
// macroblock row's first table entries by the stride of entries 0 and 1.
template <RowPairConverter kConvertPair>
inline void ConvertSteppedMacroblock(const AdjustTables& tables, const RowPairSource& first,
                                     intptr_t lumaStride, int64_t rowBytes, uint8_t* out) {
  const intptr_t chromaStride = ChromaStrideFromLuma(lumaStride);
  RowPairSource src = first;
  for (int j = 0; j < 8; ++j) {
    src.y1 = StepBytes(src.y0, lumaStride);
    kConvertPair(tables, src, out, out + rowBytes);
    src.y0 = StepBytes(src.y0, 2 * lumaStride);
    src.u = StepBytes(src.u, chromaStride);
    src.v = StepBytes(src.v, chromaStride);
    out = StepBytes(out, 2 * rowBytes);
  }
}

// Calls `convertMacroblock(first, lumaStride, out)` for every marked
// macroblock of row `mbRow`, whose rows are found by stepping: `first` holds
// its first luma row and chroma rows.  The stride is read once per
// macroblock row.
template <typename ConvertMacroblock>
inline void ForEachSteppedMacroblock(const RowJob& job, ConvertState& state, int bytesPerPixel,
                                     int32_t mbRow, ConvertMacroblock convertMacroblock) {
  const PlaneSet* planes = job.planes;
  const intptr_t lumaStride = LumaStride(planes);
  const uint8_t* const yRow = planes->yRows[16 * mbRow];
  const uint8_t* const uRow = planes->uRows[8 * mbRow];
  const uint8_t* const vRow = planes->vRows[8 * mbRow];
  ForEachMarkedMacroblock(state, bytesPerPixel, job, [&](int32_t c, uint8_t* out) {
    const RowPairSource first = {yRow + 16 * c, nullptr, uRow + 8 * c, vRow + 8 * c};
    convertMacroblock(first, lumaStride, out);
  });
}

// The row converter of the normal-size stepped layouts (24-bit, 5-5-5).
template <int kBytesPerPixel, RowPairConverter kConvertPair>
void ConvertSteppedRow(const RowJob& job, ConvertState& state, int32_t mbRow) {
  ForEachSteppedMacroblock(job, state, kBytesPerPixel, mbRow,
                           [&](const RowPairSource& first, intptr_t lumaStride, uint8_t* out) {
                             ConvertSteppedMacroblock<kConvertPair>(
                                 job.tables->adjust, first, lumaStride, state.rowBytes, out);
                           });
}

// The rows of row pair `j` of macroblock (`mbRow`, `column`), each from its
// own table entry.
inline RowPairSource RowPairFromTables(const PlaneSet* planes, int32_t mbRow, int32_t column,
                                       int j) {
  const int32_t lumaRow = 16 * mbRow + 2 * j;
  const int32_t chromaRow = 8 * mbRow + j;
  return {planes->yRows[lumaRow] + 16 * column, planes->yRows[lumaRow + 1] + 16 * column,
          planes->uRows[chromaRow] + 8 * column, planes->vRows[chromaRow] + 8 * column};
}

}  // namespace kelmar
