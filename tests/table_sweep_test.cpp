// Every table the library computes, over a sweep of settings, against digests
// committed as data.  The digests were made by a build whose every double
// operation was rounded separately; any build that rounds otherwise (fused
// multiply-add, reassociation, wider intermediates) fails here, whatever the
// compiler, flags or processor.
//
// KELMAR_WRITE_TABLE_DIGESTS=<file> writes the digests instead of checking.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "packed/packed_tables.h"
#include "rgb/rgb_tables.h"

namespace kelmar {
namespace {

uint64_t Fnv(const void* data, size_t size, uint64_t hash) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

// Chroma terms as little-endian bytes, so the digest is the same on every
// host.
uint64_t FnvTerms(const ChromaTerms* terms, size_t count, uint64_t hash) {
  for (size_t i = 0; i < count; ++i) {
    for (int32_t value : {terms[i].green, terms[i].other}) {
      const uint32_t v = static_cast<uint32_t>(value);
      const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
      hash = Fnv(bytes, 4, hash);
    }
  }
  return hash;
}

// The tables a call with these adjustments reads, as the library builds them.
const RgbTables& RgbTablesOf(int32_t brightness, int32_t contrast, int32_t saturation) {
  static RgbTables tables;
  RgbTables::Build({brightness, contrast, saturation, 0}, tables);
  return tables;
}

uint64_t LumaDigest(const AdjustTables& t, uint64_t hash) {
  return Fnv(t.lumaStorage, kLumaTableSize, hash);
}
uint64_t ChromaDigest(const AdjustTables& t, uint64_t hash) {
  return FnvTerms(t.vStorage, kChromaTableSize, FnvTerms(t.uStorage, kChromaTableSize, hash));
}
uint64_t PaletteDigest(const DitherTables& t, uint64_t hash) {
  return Fnv(t.DitherPalette, sizeof(t.DitherPalette), hash);
}
// The byte tables alone: their vector forms are each proven against them
// when they are found.
uint64_t PackedDigest(const DisplayValues& adjust, uint64_t hash) {
  static PackedTables tables;
  BuildPackedTables(adjust, tables);
  hash = Fnv(tables.PackedLumaTable, 256, hash);
  hash = Fnv(tables.PackedUTable, 256, hash);
  return Fnv(tables.PackedVTable, 256, hash);
}

// Values of one setting: a dense range and the int32 extremes, with the
// edges where the formulas change (contrast -20: flat; saturation -10 and 10:
// clamped factor).
std::vector<int32_t> Sweep(int32_t low, int32_t high) {
  std::vector<int32_t> values = {INT32_MIN, INT32_MIN + 1, -1073741824, -1000003,      -65537,
                                 65537,     1000003,       1073741823,  INT32_MAX - 1, INT32_MAX};
  for (int32_t v = low; v <= high; ++v) values.push_back(v);
  return values;
}

// One line per block of settings, so a difference points at its block.
class DigestLines {
 public:
  void Add(const std::string& what, int32_t first, int32_t last, uint64_t digest) {
    std::ostringstream line;
    line << what << " " << first << ".." << last << " " << std::hex << digest;
    lines_.push_back(line.str());
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

constexpr uint64_t kFnvStart = 1469598103934665603ull;
constexpr size_t kBlock = 64;

// Digests `digestOf(value)` over `values` in blocks of kBlock.
template <typename DigestOf>
void AddBlocks(DigestLines& lines, const std::string& what, const std::vector<int32_t>& values,
               DigestOf digestOf) {
  for (size_t start = 0; start < values.size(); start += kBlock) {
    uint64_t hash = kFnvStart;
    const size_t end = std::min(values.size(), start + kBlock);
    for (size_t i = start; i < end; ++i) hash = digestOf(values[i], hash);
    lines.Add(what, values[start], values[end - 1], hash);
  }
}

DigestLines ComputeDigests() {
  DigestLines lines;
  const std::vector<int32_t> contrasts = Sweep(-1000, 1000);
  const std::vector<int32_t> saturations = Sweep(-1000, 1000);
  for (int32_t brightness : {0, 1, -3, 25, -26, INT32_MIN, INT32_MAX}) {
    const std::string what = "luma brightness " + std::to_string(brightness) + " contrast";
    AddBlocks(lines, what, brightness == 0 ? contrasts : Sweep(-100, 100),
              [&](int32_t contrast, uint64_t hash) {
                return LumaDigest(RgbTablesOf(brightness, contrast, 0).adjust, hash);
              });
  }
  AddBlocks(lines, "chroma saturation", saturations, [](int32_t saturation, uint64_t hash) {
    return ChromaDigest(RgbTablesOf(0, 0, saturation).adjust, hash);
  });
  // The palette mixes both tables; contrast and saturation together.
  for (int32_t saturation : Sweep(-12, 12)) {
    AddBlocks(lines, "palette saturation " + std::to_string(saturation) + " contrast",
              Sweep(-120, 120), [&](int32_t contrast, uint64_t hash) {
                return PaletteDigest(RgbTablesOf(2, contrast, saturation).dither, hash);
              });
  }
  AddBlocks(lines, "packed luma contrast", contrasts, [](int32_t contrast, uint64_t hash) {
    return PackedDigest({1, contrast, 0, 0}, hash);
  });
  for (int32_t saturation : Sweep(-12, 12)) {
    AddBlocks(lines, "packed chroma saturation " + std::to_string(saturation) + " balance",
              Sweep(-300, 300), [&](int32_t balance, uint64_t hash) {
                // With all four values zero samples are copied: no tables.
                if (saturation == 0 && balance == 0) return hash;
                return PackedDigest({0, 0, saturation, balance}, hash);
              });
  }
  return lines;
}

TEST(TableSweep, EveryTableMatchesTheCommittedDigests) {
  const DigestLines digests = ComputeDigests();
  if (const char* out = std::getenv("KELMAR_WRITE_TABLE_DIGESTS")) {
    std::ofstream file(out);
    for (const std::string& line : digests.lines()) file << line << "\n";
    GTEST_SKIP() << "wrote " << out;
  }
  std::ifstream file(KELMAR_TABLE_DIGESTS);
  ASSERT_TRUE(file) << "cannot read " << KELMAR_TABLE_DIGESTS;
  std::vector<std::string> expected;
  for (std::string line; std::getline(file, line);) expected.push_back(line);
  ASSERT_EQ(digests.lines().size(), expected.size());
  int differences = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (digests.lines()[i] != expected[i] && ++differences <= 20)
      ADD_FAILURE() << "built: " << digests.lines()[i] << "\nwanted: " << expected[i];
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace kelmar
