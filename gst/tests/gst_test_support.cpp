#include "gst_test_support.h"

#include <fcntl.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "virtual_display.h"

namespace kelmargst::test {
namespace {

int RoundUp16(int n) { return (n + 15) / 16 * 16; }

uint8_t Clamp(long v) { return static_cast<uint8_t>(std::min(255L, std::max(0L, v))); }

// Copies a width x height plane into a stride-wide one of paddedHeight rows,
// repeating the last sample of each row and then the last row.
std::vector<uint8_t> PadPlane(const std::vector<uint8_t>& plane, int width, int height, int stride,
                              int paddedHeight) {
  std::vector<uint8_t> padded(static_cast<size_t>(stride) * paddedHeight);
  for (int y = 0; y < paddedHeight; ++y) {
    const uint8_t* src = &plane[static_cast<size_t>(std::min(y, height - 1)) * width];
    for (int x = 0; x < stride; ++x)
      padded[static_cast<size_t>(y) * stride + x] = src[std::min(x, width - 1)];
  }
  return padded;
}

}  // namespace

I420Picture TestPicture(int width, int height, uint32_t seed) {
  I420Picture p;
  p.width = width;
  p.height = height;
  p.y.resize(static_cast<size_t>(width) * height);
  p.u.resize(static_cast<size_t>(p.chromaWidth()) * p.chromaHeight());
  p.v.resize(p.u.size());
  uint32_t state = seed * 2654435761u + 1;
  auto noise = [&] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<int>(state % 9) - 4;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.y[static_cast<size_t>(y) * width + x] = Clamp(
          x * 255L / std::max(1, width - 1) / 2 + y * 255L / std::max(1, height - 1) / 2 + noise());
  for (int y = 0; y < p.chromaHeight(); ++y) {
    for (int x = 0; x < p.chromaWidth(); ++x) {
      const size_t i = static_cast<size_t>(y) * p.chromaWidth() + x;
      const int bar = x * 8 / std::max(1, p.chromaWidth());  // saturated bars
      p.u[i] = Clamp((bar & 1 ? 240 : 16) + noise() + (y % 7));
      p.v[i] = Clamp((bar & 2 ? 240 : 16) + noise() - (y % 5));
    }
  }
  return p;
}

const char* FormatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::kBgr: return "BGR";
    case OutputFormat::kRgb15: return "RGB15";
    case OutputFormat::kRgb16: return "RGB16";
    case OutputFormat::kRgb8p: return "RGB8P";
    case OutputFormat::kUyvy: return "UYVY";
    case OutputFormat::kYuy2: return "YUY2";
  }
  return "";
}

OutputFormat FormatFromName(const std::string& name) {
  for (OutputFormat f : {OutputFormat::kBgr, OutputFormat::kRgb15, OutputFormat::kRgb16,
                         OutputFormat::kRgb8p, OutputFormat::kUyvy, OutputFormat::kYuy2})
    if (name == FormatName(f)) return f;
  ADD_FAILURE() << "no format " << name;
  return OutputFormat::kBgr;
}

size_t TightRowBytes(OutputFormat format, int width) {
  const int pixels = IsPacked(format) ? (width + 1) / 2 * 2 : width;
  return static_cast<size_t>(pixels) * BytesPerPixel(format);
}

Converted LibraryConversion(const I420Picture& picture, OutputFormat format, bool limitedRange) {
  I420Picture in = picture;
  if (limitedRange && !IsPacked(format)) {
    for (uint8_t& s : in.y) s = Clamp(std::lround((s - 16) * 255.0 / 219.0));
    for (std::vector<uint8_t>* plane : {&in.u, &in.v})
      for (uint8_t& s : *plane) s = Clamp(std::lround((s - 128) * 255.0 / 224.0) + 128);
  }
  const int pw = RoundUp16(in.width), ph = RoundUp16(in.height);
  const std::vector<uint8_t> y = PadPlane(in.y, in.width, in.height, pw, ph);
  const std::vector<uint8_t> u =
      PadPlane(in.u, in.chromaWidth(), in.chromaHeight(), pw / 2, ph / 2);
  const std::vector<uint8_t> v =
      PadPlane(in.v, in.chromaWidth(), in.chromaHeight(), pw / 2, ph / 2);
  // The packed layouts write the last table row first.
  const bool bottomUp = IsPacked(format);
  std::vector<const uint8_t*> yRows(ph), uRows(ph / 2), vRows(ph / 2);
  for (int i = 0; i < ph; ++i) yRows[i] = &y[static_cast<size_t>(bottomUp ? ph - 1 - i : i) * pw];
  for (int i = 0; i < ph / 2; ++i) {
    const size_t row = static_cast<size_t>(bottomUp ? ph / 2 - 1 - i : i);
    uRows[i] = &u[row * pw / 2];
    vRows[i] = &v[row * pw / 2];
  }
  const PlaneSet planes = {yRows.data(), uRows.data(), vRows.data()};

  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = pw;
  info.header.biHeight = ph;
  info.header.biPlanes = 1;
  switch (format) {
    case OutputFormat::kBgr: info.header.biBitCount = 24; break;
    case OutputFormat::kRgb8p: info.header.biBitCount = 8; break;
    default: info.header.biBitCount = 16; break;
  }
  info.header.biCompression = format == OutputFormat::kRgb16  ? BI_BITFIELDS
                              : format == OutputFormat::kUyvy ? KELMAR_FOURCC_UYVY
                              : format == OutputFormat::kYuy2 ? KELMAR_FOURCC_YUY2
                                                              : BI_RGB;
  const size_t stride = static_cast<size_t>(pw) * info.header.biBitCount / 8;
  std::vector<uint8_t> pixels(stride * ph);
  std::vector<uint8_t> map(static_cast<size_t>(pw) * ph / 256, 1);
  EXPECT_EQ(Kelmar(&info.header, pixels.data(), &planes, map.data(), 0, 0), 0);

  Converted out;
  const size_t rowBytes = TightRowBytes(format, in.width);
  for (int row = 0; row < in.height; ++row)
    out.pixels.insert(out.pixels.end(), &pixels[row * stride], &pixels[row * stride] + rowBytes);
  if (format == OutputFormat::kRgb8p) {
    for (const RGBQUAD& c : info.colors)
      out.palette.push_back(0xff000000u | c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue);
  }
  return out;
}

GstCaps* I420Caps(int width, int height, const char* colorimetry) {
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                      G_TYPE_INT, width, "height", G_TYPE_INT, height, "framerate",
                                      GST_TYPE_FRACTION, 25, 1, nullptr);
  if (colorimetry) gst_caps_set_simple(caps, "colorimetry", G_TYPE_STRING, colorimetry, nullptr);
  return caps;
}

GstBuffer* PictureBuffer(const I420Picture& picture, int lumaExtra, int chromaExtra) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, picture.width, picture.height);
  gsize offsets[4] = {0, 0, 0, 0};
  gint strides[4] = {GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), GST_VIDEO_INFO_PLANE_STRIDE(&info, 1),
                     GST_VIDEO_INFO_PLANE_STRIDE(&info, 2), 0};
  strides[0] += lumaExtra;
  strides[1] += chromaExtra;
  strides[2] += chromaExtra;
  const int rows[3] = {picture.height, picture.chromaHeight(), picture.chromaHeight()};
  gsize size = GST_VIDEO_INFO_SIZE(&info);
  for (int p = 0; p < 3; ++p) offsets[p] = GST_VIDEO_INFO_PLANE_OFFSET(&info, p);
  if (lumaExtra || chromaExtra) {
    size = 0;
    for (int p = 0; p < 3; ++p) {
      offsets[p] = size;
      size += static_cast<gsize>(strides[p]) * rows[p];
    }
  }
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  std::memset(map.data, 0xA5, size);  // padding that must not show
  const std::vector<uint8_t>* planes[3] = {&picture.y, &picture.u, &picture.v};
  const int widths[3] = {picture.width, picture.chromaWidth(), picture.chromaWidth()};
  for (int p = 0; p < 3; ++p)
    for (int row = 0; row < rows[p]; ++row)
      std::memcpy(map.data + offsets[p] + static_cast<size_t>(row) * strides[p],
                  planes[p]->data() + static_cast<size_t>(row) * widths[p], widths[p]);
  gst_buffer_unmap(buffer, &map);
  if (lumaExtra || chromaExtra)
    gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_I420,
                                   picture.width, picture.height, 3, offsets, strides);
  return buffer;
}

Converted ReadOutput(GstBuffer* buffer, GstCaps* caps) {
  Converted out;
  GstVideoInfo info;
  if (!gst_video_info_from_caps(&info, caps)) {
    ADD_FAILURE() << "unreadable caps";
    return out;
  }
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
    ADD_FAILURE() << "unmappable buffer";
    return out;
  }
  const OutputFormat format = FormatFromName(gst_video_format_to_string(info.finfo->format));
  const size_t rowBytes = TightRowBytes(format, GST_VIDEO_INFO_WIDTH(&info));
  const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
  for (int row = 0; row < GST_VIDEO_INFO_HEIGHT(&info); ++row)
    out.pixels.insert(out.pixels.end(), data + row * stride, data + row * stride + rowBytes);
  if (format == OutputFormat::kRgb8p) {
    const auto* palette = static_cast<const uint32_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1));
    out.palette.assign(palette, palette + 256);
  }
  gst_video_frame_unmap(&frame);
  return out;
}

I420Picture ReadI420(GstBuffer* buffer, GstCaps* caps) {
  I420Picture p;
  GstVideoInfo info;
  GstVideoFrame frame;
  if (!gst_video_info_from_caps(&info, caps) ||
      !gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
    ADD_FAILURE() << "unreadable I420 buffer";
    return p;
  }
  p.width = GST_VIDEO_INFO_WIDTH(&info);
  p.height = GST_VIDEO_INFO_HEIGHT(&info);
  std::vector<uint8_t>* planes[3] = {&p.y, &p.u, &p.v};
  for (int c = 0; c < 3; ++c) {
    const int w = c ? p.chromaWidth() : p.width, h = c ? p.chromaHeight() : p.height;
    const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, c));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, c);
    for (int row = 0; row < h; ++row)
      planes[c]->insert(planes[c]->end(), data + row * stride, data + row * stride + w);
  }
  gst_video_frame_unmap(&frame);
  return p;
}

std::vector<I420Picture> SplitI420(const std::vector<uint8_t>& bytes, int width, int height) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, width, height);
  std::vector<I420Picture> frames;
  const size_t size = GST_VIDEO_INFO_SIZE(&info);
  for (size_t at = 0; at + size <= bytes.size(); at += size) {
    GstBuffer* buffer = gst_buffer_new_memdup(&bytes[at], size);
    GstCaps* caps = gst_video_info_to_caps(&info);
    frames.push_back(ReadI420(buffer, caps));
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
  }
  return frames;
}

std::string RunPipeline(const std::string& description, int timeoutSeconds) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    std::string text = error ? error->message : "no pipeline";
    g_clear_error(&error);
    if (pipeline) gst_object_unref(pipeline);
    return "parse: " + text;
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message =
      gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(timeoutSeconds) * GST_SECOND,
                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  std::string result;
  if (!message) {
    result = "timed out";
  } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* e = nullptr;
    gst_message_parse_error(message, &e, nullptr);
    result = e ? e->message : "error";
    g_clear_error(&e);
  }
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return result;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelmar-gst-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) ? pattern : "";
  if (path_.empty()) ADD_FAILURE() << "no temporary directory";
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sum);
}

const char* VirtualDisplayName() {
  const kelmar::test::VirtualDisplay* display = kelmar::test::VirtualDisplay::Get();
  return display ? display->name().c_str() : nullptr;
}

}  // namespace kelmargst::test
