/* A Windows host that links KELMAR.dll through an import library and calls
 * all six exports, as a program built against kelmar.h does.  It is built
 * twice: by mingw-w64 with its C runtime (main), and without any C runtime,
 * linked by lld-link against KELMAR.lib with HostEntry as the entry point.
 * Either returns 0 when every call gives the expected answer, otherwise the
 * number of the first check that failed, which is the process's status. */
#include <kelmar.h>

enum { kSide = 16 }; /* one macroblock */

/* Static, so that nothing needs a C runtime to be cleared or copied. */
static uint8_t luma[kSide][kSide];
static uint8_t chromaU[kSide / 2][kSide / 2], chromaV[kSide / 2][kSide / 2];
static uint8_t bgr[kSide * kSide * 3];
static uint8_t map[1];
static BITMAPINFOHEADER header;
static RGBQUAD palette[256];

/* Every byte of the 24-bit output equals `grey`. */
static int AllGrey(uint8_t grey) {
  for (int i = 0; i < kSide * kSide * 3; ++i)
    if (bgr[i] != grey) return 0;
  return 1;
}

int HostEntry(void) {
  const uint8_t* yRows[kSide];
  const uint8_t *uRows[kSide / 2], *vRows[kSide / 2];
  for (int row = 0; row < kSide; ++row) {
    for (int x = 0; x < kSide; ++x) luma[row][x] = 200;
    yRows[row] = luma[row];
  }
  for (int row = 0; row < kSide / 2; ++row) {
    for (int x = 0; x < kSide / 2; ++x) chromaU[row][x] = chromaV[row][x] = 128;
    uRows[row] = chromaU[row];
    vRows[row] = chromaV[row];
  }
  const PlaneSet planes = {yRows, uRows, vRows};
  header.biSize = sizeof header;
  header.biWidth = kSide;
  header.biHeight = kSide;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;

  SetDisplay(0, 0, 0, 0);
  map[0] = 1;
  if (Kelmar(&header, bgr, &planes, map, 0, 0) != 0) return 1;
  if (!AllGrey(200)) return 2;
  SetDisplayW(1, 0, 0, 0); /* 10 levels brighter */
  map[0] = 1;
  if (KelmarW(&header, bgr, &planes, map, 0, 0) != 0) return 3;
  if (!AllGrey(210)) return 4;
  if (DecGetPal(palette, 256, 0) != 256) return 5;
  if (DecGetPalW(palette, 16, 0) != 16) return 6;
  return 0;
}

#if !defined(KELMAR_HOST_NO_C_RUNTIME)
int main(void) { return HostEntry(); }
#endif
