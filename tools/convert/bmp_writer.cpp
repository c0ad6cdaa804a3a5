#include "bmp_writer.h"

#include <cstring>

#include "display_image.h"

namespace kconvert {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

size_t ColourTableBytes(const BITMAPINFOHEADER& header) {
  if (header.biBitCount == 8) return 256 * sizeof(RGBQUAD);
  if (header.biCompression == BI_BITFIELDS) return 3 * sizeof(uint32_t);
  return 0;
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const LayoutTarget& target, int width, int height) {
  const int outWidth = OutputWidth(target, width);
  const int outHeight = OutputHeight(target, height);
  const size_t pixelBytes = static_cast<size_t>(outWidth) * BitsPerPixel(target.layout()) / 8;
  const size_t fileRowBytes = (pixelBytes + 3) / 4 * 4;

  BITMAPINFOHEADER header = target.info().header;
  header.biWidth = outWidth;
  header.biHeight = outHeight;
  header.biSizeImage = static_cast<uint32_t>(fileRowBytes * outHeight);
  const size_t tableBytes = ColourTableBytes(header);
  const size_t pixelOffset = 14 + sizeof(header) + tableBytes;

  std::vector<uint8_t> out;
  out.reserve(pixelOffset + header.biSizeImage);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(pixelOffset + header.biSizeImage));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(pixelOffset));
  const auto* headerBytes = reinterpret_cast<const uint8_t*>(&header);
  out.insert(out.end(), headerBytes, headerBytes + sizeof(header));
  const auto* table = reinterpret_cast<const uint8_t*>(target.info().colors);
  out.insert(out.end(), table, table + tableBytes);

  // Bottom-up: the file's first row is the lowest row on screen.
  for (int row = 0; row < outHeight; ++row) {
    const uint8_t* pixels = target.DisplayRow(outHeight - 1 - row);
    out.insert(out.end(), pixels, pixels + pixelBytes);
    out.insert(out.end(), fileRowBytes - pixelBytes, 0);
  }
  return out;
}

}  // namespace kconvert
