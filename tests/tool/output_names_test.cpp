#include "output_names.h"

#include <gtest/gtest.h>

#include "tool_error.h"

namespace kconvert::test {
namespace {

struct PlanCase {
  const char* output;
  const char* format;
  bool video;
  int64_t frames;
  bool zoom;
  // Expected: "layout:container:name" per item, the sheet and the frame
  // limit; or the error.
  std::vector<std::string> items;
  const char* sheet;
  int64_t maxFrames;
  const char* error;
};

std::string Describe(const OutputItem& item) {
  static const char* const kContainers[] = {"bmp", "png", "raw"};
  return std::string(LayoutName(item.layout)) + ":" +
         kContainers[static_cast<int>(item.container)] + ":" + item.name;
}

TEST(OutputPlan, FollowsTheOutputNameAndFormat) {
  const std::vector<std::string> allImages = {
      "rgb24:bmp:d/clip-rgb24-%04d.bmp",   "rgb555:bmp:d/clip-rgb555-%04d.bmp",
      "rgb565:bmp:d/clip-rgb565-%04d.bmp", "pal8:bmp:d/clip-pal8-%04d.bmp",
      "uyvy:raw:d/clip-uyvy.uyvy",         "yuy2:raw:d/clip-yuy2.yuy2"};
  const PlanCase cases[] = {
      {"d/",
       "",
       false,
       0,
       false,
       {"rgb24:bmp:d/clip-rgb24.bmp", "rgb555:bmp:d/clip-rgb555.bmp",
        "rgb565:bmp:d/clip-rgb565.bmp", "pal8:bmp:d/clip-pal8.bmp", "uyvy:raw:d/clip-uyvy.uyvy",
        "yuy2:raw:d/clip-yuy2.yuy2"},
       "d/clip-sheet.png",
       0,
       nullptr},
      {"d/", "all", true, 0, true, allImages, "d/clip-sheet-%04d.png", 0, nullptr},
      {"d/", "pal8", true, 1, false, {"pal8:bmp:d/clip-pal8.bmp"}, "", 1, nullptr},
      {"x.bmp", "", true, 0, false, {"rgb24:bmp:x.bmp"}, "", 1, nullptr},
      {"x.bmp", "rgb565", false, 0, true, {"rgb565:bmp:x.bmp"}, "", 0, nullptr},
      {"x-%04d.bmp", "", true, 5, false, {"rgb24:bmp:x-%04d.bmp"}, "", 0, nullptr},
      {"x.png", "", true, 1, false, {}, "x.png", 1, nullptr},
      {"x.png", "yuy2", false, 0, false, {"yuy2:png:x.png"}, "", 0, nullptr},
      {"x.UYVY", "", true, 0, false, {"uyvy:raw:x.UYVY"}, "", 0, nullptr},
      {"x-%03d.yuy2", "yuy2", true, 0, false, {"yuy2:raw:x-%03d.yuy2"}, "", 0, nullptr},
      {"-", "uyvy", true, 0, false, {"uyvy:raw:-"}, "", 0, nullptr},
      {"x.bmp", "uyvy", false, 0, false, {}, "", 0, "a .bmp holds one RGB layout"},
      {"x.bmp", "all", false, 0, false, {}, "", 0, "a .bmp holds one RGB layout"},
      {"x.bmp", "", true, 5, false, {}, "", 0, "holds one frame; put %04d in the name"},
      {"x.uyvy", "yuy2", false, 0, false, {}, "", 0, "is a raw uyvy file but --format is yuy2"},
      {"x.uyvy", "", false, 0, true, {}, "", 0, "--zoom applies to the RGB layouts only"},
      {"-", "", false, 0, false, {}, "", 0, "needs --format uyvy or yuy2"},
      {"-", "rgb24", false, 0, false, {}, "", 0, "needs --format uyvy or yuy2"},
      {"x.jpg", "", false, 0, false, {}, "", 0, "cannot tell the output format from 'x.jpg'"},
      {"x", "", false, 0, false, {}, "", 0, "cannot tell the output format"},
      {"x.bmp", "rgb32", false, 0, false, {}, "", 0, "--format 'rgb32' is not one of"},
      {"x-%d-%d.bmp", "", false, 0, false, {}, "", 0, "has more than one frame number"},
      {"x%s.bmp", "", false, 0, false, {}, "", 0, "use %04d for the frame number"},
      {"x%123d.bmp", "", false, 0, false, {}, "", 0, "use %04d for the frame number"},
      {"x%4d.bmp", "", false, 0, false, {}, "", 0, "use %04d for the frame number"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " --format " + c.format);
    Options options;
    options.output = c.output;
    options.format = c.format;
    options.frames = c.frames;
    options.zoom = c.zoom;
    try {
      const OutputPlan plan = PlanOutputs(options, "clip", c.video);
      EXPECT_EQ(c.error, nullptr);
      std::vector<std::string> items;
      for (const OutputItem& item : plan.items) items.push_back(Describe(item));
      EXPECT_EQ(items, c.items);
      EXPECT_EQ(plan.sheetName, c.sheet);
      EXPECT_EQ(plan.maxFrames, c.maxFrames);
    } catch (const UsageError& e) {
      ASSERT_NE(c.error, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
  }
}

TEST(OutputPlan, FillsInFrameNumbersAndKeepsLiteralPercentSigns) {
  EXPECT_EQ(ExpandFrameNumber("f-%04d.bmp", 7), "f-0007.bmp");
  EXPECT_EQ(ExpandFrameNumber("f-%04d.bmp", 123456), "f-123456.bmp");
  EXPECT_EQ(ExpandFrameNumber("100%%-%d.png", 12), "100%-12.png");
  EXPECT_EQ(ExpandFrameNumber("plain.png", 3), "plain.png");
  EXPECT_FALSE(HasFrameNumber("100%%.png"));
  Options options;
  options.output = "d/";
  const OutputPlan plan = PlanOutputs(options, "50%", false);
  EXPECT_EQ(ExpandFrameNumber(plan.items[0].name, 1), "d/50%-rgb24.bmp");
}

}  // namespace
}  // namespace kconvert::test
