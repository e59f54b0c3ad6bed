// A whole policy update through the entry points, as a host drives it:
// hostile policies and the generated file against rsyslogd's own check.
// Runs inside the sandbox.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "support/loopback_listener.h"
#include "support/policy_fixture.h"
#include "velkconf/velkconf.h"

namespace {

const std::string kSecret = "/etc/tesk/secret.key";
const char* const kSecretText = "S3CR3T-9f1c";
const std::string kOpen = "<policy xmlns='" VELKCONF_POLICY_NAMESPACE "'>";

std::string LastError() {
  char* message = nullptr;
  GetErrorMessage(&message);
  const std::string text = message;
  ReleaseErrorMessage(message);
  return text;
}

long ProcessText(const std::string& xml) {
  return Process(VELKCONF_POLICY_NAMESPACE,
                 reinterpret_cast<const unsigned char*>(xml.data()),
                 static_cast<unsigned int>(xml.size()));
}

class PolicyPipelineTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    LayOutRepository();
    WriteFile(kIn, kTemplate);
    WriteFile(kLive, "# the live configuration\n");
    ::unlink(kNew.c_str());
    ::mkdir("/tmp/velk-rsyslog", 0755);
  }
};

// Each hostile policy fails, on the route it comes by, and leaves every
// file as it was; neither the secret nor the text it tried to smuggle into
// the configuration shows in the message or the log.
TEST_F(PolicyPipelineTest, HostilePoliciesChangeNothingAndLeakNothing) {
  WriteFile(kSecret, kSecretText);
  LoopbackListener listener;
  const std::string server =
      "<RemoteSyslogServer enabled='true' healthEvent='true' "
      "systemEvent='true' securityEvent='true' proto='udp' ";
  std::string laughs = "<!DOCTYPE policy [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "'>";
  }
  laughs += "]>";
  const std::string refused =
      "SAXParseException while parsing input stream: invalid document "
      "structure";
  const std::string invalid = "Error: Invalid character in the ";
  // message: the exact message on the route(s) given; "" any, non-empty.
  enum Routes { kBuffer = 1, kFile = 2, kBoth = 3 };
  const struct {
    const char* name;
    std::string xml;
    Routes routes;
    std::string message;
  } cases[] = {
      {"entity naming a secret",
       "<!DOCTYPE policy [<!ENTITY k SYSTEM 'file://" + kSecret + "'>]>" +
           kOpen + "<LocalLog enabled='true' maxSize='&k;'/>" + server +
           "port='514' server='&k;'/></policy>",
       kBoth, refused},
      {"parameter entity naming a secret",
       "<!DOCTYPE policy [<!ENTITY % k SYSTEM '" + kSecret + "'>%k;]>" + kOpen +
           "</policy>",
       kBoth, refused},
      {"document type over HTTP",
       "<!DOCTYPE policy SYSTEM '" + listener.Url("p.dtd") + "'>" + kOpen +
           "</policy>",
       kBoth, refused},
      {"billion laughs",
       laughs + kOpen + "<LocalLog enabled='true' maxSize='&l9;'/></policy>",
       kBoth, refused},
      // Without validation a hint means nothing; with it, only the
      // configured schema is read.
      {"schema hints over HTTP",
       "<policy xmlns='" VELKCONF_POLICY_NAMESPACE
       "' xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
       "xsi:schemaLocation='" VELKCONF_POLICY_NAMESPACE " " +
           listener.Url("velk.xsd") + " urn:x " + listener.Url("x.xsd") +
           "'><x:y xmlns:x='urn:x'/></policy>",
       kFile, ""},
      {"line feed in a server",
       kOpen + server +
           "port='514' server='a:1;VelkFormat&#10;*.* action(type=\"omprog\" "
           "binary=\"/bin/sh\")&#10;#'/>"
           "</policy>",
       kBoth, invalid + "server text of remote syslog server 1 "},
  };
  for (const auto& c : cases) {
    for (const Routes route : {kBuffer, kFile}) {
      if ((c.routes & route) == 0) continue;
      SCOPED_TRACE(std::string(c.name) + (route == kFile ? " (file)" : ""));
      logger.lines.clear();
      WriteFile(kPolicyFile, c.xml);
      PreProcess();
      const long rc = route == kFile
                          ? Process(VELKCONF_POLICY_NAMESPACE, nullptr, 0)
                          : ProcessText(c.xml);
      EXPECT_NE(rc, 0);
      EXPECT_FALSE(Exists(kNew));
      EXPECT_EQ(ReadFile(kLive), "# the live configuration\n");
      EXPECT_EQ(listener.Connections(), 0);
      const std::string message = LastError();
      EXPECT_FALSE(message.empty());
      // The schema refuses on the file route what Configure would refuse.
      if (!c.message.empty() && (route == kBuffer || c.message == refused)) {
        EXPECT_EQ(message, c.message);
      }
      std::vector<std::string> texts = logger.Texts();
      texts.push_back(message);
      for (const std::string& text : texts) {
        EXPECT_EQ(text.find(kSecretText), std::string::npos) << text;
        EXPECT_EQ(text.find("lollol"), std::string::npos);
      }
      // The smuggled text shows only as part of the policy text in the
      // one failure line of a parse that failed.
      EXPECT_EQ(LinesAt(1).size(), 1u);
      for (const std::string& line : LinesAt(12)) {
        EXPECT_EQ(line.find("/bin/sh"), std::string::npos) << line;
      }
    }
  }
}

// The example policy, from the host's memory and from the repository,
// yields a configuration that rsyslogd accepts; committed, it is live.
TEST_F(PolicyPipelineTest, ExamplePolicyGivesAConfigurationRsyslogdAccepts) {
  const std::string example =
      ReadFile(SourceDir() + "/examples/velk-policy.xml");
  const std::string expected =
      kTemplate +
      "\nlocal5.* -/var/zev/velk.log\nlocal6.* -/var/zev/velk.log\nlocal7.* "
      "-/var/zev/velk.log\n"
      "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\nlocal5.* "
      "@monitor.branch.example:514;VelkFormat\n"
      "local6.* @@10.20.0.15:6514;VelkFormat\nlocal7.* "
      "@@10.20.0.15:6514;VelkFormat\n"
      "local7.* @@[2001:db8:40::25]:10514;VelkFormat\n";
  WriteFile(kPolicyFile, example);
  // The default form passes the daemon's check too.
  ASSERT_EQ(ProcessText(example), 0) << LastError();
  EXPECT_EQ(
      std::system(("rsyslogd -N1 -f " + kNew + " >/dev/null 2>&1").c_str()), 0);
  params.values["SyslogForwardQueue"] = {0, "none"};  // the classic lines
  for (const bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "file" : "buffer");
    ::unlink(kNew.c_str());
    const long rc = fromFile ? Process(VELKCONF_POLICY_NAMESPACE, nullptr, 0)
                             : ProcessText(example);
    ASSERT_EQ(rc, 0) << LastError();
    EXPECT_EQ(ReadFile(kNew), expected);
    EXPECT_EQ(
        std::system(("rsyslogd -N1 -f " + kNew + " >/dev/null 2>&1").c_str()),
        0);
  }
  EXPECT_EQ(Commit(), 0);
  EXPECT_EQ(ReadFile(kLive), expected);
}

}  // namespace
