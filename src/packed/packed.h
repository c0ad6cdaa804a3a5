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

// What every packed kernel of a call reads besides the picture.
struct PackedJob {
  bool yuy2;                   // byte order Y U Y V rather than U Y V Y
  const PackedTables* tables;  // null: samples copied unchanged
};

struct PackedPicture;
using PackedConverter = void (*)(const PackedJob& job, const PackedPicture& picture);

// One byte order's own paths, defined in packed_writer.cpp; the kernel
// table chooses between them and the vector kernels.
struct PackedOrderKernels {
  PackedConverter copy;
  PackedConverter adjusted;
  PackedConverter mmxCopy;  // null without MMX
};
extern const PackedOrderKernels kUyvyKernels;
extern const PackedOrderKernels kYuy2Kernels;

// Write the marked macroblocks of `planes` into `dst` as `geometry.height`
// rows of 2 * `geometry.width` bytes, last picture row first.
void PackUYVY(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call);
void PackYUY2(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call);

}  // namespace kelmar
