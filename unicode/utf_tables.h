// Constant tables and one-character helpers shared by the conversion
// routines.
#ifndef VELKCONF_UNICODE_UTF_TABLES_H_
#define VELKCONF_UNICODE_UTF_TABLES_H_

#include <cstdint>
#include <type_traits>

#include "velkconf/convert_utf.h"

namespace velk {

const unsigned long kReplacementChar = 0xFFFD;
const unsigned long kSurHighStart = 0xD800;
const unsigned long kSurHighEnd = 0xDBFF;
const unsigned long kSurLowStart = 0xDC00;
const unsigned long kSurLowEnd = 0xDFFF;
const unsigned long kMaxUtf16 = 0x10FFFF;
// The largest value the UTF-32 to UTF-8 routines encode (six bytes).
const unsigned long kMaxSixByte = 0x7FFFFFFF;

// Lead-byte marks indexed by sequence length (index 0 unused).
inline constexpr unsigned char firstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0,
                                                   0xF0, 0xF8, 0xFC};

// Number of bytes that follow a lead byte: 0 for 00-BF, 1 for C0-DF, 2 for
// E0-EF, 3 for F0-F7, 4 for F8-FB, 5 for FC-FF.
inline constexpr signed char trailingBytesForUTF8[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

// Subtracted from the accumulated bytes of a sequence, indexed by its
// number of trailing bytes.
inline constexpr std::uint32_t offsetsFromUTF8[6] = {
    0x00000000UL, 0x00003080UL, 0x000E2080UL,
    0x03C82080UL, 0xFA082080UL, 0x82082080UL};

inline bool IsHighSurrogate(unsigned long u) {
  return u >= kSurHighStart && u <= kSurHighEnd;
}
inline bool IsLowSurrogate(unsigned long u) {
  return u >= kSurLowStart && u <= kSurLowEnd;
}
inline bool IsSurrogate(unsigned long u) {
  return u >= kSurHighStart && u <= kSurLowEnd;
}
inline bool IsNonCharacter(unsigned long u) {
  return u == 0xFFFE || u == 0xFFFF;
}
// A BMP value that converts as it is: no surrogate, no non-character.
inline bool IsPlainBmp(unsigned long u) {
  return u < kSurHighStart || (u > kSurLowEnd && u < 0xFFFE);
}

// A code unit as an unsigned value: a negative wchar_t is a large value,
// never a small one.
template <typename Unit>
inline unsigned long UnitValue(Unit u) {
  return static_cast<unsigned long>(static_cast<std::make_unsigned_t<Unit>>(u));
}

// Why a UTF-32 value cannot be converted, or conversionOK.  Values above
// max give aboveMax.
inline ConversionResult CheckUtf32(unsigned long ch, unsigned long max,
                                   ConversionResult aboveMax) {
  if (IsSurrogate(ch)) return sourceIllegal;
  if (IsNonCharacter(ch)) return sourceNonCharacter;
  if (ch > max) return aboveMax;
  return conversionOK;
}

// Reads the UTF-16 character at src (src < end) into ch and says what it
// is: conversionOK (src past it), sourceExhausted (a high surrogate is the
// last unit; src not moved), sourceUnpairedSurrogate (src past the lone
// unit only) or sourceNonCharacter (ch is FFFE or FFFF, src past it).
template <typename Unit>
inline ConversionResult ReadUtf16(const Unit*& src, const Unit* end,
                                  unsigned long& ch) {
  ch = UnitValue(*src);
  if (IsHighSurrogate(ch)) {
    if (end - src < 2) return sourceExhausted;
    const unsigned long low = UnitValue(src[1]);
    if (!IsLowSurrogate(low)) {
      ++src;
      return sourceUnpairedSurrogate;
    }
    ch = ((ch - kSurHighStart) << 10) + (low - kSurLowStart) + 0x10000;
    src += 2;
    return conversionOK;
  }
  ++src;
  if (IsLowSurrogate(ch)) return sourceUnpairedSurrogate;
  if (IsNonCharacter(ch)) return sourceNonCharacter;
  return conversionOK;
}

// Decodes the sequence at s whose lead announces `extra` trailing bytes
// (all of them present).  True, with the value in ch, when the sequence is
// well-formed UTF-8: U+0000 to U+10FFFF, no surrogate, no overlong form.
// The bytes are accumulated and offsetsFromUTF8 subtracted; the shortest
// value each length may carry then rules out overlong forms.
inline bool DecodeUtf8(const unsigned char* s, int extra, unsigned long& ch) {
  const auto continues = [s](int i) { return (s[i] & 0xC0) == 0x80; };
  switch (extra) {
    case 0:
      ch = s[0];
      return ch < 0x80;  // a continuation byte cannot lead
    case 1:
      if (!continues(1)) return false;
      ch = (static_cast<unsigned long>(s[0]) << 6) + s[1] - offsetsFromUTF8[1];
      return ch >= 0x80;
    case 2:
      if (!continues(1) || !continues(2)) return false;
      ch = (static_cast<unsigned long>(s[0]) << 12) +
           (static_cast<unsigned long>(s[1]) << 6) + s[2] - offsetsFromUTF8[2];
      return ch >= 0x800 && !IsSurrogate(ch);
    case 3:
      if (!continues(1) || !continues(2) || !continues(3)) return false;
      ch = (static_cast<unsigned long>(s[0]) << 18) +
           (static_cast<unsigned long>(s[1]) << 12) +
           (static_cast<unsigned long>(s[2]) << 6) + s[3] - offsetsFromUTF8[3];
      return ch >= 0x10000 && ch <= kMaxUtf16;
    default:
      return false;  // five- and six-byte forms
  }
}

// Length of the UTF-8 form of ch (at most kMaxSixByte).
inline int Utf8Length(unsigned long ch) {
  if (ch < 0x80) return 1;
  if (ch < 0x800) return 2;
  if (ch < 0x10000) return 3;
  if (ch < 0x200000) return 4;
  if (ch < 0x4000000) return 5;
  return 6;
}

// Writes the UTF-8 sequence of value, length bytes long, backwards from
// out + length.
inline void WriteUtf8(unsigned long value, int length, unsigned char* out) {
  unsigned char* p = out + length;
  switch (length) {
    case 6:
      *--p = static_cast<unsigned char>((value | 0x80) & 0xBF);
      value >>= 6;
      [[fallthrough]];
    case 5:
      *--p = static_cast<unsigned char>((value | 0x80) & 0xBF);
      value >>= 6;
      [[fallthrough]];
    case 4:
      *--p = static_cast<unsigned char>((value | 0x80) & 0xBF);
      value >>= 6;
      [[fallthrough]];
    case 3:
      *--p = static_cast<unsigned char>((value | 0x80) & 0xBF);
      value >>= 6;
      [[fallthrough]];
    case 2:
      *--p = static_cast<unsigned char>((value | 0x80) & 0xBF);
      value >>= 6;
      [[fallthrough]];
    case 1:
      *--p = static_cast<unsigned char>(value | firstByteMark[length]);
  }
}

// a when flag is 1, b when it is 0, without a branch.
inline unsigned long Select(unsigned long flag, unsigned long a,
                            unsigned long b) {
  return b ^ ((a ^ b) & (0 - flag));
}

// A value that converts as it is into UTF-8 or UTF-16: up to U+10FFFF, no
// surrogate, no non-character.  (The tests are added, not chained, so
// that a compiler keeps them free of branches.)
inline bool IsPlainScalar(unsigned long u) {
  return (static_cast<unsigned>(u > kMaxUtf16) +
          static_cast<unsigned>(u - kSurHighStart < 0x800) +
          static_cast<unsigned>(u - 0xFFFE < 2)) == 0;
}

// Writes ch (at most U+10FFFF) as UTF-8 at dst without a branch on its
// length, and returns the length.  The continuation bytes are stored
// first, each at its place or, when the sequence is shorter, over the
// lead's place, and the lead last: exactly the sequence's bytes change.
inline int StoreUtf8(unsigned long ch, unsigned char* dst) {
  static constexpr unsigned char kShift[5] = {0, 0, 6, 12, 18};
  const int length = 1 + (ch >= 0x80) + (ch >= 0x800) + (ch >= 0x10000);
  dst[length >> 2] = static_cast<unsigned char>(0x80 | ((ch >> 12) & 0x3F));
  dst[length - 2 + (length == 1)] =
      static_cast<unsigned char>(0x80 | ((ch >> 6) & 0x3F));
  dst[length - 1] = static_cast<unsigned char>(0x80 | (ch & 0x3F));
  dst[0] = static_cast<unsigned char>(firstByteMark[length] |
                                      (ch >> kShift[length]));
  return length;
}

// Writes ch as UTF-8 at dst and moves dst past it; false, writing nothing,
// when it does not fit before end.
inline bool PutUtf8(unsigned long ch, unsigned char*& dst, unsigned char* end) {
  const int length = Utf8Length(ch);
  if (end - dst < length) return false;
  WriteUtf8(ch, length, dst);
  dst += length;
  return true;
}

// Writes ch as one unit of dst's type likewise.
template <typename Out>
inline bool PutUnit(unsigned long ch, Out*& dst, Out* end) {
  if (dst >= end) return false;
  *dst++ = static_cast<Out>(ch);
  return true;
}

// Writes ch (at most U+10FFFF) as one or two UTF-16 units likewise.
template <typename Out>
inline bool PutUtf16(unsigned long ch, Out*& dst, Out* end) {
  if (ch <= 0xFFFF) {
    if (dst >= end) return false;
    *dst++ = static_cast<Out>(ch);
    return true;
  }
  if (end - dst < 2) return false;
  ch -= 0x10000;
  *dst++ = static_cast<Out>((ch >> 10) + kSurHighStart);
  *dst++ = static_cast<Out>((ch & 0x3FF) + kSurLowStart);
  return true;
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF_TABLES_H_
