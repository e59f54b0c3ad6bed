// Differential checks of the conversion routines against the model, and
// seeded random inputs for them.
#ifndef VELKCONF_TESTS_UNICODE_UTF_HARNESS_H_
#define VELKCONF_TESTS_UNICODE_UTF_HARNESS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "unicode/utf_model.h"
#include "unicode/utf_runners.h"
#include "velkconf/convert_utf.h"

namespace harness {

template <typename Out>
void ExpectSame(const model::Outcome<Out>& want, const model::Outcome<Out>& got,
                bool compareChars, const std::string& what) {
  EXPECT_EQ(got.fault, "") << what;
  EXPECT_EQ(want.code, got.code) << what;
  EXPECT_EQ(want.consumed, got.consumed) << what;
  EXPECT_EQ(want.out, got.out) << what;
  if (compareChars) {
    EXPECT_EQ(want.chars, got.chars) << what;
  }
}

template <typename T>
std::string Hex(const std::vector<T>& v) {
  std::string s;
  char buf[24];
  for (T x : v) {
    snprintf(buf, sizeof buf, "%llX ", static_cast<unsigned long long>(x));
    s += buf;
  }
  return s;
}

// Compares a buffer form with its model in both modes, with a target of
// random size; model(in, strict, room) gives the model's outcome.
template <typename In, typename Out, typename Model, typename Gen>
void DiffBuffer(Gen& gen, BufferFn<In, Out> fn, Model model, const std::vector<In>& in) {
  for (bool strict : {true, false}) {
    const std::size_t room = gen.Room(model(in, strict, model::kNoLimit).out.size());
    ExpectSame(model(in, strict, room), Buffer(fn, in, strict, room), false,
               Hex(in) + (strict ? "strict" : "lenient") + " room " + std::to_string(room));
  }
}

// Compares a string form with its model in both modes.
template <typename In, typename String, typename Model>
void DiffString(StringFn<In, String> fn, Model model, const std::vector<In>& in) {
  for (bool strict : {true, false}) {
    const auto want = model(in, strict, model::kNoLimit);
    using Out = typename decltype(want.out)::value_type;
    ExpectSame(want, Append<Out>(fn, in, strict), true,
               Hex(in) + (strict ? "strict" : "lenient"));
  }
}

// Random inputs, mostly of the kinds that go wrong: surrogates,
// non-characters, overlong and cut-off sequences, values out of range.
class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  unsigned long Scalar() {
    static const unsigned long kPicks[] = {0x00, 0x41, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000,
                                           0xFFFD, 0xFFFE, 0xFFFF, 0x10000, 0x10FFFE, 0x10FFFF};
    switch (Below(4)) {
      case 0: return Below(0x80);
      case 1: return kPicks[Below(sizeof kPicks / sizeof kPicks[0])];
      case 2: return Below(0x10000);
      default: return Below(0x110000);
    }
  }

  std::vector<unsigned long> Utf32(std::size_t n) {
    static const unsigned long kOdd[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x110000, 0x1FFFFF,
                                         0x200000, 0x3FFFFFF, 0x4000000, 0x7FFFFFFF,
                                         0x80000000, 0xFFFFFFFF, 0x100000041, ~0UL};
    std::vector<unsigned long> v;
    while (v.size() < n) {
      if (Below(4) == 0) {
        v.push_back(kOdd[Below(sizeof kOdd / sizeof kOdd[0])]);
      } else if (Below(6) == 0) {  // a pair spelled as two UTF-32 units
        for (unsigned long u : model::Utf16Units(0x10000 + Below(0x100000))) v.push_back(u);
      } else {
        v.push_back(Scalar());
      }
    }
    return v;
  }

  std::vector<unsigned short> Utf16(std::size_t n) {
    std::vector<unsigned short> v;
    while (v.size() < n) {
      switch (Below(4)) {
        case 0: v.push_back(static_cast<unsigned short>(0xD800 + Below(0x800))); break;
        case 1: v.push_back(static_cast<unsigned short>(Below(2) ? 0xFFFE + Below(2) : Below(0x10000))); break;
        default:
          for (unsigned long u : model::Utf16Units(Scalar())) v.push_back(static_cast<unsigned short>(u));
      }
    }
    return v;
  }

  std::vector<unsigned char> Utf8(std::size_t n) {
    static const std::vector<unsigned char> kOdd[] = {
        {0xC0, 0x80}, {0xC1, 0xBF}, {0xE0, 0x80, 0x80}, {0xE0, 0x9F, 0xBF}, {0xED, 0xA0, 0x80},
        {0xED, 0xBF, 0xBF}, {0xF0, 0x80, 0x80, 0x80}, {0xF0, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80}, {0xF5, 0x80, 0x80, 0x80}, {0xF8, 0x88, 0x80, 0x80, 0x80},
        {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, {0xEF, 0xBF, 0xBE}, {0xEF, 0xBF, 0xBF}, {0x80},
        {0xBF}, {0xFE}, {0xFF}, {0xE2, 0x28, 0xA1}};
    std::vector<unsigned char> v;
    while (v.size() < n) {
      std::vector<unsigned char> piece =
          Below(4) == 0 ? kOdd[Below(sizeof kOdd / sizeof kOdd[0])]
                        : model::Utf8Bytes(Scalar());
      if (Below(8) == 0) piece.resize(Below(piece.size()) + 1);  // cut short
      v.insert(v.end(), piece.begin(), piece.end());
    }
    return v;
  }

  // A target size: often too small, sometimes exactly enough.
  std::size_t Room(std::size_t needed) {
    switch (Below(3)) {
      case 0: return needed;
      case 1: return Below(needed + 1);
      default: return needed + Below(4);
    }
  }

 private:
  std::mt19937 rng_;
};

}  // namespace harness

#endif  // VELKCONF_TESTS_UNICODE_UTF_HARNESS_H_
