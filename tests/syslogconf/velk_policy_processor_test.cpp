// Runs inside the sandbox: the file route reads /etc/tesk and /tmp/ppd.
#include "syslogconf/velk_policy_processor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "support/policy_fixture.h"
#include "velkconf/velkconf.h"

namespace {

const std::string kOpen = "<policy xmlns='" VELKCONF_POLICY_NAMESPACE "'>";

std::string ServerXml(const std::string& attributes) {
  return "<RemoteSyslogServer " + attributes + "/>";
}

class VelkPolicyProcessorTest : public HostTest {
 protected:
  int ProcessBuffer(VelkPolicyProcessor& p, const std::string& xml) {
    return p.Process(reinterpret_cast<const unsigned char*>(xml.data()),
                     static_cast<unsigned int>(xml.size()));
  }
  // Each record as flags (capital: on) and its texts.
  static std::vector<std::string> Servers(const VelkPolicyProcessor& p) {
    std::vector<std::string> out;
    for (const auto& s : p.m_vecSyslogServers) {
      out.push_back(std::string(s.enabled ? "E" : "e") +
                    (s.healthEvent ? "H" : "h") + (s.systemEvent ? "S" : "s") +
                    (s.securityEvent ? "C" : "c") + " (" + s.proto + ")" +
                    s.server + ":" + s.port);
    }
    return out;
  }
};

TEST_F(VelkPolicyProcessorTest, ReadsTheModel) {
  const std::string full =
      "enabled='true' healthEvent='true' systemEvent='true' "
      "securityEvent='true' "
      "proto='tcp' port='514' server='log.example'";
  const std::string prefixed = "xmlns:v='" VELKCONF_POLICY_NAMESPACE "' ";
  const struct {
    const char* name;
    std::string body;  // between the policy element's tags
    bool localLog;
    const char* maxSize;
    std::vector<std::string> servers;
  } cases[] = {
      // clang-format off
      {"empty policy", "", false, "", {}},
      {"local log", "<LocalLog enabled='true' maxSize=' 10MB\t'/>", true, "10MB", {}},
      {"flags in any case, trimmed",
       "<LocalLog enabled=' TRUE ' maxSize='1'/>" +
           ServerXml("enabled='True' healthEvent='\ttrue' systemEvent='tRuE' "
                     "securityEvent='FALSE' proto=' udp ' port=' 514 ' server=' 10.0.0.1 '"),
       true, "1", {"EHSc (udp)10.0.0.1:514"}},
      {"other texts are false",
       "<LocalLog enabled='1' maxSize=''/>" +
           ServerXml("enabled='yes' healthEvent='on' systemEvent='' "
                     "securityEvent='true&#10;' proto='TCP' port='abc' server=''"),
       false, "", {"ehsc (TCP):abc"}},
      {"servers in document order, disabled ones too",
       ServerXml(full) +
           ServerXml("enabled='false' healthEvent='true' systemEvent='false' "
                     "securityEvent='false' proto='udp' port='1' server='b'") +
           ServerXml("enabled='true' healthEvent='false' systemEvent='false' "
                     "securityEvent='false' proto='udp' port='2' server='c'"),
       false, "", {"EHSC (tcp)log.example:514", "eHsc (udp)b:1", "Ehsc (udp)c:2"}},
      {"first LocalLog only",
       "<LocalLog enabled='true' maxSize='first'/><LocalLog enabled='false' maxSize='x'/>",
       true, "first", {}},
      {"nested elements are found",
       "<group><LocalLog enabled='true' maxSize='5'/><deeper>" + ServerXml(full) +
           "</deeper></group>",
       true, "5", {"EHSC (tcp)log.example:514"}},
      {"prefixed elements are not",
       "<v:LocalLog " + prefixed + "enabled='true' maxSize='5'/><v:RemoteSyslogServer " +
           prefixed + full + "/>",
       false, "", {}},
      // Each absent attribute reads as false or empty, never as the value
      // read just before it.
      {"absent attributes",
       "<LocalLog enabled='true'/>" + ServerXml("enabled='true' systemEvent='true' port='514'"),
       true, "", {"EhSc ():514"}},
      {"absent attributes after a full server",
       ServerXml(full) + ServerXml("healthEvent='true' server='x'"),
       false, "", {"EHSC (tcp)log.example:514", "eHsc ()x:"}},
      // clang-format on
  };
  for (const auto& c : cases) {
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
  ASSERT_EQ(
      ProcessBuffer(p, "<config><LocalLog enabled='true' maxSize='1'/>" +
                           ServerXml("enabled='true' healthEvent='true'") +
                           "</config>"),
      0);
  EXPECT_FALSE(p.m_bLocalLogEnabled);
  EXPECT_EQ(p.m_vecSyslogServers.size(), 0u);
  EXPECT_EQ(
      logger.lines.back(),
      (RecordingLogger::Line{
          12,
          "Could not find policy element policy in "
          "/etc/tesk/policies/velk/velk.xml.  Assuming nothing to configure"}));
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
  // attributes are the defaults below, with one replaced or "<absent>".
  int WithServer(const std::string& name, const std::string& value) {
    std::map<std::string, std::string> attributes = {
        {"enabled", "true"},      {"healthEvent", "true"},
        {"systemEvent", "false"}, {"securityEvent", "false"},
        {"proto", "udp"},         {"port", "514"},
        {"server", "log.example"}};
    if (value == "<absent>") {
      attributes.erase(name);
    } else {
      attributes[name] = value;
    }
    std::string xml = kOpen + "<RemoteSyslogServer";
    for (const auto& a : attributes)
      xml += " " + a.first + "=\"" + a.second + "\"";
    WriteFile(kPolicyFile, xml + "/></policy>");
    VelkPolicyProcessor p;
    return p.Process(nullptr, 0);
  }
};

// rc 0: accepted, 1: refused.
TEST_F(PolicySchemaTest, AcceptsWhatTheReaderReadsAsMeantAndNothingElse) {
  const std::string label(
      63, 'a');  // labels of 63 and names of 253 characters at most
  const std::string longest =
      label + "." + label + "." + label + "." + std::string(61, 'b');
  const struct {
    const char* name;
    std::vector<std::string> values;
    int rc;
  } cases[] = {
      // clang-format off
      {"enabled", {"TRUE", " False\t", "&#9;true"}, 0},
      {"proto", {"tcp", " udp ", "tls"}, 0},
      {"port", {"1", "65535", "10514"}, 0},
      {"server", {"localhost", "log-1.example.org", "192.168.0.1", "[::1]", "[2001:db8::17]",
                  "[fe80:0:0:0:0:0:0:1]", "[::ffff:192.0.2.1]", " 10.0.0.1\t", longest, label}, 0},
      {"enabled", {"<absent>", "1", "yes", "", "true&#10;"}, 1},
      {"healthEvent", {"<absent>"}, 1},
      {"systemEvent", {"<absent>"}, 1},
      {"securityEvent", {"<absent>", "truee"}, 1},
      {"proto", {"<absent>", "TCP", "TLS", ""}, 1},
      {"port", {"<absent>", "0", "65536", "0514", "514x", "-1", ""}, 1},
      {"server", {"<absent>", "", "a b", "host&#10;*.* |/bin/sh", "host\\x", "-host", "host-",
                  "::1", "[::1", "[::g]", "[1:2:3:4:5:6:7:8:9]", "host:514",
                  "h;RSYSLOG_TraditionalFormat", "a.b..c", longest + "b", label + "a"}, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    for (const std::string& value : c.values) {
      SCOPED_TRACE(std::string(c.name) + "=" + value);
      EXPECT_EQ(WithServer(c.name, value), c.rc);
    }
  }
  VelkPolicyProcessor p;
  for (const char* local : {"<LocalLog enabled='true'/>",
                            "<LocalLog enabled='true' maxSize='a&#10;b'/>"}) {
    WriteFile(kPolicyFile, kOpen + local + "</policy>");
    EXPECT_EQ(p.Process(nullptr, 0), 1) << local;
  }
}

}  // namespace
