#include "frame_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "test_picture.h"
#include "tool_error.h"
#include "y4m_reader.h"

namespace kconvert {
namespace {

namespace fs = std::filesystem;

class TestPictureSource : public FrameSource {
 public:
  TestPictureSource(int width, int height) : picture_(MakeTestPicture(width, height)) {
    name_ = "the test picture";
    stem_ = "testpicture";
  }
  int width() const override { return picture_.width; }
  int height() const override { return picture_.height; }
  bool Read(Frame& frame) override {
    if (done_) return false;
    frame = picture_;
    done_ = true;
    return true;
  }
  bool Skip() override {
    const bool had = !done_;
    done_ = true;
    return had;
  }
  std::optional<int64_t> FrameCountHint() const override { return 1; }
  bool IsVideo() const override { return false; }

 private:
  Frame picture_;
  bool done_ = false;
};

// A file or standard input, opened for binary reading.
class InputStream {
 public:
  explicit InputStream(const std::string& path) {
    if (path == "-") {
      // Reading a directory fails at once, which would look like an empty
      // input.
      struct stat status;
      if (fstat(STDIN_FILENO, &status) == 0 && S_ISDIR(status.st_mode)) {
        throw ToolError("stdin is a directory");
      }
      stream_ = &std::cin;
      return;
    }
    std::error_code error;
    if (fs::is_directory(path, error)) throw ToolError("'" + path + "' is a directory");
    file_.open(path, std::ios::binary);
    if (!file_.is_open()) {
      throw ToolError("cannot open '" + path + "': " + std::strerror(errno));
    }
    stream_ = &file_;
    const auto size = fs::file_size(path, error);
    if (!error && fs::is_regular_file(path, error)) fileSize_ = static_cast<int64_t>(size);
  }
  std::istream& stream() { return *stream_; }
  std::optional<int64_t> fileSize() const { return fileSize_; }

 private:
  std::ifstream file_;
  std::istream* stream_ = nullptr;
  std::optional<int64_t> fileSize_;
};

std::string DisplayName(const std::string& path) { return path == "-" ? "stdin" : path; }

std::string StemOf(const std::string& path) {
  if (path == "-") return "stdin";
  const std::string stem = fs::path(path).stem().string();
  return stem.empty() ? "input" : stem;
}

class Y4mSource : public FrameSource {
 public:
  explicit Y4mSource(const std::string& path)
      : input_(path), reader_(input_.stream(), DisplayName(path)) {
    name_ = DisplayName(path);
    stem_ = StemOf(path);
  }
  int width() const override { return reader_.header().width; }
  int height() const override { return reader_.header().height; }
  bool Read(Frame& frame) override { return reader_.ReadFrame(frame); }
  bool Skip() override { return reader_.SkipFrame(); }
  Ratio FrameRate() const override { return reader_.header().frameRate; }
  std::optional<kelmar_tools::ColourRange> StatedRange() const override {
    return reader_.header().range;
  }
  std::optional<int64_t> FrameCountHint() const override {
    if (!input_.fileSize()) return std::nullopt;
    // Frame lines without parameters are 6 bytes; an estimate is enough.
    const int64_t perFrame = static_cast<int64_t>(FrameBytes(width(), height())) + 6;
    return (*input_.fileSize() - static_cast<int64_t>(reader_.headerBytes())) / perFrame;
  }

 private:
  InputStream input_;
  Y4mReader reader_;
};

class RawI420Source : public FrameSource {
 public:
  RawI420Source(const std::string& path, int width, int height)
      : input_(path), width_(width), height_(height) {
    name_ = DisplayName(path);
    stem_ = StemOf(path);
    CheckPictureSize(width, height, "--size");
  }
  int width() const override { return width_; }
  int height() const override { return height_; }
  bool Read(Frame& frame) override {
    frame.Resize(width_, height_);
    if (!ReadPlane(frame.y.data(), frame.y.size(), 0, true)) return false;
    if (frames_ == 0 && frame.y.size() >= 10 &&
        std::memcmp(frame.y.data(), "YUV4MPEG2 ", 10) == 0) {
      throw UsageError(name_ + " is a YUV4MPEG2 stream: leave out --size");
    }
    ReadPlane(frame.u.data(), frame.u.size(), frame.y.size(), false);
    ReadPlane(frame.v.data(), frame.v.size(), frame.y.size() + frame.u.size(), false);
    ++frames_;
    return true;
  }
  bool Skip() override {
    scratch_.resize(FrameBytes(width_, height_));
    if (!ReadPlane(scratch_.data(), scratch_.size(), 0, true)) return false;
    ++frames_;
    return true;
  }
  std::optional<int64_t> FrameCountHint() const override {
    if (!input_.fileSize()) return std::nullopt;
    return *input_.fileSize() / static_cast<int64_t>(FrameBytes(width_, height_));
  }

 private:
  // False when the stream ends cleanly before the frame's first byte.
  bool ReadPlane(uint8_t* data, size_t bytes, size_t done, bool mayEnd) {
    input_.stream().read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(bytes));
    const size_t got = static_cast<size_t>(input_.stream().gcount());
    if (got == bytes) return true;
    if (got == 0 && done == 0 && mayEnd) return false;
    throw ToolError(name_ + ": frame " + std::to_string(frames_ + 1) + " is truncated (" +
                    std::to_string(done + got) + " of " +
                    std::to_string(FrameBytes(width_, height_)) + " bytes; is --size " +
                    std::to_string(width_) + "x" + std::to_string(height_) + " right?)");
  }

  InputStream input_;
  int width_;
  int height_;
  int64_t frames_ = 0;
  std::vector<uint8_t> scratch_;
};

// Another source's frames with limited-range samples expanded to full range.
class LimitedRangeSource : public FrameSource {
 public:
  explicit LimitedRangeSource(std::unique_ptr<FrameSource> source) : source_(std::move(source)) {
    name_ = source_->name();
    stem_ = source_->stem();
  }
  int width() const override { return source_->width(); }
  int height() const override { return source_->height(); }
  bool Read(Frame& frame) override {
    if (!source_->Read(frame)) return false;
    using kelmar_tools::SampleKind;
    kelmar_tools::ExpandLimitedRange(frame.y.data(), frame.y.data(), frame.y.size(),
                                     SampleKind::kLuma);
    for (std::vector<uint8_t>* chroma : {&frame.u, &frame.v}) {
      kelmar_tools::ExpandLimitedRange(chroma->data(), chroma->data(), chroma->size(),
                                       SampleKind::kChroma);
    }
    return true;
  }
  bool Skip() override { return source_->Skip(); }
  std::optional<int64_t> FrameCountHint() const override { return source_->FrameCountHint(); }
  bool IsVideo() const override { return source_->IsVideo(); }
  Ratio FrameRate() const override { return source_->FrameRate(); }
  std::optional<kelmar_tools::ColourRange> StatedRange() const override {
    return source_->StatedRange();
  }

 private:
  std::unique_ptr<FrameSource> source_;
};

std::unique_ptr<FrameSource> OpenPlainSource(const InputChoice& choice) {
  if (choice.path.empty()) {
    const int width = choice.width > 0 ? choice.width : kTestPictureWidth;
    const int height = choice.height > 0 ? choice.height : kTestPictureHeight;
    CheckPictureSize(width, height, "--size");
    return std::make_unique<TestPictureSource>(width, height);
  }
  if (choice.width > 0)
    return std::make_unique<RawI420Source>(choice.path, choice.width, choice.height);
  return std::make_unique<Y4mSource>(choice.path);
}

}  // namespace

std::unique_ptr<FrameSource> OpenSource(const InputChoice& choice) {
  std::unique_ptr<FrameSource> source = OpenPlainSource(choice);
  const auto range = choice.range ? choice.range : source->StatedRange();
  source->rangeAssumed_ = !range && source->IsVideo();
  if (range == kelmar_tools::ColourRange::kLimited) {
    return std::make_unique<LimitedRangeSource>(std::move(source));
  }
  return source;
}

std::string AssumedRangeHint(const FrameSource& source) {
  if (!source.rangeAssumed()) return "";
  return "note: " + source.name() +
         " does not state its colour range and is read as full range; ffmpeg's yuv420p is "
         "usually limited (--input-range limited)";
}

}  // namespace kconvert
