// Division by the frame's sample count for the AVX2 and AVX-512 forms, without the divider: it
// takes eight cycles for four quotients, while the five multiplications and fused multiply-adds
// below issue two a cycle. The quotients are the divider's, bit for bit.
#pragma once

#include "kernels/level.h"

namespace kinetra::audio {

// Numerators of these magnitudes (or zero), divided by counts up to 2^31, keep every quotient
// and residual below clear of the subnormal range and every product finite.
constexpr double kSmallestDividend = 0x1p-960;
constexpr double kLargestDividend = 0x1p900;

}  // namespace kinetra::audio

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>

namespace kinetra::audio {

// n and y = 1/n rounded to nearest, for a count n of 1 .. 2^31, in four lanes and in eight.
struct CountDivisor {
    __m256d n, reciprocal;
};
struct CountDivisor8 {
    __m512d n, reciprocal;
};

[[gnu::target("avx2,fma")]] inline CountDivisor DivisorOf(double n) {
    return {_mm256_set1_pd(n), _mm256_set1_pd(1.0 / n)};
}
[[gnu::target(KINETRA_AVX512_TARGET)]] inline CountDivisor8 DivisorOf8(double n) {
    return {_mm512_set1_pd(n), _mm512_set1_pd(1.0 / n)};
}

// a / n rounded to nearest, for a of magnitude kSmallestDividend .. kLargestDividend, or zero
// (a zero quotient comes out +0 for a = -0).
//   q0 = a y is within two ulps of a / n, as y is within half an ulp of 1 / n.
//   q1 = q0 + (a - n q0) y is a / n + (q0 - a/n)(1 - n y) up to roundings of relative size
//        2^-104: within half an ulp and a little, so one of the two doubles around a / n.
//   q2 = q1 + (a - n q1) y: the residual of a faithful quotient is a double, which the fused
//        multiply-add gives exactly, and with y the rounded reciprocal, q2 is the rounded
//        quotient (Markstein's theorem, the last step of division on processors without a
//        divider).
[[gnu::target("avx2,fma")]] inline __m256d DivideByCount(__m256d a, const CountDivisor& by) {
    __m256d q = _mm256_mul_pd(a, by.reciprocal);
    q = _mm256_fmadd_pd(_mm256_fnmadd_pd(q, by.n, a), by.reciprocal, q);
    return _mm256_fmadd_pd(_mm256_fnmadd_pd(q, by.n, a), by.reciprocal, q);
}
[[gnu::target(KINETRA_AVX512_TARGET)]] inline __m512d DivideByCount(__m512d a, const CountDivisor8& by) {
    __m512d q = _mm512_mul_pd(a, by.reciprocal);
    q = _mm512_fmadd_pd(_mm512_fnmadd_pd(q, by.n, a), by.reciprocal, q);
    return _mm512_fmadd_pd(_mm512_fnmadd_pd(q, by.n, a), by.reciprocal, q);
}

}  // namespace kinetra::audio

#endif
