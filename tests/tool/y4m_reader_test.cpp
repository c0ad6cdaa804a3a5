#include "y4m_reader.h"

#include <gtest/gtest.h>

#include <sstream>

#include "frame_source.h"
#include "tool_error.h"
#include "tool_test_support.h"

namespace kconvert::test {
namespace {

// The message of the ToolError that `action` throws, or "" if none.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const ToolError& e) {
    return e.what();
  }
  return "";
}

struct ValidHeader {
  const char* text;
  int width, height;
  int64_t rateNum, rateDen;
  char interlace;
  const char* chroma;
  size_t extensions;
  std::string range = "unstated";
};

TEST(Y4mHeader, AcceptsEveryTagAndFourTwoZeroChroma) {
  const ValidHeader cases[] = {
      {"YUV4MPEG2 W176 H144 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG\n", 176, 144, 25, 1, 'p',
       "420jpeg", 1},
      {"YUV4MPEG2 W3 H5\n", 3, 5, 0, 0, '?', "420jpeg", 0},
      {"YUV4MPEG2 W16 H16 C420paldv It F30000:1001 A0:0 Xa Xb\n", 16, 16, 30000, 1001, 't',
       "420paldv", 2},
      {"YUV4MPEG2  W16  H32 C420 Ib\n", 16, 32, 0, 0, 'b', "420", 0},
      {"YUV4MPEG2 H8 W8 C420mpeg2 Im\n", 8, 8, 0, 0, 'm', "420mpeg2", 0},
      {"YUV4MPEG2 W16384 H4096\n", 16384, 4096, 0, 0, '?', "420jpeg", 0},
      {"YUV4MPEG2 W16 H16 XCOLORRANGE=LIMITED\n", 16, 16, 0, 0, '?', "420jpeg", 1, "limited"},
      {"YUV4MPEG2 W16 H16 XYSCSS=420JPEG XCOLORRANGE=FULL\n", 16, 16, 0, 0, '?', "420jpeg", 2,
       "full"},
      {"YUV4MPEG2 W16 H16 XCOLORRANGE=limited\n", 16, 16, 0, 0, '?', "420jpeg", 1, "unstated"},
  };
  for (const ValidHeader& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream in(c.text);
    Y4mReader reader(in, "clip");
    const Y4mHeader& h = reader.header();
    EXPECT_EQ(h.width, c.width);
    EXPECT_EQ(h.height, c.height);
    EXPECT_EQ(h.frameRate.num, c.rateNum);
    EXPECT_EQ(h.frameRate.den, c.rateDen);
    EXPECT_EQ(h.interlace, c.interlace);
    EXPECT_EQ(h.chroma, c.chroma);
    EXPECT_EQ(h.extensions.size(), c.extensions);
    EXPECT_EQ(h.range ? kelmar_tools::ColourRangeName(*h.range) : "unstated", c.range);
    EXPECT_EQ(reader.headerBytes(), std::string(c.text).size());
    Frame frame;
    EXPECT_FALSE(reader.ReadFrame(frame));  // no frames: a clean end
  }
}

TEST(Y4mHeader, RejectsMalformedHeadersWithAClearMessage) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "clip: the input is empty"},
      {"RIFF\x10\x00\x00\x00WAVEfmt ", "not a YUV4MPEG2 stream"},
      {"YUV4MPEG2W16 H16\n", "not a YUV4MPEG2 stream"},
      {"YUV4MPEG2 W16 H16", "the header line is truncated"},
      {"YUV4MPEG2 H16\n", "header has no width (W tag)"},
      {"YUV4MPEG2 W16 F25:1\n", "header has no height (H tag)"},
      {"YUV4MPEG2\n", "header has no width"},
      {"YUV4MPEG2 W0 H16\n", "picture size 0x16 is out of range"},
      {"YUV4MPEG2 W16 H99999999999\n", "height 99999999999 is out of range"},
      {"YUV4MPEG2 W16384 H16384\n", "larger than 64 Mpixel"},
      {"YUV4MPEG2 W-4 H16\n", "width '-4' is not a number"},
      {"YUV4MPEG2 W16 Habc\n", "height 'abc' is not a number"},
      {"YUV4MPEG2 W16 H16 C422\n", "chroma 'C422' is not supported"},
      {"YUV4MPEG2 W16 H16 Cmono\n", "chroma 'Cmono' is not supported"},
      {"YUV4MPEG2 W16 H16 C420p10\n", "chroma 'C420p10' is not supported"},
      {"YUV4MPEG2 W16 H16 F25\n", "frame rate 'F25' is not n:d"},
      {"YUV4MPEG2 W16 H16 F25:0\n", "frame rate 'F25:0' is not n:d"},
      {"YUV4MPEG2 W16 H16 A1:x\n", "pixel aspect 'A1:x' is not n:d"},
      {"YUV4MPEG2 W16 H16 Iq\n", "interlace 'Iq'"},
      {"YUV4MPEG2 W16 H16 Z1\n", "unknown header tag 'Z1'"},
      {"YUV4MPEG2 W16 W16 H16\n", "header tag W appears twice"},
      {"YUV4MPEG2 W16 H16\r\n", "height '16?' is not a number"},
      {"YUV4MPEG2 W16 H16 X" + std::string(5000, 'x') + "\n", "longer than 4096 bytes"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 60));
    std::istringstream in(text);
    const std::string error = ErrorOf([&] { Y4mReader reader(in, "clip"); });
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(error.rfind("clip: ", 0), 0u) << error;
  }
}

// A 4 x 2 stream: 8 luma bytes and one 2 x 1 chroma row per plane.
constexpr char kSmallHeader[] = "YUV4MPEG2 W4 H2 F25:1\n";
const std::string kFrameBytes = "YYYYYYYYUUVV";

TEST(Y4mFrames, ReadsFramesWithAndWithoutParameters) {
  std::istringstream in(kSmallHeader + ("FRAME\n" + kFrameBytes) + "FRAME Ip XTAG=1\n12345678abcd" +
                        "FRAME\n" + kFrameBytes);
  Y4mReader reader(in, "clip");
  Frame frame;
  ASSERT_TRUE(reader.ReadFrame(frame));
  EXPECT_EQ(std::string(frame.y.begin(), frame.y.end()), "YYYYYYYY");
  ASSERT_TRUE(reader.ReadFrame(frame));
  EXPECT_EQ(std::string(frame.y.begin(), frame.y.end()), "12345678");
  EXPECT_EQ(std::string(frame.u.begin(), frame.u.end()), "ab");
  EXPECT_EQ(std::string(frame.v.begin(), frame.v.end()), "cd");
  EXPECT_TRUE(reader.SkipFrame());
  EXPECT_FALSE(reader.ReadFrame(frame));
  EXPECT_EQ(reader.framesSeen(), 3);
}

TEST(Y4mFrames, NamesTheFrameThatIsTruncatedOrMalformed) {
  const std::pair<std::string, const char*> cases[] = {
      {"FRAME\n" + kFrameBytes + "FRAME\nYYYYY", "clip: frame 2 is truncated (5 of 12 bytes)"},
      {"FRAME\nYYYYYYYYUUV", "frame 1 is truncated (11 of 12 bytes)"},
      {"FRAM", "frame 1 is truncated (the stream ends in its FRAME line)"},
      {"FRAME", "frame 1 is truncated"},
      {"FRAME Ip", "frame 1 is truncated"},
      {"FRAMX\n" + kFrameBytes, "frame 1 does not start with 'FRAME'"},
      {"FRAMEX" + kFrameBytes, "frame 1 does not start with 'FRAME'"},
      {"FRAME\n" + kFrameBytes + "garbage", "frame 2 does not start with 'FRAME'"},
  };
  for (const auto& [frames, message] : cases) {
    SCOPED_TRACE(frames);
    for (bool skip : {false, true}) {
      std::istringstream in(kSmallHeader + frames);
      Y4mReader reader(in, "clip");
      Frame frame;
      const std::string error = ErrorOf([&] {
        while (skip ? reader.SkipFrame() : reader.ReadFrame(frame)) {
        }
      });
      EXPECT_NE(error.find(message), std::string::npos) << error;
    }
  }
}

TEST(RawI420, ReadsWholeFramesAndNamesATruncatedOne) {
  TempDir dir;
  const Frame a = RandomFrame(6, 4, 1), b = RandomFrame(6, 4, 2);
  std::string bytes;
  for (const Frame* f : {&a, &b}) {
    for (const auto* plane : {&f->y, &f->u, &f->v}) bytes.append(plane->begin(), plane->end());
  }
  WriteFile(dir / "clip.yuv", bytes + bytes.substr(0, 7));

  auto source = OpenSource({dir / "clip.yuv", 6, 4});
  EXPECT_EQ(source->FrameCountHint(), 2);
  Frame frame;
  ASSERT_TRUE(source->Read(frame));
  EXPECT_EQ(frame.y, a.y);
  EXPECT_EQ(frame.v, a.v);
  ASSERT_TRUE(source->Read(frame));
  EXPECT_EQ(frame.u, b.u);
  const std::string error = ErrorOf([&] { source->Read(frame); });
  EXPECT_NE(error.find("frame 3 is truncated (7 of 36 bytes"), std::string::npos) << error;
}

TEST(RawI420, RefusesAYuv4mpegStreamAndMissingFiles) {
  TempDir dir;
  WriteFile(dir / "clip.y4m", kSmallHeader + ("FRAME\n" + kFrameBytes));
  auto source = OpenSource({dir / "clip.y4m", 8, 4});
  Frame frame;
  EXPECT_NE(ErrorOf([&] { source->Read(frame); }).find("is a YUV4MPEG2 stream: leave out --size"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              OpenSource({dir / "missing.y4m"});
            }).find("cannot open '" + (dir / "missing.y4m") + "': No such file"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { OpenSource({dir.path()}); }).find("is a directory"), std::string::npos);
}

}  // namespace
}  // namespace kconvert::test
