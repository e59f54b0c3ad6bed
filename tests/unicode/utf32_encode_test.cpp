// ConvertUTF32toUTF16 and ConvertUTF32toUTF8 (both forms of each), and
// every scalar value through every direction and back.
#include <gtest/gtest.h>

#include "unicode/utf_harness.h"

namespace {

using Wide = std::vector<unsigned long>;
using Units = std::vector<unsigned short>;
using Bytes = std::vector<unsigned char>;
using harness::Append;
using harness::Buffer;

const harness::BufferFn<unsigned long, unsigned short> kTo16 = &ConvertUTF32toUTF16;
const harness::StringFn<unsigned long, std::basic_string<unsigned short>> kTo16String =
    &ConvertUTF32toUTF16;
const harness::BufferFn<unsigned long, unsigned char> kTo8 = &ConvertUTF32toUTF8;
const harness::StringFn<unsigned long, std::string> kTo8String = &ConvertUTF32toUTF8;

struct Case {
  const char* name;
  Wide in;
  bool strict;
  ConversionResult code;
  std::size_t consumed;
  Bytes out;
  bool stringForm;
  std::size_t room = 16;
};

const Case kUtf8Cases[] = {
    {"above_unicode", {0x110000}, true, conversionOK, 1, {0xF4, 0x90, 0x80, 0x80}, true},
    {"six_bytes", {0x7FFFFFFF}, true, conversionOK, 1, {0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}, false},
    {"five_bytes", {0x3FFFFFF}, true, conversionOK, 1, {0xFB, 0xBF, 0xBF, 0xBF, 0xBF}, false},
    {"too_big_strict", {0x41, 0x80000000}, true, sourceIllegal, 1, {0x41}, false},
    {"too_big_lenient", {0x80000000}, false, sourceIllegal, 1, {0xEF, 0xBF, 0xBD}, true},
    {"beyond_32_bits", {0x100000041}, false, sourceIllegal, 1, {0xEF, 0xBF, 0xBD}, false},
    {"pair_string_form", {0xD800, 0xDC00}, false, sourceIllegal, 2, {0xEF, 0xBF, 0xBD}, true},
    {"pair_buffer_form", {0xD800, 0xDC00}, false, sourceIllegal, 2, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}, false},
    {"pair_strict", {0xD800, 0xDC00}, true, sourceIllegal, 0, {}, true},
    {"lone_low", {0xDC00}, false, sourceIllegal, 1, {0xEF, 0xBF, 0xBD}, true},
    {"high_at_end", {0xD800}, false, sourceIllegal, 1, {0xEF, 0xBF, 0xBD}, true},
    {"nonchar", {0xFFFE}, false, sourceNonCharacter, 1, {0xEF, 0xBF, 0xBD}, true},
    {"room_short", {0x41, 0x10000}, true, targetExhausted, 1, {0x41}, false, 4},
    {"source_beats_room", {0x80000000}, true, sourceIllegal, 0, {}, false, 0},
};

TEST(ConvertUTF32toUTF8, NamedCases) {
  for (const Case& c : kUtf8Cases) {
    SCOPED_TRACE(c.name);
    const auto got = c.stringForm ? Append<unsigned char>(kTo8String, c.in, c.strict)
                                  : Buffer(kTo8, c.in, c.strict, c.room);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.consumed, c.consumed);
    EXPECT_EQ(got.out, c.out);
  }
}

TEST(ConvertUTF32toUTF16, NamedCases) {
  const struct {
    const char* name;
    Wide in;
    bool strict;
    ConversionResult code;
    std::size_t consumed;
    Units out;
    std::size_t room;
  } kCases[] = {
      {"pair", {0x1F600}, true, conversionOK, 1, {0xD83D, 0xDE00}, 4},
      {"out_of_range", {0x41, 0x110000}, true, sourceOutOfRange, 1, {0x41}, 4},
      {"surrogate", {0xDC00}, true, sourceIllegal, 0, {}, 4},
      {"huge_lenient", {~0UL, 0x41}, false, sourceOutOfRange, 2, {0xFFFD, 0x41}, 4},
      {"pair_needs_two", {0x41, 0x10000}, true, targetExhausted, 1, {0x41}, 2},
      // Room is tested before the unit is looked at.
      {"room_before_source", {0x41, 0xDC00}, true, targetExhausted, 1, {0x41}, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto got = Buffer(kTo16, c.in, c.strict, c.room);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.consumed, c.consumed);
    EXPECT_EQ(got.out, c.out);
  }
}

void CompareAll(harness::Generator& gen, const Wide& in) {
  harness::DiffBuffer(gen, kTo16, [](const Wide& w, bool strict, std::size_t room) {
    return model::FromUtf32<unsigned short>(w, strict, false, false, room);
  }, in);
  harness::DiffString(kTo16String, [](const Wide& w, bool strict, std::size_t) {
    return model::FromUtf32<unsigned short>(w, strict, false, true);
  }, in);
  harness::DiffBuffer(gen, kTo8, [](const Wide& w, bool strict, std::size_t room) {
    return model::FromUtf32<unsigned char>(w, strict, true, false, room);
  }, in);
  harness::DiffString(kTo8String, [](const Wide& w, bool strict, std::size_t) {
    return model::FromUtf32<unsigned char>(w, strict, true, true);
  }, in);
}

TEST(Utf32Encoding, RandomAgainstModel) {
  harness::Generator gen(20240519);
  for (int i = 0; i < 3000; ++i) CompareAll(gen, gen.Utf32(gen.Below(40)));
}

// Every scalar value (and the two non-characters' neighbours) as one text,
// through UTF-32 -> UTF-8 -> UTF-16 -> UTF-32 and UTF-16 -> UTF-8, every
// step strict and complete.
TEST(Utf32Encoding, EveryScalarThroughEveryDirection) {
  Wide scalars;
  Bytes utf8;
  for (unsigned long cp = 0; cp <= 0x10FFFF; ++cp) {
    if (model::IsSurrogate(cp) || model::IsNonChar(cp)) continue;
    scalars.push_back(cp);
    for (unsigned char b : model::Utf8Bytes(cp)) utf8.push_back(b);
  }
  unsigned long count = 0;
  const unsigned long* s32 = scalars.data();
  std::string bytes;
  ASSERT_EQ(ConvertUTF32toUTF8(&s32, s32 + scalars.size(), bytes, &count, strictConversion),
            conversionOK);
  ASSERT_EQ(Bytes(bytes.begin(), bytes.end()), utf8);
  ASSERT_EQ(count, scalars.size());

  const unsigned char* s8 = utf8.data();
  std::basic_string<unsigned short> utf16;
  ASSERT_EQ(ConvertUTF8toUTF16(&s8, s8 + utf8.size(), utf16, &count, strictConversion),
            conversionOK);
  ASSERT_EQ(count, scalars.size());
  std::basic_string<unsigned short> utf16b;
  s32 = scalars.data();
  ASSERT_EQ(ConvertUTF32toUTF16(&s32, s32 + scalars.size(), utf16b, &count, strictConversion),
            conversionOK);
  ASSERT_TRUE(utf16 == utf16b);

  Wide back(scalars.size() + 1);
  const unsigned short* s16 = utf16.data();
  unsigned long* t32 = back.data();
  ASSERT_EQ(ConvertUTF16toUTF32(&s16, s16 + utf16.size(), &t32, back.data() + back.size(),
                                strictConversion), conversionOK);
  back.resize(t32 - back.data());
  ASSERT_EQ(back, scalars);

  Wide back8(scalars.size());
  s8 = utf8.data();
  t32 = back8.data();
  ASSERT_EQ(ConvertUTF8toUTF32(&s8, s8 + utf8.size(), &t32, back8.data() + back8.size(),
                               strictConversion), conversionOK);
  ASSERT_EQ(back8, scalars);

  // UTF-16 -> UTF-8 (string form: up to U+10FFFF) closes the circle.
  std::string bytes16;
  s16 = utf16.data();
  ASSERT_EQ(ConvertUTF16toUTF8(&s16, s16 + utf16.size(), bytes16, &count, strictConversion),
            conversionOK);
  ASSERT_EQ(bytes16, bytes);
  ASSERT_TRUE(isLegalUTF8Sequence(utf8.data(), utf8.data() + utf8.size()));
}

}  // namespace
