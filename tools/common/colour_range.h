// The two ranges of 8-bit video samples, and the expansion of limited-range
// samples to the full range, which is what the Kelmar library reads.  Plain
// functions over rows of samples, with nothing of any tool in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kelmar_tools {

enum class ColourRange {
  kFull,     // 0 to 255, as JPEG stores it
  kLimited,  // luma 16 to 235, chroma 16 to 240, as most video stores it
};

// "full" or "limited" (as on the command line); nothing for anything else.
std::optional<ColourRange> ParseColourRange(const std::string& name);
const char* ColourRangeName(ColourRange range);

enum class SampleKind { kLuma, kChroma };

// One limited-range sample at full range, rounded to the nearest integer
// (halves away from zero) and clamped to 0 .. 255:
//   luma    Y' = round((Y - 16) * 255 / 219)
//   chroma  C' = round((C - 128) * 255 / 224) + 128
uint8_t ExpandLimitedSample(uint8_t sample, SampleKind kind);

// ExpandLimitedSample() over `count` samples from `from` to `to`, which may
// be the same row.
void ExpandLimitedRange(const uint8_t* from, uint8_t* to, size_t count, SampleKind kind);

}  // namespace kelmar_tools
