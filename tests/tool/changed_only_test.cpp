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

}  // namespace
}  // namespace kconvert::test
