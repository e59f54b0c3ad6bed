// The UTF-8 validator.
#include "unicode/utf8_validate.h"

#include <cstdint>
#include <cstring>

#include "unicode/avx512.h"
#include "unicode/utf8_check_ssse3.h"
#include "unicode/utf_tables.h"
#include "velkconf/convert_utf.h"

namespace velk {

bool ValidUtf8Portable(const unsigned char* s, const unsigned char* end) {
  while (s < end) {
    if (*s < 0x80) {
      for (std::uint64_t w; end - s >= 8; s += 8) {
        std::memcpy(&w, s, 8);
        if ((w & 0x8080808080808080ULL) != 0) break;
      }
      while (s < end && *s < 0x80) ++s;
      continue;
    }
    const int extra = trailingBytesForUTF8[*s];
    unsigned long ch;
    if (end - s <= extra || !DecodeUtf8(s, extra, ch)) return false;
    s += extra + 1;
  }
  return true;
}

#if defined(VELK_UTF_SSE2)

VELK_SSSE3 bool ValidUtf8Ssse3(const unsigned char* s,
                               const unsigned char* end) {
  const std::size_t n = static_cast<std::size_t>(end - s);
  __m128i error = _mm_setzero_si128(), prev = _mm_setzero_si128();
  __m128i incomplete = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m128i a = simd::Load(s + i), b = simd::Load(s + i + 16);
    const __m128i c = simd::Load(s + i + 32), d = simd::Load(s + i + 48);
    if (_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) {
      error = _mm_or_si128(error, incomplete);  // a sequence cut short by ASCII
      incomplete = _mm_setzero_si128();
      prev = d;
      continue;
    }
    error = _mm_or_si128(
        error, _mm_or_si128(simd::Utf8Errors(a, prev), simd::Utf8Errors(b, a)));
    error = _mm_or_si128(
        error, _mm_or_si128(simd::Utf8Errors(c, b), simd::Utf8Errors(d, c)));
    incomplete = simd::Incomplete(d);
    prev = d;
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) != 0xFFFF)
      return false;
  }
  // The rest, zero-padded: a sequence cut short by the end is followed by
  // zero bytes, which the checks take for ASCII.
  if (i < n) {
    alignas(16) unsigned char tail[64] = {};
    std::memcpy(tail, s + i, n - i);
    for (std::size_t k = 0; k < n - i; k += 16) {
      const __m128i v =
          _mm_load_si128(reinterpret_cast<const __m128i*>(tail + k));
      error = _mm_or_si128(error, simd::Utf8Errors(v, prev));
      incomplete = simd::Incomplete(v);
      prev = v;
    }
  }
  error = _mm_or_si128(error, incomplete);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) ==
         0xFFFF;
}

VELK_AVX512 bool ValidUtf8Avx512(const unsigned char* s,
                                 const unsigned char* end) {
  const std::size_t n = static_cast<std::size_t>(end - s);
  __m512i error = _mm512_setzero_si512(), prev = _mm512_setzero_si512();
  // Where the last bytes of the block before start a sequence that needs
  // more; and such sequences that ASCII cut short.
  __m128i incomplete = _mm_setzero_si128(), cut = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i in = _mm512_loadu_si512(s + i);
    if (_mm512_movepi8_mask(in) == 0) {
      cut = _mm_or_si128(cut, incomplete);
      incomplete = _mm_setzero_si128();
      prev = in;
      continue;
    }
    error = _mm512_or_si512(error, simd::Utf8Errors512(in, prev));
    incomplete = simd::Incomplete(_mm512_extracti32x4_epi32(in, 3));
    prev = in;
    if (_mm512_test_epi8_mask(error, error) != 0) return false;
  }
  // The rest, zero-padded: a sequence cut short by the end is followed by
  // zero bytes, which the checks take for ASCII.
  if (i < n) {
    const __m512i in =
        _mm512_maskz_loadu_epi8((~__mmask64{0}) >> (64 - (n - i)), s + i);
    error = _mm512_or_si512(error, simd::Utf8Errors512(in, prev));
    incomplete = _mm_setzero_si128();
  }
  return _mm512_test_epi8_mask(error, error) == 0 &&
         simd::AllZero(_mm_or_si128(cut, incomplete));
}

#endif  // VELK_UTF_SSE2

}  // namespace velk

bool isLegalUTF8Sequence(const unsigned char* source,
                         const unsigned char* sourceEnd) {
  if (sourceEnd <= source) return true;
#if defined(VELK_UTF_SSE2)
  if (velk::HasAvx512()) return velk::ValidUtf8Avx512(source, sourceEnd);
  if (velk::HasSsse3()) return velk::ValidUtf8Ssse3(source, sourceEnd);
#endif
  return velk::ValidUtf8Portable(source, sourceEnd);
}
