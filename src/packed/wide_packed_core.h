// The vector packed writer, written once for the instruction sets whose
// registers hold one or two macroblock rows (SSE2, AVX2).  Included by each
// instruction-set file after it has switched the compiler's target;
// everything here has internal linkage.
//
// The templates take a traits type Isa with
//   kMacroblocksPerStep         macroblocks packed per step (1 or 2)
//   Tail                        the traits that pack a run's last odd
//                               macroblock (Isa itself when one per step)
//   Pairs                       the U V pairs of one step
//   kLumaByNibbles, kChromaByNibbles
//                               whether the writer computes luma, and U and
//                               V, from their tables' forms by halves where
//                               they have them (before a ramp); Tail packs
//                               as Isa says
//   kChromaInOneTable           whether U and V share one vector under one
//                               table, so that the halves serve only where
//                               the two tables are alike
//   LoadPairs<kChroma>(job, u, v)
//                               the step's U and V samples, mapped through
//                               the chroma tables as kChroma says, as pairs
//   PackRow<kYuy2, kLuma>(job, y, pairs, out)
//                               one output row of the step: its luma samples
//                               (mapped as kLuma says) with their pairs
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "packed/wide_packed.h"

namespace kelmar {
namespace {

// How a step maps one kind of sample: unchanged, looked up in its table,
// computed from the table's form by halves (with its saturating subtract
// where some base lies below zero), or computed by the table's ramp with one
// of its roundings.
enum class SampleMap { kCopy, kTables, kNibbles, kNibblesBelowZero, kRamps, kTruncatedRamps };

constexpr bool IsNibbles(SampleMap map) {
  return map == SampleMap::kNibbles || map == SampleMap::kNibblesBelowZero;
}
constexpr bool LowersOf(SampleMap map) { return map == SampleMap::kNibblesBelowZero; }
constexpr bool IsRamp(SampleMap map) {
  return map == SampleMap::kRamps || map == SampleMap::kTruncatedRamps;
}
constexpr RampRounding RoundingOf(SampleMap map) {
  return map == SampleMap::kTruncatedRamps ? RampRounding::kTowardZero : RampRounding::kBelowMiddle;
}

template <typename Isa, bool kYuy2, SampleMap kLuma, SampleMap kChroma>
KELMAR_VECTOR_INLINE void PackRowPairStep(const PackedJob& job, const RowPair& rows, ptrdiff_t c) {
  const typename Isa::Pairs pairs =
      Isa::template LoadPairs<kChroma>(job, rows.u + 8 * c, rows.v + 8 * c);
  Isa::template PackRow<kYuy2, kLuma>(job, rows.y0 + 16 * c, pairs, rows.out0 + 32 * c);
  Isa::template PackRow<kYuy2, kLuma>(job, rows.y1 + 16 * c, pairs, rows.out1 + 32 * c);
}

// Copies into `own` what a step that maps luma as kLuma and U and V as
// kChroma reads of `shared`; the rest of `own` is left unset and never read.
template <SampleMap kLuma, SampleMap kChroma>
void CopyStepTables(const PackedTables& shared, PackedTables& own) {
  const PackedLookups& from = shared.lookups;
  PackedLookups& to = own.lookups;
  if constexpr (kLuma == SampleMap::kTables) {
    std::memcpy(own.PackedLumaTable, shared.PackedLumaTable, sizeof own.PackedLumaTable);
    to.luma = from.luma;
  }
  if constexpr (IsNibbles(kLuma)) to.lumaNibbles = from.lumaNibbles;
  if constexpr (IsRamp(kLuma)) {
    to.lumaRamp = from.lumaRamp;
    to.lumaShape = from.lumaShape;
  }
  if constexpr (kChroma == SampleMap::kTables) {
    std::memcpy(own.PackedUTable, shared.PackedUTable, sizeof own.PackedUTable);
    std::memcpy(own.PackedVTable, shared.PackedVTable, sizeof own.PackedVTable);
    to.chroma = from.chroma;
  }
  if constexpr (IsNibbles(kChroma)) to.chromaNibbles = from.chromaNibbles;
  if constexpr (IsRamp(kChroma)) {
    to.chromaRamp = from.chromaRamp;
    to.chromaShape = from.chromaShape;
  }
}

// Out of line: inlined into the walk, its loops would share the registers
// with everything the walk keeps, and spill.
template <typename Isa, bool kYuy2, SampleMap kLuma, SampleMap kChroma>
KELMAR_OUT_OF_LINE void PackRunByPairs(const PackedJob& job, const PackedRun& run) {
  using Tail = typename Isa::Tail;
  static_assert(Tail::kMacroblocksPerStep == 1, "a run's tail is packed one macroblock a step");
  constexpr ptrdiff_t kStep = Isa::kMacroblocksPerStep;
  // A local count: the output stores may alias the run as far as the
  // compiler knows, and 32-bit x86 has no register to spare for reloading it.
  const ptrdiff_t macroblocks = run.macroblocks;
  // The same holds for the shared tables: from a copy of what the steps
  // read, which no store can reach, their vectors stay in registers
  // instead of being loaded again after every store.
  PackedTables own;
  PackedJob ownJob = job;
  if (job.tables) {
    CopyStepTables<kLuma, kChroma>(*job.tables, own);
    ownJob.tables = &own;
  }
  for (int pair = 0; pair < 8; ++pair) {
    const RowPair rows = RowPairOfPackedRun(run, pair);
    ptrdiff_t c = 0;
    for (; c + kStep <= macroblocks; c += kStep)
      PackRowPairStep<Isa, kYuy2, kLuma, kChroma>(ownJob, rows, c);
    if (c < macroblocks) PackRowPairStep<Tail, kYuy2, kLuma, kChroma>(ownJob, rows, c);
  }
}

template <typename Isa, bool kYuy2, SampleMap kLuma, SampleMap kChroma>
void PackRuns(const PackedJob& job, const PackedPicture& picture) {
  ForEachPackedRun(
      picture, [&](const PackedRun& run) { PackRunByPairs<Isa, kYuy2, kLuma, kChroma>(job, run); });
}

// How the writer maps the samples of one table: copied where it is the
// identity, computed where it has a form the writer takes, else looked up.
struct TableForms {
  bool mapped, byNibbles, nibblesLower, byRamp;
  RampShape shape;
};

inline SampleMap MapOf(const TableForms& forms, bool writerTakesNibbles) {
  if (!forms.mapped) return SampleMap::kCopy;
  if (forms.byNibbles && writerTakesNibbles)
    return forms.nibblesLower ? SampleMap::kNibblesBelowZero : SampleMap::kNibbles;
  if (forms.byRamp)
    return forms.shape.rounding == RampRounding::kTowardZero ? SampleMap::kTruncatedRamps
                                                             : SampleMap::kRamps;
  return SampleMap::kTables;
}

template <SampleMap kMap>
using MapConstant = std::integral_constant<SampleMap, kMap>;

// Calls `use` with `map` as a compile-time constant; a writer that never
// computes by halves is not compiled for it.
template <bool kNibbles, typename Use>
KELMAR_VECTOR_INLINE void WithSampleMap(SampleMap map, Use use) {
  switch (map) {
    case SampleMap::kCopy: return use(MapConstant<SampleMap::kCopy>());
    case SampleMap::kTables: return use(MapConstant<SampleMap::kTables>());
    case SampleMap::kNibbles:
      if constexpr (kNibbles) return use(MapConstant<SampleMap::kNibbles>());
      break;
    case SampleMap::kNibblesBelowZero:
      if constexpr (kNibbles) return use(MapConstant<SampleMap::kNibblesBelowZero>());
      break;
    case SampleMap::kRamps: return use(MapConstant<SampleMap::kRamps>());
    case SampleMap::kTruncatedRamps: return use(MapConstant<SampleMap::kTruncatedRamps>());
  }
}

// The writer compiled for the call's byte order and for how each table's
// samples are mapped.
template <typename Isa, bool kYuy2>
void PackInOrder(const PackedJob& job, const PackedPicture& picture) {
  if (!job.tables) return PackRuns<Isa, kYuy2, SampleMap::kCopy, SampleMap::kCopy>(job, picture);
  const PackedLookups& l = job.tables->lookups;
  const SampleMap luma =
      MapOf({l.mapLuma, l.lumaByNibbles, l.lumaNibbles.lowers, l.lumaByRamp, l.lumaShape},
            Isa::kLumaByNibbles);
  const bool chromaByNibbles = l.chromaByNibbles && (l.chromaAlike || !Isa::kChromaInOneTable);
  const SampleMap chroma =
      MapOf({l.mapChroma, chromaByNibbles, l.chromaNibbles.lowers, l.chromaByRamp, l.chromaShape},
            Isa::kChromaByNibbles);
  WithSampleMap<Isa::kLumaByNibbles>(luma, [&](auto lumaMap) {
    WithSampleMap<Isa::kChromaByNibbles>(chroma, [&](auto chromaMap) {
      PackRuns<Isa, kYuy2, decltype(lumaMap)::value, decltype(chromaMap)::value>(job, picture);
    });
  });
}

template <typename Isa>
void PackPicture(const PackedJob& job, const PackedPicture& picture) {
  if (job.yuy2)
    PackInOrder<Isa, true>(job, picture);
  else
    PackInOrder<Isa, false>(job, picture);
}

}  // namespace
}  // namespace kelmar
