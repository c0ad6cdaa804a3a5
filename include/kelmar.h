/* Kelmar: planar YUV 4:2:0 to RGB / packed 4:2:2 conversion for the display
 * stage of a video decoder.  Usable from C and C++.
 *
 * A host calls SetDisplay() to set brightness, contrast, saturation and U/V
 * balance, then Kelmar() once per decoded picture.  Only the 16 x 16
 * macroblocks whose byte in the macroblock map is non-zero are converted.
 */
#ifndef KELMAR_H
#define KELMAR_H

#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#define KELMAR_CALL __stdcall
#else
#define KELMAR_CALL
#endif

#if defined(KELMAR_BUILDING_LIBRARY) && !defined(_WIN32)
#define KELMAR_API __attribute__((visibility("default")))
#else
#define KELMAR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)
/* The Windows bitmap records, with the platform's exact layouts. */
#pragma pack(push, 2)
typedef struct tagBITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} BITMAPINFOHEADER;
#pragma pack(pop)

typedef struct tagRGBQUAD {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
} RGBQUAD;

#define BI_RGB 0
#define BI_BITFIELDS 3
#endif

/* biCompression values selecting the packed 4:2:2 layouts. */
#define KELMAR_FOURCC_UYVY 0x59565955u
#define KELMAR_FOURCC_YUY2 0x32595559u

/* Row-pointer tables of the three planes of a 4:2:0 picture: yRows has one
 * entry per luma row, uRows and vRows one per chroma row.  Rows must be evenly
 * spaced (see README): converters may step from row to row by distance. */
typedef struct PlaneSet {
  const uint8_t* const* yRows;
  const uint8_t* const* uRows;
  const uint8_t* const* vRows;
} PlaneSet;

/* Converts the marked macroblocks of `planes` into `dst` in the layout that
 * `header` describes.  `zoom` != 0 doubles RGB output in each direction.
 * `reserved` is ignored.
 *
 * The layout is chosen by biCompression as it stands when the call starts,
 * then by biBitCount:
 *   KELMAR_FOURCC_UYVY, KELMAR_FOURCC_YUY2  packed 4:2:2 (any bit count)
 *   BI_RGB with 24, 16 or 8 bits            24-bit, 5-5-5 or 8-bit dithered
 *   BI_BITFIELDS with 16 bits               5-6-5
 * Returns 0 for these, and also for BI_RGB with any other bit count (32, 4,
 * 1, 0, ...), which draws nothing.  Returns -1, drawing nothing, only for
 * BI_BITFIELDS with a bit count other than 16 and for any other compression.
 *
 * Before the layout is examined, every call (also one that returns -1 or
 * draws nothing) sets the first (biWidth x biHeight) / 256 bytes of mbMap
 * to 1 if the adjustments changed since the last call (see SetDisplay).
 * Every call that is not for a packed layout sets biClrImportant to 0; with
 * biBitCount 8 it also writes the 256-entry palette at
 * (uint8_t *)header + biSize and sets biClrUsed to 256, and the bit count
 * is read after that write. */
KELMAR_API int32_t KELMAR_CALL Kelmar(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                      uint8_t* mbMap, int32_t reserved, int32_t zoom);
KELMAR_API int32_t KELMAR_CALL KelmarW(BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                                       uint8_t* mbMap, int32_t reserved, int32_t zoom);

/* Stores the display adjustments used from the next Kelmar() call on.  A
 * change makes that call redraw every macroblock. */
KELMAR_API void KELMAR_CALL SetDisplay(int32_t brightness, int32_t contrast, int32_t saturation,
                                       int32_t balance);
KELMAR_API void KELMAR_CALL SetDisplayW(int32_t brightness, int32_t contrast, int32_t saturation,
                                        int32_t balance);

/* Copies up to `count` (at most 256) entries of the 8-bit output palette for
 * the current adjustments into `palette`; returns the number copied. */
KELMAR_API int32_t KELMAR_CALL DecGetPal(RGBQUAD* palette, uint32_t count, int32_t reserved);
KELMAR_API int32_t KELMAR_CALL DecGetPalW(RGBQUAD* palette, uint32_t count, int32_t reserved);

#ifdef __cplusplus
}
#endif

#endif /* KELMAR_H */
