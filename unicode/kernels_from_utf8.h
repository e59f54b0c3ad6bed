// Kernels of one kind out of UTF-8, with SSE2: one- and two-byte
// sequences, and three-byte sequences (see simd_runs.h for how kernels
// run).
#ifndef VELKCONF_UNICODE_KERNELS_FROM_UTF8_H_
#define VELKCONF_UNICODE_KERNELS_FROM_UTF8_H_

#include <cstddef>
#include <cstdint>

#include "unicode/simd_vector.h"

namespace velk {

#if defined(VELK_UTF_SSE2)
namespace simd {

// UTF-8 of one and two bytes (U+0000 to U+07FF), 16 bytes at a time into
// units of type Out.  Returns the bytes converted, always whole sequences
// (a two-byte lead in a group's last byte waits for the next group), and
// moves dst past the units written.  Every byte of a group yields the
// unit of the sequence it belongs to; a continuation byte stores its unit
// again over the one its lead just stored, so each byte costs the same
// and nothing lands past the end of the output.
template <typename Out>
inline std::size_t TwoByte8ToUnits(const unsigned char* src, std::size_t n,
                                   unsigned char*& dst) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i zero = _mm_setzero_si128();
  Out* out = reinterpret_cast<Out*>(dst);
  std::size_t i = 0;
  while (i + 16 <= n) {
    const __m128i b = Load(src + i);
    // Signed classes after flipping the top bit: ASCII below 0, a
    // continuation 0 to 0x3F, a lead of C2 to DF 0x42 to 0x5F.
    const __m128i x = _mm_xor_si128(b, flip);
    const __m128i ascii = _mm_cmplt_epi8(x, zero);
    const __m128i cont =
        _mm_andnot_si128(ascii, _mm_cmplt_epi8(x, _mm_set1_epi8(0x40)));
    const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x41)),
                                       _mm_cmplt_epi8(x, _mm_set1_epi8(0x60)));
    const unsigned leads = static_cast<unsigned>(_mm_movemask_epi8(lead));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(ascii, cont), lead)) !=
            0xFFFF ||
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_bslli_si128(lead, 1), cont)) !=
            0xFFFF) {
      break;
    }
    const unsigned conts = static_cast<unsigned>(_mm_movemask_epi8(cont));
    if (leads == 0) {  // all ASCII
      StoreWidened<sizeof(Out)>(b, reinterpret_cast<unsigned char*>(out));
      out += 16;
      i += 16;
      continue;
    }
    // A lead's unit from it and the byte after it; ASCII as it is.
    const __m128i next = _mm_bsrli_si128(b, 1);
    const __m128i high = _mm_and_si128(b, _mm_set1_epi8(0x1F));
    const __m128i low = _mm_and_si128(next, _mm_set1_epi8(0x3F));
    alignas(16) unsigned short unit[16];
    for (int half = 0; half < 2; ++half) {
      const __m128i h =
          half ? _mm_unpackhi_epi8(high, zero) : _mm_unpacklo_epi8(high, zero);
      const __m128i l =
          half ? _mm_unpackhi_epi8(low, zero) : _mm_unpacklo_epi8(low, zero);
      const __m128i plain =
          half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
      const __m128i isLead =
          half ? _mm_unpackhi_epi8(lead, lead) : _mm_unpacklo_epi8(lead, lead);
      const __m128i two = _mm_or_si128(_mm_slli_epi16(h, 6), l);
      _mm_store_si128(reinterpret_cast<__m128i*>(unit + 8 * half),
                      _mm_or_si128(_mm_and_si128(isLead, two),
                                   _mm_andnot_si128(isLead, plain)));
    }
    const int bytes = 16 - static_cast<int>(leads >> 15);
    for (int k = 0; k < bytes; ++k) {  // conts has no bit 0
      const int c = static_cast<int>((conts >> k) & 1);
      out -= c;
      out[0] = static_cast<Out>(unit[k - c]);
      ++out;
    }
    i += static_cast<std::size_t>(bytes);
  }
  dst = reinterpret_cast<unsigned char*>(out);
  return i;
}

// The 32-bit words at byte offsets 0, 3, 6 and 9 of v, one a lane: lane k
// is v moved up by k bytes.  (All in registers: a gather through memory
// would stall on store forwarding.)
inline __m128i ThreeByteLanes(__m128i v) {
  const __m128i lane0 = _mm_setr_epi32(-1, 0, 0, 0),
                lane1 = _mm_setr_epi32(0, -1, 0, 0);
  const __m128i lane2 = _mm_setr_epi32(0, 0, -1, 0),
                lane3 = _mm_setr_epi32(0, 0, 0, -1);
  return _mm_or_si128(
      _mm_or_si128(_mm_and_si128(v, lane0),
                   _mm_and_si128(_mm_bslli_si128(v, 1), lane1)),
      _mm_or_si128(_mm_and_si128(_mm_bslli_si128(v, 2), lane2),
                   _mm_and_si128(_mm_bslli_si128(v, 3), lane3)));
}

// Three-byte UTF-8 sequences (U+0800 to U+FFFD, no surrogate), 8 at a
// time into units of kOutSize bytes; n is the bytes readable at src (a
// group reads four bytes past its 24).  Returns the bytes converted and
// moves dst past the units written.
template <std::size_t kOutSize>
inline std::size_t ThreeByte8ToWide(const unsigned char* src, std::size_t n,
                                    unsigned char*& dst) {
  const __m128i shape = _mm_set1_epi32(0xC0C0F0),
                marks = _mm_set1_epi32(0x8080E0);
  const __m128i top5 = _mm_set1_epi32(0xF800),
                surrogates = _mm_set1_epi32(0xD800);
  const __m128i below = _mm_set1_epi32(0x7FF), most = _mm_set1_epi32(0xFFFE);
  // Four sequences, one per 32-bit lane, to their values; all-ones in
  // `bad` for a lane that is not one of them.
  const auto decode = [&](const unsigned char* s, __m128i& bad) {
    const __m128i v = ThreeByteLanes(Load(s));
    const __m128i ch = _mm_or_si128(
        _mm_or_si128(
            _mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x0F)), 12),
            _mm_srli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x3F00)), 2)),
        _mm_srli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x3F0000)), 16));
    const __m128i good = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(v, shape), marks),
                      _mm_cmpgt_epi32(ch, below)),
        _mm_andnot_si128(_mm_cmpeq_epi32(_mm_and_si128(ch, top5), surrogates),
                         _mm_cmplt_epi32(ch, most)));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi32(good, _mm_setzero_si128()));
    return ch;
  };
  std::size_t i = 0;
  for (; i + 28 <= n; i += 24, dst += 8 * kOutSize) {
    __m128i bad = _mm_setzero_si128();
    const __m128i a = decode(src + i, bad), b = decode(src + i + 12, bad);
    if (_mm_movemask_epi8(bad) != 0) break;
    if constexpr (kOutSize == 2) {
      Store(dst, PackBmp(a, b));
    } else {
      unsigned char* out = dst;
      StoreDwords<kOutSize>(a, out);
      StoreDwords<kOutSize>(b, out);
    }
  }
  return i;
}
}  // namespace simd
#else
namespace simd {
template <typename>
inline constexpr NoGroups TwoByte8ToUnits{};
template <std::size_t>
inline constexpr NoGroups ThreeByte8ToWide{};
}  // namespace simd
#endif  // VELK_UTF_SSE2

}  // namespace velk

#endif  // VELKCONF_UNICODE_KERNELS_FROM_UTF8_H_
