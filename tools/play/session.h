// What the player shows and how it got there, without any window: the
// clip, the frame on show, the layout's buffer as the library filled it,
// the adjustments and which macroblocks the last conversion touched.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame_source.h"
#include "keys.h"
#include "layouts.h"
#include "padded_picture.h"
#include "play_options.h"

namespace kplay {

struct Adjustments {
  int32_t brightness = 0;
  int32_t contrast = 0;
  int32_t saturation = 0;
  int32_t balance = 0;
};

// Frames read so far, for stepping back: a stream cannot be read again.  The
// oldest are dropped once they take more than a budget.
class FrameHistory {
 public:
  explicit FrameHistory(size_t budgetBytes) : budget_(budgetBytes) {}
  void Add(kconvert::Frame frame);  // the frame after the newest
  // Frame `number` (counted from 1) if it is still kept.
  const kconvert::Frame* Find(int64_t number) const;
  int64_t newest() const { return first_ + static_cast<int64_t>(frames_.size()) - 1; }

 private:
  size_t budget_;
  size_t bytes_ = 0;
  int64_t first_ = 1;
  std::deque<kconvert::Frame> frames_;
};

class Session {
 public:
  // Sets the library's adjustments, reads the first frame and converts it;
  // throws ToolError if the clip has no frames.
  Session(std::unique_ptr<kconvert::FrameSource> source, const PlayOptions& options);

  // Playing: shows the next frame, or with --loop the first again after the
  // last; false, and paused, at the end of the clip.
  bool Advance();
  // Everything but screenshots and quitting, which belong to the window.
  void Apply(Action action);

  const kconvert::LayoutTarget& target() const { return *target_; }
  kconvert::Layout layout() const { return target_->layout(); }
  const kconvert::FrameSource& source() const { return *source_; }
  int width() const { return shown_.width(); }  // the clip's picture size
  int height() const { return shown_.height(); }
  int mbCols() const { return shown_.mbCols(); }
  int mbRows() const { return shown_.mbRows(); }
  bool zoom() const { return zoom_; }
  // The packed layouts have no double size: the window scales them.
  bool windowScaled() const { return zoom_ && kconvert::IsPacked(layout()); }
  const Adjustments& adjustments() const { return adjustments_; }
  int64_t frameNumber() const { return current_; }
  bool paused() const { return paused_; }
  bool atEnd() const { return atEnd_; }
  bool overlay() const { return overlay_; }
  bool help() const { return help_; }
  // Map bytes of the macroblocks the last conversion touched, in the
  // library's order (row 0 is the bottom macroblock row).
  const std::vector<uint8_t>& converted() const { return converted_; }
  // Counts conversions: the window uploads again when it changes.
  uint64_t generation() const { return generation_; }

  // A note for the status line, until the next key.
  void SetMessage(std::string message) { message_ = std::move(message); }
  const std::string& message() const { return message_; }
  // The status line in parts that a narrow window shows one under another.
  std::vector<std::string> StatusParts() const;
  std::string StatusLine() const;  // the parts on one line

 private:
  bool ShowFrame(int64_t number);
  // Frame 1 from the frames kept, or else from the input opened again.
  bool ShowFirstAgain();
  void NewTarget(kconvert::Layout layout);
  void ConvertShown(const uint8_t* map);
  void Adjust(int32_t Adjustments::*field, int step);
  // One conversion for any number of changed adjustments.
  void SetAdjustments(const Adjustments& adjustments);

  std::unique_ptr<kconvert::FrameSource> source_;
  kconvert::InputChoice input_;
  bool loop_;
  int64_t frameLimit_;
  std::optional<int64_t> frameCount_;
  bool sourceDone_ = false;
  FrameHistory history_;
  int64_t current_ = 0;
  kconvert::PaddedPicture shown_;
  kconvert::PaddedPicture incoming_;
  std::vector<uint8_t> map_;
  std::unique_ptr<kconvert::LayoutTarget> target_;
  std::vector<uint8_t> converted_;
  int convertedCount_ = 0;
  std::deque<double> recentSeconds_;
  uint64_t generation_ = 0;
  bool zoom_;
  Adjustments adjustments_;
  bool paused_ = false;
  bool atEnd_ = false;
  bool overlay_ = false;
  bool help_ = false;
  std::string message_;
};

}  // namespace kplay
