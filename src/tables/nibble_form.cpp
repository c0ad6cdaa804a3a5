// The form by halves of a byte table: finding it, and the entries it gives.
#include "tables/nibble_form.h"

#include <algorithm>

#include "tables/adjust_tables.h"

namespace kelmar {

bool FindNibbles(const int64_t (&levels)[256], const uint8_t (&table)[256], NibbleTables& found) {
  bool clamped[16];
  for (int h = 0; h < 16; ++h) {
    const uint8_t* run = table + 16 * h;
    clamped[h] = (run[0] == 0 || run[0] == 255) && std::count(run, run + 16, run[0]) == 16;
  }
  int64_t rise[16] = {};  // the most that any high half rises over l entries
  bool any = false;
  for (int h = 0; h < 16; ++h) {
    if (clamped[h]) continue;
    for (int l = 0; l < 16; ++l) {
      const int64_t r = levels[16 * h + l] - levels[16 * h];
      rise[l] = any ? std::max(rise[l], r) : r;
    }
    any = true;
  }
  bool lowered[16][16] = {};
  for (int h = 0; h < 16; ++h) {
    for (int l = 0; l < 16 && !clamped[h]; ++l) {
      const int64_t shortfall = rise[l] - (levels[16 * h + l] - levels[16 * h]);
      if (shortfall > 1) return false;
      lowered[h][l] = shortfall == 1;
    }
  }
  // Steps are bytes: none below 0, and none below 1 where it is ever
  // lowered.  (Rise 0 at l = 0 is never lowered.)
  int64_t bias = 0;
  for (int l = 0; l < 16; ++l) {
    bool ever = false;
    for (int h = 0; h < 16; ++h) ever = ever || lowered[h][l];
    bias = std::max(bias, (ever ? 1 : 0) - rise[l]);
  }
  if (*std::max_element(rise, rise + 16) + bias > 255) return false;
  NibbleTables t;
  for (int l = 0; l < 16; ++l) {
    t.step[l] = static_cast<uint8_t>(rise[l] + bias);
    // The more high halves an l is lowered in, the lower its rank.
    int rank = 0;
    for (int h = 0; h < 16; ++h) rank += lowered[h][l] ? 0 : 1;
    t.rank[l] = static_cast<uint8_t>(rank);
  }
  for (int h = 0; h < 16; ++h) {
    const int64_t base = clamped[h] ? (table[16 * h] == 0 ? -255 : 255) : levels[16 * h] - bias;
    t.raise[h] = ClampLevel(base);
    t.lower[h] = ClampLevel(-base);
    int threshold = 0;
    for (int l = 0; l < 16; ++l)
      if (lowered[h][l]) threshold = std::max(threshold, t.rank[l] + 1);
    t.threshold[h] = static_cast<uint8_t>(threshold);
  }
  for (int x = 0; x < 256; ++x)
    if (NibbleEntry(t, x) != table[x]) return false;
  found = t;
  return true;
}

uint8_t NibbleEntry(const NibbleTables& t, int x) {
  const int high = x >> 4 & 15, low = x & 15;
  const bool lowered = static_cast<int8_t>(t.threshold[high]) > static_cast<int8_t>(t.rank[low]);
  const int step = (t.step[low] - (lowered ? 1 : 0)) & 255;  // a byte add of the compare's mask
  const int raised = std::min(t.raise[high] + step, 255);
  return static_cast<uint8_t>(std::max(raised - t.lower[high], 0));
}

}  // namespace kelmar
