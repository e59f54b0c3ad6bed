// The AVX-512 ASCII run (see widen_avx512.h).
#include "unicode/widen_avx512.h"

#if defined(VELK_UTF_SSE2)
#include "unicode/avx512.h"

namespace velk {
namespace simd {

template <std::size_t kOutSize>
VELK_AVX512 std::size_t AsciiWidenAvx512(const unsigned char* src,
                                         std::size_t n, unsigned char* dst) {
  static_assert(kOutSize == 4 || kOutSize == 8, "UTF-32 units");
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    if (_mm256_movemask_epi8(v) != 0) break;
    unsigned char* const out = dst + kOutSize * i;
    const __m128i halves[2] = {_mm256_castsi256_si128(v),
                               _mm256_extracti128_si256(v, 1)};
    for (int h = 0; h < 2; ++h) {
      if constexpr (kOutSize == 4) {  // 16 bytes a store
        _mm512_storeu_si512(out + 64 * h, _mm512_cvtepu8_epi32(halves[h]));
      } else {  // 8 bytes a store
        _mm512_storeu_si512(out + 128 * h, _mm512_cvtepu8_epi64(halves[h]));
        _mm512_storeu_si512(
            out + 128 * h + 64,
            _mm512_cvtepu8_epi64(_mm_unpackhi_epi64(halves[h], halves[h])));
      }
    }
  }
  return i;
}

template std::size_t AsciiWidenAvx512<4>(const unsigned char*, std::size_t,
                                         unsigned char*);
template std::size_t AsciiWidenAvx512<8>(const unsigned char*, std::size_t,
                                         unsigned char*);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
