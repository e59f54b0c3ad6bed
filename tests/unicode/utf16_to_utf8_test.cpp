// ConvertUTF16toUTF8, both forms: named cases, every single unit, every
// surrogate pair, and random inputs against the reference model.
#include <gtest/gtest.h>

#include "unicode/utf16_to_utf8.h"
#include "unicode/utf_harness.h"

namespace {

using Units = std::vector<unsigned short>;
using Bytes = std::vector<unsigned char>;
using harness::Append;
using harness::Buffer;

const harness::BufferFn<unsigned short, unsigned char> kBuffer = &ConvertUTF16toUTF8;
const harness::StringFn<unsigned short, std::string> kString = &ConvertUTF16toUTF8;

enum Form { kBoth, kBufferOnly, kStringOnly };

struct Case {
  const char* name;
  Form form;
  Units in;
  bool strict;
  ConversionResult code;
  std::size_t consumed;
  Bytes out;
  std::size_t chars;        // string form
  std::size_t room = 16;    // buffer form
};

const Case kCases[] = {
    {"empty", kBoth, {}, true, conversionOK, 0, {}, 0},
    {"ascii", kBoth, {0x61, 0x62, 0x63}, true, conversionOK, 3, {0x61, 0x62, 0x63}, 3},
    {"two_bytes", kBoth, {0xE9}, true, conversionOK, 1, {0xC3, 0xA9}, 1},
    {"euro", kBoth, {0x20AC}, true, conversionOK, 1, {0xE2, 0x82, 0xAC}, 1},
    {"pair", kBoth, {0xD83D, 0xDE00}, true, conversionOK, 2, {0xF0, 0x9F, 0x98, 0x80}, 1},
    {"high_at_end", kBoth, {0x41, 0xD800}, false, sourceExhausted, 1, {0x41}, 1},
    {"unpaired_high_lenient", kBoth, {0xD800, 0x41}, false, sourceUnpairedSurrogate, 2, {0xEF, 0xBF, 0xBD, 0x41}, 2},
    {"unpaired_high_strict", kBoth, {0xD800, 0x41}, true, sourceUnpairedSurrogate, 0, {}, 0},
    {"lone_low_lenient", kBoth, {0xDC00}, false, sourceUnpairedSurrogate, 1, {0xEF, 0xBF, 0xBD}, 1},
    {"lone_low_strict", kBoth, {0x41, 0xDC00}, true, sourceUnpairedSurrogate, 1, {0x41}, 1},
    {"high_high_low", kBoth, {0xD800, 0xD800, 0xDC00}, false, sourceUnpairedSurrogate, 3, {0xEF, 0xBF, 0xBD, 0xF0, 0x90, 0x80, 0x80}, 2},
    {"ffff_lenient", kBoth, {0xFFFF}, false, sourceNonCharacter, 1, {0xEF, 0xBF, 0xBD}, 1},
    {"fffe_strict", kBoth, {0x41, 0xFFFE}, true, sourceNonCharacter, 1, {0x41}, 1},
    {"fffd_is_fine", kBoth, {0xFFFD}, true, conversionOK, 1, {0xEF, 0xBF, 0xBD}, 1},
    {"later_code_wins", kBoth, {0xD800, 0x41, 0xFFFE}, false, sourceNonCharacter, 3, {0xEF, 0xBF, 0xBD, 0x41, 0xEF, 0xBF, 0xBD}, 3},
    {"max_string", kStringOnly, {0xDBFF, 0xDFFF}, true, conversionOK, 2, {0xF4, 0x8F, 0xBF, 0xBF}, 1},
    {"max_buffer_lenient", kBufferOnly, {0xDBFF, 0xDFFF}, false, sourceIllegal, 2, {0xEF, 0xBF, 0xBD}, 0},
    {"max_buffer_strict", kBufferOnly, {0x41, 0xDBFF, 0xDFFF}, true, sourceIllegal, 2, {0x41}, 0},
    {"below_max_buffer", kBufferOnly, {0xDBFF, 0xDFFE}, true, conversionOK, 2, {0xF4, 0x8F, 0xBF, 0xBE}, 0},
    {"room_exact", kBufferOnly, {0xE9}, true, conversionOK, 1, {0xC3, 0xA9}, 0, 2},
    {"room_short", kBufferOnly, {0xE9}, true, targetExhausted, 0, {}, 0, 1},
    {"room_short_pair", kBufferOnly, {0x41, 0xD83D, 0xDE00}, true, targetExhausted, 1, {0x41}, 0, 4},
    {"room_beats_replacement", kBufferOnly, {0xD800, 0x41}, false, targetExhausted, 0, {}, 0, 2},
    {"source_beats_room", kBufferOnly, {0xD800, 0x41}, true, sourceUnpairedSurrogate, 0, {}, 0, 0},
    {"no_room_for_ascii", kBufferOnly, {0x41, 0x42}, true, targetExhausted, 1, {0x41}, 0, 1},
};

TEST(ConvertUTF16toUTF8, NamedCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.form != kStringOnly) {
      const auto got = Buffer(kBuffer, c.in, c.strict, c.room);
      EXPECT_EQ(got.code, c.code);
      EXPECT_EQ(got.consumed, c.consumed);
      EXPECT_EQ(got.out, c.out);
    }
    if (c.form != kBufferOnly) {
      const auto got = Append<unsigned char>(kString, c.in, c.strict);
      EXPECT_EQ(got.code, c.code);
      EXPECT_EQ(got.consumed, c.consumed);
      EXPECT_EQ(got.out, c.out);
      EXPECT_EQ(got.chars, c.chars);
    }
  }
}

auto BufferModel = [](const Units& in, bool strict, std::size_t room) {
  return model::Utf16ToUtf8(in, strict, false, room);
};
auto StringModel = [](const Units& in, bool strict, std::size_t) {
  return model::Utf16ToUtf8(in, strict, true);
};

// Every unit alone, at the end and before an 'A', through both forms.
TEST(ConvertUTF16toUTF8, EverySingleUnit) {
  harness::Generator gen(1);
  for (unsigned long u = 0; u <= 0xFFFF; ++u) {
    for (const Units& in : {Units{static_cast<unsigned short>(u)},
                            Units{static_cast<unsigned short>(u), 0x41}}) {
      harness::DiffBuffer(gen, kBuffer, BufferModel, in);
      harness::DiffString(kString, StringModel, in);
    }
  }
}

TEST(ConvertUTF16toUTF8, EverySurrogatePair) {
  for (unsigned short hi = 0xD800; hi <= 0xDBFF; ++hi) {
    for (unsigned short lo = 0xDC00; lo <= 0xDFFF; ++lo) {
      const unsigned long cp = 0x10000 + ((hi - 0xD800UL) << 10) + (lo - 0xDC00UL);
      const Units in{hi, lo};
      const auto str = Append<unsigned char>(kString, in, true);
      ASSERT_EQ(str.code, conversionOK) << cp;
      ASSERT_EQ(str.out, model::Utf8Bytes(cp)) << cp;
      ASSERT_EQ(str.chars, 1u);
      const auto buf = Buffer(kBuffer, in, true, 4);
      ASSERT_EQ(buf.code, cp == 0x10FFFF ? sourceIllegal : conversionOK) << cp;
      ASSERT_EQ(buf.out, cp == 0x10FFFF ? Bytes{} : model::Utf8Bytes(cp)) << cp;
    }
  }
}

TEST(ConvertUTF16toUTF8, RandomAgainstModel) {
  harness::Generator gen(20240516);
  for (int i = 0; i < 3000; ++i) {
    const Units in = gen.Utf16(gen.Below(48));
    harness::DiffBuffer(gen, kBuffer, BufferModel, in);
    harness::DiffString(kString, StringModel, in);
  }
}

// Long inputs cross the string form's internal chunks and the wide ASCII
// path at every alignment.
TEST(ConvertUTF16toUTF8, LongMixedText) {
  harness::Generator gen(7);
  for (int i = 0; i < 40; ++i) {
    Units in(5000 + gen.Below(64), 0x61);
    for (int k = 0; k < 30; ++k) in[gen.Below(in.size())] = gen.Utf16(1)[0];
    harness::DiffBuffer(gen, kBuffer, BufferModel, in);
    harness::DiffString(kString, StringModel, in);
  }
}

// The parser's XMLCh goes through the same routine.
TEST(Utf16ZToUtf8, ZeroTerminatedParserText) {
  EXPECT_EQ(velk::Utf16ZToUtf8<char16_t>(nullptr), "");
  EXPECT_EQ(velk::Utf16ZToUtf8<char16_t>(u"caf\u00E9 \xD800!"), "caf\xC3\xA9 \xEF\xBF\xBD!");
}

}  // namespace
