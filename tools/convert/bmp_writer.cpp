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

void WriteBmp(const LayoutTarget& target, int width, int height,
              const std::function<void(const uint8_t*, size_t)>& write) {
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

  std::vector<uint8_t> headers;
  headers.reserve(pixelOffset);
  headers.push_back('B');
  headers.push_back('M');
  Put32(headers, static_cast<uint32_t>(pixelOffset + header.biSizeImage));
  Put32(headers, 0);
  Put32(headers, static_cast<uint32_t>(pixelOffset));
  const auto* headerBytes = reinterpret_cast<const uint8_t*>(&header);
  headers.insert(headers.end(), headerBytes, headerBytes + sizeof(header));
  const auto* table = reinterpret_cast<const uint8_t*>(target.info().colors);
  headers.insert(headers.end(), table, table + tableBytes);
  write(headers.data(), headers.size());

  // Bottom-up: the file's first row is the lowest row on screen.
  const uint8_t padding[3] = {};
  for (int row = 0; row < outHeight; ++row) {
    write(target.DisplayRow(outHeight - 1 - row), pixelBytes);
    if (fileRowBytes > pixelBytes) write(padding, fileRowBytes - pixelBytes);
  }
}

std::vector<uint8_t> EncodeBmp(const LayoutTarget& target, int width, int height) {
  std::vector<uint8_t> out;
  WriteBmp(target, width, height, [&out](const uint8_t* bytes, size_t size) {
    out.insert(out.end(), bytes, bytes + size);
  });
  return out;
}

}  // namespace kconvert
