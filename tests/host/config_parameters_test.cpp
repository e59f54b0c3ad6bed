// ConfigParameters: the two parsing rules and the lookups' handling of the
// host's codes.
#include <gtest/gtest.h>

#include <string>

#include "support/recording_host.h"
#include "velkconf/host_glue.h"

namespace {

TEST(ParseInt, Table) {
  struct Case {
    const char* text;
    bool ok;
    int value;  // expected value; when !ok, the untouched sentinel
  } cases[] = {
      {"42", true, 42},
      {"007", true, 7} /* base 10, never octal */,
      {"010", true, 10},
      {"12abc", true, 12},
      {"0", true, 0},
      {"0abc", true, 0},
      {"0x1A", true, 0} /* never hexadecimal */,
      {"   5", true, 5},
      {"\t-17", true, -17},
      {"+8", true, 8},
      {"99999999999", true, 2147483647},
      {"-99999999999", true, -2147483647 - 1},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"999999999999999999999999", true, 2147483647},
      {"abc", false, -555},
      {"-0", false, -555},
      {"+0", false, -555},
      {"", false, -555},
      {" 0", false, -555},
  };
  for (const Case& c : cases) {
    int value = -555;
    EXPECT_EQ(ConfigParameters::ParseInt(c.text, value), c.ok)
        << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(ParseBool, Table) {
  struct Case {
    const char* text;
    bool value;
  } cases[] = {
      {"TRUE", true}, {"true", true},   {"True", true},   {"tRuE", true},
      {"1", false},   {"yes", false},   {"TRUE ", false}, {" true", false},
      {"", false},    {"false", false},
  };
  for (const Case& c : cases) {
    bool value = !c.value;
    EXPECT_TRUE(ConfigParameters::ParseBool(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

class Lookups : public ::testing::Test {
 protected:
  void SetUp() override { ConfigParameters::SetConfigInterface(&host_); }
  void TearDown() override { ConfigParameters::SetConfigInterface(nullptr); }
  FakeConfigParameters host_;
};

TEST_F(Lookups, TextLookupFollowsTheHostsCode) {
  // The host's code, the result, and the value afterwards (from "before"):
  // 1 and 2 fail, 9 succeeds without a value, any other code succeeds.
  const struct {
    int rc;
    bool ok;
    const char* value;
  } cases[] = {{0, true, "host text"}, {-4, true, "host text"},
               {1, false, "before"},   {2, false, "before"},
               {3, true, "host text"}, {8, true, "host text"},
               {9, true, "before"},    {10, true, "host text"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rc);
    host_.values["p"] = {c.rc, "host text"};
    host_.tuning["p"] = {c.rc, "host text"};
    std::string value = "before";
    EXPECT_EQ(ConfigParameters::GetValue("p", value), c.ok);
    EXPECT_EQ(value, c.value);
    value = "before";
    EXPECT_EQ(ConfigParameters::GetTuningParameter("p", value), c.ok);
    EXPECT_EQ(value, c.value);
  }
  // The host is asked with the name and an empty string to fill.
  EXPECT_EQ(host_.asked.front(), "GetValue(p,'')");
  EXPECT_EQ(host_.asked.back(), "GetTuningParameter(p,'')");
}

TEST_F(Lookups, TypedLookups) {
  host_.values["n"] = {0, "514"};
  host_.values["b"] = {0, "True"};
  host_.values["junk"] = {0, "abc"};
  host_.values["nine"] = {9, "ignored"};
  host_.values["two"] = {2, "ignored"};
  host_.tuning["n"] = {0, "-7"};

  int n = -1;
  bool b = false;
  EXPECT_TRUE(ConfigParameters::GetValue("n", n));
  EXPECT_EQ(n, 514);
  EXPECT_TRUE(ConfigParameters::GetTuningParameter("n", n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(ConfigParameters::GetValue("b", b));
  EXPECT_TRUE(b);

  // An unreadable integer leaves the caller's value.
  n = 33;
  EXPECT_FALSE(ConfigParameters::GetValue("junk", n));
  EXPECT_EQ(n, 33);
  // Code 9: the text stays empty, so the integer is unreadable and the
  // flag reads false.
  EXPECT_FALSE(ConfigParameters::GetValue("nine", n));
  EXPECT_EQ(n, 33);
  b = true;
  EXPECT_TRUE(ConfigParameters::GetValue("nine", b));
  EXPECT_FALSE(b);
  // A failed lookup sets 0 or false.
  EXPECT_FALSE(ConfigParameters::GetValue("two", n));
  EXPECT_EQ(n, 0);
  b = true;
  EXPECT_FALSE(ConfigParameters::GetTuningParameter("absent", b));
  EXPECT_FALSE(b);
}

TEST(LookupsWithoutInterface, AnswerLikeAFailedLookup) {
  ConfigParameters::SetConfigInterface(nullptr);
  std::string text = "kept";
  int n = 5;
  bool b = true;
  EXPECT_FALSE(ConfigParameters::GetValue("RepositoryRoot", text));
  EXPECT_EQ(text, "kept");
  EXPECT_FALSE(ConfigParameters::GetTuningParameter("x", text));
  EXPECT_FALSE(ConfigParameters::GetValue("x", n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(ConfigParameters::GetValue("x", b));
  EXPECT_FALSE(b);
}

}  // namespace
