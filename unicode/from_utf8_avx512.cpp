// The AVX-512 kernel out of UTF-8 (see from_utf8_avx512.h).
#include "unicode/from_utf8_avx512.h"

#if defined(VELK_UTF_SSE2)
// GCC 12's AVX-512 widening intrinsics start from an undefined vector,
// which -W(maybe-)uninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

#include "unicode/utf8_check_ssse3.h"

namespace velk {
namespace simd {
namespace {

VELK_AVX512 inline __m512i Broadcast(const char (&table)[16]) {
  return _mm512_broadcast_i32x4(
      _mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

VELK_AVX512 inline __m512i HighNibbles512(__m512i v) {
  return _mm512_and_si512(_mm512_srli_epi16(v, 4), _mm512_set1_epi8(0x0F));
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

// 32 bytes widened to 16-bit lanes.
VELK_AVX512 inline __m512i Widen(__m256i v) { return _mm512_cvtepu8_epi16(v); }

// Stores count 16-bit units (the low lanes of units) as units of kOutSize
// bytes at out, and nothing else.
template <std::size_t kOutSize>
VELK_AVX512 inline void StoreUnits(__m512i units, unsigned count,
                                   unsigned char* out) {
  const __mmask32 keep =
      count >= 32 ? ~__mmask32{0} : (__mmask32{1} << count) - 1;
  if constexpr (kOutSize == 2) {
    _mm512_mask_storeu_epi16(out, keep, units);
  } else if constexpr (kOutSize == 4) {
    _mm512_mask_storeu_epi32(
        out, static_cast<__mmask16>(keep),
        _mm512_cvtepu16_epi32(_mm512_castsi512_si256(units)));
    if (count > 16) {
      _mm512_mask_storeu_epi32(
          out + 64, static_cast<__mmask16>(keep >> 16),
          _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(units, 1)));
    }
  } else {
    const __m128i eights[4] = {_mm512_extracti32x4_epi32(units, 0),
                               _mm512_extracti32x4_epi32(units, 1),
                               _mm512_extracti32x4_epi32(units, 2),
                               _mm512_extracti32x4_epi32(units, 3)};
    for (unsigned q = 0; q < 4 && 8 * q < count; ++q) {
      _mm512_mask_storeu_epi64(out + 64 * q,
                               static_cast<__mmask8>(keep >> (8 * q)),
                               _mm512_cvtepu16_epi64(eights[q]));
    }
  }
}

}  // namespace

template <std::size_t kOutSize>
VELK_AVX512 std::size_t Utf8ToBmpAvx512(const unsigned char* src, std::size_t n,
                                        unsigned char*& out,
                                        std::size_t& charsOut) {
  unsigned char* dst = out;  // local copies, kept in registers
  std::size_t chars = charsOut;
  const __m512i byte1High = Broadcast(kByte1High),
                byte1Low = Broadcast(kByte1Low),
                byte2High = Broadcast(kByte2High);
  const __m512i x0F = _mm512_set1_epi8(0x0F), x3F = _mm512_set1_epi8(0x3F);
  __m512i prev = _mm512_setzero_si512();
  std::size_t i = 0, pending = 0;  // bytes of an unfinished character
  for (; i + 64 <= n; i += 64) {
    const __m512i in = _mm512_loadu_si512(src + i);
    const __mmask64 high = _mm512_movepi8_mask(in);
    if (high == 0 && pending == 0) {  // ASCII
      for (int h = 0; h < 2; ++h) {
        StoreUnits<kOutSize>(Widen(_mm512_extracti64x4_epi64(in, h)), 32,
                             dst + 32 * kOutSize * h);
      }
      dst += 64 * kOutSize;
      chars += 64;
      prev = in;
      continue;
    }
    const __m512i p1 = Back<1>(in, prev), p2 = Back<2>(in, prev),
                  p3 = Back<3>(in, prev);
    // The validator's checks; no four-byte lead, no EF BF BE or EF BF BF.
    const __m512i special = _mm512_and_si512(
        _mm512_and_si512(
            _mm512_shuffle_epi8(byte1High, HighNibbles512(p1)),
            _mm512_shuffle_epi8(byte1Low, _mm512_and_si512(p1, x0F))),
        _mm512_shuffle_epi8(byte2High, HighNibbles512(in)));
    const __m512i must23 =
        _mm512_or_si512(_mm512_subs_epu8(p2, _mm512_set1_epi8(0xE0 - 0x80)),
                        _mm512_subs_epu8(p3, _mm512_set1_epi8(0xF0 - 0x80)));
    const __m512i errors = _mm512_xor_si512(
        _mm512_and_si512(must23, _mm512_set1_epi8(static_cast<char>(0x80))),
        special);
    const __mmask64 nonChar =
        _mm512_cmpeq_epi8_mask(p2, _mm512_set1_epi8(static_cast<char>(0xEF))) &
        _mm512_cmpeq_epi8_mask(p1, _mm512_set1_epi8(static_cast<char>(0xBF))) &
        _mm512_cmpge_epu8_mask(in, _mm512_set1_epi8(static_cast<char>(0xBE)));
    if (_mm512_test_epi8_mask(errors, errors) != 0 || nonChar != 0 ||
        _mm512_cmpge_epu8_mask(in, _mm512_set1_epi8(static_cast<char>(0xF0))) !=
            0) {
      break;
    }
    // A byte ends a character when it is ASCII or its lead is as far back
    // as the lead's length says (a sequence running past the block ends in
    // the next one).
    const auto leads = [](__m512i p, int top, int tag) VELK_AVX512 {
      return _mm512_cmpeq_epi8_mask(
          _mm512_and_si512(p, _mm512_set1_epi8(static_cast<char>(top))),
          _mm512_set1_epi8(static_cast<char>(tag)));
    };
    const __mmask64 lead2 = leads(p1, 0xE0, 0xC0),
                    lead3 = leads(p2, 0xF0, 0xE0);
    const __mmask64 ends = ~high | lead2 | lead3;
    // The unit each such byte ends: its own low bits (all of an ASCII
    // byte, six of a continuation byte), the byte before's (five of a
    // two-byte lead, six in a three-byte sequence) and the lead's four.
    const __m512i b =
        _mm512_mask_blend_epi8(high, in, _mm512_and_si512(in, x3F));
    const __m512i q1 = _mm512_and_si512(
        _mm512_maskz_mov_epi8(lead2 | lead3, p1),
        _mm512_mask_blend_epi8(lead2, x3F, _mm512_set1_epi8(0x1F)));
    const __m512i q2 = _mm512_and_si512(_mm512_maskz_mov_epi8(lead3, p2), x0F);
    for (int h = 0; h < 2; ++h) {
      const __m512i units = _mm512_or_si512(
          _mm512_or_si512(
              Widen(_mm512_extracti64x4_epi64(b, h)),
              _mm512_slli_epi16(Widen(_mm512_extracti64x4_epi64(q1, h)), 6)),
          _mm512_slli_epi16(Widen(_mm512_extracti64x4_epi64(q2, h)), 12));
      const __mmask32 emit = static_cast<__mmask32>(ends >> (32 * h));
      const unsigned count = static_cast<unsigned>(__builtin_popcount(emit));
      StoreUnits<kOutSize>(_mm512_maskz_compress_epi16(emit, units), count,
                           dst);
      dst += kOutSize * count;
      chars += count;
    }
    pending = static_cast<std::size_t>(__builtin_clzll(ends));  // has bits
    prev = in;
  }
  out = dst;
  charsOut = chars;
  return i - pending;
}

template std::size_t Utf8ToBmpAvx512<2>(const unsigned char*, std::size_t,
                                        unsigned char*&, std::size_t&);
template std::size_t Utf8ToBmpAvx512<4>(const unsigned char*, std::size_t,
                                        unsigned char*&, std::size_t&);
template std::size_t Utf8ToBmpAvx512<8>(const unsigned char*, std::size_t,
                                        unsigned char*&, std::size_t&);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
