// The conversion routines: named cases (Table 3-7 boundaries among them),
// exhaustive loops over short inputs, every scalar value through every
// direction, and seeded random inputs, each routine against its model.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "unicode/kernels_to_utf8.h"
#include "unicode/utf16_to_utf8.h"
#include "unicode/utf8_validate.h"
#include "unicode/utf_model.h"

namespace {

using namespace model;  // the route names

std::string Hex(const Units& v) {
  std::string s;
  char buf[24];
  for (unsigned long x : v) s += (snprintf(buf, sizeof buf, "%lX ", x), buf);
  return s;
}

// The routine and its model, one mode, `room` units of target.
::testing::AssertionResult Agrees(const Route& r, const Units& in, bool strict,
                                  std::size_t room) {
  if (r.stringForm) room = kNoLimit;
  const std::string why = Differences(r.model(in, strict, room),
                                      r.run(in, strict, room), r.stringForm);
  if (why.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << r.name << (strict ? " strict" : " lenient") << " room " << room
         << " on " << Hex(in) << ":" << why;
}

// Random inputs, mostly of the kinds that go wrong: surrogates,
// non-characters, overlong and cut-off sequences, values out of range.
class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}
  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  template <typename T, std::size_t N>
  const T& Pick(const T (&options)[N]) {
    return options[Below(N)];
  }

  unsigned long Scalar() {
    static const unsigned long kPicks[] = {
        0x00,   0x41,   0x7F,   0x80,   0x7FF,   0x800,    0xD7FF,
        0xE000, 0xFFFD, 0xFFFE, 0xFFFF, 0x10000, 0x10FFFE, 0x10FFFF};
    const std::size_t kind = Below(4);
    return kind == 0   ? Below(0x80)
           : kind == 1 ? Pick(kPicks)
                       : Below(kind == 2 ? 0x10000 : 0x110000);
  }
  // About n units of the given width (8, 16 or 32 bits).
  Units Text(int width, std::size_t n) {
    static const unsigned long kOdd32[] = {
        0xD800,     0xDBFF,     0xDC00,      0xDFFF,    0x110000,
        0x1FFFFF,   0x200000,   0x3FFFFFF,   0x4000000, 0x7FFFFFFF,
        0x80000000, 0xFFFFFFFF, 0x100000041, ~0UL};
    // clang-format off
    static const Units kOdd8[] = {
        {0xC0, 0x80}, {0xC1, 0xBF}, {0xE0, 0x80, 0x80}, {0xE0, 0x9F, 0xBF}, {0xED, 0xA0, 0x80},
        {0xED, 0xBF, 0xBF}, {0xF0, 0x80, 0x80, 0x80}, {0xF0, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80}, {0xF5, 0x80, 0x80, 0x80}, {0xF8, 0x88, 0x80, 0x80, 0x80},
        {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, {0xEF, 0xBF, 0xBE}, {0xEF, 0xBF, 0xBF},
        {0x80}, {0xBF}, {0xFE}, {0xFF}, {0xE2, 0x28, 0xA1}};
    // clang-format on
    Units v;
    while (v.size() < n) {
      Units piece;
      if (width == 32) {
        piece = Below(4) == 0 ? Units{Pick(kOdd32)}
                : Below(6) == 0
                    ? Utf16Units(0x10000 + Below(0x100000))  // a pair as UTF-32
                    : Units{Scalar()};
      } else if (width == 16) {
        const std::size_t kind = Below(4);
        piece = kind == 0 ? Units{0xD800 + Below(0x800)}
                : kind == 1
                    ? Units{Below(2) ? 0xFFFE + Below(2) : Below(0x10000)}
                    : Utf16Units(Scalar());
      } else {
        piece = Below(4) == 0 ? Pick(kOdd8) : Utf8Bytes(Scalar());
        if (Below(8) == 0) piece.resize(Below(piece.size()) + 1);  // cut short
      }
      v.insert(v.end(), piece.begin(), piece.end());
    }
    return v;
  }
  // Runs of characters of one UTF-8 length, some with ASCII mixed in (the
  // routines convert such runs by groups), now and then an odd piece.
  Units Runs(int width) {
    static const unsigned long kFirst[] = {0, 0x80, 0x800, 0x10000};
    static const unsigned long kSpan[] = {0x80, 0x780, 0xF800, 0x100000};
    Units v;
    for (std::size_t runs = Below(5) + 1; runs > 0; --runs) {
      const std::size_t length = Below(4);
      const bool ascii = Below(3) == 0;
      for (std::size_t n = Below(40) + 1; n > 0; --n) {
        unsigned long cp = ascii && Below(3) == 0
                               ? Below(0x80)
                               : kFirst[length] + Below(kSpan[length]);
        if (IsSurrogate(cp)) cp -= 0x800;
        const Units piece = Below(24) == 0 ? Text(width, 1)
                            : width == 32  ? Units{cp}
                            : width == 16  ? Utf16Units(cp)
                                           : Utf8Bytes(cp);
        v.insert(v.end(), piece.begin(), piece.end());
      }
    }
    return v;
  }
  // A target size: often too small, sometimes exactly enough.
  std::size_t Room(std::size_t needed) {
    const std::size_t kind = Below(3);
    return kind == 0   ? needed
           : kind == 1 ? Below(needed + 1)
                       : needed + Below(4);
  }
  // Both modes, with a random room for the buffer forms.
  void Compare(RouteId id, const Units& in) {
    for (bool strict : {true, false}) {
      const std::size_t room =
          Room(kRoutes[id].model(in, strict, kNoLimit).out.size());
      ASSERT_TRUE(Agrees(kRoutes[id], in, strict, room));
    }
  }
  // Every routine reading this width; after a first failure, nothing more.
  void CompareAll(int width, const Units& in) {
    if (::testing::Test::HasFailure()) return;
    for (const Route& r : kRoutes) {
      if (r.from == width) Compare(static_cast<RouteId>(&r - kRoutes), in);
    }
  }

 private:
  std::mt19937 rng_;
};

struct Case {
  const char* name;
  std::vector<RouteId> routes;
  Units in;
  bool strict;
  ConversionResult code;
  std::size_t consumed;
  Units out;
  std::size_t room = 16;
};

const unsigned long R = 0xFFFD;
const Units kR8 = {0xEF, 0xBF, 0xBD};  // U+FFFD in UTF-8
#define R8 0xEF, 0xBF, 0xBD
const std::vector<RouteId> k16_8 = {k16to8, k16to8s}, k8_16 = {k8to16, k8to16s},
                           k16_32 = {k16to32, k16to32t},
                           k32_8 = {k32to8, k32to8s},
                           k32_16 = {k32to16, k32to16s};
const ConversionResult OK = conversionOK, Cut = sourceExhausted,
                       Room = targetExhausted,
                       Unpaired = sourceUnpairedSurrogate,
                       NonChar = sourceNonCharacter, Illegal = sourceIllegal,
                       IllegalSeq = sourceIllegalSequence,
                       Range = sourceOutOfRange;

// clang-format off

const Case kCases[] = {
    // UTF-16 to UTF-8.
    {"empty", k16_8, {}, true, OK, 0, {}},
    {"pair", k16_8, {0xD83D, 0xDE00}, true, OK, 2, {0xF0, 0x9F, 0x98, 0x80}},
    {"high at end", k16_8, {0x41, 0xD800}, false, Cut, 1, {0x41}},
    {"unpaired high, lenient", k16_8, {0xD800, 0x41}, false, Unpaired, 2, {R8, 0x41}},
    {"unpaired high, strict", k16_8, {0xD800, 0x41}, true, Unpaired, 0, {}},
    {"lone low, lenient", k16_8, {0xDC00}, false, Unpaired, 1, kR8},
    {"lone low, strict", k16_8, {0x41, 0xDC00}, true, Unpaired, 1, {0x41}},
    {"high high low", k16_8, {0xD800, 0xD800, 0xDC00}, false, Unpaired, 3, {R8, 0xF0, 0x90, 0x80,
     0x80}},
    {"FFFF lenient", k16_8, {0xFFFF}, false, NonChar, 1, kR8},
    {"FFFE strict", k16_8, {0x41, 0xFFFE}, true, NonChar, 1, {0x41}},
    {"FFFD is fine", k16_8, {0xFFFD}, true, OK, 1, kR8},
    {"later code wins", k16_8, {0xD800, 0x41, 0xFFFE}, false, NonChar, 3, {R8, 0x41, R8}},
    {"10FFFF, string form", {k16to8s}, {0xDBFF, 0xDFFF}, true, OK, 2, {0xF4, 0x8F, 0xBF, 0xBF}},
    {"10FFFF, buffer form, lenient", {k16to8}, {0xDBFF, 0xDFFF}, false, Illegal, 2, kR8},
    {"10FFFF, buffer form, strict", {k16to8}, {0x41, 0xDBFF, 0xDFFF}, true, Illegal, 2, {0x41}},
    {"10FFFE, buffer form", {k16to8}, {0xDBFF, 0xDFFE}, true, OK, 2, {0xF4, 0x8F, 0xBF, 0xBE}},
    {"exact room", {k16to8}, {0xE9}, true, OK, 1, {0xC3, 0xA9}, 2},
    {"room short", {k16to8}, {0xE9}, true, Room, 0, {}, 1},
    {"room short for a pair", {k16to8}, {0x41, 0xD83D, 0xDE00}, true, Room, 1, {0x41}, 4},
    {"room beats replacement", {k16to8}, {0xD800, 0x41}, false, Room, 0, {}, 2},
    {"source beats room", {k16to8}, {0xD800, 0x41}, true, Unpaired, 0, {}, 0},
    // UTF-8 to UTF-16 and UTF-32.
    {"emoji", k8_16, {0xF0, 0x9F, 0x98, 0x80}, true, OK, 4, {0xD83D, 0xDE00}},
    {"cut lead, lenient", k8_16, {0x41, 0xC3}, false, Cut, 1, {0x41}},
    {"cut before legality", k8_16, {0xE2, 0x28}, false, Cut, 0, {}},
    {"overlong, strict", k8_16, {0xC0, 0x80}, true, IllegalSeq, 0, {}},
    {"overlong, lenient", k8_16, {0xC0, 0x80, 0x41}, false, IllegalSeq, 3, {R, 0x41}},
    {"broken lead keeps ASCII", k8_16, {0xE2, 0x28, 0xA1}, false, IllegalSeq, 3, {R, 0x28, R}},
    {"encoded surrogate", k8_16, {0xED, 0xA0, 0x80}, true, IllegalSeq, 0, {}},
    {"nonchar, strict", k8_16, {0x41, 0xEF, 0xBF, 0xBF}, true, NonChar, 1, {0x41}},
    {"nonchar, lenient", k8_16, {0xEF, 0xBF, 0xBE}, false, NonChar, 3, {R}},
    {"above 10FFFF", k8_16, {0xF4, 0x90, 0x80, 0x80}, true, IllegalSeq, 0, {}},
    {"five bytes, one R", k8_16, {0xF8, 0x88, 0x80, 0x80, 0x80}, false, IllegalSeq, 5, {R}},
    {"lone continuations", k8_16, {0x80, 0xBF}, false, IllegalSeq, 2, {R, R}},
    {"later code wins", k8_16, {0xC0, 0xEF, 0xBF, 0xBF}, false, NonChar, 4, {R, R}},
    {"3-7: lowest two-byte", k8_16, {0xC2, 0x80, 0xDF, 0xBF}, true, OK, 4, {0x80, 0x7FF}},
    {"3-7: C1 overlong", k8_16, {0xC1, 0xBF}, true, IllegalSeq, 0, {}},
    {"3-7: E0", k8_16, {0xE0, 0xA0, 0x80, 0xE0, 0x9F, 0xBF}, true, IllegalSeq, 3, {0x800}},
    {"3-7: ED", k8_16, {0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80}, true, OK, 6, {0xD7FF, 0xE000}},
    {"3-7: F0", k8_16, {0xF0, 0x90, 0x80, 0x80, 0xF0, 0x8F, 0xBF, 0xBF}, true, IllegalSeq, 4,
     {0xD800, 0xDC00}},
    {"3-7: F4", k8_16, {0xF4, 0x8F, 0xBF, 0xBF}, true, OK, 4, {0xDBFF, 0xDFFF}},
    {"3-7: F5", k8_16, {0xF5, 0x80, 0x80, 0x80}, true, IllegalSeq, 0, {}},
    {"pair needs two units", {k8to16}, {0x41, 0xF0, 0x9F, 0x98, 0x80}, true, Room, 1, {0x41}, 2},
    {"replacement needs room", {k8to16}, {0xC0, 0x80}, false, Room, 0, {}, 0},
    {"illegal beats room", {k8to16}, {0xC0, 0x80}, true, IllegalSeq, 0, {}, 0},
    {"room before nonchar", {k8to16}, {0xEF, 0xBF, 0xBF}, true, Room, 0, {}, 0},
    {"one unit per character", {k8to32}, {0x41, 0xF0, 0x9F, 0x98, 0x80, 0xC3, 0xA9}, true, Room, 5,
     {0x41, 0x1F600}, 2},
    // UTF-16 to UTF-32.
    {"pair", k16_32, {0x41, 0xD83D, 0xDE00}, true, OK, 3, {0x41, 0x1F600}},
    {"empty", k16_32, {}, true, OK, 0, {}},
    {"FFFF passes through", k16_32, {0xFFFF, 0x41}, false, NonChar, 2, {0xFFFF, 0x41}},
    {"FFFE strict", k16_32, {0x41, 0xFFFE}, true, NonChar, 1, {0x41}},
    {"unpaired, lenient", k16_32, {0xD800, 0x41}, false, Unpaired, 2, {R, 0x41}},
    {"unpaired, strict", k16_32, {0xDFFF}, true, Unpaired, 0, {}},
    {"high at end, lenient", k16_32, {0x41, 0xDBFF}, false, Cut, 1, {0x41}},
    {"no room for a pair", {k16to32}, {0x41, 0xD83D, 0xDE00}, true, Room, 1, {0x41}, 1},
    {"source beats room", {k16to32}, {0xDC00}, true, Unpaired, 0, {}, 0},
    {"room beats replacement", {k16to32}, {0xDC00}, false, Room, 0, {}, 0},
    // UTF-32 to UTF-8 and UTF-16.
    {"above Unicode", k32_8, {0x110000}, true, OK, 1, {0xF4, 0x90, 0x80, 0x80}},
    {"six bytes", k32_8, {0x7FFFFFFF}, true, OK, 1, {0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}},
    {"five bytes", k32_8, {0x3FFFFFF}, true, OK, 1, {0xFB, 0xBF, 0xBF, 0xBF, 0xBF}},
    {"too big, strict", k32_8, {0x41, 0x80000000}, true, Illegal, 1, {0x41}},
    {"too big, lenient", k32_8, {0x80000000}, false, Illegal, 1, kR8},
    {"beyond 32 bits", k32_8, {0x100000041}, false, Illegal, 1, kR8},
    {"pair, string form", {k32to8s}, {0xD800, 0xDC00}, false, Illegal, 2, kR8},
    {"pair, buffer form", {k32to8}, {0xD800, 0xDC00}, false, Illegal, 2, {R8, R8}},
    {"pair, strict", k32_8, {0xD800, 0xDC00}, true, Illegal, 0, {}},
    {"lone low", k32_8, {0xDC00}, false, Illegal, 1, kR8},
    {"high at end", k32_8, {0xD800}, false, Illegal, 1, kR8},
    {"nonchar", k32_8, {0xFFFE}, false, NonChar, 1, kR8},
    {"room short", {k32to8}, {0x41, 0x10000}, true, Room, 1, {0x41}, 4},
    {"source beats room", {k32to8}, {0x80000000}, true, Illegal, 0, {}, 0},
    {"to UTF-16: out of range", k32_16, {0x41, 0x110000}, true, Range, 1, {0x41}},
    {"to UTF-16: surrogate", k32_16, {0xDC00}, true, Illegal, 0, {}},
    {"to UTF-16: huge, lenient", k32_16, {~0UL, 0x41}, false, Range, 2, {R, 0x41}},
    {"to UTF-16: pair needs two", {k32to16}, {0x41, 0x10000}, true, Room, 1, {0x41}, 2},
    {"to UTF-16: room before source", {k32to16}, {0x41, 0xDC00}, true, Room, 1, {0x41}, 1},
};

#undef R8
// clang-format on

TEST(Conversions, NamedCases) {
  for (const Case& c : kCases) {
    for (RouteId id : c.routes) {
      SCOPED_TRACE(std::string(c.name) + " through " + kRoutes[id].name);
      const Outcome got = kRoutes[id].run(c.in, c.strict, c.room);
      EXPECT_EQ(got.code, c.code);
      EXPECT_EQ(got.consumed, c.consumed);
      EXPECT_EQ(got.out, c.out);
      EXPECT_TRUE(
          Agrees(kRoutes[id], c.in, c.strict, c.room));  // also the count
    }
  }
  const struct {
    Units in;
    bool legal;
  } kLegal[] = {{{}, true},
                {{0x61, 0xC3, 0xA9}, true},
                {{0xC3}, false},
                {{0xC3, 0xA9, 0x80}, false},
                {{0xF5, 0x80, 0x80, 0x80}, false},
                {{0xF4, 0x8F, 0xBF, 0xBF}, true},
                {{0xEF, 0xBF, 0xBF}, true}};
  for (const auto& c : kLegal) {
    const std::vector<unsigned char> bytes(c.in.begin(), c.in.end());
    EXPECT_EQ(isLegalUTF8Sequence(bytes.data(), bytes.data() + bytes.size()),
              c.legal)
        << Hex(c.in);
    EXPECT_EQ(IsLegalUtf8(c.in), c.legal) << Hex(c.in);
  }
  // The parser's zero-terminated XMLCh text goes through the same routine.
  EXPECT_EQ(velk::Utf16ZToUtf8<char16_t>(nullptr), "");
  EXPECT_EQ(velk::Utf16ZToUtf8<char16_t>(u"caf\u00E9 \xD800!"),
            "caf\xC3\xA9 \xEF\xBF\xBD!");
}

// Every UTF-16 unit alone, before an 'A' and after a high surrogate (every
// pair goes through every direction in EveryScalarThroughEveryDirection).
TEST(Conversions, EveryUtf16Unit) {
  Generator gen(1);
  for (unsigned long u = 0; u <= 0xFFFF; ++u) {
    for (const Units& in : {Units{u}, Units{u, 0x41}, Units{0xD800, u}})
      gen.CompareAll(16, in);
  }
}

// Every one- and two-byte input, and three- and four-byte inputs whose lead
// announces that length, with the other bytes drawn from every class that
// Table 3-7 tells apart.
TEST(Conversions, EveryShortUtf8SequenceByClass) {
  const unsigned long kClasses[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                    0xA0, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0,
                                    0xED, 0xF0, 0xF4, 0xF8, 0xFF};
  Generator gen(2);
  auto check = [&gen](const Units& in) {
    gen.CompareAll(8, in);
    const std::vector<unsigned char> bytes(in.begin(), in.end());
    ASSERT_EQ(isLegalUTF8Sequence(bytes.data(), bytes.data() + bytes.size()),
              IsLegalUtf8(in))
        << Hex(in);
  };
  for (unsigned long a = 0; a < 256; ++a) {
    check({a});
    for (unsigned long b = 0; b < 256; ++b) check({a, b});
  }
  for (unsigned long a = 0xE0; a < 0x100; ++a) {
    for (unsigned long b : kClasses) {
      for (unsigned long c : kClasses) {
        check({a, b, c});
        if (a >= 0xF0) {
          for (unsigned long d : kClasses) check({a, b, c, d});
        }
      }
    }
  }
}

// The tests below run once with every kernel the processor has, and once
// more for each smaller set of kernels it has (AVX-512 left out, then
// SSSE3 too).
#if defined(VELK_UTF_SSE2)
using KernelSet = velk::KernelSet;
const KernelSet kKernelSets[] = {KernelSet::kAvx512, KernelSet::kSsse3,
                                 KernelSet::kSse2};
const char* const kKernelSetNames[] = {"Sse2", "Ssse3", "AllKernels"};
#else
enum class KernelSet { kPortable };
const KernelSet kKernelSets[] = {KernelSet::kPortable};
const char* const kKernelSetNames[] = {"Portable"};
#endif
class EveryKernel : public ::testing::TestWithParam<KernelSet> {
 protected:
#if defined(VELK_UTF_SSE2)
  void SetUp() override { velk::LimitKernels(GetParam()); }
  void TearDown() override { velk::LimitKernels(KernelSet::kAvx512); }
#endif
};
INSTANTIATE_TEST_SUITE_P(Conversions, EveryKernel,
                         ::testing::ValuesIn(kKernelSets),
                         [](const ::testing::TestParamInfo<KernelSet>& info) {
                           return std::string(
                               kKernelSetNames[static_cast<int>(info.param)]);
                         });

// Every scalar value (but the non-characters) as one text, through every
// routine, strict: each must give the other encoding's text exactly.
TEST_P(EveryKernel, EveryScalarThroughEveryDirection) {
  std::map<int, Units> text;
  std::size_t scalars = 0;
  for (unsigned long cp = 0; cp <= 0x10FFFF; ++cp) {
    if (IsSurrogate(cp) || IsNonChar(cp)) continue;
    ++scalars;
    text[32].push_back(cp);
    for (unsigned long u : Utf8Bytes(cp)) text[8].push_back(u);
    for (unsigned long u : Utf16Units(cp)) text[16].push_back(u);
  }
  for (const Route& r : kRoutes) {
    SCOPED_TRACE(r.name);
    Units in = text[r.from], want = text[r.to];
    if (&r == &kRoutes[k16to8]) {  // the buffer form stops short of U+10FFFF
      in.resize(in.size() - 2);
      want.resize(want.size() - 4);
    }
    const Outcome got = r.run(in, true, want.size());
    EXPECT_EQ(got.fault, "");
    EXPECT_EQ(got.code, conversionOK);
    EXPECT_EQ(got.consumed, in.size());
    EXPECT_TRUE(got.out == want);
    EXPECT_EQ(got.chars, r.stringForm ? scalars : 0);
  }
  const std::vector<unsigned char> bytes(text[8].begin(), text[8].end());
  EXPECT_TRUE(isLegalUTF8Sequence(bytes.data(), bytes.data() + bytes.size()));
}

// Short random texts, and long mostly-ASCII ones that cross the routines'
// internal blocks and chunks at every alignment.
TEST_P(EveryKernel, RandomAgainstModel) {
  Generator gen(20240516);
  for (int width : {8, 16, 32}) {
    SCOPED_TRACE(width);
    for (int i = 0; i < 3000; ++i)
      gen.CompareAll(width, gen.Text(width, gen.Below(48)));
    for (int i = 0; i < 30; ++i) {
      Units in(5000 + gen.Below(64), 0x61);
      for (int k = 0; k < 30; ++k) {
        const Units piece = gen.Text(width, 1);
        std::copy(piece.begin(), piece.end(),
                  in.begin() + gen.Below(in.size() - 8));
      }
      gen.CompareAll(width, in);
    }
  }
}

// Runs of one kind of character, every routine at every room up to what
// the whole text needs: the group conversions start, stop and hand over at
// every position, against every end of the target.  First, runs of every
// length cut short by an error, where a strict conversion stops right
// after the last group it converted.
TEST_P(EveryKernel, RunsAgainstModelAtEveryRoom) {
  // The k-th character of a run of one kind: ASCII, two-byte, three-byte,
  // emoji, or ASCII with emoji between.
  const auto character = [](int kind, std::size_t k) -> unsigned long {
    const unsigned long kFirst[] = {0x41, 0xE9, 0x4E2D, 0x1F600};
    return kind < 4 ? kFirst[kind] + k % 7
                    : (k % 3 == 1 ? 0x1F600 : 0x41) + k % 5;
  };
  const std::map<int, Units> kError = {
      {8, {0x80}}, {16, {0xDC00}}, {32, {0xD800}}};
  for (const Route& r : kRoutes) {
    for (int kind = 0; kind < 5; ++kind) {
      for (std::size_t length = 1; length <= 40; ++length) {
        Units in;
        for (std::size_t k = 0; k < length; ++k) {
          const unsigned long cp = character(kind, k);
          const Units piece = r.from == 32   ? Units{cp}
                              : r.from == 16 ? Utf16Units(cp)
                                             : Utf8Bytes(cp);
          in.insert(in.end(), piece.begin(), piece.end());
        }
        in.insert(in.end(), kError.at(r.from).begin(), kError.at(r.from).end());
        // Tight rooms, and one with room to spare for every fast path.
        const std::size_t need = r.model(in, true, kNoLimit).out.size();
        for (std::size_t room = need; room <= need + 7; ++room) {
          ASSERT_TRUE(
              Agrees(r, in, true, room <= need + 6 ? room : 4 * in.size() + 8));
        }
      }
    }
  }
  Generator gen(7);
  for (int width : {8, 16, 32}) {
    for (int i = 0; i < 400; ++i) {
      const Units in = gen.Runs(width);
      for (const Route& r : kRoutes) {
        if (r.from != width) continue;
        for (bool strict : {true, false}) {
          const std::size_t last =
              r.stringForm ? 0 : r.model(in, strict, kNoLimit).out.size() + 2;
          for (std::size_t room = 0; room <= last; ++room)
            ASSERT_TRUE(Agrees(r, in, strict, room));
        }
      }
    }
  }
}

// Every path of the validator against the model, on texts of every kind
// of sequence behind ASCII of any length (the vector path takes 64 bytes
// at a time), whole, cut short, and with one byte changed.
TEST(Conversions, EveryValidatorPathAgainstModel) {
  using Path = bool (*)(const unsigned char*, const unsigned char*);
  std::vector<std::pair<const char*, Path>> paths = {
      {"portable", velk::ValidUtf8Portable}};
#if defined(VELK_UTF_SSE2)
  if (velk::HasSsse3()) paths.push_back({"ssse3", velk::ValidUtf8Ssse3});
  if (velk::HasAvx512()) paths.push_back({"avx512", velk::ValidUtf8Avx512});
#endif
  const unsigned long kBytes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                  0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0,
                                  0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  Generator gen(11);
  for (int i = 0; i < 3000; ++i) {
    Units in(gen.Below(80), 0x20);
    const Units runs = gen.Runs(8);
    in.insert(in.end(), runs.begin(), runs.end());
    Units cut = in, changed = in;
    cut.resize(gen.Below(in.size() + 1));
    changed[gen.Below(in.size())] = gen.Pick(kBytes);
    for (const Units* text : {&in, &cut, &changed}) {
      const std::vector<unsigned char> bytes(text->begin(), text->end());
      for (const auto& path : paths) {
        ASSERT_EQ(path.second(bytes.data(), bytes.data() + bytes.size()),
                  IsLegalUtf8(*text))
            << path.first << " on " << Hex(*text);
      }
    }
  }
  // Sequences cut short at and around the vector blocks' ends, then ASCII
  // of no length, a few bytes or whole blocks.
  const Units kSequences[] = {
      {0xC3, 0xA9}, {0xE2, 0x82, 0xAC}, {0xF0, 0x9F, 0x98, 0x80}};
  for (std::size_t before = 58; before <= 66; ++before) {
    for (const Units& sequence : kSequences) {
      for (std::size_t keep = 1; keep <= sequence.size(); ++keep) {
        for (std::size_t after : {0, 3, 64, 130}) {
          Units text(before, 0x41);
          text.insert(text.end(), sequence.begin(), sequence.begin() + keep);
          text.insert(text.end(), after, 0x42);
          const std::vector<unsigned char> bytes(text.begin(), text.end());
          for (const auto& path : paths) {
            ASSERT_EQ(path.second(bytes.data(), bytes.data() + bytes.size()),
                      keep == sequence.size())
                << path.first << " on " << Hex(text);
          }
        }
      }
    }
  }
}

#if defined(VELK_UTF_SSE2)
// A group goes to the converters of one kind only when all eight of its
// UTF-8 lengths are up to two, or all are three; any other mix is words.
TEST(Conversions, OneKindLooksAtEveryLane) {
  const auto l = [](int a, int b, int c, int d) {
    return _mm_setr_epi32(a, b, c, d);
  };
  EXPECT_TRUE(velk::simd::OneKind(l(1, 2, 1, 1), l(2, 2, 1, 2)));
  EXPECT_TRUE(velk::simd::OneKind(l(3, 3, 3, 3), l(3, 3, 3, 3)));
  EXPECT_FALSE(velk::simd::OneKind(l(1, 1, 1, 1), l(4, 4, 4, 4)));
  EXPECT_FALSE(velk::simd::OneKind(l(4, 3, 3, 3), l(1, 1, 1, 1)));
  EXPECT_FALSE(velk::simd::OneKind(l(3, 3, 3, 3), l(3, 3, 1, 3)));
  EXPECT_FALSE(velk::simd::OneKind(l(2, 2, 2, 2), l(2, 2, 2, 3)));
}
#endif

}  // namespace
