// Kelmar()'s fixed sequence: the redraw on a display change, the preparation
// of non-packed calls and the dispatch table's answers.
#include <gtest/gtest.h>

#include <algorithm>

#include "exports/display_state.h"
#include "test_support.h"

namespace kelmar::test {
namespace {

class KelmarEntry : public ::testing::Test {
 protected:
  void SetUp() override { SetDisplayQuietly(0, 0, 0, 0); }
  void TearDown() override { SetDisplayQuietly(0, 0, 0, 0); }
};

struct FillCase {
  int32_t width, height, zoom;
  size_t filled;  // map bytes set to 1
};

TEST_F(KelmarEntry, DisplayChangeMarksHeaderSizeOver256Bytes) {
  const FillCase cases[] = {
      {176, 144, 0, 99}, {352, 288, 1, 396}, {160, 120, 0, 75},
      {15, 15, 0, 0},    {0, 144, 0, 0},     {-176, 144, 0, 0},  // negative product: nothing
      {-16, -16, 0, 1},  // the product of the two is positive
  };
  for (const FillCase& c : cases) {
    Picture picture = MakePicture(32, 32, 1);
    auto h = MakeHeader(c.width, c.height, 32, BI_RGB);  // draws nothing
    std::vector<uint8_t> map(512, 0);
    SetDisplay(1, 0, 0, 0);
    EXPECT_EQ(Kelmar(&h.header, nullptr, &picture.planes, map.data(), 0, c.zoom), 0);
    for (size_t i = 0; i < map.size(); ++i)
      ASSERT_EQ(map[i], i < c.filled ? 1 : 0) << c.width << "x" << c.height << " byte " << i;
    SetDisplayQuietly(0, 0, 0, 0);
  }
}

TEST_F(KelmarEntry, ChangeIsConsumedByTheFirstCall) {
  Picture picture = MakePicture(32, 32, 1);
  auto h = MakeHeader(32, 32, 32, BI_RGB);
  std::vector<uint8_t> map(4, 0);

  SetDisplay(0, 0, 0, 0);  // same as before: nothing to redraw
  Kelmar(&h.header, nullptr, &picture.planes, map.data(), 0, 0);
  EXPECT_EQ(map, std::vector<uint8_t>(4, 0));

  SetDisplay(0, 0, 0, 1);  // balance alone also redraws
  Kelmar(&h.header, nullptr, &picture.planes, map.data(), 0, 0);
  EXPECT_EQ(map, std::vector<uint8_t>(4, 1));
  EXPECT_EQ(LoadLastDisplayAdjust(), LoadDisplayAdjust());

  map.assign(4, 0);
  Kelmar(&h.header, nullptr, &picture.planes, map.data(), 0, 0);
  EXPECT_EQ(map, std::vector<uint8_t>(4, 0));
}

TEST_F(KelmarEntry, PackedCallsAlsoConsumeTheChange) {
  Picture picture = MakePicture(16, 16, 1);
  auto h = MakeHeader(16, 16, 16, KELMAR_FOURCC_UYVY);
  h.header.biClrImportant = 1234;
  std::vector<uint8_t> map(1, 0), out(16 * 16 * 2);
  SetDisplay(0, 5, 0, 0);
  Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, 1);
  EXPECT_EQ(map[0], 1);
  EXPECT_EQ(LoadLastDisplayAdjust(), LoadDisplayAdjust());
  EXPECT_EQ(h.header.biClrImportant, 1234u) << "packed calls leave the header alone";
}

struct DispatchCase {
  uint32_t compression;
  uint16_t bitCount;
  int32_t result;
  bool draws;
};

TEST_F(KelmarEntry, DispatchAnswersAndPreparation) {
  const DispatchCase cases[] = {
      {BI_RGB, 24, 0, true},        {BI_RGB, 16, 0, true},
      {BI_RGB, 8, 0, true},         {BI_RGB, 32, 0, false},
      {BI_RGB, 1, 0, false},        {BI_RGB, 0, 0, false},
      {BI_BITFIELDS, 16, 0, true},  {BI_BITFIELDS, 32, -1, false},
      {BI_BITFIELDS, 8, -1, false}, {BI_BITFIELDS, 24, -1, false},
      {1, 24, -1, false},           {2, 8, -1, false},
      {0x59565956u, 16, -1, false},  // one bit away from a packed code
  };
  Picture picture = MakePicture(16, 16, 2);
  for (const DispatchCase& c : cases) {
    auto h = MakeHeader(16, 16, c.bitCount, c.compression);
    h.header.biClrImportant = 99;
    std::vector<uint8_t> map(1, 1);
    GuardedBuffer out(16 * 16 * 4);
    const std::vector<uint8_t> before = out.Payload();
    EXPECT_EQ(Kelmar(&h.header, out.data(), &picture.planes, map.data(), 0, 0), c.result)
        << c.compression << "/" << c.bitCount;
    EXPECT_EQ(h.header.biClrImportant, 0u) << "every non-packed call clears it";
    EXPECT_EQ(out.Payload() != before, c.draws) << c.compression << "/" << c.bitCount;
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST_F(KelmarEntry, SecondNamesBehaveAlike) {
  Picture picture = MakePicture(48, 32, 3);
  std::vector<uint8_t> first, second;
  for (auto* fn : {&Kelmar, &KelmarW}) {
    SetDisplayQuietly(0, 0, 0, 0);
    (fn == &Kelmar ? SetDisplay : SetDisplayW)(1, 2, 3, 0);
    auto h = MakeHeader(48, 32, 24, BI_RGB);
    std::vector<uint8_t> map(6, 0), out(48 * 32 * 3, 0);
    EXPECT_EQ(fn(&h.header, out.data(), &picture.planes, map.data(), 0, 0), 0);
    (fn == &Kelmar ? first : second) = out;
  }
  EXPECT_EQ(first, second);
  RGBQUAD a[256], b[256];
  EXPECT_EQ(DecGetPal(a, 256, 0), DecGetPalW(b, 256, 0));
  EXPECT_EQ(0, std::memcmp(a, b, sizeof(a)));
}

TEST_F(KelmarEntry, ProcessorTestAgreesWithPathChoice) {
  EXPECT_EQ(PlanFor(CodePath::kInteger).widest, CodePath::kInteger);
  const ConvertPlan automatic = ChooseConvertPlan();
  if (ProcessorRuns(CodePath::kNeon)) {
    EXPECT_EQ(automatic.widest, CodePath::kNeon) << "every aarch64 processor has Advanced SIMD";
    EXPECT_FALSE(ProcessorRuns(CodePath::kMmx) || ProcessorRuns(CodePath::kSse2));
  } else {
    EXPECT_EQ(automatic.Allows(CodePath::kMmx), ProcessorHasMmx() != 0);
  }
  if (ProcessorHasMmx()) {
    EXPECT_EQ(automatic.widest, std::max(CodePath::kMmx, ProcessorVectorPath()));
  }
#if defined(__x86_64__)
  EXPECT_TRUE(automatic.Allows(CodePath::kMmx)) << "every x86-64 processor has MMX";
#endif
  for (const CodePath path : SupportedPaths()) {
    EXPECT_EQ(PlanFor(path).widest, path) << CodePathName(path);
    CodePath named;
    EXPECT_TRUE(CodePathNamed(CodePathName(path), &named));
    EXPECT_EQ(named, path);
  }
  CodePath unchanged = CodePath::kSse2;
  EXPECT_FALSE(CodePathNamed("avx", &unchanged));
  EXPECT_FALSE(CodePathNamed("", &unchanged));
}

}  // namespace
}  // namespace kelmar::test
