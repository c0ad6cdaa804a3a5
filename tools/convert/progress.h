// The progress bar of long runs and the closing summary line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace kconvert {

// Draws "[=====>     ] 12/100 frames" on one terminal line, redrawn at most
// ten times a second.  Does nothing unless `enabled`.
class ProgressBar {
 public:
  ProgressBar(FILE* out, bool enabled, std::optional<int64_t> total);
  ~ProgressBar() { Clear(); }
  void Update(int64_t done);
  void Clear();

 private:
  FILE* out_;
  bool enabled_;
  std::optional<int64_t> total_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// Whether `out` is a terminal, where a redrawn line makes sense.
bool IsTerminal(FILE* out);

struct RunTotals {
  int64_t frames = 0;
  int layouts = 0;
  int64_t macroblocks = 0;    // of all converted frames
  int64_t converted = 0;      // of those, the ones marked for conversion
  double seconds = 0;         // the whole run
  double librarySeconds = 0;  // inside the library
  std::string rangeHint;      // AssumedRangeHint() of the input, for after the summary
};

// "12 frames x 6 layouts, 1188 of 1188 macroblocks converted (100%), 310.2
// frames/s (library 0.52 ms/frame)".
std::string SummaryLine(const RunTotals& totals);

}  // namespace kconvert
