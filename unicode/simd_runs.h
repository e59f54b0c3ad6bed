// Runs of units that convert one to one, and the frame the kernels run in.
//
// CopyBelow<kLimit>(src, n, dst) copies the leading units of src[0, n) whose
// value is below kLimit into dst, each as one unit of dst's type, and
// returns how many it copied.  kLimit is 0x80 where one side is UTF-8
// (ASCII) and 0xD800 between UTF-16 and UTF-32 (everything below the
// surrogates).  Nothing is written past dst + the returned count.  SSE2
// handles whole blocks (AVX-512 for ASCII into UTF-32, where the processor
// has it); a scalar loop the rest.
//
// The group converters in namespace simd take a fixed number of units at
// a time that need no test of their own (characters of one UTF-8 length,
// or any characters whose output is computed lane by lane) and stop at the
// first group that does not qualify, leaving it to the scalar loops, which
// handle every error.  RunGroups runs one of them over the caller's
// pointers.  None of them writes past the end of what it reports.
#ifndef VELKCONF_UNICODE_SIMD_RUNS_H_
#define VELKCONF_UNICODE_SIMD_RUNS_H_

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "unicode/convert_run.h"
#include "unicode/simd_vector.h"
#include "unicode/utf_tables.h"
#include "unicode/widen_avx512.h"

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

#if defined(VELK_UTF_SSE2)
namespace simd {

// Bytes to units of kOutSize bytes, 16 at a time.
template <std::size_t kOutSize>
inline std::size_t AsciiWiden(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = Load(src + i);
    if (_mm_movemask_epi8(v) != 0) break;
    StoreWidened<kOutSize>(v, dst + kOutSize * i);
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
    const __m128i w0 =
        _mm_packs_epi32(LowHalves(v[0], v[1]), LowHalves(v[2], v[3]));
    const __m128i w1 =
        _mm_packs_epi32(LowHalves(v[4], v[5]), LowHalves(v[6], v[7]));
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
    unsigned char* out = dst + kOutSize * i;
    StoreDwords<kOutSize>(_mm_unpacklo_epi16(v, zero), out);
    StoreDwords<kOutSize>(_mm_unpackhi_epi16(v, zero), out);
  }
  return i;
}

// 64-bit units below the surrogates to 16-bit units, 8 at a time.
inline std::size_t Bmp64To16(const unsigned char* src, std::size_t n,
                             unsigned char* dst) {
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i limit = _mm_set1_epi32(static_cast<int>(0xD800u ^ 0x80000000u));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i a = Load(src + 8 * i), b = Load(src + 8 * i + 16);
    const __m128i c = Load(src + 8 * i + 32), d = Load(src + 8 * i + 48);
    const __m128i low0 = LowHalves(a, b), low1 = LowHalves(c, d);
    if (!AllZero(_mm_or_si128(HighHalves(a, b), HighHalves(c, d)))) break;
    const __m128i below =
        _mm_and_si128(_mm_cmplt_epi32(_mm_xor_si128(low0, flip), limit),
                      _mm_cmplt_epi32(_mm_xor_si128(low1, flip), limit));
    if (_mm_movemask_epi8(below) != 0xFFFF) break;
    Store(dst + 2 * i, PackBmp(low0, low1));
  }
  return i;
}

}  // namespace simd
#endif  // VELK_UTF_SSE2

template <unsigned long kLimit, typename In, typename Out>
std::size_t CopyBelow(const In* src, std::size_t n, Out* dst) {
  std::size_t i = 0;
#if defined(VELK_UTF_SSE2)
  const auto* in = reinterpret_cast<const unsigned char*>(src);
  auto* out = reinterpret_cast<unsigned char*>(dst);
  constexpr bool kUnsignedIn = std::is_unsigned<In>::value;
  constexpr std::size_t kIn = sizeof(In), kOut = sizeof(Out);
  if constexpr (kLimit == 0x80 && kIn == 1 && kOut > 1) {
    if constexpr (kOut >= 4) {
      if (HasAvx512())
        return CopyBelowScalar<kLimit>(
            src, n, dst, simd::AsciiWidenAvx512<kOut>(in, n, out));
    }
    i = simd::AsciiWiden<kOut>(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 2 && kOut == 1) {
    i = simd::Ascii16To8(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 8 && kOut == 1) {
    i = simd::Ascii64To8(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 2 &&
                       (kOut == 4 || kOut == 8)) {
    i = simd::Bmp16ToWide<kOut>(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 8 && kOut == 2 &&
                       kUnsignedIn) {
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
  const std::size_t n = CopyBelow<kLimit>(
      src, static_cast<std::size_t>(in < out ? in : out), dst);
  src += n;
  dst += n;
  return n;
}

// Runs a converter of groups (one of those above, with the signature
// std::size_t(const unsigned char* src, std::size_t n, unsigned char*& dst))
// over at most n units at src; advances src and dst past what it converted
// and returns the source units it took (0 when no group qualifies).
template <typename In, typename Out, typename Groups>
inline std::size_t RunGroups(Groups groups, const In*& src, std::ptrdiff_t n,
                             Out*& dst) {
  auto* out = reinterpret_cast<unsigned char*>(dst);
  const std::size_t taken = groups(reinterpret_cast<const unsigned char*>(src),
                                   static_cast<std::size_t>(n), out);
  src += taken;
  dst = reinterpret_cast<Out*>(out);
  return taken;
}

// RunGroups for a direction that writes one unit a character: returns the
// characters converted.
template <typename In, typename Out, typename Groups>
inline std::size_t RunUnitGroups(Groups groups, const In*& src,
                                 std::ptrdiff_t n, Out*& dst) {
  Out* const start = dst;
  RunGroups(groups, src, n, dst);
  return static_cast<std::size_t>(dst - start);
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_SIMD_RUNS_H_
