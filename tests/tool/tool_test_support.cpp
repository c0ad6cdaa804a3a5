#include "tool_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kconvert::test {
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

uint32_t Get32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kelmar-tool-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::vector<std::string> TempDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), path_).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  TempDir capture;
  std::string command = Quote(KELMAR_CONVERT_PATH);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " <" + Quote(input.empty() ? "/dev/null" : input);
  command += " >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
  const int status = std::system(command.c_str());
  ToolRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(capture / "out");
  run.err = ReadFile(capture / "err");
  return run;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

void MakeClip(const std::string& y4mPath, const std::string& rawPath, int width, int height,
              int frames) {
  const std::string source =
      "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25";
  const std::string common = "ffmpeg -loglevel error -y -f lavfi -i " + source + " -frames:v " +
                             std::to_string(frames) + " -pix_fmt yuv420p ";
  ASSERT_EQ(std::system((common + Quote(y4mPath)).c_str()), 0);
  ASSERT_EQ(std::system((common + "-f rawvideo " + Quote(rawPath)).c_str()), 0);
}

Frame RandomFrame(int width, int height, uint32_t seed) {
  Frame frame;
  frame.Resize(width, height);
  uint32_t state = seed * 2654435761u + 1;
  for (auto* plane : {&frame.y, &frame.u, &frame.v}) {
    for (uint8_t& sample : *plane) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      sample = static_cast<uint8_t>(state);
    }
  }
  return frame;
}

Bmp ParseBmp(const std::string& b) {
  Bmp bmp;
  EXPECT_GE(b.size(), 54u);
  if (b.size() < 54) return bmp;
  EXPECT_EQ(b.substr(0, 2), "BM");
  EXPECT_EQ(Get32(b, 2), b.size()) << "file size field";
  const uint32_t pixelOffset = Get32(b, 10);
  EXPECT_EQ(Get32(b, 14), 40u) << "biSize";
  bmp.width = static_cast<int32_t>(Get32(b, 18));
  bmp.height = static_cast<int32_t>(Get32(b, 22));
  bmp.bitCount = static_cast<uint8_t>(b[28]) | static_cast<uint8_t>(b[29]) << 8;
  bmp.compression = Get32(b, 30);
  bmp.sizeImage = Get32(b, 34);
  bmp.clrUsed = Get32(b, 46);
  for (size_t at = 54; at + 4 <= pixelOffset; at += 4) bmp.table.push_back(Get32(b, at));

  const size_t pixelBytes = static_cast<size_t>(bmp.width) * bmp.bitCount / 8;
  const size_t stride = (pixelBytes + 3) / 4 * 4;
  EXPECT_GT(bmp.height, 0) << "bottom-up rows";
  EXPECT_EQ(bmp.sizeImage, stride * bmp.height);
  EXPECT_EQ(b.size(), pixelOffset + stride * bmp.height);
  if (b.size() != pixelOffset + stride * bmp.height) return bmp;
  for (int y = 0; y < bmp.height; ++y) {
    const size_t row = pixelOffset + (bmp.height - 1 - y) * stride;
    bmp.rows.push_back(b.substr(row, pixelBytes));
  }
  return bmp;
}

}  // namespace kconvert::test
