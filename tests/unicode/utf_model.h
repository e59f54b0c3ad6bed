// A reference model of the conversion routines, written to be read rather
// than to be fast: one character at a time, straight from the rules, with
// well-formed UTF-8 taken from the Unicode Standard's Table 3-7 as a table.
// Units of every encoding travel as unsigned long.  Each model returns the
// code, how many source units were consumed, the units written and the
// number of characters written; `room` is the target's size in units.
//
// Beside each model stands a runner that calls the routine the same way,
// so that tests and fuzz targets compare the two through one table, kRoutes.
#ifndef VELKCONF_TESTS_UNICODE_UTF_MODEL_H_
#define VELKCONF_TESTS_UNICODE_UTF_MODEL_H_

#include <cstddef>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "velkconf/convert_utf.h"

namespace model {

using Units = std::vector<unsigned long>;
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

struct Outcome {
  ConversionResult code = conversionOK;
  std::size_t consumed = 0;
  Units out;
  std::size_t chars = 0;
  std::string fault;  // set by the runners when a routine misbehaved
};

// r, stopped for code.
inline Outcome Stop(Outcome r, ConversionResult code) {
  r.code = code;
  return r;
}

inline bool IsHigh(unsigned long u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(unsigned long u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool IsSurrogate(unsigned long u) { return u >= 0xD800 && u <= 0xDFFF; }
inline bool IsNonChar(unsigned long u) { return u == 0xFFFE || u == 0xFFFF; }

// UTF-8 bytes of cp, in the old six-byte scheme (cp <= 0x7FFFFFFF).
inline Units Utf8Bytes(unsigned long cp) {
  const int n = cp < 0x80        ? 1
                : cp < 0x800     ? 2
                : cp < 0x10000   ? 3
                : cp < 0x200000  ? 4
                : cp < 0x4000000 ? 5
                                 : 6;
  static const unsigned long kLeadMark[7] = {0,    0x00, 0xC0, 0xE0,
                                             0xF0, 0xF8, 0xFC};
  Units bytes{kLeadMark[n] | (cp >> (6 * (n - 1)))};
  for (int k = n - 2; k >= 0; --k)
    bytes.push_back(0x80 | ((cp >> (6 * k)) & 0x3F));
  return bytes;
}

inline Units Utf16Units(unsigned long cp) {
  if (cp < 0x10000) return {cp};
  return {0xD800 + ((cp - 0x10000) >> 10), 0xDC00 + ((cp - 0x10000) & 0x3FF)};
}

// How many bytes a lead byte announces (lone continuation bytes: one).
inline std::size_t AnnouncedLength(unsigned long lead) {
  return lead < 0xC0   ? 1
         : lead < 0xE0 ? 2
         : lead < 0xF0 ? 3
         : lead < 0xF8 ? 4
         : lead < 0xFC ? 5
                       : 6;
}

// Table 3-7: well-formed UTF-8 byte sequences.
struct WellFormedRow {
  unsigned long lead_lo, lead_hi, second_lo, second_hi;
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
inline bool WellFormed(const unsigned long* s, std::size_t n) {
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

inline unsigned long Utf8Value(const unsigned long* s, std::size_t n) {
  static const unsigned long kLeadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  unsigned long cp = s[0] & kLeadBits[n];
  for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (s[k] & 0x3F);
  return cp;
}

inline bool IsLegalUtf8(const Units& in) {
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t n = AnnouncedLength(in[i]);
    if (i + n > in.size() || !WellFormed(&in[i], n)) return false;
    i += n;
  }
  return true;
}

// UTF-8 to UTF-16 (utf16 true) or UTF-32.
inline Outcome FromUtf8(const Units& in, bool strict, bool utf16,
                        std::size_t room = kNoLimit) {
  Outcome r;
  std::size_t& i = r.consumed;
  ConversionResult replaced = conversionOK;
  while (i < in.size()) {
    const std::size_t n = AnnouncedLength(in[i]);
    if (i + n > in.size()) return Stop(r, sourceExhausted);
    if (!WellFormed(&in[i], n)) {
      if (strict) return Stop(r, sourceIllegalSequence);
      if (r.out.size() >= room) return Stop(r, targetExhausted);
      r.out.push_back(0xFFFD);
      ++r.chars;
      replaced = sourceIllegalSequence;
      std::size_t j = i + 1;
      while (j < i + n && in[j] >= 0x80 && in[j] <= 0xBF) ++j;
      i = j;
      continue;
    }
    unsigned long cp = Utf8Value(&in[i], n);
    if (r.out.size() >= room) return Stop(r, targetExhausted);
    ConversionResult problem = conversionOK;
    if (IsNonChar(cp)) {
      if (strict) return Stop(r, sourceNonCharacter);
      problem = sourceNonCharacter;
      cp = 0xFFFD;
    }
    const Units units = utf16 ? Utf16Units(cp) : Units{cp};
    if (r.out.size() + units.size() > room) return Stop(r, targetExhausted);
    r.out.insert(r.out.end(), units.begin(), units.end());
    ++r.chars;
    i += n;
    if (problem != conversionOK) replaced = problem;
  }
  return Stop(r, replaced);
}

// One UTF-16 character at in[i]: its code point, units and problem.
struct Utf16Char {
  unsigned long cp;
  std::size_t units;
  ConversionResult
      problem;  // sourceExhausted, ...UnpairedSurrogate, ...NonCharacter
};
inline Utf16Char ReadUtf16(const Units& in, std::size_t i) {
  const unsigned long u = in[i];
  if (IsHigh(u)) {
    if (i + 1 == in.size()) return {u, 1, sourceExhausted};
    const unsigned long next = in[i + 1];
    if (IsLow(next))
      return {0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00), 2,
              conversionOK};
    return {u, 1, sourceUnpairedSurrogate};
  }
  if (IsLow(u)) return {u, 1, sourceUnpairedSurrogate};
  if (IsNonChar(u)) return {u, 1, sourceNonCharacter};
  return {u, 1, conversionOK};
}

// UTF-16 to UTF-8; stringForm raises the maximum from U+10FFFE to U+10FFFF.
inline Outcome Utf16ToUtf8(const Units& in, bool strict, bool stringForm,
                           std::size_t room = kNoLimit) {
  Outcome r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    Utf16Char c = ReadUtf16(in, i);
    if (c.problem == sourceExhausted) return Stop(r, sourceExhausted);
    if (c.problem == conversionOK &&
        c.cp > (stringForm ? 0x10FFFF : 0x10FFFE)) {
      c.problem = sourceIllegal;
    }
    if (c.problem != conversionOK) {
      if (strict) {
        if (c.problem == sourceIllegal) ++i;  // left at the low surrogate
        return Stop(r, c.problem);
      }
      c.cp = 0xFFFD;
    }
    const Units bytes = Utf8Bytes(c.cp);
    if (r.out.size() + bytes.size() > room) return Stop(r, targetExhausted);
    r.out.insert(r.out.end(), bytes.begin(), bytes.end());
    ++r.chars;
    i += c.units;
    if (c.problem != conversionOK) replaced = c.problem;
  }
  return Stop(r, replaced);
}

// UTF-16 to UTF-32: lenient mode passes U+FFFE and U+FFFF through.
inline Outcome Utf16ToUtf32(const Units& in, bool strict,
                            std::size_t room = kNoLimit) {
  Outcome r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    Utf16Char c = ReadUtf16(in, i);
    if (c.problem == sourceExhausted || (strict && c.problem != conversionOK))
      return Stop(r, c.problem);
    if (c.problem == sourceUnpairedSurrogate) c.cp = 0xFFFD;
    if (r.out.size() >= room) return Stop(r, targetExhausted);
    r.out.push_back(c.cp);
    ++r.chars;
    i += c.units;
    if (c.problem != conversionOK) replaced = c.problem;
  }
  return Stop(r, replaced);
}

// UTF-32 to UTF-16 (utf8 false, maximum U+10FFFF, else sourceOutOfRange)
// or to UTF-8 (maximum 0x7FFFFFFF, else sourceIllegal).  UTF-16 output
// tests for room before each unit is read; the UTF-8 string form replaces a
// high surrogate followed by a low one once.
inline Outcome FromUtf32(const Units& in, bool strict, bool utf8,
                         bool stringForm, std::size_t room = kNoLimit) {
  Outcome r;
  ConversionResult replaced = conversionOK;
  for (std::size_t& i = r.consumed; i < in.size();) {
    if (!utf8 && r.out.size() >= room) return Stop(r, targetExhausted);
    unsigned long cp = in[i];
    std::size_t units = 1;
    const ConversionResult problem =
        IsSurrogate(cp) ? sourceIllegal
        : IsNonChar(cp) ? sourceNonCharacter
        : cp > (utf8 ? 0x7FFFFFFFul : 0x10FFFFul)
            ? (utf8 ? sourceIllegal : sourceOutOfRange)
            : conversionOK;
    if (problem != conversionOK) {
      if (strict) return Stop(r, problem);
      if (utf8 && stringForm && IsHigh(cp) && i + 1 < in.size() &&
          IsLow(in[i + 1]))
        units = 2;
      cp = 0xFFFD;
    }
    const Units seq = utf8 ? Utf8Bytes(cp) : Utf16Units(cp);
    if (r.out.size() + seq.size() > room) return Stop(r, targetExhausted);
    r.out.insert(r.out.end(), seq.begin(), seq.end());
    ++r.chars;
    i += units;
    if (problem != conversionOK) replaced = problem;
  }
  return Stop(r, replaced);
}

// ---- Runners: the routines, called on Units and reported as an Outcome.

template <typename In, typename Out>
using BufferFn = ConversionResult (*)(const In**, const In*, Out**, Out*,
                                      ConversionFlags);
template <typename In, typename String>
using StringFn = ConversionResult (*)(const In**, const In*, String&,
                                      unsigned long*, ConversionFlags);

inline ConversionFlags Flags(bool strict) {
  return strict ? strictConversion : lenientConversion;
}

// A buffer form with `room` units of target.  Units past the room and past
// what the routine says it wrote must stay untouched.
template <typename In, typename Out, BufferFn<In, Out> Fn>
Outcome Buffer(const Units& units, bool strict, std::size_t room) {
  const std::vector<In> in(units.begin(), units.end());
  const Out kCanary = static_cast<Out>(0xA5A5A5A5A5A5A5A5ull);
  std::vector<Out> buffer(room + 4, kCanary);
  const In* src = in.data();
  Out* dst = buffer.data();
  Outcome r;
  r.code = Fn(&src, in.data() + in.size(), &dst, buffer.data() + room,
              Flags(strict));
  if (src < in.data() || src > in.data() + in.size() || dst < buffer.data() ||
      dst > buffer.data() + room) {
    r.fault = "position out of range";
    return r;
  }
  r.consumed = static_cast<std::size_t>(src - in.data());
  r.out.assign(buffer.data(), dst);
  for (const Out* p = dst; p != buffer.data() + buffer.size(); ++p) {
    if (*p != kCanary) r.fault = "written past the end";
  }
  return r;
}

// A string form appending to a string that already holds two units; they
// must stay in front.  The count is characters appended, or (for the
// UTF-32 template) the string's whole length.
template <typename In, typename String, typename Fn>
Outcome Append(Fn fn, const Units& units, bool strict, bool countsWholeLength) {
  using Char = typename String::value_type;
  const std::vector<In> in(units.begin(), units.end());
  const String kFront(2, static_cast<Char>('#'));
  String target = kFront;
  const In* src = in.data();
  unsigned long count = 12345;
  Outcome r;
  r.code = fn(&src, in.data() + in.size(), target, &count, Flags(strict));
  r.consumed = static_cast<std::size_t>(src - in.data());
  if (target.size() < 2 || target.compare(0, 2, kFront) != 0) {
    r.fault = "earlier contents lost";
    return r;
  }
  for (std::size_t k = 2; k < target.size(); ++k) {
    r.out.push_back(static_cast<std::make_unsigned_t<Char>>(target[k]));
  }
  r.chars = countsWholeLength ? count - 2 : count;
  if (countsWholeLength && count != target.size())
    r.fault = "count is not the whole length";
  return r;
}
template <typename In, typename String, StringFn<In, String> Fn>
Outcome StringForm(const Units& units, bool strict, std::size_t) {
  return Append<In, String>(Fn, units, strict, false);
}

// ---- Every routine beside its model.

// clang-format off
enum RouteId {
  k16to8, k16to8s, k8to16, k8to16s, k8to32, k16to32, k16to32t, k32to16, k32to16s, k32to8, k32to8s
};
// clang-format on
struct Route {
  const char* name;
  int from, to;     // unit widths in bits
  bool stringForm;  // no room; the character count is compared
  Outcome (*run)(const Units& in, bool strict, std::size_t room);
  Outcome (*model)(const Units& in, bool strict, std::size_t room);
};
using U8 = unsigned char;
using U16 = unsigned short;
using U32 = unsigned long;
using Str16 = std::basic_string<U16>;
// Each with its model (s: strict, r: room).
// clang-format off
inline const Route kRoutes[] = {
    {"ConvertUTF16toUTF8 (buffer)", 16, 8, false, Buffer<U16, U8, &ConvertUTF16toUTF8>,
     [](const Units& in, bool s, std::size_t r) { return Utf16ToUtf8(in, s, false, r); }},
    {"ConvertUTF16toUTF8 (string)", 16, 8, true, StringForm<U16, std::string, &ConvertUTF16toUTF8>,
     [](const Units& in, bool s, std::size_t) { return Utf16ToUtf8(in, s, true); }},
    {"ConvertUTF8toUTF16 (buffer)", 8, 16, false, Buffer<U8, U16, &ConvertUTF8toUTF16>,
     [](const Units& in, bool s, std::size_t r) { return FromUtf8(in, s, true, r); }},
    {"ConvertUTF8toUTF16 (string)", 8, 16, true, StringForm<U8, Str16, &ConvertUTF8toUTF16>,
     [](const Units& in, bool s, std::size_t) { return FromUtf8(in, s, true); }},
    {"ConvertUTF8toUTF32", 8, 32, false, Buffer<U8, U32, &ConvertUTF8toUTF32>,
     [](const Units& in, bool s, std::size_t r) { return FromUtf8(in, s, false, r); }},
    {"ConvertUTF16toUTF32 (buffer)", 16, 32, false, Buffer<U16, U32, &ConvertUTF16toUTF32>,
     [](const Units& in, bool s, std::size_t r) { return Utf16ToUtf32(in, s, r); }},
    {"ConvertUTF16toUTF32<wchar_t, unsigned long>", 16, 32, true,
     [](const Units& in, bool s, std::size_t) {
       return Append<U16, std::wstring>(&ConvertUTF16toUTF32<wchar_t, unsigned long>, in, s, true);
     },
     [](const Units& in, bool s, std::size_t) { return Utf16ToUtf32(in, s); }},
    {"ConvertUTF32toUTF16 (buffer)", 32, 16, false, Buffer<U32, U16, &ConvertUTF32toUTF16>,
     [](const Units& in, bool s, std::size_t r) { return FromUtf32(in, s, false, false, r); }},
    {"ConvertUTF32toUTF16 (string)", 32, 16, true, StringForm<U32, Str16, &ConvertUTF32toUTF16>,
     [](const Units& in, bool s, std::size_t) { return FromUtf32(in, s, false, true); }},
    {"ConvertUTF32toUTF8 (buffer)", 32, 8, false, Buffer<U32, U8, &ConvertUTF32toUTF8>,
     [](const Units& in, bool s, std::size_t r) { return FromUtf32(in, s, true, false, r); }},
    {"ConvertUTF32toUTF8 (string)", 32, 8, true, StringForm<U32, std::string, &ConvertUTF32toUTF8>,
     [](const Units& in, bool s, std::size_t) { return FromUtf32(in, s, true, true); }},
};
// clang-format on

// What differs between the model's outcome and the routine's ("" when
// nothing does).
inline std::string Differences(const Outcome& want, const Outcome& got,
                               bool compareChars) {
  std::string why = got.fault;
  if (want.code != got.code) why += " code";
  if (want.consumed != got.consumed) why += " consumed";
  if (want.out != got.out) why += " output";
  if (compareChars && want.chars != got.chars) why += " count";
  return why;
}

}  // namespace model

#endif  // VELKCONF_TESTS_UNICODE_UTF_MODEL_H_
