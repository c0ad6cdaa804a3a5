// The one walk over a macroblock map that every converter follows: the
// macroblock rows that have a marked macroblock, top-down, and in each the
// runs of consecutive marked macroblocks, left to right.  Column and row
// numbers are pointer-sized, so no product of them with a size can overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelmar {
namespace map_walk {

constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Eight map bytes, the first in the lowest byte.
inline uint64_t LoadMapWord(const uint8_t* map) {
  uint64_t word;
  std::memcpy(&word, map, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

// The top bit of every non-zero byte; the sum of the low seven bits and
// 0x7F never carries into the next byte.
inline uint64_t NonZeroBytes(uint64_t word) {
  return (((word & kLowBits) + kLowBits) | word) & kHighBits;
}

inline ptrdiff_t FirstFlaggedByte(uint64_t flags) {
  return static_cast<ptrdiff_t>(__builtin_ctzll(flags) >> 3);
}

}  // namespace map_walk

// First marked (non-zero) column in [x, end), or end.  Eight map bytes a
// step while they are inside the row: sparse maps skip zeros quickly and a
// dense one finds its next mark without a branch per byte.
inline ptrdiff_t NextMarked(const uint8_t* map, ptrdiff_t x, ptrdiff_t end) {
  for (; x + 8 <= end; x += 8) {
    const uint64_t marks = map_walk::NonZeroBytes(map_walk::LoadMapWord(map + x));
    if (marks) return x + map_walk::FirstFlaggedByte(marks);
  }
  for (; x < end; ++x)
    if (map[x]) return x;
  return end;
}

// First unmarked column in [x, end), or end.
inline ptrdiff_t NextUnmarked(const uint8_t* map, ptrdiff_t x, ptrdiff_t end) {
  for (; x + 8 <= end; x += 8) {
    const uint64_t gaps =
        map_walk::NonZeroBytes(map_walk::LoadMapWord(map + x)) ^ map_walk::kHighBits;
    if (gaps) return x + map_walk::FirstFlaggedByte(gaps);
  }
  for (; x < end; ++x)
    if (!map[x]) return x;
  return end;
}

// The marked macroblocks of one macroblock row.
class MarkedRuns {
 public:
  MarkedRuns(const uint8_t* rowMap, ptrdiff_t columns)
      : map_(rowMap), columns_(columns), first_(NextMarked(rowMap, 0, columns)) {}

  // Calls run(column, count) for every run of consecutive marked
  // macroblocks, left to right.
  template <typename Run>
  void ForEach(Run&& run) const {
    ptrdiff_t x = first_;
    while (x < columns_) {
      const ptrdiff_t end = NextUnmarked(map_, x + 1, columns_);
      run(x, end - x);
      x = NextMarked(map_, end, columns_);
    }
  }

  // Calls convert(column) for every marked macroblock, left to right.
  template <typename Convert>
  void ForEachMacroblock(Convert&& convert) const {
    ForEach([&](ptrdiff_t column, ptrdiff_t count) {
      for (ptrdiff_t c = column; c < column + count; ++c) convert(c);
    });
  }

  bool Empty() const { return first_ == columns_; }

 private:
  const uint8_t* map_;
  ptrdiff_t columns_;
  ptrdiff_t first_;  // the first marked column, or columns_
};

// The map as the walk reads it: `columns` bytes per macroblock row,
// `rows` rows, row-major from the picture's first macroblock row.
struct MacroblockMap {
  const uint8_t* bytes;
  ptrdiff_t columns;
  ptrdiff_t rows;
};

// Calls visitRow(mbRow, runs) for every macroblock row with a marked
// macroblock, top-down.  A row without one costs a few map-word tests.
template <typename VisitRow>
inline void ForEachMarkedRow(const MacroblockMap& map, VisitRow&& visitRow) {
  if (map.columns < 1) return;
  for (ptrdiff_t mbRow = 0; mbRow < map.rows; ++mbRow) {
    const MarkedRuns runs(map.bytes + mbRow * map.columns, map.columns);
    if (!runs.Empty()) visitRow(mbRow, runs);
  }
}

}  // namespace kelmar
