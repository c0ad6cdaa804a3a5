// Compiled by vector_traits_contract, never built: a traits type that lacks
// Add16 must stop a kernel's instantiation with a message naming Add16.
#include "rgb/vector_traits.h"

struct WithoutAdd16 {
  struct Vec {
    int lanes[4];
  };
  static constexpr int kMacroblocksPerStep = 1;
  static Vec Zero() { return {}; }
  static Vec Sub16(Vec a, Vec) { return a; }
};

static_assert(kelmar::vector_traits::FormTraits<WithoutAdd16>::kComplete);
