// Copying runs of code units that convert one to one.
//
// CopyBelow<kLimit>(src, n, dst) copies the leading units of src[0, n) whose
// value is below kLimit into dst, each as one unit of dst's type, and
// returns how many it copied.  kLimit is 0x80 where one side is UTF-8
// (ASCII) and 0xD800 between UTF-16 and UTF-32 (everything below the
// surrogates).  Nothing is written past dst + the returned count.  SSE2,
// which every x86-64 has, handles whole blocks; a scalar loop the rest.
#ifndef VELKCONF_UNICODE_SIMD_RUNS_H_
#define VELKCONF_UNICODE_SIMD_RUNS_H_

#include <cstddef>

#include "unicode/utf_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velk {

template <unsigned long kLimit, typename In, typename Out>
std::size_t CopyBelowScalar(const In* src, std::size_t n, Out* dst,
                            std::size_t i = 0) {
  while (i < n && UnitValue(src[i]) < kLimit) {
    dst[i] = static_cast<Out>(src[i]);
    ++i;
  }
  return i;
}

#if defined(__SSE2__)
namespace simd {

inline __m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m128i v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
// Low 32-bit halves of the four 64-bit lanes of a and b, in order.
inline __m128i LowHalves(__m128i a, __m128i b) {
  const __m128i a2 = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i b2 = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_unpacklo_epi64(a2, b2);
}
// High 32-bit halves likewise.
inline __m128i HighHalves(__m128i a, __m128i b) {
  const __m128i a2 = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i b2 = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_unpackhi_epi64(a2, b2);
}
inline bool AllZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}

// Bytes to 16-bit units, 16 at a time.
inline std::size_t Ascii8To16(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i zero = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = Load(src + i);
    if (_mm_movemask_epi8(v) != 0) break;
    Store(dst + 2 * i, _mm_unpacklo_epi8(v, zero));
    Store(dst + 2 * i + 16, _mm_unpackhi_epi8(v, zero));
  }
  return i;
}

// Bytes to 64-bit units, 16 at a time.
inline std::size_t Ascii8To64(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i zero = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = Load(src + i);
    if (_mm_movemask_epi8(v) != 0) break;
    const __m128i w[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
    unsigned char* out = dst + 8 * i;
    for (const __m128i& words : w) {
      const __m128i d[2] = {_mm_unpacklo_epi16(words, zero),
                            _mm_unpackhi_epi16(words, zero)};
      for (const __m128i& dwords : d) {
        Store(out, _mm_unpacklo_epi32(dwords, zero));
        Store(out + 16, _mm_unpackhi_epi32(dwords, zero));
        out += 32;
      }
    }
  }
  return i;
}

// 16-bit units below 0x80 to bytes, 16 at a time.
inline std::size_t Ascii16To8(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = Load(src + 2 * i);
    const __m128i b = Load(src + 2 * i + 16);
    if (!AllZero(_mm_and_si128(_mm_or_si128(a, b), high))) break;
    Store(dst + i, _mm_packus_epi16(a, b));
  }
  return i;
}

// 64-bit units below 0x80 to bytes, 16 at a time.
inline std::size_t Ascii64To8(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i high = _mm_set1_epi64x(~0x7FLL);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i v[8];
    __m128i any = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k) {
      v[k] = Load(src + 8 * i + 16 * k);
      any = _mm_or_si128(any, v[k]);
    }
    if (!AllZero(_mm_and_si128(any, high))) break;
    const __m128i w0 = _mm_packs_epi32(LowHalves(v[0], v[1]), LowHalves(v[2], v[3]));
    const __m128i w1 = _mm_packs_epi32(LowHalves(v[4], v[5]), LowHalves(v[6], v[7]));
    Store(dst + i, _mm_packus_epi16(w0, w1));
  }
  return i;
}

// 16-bit units below the surrogates to 32- or 64-bit units, 8 at a time.
template <std::size_t kOutSize>
inline std::size_t Bmp16ToWide(const unsigned char* src, std::size_t n,
                               unsigned char* dst) {
  static_assert(kOutSize == 4 || kOutSize == 8, "UTF-32 units");
  const __m128i zero = _mm_setzero_si128();
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  // u < 0xD800 exactly when (u ^ 0x8000) < 0x5800 as a signed value.
  const __m128i limit = _mm_set1_epi16(0x5800);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i v = Load(src + 2 * i);
    const __m128i below = _mm_cmplt_epi16(_mm_xor_si128(v, flip), limit);
    if (_mm_movemask_epi8(below) != 0xFFFF) break;
    const __m128i d[2] = {_mm_unpacklo_epi16(v, zero), _mm_unpackhi_epi16(v, zero)};
    unsigned char* out = dst + kOutSize * i;
    for (const __m128i& dwords : d) {
      if (kOutSize == 4) {
        Store(out, dwords);
        out += 16;
      } else {
        Store(out, _mm_unpacklo_epi32(dwords, zero));
        Store(out + 16, _mm_unpackhi_epi32(dwords, zero));
        out += 32;
      }
    }
  }
  return i;
}

// 64-bit units below the surrogates to 16-bit units, 8 at a time.
inline std::size_t Bmp64To16(const unsigned char* src, std::size_t n,
                             unsigned char* dst) {
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i limit = _mm_set1_epi32(static_cast<int>(0xD800u ^ 0x80000000u));
  const __m128i bias = _mm_set1_epi32(0x8000);
  const __m128i unbias = _mm_set1_epi16(static_cast<short>(0x8000));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i a = Load(src + 8 * i), b = Load(src + 8 * i + 16);
    const __m128i c = Load(src + 8 * i + 32), d = Load(src + 8 * i + 48);
    const __m128i low0 = LowHalves(a, b), low1 = LowHalves(c, d);
    if (!AllZero(_mm_or_si128(HighHalves(a, b), HighHalves(c, d)))) break;
    const __m128i below = _mm_and_si128(
        _mm_cmplt_epi32(_mm_xor_si128(low0, flip), limit),
        _mm_cmplt_epi32(_mm_xor_si128(low1, flip), limit));
    if (_mm_movemask_epi8(below) != 0xFFFF) break;
    // Shift into the signed range so that the saturating pack is exact.
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(low0, bias),
                                           _mm_sub_epi32(low1, bias));
    Store(dst + 2 * i, _mm_add_epi16(packed, unbias));
  }
  return i;
}

}  // namespace simd
#endif  // __SSE2__

template <unsigned long kLimit, typename In, typename Out>
std::size_t CopyBelow(const In* src, std::size_t n, Out* dst) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const auto* in = reinterpret_cast<const unsigned char*>(src);
  auto* out = reinterpret_cast<unsigned char*>(dst);
  constexpr bool kUnsignedIn = std::is_unsigned<In>::value;
  constexpr std::size_t kIn = sizeof(In), kOut = sizeof(Out);
  if constexpr (kLimit == 0x80 && kIn == 1 && kOut == 2) {
    i = simd::Ascii8To16(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 1 && kOut == 8) {
    i = simd::Ascii8To64(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 2 && kOut == 1) {
    i = simd::Ascii16To8(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 8 && kOut == 1) {
    i = simd::Ascii64To8(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 2 && (kOut == 4 || kOut == 8)) {
    i = simd::Bmp16ToWide<kOut>(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 8 && kOut == 2 && kUnsignedIn) {
    i = simd::Bmp64To16(in, n, out);
  }
#endif
  return CopyBelowScalar<kLimit>(src, n, dst, i);
}

// CopyBelow from src into dst as far as both ranges allow; advances both
// and returns the number of units copied (0 only when dst is full or the
// first unit is not below kLimit).
template <unsigned long kLimit, typename In, typename Out>
inline std::size_t CopyRun(const In*& src, const In* srcEnd, Out*& dst,
                           Out* dstEnd) {
  const std::ptrdiff_t in = srcEnd - src, out = dstEnd - dst;
  const std::size_t n =
      CopyBelow<kLimit>(src, static_cast<std::size_t>(in < out ? in : out), dst);
  src += n;
  dst += n;
  return n;
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_SIMD_RUNS_H_
