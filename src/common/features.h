// What this build of the library contains, each macro 0 or 1.  Every source
// file tests these with #if; the library is compiled with -Wundef, so a file
// that forgets this header fails to build instead of silently leaving a path
// out.
#pragma once

// The x86 processor test (CPUID, and on 32-bit x86 the flags ID bit before
// it) and MMX block moves, on 32- and 64-bit x86.
#if defined(__i386__) || defined(__x86_64__)
#define KELMAR_X86 1
#else
#define KELMAR_X86 0
#endif
#define KELMAR_HAVE_MMX KELMAR_X86

// The SSE2, SSSE3, AVX2 and AVX-512 row converters, chosen at run time on 32- and
// 64-bit x86 alike.
#define KELMAR_HAVE_WIDE KELMAR_X86

// The Advanced SIMD row converters and packed writers of aarch64, where
// every processor has them.
#if defined(__aarch64__) && defined(__ARM_NEON)
#define KELMAR_HAVE_NEON 1
#else
#define KELMAR_HAVE_NEON 0
#endif

// 32 vector registers (x86-64) rather than 8: kernels that would spill with
// 8 take another shape there (the 8-bit dither a row at a time, the AVX2
// packed lookups by chained slices).
#if defined(__x86_64__)
#define KELMAR_WIDE_REGISTERS_32 1
#else
#define KELMAR_WIDE_REGISTERS_32 0
#endif

#if KELMAR_HAVE_MMX
// MMX code is compiled for MMX whatever the target's baseline; it only runs
// when the processor test reported MMX.
#define KELMAR_TARGET_MMX __attribute__((target("mmx")))
#endif

#if KELMAR_HAVE_NEON
#define KELMAR_VECTOR_INLINE inline __attribute__((always_inline))
#endif

// The RGB row converters of the integer and MMX paths and the packed
// writers' macroblock writers stay functions of their own, as they were when
// a pointer chose them (the 8-bit one is as fast either way): inlined into
// the map walk around them, their loops lose registers to the walk's (5-6-5
// with adjustments took a fifth more instructions on x86-64, 24-bit and
// 5-5-5 half as many again on aarch64).
#define KELMAR_OUT_OF_LINE __attribute__((noinline))

#if KELMAR_HAVE_WIDE
// The functions between KELMAR_TARGET_*_BEGIN and KELMAR_TARGET_END are
// compiled for that extension whatever the target's baseline (32-bit x86
// has no SSE2 in it); they only run when the call's plan allows the
// extension, which the processor test decides.
#if defined(__clang__)
#define KELMAR_TARGET_SSE2_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"sse2\"))), apply_to = function)")
#define KELMAR_TARGET_SSSE3_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"ssse3\"))), apply_to = function)")
#define KELMAR_TARGET_AVX2_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
// _Pragma takes a single string literal; this one is too long to write as
// one, so it is made by stringizing.
#define KELMAR_PRAGMA(text) _Pragma(#text)
#define KELMAR_TARGET_AVX512_BEGIN    \
  KELMAR_PRAGMA(clang attribute push( \
      __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))), apply_to = function))
#define KELMAR_TARGET_END _Pragma("clang attribute pop")
#else
#define KELMAR_TARGET_SSE2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"sse2\")")
#define KELMAR_TARGET_SSSE3_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"ssse3\")")
#define KELMAR_TARGET_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define KELMAR_TARGET_AVX512_BEGIN \
  _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f,avx512bw,avx512vl,avx512vbmi\")")
#define KELMAR_TARGET_END _Pragma("GCC pop_options")
#endif
// Vector helpers always inlined into their kernels: g++ stops inlining
// them once a file holds many kernels, and a call then passes its vectors
// through memory under the Windows calling conventions.  (The closed forms'
// per-pixel steps are left to the compiler: forced, the 32-bit kernels
// spill.)
#define KELMAR_VECTOR_INLINE inline __attribute__((always_inline))
#endif
