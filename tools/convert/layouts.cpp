#include "layouts.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "tool_error.h"

namespace kconvert {
namespace {

static_assert(offsetof(BitmapInfo, colors) == sizeof(BITMAPINFOHEADER),
              "the colour table must follow the header directly");

using kelmar::InfoOf;

}  // namespace

const char* LayoutName(Layout layout) { return InfoOf(layout).name; }
const char* LayoutDescription(Layout layout) { return InfoOf(layout).description; }
int BitsPerPixel(Layout layout) { return InfoOf(layout).bitCount; }
bool IsPacked(Layout layout) { return InfoOf(layout).packed; }

std::optional<Layout> ParseLayout(const std::string& name) {
  for (const kelmar::OutputLayoutInfo& info : kelmar::kOutputLayouts) {
    if (name == info.name) return info.layout;
  }
  return std::nullopt;
}

LayoutTarget::LayoutTarget(Layout layout, int paddedWidth, int paddedHeight, bool zoom)
    : layout_(layout), zoom_(zoom && !IsPacked(layout)) {
  bufferWidth_ = paddedWidth * scale();
  bufferHeight_ = paddedHeight * scale();
  rowBytes_ = static_cast<size_t>(bufferWidth_) * BitsPerPixel(layout) / 8;
  pixels_.assign(rowBytes_ * bufferHeight_, 0);

  BITMAPINFOHEADER& h = info_.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = bufferWidth_;
  h.biHeight = bufferHeight_;
  h.biPlanes = 1;
  h.biBitCount = InfoOf(layout).bitCount;
  h.biCompression = InfoOf(layout).compression;
  h.biSizeImage = static_cast<uint32_t>(pixels_.size());
  if (layout == Layout::kRgb565) {
    // The library always writes 5-6-5; the masks are for whoever reads the
    // bitmap afterwards.
    info_.colors[0] = 0xF800;
    info_.colors[1] = 0x07E0;
    info_.colors[2] = 0x001F;
  }
  // On a change of display adjustments the library marks the header's
  // (width x height) / 256 map bytes, four times the macroblocks at double
  // size.
  const size_t macroblocks = static_cast<size_t>(paddedWidth / 16) * (paddedHeight / 16);
  map_.assign(macroblocks * scale() * scale(), 0);
}

void LayoutTarget::CallLibrary(const PlaneSet& planes, BitmapInfo& info, uint8_t* map) {
  if (Kelmar(&info.header, pixels_.data(), &planes, map, 0, zoom_ ? 1 : 0) != 0) {
    throw ToolError(std::string("the library does not support the ") + LayoutName(layout_) +
                    " layout");
  }
}

void LayoutTarget::Convert(const PaddedPicture& picture, const uint8_t* map, WorkerPool* bands) {
  std::copy(map, map + picture.macroblocks(), map_.begin());
  const int mbRows = picture.mbRows();
  const int count = bands ? std::min(bands->threads(), mbRows) : 1;
  lastCalls_ = count;
  if (count <= 1) {
    CallLibrary(picture.planes(), info_, map_.data());
  } else {
    // Each band's call writes its own header and map; the bands' rows of the
    // buffer do not overlap.
    std::vector<BitmapInfo> infos(count, info_);
    std::vector<std::vector<uint8_t>> maps(count, std::vector<uint8_t>(map_.size(), 0));
    const size_t mbCols = static_cast<size_t>(picture.mbCols());
    for (int band = 0; band < count; ++band) {
      const size_t first = mbCols * (static_cast<size_t>(band) * mbRows / count);
      const size_t end = mbCols * (static_cast<size_t>(band + 1) * mbRows / count);
      std::copy(map_.begin() + first, map_.begin() + end, maps[band].begin() + first);
    }
    std::vector<std::string> errors(count);
    bands->Run(count, [&](int band) {
      try {
        CallLibrary(picture.planes(), infos[band], maps[band].data());
      } catch (const std::exception& e) {
        errors[band] = e.what();
      }
    });
    for (const std::string& error : errors)
      if (!error.empty()) throw ToolError(error);
    info_ = infos[0];
  }
  if (zoom_) {
    for (int row = 0; row + 1 < bufferHeight_; row += 2) {
      std::memcpy(&pixels_[(row + 1) * rowBytes_], &pixels_[row * rowBytes_], rowBytes_);
    }
  }
}

const uint8_t* LayoutTarget::DisplayRow(int y) const {
  // Packed output starts with the top row; RGB output is bottom-up.
  const int row = IsPacked(layout_) ? y : bufferHeight_ - 1 - y;
  return pixels_.data() + static_cast<size_t>(row) * rowBytes_;
}

}  // namespace kconvert
