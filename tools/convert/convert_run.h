// A whole run: frames in, every planned file out.
#pragma once

#include <memory>
#include <vector>

#include "frame.h"
#include "layouts.h"
#include "options.h"
#include "padded_picture.h"
#include "progress.h"
#include "workers.h"

namespace kconvert {

// Converts frame after frame into one or more layouts, as a host would:
// each layout keeps its buffer, and in changed-only mode only the
// macroblocks that differ from the previous frame are converted.  With more
// than one thread, large pictures are converted in bands of macroblock rows
// at once, after a first call of the run that takes the display setting as
// a whole.
class FrameConverter {
 public:
  FrameConverter(const std::vector<Layout>& layouts, int width, int height, bool zoom,
                 bool changedOnly, int threads = 1);

  // Converts `frame` (of the size given above) into every layout and
  // returns the number of macroblocks converted.
  int Convert(const Frame& frame);

  const std::vector<LayoutTarget>& targets() const { return targets_; }
  const LayoutTarget& target(Layout layout) const;
  int macroblocks() const { return current_.macroblocks(); }
  double librarySeconds() const { return librarySeconds_; }

 private:
  bool changedOnly_;
  bool first_ = true;
  // Bands are safe once a call has seen the display setting SetDisplay()
  // made: a band's call that saw the change would convert every macroblock.
  bool displaySettled_ = false;
  std::unique_ptr<WorkerPool> bands_;
  PaddedPicture current_;
  PaddedPicture previous_;
  std::vector<uint8_t> map_;
  std::vector<LayoutTarget> targets_;
  double librarySeconds_ = 0;
};

// Pictures of at least this many macroblocks are converted in bands when
// there is more than one thread (640 x 480 has 1200).
constexpr int kBandedMacroblocks = 1200;

// Reads the input, converts the selected frames and writes every output
// that the options ask for; with more than one thread, reading the next
// frame and writing the last one overlap the conversion.  Throws ToolError
// (or UsageError) on failure; files already complete stay, the one being
// written is removed.
RunTotals RunConversion(const Options& options);

}  // namespace kconvert
