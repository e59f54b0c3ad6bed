// Checks of UTF-8 with SSSE3, 16 bytes at a time: every byte is
// classified by the high nibble of the byte before it (prev1), that byte's
// low nibble and its own high nibble, three table lookups whose AND is
// non-zero exactly where a two-byte window breaks a rule of well-formed
// UTF-8 (an overlong form, a surrogate, a value above U+10FFFF, a lead
// without its continuation bytes or a continuation byte without its lead).
// The third and fourth bytes of longer sequences are checked against the
// leads two and three bytes back.
#ifndef VELKCONF_UNICODE_UTF8_CHECK_SSSE3_H_
#define VELKCONF_UNICODE_UTF8_CHECK_SSSE3_H_

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
#include <tmmintrin.h>

namespace velk {
namespace simd {

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

// The three lookups whose AND gives a window's errors: by the high nibble
// of the byte before, by its low nibble, and by the byte's own high
// nibble.  (Also used, 16 bytes a lane, by the wider kernels.)
// clang-format off
alignas(16) inline constexpr char kByte1High[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTooLong, kTwoConts, kTwoConts, kTwoConts, kTwoConts,
    kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
constexpr char kAbove = kCarry | kTooLarge | kTooLarge1000;  // 5 and up
alignas(16) inline constexpr char kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry,
    kCarry, kCarry | kTooLarge, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove,
    kAbove, kAbove, kAbove | kSurrogate, kAbove, kAbove};
constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;  // 8 to B
alignas(16) inline constexpr char kByte2High[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooShort, kTooShort, kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
    kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
    kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort};
// clang-format on

VELK_SSSE3 inline __m128i Table(const char (&table)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

VELK_SSSE3 inline __m128i SpecialCases(__m128i input, __m128i prev1) {
  const __m128i byte1High =
      _mm_shuffle_epi8(Table(kByte1High), HighNibbles(prev1));
  const __m128i byte1Low = _mm_shuffle_epi8(
      Table(kByte1Low), _mm_and_si128(prev1, _mm_set1_epi8(0x0F)));
  const __m128i byte2High =
      _mm_shuffle_epi8(Table(kByte2High), HighNibbles(input));
  return _mm_and_si128(_mm_and_si128(byte1High, byte1Low), byte2High);
}

// The errors of the 16 bytes of input, prev being the 16 before them.
VELK_SSSE3 inline __m128i Utf8Errors(__m128i input, __m128i prev) {
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

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_UTF8_CHECK_SSSE3_H_
