// Vector paths of the packed writers: each path walks the picture itself
// (packed_walk.h) and packs every run of consecutive marked macroblocks one
// row pair at a time across the whole run.
//
// Unadjusted output is pure interleaving (SSE2, AVX2, AVX-512 or Advanced
// SIMD).  Adjusted output computes each sample from its table's form by
// halves (AVX2; luma, and U and V where their tables are alike, on SSSE3)
// or its ramp (SSE2, SSSE3, AVX2) where the table build found one that
// gives every entry, and otherwise looks it up in its 256-byte table, with
// byte shuffles, permutes or table lookups (AVX2, AVX-512, Advanced SIMD)
// or one entry at a time (SSE2, SSSE3), so it gives the table's bytes for
// any table.
#pragma once

#include <cstdint>

#include "common/addressing.h"
#include "common/features.h"
#include "packed/packed.h"
#include "packed/packed_walk.h"

namespace kelmar {

// The vector kernels the kernel table chooses from, each for the copy and
// for the adjusted output.
#if KELMAR_HAVE_WIDE
void PackPictureSse2(const PackedJob& job, const PackedPicture& picture);
void PackPictureSsse3(const PackedJob& job, const PackedPicture& picture);
void PackPictureAvx2(const PackedJob& job, const PackedPicture& picture);
void PackPictureAvx512(const PackedJob& job, const PackedPicture& picture);
#endif
#if KELMAR_HAVE_NEON
void PackPictureNeon(const PackedJob& job, const PackedPicture& picture);
#endif

}  // namespace kelmar
