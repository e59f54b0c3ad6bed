// The whole-string wrappers and zevUnicode.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "velkconf/convert_utf.h"

namespace {

using U16 = std::basic_string<unsigned short>;

TEST(MakeStrings, NullEmptyPairsAndBadValues) {
  EXPECT_TRUE(MakeUtf16String(nullptr).empty());
  EXPECT_TRUE(MakeUtf16String(L"").empty());
  EXPECT_EQ(MakeUtf16String(L"\U0001F600"), (U16{0xD83D, 0xDE00}));
  const wchar_t bad[] = {0x41, 0xDC00, 0x110000,
                         static_cast<wchar_t>(0x80000000u), 0};
  EXPECT_EQ(MakeUtf16String(bad), (U16{0x41, 0xFFFD, 0xFFFD, 0xFFFD}));

  const unsigned short empty[] = {0};
  const unsigned short pair[] = {0xD83D, 0xDE00, 0};
  const unsigned short lone[] = {0xD800, 0x41, 0, 0x42};
  EXPECT_TRUE(MakeWideString(nullptr).empty());
  EXPECT_TRUE(MakeWideString(empty).empty());
  EXPECT_EQ(MakeWideString(pair), L"\U0001F600");
  EXPECT_EQ(MakeWideString(lone), (std::wstring{0xFFFD, 0x41}));
}

// Wide strings on this side carry one UTF-16 unit per character.
TEST(WstrTostrAndStrTowstr, AppendOrReplace) {
  std::string dst = "old";
  wstrTostr(std::wstring{0x41, 0xD83D, 0xDE00}, dst, true);
  EXPECT_EQ(dst, "oldA\xF0\x9F\x98\x80");
  wstrTostr(std::wstring{0xE9}, dst, false);
  EXPECT_EQ(dst, "\xC3\xA9");
  EXPECT_EQ(wstrTostr(std::wstring{0xDC00, 0x1F600, 0x42}),
            "\xEF\xBF\xBD\xEF\xBF\xBD"
            "B");

  std::wstring wide = L"old";
  strTowstr("\xC3\xA9\xF0\x9F\x98\x80", wide, true);
  EXPECT_EQ(wide, (std::wstring{'o', 'l', 'd', 0xE9, 0xD83D, 0xDE00}));
  strTowstr("a\x80", wide, false);
  EXPECT_EQ(wide, (std::wstring{'a', 0xFFFD}));
  EXPECT_EQ(strTowstr("b\xE2\x82"), L"b");  // a cut-off last character is lost
  EXPECT_EQ(wstrTostr(strTowstr("caf\xC3\xA9 \xF0\x9F\x98\x80")),
            "caf\xC3\xA9 \xF0\x9F\x98\x80");
  // Long runs of ASCII, as the vector kernels take them.
  std::string text;
  std::wstring want;
  for (int i = 0; i < 200; ++i) {
    text += static_cast<char>(i % 16 == 15 ? ' ' : 'a' + i % 26);
    want += static_cast<wchar_t>(text.back());
    if (i == 130) text += "\xC3\xA9", want += 0xE9;
  }
  EXPECT_EQ(strTowstr(text), want);
}

class Multibyte : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

TEST_F(Multibyte, StrW2strAAndStrA2strW) {
  std::string dst = "old";
  strW2strA(L"caf\u00E9", dst, true);
  EXPECT_EQ(dst, "caf\xC3\xA9");  // success replaces even with keep
  const std::wstring bad{0x41, 0xD800};
  dst = "old";
  strW2strA(bad, dst, true);
  EXPECT_EQ(dst, "old");
  strW2strA(bad, dst, false);
  EXPECT_EQ(dst, "");
  EXPECT_EQ(strW2strA(bad), "");
  // Room for 2 x 3 + 1 bytes: the third euro sign no longer fits.
  EXPECT_EQ(strW2strA(L"\u20AC\u20AC\u20AC"), "\xE2\x82\xAC\xE2\x82\xAC");

  std::wstring wide = L"old";
  strA2strW("\xC3\xA9t\xC3\xA9", wide, true);
  EXPECT_EQ(wide, L"\u00E9t\u00E9");
  wide = L"old";
  strA2strW("a\xFF", wide, true);
  EXPECT_EQ(wide, L"old");
  strA2strW("a\xFF", wide, false);
  EXPECT_EQ(wide, L"");
  EXPECT_EQ(strA2strW("a\xFF"), L"");
  EXPECT_EQ(strA2strW("\xF0\x9F\x98\x80"), L"\U0001F600");
}

// zevUnicode<unsigned short>, called virtually as a host calls it: the
// pointer forms append.  (Codes, counts and the strict forms' source
// against the model: string_wrappers_fuzz.)
TEST(ZevUnicode, PointerFormsAppend) {
  const std::unique_ptr<zevUnicode<unsigned short>> zev(
      new zevUnicode<unsigned short>);
  const unsigned short lone_low[] = {0x61, 0xDC00};
  std::string dst = "x";
  unsigned int len = 2;
  EXPECT_EQ(zev->WideToUTF8(dst, lone_low, len), sourceUnpairedSurrogate);
  EXPECT_EQ(dst, "xa\xEF\xBF\xBD");
  EXPECT_EQ(len, 2u);
  U16 wide = {0x78};
  len = 3;
  EXPECT_EQ(zev->UTF8ToWide(wide, "a\xC0\x80", len), sourceIllegalSequence);
  EXPECT_EQ(wide, (U16{0x78, 0x61, 0xFFFD}));
  EXPECT_EQ(len, 2u);
}

}  // namespace
