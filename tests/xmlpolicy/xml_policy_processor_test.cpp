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
const std::string kTarget = "/etc/tesk/policies/velk/velk.xml";
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
    root = velk::Utf16ZToUtf8<char16_t>(doc->getDocumentElement()->getTagName());
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

struct PathCase {
  const char* fileName;      // nullptr: not answered
  const char* relativePath;
  const char* schemaName;
  const char* root;          // RepositoryRoot; nullptr: not answered
  const char* target;
  const char* temp;
  const char* schemaLocation;  // after the namespace and a blank; "" = none
};

TEST_F(XmlPolicyProcessorTest, ConstructorComputesThePaths) {
  const PathCase cases[] = {
      {"a/b.xml", "a", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml",
       "/tmp/ppd/b.xml", "/etc/tesk/schemas/a/b.xsd"},
      {"a/b.xml", "a", "b.xsd", "/opt/repo", "/opt/repo/policies/a/b.xml",
       "/tmp/ppd/b.xml", "/opt/repo/schemas/a/b.xsd"},
      {"a/b.xml", "a", "b.xsd", "/opt/repo/", "/opt/repo//policies/a/b.xml",
       "/tmp/ppd/b.xml", "/opt/repo//schemas/a/b.xsd"},
      // The rest after relativePath, wherever it stands in the file name.
      {"x/a/b.xml", "a", "b.xsd", nullptr, "/etc/tesk/policies/x/a/b.xml",
       "/tmp/ppd/b.xml", "/etc/tesk/schemas/a/b.xsd"},
      {"ab.xml", "a", "", nullptr, "/etc/tesk/policies/ab.xml",
       "/tmp/ppdb.xml", ""},
      // relativePath not in the file name: no temp copy.
      {"a/b.xml", "zzz", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml", "",
       "/etc/tesk/schemas/zzz/b.xsd"},
      {"a/b.xml", "a/b.xml/c", "b.xsd", nullptr, "/etc/tesk/policies/a/b.xml",
       "", "/etc/tesk/schemas/a/b.xml/c/b.xsd"},
      // The schema does not depend on the file name.
      {nullptr, "a", "b.xsd", nullptr, "", "", "/etc/tesk/schemas/a/b.xsd"},
      {nullptr, nullptr, nullptr, nullptr, "", "", ""},
  };
  for (const PathCase& c : cases) {
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
    EXPECT_EQ(p.m_strNamespace, kNs);
    EXPECT_EQ(p.m_strElementName, "policy");
    EXPECT_EQ(p.m_strTargetPath, c.target);
    EXPECT_EQ(p.m_strTempPath, c.temp);
    EXPECT_EQ(p.m_strSchemaLocation,
              *c.schemaLocation ? kNs + " " + c.schemaLocation : "");
    EXPECT_EQ(p.m_strErrorMsg, "");
  }
  EXPECT_EQ(info.asked.back(), kNs + "|schemaName");
}

TEST_F(XmlPolicyProcessorTest, BufferIsParsedWithoutValidation) {
  LayOutRepository();  // a schema that the document below would fail
  ProbeProcessor p;
  ASSERT_EQ(ProcessBuffer(p, "<policy><anything/></policy>"), 0);
  EXPECT_EQ(p.parses, 1);
  EXPECT_EQ(p.root, "policy");
  EXPECT_EQ(logger.Texts(),
            (std::vector<std::string>{"Found policy from target directory",
                                      "Process: stream size = 28",
                                      "Parsing policy from input stream"}));
}

TEST_F(XmlPolicyProcessorTest, ParseResultIsTheResult) {
  ProbeProcessor p;
  p.result = 7;
  EXPECT_EQ(ProcessBuffer(p, "<policy/>"), 7);
  EXPECT_EQ(p.m_strErrorMsg, "");
}

TEST_F(XmlPolicyProcessorTest, FileRouteValidatesAgainstTheSchema) {
  LayOutRepository();
  WriteFile(kTarget, kValidPolicy);
  ProbeProcessor p;
  for (unsigned int size : {0u, 5u}) {
    SCOPED_TRACE(size);
    logger.lines.clear();
    const unsigned char* buffer =
        size == 0 ? reinterpret_cast<const unsigned char*>("x") : nullptr;
    ASSERT_EQ(p.Process(buffer, size), 0) << p.m_strErrorMsg;
    EXPECT_EQ(logger.Texts(),
              (std::vector<std::string>{
                  "Found policy from target directory",
                  "Process: stream size = " + std::to_string(size),
                  "Loading policy from file " + kTarget,
                  "External schema location: " + kNs + " " + kSchema}));
  }
  EXPECT_EQ(p.parses, 2);

  // The temp copy wins over the repository's file.
  WriteFile(kTemp, "<policy xmlns='" + kNs + "'/>");
  logger.lines.clear();
  ASSERT_EQ(p.Process(nullptr, 0), 0) << p.m_strErrorMsg;
  EXPECT_EQ(logger.Texts()[0], "Found policy from temp directory");
  EXPECT_EQ(logger.Texts()[2], "Loading policy from file " + kTemp);
}

TEST_F(XmlPolicyProcessorTest, BufferWinsOverFilesButTheChoiceIsLogged) {
  LayOutRepository();
  WriteFile(kTemp, "not xml");
  ProbeProcessor p;
  ASSERT_EQ(ProcessBuffer(p, "<policy/>"), 0) << p.m_strErrorMsg;
  EXPECT_EQ(logger.Texts()[0], "Found policy from temp directory");
  EXPECT_EQ(logger.Texts()[2], "Parsing policy from input stream");
}

// Failures: the message, and one level-1 line holding the message and the
// policy text (on the file route, its path).
struct FailureCase {
  const char* name;
  const char* policy;  // buffer; nullptr: the file route on kTarget
  const char* file;    // kTarget's content on the file route; nullptr: none
  const char* message;
};

TEST_F(XmlPolicyProcessorTest, FailuresBecomeMessagesAndOneLogLine) {
  const std::string sax = "SAXParseException while parsing input stream: ";
  const FailureCase cases[] = {
      {"not well-formed", "<policy><LocalLog></policy>", nullptr,
       "expected end of tag 'LocalLog'"},
      {"no root", "   ", nullptr,
       "invalid document structure"},
      {"undefined prefix", "<p:policy/>", nullptr,
       "prefix 'p' can not be resolved to namespace URI"},
      {"text after the root", "<policy/>x", nullptr,
       "comment or processing instruction expected"},
      {"invalid per schema", nullptr,
       "<policy xmlns='http://policy.velk.example/vorn/Korvanta/velk'>"
       "<LocalLog enabled='yes' maxSize='1'/></policy>",
       "value 'yes' does not match regular expression facet "
       "'[ \\t]*([Tt][Rr][Uu][Ee]|[Ff][Aa][Ll][Ss][Ee])[ \\t]*'"},
      {"missing file", nullptr, nullptr, ""},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    LayOutRepository();
    ::unlink(kTarget.c_str());
    if (c.file) WriteFile(kTarget, c.file);
    logger.lines.clear();
    ProbeProcessor p;
    const int rc = c.policy ? ProcessBuffer(p, c.policy) : p.Process(nullptr, 0);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(p.parses, 0);
    EXPECT_EQ(p.m_strErrorMsg.rfind(sax, 0), 0u) << p.m_strErrorMsg;
    if (*c.message) {
      EXPECT_EQ(p.m_strErrorMsg, sax + c.message);
    }
    ASSERT_EQ(LinesAt(1).size(), 1u);
    EXPECT_EQ(LinesAt(1)[0],
              p.m_strErrorMsg + "\n" + (c.policy ? c.policy : kTarget));
    EXPECT_EQ(logger.formats.back(), "%s\n%s");
  }
}

TEST_F(XmlPolicyProcessorTest, BufferIsReadNoFurtherThanItsSize) {
  const std::string xml = "<policy><LocalLog></policy>TRAILING";
  ProbeProcessor p;
  ASSERT_EQ(p.Process(reinterpret_cast<const unsigned char*>(xml.data()), 27),
            1);
  EXPECT_EQ(LinesAt(1)[0], p.m_strErrorMsg + "\n<policy><LocalLog></policy>");
}

TEST_F(XmlPolicyProcessorTest, UnansweredQueriesParseTheEmptyPath) {
  ProbeProcessor p;
  EXPECT_EQ(p.Process(nullptr, 0), 1);
  EXPECT_EQ(logger.Texts()[0], "Found policy from target directory");
  EXPECT_EQ(logger.Texts()[2], "Loading policy from file ");
  EXPECT_EQ(logger.Texts()[3], "External schema location: ");
  EXPECT_FALSE(p.m_strErrorMsg.empty());
}

TEST_F(XmlPolicyProcessorTest, SuccessClearsAnEarlierFailure) {
  ProbeProcessor p;
  ASSERT_EQ(ProcessBuffer(p, "<policy>"), 1);
  ASSERT_FALSE(p.m_strErrorMsg.empty());
  ASSERT_EQ(ProcessBuffer(p, "<policy/>"), 0);
  EXPECT_EQ(p.m_strErrorMsg, "");
}

TEST_F(XmlPolicyProcessorTest, MissingSchemaFailsTheFileRoute) {
  LayOutRepository();
  ::unlink(kSchema.c_str());
  WriteFile(kTarget, kValidPolicy);
  ProbeProcessor p;
  EXPECT_EQ(p.Process(nullptr, 0), 1);
  EXPECT_EQ(p.parses, 0);
  EXPECT_EQ(p.m_strErrorMsg.rfind("SAXParseException while parsing input stream: ", 0), 0u)
      << p.m_strErrorMsg;
}

}  // namespace
