// Runs inside the sandbox: lays out /etc/tesk and /tmp/ppd as a sensor has
// them.
#include "xmlpolicy/xml_policy_processor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <xercesc/dom/DOMElement.hpp>

#include "support/policy_fixture.h"
#include "unicode/utf16_to_utf8.h"
#include "velkconf/velkconf.h"

namespace {

const std::string kNs = VELKCONF_POLICY_NAMESPACE;
const std::string kTarget = kPolicyFile;
const std::string kTemp = "/tmp/ppd/velk.xml";
const std::string kSchema = "/etc/tesk/schemas/velk/velk.xsd";

const char* const kValidPolicy =
    "<policy xmlns='http://policy.velk.example/vorn/Korvanta/velk'>"
    "<LocalLog enabled='true' maxSize='10MB'/></policy>";

// Records what the base class hands to Parse.
class ProbeProcessor : public XmlPolicyProcessor {
 public:
  ProbeProcessor() : XmlPolicyProcessor(kNs, "policy") {}
  int Parse(xercesc::DOMDocument* doc) override {
    ++parses;
    root =
        velk::Utf16ZToUtf8<char16_t>(doc->getDocumentElement()->getTagName());
    return result;
  }
  int result = 0;
  int parses = 0;
  std::string root;
};

class XmlPolicyProcessorTest : public HostTest {
 protected:
  int ProcessBuffer(ProbeProcessor& p, const std::string& xml) {
    return p.Process(reinterpret_cast<const unsigned char*>(xml.data()),
                     static_cast<unsigned int>(xml.size()));
  }
  void TearDown() override {
    ::unlink(kTarget.c_str());
    ::unlink(kTemp.c_str());
    HostTest::TearDown();
  }
};

TEST_F(XmlPolicyProcessorTest, ConstructorComputesThePaths) {
  // fileName, relativePath, schemaName, RepositoryRoot (nullptr: not
  // answered); target, temp and schema paths ("": none).
  const struct {
    const char *fileName, *relativePath, *schemaName, *root, *target, *temp,
        *schema;
  } cases[] = {
      // clang-format off
      {"a/b.xml", "a", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml", "/tmp/ppd/b.xml",
          "/etc/tesk/schemas/a/b.xsd"},
      {"a/b.xml", "a", "b.xsd", "/opt/repo", "/opt/repo/policies/a/b.xml", "/tmp/ppd/b.xml",
          "/opt/repo/schemas/a/b.xsd"},
      {"a/b.xml", "a", "b.xsd", "/opt/repo/", "/opt/repo//policies/a/b.xml", "/tmp/ppd/b.xml",
          "/opt/repo//schemas/a/b.xsd"},
      // The rest after relativePath, wherever it stands in the file name.
      {"x/a/b.xml", "a", "b.xsd", nullptr, "/etc/tesk/policies/x/a/b.xml", "/tmp/ppd/b.xml",
          "/etc/tesk/schemas/a/b.xsd"},
      {"ab.xml", "a", "", nullptr, "/etc/tesk/policies/ab.xml", "/tmp/ppdb.xml", ""},
      // relativePath not in the file name: no temp copy.
      {"a/b.xml", "zzz", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml", "",
          "/etc/tesk/schemas/zzz/b.xsd"},
      {"a/b.xml", "a/b.xml/c", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml", "",
          "/etc/tesk/schemas/a/b.xml/c/b.xsd"},
      // The schema does not depend on the file name.
      {nullptr, "a", "b.xsd", nullptr, "", "", "/etc/tesk/schemas/a/b.xsd"},
      {nullptr, nullptr, nullptr, nullptr, "", "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fileName ? c.fileName : "-") + " " +
                 (c.relativePath ? c.relativePath : "-") + " " +
                 (c.root ? c.root : "-"));
    info.answers.clear();
    params.values.clear();
    if (c.fileName) info.Set("fileName", c.fileName);
    if (c.relativePath) info.Set("relativePath", c.relativePath);
    if (c.schemaName) info.Set("schemaName", c.schemaName);
    if (c.root) params.values["RepositoryRoot"] = {0, c.root};
    ProbeProcessor p;
    EXPECT_EQ(p.m_strTargetPath, c.target);
    EXPECT_EQ(p.m_strTempPath, c.temp);
    EXPECT_EQ(p.m_strSchemaLocation, *c.schema ? kNs + " " + c.schema : "");
  }
  EXPECT_EQ(info.asked.back(), kNs + "|schemaName");
}

// Which route a policy comes by: a buffer with a size is parsed from memory
// without validation, anything else from the temp copy or the repository's
// file, validated against the schema.
TEST_F(XmlPolicyProcessorTest, ChoosesTheRouteAndLogsIt) {
  const std::string found = "Found policy from ",
                    load = "Loading policy from file ";
  const std::string schema = "External schema location: " + kNs + " " + kSchema;
  const struct {
    const char* name;
    bool repository;     // laid out, with a valid policy file
    const char* temp;    // the temp copy; nullptr: none
    const char* buffer;  // nullptr: none
    unsigned int size;
    int rc;
    std::vector<std::string> lines;  // level 12
  } cases[] = {
      // clang-format off
      {"buffer, not validated", true, nullptr, "<policy><anything/></policy>", 28, 0,
          {found + "target directory", "Process: stream size = 28",
          "Parsing policy from input stream"}},
      {"buffer of size 0", true, nullptr, "x", 0, 0,
          {found + "target directory", "Process: stream size = 0", load + kTarget, schema}},
      {"null buffer", true, nullptr, nullptr, 5, 0,
          {found + "target directory", "Process: stream size = 5", load + kTarget, schema}},
      {"temp copy wins over the repository", true,
          "<policy xmlns='http://policy.velk.example/vorn/Korvanta/velk'/>", nullptr, 0, 0,
          {found + "temp directory", "Process: stream size = 0", load + kTemp, schema}},
      {"buffer wins over the temp copy", true, "not xml", "<policy/>", 9, 0,
          {found + "temp directory", "Process: stream size = 9",
          "Parsing policy from input stream"}},
      {"unanswered queries parse the empty path", false, nullptr, nullptr, 0, 1,
          {found + "target directory", "Process: stream size = 0", load,
          "External schema location: "}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    info.answers.clear();
    if (c.repository) {
      LayOutRepository();
      WriteFile(kTarget, kValidPolicy);
    }
    ::unlink(kTemp.c_str());
    if (c.temp) WriteFile(kTemp, c.temp);
    logger.lines.clear();
    ProbeProcessor p;
    EXPECT_EQ(
        p.Process(reinterpret_cast<const unsigned char*>(c.buffer), c.size),
        c.rc)
        << p.m_strErrorMsg;
    EXPECT_EQ(p.parses, c.rc == 0 ? 1 : 0);
    if (c.rc == 0) {
      EXPECT_EQ(p.root, "policy");
    }
    EXPECT_EQ(p.m_strErrorMsg.empty(), c.rc == 0);
    EXPECT_EQ(LinesAt(12), c.lines);
  }
}

// Parse's result is Process's; a success clears an earlier failure.
TEST_F(XmlPolicyProcessorTest, ParseResultAndMessage) {
  ProbeProcessor p;
  ASSERT_EQ(ProcessBuffer(p, "<policy>"), 1);
  ASSERT_FALSE(p.m_strErrorMsg.empty());
  p.result = 7;
  EXPECT_EQ(ProcessBuffer(p, "<policy/>"), 7);
  EXPECT_EQ(p.m_strErrorMsg, "");
}

// Failures: the message, and one level-1 line holding the message and the
// policy text as far as its size goes (on the file route, its path).
TEST_F(XmlPolicyProcessorTest, FailuresBecomeMessagesAndOneLogLine) {
  const std::string sax = "SAXParseException while parsing input stream: ";
  const struct {
    const char* name;
    std::string policy;   // buffer; "": the file route on kTarget
    const char* file;     // kTarget's content on the file route; nullptr: none
    const char* message;  // after sax; "": any
    std::size_t size = std::string::npos;
    bool noSchema = false;
  } cases[] = {
      // clang-format off
      {"not well-formed", "<policy><LocalLog></policy>", nullptr, "expected end of tag 'LocalLog'"},
      {"no root", "   ", nullptr, "invalid document structure"},
      {"read no further than the size", "<policy><LocalLog></policy>TRAILING", nullptr,
          "expected end of tag 'LocalLog'", 27},
      {"invalid per schema", "",
          "<policy xmlns='http://policy.velk.example/vorn/Korvanta/velk'><LocalLog enabled='yes' "
          "maxSize='1'/></policy>",
          "value 'yes' does not match regular expression facet "
          "'[ \\t]*([Tt][Rr][Uu][Ee]|[Ff][Aa][Ll][Ss][Ee])[ \\t]*'"},
      {"missing file", "", nullptr, ""},
      {"missing schema", "", kValidPolicy, "", std::string::npos, true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LayOutRepository();
    if (c.noSchema) ::unlink(kSchema.c_str());
    ::unlink(kTarget.c_str());
    if (c.file) WriteFile(kTarget, c.file);
    logger.lines.clear();
    ProbeProcessor p;
    const std::string text = c.policy.substr(0, c.size);
    const int rc =
        c.policy.empty()
            ? p.Process(nullptr, 0)
            : p.Process(reinterpret_cast<const unsigned char*>(c.policy.data()),
                        static_cast<unsigned int>(text.size()));
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(p.parses, 0);
    EXPECT_EQ(p.m_strErrorMsg.rfind(sax, 0), 0u) << p.m_strErrorMsg;
    if (*c.message) {
      EXPECT_EQ(p.m_strErrorMsg, sax + c.message);
    }
    EXPECT_EQ(LinesAt(1),
              std::vector<std::string>{p.m_strErrorMsg + "\n" +
                                       (c.policy.empty() ? kTarget : text)});
    EXPECT_EQ(logger.formats.back(), "%s\n%s");
  }
}

}  // namespace
