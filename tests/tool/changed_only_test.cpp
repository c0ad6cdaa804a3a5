#include <gtest/gtest.h>

#include <filesystem>

#include "convert_run.h"
#include "frame_source.h"
#include "tool_test_support.h"

namespace kconvert::test {
namespace {

// ffmpeg's moving test source: a still background with moving parts, at a
// size that is not whole macroblocks.
class ChangedOnly : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    MakeClip(dir_ / "clip.y4m", dir_ / "clip.yuv", 200, 136, 24);
  }
  TempDir dir_;
};

TEST_F(ChangedOnly, GivesTheSameBytesAsFullConversionInEveryLayout) {
  const std::vector<Layout> layouts(std::begin(kAllLayouts), std::end(kAllLayouts));
  for (bool zoom : {false, true}) {
    SCOPED_TRACE(zoom ? "double size" : "normal size");
    SetDisplay(zoom ? 1 : 0, zoom ? -3 : 0, zoom ? 4 : 0, zoom ? 2 : 0);
    auto source = OpenSource({dir_ / "clip.y4m"});
    FrameConverter full(layouts, 200, 136, zoom, false);
    FrameConverter changed(layouts, 200, 136, zoom, true);
    Frame frame;
    int frames = 0, converted = 0;
    while (source->Read(frame)) {
      ++frames;
      full.Convert(frame);
      converted += changed.Convert(frame);
      for (size_t i = 0; i < layouts.size(); ++i) {
        ASSERT_EQ(changed.targets()[i].pixels(), full.targets()[i].pixels())
            << LayoutName(layouts[i]) << " frame " << frames;
      }
    }
    ASSERT_EQ(frames, 24);
    // The clip must leave something unchanged, or nothing was tested.
    EXPECT_LT(converted, frames * full.macroblocks());
    EXPECT_GT(converted, full.macroblocks());
  }
  SetDisplay(0, 0, 0, 0);
}

TEST_F(ChangedOnly, TheProgramWritesIdenticalFilesAndReportsTheShare) {
  const ToolRun full = RunTool({dir_ / "clip.y4m", "--brightness", "1", "-o", dir_ / "full/"});
  const ToolRun changed =
      RunTool({dir_ / "clip.y4m", "--changed-only", "--brightness", "1", "-o", dir_ / "changed/"});
  ASSERT_EQ(full.status, 0) << full.err;
  ASSERT_EQ(changed.status, 0) << changed.err;
  // 208 x 144 padded: 117 macroblocks a frame.
  EXPECT_NE(full.err.find("24 frames x 6 layouts, 2808 of 2808 macroblocks converted (100.0%)"),
            std::string::npos)
      << full.err;
  EXPECT_EQ(changed.err.find("2808 of 2808"), std::string::npos) << changed.err;

  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "full")) {
    const std::string name = entry.path().filename().string();
    ASSERT_EQ(ReadFile(dir_ / "changed/" + name), ReadFile(entry.path().string())) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 4 * 24 + 2 + 24);  // RGB bitmaps, two raw streams, sheets
}

// Large pictures in bands on several threads: the same bytes as one thread,
// and the first call of a run takes the display setting as a whole.
class Threads : public ::testing::Test {
 protected:
  static constexpr int kWidth = 720, kHeight = 576;  // 1620 macroblocks: converted in bands
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    MakeClip(dir_ / "clip.y4m", dir_ / "clip.yuv", kWidth, kHeight, 5);
  }
  TempDir dir_;
};

TEST_F(Threads, BandsGiveTheBytesOfOneCallAndFollowTheDisplayChangeRule) {
  const std::vector<Layout> layouts(std::begin(kAllLayouts), std::end(kAllLayouts));
  for (bool zoom : {false, true}) {
    SCOPED_TRACE(zoom ? "double size" : "normal size");
    SetDisplay(0, 0, 0, 0);
    FrameConverter single(layouts, kWidth, kHeight, zoom, true, 1);
    // A change pending: the banded converter's first call must see it whole.
    SetDisplay(2, 3, -1, 4);
    FrameConverter banded(layouts, kWidth, kHeight, zoom, true, 3);
    auto source = OpenSource({dir_ / "clip.y4m"});
    Frame frame;
    for (int n = 1; source->Read(frame); ++n) {
      banded.Convert(frame);
      single.Convert(frame);
      for (size_t i = 0; i < layouts.size(); ++i) {
        EXPECT_EQ(banded.targets()[i].lastCalls(), n == 1 && i == 0 ? 1 : 3)
            << LayoutName(layouts[i]) << " frame " << n;
        ASSERT_EQ(banded.targets()[i].pixels(), single.targets()[i].pixels())
            << LayoutName(layouts[i]) << " frame " << n;
      }
    }
  }
  SetDisplay(0, 0, 0, 0);
}

TEST_F(Threads, TheProgramWritesIdenticalFilesAndTheSameSummary) {
  // The part of the summary before the timings.
  const auto counts = [](const std::string& err) { return err.substr(0, err.find("%)")); };
  std::string summary;
  for (const char* threads : {"1", "4"}) {
    const std::string out = dir_ / (std::string("t") + threads + "/");
    const std::vector<std::vector<std::string>> runs = {
        {"--changed-only", "--contrast", "2", "-f", "pal8", "-o", out + "p%04d.bmp"},
        {"--zoom", "--saturation", "3", "-f", "rgb565", "-o", out + "z%04d.bmp"},
        {"--balance", "-4", "-f", "yuy2", "-o", out + "clip.yuy2"}};
    for (const std::vector<std::string>& args : runs) {
      std::vector<std::string> command = {dir_ / "clip.y4m", "--threads", threads};
      command.insert(command.end(), args.begin(), args.end());
      const ToolRun run = RunTool(command);
      ASSERT_EQ(run.status, 0) << run.err;
      if (args[0] == "--changed-only") {
        if (summary.empty()) summary = counts(run.err);
        EXPECT_EQ(counts(run.err), summary);
      }
    }
  }
  EXPECT_NE(summary.find("5 frames x 1 layout"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("8100 of 8100"), std::string::npos) << "something unchanged";
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "t1")) {
    const std::string name = entry.path().filename().string();
    ASSERT_EQ(ReadFile(dir_ / "t4/" + name), ReadFile(entry.path().string())) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 2 * 5 + 1);  // two bitmaps a frame and the raw stream
}

}  // namespace
}  // namespace kconvert::test
