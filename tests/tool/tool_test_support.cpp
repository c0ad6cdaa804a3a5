#include "tool_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "frame_source.h"

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

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input, const std::vector<std::string>& env) {
  TempDir capture;
  std::string command = "env";
  for (const std::string& setting : env) command += " " + Quote(setting);
  command += " " + Quote(program);
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

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  return RunProgram(KELMAR_CONVERT_PATH, args, input);
}

RunningTool::RunningTool(const std::vector<std::string>& args, const std::string& input,
                         bool pipeOutput) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (input.empty() && pipe(in) != 0) ADD_FAILURE() << "pipe";
  if (pipeOutput && pipe(out) != 0) ADD_FAILURE() << "pipe";
  const std::string outPath = capture_ / "out", errPath = capture_ / "err";
  std::vector<std::string> argv = {KELMAR_CONVERT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    const int stdinFd = input.empty() ? in[0] : open(input.c_str(), O_RDONLY);
    const int stdoutFd = pipeOutput ? out[1] : open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    const int stderrFd = open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    dup2(stdinFd, 0);
    dup2(stdoutFd, 1);
    dup2(stderrFd, 2);
    for (int fd : {in[0], in[1], out[0], out[1]})
      if (fd > 2) close(fd);
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  if (in[0] >= 0) close(in[0]);
  if (out[1] >= 0) close(out[1]);
  input_ = in[1];
  output_ = out[0];
}

RunningTool::~RunningTool() {
  CloseInput();
  CloseOutput();
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void RunningTool::Write(const std::string& bytes) {
  // A tool that stops reading must not end the test program.
  struct sigaction ignore = {}, old = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(input_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  sigaction(SIGPIPE, &old, nullptr);
}

std::string RunningTool::Read(size_t bytes) {
  std::string got(bytes, '\0');
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = read(output_, got.data() + done, bytes - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  got.resize(done);
  return got;
}

void RunningTool::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

void RunningTool::CloseOutput() {
  if (output_ >= 0) close(output_);
  output_ = -1;
}

void RunningTool::Signal(int signal) { kill(pid_, signal); }

ToolRun RunningTool::Wait() {
  ToolRun run;
  int status = 0;
  rusage usage{};
  if (wait4(pid_, &status, 0, &usage) == pid_) {
    pid_ = -1;
    run.peakBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
      run.signal = WTERMSIG(status);
      run.status = 128 + run.signal;
    }
  }
  run.out = ReadFile(capture_ / "out");
  run.err = ReadFile(capture_ / "err");
  return run;
}

bool WaitUntil(const std::function<bool()>& ready) {
  for (int tries = 0; tries < 3000; ++tries) {
    if (ready()) return true;
    usleep(10000);
  }
  return false;
}

#ifdef KELMAR_PLAY_PATH
ToolRun RunPlayer(const std::vector<std::string>& args, const VirtualDisplay* display,
                  const std::vector<std::string>& env, const std::string& input) {
  // env(1) takes its options before the settings.
  std::vector<std::string> settings = {"-u", "WAYLAND_DISPLAY", "-u", "SDL_VIDEODRIVER"};
  if (display == nullptr) settings.insert(settings.end(), {"-u", "DISPLAY"});
  bool defaultRenderer = false;
  std::vector<std::string> assignments;
  for (size_t i = 0; i < env.size(); ++i) {
    if (env[i] == "-u" && i + 1 < env.size()) {
      settings.insert(settings.end(), {"-u", env[++i]});
      defaultRenderer |= env[i] == "SDL_RENDER_DRIVER";
    } else {
      assignments.push_back(env[i]);
    }
  }
  if (!defaultRenderer) settings.push_back("SDL_RENDER_DRIVER=software");
  // SDL's display libraries hold allocations until exit and are unloaded
  // before LeakSanitizer looks, so their leaks cannot be told apart.
  settings.push_back("ASAN_OPTIONS=detect_leaks=0");
  if (display != nullptr) settings.push_back("DISPLAY=" + display->name());
  settings.insert(settings.end(), assignments.begin(), assignments.end());
  // A player that waits for keys it never gets fails the test, not the run.
  std::vector<std::string> command = {"-k", "5", "120", KELMAR_PLAY_PATH};
  command.insert(command.end(), args.begin(), args.end());
  return RunProgram("timeout", command, input, settings);
}
#endif

RgbImage ReadPng(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  RgbImage image;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << path << ": " << png.message;
    return image;
  }
  png.format = PNG_FORMAT_RGB;
  image = RgbImage(static_cast<int>(png.width), static_cast<int>(png.height));
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), image.width * 3, nullptr)) {
    ADD_FAILURE() << path << ": " << png.message;
  }
  return image;
}

RgbImage Crop(const RgbImage& image, int width, int height) {
  RgbImage out(width, height);
  for (int y = 0; y < std::min(height, image.height); ++y) {
    std::copy_n(image.at(0, y), 3 * std::min(width, image.width), out.at(0, y));
  }
  return out;
}

int MaxDifference(const RgbImage& a, const RgbImage& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
  return worst;
}

std::vector<DumpedPicture> ReadDump(const std::string& directory) {
  std::vector<DumpedPicture> pictures;
  std::istringstream index(ReadFile(directory + "/index.txt"));
  std::string line;
  while (std::getline(index, line)) {
    std::istringstream fields(line);
    std::string id, field;
    fields >> id;
    DumpedPicture picture;
    while (fields >> field) {
      const size_t equals = field.find('=');
      const std::string name = field.substr(0, equals), value = field.substr(equals + 1);
      if (name == "frame") picture.frame = std::stoll(value);
      if (name == "layout") picture.layout = value;
      if (name == "zoom") picture.zoom = value == "1";
      if (name == "format") picture.format = value;
      if (name == "width") picture.width = std::stoi(value);
      if (name == "height") picture.height = std::stoi(value);
      if (name == "pitch") picture.pitch = std::stoi(value);
      if (name == "renderer") picture.renderer = value;
      const char* adjustments[] = {"brightness", "contrast", "saturation", "balance"};
      for (int i = 0; i < 4; ++i) {
        if (name == adjustments[i]) picture.adjustments[i] = std::stoi(value);
      }
    }
    picture.bytes = ReadFile(directory + "/" + id + ".bin");
    if (std::filesystem::exists(directory + "/" + id + ".pal")) {
      picture.palette = ReadFile(directory + "/" + id + ".pal");
    }
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

std::vector<Frame> ReadFrames(const std::string& path, int count) {
  auto source = OpenSource({path});
  std::vector<Frame> frames(count);
  for (Frame& frame : frames) EXPECT_TRUE(source->Read(frame)) << path;
  return frames;
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
