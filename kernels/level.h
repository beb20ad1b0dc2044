// Which form of the pixel and sample kernels runs. Each kernel has a portable form and, where it
// pays, an SSE2 form (the baseline of every x86 build), an AVX2 form that runs only when the
// processor has AVX2 and FMA, and an AVX-512 form for processors with its F, BW, DQ and VL
// parts. A kernel's table (kernels/table.h) gives a level without a form of its own the highest
// one below. Every form gives the same bits; the choice is only a matter of speed.
#pragma once

#include <cstdint>

// The vector forms are built wherever SSE2 is there; the portable-kernel build leaves them out
// to test the portable forms on their own.
#if defined(__SSE2__) && !defined(KINETRA_PORTABLE_KERNELS)
#define KINETRA_VECTOR_KERNELS 1
#include <emmintrin.h>
#endif

// The code between these two compiles for SSE4.1 (and SSSE3 below it), lambdas included, which a
// function's own target attribute does not reach. Only a table's AVX2 slot may hold it: AVX2 is
// the first level whose processors all have SSE4.1.
#if defined(__clang__)
#define KINETRA_SSE41_BEGIN _Pragma("clang attribute push(__attribute__((target(\"sse4.1\"))), apply_to = function)")
#define KINETRA_SSE41_END _Pragma("clang attribute pop")
#else
#define KINETRA_SSE41_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"sse4.1\")")
#define KINETRA_SSE41_END _Pragma("GCC pop_options")
#endif

// What an AVX-512 form may use, for its target attribute.
#define KINETRA_AVX512_TARGET "avx512f,avx512bw,avx512dq,avx512vl,avx2,fma"

// GCC 12's AVX-512 intrinsics hand their builtins a deliberately undefined operand, which its
// own uninitialised-use check then reports wherever they are inlined; a file of AVX-512 forms
// turns that one check off.
#if defined(__GNUC__) && !defined(__clang__)
#define KINETRA_AVX512_QUIET _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#else
#define KINETRA_AVX512_QUIET
#endif

namespace kinetra {

enum class KernelLevel : uint8_t { kPortable, kSSE2, kAVX2, kAVX512 };

// The highest level this build and this processor can run.
KernelLevel MachineKernelLevel();

// The level the kernels run at: the machine's, lowered by KINETRA_KERNEL_LEVEL (portable, sse2
// avx2 or avx512) when that is set, or by SetKernelLevel. Never above the machine's.
KernelLevel ActiveKernelLevel();

// For tests and comparisons: run at `level`, or at the machine's level when it has less.
void SetKernelLevel(KernelLevel level);

const char* KernelLevelName(KernelLevel level);

}  // namespace kinetra
