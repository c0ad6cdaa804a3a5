// Where frames come from: a YUV4MPEG2 file or pipe, raw I420, or the
// built-in test picture.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "frame.h"
#include "y4m_reader.h"

namespace kconvert {

struct InputChoice {
  std::string path;  // empty: the built-in test picture; "-": standard input
  int width = 0;     // --size: raw I420 input, or the test picture's size
  int height = 0;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // The next frame; false at the end.  Throws ToolError for a bad stream.
  virtual bool Read(Frame& frame) = 0;
  virtual bool Skip() = 0;
  // Frames in the whole source when it can be told in advance (a regular
  // file or the test picture); used for the progress bar only.
  virtual std::optional<int64_t> FrameCountHint() const = 0;
  // Whether this is a video rather than the single built-in picture.
  virtual bool IsVideo() const { return true; }
  // Frames per second as the stream states it; 0:0 when it does not.
  virtual Ratio FrameRate() const { return {}; }
  // For messages and output names.
  const std::string& name() const { return name_; }
  const std::string& stem() const { return stem_; }

 protected:
  std::string name_;
  std::string stem_;
};

// Opens the input that `choice` describes; throws ToolError when it cannot be
// opened or its header is bad.
std::unique_ptr<FrameSource> OpenSource(const InputChoice& choice);

}  // namespace kconvert
