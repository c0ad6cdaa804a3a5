// kelmarconvert into glimagesink on an Xvfb server of the tests' own (Mesa's
// software OpenGL): the window's pixels against the library's output.
#include <gst/video/video.h>
#include <gst/video/videooverlay.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gst_test_support.h"

// Last: Xlib defines macros (None, Bool, Status) that other headers use as
// names.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#undef None
#undef Bool
#undef Status

namespace {
// Mesa's drivers keep allocations until exit and are unloaded before
// LeakSanitizer looks, so their leaks cannot be told apart: a program that
// drew with GL skips the check at exit (each CTest case is a program of its
// own).
bool drewWithGl = false;
}  // namespace

extern "C" __attribute__((visibility("default"), used)) int __lsan_is_turned_off() {
  return drewWithGl ? 1 : 0;
}

namespace kelmargst::test {
namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr int kRgbTolerance = 2;  // GL widening 5- and 6-bit channels
// GL turns the packed formats into RGB with its own shader, which also
// interpolates chroma between pixel pairs: held to a PSNR, not a largest
// difference.
constexpr double kPackedMinPsnr = 40;

// The expected 8-bit R, G, B of every pixel.  GL widens 5- and 6-bit
// channels by v * 255 / max, which bit repetition matches within one level.
std::vector<uint8_t> ExpectedRgb(OutputFormat format, const Converted& library) {
  std::vector<uint8_t> rgb;
  const std::vector<uint8_t>& p = library.pixels;
  for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
    if (format == OutputFormat::kBgr || IsPacked(format)) {
      rgb.insert(rgb.end(), {p[3 * i + 2], p[3 * i + 1], p[3 * i]});
    } else {
      const unsigned v = p[2 * i] | p[2 * i + 1] << 8;
      const bool rgb565 = format == OutputFormat::kRgb16;
      const unsigned r = rgb565 ? v >> 11 : (v >> 10) & 31;
      const unsigned g = rgb565 ? (v >> 5) & 63 : (v >> 5) & 31;
      const unsigned b = v & 31;
      rgb.push_back(static_cast<uint8_t>(r * 255 / 31));
      rgb.push_back(static_cast<uint8_t>(g * 255 / (rgb565 ? 63 : 31)));
      rgb.push_back(static_cast<uint8_t>(b * 255 / 31));
    }
  }
  return rgb;
}

struct WindowMatch {
  int maxDifference = 256;  // of one channel
  double psnr = 0;
};

// The window's pixels against `expected`.
WindowMatch CompareWindow(Display* display, Window window, const std::vector<uint8_t>& expected) {
  WindowMatch match;
  XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  if (!image) return match;
  std::vector<uint8_t> shown;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      shown.push_back(static_cast<uint8_t>(pixel >> 16 & 255));
      shown.push_back(static_cast<uint8_t>(pixel >> 8 & 255));
      shown.push_back(static_cast<uint8_t>(pixel & 255));
    }
  }
  XDestroyImage(image);
  match.maxDifference = 0;
  for (size_t i = 0; i < shown.size(); ++i)
    match.maxDifference = std::max(match.maxDifference, std::abs(shown[i] - expected[i]));
  match.psnr = Psnr(shown, expected);
  return match;
}

enum class Source { kVideotestsrc, kTheoraClip };

class GlImageSink : public ::testing::TestWithParam<std::tuple<OutputFormat, Source>> {};

TEST_P(GlImageSink, WindowShowsTheLibrarysPixels) {
  const auto [format, from] = GetParam();
  const char* name = VirtualDisplayName();
  if (!name) GTEST_SKIP() << "Xvfb is not installed";
  drewWithGl = true;
  setenv("DISPLAY", name, 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  setenv("GST_GL_WINDOW", "x11", 1);
  setenv("GST_GL_PLATFORM", "glx", 1);

  const TempDir dir;
  // GL's upload reads packed YUV as limited range, and theoradec's output
  // is limited range.
  const bool limited = IsPacked(format) || from == Source::kTheoraClip;
  const std::string bars = std::string(
                               "videotestsrc num-buffers=1 pattern=smpte ! "
                               "video/x-raw,format=I420,width=320,height=240,"
                               "colorimetry=") +
                           (limited ? "bt601" : "1:4:0:0") + " ! ";
  std::string source = bars;
  if (from == Source::kTheoraClip) {
    const std::string clip = dir / "clip.ogv";
    ASSERT_EQ(RunPipeline(bars + "theoraenc ! oggmux ! filesink location=" + clip), "");
    source = "filesrc location=" + clip + " ! oggdemux ! theoradec ! ";
  }
  ASSERT_EQ(RunPipeline(source + "filesink location=" + (dir / "in.yuv")), "");
  const std::vector<I420Picture> input = SplitI420(ReadFile(dir / "in.yuv"), kWidth, kHeight);
  ASSERT_EQ(input.size(), 1u);
  // The packed layouts are turned into RGB by GL's shader: they are held
  // to the library's own RGB within what two conversions differ by.
  const OutputFormat shown = IsPacked(format) ? OutputFormat::kBgr : format;
  const std::vector<uint8_t> expected =
      ExpectedRgb(shown, LibraryConversion(input[0], shown, limited));

  Display* display = XOpenDisplay(name);
  ASSERT_NE(display, nullptr);
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);

  GError* error = nullptr;
  GstElement* pipeline =
      gst_parse_launch((source + "kelmarconvert ! video/x-raw,format=" + FormatName(format) +
                        " ! glimagesink name=sink")
                           .c_str(),
                       &error);
  ASSERT_NE(pipeline, nullptr) << (error ? error->message : "");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), window);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  EXPECT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 20 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);

  // The sink draws the preroll picture from its own thread: look until it
  // is there, or for at most ten seconds.
  // (A lambda may not capture a structured binding before C++20.)
  const bool packed = IsPacked(format);
  const auto good = [packed](const WindowMatch& m) {
    return packed ? m.psnr >= kPackedMinPsnr : m.maxDifference <= kRgbTolerance;
  };
  WindowMatch match;
  for (int tries = 0; tries < 100 && !good(match); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gst_video_overlay_expose(GST_VIDEO_OVERLAY(sink));
    match = CompareWindow(display, window, expected);
  }
  RecordProperty("max_difference", match.maxDifference);
  RecordProperty("psnr", std::to_string(match.psnr));
  EXPECT_TRUE(good(match)) << FormatName(format) << ": largest difference " << match.maxDifference
                           << ", PSNR " << match.psnr << " dB";

  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, GlImageSink,
    // glimagesink takes neither RGB15 nor RGB8P.
    ::testing::Combine(::testing::Values(OutputFormat::kBgr, OutputFormat::kRgb16,
                                         OutputFormat::kUyvy, OutputFormat::kYuy2),
                       ::testing::Values(Source::kVideotestsrc, Source::kTheoraClip)),
    [](const auto& info) {
      return std::string(FormatName(std::get<0>(info.param))) +
             (std::get<1>(info.param) == Source::kTheoraClip ? "_theora" : "_videotestsrc");
    });

}  // namespace
}  // namespace kelmargst::test
