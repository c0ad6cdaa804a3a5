#include "png_writer.h"

#include <png.h>

#include <string>

#include "tool_error.h"

namespace kconvert {

std::vector<uint8_t> EncodePng(const RgbImage& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  const png_int_32 stride = image.width * 3;

  // The first call measures, the second writes.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), stride, nullptr)) {
    std::vector<uint8_t> out(size);
    if (png_image_write_to_memory(&png, out.data(), &size, 0, image.rgb.data(), stride, nullptr)) {
      out.resize(size);
      return out;
    }
  }
  const std::string message = std::string("PNG encoding failed: ") + png.message;
  png_image_free(&png);
  throw ToolError(message);
}

}  // namespace kconvert
