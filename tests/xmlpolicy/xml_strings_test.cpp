#include "xmlpolicy/xml_strings.h"

#include <gtest/gtest.h>

#include <memory>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLString.hpp>

#include "support/policy_fixture.h"
#include "unicode/utf16_to_utf8.h"

namespace {

std::string Utf8(const XMLCh* text) {
  return velk::Utf16ZToUtf8<char16_t>(text);
}

TEST(XMLChStringTest, HoldsTranscodedTextNumbersAndFlags) {
  std::string name = "RemoteSyslogServer";
  EXPECT_EQ(Utf8(XMLChString("policy").getString()), "policy");
  EXPECT_EQ(Utf8(XMLChString(name).getString()), "RemoteSyslogServer");
  EXPECT_EQ(Utf8(XMLChString(0u).getString()), "0");
  EXPECT_EQ(Utf8(XMLChString(514u).getString()), "514");
  EXPECT_EQ(Utf8(XMLChString(4294967295u).getString()), "4294967295");
  EXPECT_EQ(Utf8(XMLChString(true).getString()), "1");
  EXPECT_EQ(Utf8(XMLChString(false).getString()), "0");
  EXPECT_EQ(XMLChString().getString(), nullptr);
}

// One element's attributes, parsed from a document written for the test.
class AttributeTest : public ::testing::Test {
 protected:
  xercesc::DOMNamedNodeMap& AttributesOf(const std::string& element) {
    const std::string xml = "<?xml version=\"1.0\"?>" + element;
    xercesc::MemBufInputSource source(
        reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "test");
    parser_.reset(new xercesc::XercesDOMParser);
    parser_->parse(source);
    xercesc::DOMDocument* doc = parser_->getDocument();
    EXPECT_NE(doc, nullptr);
    return *doc->getDocumentElement()->getAttributes();
  }

  std::unique_ptr<xercesc::XercesDOMParser> parser_;
};

// Values as the attribute reader delivers them: trimmed of blanks and tabs
// only, and read as flags and numbers.
TEST_F(AttributeTest, TrimsAndConvertsValues) {
  // As written in the start tag; m_strValue, ToBool, ToInt.  (The flags'
  // letter case, blanks and other spellings: velk_policy_processor_test.)
  const struct {
    const char* attribute;
    const char* value;
    bool flag;
    int number;
  } cases[] = {
      {"\"true\"", "true", true, 0},
      {"\"&#13;true\"", "\rtrue", false, 0},
      {"\"1\"", "1", false, 1},
      {"\" &#9; \"", "", false, 0},
      {"\"514\"", "514", false, 514},
      {"\"-3\"", "-3", false, -3},
      {"\"12abc\"", "12abc", false, 12},
      {"\"abc\"", "abc", false, 0},
      {"\"0x10\"", "0x10", false, 0},
      {"\"99999999999\"", "99999999999", false, 2147483647},
      {"\"-99999999999\"", "-99999999999", false, -2147483647 - 1},
      {"\"caf\xC3\xA9 &#x1F600;\"", "caf\xC3\xA9 \xF0\x9F\x98\x80", false, 0},
      {"\"a &amp; &lt;b&gt;\"", "a & <b>", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attribute);
    xercesc::DOMNamedNodeMap& attributes =
        AttributesOf(std::string("<e v=") + c.attribute + "/>");
    CDomAttributeString reader;
    EXPECT_TRUE(reader.SetValue(attributes, "v"));
    EXPECT_TRUE(reader.m_bFound);
    EXPECT_EQ(reader.m_strValue, c.value);
    EXPECT_STREQ(reader.ToString(), c.value);
    EXPECT_EQ(reader.length(), std::strlen(c.value));
    EXPECT_EQ(reader.ToBool(), c.flag);
    EXPECT_EQ(reader.ToInt(), c.number);
  }
}

TEST_F(AttributeTest, MissingAttributeKeepsThePreviousValue) {
  xercesc::DOMNamedNodeMap& attributes =
      AttributesOf("<e enabled=\"true\" port=\"514\"/>");
  CDomAttributeString reader;
  EXPECT_FALSE(reader.m_bFound);
  EXPECT_EQ(reader.m_strValue, "");

  ASSERT_TRUE(reader.SetValue(attributes, "enabled"));
  EXPECT_FALSE(reader.SetValue(attributes, "healthEvent"));
  EXPECT_FALSE(reader.m_bFound);
  EXPECT_TRUE(reader.ToBool());

  EXPECT_FALSE(reader.SetValue(attributes, ""));
  EXPECT_FALSE(reader.SetValue(attributes, nullptr));
  EXPECT_FALSE(reader.m_bFound);
  EXPECT_EQ(reader.m_strValue, "true");

  // Names match exactly: no case folding, no prefix matching.
  EXPECT_FALSE(reader.SetValue(attributes, "Enabled"));
  EXPECT_FALSE(reader.SetValue(attributes, "enable"));

  CDomAttributeString direct(attributes, "port");
  EXPECT_TRUE(direct.m_bFound);
  EXPECT_EQ(direct.ToInt(), 514);
  CDomAttributeString absent(attributes, "server");
  EXPECT_FALSE(absent.m_bFound);
  EXPECT_EQ(absent.m_strValue, "");
}

}  // namespace
