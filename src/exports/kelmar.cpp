// The exported entry points and the dispatch on the output layout.
//
// A call takes everything it needs at its start: the code paths (the
// processor test), one snapshot of the display adjustments, and the tables
// of that setting, pinned for the call.  The rest lives in the call's own
// locals, so any number of threads may call the exports at once.
#include "kelmar.h"

#include <cstring>

#include "common/cpu.h"
#include "common/layout_facts.h"
#include "common/table_cache.h"
#include "exports/display_state.h"
#include "packed/packed.h"
#include "rgb/converters.h"
#include "rgb/rgb_tables.h"

namespace kelmar {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// The last few settings' tables.  More calls than slots with different
// settings at one moment build their tables for themselves.
constexpr int kCachedSettings = 8;
TableCache<RgbTables, kCachedSettings> rgbTableCache;
TableCache<PackedTables, kCachedSettings> packedTableCache;

template <typename Tables, typename Use>
__attribute__((noinline)) auto UseOwnTables(const typename Tables::Key& key, Use use) {
  Tables own;  // some kilobytes of stack, only when every slot is being read
  Tables::Build(key, own);
  return use(own);
}

// Calls use(tables) with the tables of `adjust`, pinned for the call.
template <typename Tables, typename Use>
auto WithTables(TableCache<Tables, kCachedSettings>& cache, const DisplayValues& adjust, Use use) {
  const typename Tables::Key key = Tables::KeyFor(adjust);
  typename TableCache<Tables, kCachedSettings>::Pin pin;
  if (cache.Acquire(key, pin)) return use(*pin.get());
  return UseOwnTables<Tables>(key, use);
}

// A change of the display adjustments marks every macroblock, so the whole
// picture is redrawn with the new tables.  The count is the header's 32-bit
// (wrapping) product over 256; a negative product marks nothing.
void MarkAllMacroblocks(const BITMAPINFOHEADER* header, uint8_t* mbMap) {
  const uint32_t pixels =
      static_cast<uint32_t>(header->biWidth) * static_cast<uint32_t>(header->biHeight);
  const int32_t count = static_cast<int32_t>(pixels) / 256;
  if (count > 0) std::memset(mbMap, 1, static_cast<uint32_t>(count));
}

void PackPicture(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, const ConvertPlan& plan, const DisplayValues& adjust) {
  const auto pack = [&](const PackedTables* tables) {
    const PackedCall call = {plan, tables};
    const OutputGeometry geometry = PackedGeometry(*header);
    if (header->biCompression == KELMAR_FOURCC_UYVY)
      PackUYVY(geometry, dst, planes, mbMap, call);
    else
      PackYUY2(geometry, dst, planes, mbMap, call);
  };
  // With every adjustment at zero the samples are copied and no table is read.
  if (!AnyAdjustment(adjust)) return pack(nullptr);
  WithTables(packedTableCache, adjust, [&](const PackedTables& tables) { pack(&tables); });
}

// What every call not for a packed layout does before its layout is
// examined, then the converter for the layout.  `compression` is the value
// the call started with; a colour table that starts inside a short header
// may overwrite the field, and the bit count is read after it.
int32_t ConvertRgb(BITMAPINFOHEADER* header, uint32_t compression, void* dst,
                   const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom,
                   const RgbCall& call) {
  if (header->biBitCount == 8) {
    std::memcpy(reinterpret_cast<uint8_t*>(header) + header->biSize,
                call.tables->dither.DitherPalette, sizeof(call.tables->dither.DitherPalette));
    header->biClrUsed = 256;
  }
  const uint16_t bitCount = header->biBitCount;
  const auto geometry = [&](int bytesPerPixel) {
    return RgbGeometry(*header, zoom, bytesPerPixel);
  };
  if (compression == kBiRgb) {
    switch (bitCount) {
      case 24: ConvertRgb24(geometry(Rgb24Facts::kBytesPerPixel), dst, planes, mbMap, call); break;
      case 16:
        ConvertRgb555(geometry(Rgb555Facts::kBytesPerPixel), dst, planes, mbMap, call);
        break;
      case 8: ConvertPal8(geometry(Pal8Facts::kBytesPerPixel), dst, planes, mbMap, call); break;
      default: break;  // other bit counts draw nothing
    }
    return 0;
  }
  if (compression == kBiBitfields && bitCount == 16) {
    ConvertRgb565(geometry(Rgb565Facts::kBytesPerPixel), dst, planes, mbMap, call);
    return 0;
  }
  return -1;
}

}  // namespace
}  // namespace kelmar

using namespace kelmar;

extern "C" {

KELMAR_API int32_t KELMAR_CALL Kelmar(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                      uint8_t* mbMap, int32_t /*reserved*/, int32_t zoom) {
  const ConvertPlan plan = ChooseConvertPlan();
  const DisplaySnapshot display = TakeDisplayAdjust();
  if (display.changed) MarkAllMacroblocks(header, mbMap);

  const uint32_t compression = header->biCompression;
  if (compression == KELMAR_FOURCC_UYVY || compression == KELMAR_FOURCC_YUY2) {
    PackPicture(header, dst, planes, mbMap, plan, display.adjust);
    return 0;
  }
  header->biClrImportant = 0;
  return WithTables(rgbTableCache, display.adjust, [&](const RgbTables& tables) {
    return ConvertRgb(header, compression, dst, planes, mbMap, zoom, {plan, &tables});
  });
}

KELMAR_API int32_t KELMAR_CALL KelmarW(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                       uint8_t* mbMap, int32_t reserved, int32_t zoom) {
  return Kelmar(header, dst, planes, mbMap, reserved, zoom);
}

KELMAR_API void KELMAR_CALL SetDisplay(int32_t brightness, int32_t contrast, int32_t saturation,
                                       int32_t balance) {
  StoreDisplayAdjust({brightness, contrast, saturation, balance});
}

KELMAR_API int32_t KELMAR_CALL DecGetPal(RGBQUAD* palette, uint32_t count, int32_t /*reserved*/) {
  const uint32_t n = count < 256 ? count : 256;
  WithTables(rgbTableCache, LoadDisplayAdjust(), [&](const RgbTables& tables) {
    if (n > 0) std::memcpy(palette, tables.dither.DitherPalette, n * sizeof(RGBQUAD));
  });
  return static_cast<int32_t>(n);
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
