// The form by halves (tables/nibble_form.h) in vector code, written once
// over a type of byte operations.  Included by each instruction-set file
// after it has switched the compiler's target; everything here has internal
// linkage, so each file gets its own copy compiled for its own target.
#pragma once

#include "common/features.h"

namespace kelmar {
namespace {

// The five tables of a NibbleTables as vectors, each with its 16 bytes in
// every 128-bit lane (or, where lanes hold different tables, each lane's).
template <typename V>
struct NibbleVecs {
  V raise, lower, threshold, step, rank;
};

// NibbleEntry of every byte of `x`, in vector code, from the five vectors
// of `t` (a NibbleVecs, or any type with those members).  B provides Set8,
// And, ShiftRight8<n> (per byte), Shuffle(table, index) (a table's byte by
// the index's low four bits, in each 128-bit lane), CmpGt8, Add8, AddsU8
// and SubsU8.  Without
// kLowers every byte of `lower` is zero, and it is not read.
template <typename B, bool kLowers, typename Tables, typename V>
KELMAR_VECTOR_INLINE V EntriesByNibbles(const Tables& t, V x) {
  const V nibble = B::Set8(0x0F);
  const V low = B::And(x, nibble);
  const V high = B::template ShiftRight8<4>(x);
  const V lowered = B::CmpGt8(B::Shuffle(t.threshold, high), B::Shuffle(t.rank, low));
  const V step = B::Add8(B::Shuffle(t.step, low), lowered);  // less one, or not
  const V raised = B::AddsU8(B::Shuffle(t.raise, high), step);
  if (!kLowers) return raised;
  return B::SubsU8(raised, B::Shuffle(t.lower, high));
}

}  // namespace
}  // namespace kelmar
