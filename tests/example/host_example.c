/* A host converting one 64 x 48 picture to 24-bit BGR. */
#include <kelmar.h>
#include <stdio.h>
#include <string.h>

enum { kWidth = 64, kHeight = 48 }; /* whole 16 x 16 macroblocks */

static uint8_t lumaPlane[kHeight][kWidth];
static uint8_t uPlane[kHeight / 2][kWidth / 2], vPlane[kHeight / 2][kWidth / 2];
static uint8_t bgr[kHeight][kWidth * 3]; /* rows follow each other directly */

int main(void) {
  /* A horizontal grey ramp with a little blue in it. */
  const uint8_t* yRows[kHeight];
  const uint8_t *uRows[kHeight / 2], *vRows[kHeight / 2];
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) lumaPlane[row][x] = (uint8_t)(x * 4);
    yRows[row] = lumaPlane[row];
  }
  for (int row = 0; row < kHeight / 2; ++row) {
    memset(uPlane[row], 160, sizeof uPlane[row]);
    memset(vPlane[row], 128, sizeof vPlane[row]);
    uRows[row] = uPlane[row];
    vRows[row] = vPlane[row];
  }
  /* Row 0 of the tables becomes the first output row.  The rows must be
   * evenly spaced: the library may step from row to row by distance. */
  const PlaneSet planes = {yRows, uRows, vRows};

  /* One byte per macroblock: non-zero means "convert it". */
  uint8_t map[(kWidth / 16) * (kHeight / 16)];
  memset(map, 1, sizeof map);

  BITMAPINFOHEADER header;
  memset(&header, 0, sizeof header);
  header.biSize = sizeof header;
  header.biWidth = kWidth;
  header.biHeight = kHeight;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;

  SetDisplay(1, 0, 0, 0); /* 10 levels brighter */
  if (Kelmar(&header, bgr, &planes, map, 0, 0) != 0) {
    fprintf(stderr, "layout not supported\n");
    return 1;
  }
  const uint8_t* pixel = &bgr[kHeight - 1][3 * (kWidth - 1)];
  printf("bottom right pixel: red %d, green %d, blue %d\n", pixel[2], pixel[1], pixel[0]);
  return 0;
}
