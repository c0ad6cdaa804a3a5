// A whole run: frames in, every planned file out.
#pragma once

#include <memory>
#include <vector>

#include "frame.h"
#include "layouts.h"
#include "options.h"
#include "padded_picture.h"
#include "progress.h"

namespace kconvert {

// Converts frame after frame into one or more layouts, as a host would:
// each layout keeps its buffer, and in changed-only mode only the
// macroblocks that differ from the previous frame are converted.
class FrameConverter {
 public:
  FrameConverter(const std::vector<Layout>& layouts, int width, int height, bool zoom,
                 bool changedOnly);

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
  PaddedPicture current_;
  PaddedPicture previous_;
  std::vector<uint8_t> map_;
  std::vector<LayoutTarget> targets_;
  double librarySeconds_ = 0;
};

// Reads the input, converts the selected frames and writes every output
// that the options ask for.  Throws ToolError (or UsageError) on failure;
// files already complete stay, the one being written is removed.
RunTotals RunConversion(const Options& options);

}  // namespace kconvert
