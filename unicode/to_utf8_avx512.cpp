// The AVX-512 kernels into UTF-8 (see to_utf8_avx512.h).
#include "unicode/to_utf8_avx512.h"

#if defined(VELK_UTF_SSE2)
#include <cstdint>

#include "unicode/avx512.h"

namespace velk {
namespace simd {
namespace {

VELK_AVX512 inline __m512i Dwords(int value) {
  return _mm512_set1_epi32(value);
}

// Sixteen scalar values (32-bit lanes) as UTF-8, packed at dst, but the
// lanes of none; returns the bytes written.
VELK_AVX512 inline unsigned StoreUtf8(__m512i u, __mmask16 none,
                                      unsigned char* dst) {
  const __m512i x3F = Dwords(0x3F), x80 = Dwords(0x80);
  // The continuation bytes: of the last six bits, the six before, the six
  // before those.
  const __m512i c0 = _mm512_or_si512(_mm512_and_si512(u, x3F), x80);
  const __m512i c1 =
      _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(u, 6), x3F), x80);
  const __m512i c2 =
      _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(u, 12), x3F), x80);
  const __mmask16 two = _mm512_cmpge_epu32_mask(u, Dwords(0x80));
  const __mmask16 three = _mm512_cmpge_epu32_mask(u, Dwords(0x800));
  const __mmask16 four = _mm512_cmpge_epu32_mask(u, Dwords(0x10000));
  __m512i bytes = _mm512_mask_mov_epi32(
      u, two,
      _mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(u, 6), Dwords(0xC0)),
                      _mm512_slli_epi32(c0, 8)));
  bytes = _mm512_mask_mov_epi32(
      bytes, three,
      _mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(u, 12), Dwords(0xE0)),
                      _mm512_or_si512(_mm512_slli_epi32(c1, 8),
                                      _mm512_slli_epi32(c0, 16))));
  bytes = _mm512_mask_mov_epi32(
      bytes, four,
      _mm512_or_si512(_mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(u, 18),
                                                      Dwords(0xF0)),
                                      _mm512_slli_epi32(c2, 8)),
                      _mm512_or_si512(_mm512_slli_epi32(c1, 16),
                                      _mm512_slli_epi32(c0, 24))));
  // Each lane's length in all its bytes, against each byte's place in it.
  __m512i length = Dwords(0x01010101);
  length = _mm512_mask_add_epi32(length, two, length, Dwords(0x01010101));
  length = _mm512_mask_add_epi32(length, three, length, Dwords(0x01010101));
  length = _mm512_mask_add_epi32(length, four, length, Dwords(0x01010101));
  length = _mm512_mask_mov_epi32(length, none, _mm512_setzero_si512());
  const __mmask64 keep = _mm512_cmpgt_epu8_mask(length, Dwords(0x03020100));
  const unsigned count = static_cast<unsigned>(__builtin_popcountll(keep));
  const __mmask64 first =
      count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
  _mm512_mask_storeu_epi8(dst, first, _mm512_maskz_compress_epi8(keep, bytes));
  return count;
}

}  // namespace

template <unsigned long kMax>
VELK_AVX512 std::size_t Utf16ToUtf8Avx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& out,
                                          std::size_t& chars) {
  unsigned char* dst = out;  // a local copy, kept in a register
  std::size_t i = 0, written = 0;
  const __m512i top6 = _mm512_set1_epi16(static_cast<short>(0xFC00));
  // 32 units a group, and the one after them.
  while (i + 33 <= n) {
    const __m512i v = _mm512_loadu_si512(src + 2 * i);
    if (_mm512_cmpge_epu16_mask(v, _mm512_set1_epi16(0x80)) == 0) {  // ASCII
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                          _mm512_cvtepi16_epi8(v));
      dst += 32;
      i += 32;
      written += 32;
      continue;
    }
    const __m512i next = _mm512_loadu_si512(src + 2 * i + 2);
    const __mmask32 high =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(v, top6),
                                _mm512_set1_epi16(static_cast<short>(0xD800)));
    const __mmask32 low =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(v, top6),
                                _mm512_set1_epi16(static_cast<short>(0xDC00)));
    // Every low surrogate right after a high one and every high one but
    // the last unit's right before a low one; no U+FFFE or U+FFFF; in the
    // buffer form no DBFF DFFF (above its maximum).
    __mmask32 bad = _mm512_cmpge_epu16_mask(
        v, _mm512_set1_epi16(static_cast<short>(0xFFFE)));
    if (kMax < 0x10FFFF) {
      bad |= _mm512_cmpeq_epi16_mask(
                 v, _mm512_set1_epi16(static_cast<short>(0xDBFF))) &
             _mm512_cmpeq_epi16_mask(
                 next, _mm512_set1_epi16(static_cast<short>(0xDFFF)));
    }
    if (bad != 0 || low != static_cast<__mmask32>(high << 1)) break;
    // A high surrogate in the last unit waits for the next group.
    const bool lastHigh = (high >> 31) != 0;
    const __mmask32 quiet = low | (lastHigh ? __mmask32{1} << 31 : 0);
    for (int h = 0; h < 2; ++h) {
      const __m256i half =
          h == 0 ? _mm512_castsi512_si256(v) : _mm512_extracti64x4_epi64(v, 1);
      const __m256i following = h == 0 ? _mm512_castsi512_si256(next)
                                       : _mm512_extracti64x4_epi64(next, 1);
      const __m512i u = _mm512_cvtepu16_epi32(half);
      const __m512i pair = PairCharacters(u, _mm512_cvtepu16_epi32(following));
      dst += StoreUtf8(_mm512_mask_mov_epi32(
                           u, static_cast<__mmask16>(high >> (16 * h)), pair),
                       static_cast<__mmask16>(quiet >> (16 * h)), dst);
    }
    const std::size_t taken = 32 - (lastHigh ? 1 : 0);
    i += taken;
    written += taken - static_cast<std::size_t>(__builtin_popcount(low));
  }
  out = dst;
  chars += written;
  return i;
}

template std::size_t Utf16ToUtf8Avx512<0x10FFFF>(const unsigned char*,
                                                 std::size_t, unsigned char*&,
                                                 std::size_t&);
template std::size_t Utf16ToUtf8Avx512<0x10FFFE>(const unsigned char*,
                                                 std::size_t, unsigned char*&,
                                                 std::size_t&);

VELK_AVX512 std::size_t Utf32ToUtf8Avx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& out) {
  unsigned char* dst = out;  // a local copy, kept in a register
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512i a = _mm512_loadu_si512(src + 8 * i);
    const __m512i b = _mm512_loadu_si512(src + 8 * i + 64);
    // Above U+10FFFF (the high halves included) in neither.
    const __m512i max = _mm512_set1_epi64(0x10FFFF);
    if ((_mm512_cmpgt_epu64_mask(a, max) | _mm512_cmpgt_epu64_mask(b, max)) !=
        0) {
      break;
    }
    const __m512i u =
        _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(a)),
                           _mm512_cvtepi64_epi32(b), 1);
    if (_mm512_cmpge_epu32_mask(u, Dwords(0x80)) == 0) {  // ASCII
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                       _mm512_cvtepi32_epi8(u));
      dst += 16;
      continue;
    }
    const __mmask16 surrogate = _mm512_cmpeq_epi32_mask(
        _mm512_and_si512(u, Dwords(~0x7FF)), Dwords(0xD800));
    const __mmask16 nonChar =
        _mm512_cmpeq_epi32_mask(_mm512_or_si512(u, Dwords(1)), Dwords(0xFFFF));
    if ((surrogate | nonChar) != 0) break;
    dst += StoreUtf8(u, 0, dst);
  }
  out = dst;
  return i;
}

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
