// A reference model of the conversion routines, written to be read rather
// than to be fast: one character at a time, straight from the rules, with
// well-formed UTF-8 taken from the Unicode Standard's Table 3-7 as a table.
// Each model returns the code, how many source units were consumed, the
// units written and the number of characters written.  `room` is the
// target's size in units (buffer forms); the string forms have no limit.
#ifndef VELKCONF_TESTS_UNICODE_UTF_MODEL_H_
#define VELKCONF_TESTS_UNICODE_UTF_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "velkconf/convert_utf.h"

namespace model {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

template <typename Out>
struct Outcome {
  ConversionResult code = conversionOK;
  std::size_t consumed = 0;
  std::vector<Out> out;
  std::size_t chars = 0;
  std::string fault;  // set by the runners when a routine misbehaved
};

inline bool IsHigh(unsigned long u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(unsigned long u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool IsSurrogate(unsigned long u) { return u >= 0xD800 && u <= 0xDFFF; }
inline bool IsNonChar(unsigned long u) { return u == 0xFFFE || u == 0xFFFF; }

// UTF-8 bytes of cp, in the old six-byte scheme (cp <= 0x7FFFFFFF).
inline std::vector<unsigned char> Utf8Bytes(unsigned long cp) {
  int n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3
        : cp < 0x200000 ? 4 : cp < 0x4000000 ? 5 : 6;
  static const unsigned char kLeadMark[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  std::vector<unsigned char> bytes;
  bytes.push_back(static_cast<unsigned char>(kLeadMark[n] | (cp >> (6 * (n - 1)))));
  for (int k = n - 2; k >= 0; --k) {
    bytes.push_back(static_cast<unsigned char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
  }
  return bytes;
}

inline std::vector<unsigned long> Utf16Units(unsigned long cp) {
  if (cp < 0x10000) return {cp};
  return {0xD800 + ((cp - 0x10000) >> 10), 0xDC00 + ((cp - 0x10000) & 0x3FF)};
}

// How many bytes a lead byte announces (lone continuation bytes: one).
inline std::size_t AnnouncedLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  if (lead < 0xFC) return 5;
  return 6;
}

// Table 3-7: well-formed UTF-8 byte sequences.
struct WellFormedRow {
  unsigned char lead_lo, lead_hi, second_lo, second_hi;
  std::size_t length;
};
const WellFormedRow kTable37[] = {
    {0x00, 0x7F, 0x00, 0x00, 1}, {0xC2, 0xDF, 0x80, 0xBF, 2},
    {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
    {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4},
    {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// True when s[0, n) is one well-formed sequence.
inline bool WellFormed(const unsigned char* s, std::size_t n) {
  for (const WellFormedRow& row : kTable37) {
    if (s[0] < row.lead_lo || s[0] > row.lead_hi) continue;
    if (n != row.length) return false;
    if (n >= 2 && (s[1] < row.second_lo || s[1] > row.second_hi)) return false;
    for (std::size_t k = 2; k < n; ++k) {
      if (s[k] < 0x80 || s[k] > 0xBF) return false;
    }
    return true;
  }
  return false;
}

inline unsigned long Utf8Value(const unsigned char* s, std::size_t n) {
  static const unsigned char kLeadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  unsigned long cp = s[0] & kLeadBits[n];
  for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (s[k] & 0x3F);
  return cp;
}

inline bool IsLegalUtf8(const std::vector<unsigned char>& in) {
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t n = AnnouncedLength(in[i]);
    if (i + n > in.size() || !WellFormed(&in[i], n)) return false;
    i += n;
  }
  return true;
}

// UTF-8 to UTF-16 (utf16 true) or UTF-32.
template <typename Out>
Outcome<Out> FromUtf8(const std::vector<unsigned char>& in, bool strict,
                      bool utf16, std::size_t room = kNoLimit) {
  Outcome<Out> r;
  std::size_t& i = r.consumed;
  auto stop = [&](ConversionResult code) { r.code = code; return r; };
  ConversionResult replaced = conversionOK;
  while (i < in.size()) {
    const std::size_t n = AnnouncedLength(in[i]);
    if (i + n > in.size()) return stop(sourceExhausted);
    if (!WellFormed(&in[i], n)) {
      if (strict) return stop(sourceIllegalSequence);
      if (r.out.size() >= room) return stop(targetExhausted);
      r.out.push_back(0xFFFD);
      ++r.chars;
      replaced = sourceIllegalSequence;
      std::size_t j = i + 1;
      while (j < i + n && in[j] >= 0x80 && in[j] <= 0xBF) ++j;
      i = j;
      continue;
    }
    unsigned long cp = Utf8Value(&in[i], n);
    if (r.out.size() >= room) return stop(targetExhausted);
    ConversionResult problem = conversionOK;
    if (IsNonChar(cp)) {
      if (strict) return stop(sourceNonCharacter);
      problem = sourceNonCharacter;
      cp = 0xFFFD;
    }
    const std::vector<unsigned long> units =
        utf16 ? Utf16Units(cp) : std::vector<unsigned long>{cp};
    if (r.out.size() + units.size() > room) return stop(targetExhausted);
    r.out.insert(r.out.end(), units.begin(), units.end());
    ++r.chars;
    i += n;
    if (problem != conversionOK) replaced = problem;
  }
  return stop(replaced);
}

// One UTF-16 character at in[i]: its code point, units and problem.
struct Utf16Char {
  unsigned long cp;
  std::size_t units;
  ConversionResult problem;  // sourceExhausted, ...UnpairedSurrogate, ...NonCharacter
};
template <typename Unit>
Utf16Char ReadUtf16(const std::vector<Unit>& in, std::size_t i) {
  const unsigned long u = in[i];
  if (IsHigh(u)) {
    if (i + 1 == in.size()) return {u, 1, sourceExhausted};
    const unsigned long next = in[i + 1];
    if (IsLow(next)) return {0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00), 2, conversionOK};
    return {u, 1, sourceUnpairedSurrogate};
  }
  if (IsLow(u)) return {u, 1, sourceUnpairedSurrogate};
  if (IsNonChar(u)) return {u, 1, sourceNonCharacter};
  return {u, 1, conversionOK};
}

// UTF-16 to UTF-8; stringForm raises the maximum from U+10FFFE to U+10FFFF.
template <typename Unit>
Outcome<unsigned char> Utf16ToUtf8(const std::vector<Unit>& in, bool strict,
                                   bool stringForm, std::size_t room = kNoLimit) {
  Outcome<unsigned char> r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    Utf16Char c = ReadUtf16(in, i);
    if (c.problem == sourceExhausted) { r.code = sourceExhausted; return r; }
    if (c.problem == conversionOK && c.cp > (stringForm ? 0x10FFFF : 0x10FFFE)) {
      c.problem = sourceIllegal;
    }
    if (c.problem != conversionOK) {
      if (strict) {
        if (c.problem == sourceIllegal) ++i;  // left at the low surrogate
        r.code = c.problem;
        return r;
      }
      c.cp = 0xFFFD;
    }
    const std::vector<unsigned char> bytes = Utf8Bytes(c.cp);
    if (r.out.size() + bytes.size() > room) { r.code = targetExhausted; return r; }
    r.out.insert(r.out.end(), bytes.begin(), bytes.end());
    ++r.chars;
    i += c.units;
    if (c.problem != conversionOK) replaced = c.problem;
  }
  r.code = replaced;
  return r;
}

// UTF-16 to UTF-32: lenient mode passes U+FFFE and U+FFFF through.
inline Outcome<unsigned long> Utf16ToUtf32(const std::vector<unsigned short>& in,
                                           bool strict, std::size_t room = kNoLimit) {
  Outcome<unsigned long> r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    Utf16Char c = ReadUtf16(in, i);
    if (c.problem == sourceExhausted || (strict && c.problem != conversionOK)) {
      r.code = c.problem;
      return r;
    }
    if (c.problem == sourceUnpairedSurrogate) c.cp = 0xFFFD;
    if (r.out.size() >= room) { r.code = targetExhausted; return r; }
    r.out.push_back(c.cp);
    ++r.chars;
    i += c.units;
    if (c.problem != conversionOK) replaced = c.problem;
  }
  r.code = replaced;
  return r;
}

// What is wrong with a UTF-32 value, given the largest allowed value and
// the code for values above it.
inline ConversionResult Utf32Problem(unsigned long v, unsigned long max,
                                     ConversionResult above) {
  if (IsSurrogate(v)) return sourceIllegal;
  if (IsNonChar(v)) return sourceNonCharacter;
  if (v > max) return above;
  return conversionOK;
}

// UTF-32 to UTF-16 (utf8 false, maximum U+10FFFF) or to UTF-8 (maximum
// 0x7FFFFFFF).  UTF-16 output tests for room before each unit is read; the
// UTF-8 string form replaces a high surrogate followed by a low one once.
template <typename Out>
Outcome<Out> FromUtf32(const std::vector<unsigned long>& in, bool strict,
                       bool utf8, bool stringForm, std::size_t room = kNoLimit) {
  Outcome<Out> r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    if (!utf8 && r.out.size() >= room) { r.code = targetExhausted; return r; }
    unsigned long cp = in[i];
    std::size_t units = 1;
    const ConversionResult problem = utf8 ? Utf32Problem(cp, 0x7FFFFFFF, sourceIllegal)
                                          : Utf32Problem(cp, 0x10FFFF, sourceOutOfRange);
    if (problem != conversionOK) {
      if (strict) { r.code = problem; return r; }
      if (utf8 && stringForm && IsHigh(cp) && i + 1 < in.size() && IsLow(in[i + 1])) {
        units = 2;
      }
      cp = 0xFFFD;
    }
    std::vector<Out> seq;
    if (utf8) {
      for (unsigned char b : Utf8Bytes(cp)) seq.push_back(b);
    } else {
      for (unsigned long u : Utf16Units(cp)) seq.push_back(static_cast<Out>(u));
    }
    if (r.out.size() + seq.size() > room) { r.code = targetExhausted; return r; }
    r.out.insert(r.out.end(), seq.begin(), seq.end());
    ++r.chars;
    i += units;
    if (problem != conversionOK) replaced = problem;
  }
  r.code = replaced;
  return r;
}

}  // namespace model

#endif  // VELKCONF_TESTS_UNICODE_UTF_MODEL_H_
