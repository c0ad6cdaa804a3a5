// kelmar-play's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "colour_range.h"
#include "layouts.h"

namespace kplay {

struct PlayOptions {
  std::string input;  // empty: the built-in test picture; "-": stdin
  int width = 0;      // --size: raw I420 input
  int height = 0;
  double rate = 0;  // frames per second; 0: the clip's own, or 25
  kconvert::Layout layout = kconvert::Layout::kRgb24;
  bool zoom = false;
  int32_t brightness = 0;
  int32_t contrast = 0;
  int32_t saturation = 0;
  int32_t balance = 0;
  int64_t frames = 0;  // 0: the whole clip
  bool loop = false;   // at the end, from the first frame again
  bool exitAtEnd = false;
  bool noWindow = false;
  bool keysGiven = false;
  std::string keys;     // a key script (keys.h)
  std::string dumpDir;  // where every hand-over to SDL is recorded
  std::string shotDir = ".";
  // --input-range; nothing: as the clip states it, or else full.
  std::optional<kelmar_tools::ColourRange> inputRange;
};

// Parses argv.  Returns nothing when --help or --version was asked for (the answer has
// been printed); throws kconvert::UsageError for anything it cannot accept.
std::optional<PlayOptions> ParsePlayCommandLine(int argc, const char* const* argv);

}  // namespace kplay
