#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>

namespace kconvert {

bool IsTerminal(FILE* out) { return isatty(fileno(out)) == 1; }

ProgressBar::ProgressBar(FILE* out, bool enabled, std::optional<int64_t> total)
    : out_(out), enabled_(enabled), total_(total) {
  if (total_ && *total_ <= 0) total_.reset();
}

void ProgressBar::Update(int64_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  if (!total_) {
    std::fprintf(out_, "\r%" PRId64 " frames", done);
  } else {
    constexpr int kWidth = 30;
    const int64_t total = std::max(*total_, done);
    const int filled = static_cast<int>(done * kWidth / total);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '=' : (i == filled ? '>' : ' ');
    bar[kWidth] = '\0';
    std::fprintf(out_, "\r[%s] %" PRId64 "/%" PRId64 " frames", bar, done, total);
  }
  std::fflush(out_);
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
  drawn_ = false;
}

std::string SummaryLine(const RunTotals& totals) {
  char line[256];
  const double share = totals.macroblocks > 0
                           ? 100.0 * static_cast<double>(totals.converted) / totals.macroblocks
                           : 0.0;
  const double fps = totals.seconds > 0 ? totals.frames / totals.seconds : 0.0;
  const double libraryMs = totals.frames > 0 ? 1000.0 * totals.librarySeconds / totals.frames : 0.0;
  std::snprintf(line, sizeof line,
                "%" PRId64 " frame%s x %d layout%s, %" PRId64 " of %" PRId64
                " macroblocks converted (%.1f%%), %.1f frames/s (library %.2f ms/frame)",
                totals.frames, totals.frames == 1 ? "" : "s", totals.layouts,
                totals.layouts == 1 ? "" : "s", totals.converted, totals.macroblocks, share, fps,
                libraryMs);
  return line;
}

}  // namespace kconvert
