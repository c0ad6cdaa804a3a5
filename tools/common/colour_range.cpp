#include "colour_range.h"

#include <array>

namespace kelmar_tools {
namespace {

// round(numerator / denominator) with halves away from zero, for a positive
// denominator.
constexpr int RoundedQuotient(int numerator, int denominator) {
  return numerator >= 0 ? (2 * numerator + denominator) / (2 * denominator)
                        : -((-2 * numerator + denominator) / (2 * denominator));
}

constexpr uint8_t Clamp(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

using Table = std::array<uint8_t, 256>;

constexpr Table MakeTable(SampleKind kind) {
  Table table{};
  for (int sample = 0; sample < 256; ++sample) {
    table[sample] = kind == SampleKind::kLuma
                        ? Clamp(RoundedQuotient((sample - 16) * 255, 219))
                        : Clamp(RoundedQuotient((sample - 128) * 255, 224) + 128);
  }
  return table;
}

constexpr Table kLumaTable = MakeTable(SampleKind::kLuma);
constexpr Table kChromaTable = MakeTable(SampleKind::kChroma);

const Table& TableOf(SampleKind kind) {
  return kind == SampleKind::kLuma ? kLumaTable : kChromaTable;
}

}  // namespace

std::optional<ColourRange> ParseColourRange(const std::string& name) {
  if (name == "full") return ColourRange::kFull;
  if (name == "limited") return ColourRange::kLimited;
  return std::nullopt;
}

const char* ColourRangeName(ColourRange range) {
  return range == ColourRange::kFull ? "full" : "limited";
}

uint8_t ExpandLimitedSample(uint8_t sample, SampleKind kind) { return TableOf(kind)[sample]; }

void ExpandLimitedRange(const uint8_t* from, uint8_t* to, size_t count, SampleKind kind) {
  const Table& table = TableOf(kind);
  for (size_t i = 0; i < count; ++i) to[i] = table[from[i]];
}

}  // namespace kelmar_tools
