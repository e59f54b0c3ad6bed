// The kernel from UTF-16 to UTF-32, with SSE2 (see simd_runs.h for how
// kernels run).
#ifndef VELKCONF_UNICODE_KERNELS_UTF16_TO_UTF32_H_
#define VELKCONF_UNICODE_KERNELS_UTF16_TO_UTF32_H_

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "unicode/simd_vector.h"

namespace velk {

#if defined(VELK_UTF_SSE2)
namespace simd {

// UTF-16 to UTF-32 units of kOutSize (4 or 8) bytes, 8 units at a time
// (see PairLanes).  Returns the units converted and moves dst past the
// units written.  Every unit of a group yields the character it belongs
// to; a pair's low surrogate stores its character again over the one its
// high surrogate just stored.
template <std::size_t kOutSize>
inline std::size_t PairsToWide(const unsigned char* src, std::size_t n,
                               unsigned char*& dst) {
  using Out = std::conditional_t<kOutSize == 4, std::uint32_t, std::uint64_t>;
  Out* out = reinterpret_cast<Out*>(dst);
  std::size_t i = 0;
  __m128i cp[2];
  unsigned lows, highs;
  while (i + 8 <= n) {
    const __m128i v = Load(src + 2 * i);
    // Units that are all below the surrogates go back to the faster copy.
    const __m128i below = _mm_cmplt_epi16(
        _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000))),
        _mm_set1_epi16(0x5800));
    if (_mm_movemask_epi8(below) == 0xFFFF || !PairLanes(v, cp, lows, highs))
      break;
    alignas(16) std::uint32_t ch[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(ch), cp[0]);
    _mm_store_si128(reinterpret_cast<__m128i*>(ch + 4), cp[1]);
    const int units = 8 - static_cast<int>((highs >> 7) & 1);
    for (int k = 0; k < units; ++k) {  // lows has no bit 0
      const int c = static_cast<int>((lows >> k) & 1);
      out -= c;
      out[0] = ch[k - c];
      ++out;
    }
    i += static_cast<std::size_t>(units);
  }
  dst = reinterpret_cast<unsigned char*>(out);
  return i;
}

}  // namespace simd
#else
namespace simd {
template <std::size_t>
inline constexpr NoGroups PairsToWide{};
}  // namespace simd
#endif  // VELK_UTF_SSE2

}  // namespace velk

#endif  // VELKCONF_UNICODE_KERNELS_UTF16_TO_UTF32_H_
