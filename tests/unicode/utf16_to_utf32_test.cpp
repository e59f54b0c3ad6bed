// ConvertUTF16toUTF32: the buffer form and the wide-string template.
#include <gtest/gtest.h>

#include "unicode/utf_harness.h"

namespace {

using Units = std::vector<unsigned short>;
using Wide = std::vector<unsigned long>;

const harness::BufferFn<unsigned short, unsigned long> kBuffer = &ConvertUTF16toUTF32;

auto Model = [](const Units& in, bool strict, std::size_t room) {
  return model::Utf16ToUtf32(in, strict, room);
};

struct Case {
  const char* name;
  Units in;
  bool strict;
  ConversionResult code;
  std::size_t consumed;
  Wide out;
  std::size_t room = 8;
};

const Case kCases[] = {
    {"pair", {0x41, 0xD83D, 0xDE00}, true, conversionOK, 3, {0x41, 0x1F600}},
    {"ffff_passes_through", {0xFFFF, 0x41}, false, sourceNonCharacter, 2, {0xFFFF, 0x41}},
    {"fffe_strict", {0x41, 0xFFFE}, true, sourceNonCharacter, 1, {0x41}},
    {"unpaired_lenient", {0xD800, 0x41}, false, sourceUnpairedSurrogate, 2, {0xFFFD, 0x41}},
    {"unpaired_strict", {0xDFFF}, true, sourceUnpairedSurrogate, 0, {}},
    {"high_at_end_lenient", {0x41, 0xDBFF}, false, sourceExhausted, 1, {0x41}},
    {"no_room_for_pair", {0x41, 0xD83D, 0xDE00}, true, targetExhausted, 1, {0x41}, 1},
    {"source_beats_room", {0xDC00}, true, sourceUnpairedSurrogate, 0, {}, 0},
    {"room_beats_replacement", {0xDC00}, false, targetExhausted, 0, {}, 0},
};

TEST(ConvertUTF16toUTF32, NamedCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto got = harness::Buffer(kBuffer, c.in, c.strict, c.room);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.consumed, c.consumed);
    EXPECT_EQ(got.out, c.out);
  }
}

// The template against the model: the string keeps what it held, gains the
// converted characters, and *count is its whole length.
void CompareTemplate(const Units& in, bool strict) {
  std::wstring target = L"xy";
  const unsigned short* src = in.data();
  unsigned long count = 0;
  const unsigned int code = ConvertUTF16toUTF32<wchar_t, unsigned long>(
      &src, in.data() + in.size(), target, &count, harness::Flags(strict));
  const auto want = model::Utf16ToUtf32(in, strict);
  ASSERT_EQ(code, want.code) << harness::Hex(in);
  ASSERT_EQ(static_cast<std::size_t>(src - in.data()), want.consumed);
  ASSERT_EQ(count, target.size());
  ASSERT_EQ(target.substr(0, 2), L"xy");
  ASSERT_EQ(Wide(target.begin() + 2, target.end()), want.out) << harness::Hex(in);
}

TEST(ConvertUTF16toUTF32Template, ReportsTheWholeLength) {
  std::wstring target = L"ab";
  const Units none, three{0x41, 0xD83D, 0xDE00, 0x42};
  auto convert = ConvertUTF16toUTF32<wchar_t, unsigned long>;
  const unsigned short* src = none.data();
  unsigned long count = 0;
  EXPECT_EQ(convert(&src, src, target, &count, strictConversion), conversionOK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(target, L"ab");
  src = three.data();
  EXPECT_EQ(convert(&src, src + 4, target, &count, strictConversion), conversionOK);
  EXPECT_EQ(target, L"abA\U0001F600B");
  EXPECT_EQ(count, 5u);
}

TEST(ConvertUTF16toUTF32, EverySingleUnit) {
  harness::Generator gen(3);
  for (unsigned long u = 0; u <= 0xFFFF; ++u) {
    const auto unit = static_cast<unsigned short>(u);
    for (const Units& in : {Units{unit}, Units{unit, 0x41}, Units{0xD800, unit}}) {
      harness::DiffBuffer(gen, kBuffer, Model, in);
      for (bool strict : {true, false}) CompareTemplate(in, strict);
    }
  }
}

TEST(ConvertUTF16toUTF32, RandomAgainstModel) {
  harness::Generator gen(20240518);
  for (int i = 0; i < 3000; ++i) {
    const Units in = gen.Utf16(gen.Below(48));
    harness::DiffBuffer(gen, kBuffer, Model, in);
    for (bool strict : {true, false}) CompareTemplate(in, strict);
  }
}

}  // namespace
