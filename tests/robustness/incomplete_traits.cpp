// Compiled by vector_traits_contract, never built: a traits type with every
// closed-form primitive but Add16 must stop a kernel's instantiation with a
// message naming Add16.
#include <cstdint>

#include "rgb/vector_traits.h"

struct WithoutAdd16 {
  struct Vec {
    int16_t lanes[8];
  };
  static constexpr int kMacroblocksPerStep = 1;
  static Vec Zero() { return {}; }
  static Vec Set16(int16_t) { return {}; }
  static Vec Set32(int32_t) { return {}; }
  static Vec Sub16(Vec a, Vec) { return a; }
  static Vec Mullo16(Vec a, Vec) { return a; }
  static Vec MulhiU16(Vec a, Vec) { return a; }
  static Vec Max16(Vec a, Vec) { return a; }
  static Vec Min16(Vec a, Vec) { return a; }
  static Vec Sign16(Vec a, Vec) { return a; }
  static Vec Abs16(Vec a) { return a; }
  static Vec PlusOneWhereGreater16(Vec x, Vec, Vec) { return x; }
  static Vec PlusOneWhereEqual16(Vec x, Vec, Vec) { return x; }
  static Vec MinusOneWhereEqual16(Vec x, Vec, Vec) { return x; }
  static Vec Set8(char) { return {}; }
  static Vec PlusOneWhereEqual8(Vec x, Vec, Vec) { return x; }
  static Vec MinusOneWhereEqual8(Vec x, Vec, Vec) { return x; }
  static Vec And(Vec a, Vec) { return a; }
  static Vec Or(Vec a, Vec) { return a; }
  template <int kBits>
  static Vec Srli16(Vec a) {
    return a;
  }
  template <int kBits>
  static Vec Slli16(Vec a) {
    return a;
  }
  static Vec UnpackLo8(Vec a, Vec) { return a; }
  static Vec UnpackHi8(Vec a, Vec) { return a; }
  static Vec UnpackLo16(Vec a, Vec) { return a; }
  static Vec UnpackHi16(Vec a, Vec) { return a; }
  static Vec PackUS16(Vec a, Vec) { return a; }
  static Vec LoadLuma(const uint8_t*) { return {}; }
  static Vec LoadChroma16(const uint8_t*) { return {}; }
  static void StoreBgr24(uint8_t*, Vec, Vec, Vec) {}
  static void StoreWords(uint8_t*, Vec, Vec) {}
};

static_assert(kelmar::vector_traits::FormTraits<WithoutAdd16>::kComplete);
