#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tool_test_support.h"

namespace kconvert::test {
namespace {

constexpr int kWidth = 180, kHeight = 100, kFrames = 5;

class RealClip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    MakeClip(dir_ / "clip.y4m", dir_ / "clip.yuv", kWidth, kHeight, kFrames);
    raw_ = ReadFile(dir_ / "clip.yuv");
    ASSERT_EQ(raw_.size(), kFrames * FrameBytes(kWidth, kHeight));
  }
  uint8_t Sample(int frame, int plane, int x, int y) const {
    const size_t lumaBytes = kWidth * kHeight, chromaBytes = (kWidth / 2) * (kHeight / 2);
    size_t at = frame * FrameBytes(kWidth, kHeight);
    if (plane == 0) return raw_[at + y * kWidth + x];
    at += lumaBytes + (plane - 1) * chromaBytes;
    return raw_[at + y * (kWidth / 2) + x];
  }
  TempDir dir_;
  std::string raw_;
};

// Full-range BT.601 in floating point, each chroma sample used for its 2 x 2
// pixels: what the 24-bit output should approximate.
void ReferencePixel(int y, int u, int v, double rgb[3]) {
  rgb[0] = std::clamp(std::round(y + 1.402 * (v - 128)), 0.0, 255.0);
  rgb[1] = std::clamp(std::round(y - 0.344136 * (u - 128) - 0.714136 * (v - 128)), 0.0, 255.0);
  rgb[2] = std::clamp(std::round(y + 1.772 * (u - 128)), 0.0, 255.0);
}

TEST_F(RealClip, Rgb24OutputIsCloseToAnIndependentConversion) {
  const ToolRun run =
      RunTool({dir_ / "clip.y4m", "--format", "rgb24", "-o", dir_ / "frame-%02d.bmp"});
  ASSERT_EQ(run.status, 0) << run.err;
  double squaredError = 0;
  int64_t samples = 0;
  for (int f = 0; f < kFrames; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%02d.bmp", f + 1);
    const Bmp bmp = ParseBmp(ReadFile(dir_ / name));
    ASSERT_EQ(bmp.width, kWidth);
    ASSERT_EQ(bmp.height, kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        double expected[3];
        ReferencePixel(Sample(f, 0, x, y), Sample(f, 1, x / 2, y / 2), Sample(f, 2, x / 2, y / 2),
                       expected);
        for (int c = 0; c < 3; ++c) {
          const double got = static_cast<uint8_t>(bmp.rows[y][3 * x + 2 - c]);  // BGR
          squaredError += (got - expected[c]) * (got - expected[c]);
          ++samples;
        }
      }
    }
  }
  const double psnr = 10 * std::log10(255.0 * 255.0 * samples / std::max(squaredError, 1e-9));
  RecordProperty("psnr_db", std::to_string(psnr));
  EXPECT_GT(psnr, 42.0);
}

// With no adjustments the packed layouts carry the samples unchanged, so the
// raw stream can be checked exactly, top row first.
TEST_F(RealClip, RawUyvyStreamHoldsTheSourceSamplesTopRowFirst) {
  const ToolRun run = RunTool({dir_ / "clip.y4m", "-o", dir_ / "clip.uyvy"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string uyvy = ReadFile(dir_ / "clip.uyvy");
  ASSERT_EQ(uyvy.size(), static_cast<size_t>(kFrames) * kWidth * kHeight * 2);
  size_t at = 0;
  for (int f = 0; f < kFrames; ++f) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; x += 2, at += 4) {
        const uint8_t expected[4] = {Sample(f, 1, x / 2, y / 2), Sample(f, 0, x, y),
                                     Sample(f, 2, x / 2, y / 2), Sample(f, 0, x + 1, y)};
        ASSERT_EQ(std::string(uyvy, at, 4), std::string(expected, expected + 4))
            << "frame " << f + 1 << " pixel " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace kconvert::test
