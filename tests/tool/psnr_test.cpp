#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "colour_range.h"
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

TEST(LimitedRange, ExpandsEverySampleToTheNearestFullRangeValue) {
  using kelmar_tools::SampleKind;
  // The ends of each range, beyond them, and the halves of chroma.
  const struct {
    SampleKind kind;
    int sample, expanded;
  } cases[] = {
      {SampleKind::kLuma, 0, 0},       {SampleKind::kLuma, 15, 0},
      {SampleKind::kLuma, 16, 0},      {SampleKind::kLuma, 17, 1},
      {SampleKind::kLuma, 126, 128},   {SampleKind::kLuma, 235, 255},
      {SampleKind::kLuma, 236, 255},   {SampleKind::kLuma, 255, 255},
      {SampleKind::kChroma, 0, 0},     {SampleKind::kChroma, 16, 0},
      {SampleKind::kChroma, 17, 2},    {SampleKind::kChroma, 127, 127},
      {SampleKind::kChroma, 128, 128}, {SampleKind::kChroma, 129, 129},
      {SampleKind::kChroma, 239, 254}, {SampleKind::kChroma, 240, 255},
      {SampleKind::kChroma, 255, 255},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandLimitedSample(static_cast<uint8_t>(c.sample), c.kind), c.expanded)
        << (c.kind == SampleKind::kLuma ? "luma " : "chroma ") << c.sample;
  }
  // Every sample against the formula in floating point, whose results are
  // never within 1e-3 of a rounding boundary but at the chroma halves.
  for (int sample = 0; sample < 256; ++sample) {
    const double luma = std::round((sample - 16) * 255.0 / 219.0);
    const double chroma = std::round((sample - 128) * 255.0 / 224.0) + 128;
    const auto u8 = static_cast<uint8_t>(sample);
    EXPECT_EQ(ExpandLimitedSample(u8, SampleKind::kLuma), std::clamp(luma, 0.0, 255.0)) << sample;
    EXPECT_EQ(ExpandLimitedSample(u8, SampleKind::kChroma), std::clamp(chroma, 0.0, 255.0))
        << sample;
  }
  uint8_t row[] = {16, 235, 128, 240};
  kelmar_tools::ExpandLimitedRange(row, row, 2, SampleKind::kLuma);
  kelmar_tools::ExpandLimitedRange(row + 2, row + 2, 2, SampleKind::kChroma);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 4), (std::vector<uint8_t>{0, 255, 128, 255}));
}

double Psnr(const std::string& a, const std::string& b) {
  double squaredError = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
    squaredError += d * d;
  }
  return 10 * std::log10(255.0 * 255.0 * a.size() / std::max(squaredError, 1e-9));
}

// Ordinary video from ffmpeg is limited range: expanded, it comes out as
// ffmpeg's own full-range BT.601 conversion shows it.
TEST(LimitedRange, ClipConvertsCloseToFfmpegsOwnConversion) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir dir;
  const std::string clip = dir / "limited.y4m";
  const std::string make =
      "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" +
      std::to_string(kHeight) + ":rate=25 -frames:v 1 -pix_fmt yuv420p -color_range tv '" + clip +
      "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  ASSERT_NE(ReadFile(clip).find("XCOLORRANGE=LIMITED"), std::string::npos);
  // Each chroma sample for its 2 x 2 pixels, as the library uses it.
  const std::string reference =
      "ffmpeg -loglevel error -y -i '" + clip +
      "' -vf scale=in_range=limited:in_color_matrix=bt601:out_range=full:flags=neighbor"
      "+accurate_rnd+full_chroma_int -pix_fmt bgr24 -f rawvideo '" +
      (dir / "reference.bgr") + "'";
  ASSERT_EQ(std::system(reference.c_str()), 0);
  const std::string expected = ReadFile(dir / "reference.bgr");
  ASSERT_EQ(expected.size(), 3u * kWidth * kHeight);

  // As the tag says, and as the option says; full range for comparison.
  const std::vector<std::vector<std::string>> runs = {
      {"--input-range", "limited"}, {}, {"--input-range", "full"}};
  std::vector<double> psnr;
  for (const std::vector<std::string>& options : runs) {
    std::vector<std::string> args = {clip, "-f", "rgb24", "-q", "-o", dir / "out.bmp"};
    args.insert(args.end(), options.begin(), options.end());
    const ToolRun run = RunTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Bmp bmp = ParseBmp(ReadFile(dir / "out.bmp"));
    std::string got;
    for (const std::string& row : bmp.rows) got += row;
    ASSERT_EQ(got.size(), expected.size());
    psnr.push_back(Psnr(got, expected));
  }
  RecordProperty("psnr_db", std::to_string(psnr[0]));
  EXPECT_GE(psnr[0], 40.0);
  EXPECT_EQ(psnr[1], psnr[0]) << "the clip's XCOLORRANGE tag";
  EXPECT_LT(psnr[2], 30.0) << "read as full range, it looks washed out";
}

}  // namespace
}  // namespace kconvert::test
