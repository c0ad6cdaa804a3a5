// What this build of the library contains, each macro 0 or 1.  Every source
// file tests these with #if; the library is compiled with -Wundef, so a file
// that forgets this header fails to build instead of silently leaving a path
// out.
#pragma once

// The x86 processor test (flags ID bit, CPUID) and MMX block moves, on 32-
// and 64-bit x86.
#if defined(__i386__) || defined(__x86_64__)
#define KELMAR_X86 1
#else
#define KELMAR_X86 0
#endif
#define KELMAR_HAVE_MMX KELMAR_X86

// The SSE2 and AVX2 row converters, chosen at run time.
#if defined(__x86_64__)
#define KELMAR_HAVE_WIDE 1
#else
#define KELMAR_HAVE_WIDE 0
#endif

#if KELMAR_HAVE_MMX
// MMX code is compiled for MMX whatever the target's baseline; it only runs
// when the processor test reported MMX.
#define KELMAR_TARGET_MMX __attribute__((target("mmx")))
#endif
