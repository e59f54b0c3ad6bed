// Runs inside the sandbox: the file route reads /etc/tesk and /tmp/ppd.
#include "syslogconf/velk_policy_processor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/policy_fixture.h"
#include "velkconf/velkconf.h"

namespace {

typedef VelkPolicyProcessor::SyslogServer_t Server;

const std::string kOpen =
    "<policy xmlns='http://policy.velk.example/vorn/Korvanta/velk'>";

std::string ServerXml(const std::string& attributes) {
  return "<RemoteSyslogServer " + attributes + "/>";
}

std::string Describe(const Server& s) {
  return std::string(s.enabled ? "E" : "e") + (s.healthEvent ? "H" : "h") +
         (s.systemEvent ? "S" : "s") + (s.securityEvent ? "C" : "c") + " (" +
         s.proto + ")" + s.server + ":" + s.port;
}

class VelkPolicyProcessorTest : public HostTest {
 protected:
  int ProcessBuffer(VelkPolicyProcessor& p, const std::string& xml) {
    return p.Process(reinterpret_cast<const unsigned char*>(xml.data()),
                     static_cast<unsigned int>(xml.size()));
  }
  std::vector<std::string> Servers(const VelkPolicyProcessor& p) {
    std::vector<std::string> out;
    for (const Server& s : p.m_vecSyslogServers) out.push_back(Describe(s));
    return out;
  }
};

struct ModelCase {
  const char* name;
  std::string body;  // between the policy element's tags
  bool localLog;
  const char* maxSize;
  std::vector<std::string> servers;  // Describe() of each record
};

TEST_F(VelkPolicyProcessorTest, ReadsTheModel) {
  const std::string full =
      "enabled='true' healthEvent='true' systemEvent='true' "
      "securityEvent='true' proto='tcp' port='514' server='log.example'";
  const ModelCase cases[] = {
      {"empty policy", "", false, "", {}},
      {"local log", "<LocalLog enabled='true' maxSize=' 10MB\t'/>", true, "10MB",
       {}},
      {"flags in any case, trimmed",
       "<LocalLog enabled=' TRUE ' maxSize='1'/>" +
           ServerXml("enabled='True' healthEvent='\ttrue' systemEvent='tRuE' "
                     "securityEvent='FALSE' proto=' udp ' port=' 514 ' "
                     "server=' 10.0.0.1 '"),
       true, "1", {"EHSc (udp)10.0.0.1:514"}},
      {"other texts are false",
       "<LocalLog enabled='1' maxSize=''/>" +
           ServerXml("enabled='yes' healthEvent='on' systemEvent='' "
                     "securityEvent='true&#10;' proto='TCP' port='abc' "
                     "server=''"),
       false, "", {"ehsc (TCP):abc"}},
      {"servers in document order, disabled ones too",
       ServerXml(full) +
           ServerXml("enabled='false' healthEvent='true' systemEvent='false' "
                     "securityEvent='false' proto='udp' port='1' server='b'") +
           ServerXml("enabled='true' healthEvent='false' systemEvent='false' "
                     "securityEvent='false' proto='udp' port='2' server='c'"),
       false, "", {"EHSC (tcp)log.example:514", "eHsc (udp)b:1", "Ehsc (udp)c:2"}},
      {"first LocalLog only",
       "<LocalLog enabled='true' maxSize='first'/>"
       "<LocalLog enabled='false' maxSize='second'/>",
       true, "first", {}},
      {"nested elements are found",
       "<group><LocalLog enabled='true' maxSize='5'/><deeper>" +
           ServerXml(full) + "</deeper></group>",
       true, "5", {"EHSC (tcp)log.example:514"}},
      {"prefixed elements are not",
       "<v:LocalLog xmlns:v='http://policy.velk.example/vorn/Korvanta/velk' "
       "enabled='true' maxSize='5'/>"
       "<v:RemoteSyslogServer "
       "xmlns:v='http://policy.velk.example/vorn/Korvanta/velk' " +
           full + "/>",
       false, "", {}},
      // Each absent attribute reads as false or empty, never as the value
      // read just before it.
      {"absent attributes",
       "<LocalLog enabled='true'/>" +
           ServerXml("enabled='true' systemEvent='true' port='514'"),
       true, "", {"EhSc ():514"}},
      {"absent attributes after a full server",
       ServerXml(full) + ServerXml("healthEvent='true' server='x'"),
       false, "", {"EHSC (tcp)log.example:514", "eHsc ()x:"}},
  };
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.name);
    VelkPolicyProcessor p;
    ASSERT_EQ(ProcessBuffer(p, kOpen + c.body + "</policy>"), 0)
        << p.m_strErrorMsg;
    EXPECT_EQ(p.m_bLocalLogEnabled, c.localLog);
    EXPECT_EQ(p.m_strLocalLogMaxSize, c.maxSize);
    EXPECT_EQ(Servers(p), c.servers);
    EXPECT_EQ(LinesAt(1), std::vector<std::string>());
  }
}

TEST_F(VelkPolicyProcessorTest, NoPolicyElementMeansNothingToConfigure) {
  info.Set("fileName", "velk/velk.xml");
  VelkPolicyProcessor p;
  ASSERT_EQ(ProcessBuffer(p, "<config><LocalLog enabled='true' maxSize='1'/>" +
                                 ServerXml("enabled='true' healthEvent='true'") +
                                 "</config>"),
            0);
  EXPECT_FALSE(p.m_bLocalLogEnabled);
  EXPECT_EQ(p.m_vecSyslogServers.size(), 0u);
  EXPECT_EQ(logger.Texts().back(),
            "Could not find policy element policy in "
            "/etc/tesk/policies/velk/velk.xml.  Assuming nothing to configure");
  EXPECT_EQ(logger.lines.back().level, 12);
}

// The schema on the file route: what it lets through is what the reader
// reads as meant and rsyslogd accepts.
class PolicySchemaTest : public VelkPolicyProcessorTest {
 protected:
  void SetUp() override {
    VelkPolicyProcessorTest::SetUp();
    LayOutRepository();
  }
  // The result of processing a policy file with one server whose
  // attributes are the defaults below, with one replaced.
  int WithServer(const std::string& name, const std::string& value) {
    std::map<std::string, std::string> attributes = {
        {"enabled", "true"},     {"healthEvent", "true"},
        {"systemEvent", "false"}, {"securityEvent", "false"},
        {"proto", "udp"},         {"port", "514"},
        {"server", "log.example"}};
    if (value == "<absent>") {
      attributes.erase(name);
    } else {
      attributes[name] = value;
    }
    std::string xml = kOpen + "<RemoteSyslogServer";
    for (const auto& a : attributes) {
      xml += " " + a.first + "=\"" + a.second + "\"";
    }
    WriteFile("/etc/tesk/policies/velk/velk.xml", xml + "/></policy>");
    VelkPolicyProcessor p;
    return p.Process(nullptr, 0);
  }
};

TEST_F(PolicySchemaTest, ExamplePoliciesAreValid) {
  for (const char* example : {"/examples/velk-policy.xml", "/examples/demo.xml"}) {
    SCOPED_TRACE(example);
    WriteFile("/etc/tesk/policies/velk/velk.xml",
              ReadFile(SourceDir() + example));
    VelkPolicyProcessor p;
    EXPECT_EQ(p.Process(nullptr, 0), 0) << p.m_strErrorMsg;
    EXPECT_TRUE(p.m_bLocalLogEnabled);
    EXPECT_GE(p.m_vecSyslogServers.size(), 3u);
  }
}

TEST_F(PolicySchemaTest, AcceptsWhatTheReaderReadsAsMeant) {
  const std::pair<const char*, const char*> valid[] = {
      {"enabled", "TRUE"},       {"enabled", " False\t"},
      {"enabled", "&#9;true"},   {"proto", "tcp"},
      {"proto", " udp "},        {"port", "1"},
      {"port", "65535"},         {"port", "10514"},
      {"server", "localhost"},   {"server", "log-1.example.org"},
      {"server", "192.168.0.1"}, {"server", "[::1]"},
      {"server", "[2001:db8::17]"}, {"server", "[fe80:0:0:0:0:0:0:1]"},
      {"server", "[::ffff:192.0.2.1]"}, {"server", " 10.0.0.1\t"},
  };
  for (const auto& v : valid) {
    SCOPED_TRACE(std::string(v.first) + "=" + v.second);
    EXPECT_EQ(WithServer(v.first, v.second), 0);
  }
}

TEST_F(PolicySchemaTest, RefusesEverythingElse) {
  const std::pair<const char*, const char*> invalid[] = {
      {"enabled", "<absent>"},  {"healthEvent", "<absent>"},
      {"systemEvent", "<absent>"}, {"securityEvent", "<absent>"},
      {"proto", "<absent>"},    {"port", "<absent>"},
      {"server", "<absent>"},   {"enabled", "1"},
      {"enabled", "yes"},       {"enabled", ""},
      {"enabled", "true&#10;"}, {"securityEvent", "truee"},
      {"proto", "TCP"},         {"proto", "tls"},
      {"proto", ""},            {"port", "0"},
      {"port", "65536"},        {"port", "0514"},
      {"port", "514x"},         {"port", "-1"},
      {"port", ""},             {"server", ""},
      {"server", "a b"},        {"server", "host&#10;*.* |/bin/sh"},
      {"server", "host\\x"},    {"server", "-host"},
      {"server", "host-"},      {"server", "::1"},
      {"server", "[::1"},       {"server", "[::g]"},
      {"server", "[1:2:3:4:5:6:7:8:9]"}, {"server", "host:514"},
      {"server", "h;RSYSLOG_TraditionalFormat"},
      {"server", "a.b..c"},
  };
  for (const auto& v : invalid) {
    SCOPED_TRACE(std::string(v.first) + "=" + v.second);
    EXPECT_EQ(WithServer(v.first, v.second), 1);
  }
  // Long names: labels of 63 and names of 253 characters at most.
  const std::string label(63, 'a');
  const std::string longest = label + "." + label + "." + label + "." +
                              std::string(61, 'b');
  EXPECT_EQ(WithServer("server", longest), 0);
  EXPECT_EQ(WithServer("server", longest + "b"), 1);
  EXPECT_EQ(WithServer("server", label), 0);
  EXPECT_EQ(WithServer("server", label + "a"), 1);

  WriteFile("/etc/tesk/policies/velk/velk.xml",
            kOpen + "<LocalLog enabled='true'/></policy>");
  VelkPolicyProcessor p;
  EXPECT_EQ(p.Process(nullptr, 0), 1);
  WriteFile("/etc/tesk/policies/velk/velk.xml",
            kOpen + "<LocalLog enabled='true' maxSize='a&#10;b'/></policy>");
  EXPECT_EQ(p.Process(nullptr, 0), 1);
}

}  // namespace
