#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tool_test_support.h"

namespace kconvert::test {
namespace {

const std::string kHeader = "YUV4MPEG2 W32 H16 F25:1 C420jpeg\n";

std::string FrameOf(char fill) { return "FRAME\n" + std::string(768, fill); }

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(in_ / "good.y4m", kHeader + FrameOf('a') + FrameOf('b'));
    WriteFile(in_ / "badmagic.y4m", "RIFF and then something else entirely");
    WriteFile(in_ / "nowidth.y4m", "YUV4MPEG2 H16\n" + FrameOf('a'));
    WriteFile(in_ / "huge.y4m", "YUV4MPEG2 W100000 H16\n");
    WriteFile(in_ / "c422.y4m", "YUV4MPEG2 W32 H16 C422\n");
    WriteFile(in_ / "truncated.y4m", kHeader + FrameOf('a') + FrameOf('b').substr(0, 400));
    WriteFile(in_ / "noframes.y4m", kHeader);
    WriteFile(in_ / "short.yuv", std::string(100, 'x'));
  }
  TempDir in_;
  TempDir out_;
};

struct ErrorCase {
  std::vector<std::string> args;  // "IN/" and "OUT/" stand for the two directories
  int status;
  const char* message;
};

TEST_F(CommandLine, BadInputGetsOneClearLineAndNoOutput) {
  const ErrorCase cases[] = {
      {{"IN/missing.y4m"}, 1, "cannot open 'IN/missing.y4m': No such file or directory"},
      {{"IN/badmagic.y4m"}, 1, "IN/badmagic.y4m: not a YUV4MPEG2 stream"},
      {{"IN/nowidth.y4m"}, 1, "header has no width (W tag)"},
      {{"IN/huge.y4m"}, 1, "picture size 100000x16 is out of range"},
      {{"IN/c422.y4m"}, 1, "chroma 'C422' is not supported"},
      {{"IN/truncated.y4m"}, 1, "IN/truncated.y4m: frame 2 is truncated (394 of 768 bytes)"},
      {{"IN/noframes.y4m"}, 1, "IN/noframes.y4m has no frames"},
      {{"IN/good.y4m", "--first", "5"}, 1, "has 2 frames; --first 5 is past the end"},
      {{"IN/short.yuv", "--size", "32x16"}, 1, "frame 1 is truncated (100 of 768 bytes"},
      {{"IN/good.y4m", "-o", "IN/good.y4m/x.bmp"},
       1,
       "cannot create 'IN/good.y4m/x.bmp': Not a directory"},
      {{"IN/good.y4m", "--format", "rgb32", "-o", "OUT/x.png"}, 2, "--format 'rgb32' is not one"},
      {{"--brightness", "abc"}, 2, "--brightness"},
      {{"--contrast", "99999999999"}, 2, "--contrast"},
      {{"--size", "12"}, 2, "--size '12' is not WxH"},
      {{"--size", "20000x16"}, 2, "picture size 20000x16 is out of range"},
      {{"--frame", "0"}, 2, "--frame counts from 1"},
      {{"--frames", "0"}, 2, "--frames must be at least 1"},
      {{"--frame", "2", "--first", "1"}, 2, "excludes"},
      {{"--bogus"}, 2, "--bogus"},
      {{"IN/good.y4m", "-o", "OUT/x.jpg"}, 2, "cannot tell the output format"},
      {{"IN/good.y4m", "--zoom", "-o", "OUT/x.yuy2"}, 2, "--zoom applies to the RGB layouts"},
  };
  for (const ErrorCase& c : cases) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg.rfind("IN/", 0) == 0) arg = in_ / arg.substr(3);
      if (arg.rfind("OUT/", 0) == 0) arg = out_ / arg.substr(4);
      args.push_back(arg);
    }
    if (std::find(args.begin(), args.end(), "-o") == args.end()) {
      // Raw frames into one file: nothing may remain of a failed run.
      args.insert(args.end(), {"-o", out_ / "x.uyvy"});
    }
    SCOPED_TRACE(c.args[0]);
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string message = c.message;
    for (auto [token, dir] : {std::pair{"IN/", &in_}, std::pair{"OUT/", &out_}}) {
      const size_t at = message.find(token);
      if (at != std::string::npos) message.replace(at, std::strlen(token), dir->path() + "/");
    }
    EXPECT_EQ(run.err.rfind("kelmar-convert: error: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(out_.Files().empty()) << out_.Files()[0];
  }
}

TEST_F(CommandLine, AFailedRunKeepsOnlyTheFramesItFinished) {
  const ToolRun run = RunTool({in_ / "truncated.y4m", "-o", out_ / "f-%04d.bmp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(out_.Files(), std::vector<std::string>{"f-0001.bmp"});
  EXPECT_EQ(ParseBmp(ReadFile(out_ / "f-0001.bmp")).rows.size(), 16u);
}

TEST_F(CommandLine, WithoutInputWritesEveryLayoutAndTheContactSheet) {
  const ToolRun run = RunTool({"-o", out_ / "pictures/"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("1 frame x 6 layouts, 396 of 396 macroblocks converted"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(out_.Files(), (std::vector<std::string>{
                              "pictures/testpicture-pal8.bmp", "pictures/testpicture-rgb24.bmp",
                              "pictures/testpicture-rgb555.bmp", "pictures/testpicture-rgb565.bmp",
                              "pictures/testpicture-sheet.png", "pictures/testpicture-uyvy.uyvy",
                              "pictures/testpicture-yuy2.yuy2"}));
  EXPECT_EQ(ReadFile(out_ / "pictures/testpicture-sheet.png").substr(1, 3), "PNG");
  EXPECT_EQ(ReadFile(out_ / "pictures/testpicture-uyvy.uyvy").size(), 352u * 288 * 2);
}

TEST_F(CommandLine, ReadsStandardInputLikeAFile) {
  const ToolRun fromFile =
      RunTool({in_ / "good.y4m", "-f", "rgb565", "-q", "-o", out_ / "file-%d.png"});
  const ToolRun fromPipe =
      RunTool({"-", "-f", "rgb565", "-q", "-o", out_ / "pipe-%d.png"}, in_ / "good.y4m");
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  ASSERT_EQ(fromPipe.status, 0) << fromPipe.err;
  EXPECT_EQ(fromPipe.err, "");  // --quiet
  for (const char* n : {"1", "2"}) {
    const std::string pipe = ReadFile(out_ / ("pipe-" + std::string(n) + ".png"));
    EXPECT_FALSE(pipe.empty());
    EXPECT_TRUE(pipe == ReadFile(out_ / ("file-" + std::string(n) + ".png"))) << n;
  }
  const ToolRun toStdout = RunTool({in_ / "good.y4m", "--format", "yuy2", "-q", "-o", "-"});
  EXPECT_EQ(toStdout.out.size(), 2u * 32 * 16 * 2);
}

TEST_F(CommandLine, HelpListsTheOptions) {
  const ToolRun run = RunTool({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"--format", "--zoom", "--changed-only", "--balance", "--size"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace kconvert::test
