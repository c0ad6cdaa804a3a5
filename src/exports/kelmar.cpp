// The exported entry points and the dispatch on the output layout.
#include "kelmar.h"

#include <cstring>

#include "exports/cpu.h"
#include "exports/state.h"
#include "packed/packed.h"
#include "rgb/converters.h"
#include "tables/adjust_tables.h"
#include "tables/dither_palette.h"

namespace kelmar {

DisplayValues DisplayAdjust;
DisplayValues LastDisplayAdjust;
int32_t UseMmx;
WideSimd WideLevel;

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// A change of the display adjustments marks every macroblock, so the whole
// picture is redrawn with the new tables.  The count is the header's 32-bit
// (wrapping) product over 256; a negative product marks nothing.
void MarkAllOnDisplayChange(const BITMAPINFOHEADER* header, uint8_t* mbMap) {
  if (DisplayAdjust != LastDisplayAdjust) {
    const uint32_t pixels =
        static_cast<uint32_t>(header->biWidth) * static_cast<uint32_t>(header->biHeight);
    const int32_t count = static_cast<int32_t>(pixels) / 256;
    if (count > 0) std::memset(mbMap, 1, static_cast<uint32_t>(count));
  }
  LastDisplayAdjust = DisplayAdjust;
}

// Work every non-packed call does before its layout is examined.
void PrepareRgbTables(BITMAPINFOHEADER* header, int32_t reserved) {
  header->biClrImportant = 0;
  BuildAdjustTables(reserved);
  if (header->biBitCount == 8) {
    RebuildDitherPalette();
    std::memcpy(reinterpret_cast<uint8_t*>(header) + header->biSize, DitherPalette,
                sizeof(DitherPalette));
    header->biClrUsed = 256;
  }
}

}  // namespace
}  // namespace kelmar

using namespace kelmar;

extern "C" {

KELMAR_API int32_t KELMAR_CALL Kelmar(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                      uint8_t* mbMap, int32_t reserved, int32_t zoom) {
  SelectPaths();
  MarkAllOnDisplayChange(header, mbMap);

  const uint32_t compression = header->biCompression;
  if (compression == KELMAR_FOURCC_UYVY) {
    PackUYVY(header->biWidth, header->biHeight, dst, planes, mbMap);
    return 0;
  }
  if (compression == KELMAR_FOURCC_YUY2) {
    PackYUY2(header->biWidth, header->biHeight, dst, planes, mbMap);
    return 0;
  }

  PrepareRgbTables(header, reserved);
  const uint16_t bitCount = header->biBitCount;
  if (compression == kBiRgb) {
    switch (bitCount) {
      case 24: ConvertRgb24(header, dst, planes, mbMap, reserved, zoom); break;
      case 16: ConvertRgb555(header, dst, planes, mbMap, reserved, zoom); break;
      case 8: ConvertPal8(header, dst, planes, mbMap, reserved, zoom); break;
      default: break;  // other bit counts draw nothing
    }
    return 0;
  }
  if (compression == kBiBitfields && bitCount == 16) {
    ConvertRgb565(header, dst, planes, mbMap, reserved, zoom);
    return 0;
  }
  return -1;
}

KELMAR_API int32_t KELMAR_CALL KelmarW(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                       uint8_t* mbMap, int32_t reserved, int32_t zoom) {
  return Kelmar(header, dst, planes, mbMap, reserved, zoom);
}

KELMAR_API void KELMAR_CALL SetDisplay(int32_t brightness, int32_t contrast, int32_t saturation,
                                       int32_t balance) {
  DisplayAdjust = {brightness, contrast, saturation, balance};
}

KELMAR_API int32_t KELMAR_CALL DecGetPal(RGBQUAD* palette, uint32_t count, int32_t reserved) {
  return GetPalette(palette, count, reserved);
}

// In the DLL the module definition exports these names as second names of
// the same entry points; elsewhere they are plain functions.
#if !defined(_WIN32)
KELMAR_API void KELMAR_CALL SetDisplayW(int32_t brightness, int32_t contrast, int32_t saturation,
                                        int32_t balance) {
  SetDisplay(brightness, contrast, saturation, balance);
}

KELMAR_API int32_t KELMAR_CALL DecGetPalW(RGBQUAD* palette, uint32_t count, int32_t reserved) {
  return DecGetPal(palette, count, reserved);
}
#endif

}  // extern "C"
