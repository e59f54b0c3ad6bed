// The AVX-512 kernel out of UTF-8 (see from_utf8_avx512.h).
#include "unicode/from_utf8_avx512.h"

#if defined(VELK_UTF_SSE2)
#include <cstdint>

#include "unicode/avx512.h"

namespace velk {
namespace simd {
namespace {

// Stores count units (the low 16-bit lanes of units; into UTF-32, with
// bits 16 to 20 from the same lanes of high when it is given) as units of
// kOutSize bytes at out, and nothing else.
template <std::size_t kOutSize>
VELK_AVX512 inline void StoreUnits(__m512i units, const __m512i* high,
                                   unsigned count, unsigned char* out) {
  const __mmask32 keep =
      count >= 32 ? ~__mmask32{0} : (__mmask32{1} << count) - 1;
  if constexpr (kOutSize == 2) {
    _mm512_mask_storeu_epi16(out, keep, units);
  } else if constexpr (kOutSize == 4) {
    const __m256i halves[2] = {_mm512_castsi512_si256(units),
                               _mm512_extracti64x4_epi64(units, 1)};
    for (unsigned h = 0; h < 2 && 16 * h < count; ++h) {
      _mm512_mask_storeu_epi32(out + 64 * h,
                               static_cast<__mmask16>(keep >> (16 * h)),
                               _mm512_cvtepu16_epi32(halves[h]));
    }
  } else {
    const __m128i quarters[4] = {_mm512_castsi512_si128(units),
                                 _mm512_extracti32x4_epi32(units, 1),
                                 _mm512_extracti32x4_epi32(units, 2),
                                 _mm512_extracti32x4_epi32(units, 3)};
    __m128i tops[4] = {};
    if (high != nullptr) {
      tops[0] = _mm512_castsi512_si128(*high);
      tops[1] = _mm512_extracti32x4_epi32(*high, 1);
      tops[2] = _mm512_extracti32x4_epi32(*high, 2);
      tops[3] = _mm512_extracti32x4_epi32(*high, 3);
    }
    for (unsigned q = 0; q < 4 && 8 * q < count; ++q) {
      __m512i wide = _mm512_cvtepu16_epi64(quarters[q]);
      if (high != nullptr) {
        wide = _mm512_or_si512(
            wide, _mm512_slli_epi64(_mm512_cvtepu16_epi64(tops[q]), 16));
      }
      _mm512_mask_storeu_epi64(out + 64 * q,
                               static_cast<__mmask8>(keep >> (8 * q)), wide);
    }
  }
}

// The lanes of p whose byte, masked with top, is tag.
VELK_AVX512 inline __mmask64 Leads(__m512i p, int top, int tag) {
  return _mm512_cmpeq_epi8_mask(
      _mm512_and_si512(p, _mm512_set1_epi8(static_cast<char>(top))),
      _mm512_set1_epi8(static_cast<char>(tag)));
}

// 32 lanes (half h) of bytes, widened to 16 bits.
VELK_AVX512 inline __m512i Half(__m512i v, int h) {
  return _mm512_cvtepu8_epi16(h == 0 ? _mm512_castsi512_si256(v)
                                     : _mm512_extracti64x4_epi64(v, 1));
}

}  // namespace

template <bool kUtf16, std::size_t kOutSize>
VELK_AVX512 std::size_t Utf8ToUnitsAvx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& out,
                                          std::size_t& charsOut) {
  unsigned char* dst = out;  // local copies, kept in registers
  std::size_t chars = charsOut;
  const __m512i x0F = _mm512_set1_epi8(0x0F), x3F = _mm512_set1_epi8(0x3F);
  __m512i prev = _mm512_setzero_si512();
  std::size_t i = 0, pending = 0;  // bytes of an unfinished character
  // Into UTF-16, the high surrogate of a pair whose third byte ended the
  // block before: written with the block that ends the pair.
  bool carried = false;
  std::uint16_t carriedUnit = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i in = _mm512_loadu_si512(src + i);
    const __mmask64 high = _mm512_movepi8_mask(in);
    if (high == 0 && pending == 0) {  // ASCII
      for (int h = 0; h < 2; ++h) {
        StoreUnits<kOutSize>(Half(in, h), nullptr, 32, dst + 32 * kOutSize * h);
      }
      dst += 64 * kOutSize;
      chars += 64;
      prev = in;
      continue;
    }
    const __m512i p1 = Back<1>(in, prev), p2 = Back<2>(in, prev),
                  p3 = Back<3>(in, prev);
    // The validator's checks, and no EF BF BE or EF BF BF.
    const __m512i errors = Utf8Errors512(in, prev);
    const __mmask64 nonChar =
        _mm512_cmpeq_epi8_mask(p2, _mm512_set1_epi8(static_cast<char>(0xEF))) &
        _mm512_cmpeq_epi8_mask(p1, _mm512_set1_epi8(static_cast<char>(0xBF))) &
        _mm512_cmpge_epu8_mask(in, _mm512_set1_epi8(static_cast<char>(0xBE)));
    if (_mm512_test_epi8_mask(errors, errors) != 0 || nonChar != 0) break;
    // A byte ends a character when it is ASCII or its lead is as far back
    // as the lead's length says (a sequence running past the block ends in
    // the next one).
    const __mmask64 lead2 = Leads(p1, 0xE0, 0xC0),
                    lead3 = Leads(p2, 0xF0, 0xE0),
                    lead4at2 = Leads(p2, 0xF8, 0xF0),
                    lead4at3 = Leads(p3, 0xF8, 0xF0);
    const __mmask64 ends = ~high | lead2 | lead3 | lead4at3;
    const bool astral = (lead4at2 | lead4at3) != 0;
    // The unit (into UTF-32 its low 16 bits) each such byte ends: its own
    // low bits (all of an ASCII byte, six of a continuation byte), the
    // byte before's (five of a two-byte lead, else six) and four of the
    // byte two back in a longer sequence.
    const __mmask64 longer = lead3 | lead4at3;
    const __m512i b =
        _mm512_mask_blend_epi8(high, in, _mm512_and_si512(in, x3F));
    const __m512i q1 = _mm512_and_si512(
        _mm512_maskz_mov_epi8(lead2 | longer, p1),
        _mm512_mask_blend_epi8(lead2, x3F, _mm512_set1_epi8(0x1F)));
    const __m512i q2 = _mm512_and_si512(_mm512_maskz_mov_epi8(longer, p2), x0F);
    // Into UTF-32, bits 16 to 20 of a four-byte sequence's character: two
    // of its second byte, three of its lead.
    __m512i top = _mm512_setzero_si512();
    if (!kUtf16 && astral) {
      top = _mm512_maskz_mov_epi8(
          lead4at3,
          _mm512_or_si512(
              _mm512_and_si512(_mm512_srli_epi16(p2, 4), _mm512_set1_epi8(3)),
              _mm512_slli_epi16(_mm512_and_si512(p3, _mm512_set1_epi8(7)), 2)));
    }
    // Into UTF-16 a four-byte sequence's third byte yields the high
    // surrogate, its fourth the low one.
    __mmask64 emit = ends;
    bool carries = false;
    if (kUtf16 && astral) {
      emit |= lead4at2;
      carries = (lead4at2 >> 63) != 0;
      if (carries) emit &= ~(__mmask64{1} << 63);
    }
    if (carried) {  // the pair's high surrogate, before its low one
      StoreUnits<kOutSize>(_mm512_set1_epi16(static_cast<short>(carriedUnit)),
                           nullptr, 1, dst);
      dst += kOutSize;
    }
    for (int h = 0; h < 2; ++h) {
      __m512i units = _mm512_or_si512(
          _mm512_or_si512(Half(b, h), _mm512_slli_epi16(Half(q1, h), 6)),
          _mm512_slli_epi16(Half(q2, h), 12));
      const __mmask32 lanes = static_cast<__mmask32>(emit >> (32 * h));
      if (kUtf16 && astral) {
        const __m512i w1 = Half(p1, h), w2 = Half(p2, h), w0 = Half(in, h);
        // (value >> 10) - 0x40 + D800 at the third byte; DC00 and the low
        // ten bits at the fourth.
        const __m512i highSurrogate = _mm512_add_epi16(
            _mm512_or_si512(
                _mm512_or_si512(
                    _mm512_slli_epi16(
                        _mm512_and_si512(w2, _mm512_set1_epi16(7)), 8),
                    _mm512_slli_epi16(
                        _mm512_and_si512(w1, _mm512_set1_epi16(0x3F)), 2)),
                _mm512_and_si512(_mm512_srli_epi16(w0, 4),
                                 _mm512_set1_epi16(3))),
            _mm512_set1_epi16(static_cast<short>(0xD7C0)));
        const __m512i lowSurrogate = _mm512_or_si512(
            _mm512_or_si512(
                _mm512_slli_epi16(_mm512_and_si512(w1, _mm512_set1_epi16(0x0F)),
                                  6),
                _mm512_and_si512(w0, _mm512_set1_epi16(0x3F))),
            _mm512_set1_epi16(static_cast<short>(0xDC00)));
        units = _mm512_mask_mov_epi16(
            units, static_cast<__mmask32>(lead4at2 >> (32 * h)), highSurrogate);
        units = _mm512_mask_mov_epi16(
            units, static_cast<__mmask32>(lead4at3 >> (32 * h)), lowSurrogate);
        if (h == 1 && carries) {
          carriedUnit = static_cast<std::uint16_t>(
              _mm_extract_epi16(_mm512_extracti32x4_epi32(units, 3), 7));
        }
      }
      const unsigned count = static_cast<unsigned>(__builtin_popcount(lanes));
      const __m512i packed = _mm512_maskz_compress_epi16(lanes, units);
      if (!kUtf16 && astral) {
        const __m512i packedTop =
            _mm512_maskz_compress_epi16(lanes, Half(top, h));
        StoreUnits<kOutSize>(packed, &packedTop, count, dst);
      } else {
        StoreUnits<kOutSize>(packed, nullptr, count, dst);
      }
      dst += kOutSize * count;
    }
    chars += static_cast<std::size_t>(__builtin_popcountll(ends));
    carried = carries;
    pending = static_cast<std::size_t>(__builtin_clzll(ends));  // has bits
    prev = in;
  }
  out = dst;
  charsOut = chars;
  return i - pending;
}

template std::size_t Utf8ToUnitsAvx512<true, 2>(const unsigned char*,
                                                std::size_t, unsigned char*&,
                                                std::size_t&);
template std::size_t Utf8ToUnitsAvx512<true, 4>(const unsigned char*,
                                                std::size_t, unsigned char*&,
                                                std::size_t&);
template std::size_t Utf8ToUnitsAvx512<false, 8>(const unsigned char*,
                                                 std::size_t, unsigned char*&,
                                                 std::size_t&);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
