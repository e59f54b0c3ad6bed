// ConvertUTF8toUTF16 (both forms), ConvertUTF8toUTF32 and
// isLegalUTF8Sequence: named cases, every short sequence by byte class, and
// random inputs against the reference model.
#include <gtest/gtest.h>

#include "unicode/utf_harness.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Units = std::vector<unsigned short>;
using harness::Append;
using harness::Buffer;

const harness::BufferFn<unsigned char, unsigned short> kTo16 = &ConvertUTF8toUTF16;
const harness::StringFn<unsigned char, std::basic_string<unsigned short>> kTo16String =
    &ConvertUTF8toUTF16;
const harness::BufferFn<unsigned char, unsigned long> kTo32 = &ConvertUTF8toUTF32;

struct Case {
  const char* name;
  Bytes in;
  bool strict;
  ConversionResult code;
  std::size_t consumed;
  Units out;
  std::size_t chars;            // string form
  std::size_t room = 16;        // buffer form
  bool bufferOnly = false;
};

const unsigned short R = 0xFFFD;

const Case kCases[] = {
    {"e_acute", {0xC3, 0xA9}, true, conversionOK, 2, {0xE9}, 1},
    {"emoji_one_char", {0xF0, 0x9F, 0x98, 0x80}, true, conversionOK, 4, {0xD83D, 0xDE00}, 1},
    {"cut_lead_lenient", {0x41, 0xC3}, false, sourceExhausted, 1, {0x41}, 1},
    {"cut_before_legality", {0xE2, 0x28}, false, sourceExhausted, 0, {}, 0},
    {"overlong_strict", {0xC0, 0x80}, true, sourceIllegalSequence, 0, {}, 0},
    {"overlong_lenient", {0xC0, 0x80, 0x41}, false, sourceIllegalSequence, 3, {R, 0x41}, 2},
    {"broken_lead_keeps_ascii", {0xE2, 0x28, 0xA1}, false, sourceIllegalSequence, 3, {R, 0x28, R}, 3},
    {"encoded_surrogate", {0xED, 0xA0, 0x80}, true, sourceIllegalSequence, 0, {}, 0},
    {"nonchar_strict", {0x41, 0xEF, 0xBF, 0xBF}, true, sourceNonCharacter, 1, {0x41}, 1},
    {"nonchar_lenient", {0xEF, 0xBF, 0xBE}, false, sourceNonCharacter, 3, {R}, 1},
    {"above_max", {0xF4, 0x90, 0x80, 0x80}, true, sourceIllegalSequence, 0, {}, 0},
    {"five_bytes_one_replacement", {0xF8, 0x88, 0x80, 0x80, 0x80}, false, sourceIllegalSequence, 5, {R}, 1},
    {"lone_continuations", {0x80, 0xBF}, false, sourceIllegalSequence, 2, {R, R}, 2},
    {"later_code_wins", {0xC0, 0xEF, 0xBF, 0xBF}, false, sourceNonCharacter, 4, {R, R}, 2},
    // Table 3-7 boundaries.
    {"lowest_two_byte", {0xC2, 0x80, 0xDF, 0xBF}, true, conversionOK, 4, {0x80, 0x7FF}, 2},
    {"c1_overlong", {0xC1, 0xBF}, true, sourceIllegalSequence, 0, {}, 0},
    {"e0_boundary", {0xE0, 0xA0, 0x80, 0xE0, 0x9F, 0xBF}, true, sourceIllegalSequence, 3, {0x800}, 1},
    {"ed_boundary", {0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80}, true, conversionOK, 6, {0xD7FF, 0xE000}, 2},
    {"f0_boundary", {0xF0, 0x90, 0x80, 0x80, 0xF0, 0x8F, 0xBF, 0xBF}, true, sourceIllegalSequence, 4, {0xD800, 0xDC00}, 1},
    {"f4_boundary", {0xF4, 0x8F, 0xBF, 0xBF}, true, conversionOK, 4, {0xDBFF, 0xDFFF}, 1},
    {"f5_never", {0xF5, 0x80, 0x80, 0x80}, true, sourceIllegalSequence, 0, {}, 0},
    // Room.
    {"pair_needs_two_units", {0x41, 0xF0, 0x9F, 0x98, 0x80}, true, targetExhausted, 1, {0x41}, 0, 2, true},
    {"replacement_needs_room", {0xC0, 0x80}, false, targetExhausted, 0, {}, 0, 0, true},
    {"illegal_beats_room", {0xC0, 0x80}, true, sourceIllegalSequence, 0, {}, 0, 0, true},
    {"room_before_nonchar", {0xEF, 0xBF, 0xBF}, true, targetExhausted, 0, {}, 0, 0, true},
};

TEST(ConvertUTF8toUTF16, NamedCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto got = Buffer(kTo16, c.in, c.strict, c.room);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.consumed, c.consumed);
    EXPECT_EQ(got.out, c.out);
    if (c.bufferOnly) continue;
    const auto str = Append<unsigned short>(kTo16String, c.in, c.strict);
    EXPECT_EQ(str.code, c.code);
    EXPECT_EQ(str.consumed, c.consumed);
    EXPECT_EQ(str.out, c.out);
    EXPECT_EQ(str.chars, c.chars);
  }
}

TEST(ConvertUTF8toUTF32, OneUnitPerCharacter) {
  const auto got = Buffer(kTo32, {0x41, 0xF0, 0x9F, 0x98, 0x80, 0xC3, 0xA9}, true, 2);
  EXPECT_EQ(got.code, targetExhausted);
  EXPECT_EQ(got.consumed, 5u);
  EXPECT_EQ(got.out, (std::vector<unsigned long>{0x41, 0x1F600}));
}

TEST(IsLegalUTF8Sequence, NamedCases) {
  const struct {
    Bytes in;
    bool legal;
  } kLegal[] = {{{}, true},           {{0x61, 0xC3, 0xA9}, true}, {{0xC3}, false},
                {{0xC3, 0xA9, 0x80}, false}, {{0xF5, 0x80, 0x80, 0x80}, false},
                {{0xF4, 0x8F, 0xBF, 0xBF}, true}, {{0xEF, 0xBF, 0xBF}, true}};
  for (const auto& c : kLegal) {
    EXPECT_EQ(isLegalUTF8Sequence(c.in.data(), c.in.data() + c.in.size()), c.legal)
        << harness::Hex(c.in);
  }
}

void CompareAll(harness::Generator& gen, const Bytes& in) {
  harness::DiffBuffer(gen, kTo16, [](const Bytes& b, bool strict, std::size_t room) {
    return model::FromUtf8<unsigned short>(b, strict, true, room);
  }, in);
  harness::DiffString(kTo16String, [](const Bytes& b, bool strict, std::size_t) {
    return model::FromUtf8<unsigned short>(b, strict, true);
  }, in);
  harness::DiffBuffer(gen, kTo32, [](const Bytes& b, bool strict, std::size_t room) {
    return model::FromUtf8<unsigned long>(b, strict, false, room);
  }, in);
  ASSERT_EQ(isLegalUTF8Sequence(in.data(), in.data() + in.size()), model::IsLegalUtf8(in))
      << harness::Hex(in);
}

// Every one- and two-byte input, and three- and four-byte inputs whose
// lead announces that length, with the other bytes drawn from every class
// that Table 3-7 tells apart.
TEST(Utf8Decoding, EveryShortSequenceByClass) {
  const unsigned char kClasses[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                    0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xF0, 0xF4, 0xF8, 0xFF};
  harness::Generator gen(2);
  for (unsigned a = 0; a < 256; ++a) {
    CompareAll(gen, {static_cast<unsigned char>(a)});
    for (unsigned b = 0; b < 256; ++b) {
      CompareAll(gen, {static_cast<unsigned char>(a), static_cast<unsigned char>(b)});
    }
  }
  for (unsigned lead = 0xE0; lead < 0x100; ++lead) {
    for (unsigned char b : kClasses) {
      for (unsigned char c : kClasses) {
        const unsigned char a = static_cast<unsigned char>(lead);
        CompareAll(gen, {a, b, c});
        if (lead < 0xF0) continue;
        for (unsigned char d : kClasses) CompareAll(gen, {a, b, c, d});
      }
    }
  }
}

TEST(Utf8Decoding, RandomAgainstModel) {
  harness::Generator gen(20240517);
  for (int i = 0; i < 3000; ++i) CompareAll(gen, gen.Utf8(gen.Below(64)));
}

TEST(Utf8Decoding, LongMixedText) {
  harness::Generator gen(8);
  for (int i = 0; i < 30; ++i) {
    Bytes in(9000 + gen.Below(64), 0x61);
    for (int k = 0; k < 30; ++k) {
      const Bytes piece = gen.Utf8(1);
      std::copy(piece.begin(), piece.end(), in.begin() + gen.Below(in.size() - 8));
    }
    CompareAll(gen, in);
  }
}

}  // namespace
