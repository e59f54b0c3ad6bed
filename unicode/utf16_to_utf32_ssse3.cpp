// The mixed kernel from UTF-16 to UTF-32 (see utf16_to_utf32_ssse3.h).
#include "unicode/utf16_to_utf32_ssse3.h"

#if defined(VELK_UTF_SSE2)
#include <tmmintrin.h>

#include <cstdint>
#include <cstring>

namespace velk {
namespace simd {
namespace {

constexpr CompactTable<4, 4> kLanes = MakeCompactTable<4, 4>();

// Packs the lanes of cp that mask names to the front and stores all four
// as units of kOutSize bytes at dst; moves dst past those of the mask.
template <std::size_t kOutSize>
VELK_SSSE3 inline void StorePacked(__m128i cp, unsigned mask,
                                   unsigned char*& dst) {
  const __m128i packed = _mm_shuffle_epi8(
      cp,
      _mm_load_si128(reinterpret_cast<const __m128i*>(kLanes.shuffle[mask])));
  unsigned char* out = dst;
  StoreDwords<kOutSize>(packed, out);
  dst += kOutSize * static_cast<unsigned>(__builtin_popcount(mask));
}

}  // namespace

template <std::size_t kOutSize>
VELK_SSSE3 std::size_t Utf16ToUtf32Mixed(const unsigned char* src,
                                         std::size_t n, unsigned char*& out) {
  unsigned char* dst = out;  // kept in a register (see StoreGroups)
  // A store of four units leaves at most three past its output, which the
  // next store overwrites; a group writes at least four, so the four units
  // past its output, saved before its stores, are still what they were
  // before the kernel ran, and after the last group they are put back.
  // Eight units stored as they are leave nothing past their output.
  constexpr std::size_t kSaved = 4 * kOutSize;
  unsigned char saved[kSaved];
  std::size_t i = 0;
  bool dirty = false;
  while (i + 8 <= n) {
    const __m128i v = Load(src + 2 * i);
    // No surrogate and no U+FFFE or U+FFFF: eight units as they are.
    const __m128i surrogate = _mm_cmpeq_epi16(
        _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))),
        _mm_set1_epi16(static_cast<short>(0xD800)));
    const __m128i nonChar = _mm_cmpgt_epi16(
        _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000))),
        _mm_set1_epi16(0x7FFD));
    if (_mm_movemask_epi8(_mm_or_si128(surrogate, nonChar)) == 0) {
      const __m128i zero = _mm_setzero_si128();
      StoreDwords<kOutSize>(_mm_unpacklo_epi16(v, zero), dst);
      StoreDwords<kOutSize>(_mm_unpackhi_epi16(v, zero), dst);
      i += 8;
      dirty = false;  // past the previous group's output, all overwritten
      continue;
    }
    __m128i cp[2], quiet[2];
    unsigned lows, highs;
    if (!PairLanes(v, cp, lows, highs, quiet)) break;
    const unsigned first =
        ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(quiet[0]))) &
        0xF;
    const unsigned second =
        ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(quiet[1]))) &
        0xF;
    const unsigned count =
        static_cast<unsigned>(__builtin_popcount(first | (second << 4)));
    std::memcpy(saved, dst + count * kOutSize, kSaved);
    StorePacked<kOutSize>(cp[0], first, dst);
    StorePacked<kOutSize>(cp[1], second, dst);
    i += 8 - ((highs >> 7) & 1);
    dirty = true;
  }
  if (dirty) std::memcpy(dst, saved, kSaved);
  out = dst;
  return i;
}

template std::size_t Utf16ToUtf32Mixed<4>(const unsigned char*, std::size_t,
                                          unsigned char*&);
template std::size_t Utf16ToUtf32Mixed<8>(const unsigned char*, std::size_t,
                                          unsigned char*&);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
