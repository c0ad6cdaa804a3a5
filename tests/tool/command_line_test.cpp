#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

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
  const char* input = "";  // standard input; "IN/" for the directory itself
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
      {{"IN/good.y4m", "--frame", "5"}, 1, "IN/good.y4m has 2 frames; --frame 5 is past the end"},
      {{"-"}, 1, "stdin is a directory", "IN/"},
      {{"IN/short.yuv", "--size", "32x16"}, 1, "frame 1 is truncated (100 of 768 bytes"},
      {{"IN/good.y4m", "-o", "IN/good.y4m/x.bmp"},
       1,
       "cannot create 'IN/good.y4m/x.bmp': Not a directory"},
      {{"IN/good.y4m", "--format", "rgb32", "-o", "OUT/x.png"}, 2, "--format 'rgb32' is not one"},
      {{"--brightness", "abc"}, 2, "--brightness"},
      {{"--contrast", "99999999999"}, 2, "--contrast"},
      {{"--brightness", ""}, 2, "--brightness '' is not a whole number"},
      {{"--saturation", "1.5"}, 2, "--saturation '1.5' is not a whole number"},
      {{"--balance", "2147483648"},
       2,
       "--balance '2147483648' is not a whole number from -2147483648 to 2147483647"},
      {{"--first", "9223372036854775808"}, 2, "--first '9223372036854775808' is not a whole"},
      {{"--frames", "-9223372036854775809"}, 2, "--frames '-9223372036854775809' is not a"},
      {{"--frame", "0x10"}, 2, "--frame '0x10' is not a whole number"},
      {{"--frames", " 2"}, 2, "--frames ' 2' is not a whole number"},
      {{"-j", "65"}, 2, "--threads '65' is not a whole number from 1 to 64"},
      {{"--input-range", "tv"}, 2, "--input-range 'tv' is not full or limited"},
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
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const std::string input = std::string(c.input) == "IN/" ? in_.path() : c.input;
    const ToolRun run = RunTool(args, input);
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
  for (const char* option :
       {"--format", "--zoom", "--changed-only", "--balance", "--size", "--version"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  // Only what the options mean: none of CLI11's notes on them.
  for (const char* clutter : {"Excludes", "INT in", "REQUIRED"}) {
    EXPECT_EQ(run.out.find(clutter), std::string::npos) << clutter << "\n" << run.out;
  }
}

TEST_F(CommandLine, AClipOfUnstatedRangeGetsAHintAfterTheSummary) {
  WriteFile(in_ / "limited.y4m",
            "YUV4MPEG2 W32 H16 XCOLORRANGE=LIMITED\n" + FrameOf('\x10') + FrameOf('\xeb'));
  WriteFile(in_ / "full.y4m", "YUV4MPEG2 W32 H16 XCOLORRANGE=FULL\n" + FrameOf('\x10'));
  WriteFile(in_ / "raw.yuv", std::string(768, '\x10'));
  const struct {
    std::vector<std::string> args;
    bool hint;
  } cases[] = {
      {{"IN/good.y4m"}, true},
      {{"-", "IN/<good.y4m"}, true},
      {{"IN/raw.yuv", "--size", "32x16"}, true},
      {{"IN/good.y4m", "-q"}, false},
      {{"IN/good.y4m", "--input-range", "full"}, false},
      {{"IN/good.y4m", "--input-range", "limited"}, false},
      {{"IN/limited.y4m"}, false},
      {{"IN/full.y4m"}, false},
      {{}, false},  // the test picture
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    std::string input;
    for (const std::string& arg : c.args) {
      if (arg.rfind("IN/<", 0) == 0) {
        input = in_ / arg.substr(4);
      } else {
        args.push_back(arg.rfind("IN/", 0) == 0 ? in_ / arg.substr(3) : arg);
      }
    }
    args.insert(args.end(), {"-f", "uyvy", "-o", out_ / "x.uyvy"});
    SCOPED_TRACE(c.args.empty() ? "test picture" : c.args[0] + " " + c.args.back());
    const ToolRun run = RunTool(args, input);
    ASSERT_EQ(run.status, 0) << run.err;
    const size_t hint = run.err.find(
        "does not state its colour range and is read as full range; "
        "ffmpeg's yuv420p is usually limited (--input-range limited)");
    EXPECT_EQ(hint != std::string::npos, c.hint) << run.err;
    if (c.hint) {
      // One line, after the summary.
      EXPECT_GT(hint, run.err.find("macroblocks converted")) << run.err;
      EXPECT_EQ(run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1)
                    .rfind("kelmar-convert: note: ", 0),
                0u)
          << run.err;
    }
  }
  // Raw packed output carries the samples as the library received them.
  ASSERT_EQ(RunTool({in_ / "limited.y4m", "-q", "-o", out_ / "l.uyvy"}).status, 0);
  const std::string uyvy = ReadFile(out_ / "l.uyvy");
  ASSERT_EQ(uyvy.size(), 2u * 32 * 16 * 2);
  EXPECT_EQ(uyvy.substr(0, 4), std::string("\x00\x00\x00\x00", 4));  // 16: black
  // 235: luma 255, chroma 250 (U Y V Y).
  EXPECT_EQ(uyvy.substr(1024, 4), std::string("\xfa\xff\xfa\xff", 4));
}

#ifdef KELMAR_PLAY_PATH
TEST_F(CommandLine, ThePlayerTakesTheInputRangeToo) {
  WriteFile(in_ / "limited.y4m", "YUV4MPEG2 W32 H16 XCOLORRANGE=LIMITED\n" + FrameOf('a'));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* err;  // what standard error starts with; "" for nothing
  } cases[] = {
      {{"IN/good.y4m"}, 0, "kelmar-play: note: "},
      {{"IN/good.y4m", "--input-range", "limited"}, 0, ""},
      {{"IN/limited.y4m"}, 0, ""},
      {{"IN/good.y4m", "--input-range", "pc"}, 2, "kelmar-play: error: --input-range 'pc' is not"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {in_ / c.args[0].substr(3), "--no-window"};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const ToolRun run = RunPlayer(args, nullptr);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    if (*c.err == '\0') {
      EXPECT_EQ(run.err, "");
    }
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}
#endif

TEST(ToolVersion, IsTheVersionTheLibraryWasBuiltAs) {
  std::vector<std::pair<std::string, ToolRun>> runs = {{"kelmar-convert", RunTool({"--version"})}};
#ifdef KELMAR_PLAY_PATH
  runs.push_back({"kelmar-play", RunPlayer({"--version"}, nullptr)});
#endif
  for (const auto& [tool, run] : runs) {
    EXPECT_EQ(run.status, 0) << tool;
    EXPECT_EQ(run.out, tool + " " + KELMAR_VERSION + "\n");
    EXPECT_EQ(run.err, "") << tool;
  }
}

TEST_F(CommandLine, OutputNamesUpToTheFileSystemsLimitWork) {
  const struct {
    size_t length;  // of the name, in bytes
    int status;
  } cases[] = {{247, 0}, {248, 0}, {251, 0}, {255, 0}, {256, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string name = std::string(c.length - 4, 'n') + ".bmp";
    const ToolRun run = RunTool({"--size", "32x16", "-q", "-o", out_ / name});
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(out_.Files(), std::vector<std::string>{name});
      std::remove((out_ / name).c_str());
    } else {
      EXPECT_NE(run.err.find("File name too long"), std::string::npos) << run.err;
      EXPECT_TRUE(out_.Files().empty());
    }
  }
}

// Names of the files in `dir` that start with a dot: the temporary ones.
std::vector<std::string> HiddenFiles(const TempDir& dir) {
  std::vector<std::string> hidden;
  for (const std::string& file : dir.Files()) {
    const size_t slash = file.rfind('/');
    if (file[slash == std::string::npos ? 0 : slash + 1] == '.') hidden.push_back(file);
  }
  return hidden;
}

TEST_F(CommandLine, ASignalRemovesTheTemporaryFilesAndEndsWithOneLine) {
  ASSERT_EQ(mkfifo((in_ / "fifo.y4m").c_str(), 0600), 0);
  struct SignalCase {
    int signal;
    std::vector<std::string> args;  // "IN/" and "OUT/" as above
    size_t temporaries;             // at least this many while it waits for frame 2
    const char* line;
  };
  const SignalCase cases[] = {
      {SIGINT, {"-", "-o", "OUT/clip.uyvy"}, 1, "kelmar-convert: interrupted"},
      {SIGTERM, {"-", "-o", "OUT/clip.yuy2", "-j", "1"}, 1, "kelmar-convert: terminated"},
      // Every raw layout in a directory has its stream.
      {SIGTERM, {"-", "-o", "OUT/frames/"}, 2, "kelmar-convert: terminated"},
      {SIGINT, {"IN/fifo.y4m", "-o", "OUT/frames/", "-j", "1"}, 2, "kelmar-convert: interrupted"},
  };
  for (const SignalCase& c : cases) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg.rfind("IN/", 0) == 0) arg = in_ / arg.substr(3);
      if (arg.rfind("OUT/", 0) == 0) arg = out_ / arg.substr(4);
      args.push_back(arg);
    }
    SCOPED_TRACE(args[0] + " " + args[2]);
    RunningTool tool(args);
    // Frame 1 and no end: the tool waits for frame 2 with its files open.
    const std::string bytes = kHeader + FrameOf('a');
    int fifo = -1;
    if (args[0] == "-") {
      tool.Write(bytes);
    } else {
      fifo = open(args[0].c_str(), O_WRONLY);  // waits for the tool to open it too
      ASSERT_GE(fifo, 0);
      ASSERT_EQ(write(fifo, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    ASSERT_TRUE(WaitUntil([&] { return HiddenFiles(out_).size() >= c.temporaries; }));
    tool.Signal(c.signal);
    const ToolRun run = tool.Wait();
    if (fifo >= 0) close(fifo);
    EXPECT_EQ(run.signal, c.signal);
    EXPECT_EQ(run.status, 128 + c.signal);
    EXPECT_EQ(run.err.rfind(c.line, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(HiddenFiles(out_), std::vector<std::string>{});
    std::filesystem::remove_all(out_.path() + "/frames");
    std::remove((out_ / "clip.uyvy").c_str());
    std::remove((out_ / "clip.yuy2").c_str());
  }
}

TEST_F(CommandLine, AClosedOutputPipeEndsItBySigpipeAlone) {
  std::string clip = "YUV4MPEG2 W352 H288\n";
  for (int frame = 0; frame < 20; ++frame) clip += "FRAME\n" + std::string(352 * 288 * 3 / 2, 'c');
  WriteFile(in_ / "long.y4m", clip);
  RunningTool tool({in_ / "long.y4m", "--format", "uyvy", "-o", "-"}, "/dev/null", true);
  EXPECT_EQ(tool.Read(10).size(), 10u);
  tool.CloseOutput();
  const ToolRun run = tool.Wait();
  EXPECT_EQ(run.signal, SIGPIPE);
  EXPECT_EQ(run.status, 141);
  EXPECT_EQ(run.err, "");
}

// The converter keeps its buffers; the writer writes one copy of them.  A
// 2048 x 2048 picture at double size in 24-bit has a 48 MiB buffer, and a
// tool that held one copy per queued frame would need five or more.
TEST_F(CommandLine, ALargePictureIsHeldTwiceAtMostWhileWritten) {
#ifdef KELMAR_TOOLS_SANITIZED
  GTEST_SKIP() << "a sanitizer's shadow memory counts in the peak";
#endif
  constexpr int kSide = 2048, kFrames = 4;
  WriteFile(in_ / "large.yuv", std::string(kFrames * FrameBytes(kSide, kSide), '\x80'));
  RunningTool tool({in_ / "large.yuv", "--size", "2048x2048", "-z", "-f", "rgb24", "-j", "2", "-q",
                    "-o", out_ / "f-%d.bmp"},
                   "/dev/null");
  const ToolRun run = tool.Wait();
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(out_.Files().size(), static_cast<size_t>(kFrames));
  const double buffer = 2.0 * kSide * 2 * kSide * 3;
  RecordProperty("peak_buffers", std::to_string(run.peakBytes / buffer));
  EXPECT_LT(run.peakBytes, 3.5 * buffer) << run.peakBytes / buffer << " buffers";
}

}  // namespace
}  // namespace kconvert::test
