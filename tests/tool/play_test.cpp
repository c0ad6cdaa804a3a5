#include <SDL_keycode.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "font.h"
#include "keys.h"
#include "layouts.h"
#include "padded_picture.h"
#include "tool_error.h"
#include "tool_test_support.h"

namespace kconvert::test {
namespace {

// Neither side is whole macroblocks: 22 x 13 of them, padded.
constexpr int kWidth = 344, kHeight = 200, kFrames = 6;
constexpr int kMbCols = 22, kMbRows = 13;

const char* SdlFormatName(const std::string& layout) {
  if (layout == "rgb24") return "SDL_PIXELFORMAT_BGR24";
  if (layout == "rgb555") return "SDL_PIXELFORMAT_RGB555";
  if (layout == "rgb565") return "SDL_PIXELFORMAT_RGB565";
  if (layout == "pal8") return "SDL_PIXELFORMAT_INDEX8";
  if (layout == "uyvy") return "SDL_PIXELFORMAT_UYVY";
  return "SDL_PIXELFORMAT_YUY2";
}

// SDL's expansion of 5- and 6-bit channels rounds v x 255 / 31 where the
// tool's decoding repeats the high bits: at most one level apart.  SDL turns
// full-range 4:2:2 into RGB with 6-bit fixed-point coefficients: at most two
// levels from the exact BT.601 formula.  24-bit and 8-bit must be exact.
int Tolerance(Layout layout) {
  switch (layout) {
    case Layout::kRgb24:
    case Layout::kPal8: return 0;
    case Layout::kRgb555:
    case Layout::kRgb565: return 1;
    case Layout::kUyvy:
    case Layout::kYuy2: return 2;
  }
  return 0;
}

// The buffer a host converting `frame` whole into a fresh target would have.
LayoutTarget Converted(const Frame& frame, Layout layout, bool zoom, const int32_t (&adjust)[4]) {
  SetDisplay(adjust[0], adjust[1], adjust[2], adjust[3]);
  PaddedPicture picture;
  picture.Assign(frame);
  LayoutTarget target(layout, picture.paddedWidth(), picture.paddedHeight(), zoom);
  const std::vector<uint8_t> map(picture.macroblocks(), 1);
  target.Convert(picture, map.data());
  return target;
}

// What the window shows of it: packed pictures at double size are scaled.
RgbImage Shown(const LayoutTarget& target, bool zoom) {
  RgbImage image = DecodeForDisplay(target, kWidth, kHeight);
  return zoom && IsPacked(target.layout()) ? Enlarge(image, 2) : image;
}

// Macroblocks counted from the top left whose samples differ between two
// frames, edge samples repeated into the padding: worked out on the planes
// themselves, not in the library's map order.
std::vector<bool> ChangedBlocks(const Frame& a, const Frame& b) {
  std::vector<bool> changed(kMbCols * kMbRows, false);
  auto differs = [](const Frame& f, const Frame& g, int plane, int x, int y) {
    const int w = plane == 0 ? f.width : f.chromaWidth();
    const int h = plane == 0 ? f.height : f.chromaHeight();
    const size_t at = static_cast<size_t>(std::min(y, h - 1)) * w + std::min(x, w - 1);
    const std::vector<uint8_t>* planes[2][3] = {{&f.y, &f.u, &f.v}, {&g.y, &g.u, &g.v}};
    return (*planes[0][plane])[at] != (*planes[1][plane])[at];
  };
  for (int row = 0; row < kMbRows; ++row) {
    for (int col = 0; col < kMbCols; ++col) {
      bool any = false;
      for (int plane = 0; plane < 3 && !any; ++plane) {
        const int size = plane == 0 ? 16 : 8;
        for (int y = row * size; y < (row + 1) * size && !any; ++y) {
          for (int x = col * size; x < (col + 1) * size && !any; ++x) {
            any = differs(a, b, plane, x, y);
          }
        }
      }
      changed[row * kMbCols + col] = any;
    }
  }
  return changed;
}

// The macroblocks whose pixels differ between two screenshots of one picture,
// with and without the overlay; `scale` window pixels per picture pixel.
std::vector<bool> TintedBlocks(const RgbImage& plain, const RgbImage& tinted, int scale) {
  std::vector<bool> blocks(kMbCols * kMbRows, false);
  for (int y = 0; y < kHeight * scale; ++y) {
    for (int x = 0; x < kWidth * scale; ++x) {
      if (!std::equal(plain.at(x, y), plain.at(x, y) + 3, tinted.at(x, y))) {
        blocks[y / (16 * scale) * kMbCols + x / (16 * scale)] = true;
      }
    }
  }
  return blocks;
}

// The window's size around a picture shown `width` x `height`: never
// narrower than 320, with the three lines of the status bar below, in large
// print from 640 on.
constexpr uint8_t kStatusBackground[3] = {24, 24, 24};
int FrameWidth(int width) { return std::max(width, 320); }
int FrameHeight(int width, int height) {
  const int scale = FrameWidth(width) >= 640 ? 2 : 1;
  return height + 3 * (kGlyphHeight + 4) * scale + 4 * scale;
}

std::string Sequence(const std::vector<DumpedPicture>& pictures) {
  std::string text;
  for (const DumpedPicture& p : pictures) {
    text += (text.empty() ? "" : ", ") + std::to_string(p.frame) + " " + p.layout;
  }
  return text;
}

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    display_ = VirtualDisplay::Get();
    if (display_ == nullptr && !HasFailure()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(display_, nullptr);
    MakeClip(dir_ / "clip.y4m", dir_ / "clip.yuv", kWidth, kHeight, kFrames);
    frames_ = ReadFrames(dir_ / "clip.y4m", kFrames);
  }
  void TearDown() override { SetDisplay(0, 0, 0, 0); }

  ToolRun Play(std::vector<std::string> args) {
    args.insert(args.begin(), dir_ / "clip.y4m");
    return RunPlayer(args, display_);
  }
  std::vector<RgbImage> Shots(const std::string& directory, size_t count) {
    std::vector<RgbImage> shots;
    for (size_t n = 1; n <= count; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "/kelmar-play-%04zu.png", n);
      shots.push_back(ReadPng(directory + name));
    }
    return shots;
  }

  TempDir dir_;
  const VirtualDisplay* display_ = nullptr;
  std::vector<Frame> frames_;
};

// Requires one status line of `out` per entry of `lines`, each holding every
// part its entry lists.
void ExpectStatusLines(const std::string& out, const std::vector<std::vector<std::string>>& lines) {
  std::istringstream stream(out);
  std::vector<std::string> got;
  for (std::string line; std::getline(stream, line);) got.push_back(line);
  ASSERT_EQ(got.size(), lines.size()) << out;
  for (size_t i = 0; i < got.size(); ++i) {
    for (const std::string& part : lines[i])
      EXPECT_NE(got[i].find(part), std::string::npos) << got[i] << "\nlacks " << part;
  }
}

TEST_F(Player, HandsSdlExactlyTheLibrarysBytesInEveryLayout) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* shown;  // frame and layout of each picture handed over
  };
  const Case cases[] = {
      {"every layout while playing",
       {"--keys", "+1 2 +1 3 +1 4 +1 5 +1 6 +1"},
       "1 rgb24, 2 rgb555, 3 rgb565, 4 pal8, 5 uyvy, 6 yuy2"},
      {"double size",
       {"--zoom", "--keys", "+1 2 +1 3 +1 4 +1 5 +1 z 1"},
       "1 rgb24, 2 rgb555, 3 rgb565, 4 pal8, 5 uyvy, 6 rgb24"},
      {"adjustments redraw the picture",
       {"--format", "pal8", "--brightness", "-2", "--keys", "B B C +1 V V 5 +1 L +1 0 2 +1 c"},
       "1 pal8, 2 uyvy, 3 uyvy, 4 rgb555, 5 rgb555"},
      {"stepping",
       {"--keys", "space +1 right +1 right 4 +1 left +1 left"},
       "1 rgb24, 2 rgb24, 3 pal8, 2 pal8, 1 pal8"},
      {"live at the clip's rate",
       {"--format", "yuy2", "--frames", "4"},
       "1 yuy2, 2 yuy2, 3 yuy2, 4 yuy2"},
      {"live, quitting at the end",
       {"--exit-at-end"},
       "1 rgb24, 2 rgb24, 3 rgb24, 4 rgb24, 5 rgb24, 6 rgb24"},
      {"quitting at the end before the script's end",
       {"--exit-at-end", "--keys", "+9 2"},
       "1 rgb24, 2 rgb24, 3 rgb24, 4 rgb24, 5 rgb24, 6 rgb24"},
      {"holding the last frame",
       {"--keys", "+9 2"},
       "1 rgb24, 2 rgb24, 3 rgb24, 4 rgb24, 5 rgb24, 6 rgb24, 6 rgb555"},
      {"looping",
       {"--loop", "--format", "rgb555", "--keys", "+7"},
       "1 rgb555, 2 rgb555, 3 rgb555, 4 rgb555, 5 rgb555, 6 rgb555, 1 rgb555, 2 rgb555"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dump;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--dump", dump.path()});
    const ToolRun run = Play(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<DumpedPicture> pictures = ReadDump(dump.path());
    EXPECT_EQ(Sequence(pictures), c.shown);
    for (const DumpedPicture& p : pictures) {
      SCOPED_TRACE("frame " + std::to_string(p.frame) + " " + p.layout);
      const Layout layout = *ParseLayout(p.layout);
      const LayoutTarget expected = Converted(frames_[p.frame - 1], layout, p.zoom, p.adjustments);
      EXPECT_EQ(p.format, SdlFormatName(p.layout));
      EXPECT_EQ(p.width, expected.info().header.biWidth);
      EXPECT_EQ(p.height, expected.info().header.biHeight);
      EXPECT_EQ(p.pitch, static_cast<int>(expected.rowBytes()));
      EXPECT_TRUE(p.bytes == std::string(expected.pixels().begin(), expected.pixels().end()));
      if (layout != Layout::kPal8) {
        EXPECT_EQ(p.palette, "");
        continue;
      }
      std::string palette;
      for (uint32_t quad : expected.info().colors) {
        palette += {static_cast<char>(quad >> 16), static_cast<char>(quad >> 8),
                    static_cast<char>(quad), static_cast<char>(255)};
      }
      EXPECT_TRUE(p.palette == palette);
    }
  }
}

TEST_F(Player, ShowsTheLibrarysOutputDecodedForDisplay) {
  // Frame 1 in every layout, at both sizes, with and without adjustments.
  const char* script = "s 2 s 3 s 4 s 5 s 6 s z s 1 s 4 s 5 s";
  const std::pair<Layout, bool> shots[] = {{Layout::kRgb24, false},  {Layout::kRgb555, false},
                                           {Layout::kRgb565, false}, {Layout::kPal8, false},
                                           {Layout::kUyvy, false},   {Layout::kYuy2, false},
                                           {Layout::kYuy2, true},    {Layout::kRgb24, true},
                                           {Layout::kPal8, true},    {Layout::kUyvy, true}};
  const std::vector<int32_t> settings[] = {{0, 0, 0, 0}, {1, 3, 2, -1}};
  for (const std::vector<int32_t>& s : settings) {
    SCOPED_TRACE("adjustments " + std::to_string(s[0]) + " " + std::to_string(s[1]) + " " +
                 std::to_string(s[2]) + " " + std::to_string(s[3]));
    TempDir shotDir;
    const ToolRun run =
        Play({"--brightness", std::to_string(s[0]), "--contrast", std::to_string(s[1]),
              "--saturation", std::to_string(s[2]), "--balance", std::to_string(s[3]), "--keys",
              script, "--shots", shotDir.path()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<RgbImage> images = Shots(shotDir.path(), std::size(shots));
    for (size_t i = 0; i < std::size(shots); ++i) {
      const auto [layout, zoom] = shots[i];
      SCOPED_TRACE(std::string(LayoutName(layout)) + (zoom ? " at double size" : ""));
      const RgbImage expected =
          Shown(Converted(frames_[0], layout, zoom, {s[0], s[1], s[2], s[3]}), zoom);
      const RgbImage shown = Crop(images[i], expected.width, expected.height);
      ASSERT_GE(images[i].width, expected.width);
      ASSERT_GT(images[i].height, expected.height);  // with the status line below
      EXPECT_LE(MaxDifference(shown, expected), Tolerance(layout));
      EXPECT_GE(MaxDifference(shown, expected), 0);
    }
  }
}

TEST_F(Player, ScreenshotsHoldWhatWasShownWithTheDefaultRenderer) {
  // SDL's default renderer draws with OpenGL here (Mesa's software one on
  // the tests' display).  The window changes size with the picture, which
  // the display carries out in its own time: the screenshots must hold the
  // picture and the whole status line all the same.
  struct Shot {
    int64_t frame;
    Layout layout;
    bool zoom;
  };
  struct Case {
    const char* script;
    std::vector<Shot> shots;
  };
  const Case cases[] = {
      {"space right right s 4 s",  // the README's
       {{3, Layout::kRgb24, false}, {3, Layout::kPal8, false}}},
      {"space right z s 4 s 5 s z s 1 z s",  // right after changes of size
       {{2, Layout::kRgb24, true},
        {2, Layout::kPal8, true},
        {2, Layout::kUyvy, true},
        {2, Layout::kUyvy, false},
        {2, Layout::kRgb24, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    TempDir shotDir, dump;
    const ToolRun run = RunPlayer(
        {dir_ / "clip.y4m", "--keys", c.script, "--shots", shotDir.path(), "--dump", dump.path()},
        display_, {"-u", "SDL_RENDER_DRIVER"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Without OpenGL SDL falls back to its software renderer, which the
    // other tests use already.
    for (const DumpedPicture& p : ReadDump(dump.path())) EXPECT_EQ(p.renderer, "opengl");
    const std::vector<RgbImage> images = Shots(shotDir.path(), c.shots.size());
    for (size_t i = 0; i < c.shots.size(); ++i) {
      const Shot& shot = c.shots[i];
      SCOPED_TRACE("shot " + std::to_string(i + 1) + ": " + LayoutName(shot.layout) +
                   (shot.zoom ? " at double size" : ""));
      const RgbImage expected = Shown(
          Converted(frames_[shot.frame - 1], shot.layout, shot.zoom, {0, 0, 0, 0}), shot.zoom);
      const RgbImage& image = images[i];
      ASSERT_EQ(image.width, FrameWidth(expected.width));
      ASSERT_EQ(image.height, FrameHeight(expected.width, expected.height));
      EXPECT_LE(MaxDifference(Crop(image, expected.width, expected.height), expected),
                Tolerance(shot.layout));
      // The status bar's corners: its background, from edge to edge.
      for (const int x : {0, image.width - 1}) {
        for (const int y : {expected.height, image.height - 1}) {
          EXPECT_TRUE(std::equal(kStatusBackground, kStatusBackground + 3, image.at(x, y)))
              << x << "," << y;
        }
      }
    }
  }
}

TEST_F(Player, RefusesADoubleSizeTheDisplayCannotHoldAndPlaysOn) {
  // At double size a picture 16384 wide needs textures twice the largest
  // the player makes.
  constexpr int kWide = 16384;
  std::string clip = "YUV4MPEG2 W16384 H1 F25:1 C420jpeg\n";
  for (int f = 0; f < 2; ++f) {
    clip += "FRAME\n";
    for (int x = 0; x < kWide; ++x) clip += static_cast<char>(x * 7 + f);
    clip += std::string(kWide, '\x80');  // both chroma planes, each kWide / 2
  }
  WriteFile(dir_ / "wide.y4m", clip);

  struct Case {
    std::vector<std::string> args;
    const char* shown;  // frame and layout of each picture handed over
    size_t shots;
  };
  const Case cases[] = {
      {{"--keys", "space s z s m m s 5 z s"}, "1 rgb24, 1 uyvy", 4},
      {{"--zoom", "--keys", "space s"}, "1 rgb24", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[c.args.size() - 1]);
    TempDir shotDir, dump;
    std::vector<std::string> args = {dir_ / "wide.y4m", "--shots", shotDir.path(), "--dump",
                                     dump.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = RunPlayer(args, display_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<DumpedPicture> pictures = ReadDump(dump.path());
    EXPECT_EQ(Sequence(pictures), c.shown);
    for (const DumpedPicture& p : pictures) EXPECT_FALSE(p.zoom);
    const std::vector<RgbImage> images = Shots(shotDir.path(), c.shots);
    for (const RgbImage& image : images) {
      EXPECT_EQ(image.width, FrameWidth(kWide));
      EXPECT_EQ(image.height, FrameHeight(kWide, 1));
    }
    if (c.shots < 3) continue;
    // The refusal is on the status line, under the picture as it was, until
    // the next key.
    EXPECT_EQ(MaxDifference(Crop(images[1], kWide, 1), Crop(images[0], kWide, 1)), 0);
    EXPECT_GT(MaxDifference(images[1], images[0]), 0);
    EXPECT_EQ(MaxDifference(images[2], images[0]), 0);
  }
}

TEST_F(Player, OverlayTintsExactlyTheConvertedMacroblocks) {
  // Pairs of screenshots of one picture, without and with the overlay.
  struct Pair {
    const char* state;
    int scale;
    int from, to;  // frames whose differences were converted; 0: everything
  };
  const Pair pairs[] = {
      {"frame 2", 1, 1, 2},
      {"frame 3 at double size", 2, 2, 3},
      {"frame 4 packed, scaled by the window", 2, 3, 4},
      {"a change of brightness", 2, 0, 0},
  };
  TempDir shotDir;
  const ToolRun run = Play({"--keys", "space right s m s m z right s m s m 5 right s m s m B s m s",
                            "--shots", shotDir.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<RgbImage> images = Shots(shotDir.path(), 2 * std::size(pairs));
  for (size_t i = 0; i < std::size(pairs); ++i) {
    const Pair& pair = pairs[i];
    SCOPED_TRACE(pair.state);
    const std::vector<bool> expected =
        pair.from == 0 ? std::vector<bool>(kMbCols * kMbRows, true)
                       : ChangedBlocks(frames_[pair.from - 1], frames_[pair.to - 1]);
    const std::vector<bool> tinted = TintedBlocks(images[2 * i], images[2 * i + 1], pair.scale);
    EXPECT_EQ(tinted, expected);
    // Something changed and something did not, or the case proves little.
    if (pair.from != 0) {
      EXPECT_NE(std::count(expected.begin(), expected.end(), true), 0);
      EXPECT_NE(std::count(expected.begin(), expected.end(), false), 0);
    }
  }
#ifdef KELMAR_PLAY_SCREENSHOT
  // The README's picture of the player.
  std::filesystem::copy_file(shotDir / "kelmar-play-0004.png", KELMAR_PLAY_SCREENSHOT,
                             std::filesystem::copy_options::overwrite_existing);
#endif
}

TEST_F(Player, SteppingWithTheKeysShowsWhatKelmarConvertWrites) {
  struct Case {
    Layout layout;
    const char* reference;  // kelmar-convert's output of the bytes
  };
  const Case cases[] = {
      {Layout::kRgb24, "f-%d.bmp"}, {Layout::kPal8, "f-%d.bmp"}, {Layout::kYuy2, "clip.yuy2"}};
  const int64_t steps[] = {3, 2, 1, 4};  // the frames the script shows
  for (const Case& c : cases) {
    const std::string name = LayoutName(c.layout);
    SCOPED_TRACE(name);
    TempDir out, shotDir, dump;
    for (const char* output : {"f-%d.png", c.reference}) {
      const ToolRun convert = RunTool({dir_ / "clip.y4m", "-f", name, "-q", "-o", out / output});
      ASSERT_EQ(convert.status, 0) << convert.err;
    }
    const ToolRun run =
        Play({"--format", name, "--keys", "space right right s left s left s right right right s",
              "--shots", shotDir.path(), "--dump", dump.path()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<RgbImage> images = Shots(shotDir.path(), std::size(steps));
    const std::vector<DumpedPicture> pictures = ReadDump(dump.path());
    ASSERT_EQ(pictures.size(), std::size(steps));
    const std::string raw = ReadFile(out / "clip.yuy2");
    for (size_t i = 0; i < std::size(steps); ++i) {
      const int64_t frame = steps[i];
      SCOPED_TRACE("frame " + std::to_string(frame));
      const RgbImage png = ReadPng(out / ("f-" + std::to_string(frame) + ".png"));
      EXPECT_LE(MaxDifference(Crop(images[i], png.width, png.height), png), Tolerance(c.layout));
      EXPECT_EQ(pictures[i].frame, frame);

      // The bytes, row by row: bitmaps bottom-up in the buffer, packed top down.
      const DumpedPicture& p = pictures[i];
      for (int y = 0; y < kHeight; ++y) {
        const int row = IsPacked(c.layout) ? y : p.height - 1 - y;
        const std::string shown =
            p.bytes.substr(static_cast<size_t>(row) * p.pitch, kWidth * BitsPerPixel(c.layout) / 8);
        std::string written;
        if (IsPacked(c.layout)) {
          written = raw.substr(((frame - 1) * kHeight + y) * kWidth * 2, kWidth * 2);
        } else {
          written = ParseBmp(ReadFile(out / ("f-" + std::to_string(frame) + ".bmp"))).rows[y];
        }
        ASSERT_TRUE(shown == written) << "row " << y;
      }
    }
  }
}

TEST_F(Player, WithoutAWindowPrintsTheStatusOfEveryConversion) {
  auto changedCount = [&](int from, int to) {
    const std::vector<bool> blocks = ChangedBlocks(frames_[from - 1], frames_[to - 1]);
    return std::to_string(std::count(blocks.begin(), blocks.end(), true)) + "/286";
  };
  // changed[f]: converting frame f + 1 after frame f.
  std::vector<std::string> changed = {"286/286 (100.0%)"};
  for (int f = 1; f < kFrames; ++f) changed.push_back(changedCount(f, f + 1));
  const std::string all = changed[0];
  struct Case {
    std::vector<std::string> args;
    std::vector<std::vector<std::string>> lines;  // what each line holds
  };
  const Case cases[] = {
      {{"--no-window"},
       {{"frame 1/6  rgb24", changed[0]},
        {"frame 2/6", changed[1]},
        {"frame 3/6", changed[2]},
        {"frame 4/6", changed[3]},
        {"frame 5/6", changed[4]},
        {"frame 6/6", changed[5]}}},
      {{"--no-window", "--frames", "2", "--format", "uyvy", "--zoom"},
       {{"frame 1/2  uyvy packed 4:2:2  x2 by the window", changed[0]}, {"frame 2/2", changed[1]}}},
      // A line a conversion, however many a tick holds.  The library redraws
      // everything when the adjustments change.
      {{"--no-window", "--format", "rgb565", "--keys", "B +1 b +1 space right"},
       {{"frame 1/6", "brightness 0", all},
        {"frame 1/6", "brightness 1", all},
        {"frame 2/6", "brightness 1", changed[1]},
        {"frame 2/6", "brightness 0", all},
        {"frame 3/6", "brightness 0", changed[2]},
        {"frame 4/6", "paused", changed[3]}}},
      {{"--no-window", "--keys", "2 3 B +1 0 m 1"},
       {{"frame 1/6  rgb24", all},
        {"frame 1/6  rgb555", all},
        {"frame 1/6  rgb565", all},
        {"frame 1/6  rgb565", "brightness 1", all},
        {"frame 2/6  rgb565", "brightness 1", changed[1]},
        {"frame 2/6  rgb565", "brightness 0", all},
        {"frame 2/6  rgb24", "brightness 0", all}}},
      // All four back to 0 in one conversion.
      {{"--no-window", "--brightness", "1", "--contrast", "2", "--saturation", "-3", "--balance",
        "4", "--keys", "0"},
       {{"brightness 1  contrast 2  saturation -3  balance 4"},
        {"brightness 0  contrast 0  saturation 0  balance 0"}}},
      // The end of the clip: held, the end of the run, or frame 1 again.
      {{"--no-window", "--keys", "+9 b"},
       {{"frame 1/6"},
        {"frame 2/6"},
        {"frame 3/6"},
        {"frame 4/6"},
        {"frame 5/6"},
        {"frame 6/6"},
        {"frame 6/6", "end", "brightness -1"}}},
      {{"--no-window", "--exit-at-end", "--keys", "+9 b"},
       {{"frame 1/6"}, {"frame 2/6"}, {"frame 3/6"}, {"frame 4/6"}, {"frame 5/6"}, {"frame 6/6"}}},
      {{"--no-window", "--loop", "--keys", "+7"},
       {{"frame 1/6"},
        {"frame 2/6"},
        {"frame 3/6"},
        {"frame 4/6"},
        {"frame 5/6"},
        {"frame 6/6"},
        {"frame 1/6", changedCount(6, 1)},
        {"frame 2/6", changed[1]}}},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& arg : c.args) trace += " " + arg;
    SCOPED_TRACE(trace);
    const ToolRun run = Play(c.args);
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectStatusLines(run.out, c.lines);
  }
}

TEST_F(Player, AdjustmentKeysStopAtTheEndsOfInt32) {
  struct Field {
    const char* name;
    const char* down;
    const char* up;
  };
  const Field fields[] = {{"brightness", "b", "B"},
                          {"contrast", "c", "C"},
                          {"saturation", "v", "V"},
                          {"balance", "l", "L"}};
  // A key never moves a value against its direction, nor past 50 when it
  // moves it; 0 sets it to 0.
  struct Case {
    int32_t start;
    const char* keys;  // '-' the field's down key, '+' its up key
    int32_t shown;
  };
  const Case cases[] = {
      {INT32_MAX, "+", INT32_MAX},
      {INT32_MAX, "-", 50},
      {INT32_MAX, "0", 0},
      {INT32_MIN, "-", INT32_MIN},
      {INT32_MIN, "+", -50},
      {INT32_MIN, "0", 0},
      {49, "+ +", 50},
      {-49, "- -", -50},
      {50, "- + +", 50},
  };
  for (const Field& field : fields) {
    for (const Case& c : cases) {
      std::string keys;
      for (const char key : std::string(c.keys)) {
        keys += key == '-' ? field.down : key == '+' ? field.up : std::string(1, key);
      }
      SCOPED_TRACE(std::string(field.name) + " " + std::to_string(c.start) + ", keys " + keys);
      const ToolRun run = Play(
          {"--no-window", std::string("--") + field.name, std::to_string(c.start), "--keys", keys});
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
      EXPECT_NE(last.find(std::string(field.name) + " " + std::to_string(c.shown) + "  "),
                std::string::npos)
          << last;
    }
  }
}

TEST_F(Player, LoopsAClipLargerThanTheFramesItKeeps) {
  // Three frames of 44 MB: frame 1 has gone from the 128 MB kept for
  // stepping back by the time frame 3 is on show.  They differ in their
  // first sample only, so that after the first conversion only one
  // macroblock is converted each time, which takes no time to speak of.
  constexpr int kW = 8192, kH = 3712;
  {
    std::string frame(static_cast<size_t>(kW) * kH * 3 / 2, '\x80');
    std::ofstream out(dir_ / "large.y4m", std::ios::binary);
    out << "YUV4MPEG2 W" << kW << " H" << kH << " F25:1 C420jpeg\n";
    for (int f = 1; f <= 3; ++f) {
      frame[0] = static_cast<char>(60 * f);
      out << "FRAME\n" << frame;
    }
  }
  const std::string all = "converted 118784/118784", one = "converted 1/118784";
  struct Case {
    const char* input;
    std::vector<std::vector<std::string>> lines;  // what each line holds
    const char* err;
  };
  const Case cases[] = {
      // A file is opened again.
      {"DIR/large.y4m",
       {{"frame 1/3", all},
        {"frame 2/3", one},
        {"frame 3/3", one},
        {"frame 1/3", one},
        {"frame 2/3", one}},
       ""},
      // A pipe cannot be.
      {"-",
       {{"frame 1 ", all}, {"frame 2 ", one}, {"frame 3 ", one}},
       "kelmar-play: no loop: frame 1 is no longer kept and standard input cannot be read "
       "again\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const bool pipe = std::string(c.input) == "-";
    const ToolRun run = RunPlayer({pipe ? "-" : dir_ / "large.y4m", "--no-window", "--loop",
                                   "--keys", "+4", "--input-range", "full"},
                                  nullptr, {}, pipe ? dir_ / "large.y4m" : "");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, c.err);
    ExpectStatusLines(run.out, c.lines);
  }
}

TEST_F(Player, BadInputOrNoDisplayGivesOneLineAndAnErrorStatus) {
  const std::string clip = ReadFile(dir_ / "clip.y4m");
  const size_t frameBytes = FrameBytes(kWidth, kHeight) + 6;
  const size_t header = clip.size() - kFrames * frameBytes;
  WriteFile(dir_ / "truncated.y4m", clip.substr(0, header + 2 * frameBytes + 1000));
  WriteFile(dir_ / "empty.y4m", clip.substr(0, header));
  WriteFile(dir_ / "text.y4m", "not a clip\n");
  // With the status line below it, taller than the largest texture.
  WriteFile(dir_ / "tall.y4m",
            "YUV4MPEG2 W16 H16384 F25:1 C420jpeg\nFRAME\n" + std::string(16 * 16384 * 3 / 2, 'x'));

  struct Case {
    std::vector<std::string> args;  // "DIR/" stands for the clip's directory
    bool display;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"DIR/truncated.y4m"}, true, 1, "truncated.y4m: frame 3 is truncated"},
      {{"DIR/truncated.y4m", "--no-window"}, false, 1, "frame 3 is truncated"},
      {{"DIR/empty.y4m"}, true, 1, "empty.y4m has no frames"},
      {{"DIR/text.y4m"}, true, 1, "not a YUV4MPEG2 stream"},
      {{"DIR/missing.y4m"}, true, 1, "cannot open"},
      {{"DIR/tall.y4m"},
       true,
       1,
       "tall.y4m: the picture needs 320x16421 pixels, the display holds 16384x16384"},
      {{"DIR/clip.y4m", "--frames", "2"},
       false,
       1,
       "no display: neither DISPLAY nor WAYLAND_DISPLAY is set"},
      {{"DIR/clip.yuv", "--size", "344x200", "--frames", "2"}, false, 1, "no display"},
      {{"DIR/clip.y4m", "--keys", "1 x"}, true, 2, "--keys: 'x' is not a key"},
      {{"DIR/clip.y4m", "--keys", "+0"}, true, 2, "--keys: '+0' is not +N"},
      {{"DIR/clip.y4m", "--format", "rgb32"}, true, 2, "--format 'rgb32' is not one"},
      {{"DIR/clip.y4m", "--no-window", "--dump", "DIR/d"}, true, 2, "it needs the window"},
      {{"DIR/clip.y4m", "--frames", "0"}, true, 2, "--frames must be at least 1"},
      {{"DIR/clip.y4m", "--loop", "--frames", "2"}, true, 2, "--frames excludes --loop"},
      {{"DIR/clip.y4m", "--loop", "--exit-at-end"}, true, 2, "excludes"},
      {{"DIR/clip.y4m", "--rate", "-3"}, true, 2, "--rate must be"},
      {{"DIR/clip.yuv", "--size", "344"}, true, 2, "--size '344' is not WxH"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg.rfind("DIR/", 0) == 0) arg = dir_ / arg.substr(4);
      args.push_back(arg);
    }
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    const ToolRun run = RunPlayer(args, c.display ? display_ : nullptr);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.rfind("kelmar-play: error: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  // A display that no server answers.
  const ToolRun run = RunPlayer({dir_ / "clip.y4m", "--frames", "2"}, nullptr, {"DISPLAY=:4097"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot open a window on display :4097"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(PlayerHelp, ListsTheKeysAndTheScriptingAids) {
  const ToolRun run = RunPlayer({"--help"}, nullptr);
  EXPECT_EQ(run.status, 0);
  for (const std::string& line : kplay::KeyHelpLines()) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  for (const char* option : {"--keys", "--dump", "--no-window", "--frames", "--size", "--shots",
                             "--loop", "--exit-at-end"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

using Ticks = std::vector<std::vector<std::pair<int32_t, bool>>>;  // SDL key, shift

Ticks KeysOf(const std::vector<kplay::ScriptTick>& script) {
  Ticks ticks;
  for (const kplay::ScriptTick& tick : script) {
    ticks.emplace_back();
    for (const kplay::KeyPress& press : tick.keys) ticks.back().push_back({press.key, press.shift});
  }
  return ticks;
}

TEST(KeyScript, TicksHoldTheirKeysInOrder) {
  struct Case {
    const char* script;
    Ticks ticks;
  };
  const Case cases[] = {
      {"", {{}}},
      {"m s", {{{SDLK_m, false}, {SDLK_s, false}}}},
      {"+1", {{}, {}}},
      {"+3 q", {{}, {}, {}, {{SDLK_q, false}}}},
      {"B, b,,space +2 left\tright esc",
       {{{SDLK_b, true}, {SDLK_b, false}, {SDLK_SPACE, false}},
        {},
        {{SDLK_LEFT, false}, {SDLK_RIGHT, false}, {SDLK_ESCAPE, false}}}},
      {"1 6 z 0 V L h",
       {{{SDLK_1, false},
         {SDLK_6, false},
         {SDLK_z, false},
         {SDLK_0, false},
         {SDLK_v, true},
         {SDLK_l, true},
         {SDLK_h, false}}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeysOf(kplay::ParseKeyScript(c.script)), c.ticks) << c.script;
  }
  for (const char* bad : {"+0", "+", "+x", "+99999999", "x", "7", "F1", "shift+b", "!"}) {
    EXPECT_THROW(kplay::ParseKeyScript(bad), UsageError) << bad;
  }
}

TEST(KeyScript, ShiftOnlyMattersToKeysWithAShiftedMeaning) {
  using kplay::Action;
  const std::tuple<int32_t, bool, std::optional<Action>> cases[] = {
      {SDLK_b, false, Action::kBrightnessDown},
      {SDLK_b, true, Action::kBrightnessUp},
      {SDLK_l, true, Action::kBalanceUp},
      {SDLK_SPACE, true, Action::kPause},
      {SDLK_5, true, Action::kLayout5},
      {SDLK_q, true, Action::kQuit},
      {SDLK_x, false, std::nullopt},
      {SDLK_x, true, std::nullopt},
  };
  for (const auto& [key, shift, action] : cases) {
    EXPECT_EQ(kplay::ActionForKey(key, shift), action) << key << (shift ? " with shift" : "");
  }
}

}  // namespace
}  // namespace kconvert::test
