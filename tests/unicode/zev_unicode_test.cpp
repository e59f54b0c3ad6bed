// zevUnicode<unsigned short>: lenient pointer forms and strict
// pointer-to-pointer forms, called the way a host calls them (virtually).
#include <gtest/gtest.h>

#include <memory>

#include "velkconf/convert_utf.h"

namespace {

using U16 = std::basic_string<unsigned short>;
using Zev = zevUnicode<unsigned short>;

TEST(ZevUnicode, WideToUTF8) {
  const std::unique_ptr<Zev> zev(new Zev);
  const unsigned short lone_low[] = {0x61, 0xDC00};
  const unsigned short cut_pair[] = {0x61, 0xD800};

  std::string dst = "x";
  unsigned int len = 2;
  EXPECT_EQ(zev->WideToUTF8(dst, lone_low, len), sourceUnpairedSurrogate);
  EXPECT_EQ(dst, "xa\xEF\xBF\xBD");  // appended, not replaced
  EXPECT_EQ(len, 2u);

  dst.clear();
  len = 2;
  const unsigned short* src = lone_low;
  EXPECT_EQ(zev->WideToUTF8(dst, &src, len), sourceUnpairedSurrogate);
  EXPECT_EQ(dst, "a");
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(src, lone_low + 1);

  dst.clear();
  len = 2;
  EXPECT_EQ(zev->WideToUTF8(dst, cut_pair, len), sourceExhausted);
  EXPECT_EQ(dst, "a");
  EXPECT_EQ(len, 1u);
}

TEST(ZevUnicode, UTF8ToWide) {
  Zev zev;
  U16 dst;
  unsigned int len = 2;
  const char* src = "\xE2\x82";
  const char* const start = src;
  EXPECT_EQ(zev.UTF8ToWide(dst, &src, len), sourceExhausted);
  EXPECT_TRUE(dst.empty());
  EXPECT_EQ(src, start);

  len = 7;
  src = "a\xC0\x80\xF0\x9F\x98\x80";
  EXPECT_EQ(zev.UTF8ToWide(dst, src, len), sourceIllegalSequence);
  EXPECT_EQ(dst, (U16{0x61, 0xFFFD, 0xD83D, 0xDE00}));
  EXPECT_EQ(len, 3u);

  len = 7;
  EXPECT_EQ(zev.UTF8ToWide(dst, &src, len), sourceIllegalSequence);
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(*src, '\xC0');
}

}  // namespace
