// What the AVX-512 kernels (compiled with VELK_AVX512) share: the
// intrinsics, the checks of UTF-8 64 bytes at a time (those of
// utf8_check_ssse3.h, a 16-byte lane at a time) and the character of a
// surrogate pair lane by lane.
// Included by those kernels' source files alone.
#ifndef VELKCONF_UNICODE_AVX512_H_
#define VELKCONF_UNICODE_AVX512_H_

#include "unicode/simd_vector.h"
#include "unicode/utf8_check_ssse3.h"

#if defined(VELK_UTF_SSE2)
// GCC 12's AVX-512 intrinsics start from an undefined vector, which
// -W(maybe-)uninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

namespace velk {
namespace simd {

// A table of 16 bytes in each 16-byte lane.
VELK_AVX512 inline __m512i Broadcast(const char (&table)[16]) {
  return _mm512_broadcast_i32x4(
      _mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

// The bytes of in moved up by kBack places, the last of prev coming in
// first: byte i is in[i - kBack].
template <int kBack>
VELK_AVX512 inline __m512i Back(__m512i in, __m512i prev) {
  // Each 16-byte lane next to the lane before it (prev's last for the
  // first), then shifted within the pair.
  const __m512i before = _mm512_alignr_epi64(in, prev, 6);
  return _mm512_alignr_epi8(in, before, 16 - kBack);
}

// The errors of the 64 bytes of input, prev being the 64 before them:
// non-zero bytes where a rule of well-formed UTF-8 is broken.
VELK_AVX512 inline __m512i Utf8Errors512(__m512i in, __m512i prev) {
  const __m512i x0F = _mm512_set1_epi8(0x0F);
  const auto highNibbles = [x0F](__m512i v) VELK_AVX512 {
    return _mm512_and_si512(_mm512_srli_epi16(v, 4), x0F);
  };
  const __m512i p1 = Back<1>(in, prev), p2 = Back<2>(in, prev),
                p3 = Back<3>(in, prev);
  const __m512i special = _mm512_and_si512(
      _mm512_and_si512(
          _mm512_shuffle_epi8(Broadcast(kByte1High), highNibbles(p1)),
          _mm512_shuffle_epi8(Broadcast(kByte1Low), _mm512_and_si512(p1, x0F))),
      _mm512_shuffle_epi8(Broadcast(kByte2High), highNibbles(in)));
  // The third and fourth bytes of longer sequences must be continuation
  // bytes: the lookups flag them as two in a row.
  const __m512i must23 =
      _mm512_or_si512(_mm512_subs_epu8(p2, _mm512_set1_epi8(0xE0 - 0x80)),
                      _mm512_subs_epu8(p3, _mm512_set1_epi8(0xF0 - 0x80)));
  return _mm512_xor_si512(
      _mm512_and_si512(must23, _mm512_set1_epi8(static_cast<char>(0x80))),
      special);
}

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
