// Where frames come from: a YUV4MPEG2 file or pipe, raw I420, or the
// built-in test picture.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "colour_range.h"
#include "frame.h"
#include "y4m_reader.h"

namespace kconvert {

struct InputChoice {
  std::string path;  // empty: the built-in test picture; "-": standard input
  int width = 0;     // --size: raw I420 input, or the test picture's size
  int height = 0;
  // --input-range; nothing: the range the stream states, or else full.
  std::optional<kelmar_tools::ColourRange> range = std::nullopt;
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
  // The range of the samples as the stream states it.
  virtual std::optional<kelmar_tools::ColourRange> StatedRange() const { return std::nullopt; }
  // True for a video whose range neither the stream nor the user stated:
  // its samples are read as full range, which ordinary video is not.
  bool rangeAssumed() const { return rangeAssumed_; }
  // For messages and output names.
  const std::string& name() const { return name_; }
  const std::string& stem() const { return stem_; }

 protected:
  std::string name_;
  std::string stem_;

 private:
  friend std::unique_ptr<FrameSource> OpenSource(const InputChoice& choice);

  // The hint for standard error when `source` is rangeAssumed(); "" if not.
  std::string AssumedRangeHint(const FrameSource& source);
  bool rangeAssumed_ = false;
};

// Opens the input that `choice` describes; throws ToolError when it cannot be
// opened or its header is bad.  Limited-range samples are read expanded to
// full range.
std::unique_ptr<FrameSource> OpenSource(const InputChoice& choice);

// The hint for standard error when `source` is rangeAssumed(); "" if not.
std::string AssumedRangeHint(const FrameSource& source);

}  // namespace kconvert
