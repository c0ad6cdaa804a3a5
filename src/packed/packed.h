// The packed 4:2:2 writers (UYVY, YUY2).
#pragma once

#include <cstdint>

#include "common/cpu.h"
#include "common/geometry.h"
#include "kelmar.h"
#include "packed/packed_tables.h"

namespace kelmar {

// What one packed conversion follows: the call's code paths and, when any
// display adjustment is non-zero, the tables of its setting (null when all
// four are zero and samples are copied unchanged).
struct PackedCall {
  ConvertPlan plan;
  const PackedTables* tables;
};

// Write the marked macroblocks of `planes` into `dst` as `geometry.height`
// rows of 2 * `geometry.width` bytes, last picture row first.
void PackUYVY(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call);
void PackYUY2(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call);

}  // namespace kelmar
