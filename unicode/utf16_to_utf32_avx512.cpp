// The AVX-512 kernel from UTF-16 to UTF-32 (see utf16_to_utf32_avx512.h).
#include "unicode/utf16_to_utf32_avx512.h"

#if defined(VELK_UTF_SSE2)
#include "unicode/avx512.h"

namespace velk {
namespace simd {
namespace {

// Stores the first count of the sixteen 32-bit lanes of v as units of
// kOutSize bytes at out, and nothing else.
template <std::size_t kOutSize>
VELK_AVX512 inline void StoreFirst(__m512i v, unsigned count,
                                   unsigned char* out) {
  const __mmask16 keep = static_cast<__mmask16>((1u << count) - 1);
  if constexpr (kOutSize == 4) {
    _mm512_mask_storeu_epi32(out, keep, v);
  } else {
    _mm512_mask_storeu_epi64(out, static_cast<__mmask8>(keep),
                             _mm512_cvtepu32_epi64(_mm512_castsi512_si256(v)));
    if (count > 8) {
      _mm512_mask_storeu_epi64(
          out + 64, static_cast<__mmask8>(keep >> 8),
          _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(v, 1)));
    }
  }
}

}  // namespace

template <std::size_t kOutSize>
VELK_AVX512 std::size_t Utf16ToUtf32Avx512(const unsigned char* src,
                                           std::size_t n, unsigned char*& out) {
  unsigned char* dst = out;  // a local copy, kept in a register
  const __m512i top5 = _mm512_set1_epi16(static_cast<short>(0xF800));
  const __m512i top6 = _mm512_set1_epi16(static_cast<short>(0xFC00));
  std::size_t i = 0;
  // 32 units a group, and the one after them.
  while (i + 33 <= n) {
    const __m512i v = _mm512_loadu_si512(src + 2 * i);
    const __m256i halves[2] = {_mm512_castsi512_si256(v),
                               _mm512_extracti64x4_epi64(v, 1)};
    const __mmask32 surrogate =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(v, top5),
                                _mm512_set1_epi16(static_cast<short>(0xD800)));
    const __mmask32 nonChar = _mm512_cmpge_epu16_mask(
        v, _mm512_set1_epi16(static_cast<short>(0xFFFE)));
    if (nonChar != 0) break;
    if (surrogate == 0) {  // 32 characters as they are
      if constexpr (kOutSize == 4) {
        _mm512_storeu_si512(dst, _mm512_cvtepu16_epi32(halves[0]));
        _mm512_storeu_si512(dst + 64, _mm512_cvtepu16_epi32(halves[1]));
      } else {
        // (Stores of 32 bytes: 64-byte ones run slower here.)
        for (int e = 0; e < 4; ++e) {  // eight units each
          const __m128i eight =
              e % 2 == 0 ? _mm256_castsi256_si128(halves[e / 2])
                         : _mm256_extracti128_si256(halves[e / 2], 1);
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 64 * e),
                              _mm256_cvtepu16_epi64(eight));
          _mm256_storeu_si256(
              reinterpret_cast<__m256i*>(dst + 64 * e + 32),
              _mm256_cvtepu16_epi64(_mm_unpackhi_epi64(eight, eight)));
        }
      }
      dst += 32 * kOutSize;
      i += 32;
      continue;
    }
    const __mmask32 high =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(v, top6),
                                _mm512_set1_epi16(static_cast<short>(0xD800)));
    const __mmask32 low = surrogate & ~high;
    // Every low surrogate right after a high one, every high one but the
    // last unit's right before a low one.
    if (low != static_cast<__mmask32>(high << 1)) break;
    const __m512i next = _mm512_loadu_si512(src + 2 * i + 2);
    const __m256i nextHalves[2] = {_mm512_castsi512_si256(next),
                                   _mm512_extracti64x4_epi64(next, 1)};
    // A high surrogate in the last unit waits for the next group.
    const bool lastHigh = (high >> 31) != 0;
    const __mmask32 emit = ~(low | (lastHigh ? __mmask32{1} << 31 : 0));
    for (int h = 0; h < 2; ++h) {
      const __m512i u = _mm512_cvtepu16_epi32(halves[h]);
      const __m512i pair =
          PairCharacters(u, _mm512_cvtepu16_epi32(nextHalves[h]));
      const __mmask16 lanes = static_cast<__mmask16>(emit >> (16 * h));
      const __m512i chars = _mm512_maskz_compress_epi32(
          lanes, _mm512_mask_mov_epi32(
                     u, static_cast<__mmask16>(high >> (16 * h)), pair));
      const unsigned count = static_cast<unsigned>(__builtin_popcount(lanes));
      StoreFirst<kOutSize>(chars, count, dst);
      dst += kOutSize * count;
    }
    i += lastHigh ? 31 : 32;
  }
  out = dst;
  return i;
}

template std::size_t Utf16ToUtf32Avx512<4>(const unsigned char*, std::size_t,
                                           unsigned char*&);
template std::size_t Utf16ToUtf32Avx512<8>(const unsigned char*, std::size_t,
                                           unsigned char*&);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
