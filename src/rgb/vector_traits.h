// The contract between the shared vector kernels and an instruction set's
// traits type (Sse2, Ssse3, Avx2, Avx512, Neon): the primitives each family
// of kernels calls, checked when a kernel is instantiated, so a traits type
// that lacks one fails to compile with a message that names it.
//
// Every traits type has
//   Vec                              the vector type
//   kMacroblocksPerStep              16-pixel macroblock rows per vector (1, 2, 4)
// The closed-form kernels (wide_rgb_core.h) call
//   Zero(), Set16(int16_t), Set32(int32_t)
//   Add16, Sub16, Mullo16, MulhiU16, Max16, Min16, Sign16(magnitude, x), Abs16(x)
//   PlusOneWhereGreater16(x, a, b)   x + 1 in the lanes where a > b
//   PlusOneWhereEqual16(x, a, b)     x + 1 where a == b (MinusOneWhereEqual16: x - 1)
//   PlusOneWhereEqual8(x, a, b)      the same per byte, modulo 256
//                                    (MinusOneWhereEqual8), and Set8(char)
//   And, Or, Srli16<n>, Slli16<n>
//   ShiftRight8<n>, ShiftLeft8<n>    per byte, zeros shifted in
//   ShiftRightInsert8<n>(upper, lower)
//                                    per byte, the top 8 - n bits of upper
//                                    over the top n bits of lower
//   UnpackLo8, UnpackHi8, UnpackLo16, UnpackHi16, PackUS16
//   WidenLo8(a), WidenHi8(a)         UnpackLo8 / UnpackHi8 with zero: the low
//                                    or high bytes of every 128-bit lane as
//                                    16-bit lanes (NEON adds them in one
//                                    instruction where a sum follows)
//   LoadLuma(rows)                   16 luma bytes per 128-bit lane
//   LoadCenteredChroma16(rows)       8 chroma samples per lane less 128, in
//                                    16-bit lanes
//   StoreBgr24(out, b, g, r)
//   StoreWordsOfBytes(out, low, high) 16-bit words of a low and a high byte
// and, where the instruction set multiplies signed chroma samples (the
// others multiply 4 |x| by the form's quarter factor with MulhiU16),
//   SignedChromaTerm16(shifted, factor)
//                                    the term of x from x shifted by its
//                                    plane's shift and the term's doubling
//                                    factor (DoublingChromaFactor)
// and, where the unit-slope form without lift is cheaper computed centred
// (CompiledForm), both of
//   PlusOneWhereNegative16(x)        x + 1 in the lanes where x < 0
//   PackCentred16(low, high)         PackUS16 of low + 128 and high + 128
// and, where the stores permute bytes freely, all of
//   WidenEven8(a), WidenOdd8(a)      the low or high byte of every 16-bit
//                                    lane as a 16-bit lane: the pixels of
//                                    each pair get their chroma terms where
//                                    the terms are, without spreading them
//   StoreBgr24ByParity, StoreWordsOfBytesByParity
//                                    the stores of bytes packed from such
//                                    levels: each 128-bit lane its 8 even
//                                    pixels, then its 8 odd ones
//   RepeatLo8ByParity, RepeatHi8ByParity
//                                    each of the first (last) 8 pixels of
//                                    such a lane twice, in pixel order, for
//                                    double size (elsewhere UnpackLo8(a, a)
//                                    and UnpackHi8(a, a))
// and, where bytes are shuffled by four-bit indices (the luma by its
// halves, tables/nibble_vectors.h), all of
//   Shuffle(table, index)            per 128-bit lane, the table's byte at
//                                    the low four bits of each index byte
//   LoadBytes16(p)                   16 bytes in every 128-bit lane
//   CmpGt8, Add8                     signed compare, add, per byte; and
//                                    AddsU8, SubsU8 (below)
// The dither kernels (wide_dither_core.h) also call
//   Set8(char), AddsU8, SubsU8, MaxU8, LoadChromaPairs(rows), StoreBytes(out, a),
//   UnpackLo8, UnpackHi8 (double size)
//   and, with two macroblocks per step, SetLanes32(low, high)
// The window kernels (wide_window_core.h) also call
//   Table, LoadTable(p) (or, looking up the halves as one window,
//   LoadTable(nibbleTables)), Lookup(table, index), kTablesInRegisters,
//   optionally kSingleWindowByRow (StoresSingleWindowByRow), Xor,
//   AddsU8, SubsU8, Set8(char)
//   PackBoth(index16), Spread<kNegative>(both), SpreadAlternating<kNegative>(even, odd)
// Loads and stores take a pointer and, with more than one macroblock per
// step, TwoRows / FourRows (TwoOutputRows / FourOutputRows) with one row
// per 128-bit lane; the checks below try the pointer form.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "common/features.h"
#include "tables/nibble_form.h"

namespace kelmar {
namespace vector_traits {

template <typename Isa>
using Vec = typename Isa::Vec;
template <typename Isa>
Vec<Isa> AVec();
inline const uint8_t* ARow();
inline uint8_t* AnOut();

// Has<Name><Isa>: the call in the second argument compiles.
#define KELMAR_TRAITS_PRIMITIVE(Name, ...) \
  template <typename Isa, typename = void> \
  struct Has##Name : std::false_type {};   \
  template <typename Isa>                  \
  struct Has##Name<Isa, std::void_t<decltype(static_cast<void>(__VA_ARGS__))>> : std::true_type {}

#define KELMAR_BINARY_PRIMITIVE(Name) \
  KELMAR_TRAITS_PRIMITIVE(Name, Isa::Name(AVec<Isa>(), AVec<Isa>()))

KELMAR_TRAITS_PRIMITIVE(Vec, std::declval<typename Isa::Vec>());
KELMAR_TRAITS_PRIMITIVE(MacroblocksPerStep, int{Isa::kMacroblocksPerStep});
KELMAR_TRAITS_PRIMITIVE(Zero, Isa::Zero());
KELMAR_TRAITS_PRIMITIVE(Set8, Isa::Set8(char{0}));
KELMAR_TRAITS_PRIMITIVE(Set16, Isa::Set16(int16_t{0}));
KELMAR_TRAITS_PRIMITIVE(Set32, Isa::Set32(int32_t{0}));
KELMAR_TRAITS_PRIMITIVE(SetLanes32, Isa::SetLanes32(uint32_t{0}, uint32_t{0}));
KELMAR_BINARY_PRIMITIVE(Add16);
KELMAR_BINARY_PRIMITIVE(Sub16);
KELMAR_BINARY_PRIMITIVE(Mullo16);
KELMAR_BINARY_PRIMITIVE(MulhiU16);
KELMAR_BINARY_PRIMITIVE(SignedChromaTerm16);
KELMAR_BINARY_PRIMITIVE(Max16);
KELMAR_BINARY_PRIMITIVE(Min16);
KELMAR_BINARY_PRIMITIVE(Sign16);
KELMAR_TRAITS_PRIMITIVE(Abs16, Isa::Abs16(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(PlusOneWhereGreater16,
                        Isa::PlusOneWhereGreater16(AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(PlusOneWhereEqual16,
                        Isa::PlusOneWhereEqual16(AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(MinusOneWhereEqual16,
                        Isa::MinusOneWhereEqual16(AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(PlusOneWhereEqual8,
                        Isa::PlusOneWhereEqual8(AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(MinusOneWhereEqual8,
                        Isa::MinusOneWhereEqual8(AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_BINARY_PRIMITIVE(And);
KELMAR_BINARY_PRIMITIVE(Or);
KELMAR_BINARY_PRIMITIVE(Xor);
KELMAR_TRAITS_PRIMITIVE(Srli16, Isa::template Srli16<1>(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(Slli16, Isa::template Slli16<1>(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(ShiftRight8, Isa::template ShiftRight8<1>(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(ShiftLeft8, Isa::template ShiftLeft8<1>(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(ShiftRightInsert8,
                        Isa::template ShiftRightInsert8<1>(AVec<Isa>(), AVec<Isa>()));
KELMAR_BINARY_PRIMITIVE(UnpackLo8);
KELMAR_BINARY_PRIMITIVE(UnpackHi8);
KELMAR_BINARY_PRIMITIVE(UnpackLo16);
KELMAR_BINARY_PRIMITIVE(UnpackHi16);
KELMAR_BINARY_PRIMITIVE(PackUS16);
KELMAR_TRAITS_PRIMITIVE(PlusOneWhereNegative16, Isa::PlusOneWhereNegative16(AVec<Isa>()));
KELMAR_BINARY_PRIMITIVE(PackCentred16);
KELMAR_TRAITS_PRIMITIVE(WidenEven8, Isa::WidenEven8(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(WidenOdd8, Isa::WidenOdd8(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(StoreBgr24ByParity,
                        Isa::StoreBgr24ByParity(AnOut(), AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(StoreWordsOfBytesByParity,
                        Isa::StoreWordsOfBytesByParity(AnOut(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(RepeatLo8ByParity, Isa::RepeatLo8ByParity(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(RepeatHi8ByParity, Isa::RepeatHi8ByParity(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(WidenLo8, Isa::WidenLo8(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(WidenHi8, Isa::WidenHi8(AVec<Isa>()));
KELMAR_BINARY_PRIMITIVE(Shuffle);
KELMAR_BINARY_PRIMITIVE(CmpGt8);
KELMAR_BINARY_PRIMITIVE(Add8);
KELMAR_TRAITS_PRIMITIVE(LoadBytes16, Isa::LoadBytes16(ARow()));
KELMAR_BINARY_PRIMITIVE(AddsU8);
KELMAR_BINARY_PRIMITIVE(SubsU8);
KELMAR_BINARY_PRIMITIVE(MaxU8);
KELMAR_TRAITS_PRIMITIVE(LoadLuma, Isa::LoadLuma(ARow()));
KELMAR_TRAITS_PRIMITIVE(LoadCenteredChroma16, Isa::LoadCenteredChroma16(ARow()));
KELMAR_TRAITS_PRIMITIVE(LoadChromaPairs, Isa::LoadChromaPairs(ARow()));
KELMAR_TRAITS_PRIMITIVE(StoreBgr24,
                        Isa::StoreBgr24(AnOut(), AVec<Isa>(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(StoreBytes, Isa::StoreBytes(AnOut(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(StoreWordsOfBytes,
                        Isa::StoreWordsOfBytes(AnOut(), AVec<Isa>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(LoadTable, Isa::LoadTable(ARow()));
KELMAR_TRAITS_PRIMITIVE(LoadHalvesTable, Isa::LoadTable(std::declval<const NibbleTables&>()));
KELMAR_TRAITS_PRIMITIVE(Lookup,
                        Isa::Lookup(std::declval<const typename Isa::Table&>(), AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(TablesInRegisters, bool{Isa::kTablesInRegisters});
KELMAR_TRAITS_PRIMITIVE(SingleWindowByRow, bool{Isa::kSingleWindowByRow});
KELMAR_TRAITS_PRIMITIVE(PackBoth, Isa::PackBoth(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(Spread, Isa::template Spread<false>(AVec<Isa>()));
KELMAR_TRAITS_PRIMITIVE(SpreadAlternating,
                        Isa::template SpreadAlternating<false>(AVec<Isa>(), AVec<Isa>()));

#undef KELMAR_BINARY_PRIMITIVE
#undef KELMAR_TRAITS_PRIMITIVE

#define KELMAR_REQUIRE(Name, what) \
  static_assert(Has##Name<Isa>::value, "instruction-set traits lack " what)

// Instantiated by every closed-form kernel.
template <typename Isa>
struct FormTraits {
  KELMAR_REQUIRE(Vec, "the vector type Vec");
  KELMAR_REQUIRE(MacroblocksPerStep, "kMacroblocksPerStep");
  KELMAR_REQUIRE(Zero, "Zero()");
  KELMAR_REQUIRE(Set16, "Set16(int16_t)");
  KELMAR_REQUIRE(Set32, "Set32(int32_t)");
  KELMAR_REQUIRE(Add16, "Add16(Vec, Vec)");
  KELMAR_REQUIRE(Sub16, "Sub16(Vec, Vec)");
  KELMAR_REQUIRE(Mullo16, "Mullo16(Vec, Vec)");
  KELMAR_REQUIRE(MulhiU16, "MulhiU16(Vec, Vec)");
  KELMAR_REQUIRE(Max16, "Max16(Vec, Vec)");
  KELMAR_REQUIRE(Min16, "Min16(Vec, Vec)");
  KELMAR_REQUIRE(Sign16, "Sign16(Vec magnitude, Vec x)");
  KELMAR_REQUIRE(Abs16, "Abs16(Vec)");
  KELMAR_REQUIRE(PlusOneWhereGreater16, "PlusOneWhereGreater16(Vec x, Vec a, Vec b)");
  KELMAR_REQUIRE(PlusOneWhereEqual16, "PlusOneWhereEqual16(Vec x, Vec a, Vec b)");
  KELMAR_REQUIRE(MinusOneWhereEqual16, "MinusOneWhereEqual16(Vec x, Vec a, Vec b)");
  KELMAR_REQUIRE(Set8, "Set8(char)");
  KELMAR_REQUIRE(PlusOneWhereEqual8, "PlusOneWhereEqual8(Vec x, Vec a, Vec b)");
  KELMAR_REQUIRE(MinusOneWhereEqual8, "MinusOneWhereEqual8(Vec x, Vec a, Vec b)");
  KELMAR_REQUIRE(And, "And(Vec, Vec)");
  KELMAR_REQUIRE(Or, "Or(Vec, Vec)");
  KELMAR_REQUIRE(Srli16, "Srli16<n>(Vec)");
  KELMAR_REQUIRE(Slli16, "Slli16<n>(Vec)");
  KELMAR_REQUIRE(ShiftRight8, "ShiftRight8<n>(Vec)");
  KELMAR_REQUIRE(ShiftLeft8, "ShiftLeft8<n>(Vec)");
  KELMAR_REQUIRE(ShiftRightInsert8, "ShiftRightInsert8<n>(Vec upper, Vec lower)");
  KELMAR_REQUIRE(UnpackLo8, "UnpackLo8(Vec, Vec)");
  KELMAR_REQUIRE(UnpackHi8, "UnpackHi8(Vec, Vec)");
  KELMAR_REQUIRE(UnpackLo16, "UnpackLo16(Vec, Vec)");
  KELMAR_REQUIRE(UnpackHi16, "UnpackHi16(Vec, Vec)");
  KELMAR_REQUIRE(PackUS16, "PackUS16(Vec, Vec)");
  KELMAR_REQUIRE(WidenLo8, "WidenLo8(Vec)");
  KELMAR_REQUIRE(WidenHi8, "WidenHi8(Vec)");
  KELMAR_REQUIRE(LoadLuma, "LoadLuma(const uint8_t*)");
  KELMAR_REQUIRE(LoadCenteredChroma16, "LoadCenteredChroma16(const uint8_t*)");
  KELMAR_REQUIRE(StoreBgr24, "StoreBgr24(uint8_t*, Vec, Vec, Vec)");
  KELMAR_REQUIRE(StoreWordsOfBytes, "StoreWordsOfBytes(uint8_t*, Vec low, Vec high)");
  static_assert(HasPlusOneWhereNegative16<Isa>::value == HasPackCentred16<Isa>::value,
                "instruction-set traits have one of PlusOneWhereNegative16 and PackCentred16");
  static_assert(HasWidenEven8<Isa>::value == HasWidenOdd8<Isa>::value &&
                    HasWidenEven8<Isa>::value == HasStoreBgr24ByParity<Isa>::value &&
                    HasWidenEven8<Isa>::value == HasStoreWordsOfBytesByParity<Isa>::value &&
                    HasWidenEven8<Isa>::value == HasRepeatLo8ByParity<Isa>::value &&
                    HasWidenEven8<Isa>::value == HasRepeatHi8ByParity<Isa>::value,
                "instruction-set traits have all or none of WidenEven8, WidenOdd8, "
                "StoreBgr24ByParity, StoreWordsOfBytesByParity, RepeatLo8ByParity and "
                "RepeatHi8ByParity");
  static_assert(HasShuffle<Isa>::value == HasLoadBytes16<Isa>::value &&
                    (!HasShuffle<Isa>::value || (HasCmpGt8<Isa>::value && HasAdd8<Isa>::value &&
                                                 HasAddsU8<Isa>::value && HasSubsU8<Isa>::value)),
                "instruction-set traits with Shuffle have LoadBytes16, CmpGt8, Add8, AddsU8 "
                "and SubsU8, and only they have LoadBytes16");
  static constexpr bool kComplete = true;
};

// Whether the closed-form kernels of Isa multiply the signed chroma samples
// instead of their magnitudes.
template <typename Isa>
constexpr bool MultipliesSignedChroma() {
  return HasSignedChromaTerm16<Isa>::value;
}

// Whether the closed-form kernels of Isa compute the unit-slope form
// without lift centred.
template <typename Isa>
constexpr bool TakesCentredLevels() {
  return HasPackCentred16<Isa>::value;
}

// Whether the closed-form kernels of Isa can look the luma up by its halves.
template <typename Isa>
constexpr bool ShufflesBytes() {
  return HasShuffle<Isa>::value;
}

// Whether the closed-form kernels of Isa widen the luma samples by parity.
template <typename Isa>
constexpr bool WidensByParity() {
  return HasWidenEven8<Isa>::value;
}

// Whether the window kernels of Isa look LumaTable up by its halves, as
// one window, instead of in its windows.
template <typename Isa>
constexpr bool LooksUpHalvesAsWindow() {
  return HasLoadHalvesTable<Isa>::value;
}

// Whether the window kernels of Isa, with one window, store a row's pixels
// before they look the next row's up (kSingleWindowByRow, where registers
// are scarce around the stores) rather than look both rows up together
// (more lookups in flight).
template <typename Isa>
constexpr bool StoresSingleWindowByRow() {
  if constexpr (HasSingleWindowByRow<Isa>::value)
    return Isa::kSingleWindowByRow;
  else
    return false;
}

// Instantiated by every dither kernel.
template <typename Isa>
struct DitherTraits {
  KELMAR_REQUIRE(Vec, "the vector type Vec");
  KELMAR_REQUIRE(MacroblocksPerStep, "kMacroblocksPerStep");
  KELMAR_REQUIRE(Set8, "Set8(char)");
  KELMAR_REQUIRE(Set32, "Set32(int32_t)");
  KELMAR_REQUIRE(AddsU8, "AddsU8(Vec, Vec)");
  KELMAR_REQUIRE(SubsU8, "SubsU8(Vec, Vec)");
  KELMAR_REQUIRE(MaxU8, "MaxU8(Vec, Vec)");
  KELMAR_REQUIRE(And, "And(Vec, Vec)");
  KELMAR_REQUIRE(Or, "Or(Vec, Vec)");
  KELMAR_REQUIRE(Srli16, "Srli16<n>(Vec)");
  KELMAR_REQUIRE(LoadLuma, "LoadLuma(const uint8_t*)");
  KELMAR_REQUIRE(LoadChromaPairs, "LoadChromaPairs(const uint8_t*)");
  KELMAR_REQUIRE(StoreBytes, "StoreBytes(uint8_t*, Vec)");
  KELMAR_REQUIRE(UnpackLo8, "UnpackLo8(Vec, Vec)");
  KELMAR_REQUIRE(UnpackHi8, "UnpackHi8(Vec, Vec)");
  static_assert(Isa::kMacroblocksPerStep != 2 || HasSetLanes32<Isa>::value,
                "instruction-set traits lack SetLanes32(uint32_t, uint32_t)");
  static constexpr bool kComplete = true;
};

// Instantiated by every window kernel, on top of the closed-form contract.
template <typename Isa>
struct WindowTraits {
  static_assert(FormTraits<Isa>::kComplete);
  KELMAR_REQUIRE(Set8, "Set8(char)");
  KELMAR_REQUIRE(Xor, "Xor(Vec, Vec)");
  KELMAR_REQUIRE(AddsU8, "AddsU8(Vec, Vec)");
  KELMAR_REQUIRE(SubsU8, "SubsU8(Vec, Vec)");
  static_assert(HasLoadTable<Isa>::value != HasLoadHalvesTable<Isa>::value,
                "instruction-set traits lack Table and one of LoadTable(const uint8_t*) and "
                "LoadTable(const NibbleTables&)");
  KELMAR_REQUIRE(Lookup, "Lookup(const Table&, Vec)");
  KELMAR_REQUIRE(TablesInRegisters, "kTablesInRegisters");
  KELMAR_REQUIRE(PackBoth, "PackBoth(Vec)");
  KELMAR_REQUIRE(Spread, "Spread<kNegative>(Vec)");
  KELMAR_REQUIRE(SpreadAlternating, "SpreadAlternating<kNegative>(Vec, Vec)");
  static constexpr bool kComplete = true;
};

#undef KELMAR_REQUIRE

}  // namespace vector_traits

// The primitives of the contract that x86 builds from others: centred
// chroma samples, widening by interleaving with zero, byte shifts as a
// 16-bit shift, then a mask that drops the bits it brought in from the
// neighbouring byte, and words of bytes by interleaving them and storing the
// words with the traits' StoreWords(out, low, high).  A traits type derives
// from it, BytesFromWords<Sse2> for Sse2.
template <typename Isa>
struct BytesFromWords {
  // The samples widened (the traits' LoadChroma16), then less 128.
  template <typename Rows>
  static auto LoadCenteredChroma16(Rows rows) {
    return Isa::Sub16(Isa::LoadChroma16(rows), Isa::Set16(128));
  }
  template <typename Vec>
  static Vec WidenLo8(Vec a) {
    return Isa::UnpackLo8(a, Isa::Zero());
  }
  template <typename Vec>
  static Vec WidenHi8(Vec a) {
    return Isa::UnpackHi8(a, Isa::Zero());
  }
  template <int n, typename Vec>
  static Vec ShiftRight8(Vec a) {
    return Isa::And(Isa::template Srli16<n>(a), Isa::Set8(static_cast<char>(0xFF >> n)));
  }
  template <int n, typename Vec>
  static Vec ShiftLeft8(Vec a) {
    return Isa::And(Isa::template Slli16<n>(a), Isa::Set8(static_cast<char>(0xFF << n & 0xFF)));
  }
  template <int n, typename Vec>
  static Vec ShiftRightInsert8(Vec upper, Vec lower) {
    return Isa::Or(Isa::And(upper, Isa::Set8(static_cast<char>(0xFF << (8 - n) & 0xFF))),
                   ShiftRight8<n>(lower));
  }
  template <typename OutRows, typename Vec>
  KELMAR_VECTOR_INLINE static void StoreWordsOfBytes(OutRows out, Vec low, Vec high) {
    Isa::StoreWords(out, Isa::UnpackLo8(low, high), Isa::UnpackHi8(low, high));
  }
};

}  // namespace kelmar
