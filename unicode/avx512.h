// What the AVX-512 kernels (compiled with VELK_AVX512) share: the
// intrinsics, and the character of a surrogate pair lane by lane.
// Included by those kernels' source files alone.
#ifndef VELKCONF_UNICODE_AVX512_H_
#define VELKCONF_UNICODE_AVX512_H_

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
// GCC 12's AVX-512 intrinsics start from an undefined vector, which
// -W(maybe-)uninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

namespace velk {
namespace simd {

// For sixteen UTF-16 units in 32-bit lanes and the unit after each: in the
// lanes of high surrogates, the character of the pair they start,
// (high - D800) << 10 + (low - DC00) + 10000.
VELK_AVX512 inline __m512i PairCharacters(__m512i units, __m512i following) {
  return _mm512_sub_epi32(
      _mm512_add_epi32(_mm512_slli_epi32(units, 10), following),
      _mm512_set1_epi32(0x35FDC00));
}

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_AVX512_H_
