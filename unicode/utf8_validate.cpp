// The UTF-8 validator.
//
// The vector path classifies every byte by the high nibble of the byte
// before it (prev1), that byte's low nibble and its own high nibble: three
// lookups whose AND is non-zero exactly where a two-byte window breaks a
// rule of well-formed UTF-8 (an overlong form, a surrogate, a value above
// U+10FFFF, a lead without its continuation bytes or a continuation byte
// without its lead).  The third and fourth bytes of longer sequences are
// checked against the leads two and three bytes back.
#include "unicode/utf8_validate.h"

#include <cstdint>
#include <cstring>

#include "unicode/utf_tables.h"
#include "velkconf/convert_utf.h"

#if defined(VELK_UTF_SSE2)
#include <tmmintrin.h>
#endif

namespace velk {

bool ValidUtf8Portable(const unsigned char* s, const unsigned char* end) {
  while (s < end) {
    if (*s < 0x80) {
      for (std::uint64_t w; end - s >= 8; s += 8) {
        std::memcpy(&w, s, 8);
        if ((w & 0x8080808080808080ULL) != 0) break;
      }
      while (s < end && *s < 0x80) ++s;
      continue;
    }
    const int extra = trailingBytesForUTF8[*s];
    unsigned long ch;
    if (end - s <= extra || !DecodeUtf8(s, extra, ch)) return false;
    s += extra + 1;
  }
  return true;
}

#if defined(VELK_UTF_SSE2)
namespace {

#define VELK_SSSE3 __attribute__((target("ssse3")))

// What a window of two bytes can break, one bit a rule.
constexpr char kTooShort = 1 << 0;   // a lead, then no continuation byte
constexpr char kTooLong = 1 << 1;    // ASCII, then a continuation byte
constexpr char kOverlong3 = 1 << 2;  // E0 80..9F
constexpr char kTooLarge = 1 << 3;   // F4 90..BF, F5..FF
constexpr char kSurrogate = 1 << 4;  // ED A0..BF
constexpr char kOverlong2 = 1 << 5;  // C0, C1
constexpr char kTooLarge1000 = 1 << 6;
constexpr char kOverlong4 = 1 << 6;  // F0 80..8F
constexpr char kTwoConts =
    static_cast<char>(1 << 7);  // continuation after continuation
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;

VELK_SSSE3 inline __m128i HighNibbles(__m128i v) {
  return _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F));
}

VELK_SSSE3 inline __m128i SpecialCases(__m128i input, __m128i prev1) {
  const __m128i byte1High = _mm_shuffle_epi8(
      _mm_setr_epi8(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                    kTooLong, kTooLong, kTwoConts, kTwoConts, kTwoConts,
                    kTwoConts, kTooShort | kOverlong2, kTooShort,
                    kTooShort | kOverlong3 | kSurrogate,
                    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
      HighNibbles(prev1));
  const __m128i byte1Low = _mm_shuffle_epi8(
      _mm_setr_epi8(kCarry | kOverlong3 | kOverlong2 | kOverlong4,
                    kCarry | kOverlong2, kCarry, kCarry, kCarry | kTooLarge,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
                    kCarry | kTooLarge | kTooLarge1000,
                    kCarry | kTooLarge | kTooLarge1000),
      _mm_and_si128(prev1, _mm_set1_epi8(0x0F)));
  const __m128i byte2High = _mm_shuffle_epi8(
      _mm_setr_epi8(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                    kTooShort, kTooShort, kTooShort,
                    kTooLong | kOverlong2 | kTwoConts | kOverlong3 |
                        kTooLarge1000 | kOverlong4,
                    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
                    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
                    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
                    kTooShort, kTooShort, kTooShort, kTooShort),
      HighNibbles(input));
  return _mm_and_si128(_mm_and_si128(byte1High, byte1Low), byte2High);
}

// The errors of the 16 bytes of input, prev being the 16 before them.
VELK_SSSE3 inline __m128i BlockErrors(__m128i input, __m128i prev) {
  const __m128i prev1 = _mm_alignr_epi8(input, prev, 15);
  const __m128i prev2 = _mm_alignr_epi8(input, prev, 14);
  const __m128i prev3 = _mm_alignr_epi8(input, prev, 13);
  // The third byte of a sequence from E0 up, the fourth from F0 up, must be
  // continuation bytes: the special cases above flag them as two in a row.
  const __m128i must23 =
      _mm_or_si128(_mm_subs_epu8(prev2, _mm_set1_epi8(0xE0 - 0x80)),
                   _mm_subs_epu8(prev3, _mm_set1_epi8(0xF0 - 0x80)));
  return _mm_xor_si128(
      _mm_and_si128(must23, _mm_set1_epi8(static_cast<char>(0x80))),
      SpecialCases(input, prev1));
}

// Non-zero where the last bytes of input start a sequence that needs more.
VELK_SSSE3 inline __m128i Incomplete(__m128i input) {
  const __m128i most =
      _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                    static_cast<char>(0xF0 - 1), static_cast<char>(0xE0 - 1),
                    static_cast<char>(0xC0 - 1));
  return _mm_subs_epu8(input, most);
}

}  // namespace

VELK_SSSE3 bool ValidUtf8Ssse3(const unsigned char* s,
                               const unsigned char* end) {
  const std::size_t n = static_cast<std::size_t>(end - s);
  __m128i error = _mm_setzero_si128(), prev = _mm_setzero_si128();
  __m128i incomplete = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m128i a = simd::Load(s + i), b = simd::Load(s + i + 16);
    const __m128i c = simd::Load(s + i + 32), d = simd::Load(s + i + 48);
    if (_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) {
      error = _mm_or_si128(error, incomplete);  // a sequence cut short by ASCII
      incomplete = _mm_setzero_si128();
      prev = d;
      continue;
    }
    error = _mm_or_si128(error,
                         _mm_or_si128(BlockErrors(a, prev), BlockErrors(b, a)));
    error =
        _mm_or_si128(error, _mm_or_si128(BlockErrors(c, b), BlockErrors(d, c)));
    incomplete = Incomplete(d);
    prev = d;
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) != 0xFFFF)
      return false;
  }
  // The rest, zero-padded: a sequence cut short by the end is followed by
  // zero bytes, which the checks take for ASCII.
  if (i < n) {
    alignas(16) unsigned char tail[64] = {};
    std::memcpy(tail, s + i, n - i);
    for (std::size_t k = 0; k < n - i; k += 16) {
      const __m128i v =
          _mm_load_si128(reinterpret_cast<const __m128i*>(tail + k));
      error = _mm_or_si128(error, BlockErrors(v, prev));
      incomplete = Incomplete(v);
      prev = v;
    }
  }
  error = _mm_or_si128(error, incomplete);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) ==
         0xFFFF;
}

bool HasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}
#endif  // VELK_UTF_SSE2

}  // namespace velk

bool isLegalUTF8Sequence(const unsigned char* source,
                         const unsigned char* sourceEnd) {
  if (sourceEnd <= source) return true;
#if defined(VELK_UTF_SSE2)
  if (velk::HasSsse3()) return velk::ValidUtf8Ssse3(source, sourceEnd);
#endif
  return velk::ValidUtf8Portable(source, sourceEnd);
}
