#include "session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>

#include "kelmar.h"
#include "tool_error.h"

namespace kplay {
namespace {

using kconvert::Frame;
using kconvert::Layout;

// Enough for several seconds of standard-definition video to step back
// through.
constexpr size_t kHistoryBytes = size_t{128} << 20;
// The status line's time is the mean over this many conversions.
constexpr size_t kTimedConversions = 25;
// Far past any visible effect, and keeps a held key from running away.
constexpr int32_t kAdjustmentLimit = 50;

size_t FrameSize(const Frame& frame) { return frame.y.size() + frame.u.size() + frame.v.size(); }

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

int32_t Stepped(int32_t value, int step) {
  // In 64 bits: a value from the command line may lie at either end of
  // int32.  A key never moves a value against its direction: one beyond the
  // limit stays where it is when pushed further out, and comes back to the
  // limit when pushed in.
  const int64_t wanted =
      std::clamp(int64_t{value} + step, int64_t{-kAdjustmentLimit}, int64_t{kAdjustmentLimit});
  return static_cast<int32_t>(step > 0 ? std::max<int64_t>(wanted, value)
                                       : std::min<int64_t>(wanted, value));
}

}  // namespace

void FrameHistory::Add(Frame frame) {
  bytes_ += FrameSize(frame);
  frames_.push_back(std::move(frame));
  // The frame on show and the one before it always stay.
  while (bytes_ > budget_ && frames_.size() > 2) {
    bytes_ -= FrameSize(frames_.front());
    frames_.pop_front();
    ++first_;
  }
}

const Frame* FrameHistory::Find(int64_t number) const {
  if (number < first_ || number > newest()) return nullptr;
  return &frames_[static_cast<size_t>(number - first_)];
}

Session::Session(std::unique_ptr<kconvert::FrameSource> source, const PlayOptions& options)
    : source_(std::move(source)),
      input_{options.input, options.width, options.height, options.inputRange},
      loop_(options.loop),
      frameLimit_(options.frames),
      history_(kHistoryBytes),
      zoom_(options.zoom),
      adjustments_{options.brightness, options.contrast, options.saturation, options.balance} {
  frameCount_ = source_->FrameCountHint();
  if (frameLimit_ > 0 && (!frameCount_ || *frameCount_ > frameLimit_)) frameCount_ = frameLimit_;
  SetDisplay(adjustments_.brightness, adjustments_.contrast, adjustments_.saturation,
             adjustments_.balance);
  if (!ShowFrame(1)) throw kconvert::ToolError(source_->name() + " has no frames");
  NewTarget(options.layout);
}

bool Session::ShowFrame(int64_t number) {
  const Frame* frame = history_.Find(number);
  if (frame == nullptr) {
    const bool next = number == history_.newest() + 1;
    if (!next || sourceDone_ || (frameLimit_ > 0 && number > frameLimit_)) return false;
    Frame read;
    if (!source_->Read(read)) {
      sourceDone_ = true;
      return false;
    }
    history_.Add(std::move(read));
    frame = history_.Find(number);
  }
  current_ = number;
  if (!target_) {  // the first frame: NewTarget() converts it whole
    shown_.Assign(*frame);
    return true;
  }
  // As a decoder would: mark what differs from the picture on show.
  incoming_.Assign(*frame);
  map_.resize(shown_.macroblocks());
  kconvert::MarkChangedMacroblocks(shown_, incoming_, map_.data());
  std::swap(shown_, incoming_);
  ConvertShown(map_.data());
  return true;
}

bool Session::Advance() {
  if (ShowFrame(current_ + 1)) return true;
  if (loop_ && ShowFirstAgain()) return true;
  paused_ = true;
  atEnd_ = true;
  return false;
}

bool Session::ShowFirstAgain() {
  if (history_.Find(1) != nullptr) return ShowFrame(1);
  if (input_.path == "-") {
    message_ = "no loop: frame 1 is no longer kept and standard input cannot be read again";
    return false;
  }
  std::unique_ptr<kconvert::FrameSource> source = kconvert::OpenSource(input_);
  if (source->width() != width() || source->height() != height()) {
    throw kconvert::ToolError(source_->name() + " changed size while playing");
  }
  source_ = std::move(source);
  sourceDone_ = false;
  history_ = FrameHistory(kHistoryBytes);
  return ShowFrame(1);
}

void Session::NewTarget(Layout layout) {
  // A fresh buffer holds nothing of earlier frames: convert it all.
  target_ = std::make_unique<kconvert::LayoutTarget>(layout, shown_.paddedWidth(),
                                                     shown_.paddedHeight(), zoom_);
  map_.assign(shown_.macroblocks(), 1);
  ConvertShown(map_.data());
}

void Session::ConvertShown(const uint8_t* map) {
  // The time includes the row copies of double size, which are the host's.
  const auto start = std::chrono::steady_clock::now();
  target_->Convert(shown_, map);
  recentSeconds_.push_back(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  if (recentSeconds_.size() > kTimedConversions) recentSeconds_.pop_front();
  const auto& libraryMap = target_->map();
  converted_.assign(libraryMap.begin(), libraryMap.begin() + shown_.macroblocks());
  convertedCount_ = static_cast<int>(
      std::count_if(converted_.begin(), converted_.end(), [](uint8_t b) { return b != 0; }));
  ++generation_;
}

void Session::Adjust(int32_t Adjustments::*field, int step) {
  Adjustments adjustments = adjustments_;
  adjustments.*field = Stepped(adjustments.*field, step);
  SetAdjustments(adjustments);
}

void Session::SetAdjustments(const Adjustments& adjustments) {
  if (adjustments.brightness == adjustments_.brightness &&
      adjustments.contrast == adjustments_.contrast &&
      adjustments.saturation == adjustments_.saturation &&
      adjustments.balance == adjustments_.balance) {
    return;
  }
  adjustments_ = adjustments;
  SetDisplay(adjustments_.brightness, adjustments_.contrast, adjustments_.saturation,
             adjustments_.balance);
  // Nothing marked: the library itself marks every macroblock when the
  // adjustments change, and the overlay shows that it did.
  map_.assign(shown_.macroblocks(), 0);
  ConvertShown(map_.data());
}

void Session::Apply(Action action) {
  message_.clear();
  if (const auto index = LayoutIndex(action)) {
    if (kconvert::kAllLayouts[*index] != layout()) NewTarget(kconvert::kAllLayouts[*index]);
    return;
  }
  switch (action) {
    case Action::kZoom:
      zoom_ = !zoom_;
      // The packed buffer stays as it is; only the window changes.
      if (!kconvert::IsPacked(layout())) NewTarget(layout());
      break;
    case Action::kBrightnessDown: Adjust(&Adjustments::brightness, -1); break;
    case Action::kBrightnessUp: Adjust(&Adjustments::brightness, 1); break;
    case Action::kContrastDown: Adjust(&Adjustments::contrast, -1); break;
    case Action::kContrastUp: Adjust(&Adjustments::contrast, 1); break;
    case Action::kSaturationDown: Adjust(&Adjustments::saturation, -1); break;
    case Action::kSaturationUp: Adjust(&Adjustments::saturation, 1); break;
    case Action::kBalanceDown: Adjust(&Adjustments::balance, -1); break;
    case Action::kBalanceUp: Adjust(&Adjustments::balance, 1); break;
    case Action::kResetAdjustments: SetAdjustments({}); break;
    case Action::kPause:
      if (!atEnd_) paused_ = !paused_;
      break;
    case Action::kStepBack:
      paused_ = true;
      if (current_ == 1) break;
      if (ShowFrame(current_ - 1)) {
        atEnd_ = false;
      } else {
        message_ = "frame " + std::to_string(current_ - 1) + " is no longer kept";
      }
      break;
    case Action::kStepForward:
      paused_ = true;
      if (!ShowFrame(current_ + 1)) atEnd_ = true;
      break;
    case Action::kOverlay: overlay_ = !overlay_; break;
    case Action::kHelp: help_ = !help_; break;
    default: break;  // screenshots and quitting are the window's
  }
}

std::vector<std::string> Session::StatusParts() const {
  std::string first = "frame " + std::to_string(current_);
  if (frameCount_) first += "/" + std::to_string(std::max(*frameCount_, history_.newest()));
  first += std::string("  ") + kconvert::LayoutName(layout()) + " " +
           kconvert::LayoutDescription(layout());
  if (zoom_) first += windowScaled() ? "  x2 by the window" : "  x2";
  if (atEnd_) {
    first += "  end";
  } else if (paused_) {
    first += "  paused";
  }
  if (!message_.empty()) first += "  " + message_;

  const std::string second = "brightness " + std::to_string(adjustments_.brightness) +
                             "  contrast " + std::to_string(adjustments_.contrast) +
                             "  saturation " + std::to_string(adjustments_.saturation) +
                             "  balance " + std::to_string(adjustments_.balance);

  const double seconds = std::accumulate(recentSeconds_.begin(), recentSeconds_.end(), 0.0) /
                         static_cast<double>(std::max<size_t>(recentSeconds_.size(), 1));
  const std::string third =
      "converted " + std::to_string(convertedCount_) + "/" + std::to_string(converted_.size()) +
      " (" + Fixed(100.0 * convertedCount_ / static_cast<double>(converted_.size()), 1) +
      "%)  library " + Fixed(seconds * 1000, 2) + " ms/frame";
  return {first, second, third};
}

std::string Session::StatusLine() const {
  std::string line;
  for (const std::string& part : StatusParts()) line += (line.empty() ? "" : "  ") + part;
  return line;
}

}  // namespace kplay
