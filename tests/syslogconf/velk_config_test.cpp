// Runs inside the sandbox: writes /etc/rsyslog.conf*, mounts over /etc and
// runs the sandbox's "service".
#include "syslogconf/velk_config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "support/policy_fixture.h"
#include "syslogconf/velk_policy_processor.h"

namespace {

typedef VelkPolicyProcessor::SyslogServer_t Server;
using Lines = std::vector<std::string>;

const std::string kLocal =
    "local5.* -/var/zev/velk.log\nlocal6.* -/var/zev/velk.log\nlocal7.* "
    "-/var/zev/velk.log\n";
const std::string kFormat =
    "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\n";

// flags: E enabled, H health, S system, C security.
Server MakeServer(const std::string& flags, const std::string& proto,
                  const std::string& server, const std::string& port) {
  auto has = [&flags](char c) { return flags.find(c) != std::string::npos; };
  Server s;
  s.enabled = has('E');
  s.healthEvent = has('H');
  s.systemEvent = has('S');
  s.securityEvent = has('C');
  s.proto = proto;
  s.server = server;
  s.port = port;
  return s;
}

// The files in /etc whose names begin with ".rsyslog": what a writer left.
// The writers' lock file stays on purpose.
Lines Leftovers() {
  Lines names;
  DIR* dir = ::opendir("/etc");
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(".rsyslog", 0) == 0 && name != ".rsyslog.conf.new.lock")
      names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

class VelkConfigTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    ::unlink(kNew.c_str());
    ::rmdir(kNew.c_str());
    WriteFile(kIn, kTemplate);
    ::mkdir("/tmp/velk-rsyslog", 0755);
  }
  bool Configure() {
    VelkConfig config;
    const bool ok = config.Configure(&policy);
    message = config.m_strErrorMessage;
    return ok;
  }

  VelkPolicyProcessor policy;
  std::string message;
};

TEST_F(VelkConfigTest, WritesTemplateThenRules) {
  const struct {
    const char* name;
    std::string templateText;
    bool localLog;
    std::vector<Server> servers;
    std::string generated;  // what follows the template
    bool checkWithRsyslogd;
  } cases[] = {
      // clang-format off
      {"nothing to configure", kTemplate, false, {}, "\n", true},
      {"local log only", kTemplate, true, {}, "\n" + kLocal, true},
      {"all servers disabled", kTemplate, true,
          {MakeServer("HSC", "tcp", "a", "1"), MakeServer("H", "udp", "b", "2")},
          "\n" + kLocal + kFormat, true},
      {"enabled server without flags", kTemplate, false, {MakeServer("E", "udp", "a", "514")},
          "\n" + kFormat, true},
      {"each flag selects its facility", kTemplate, false,
          {MakeServer("EH", "udp", "h.example", "514"),
          MakeServer("ES", "udp", "s.example", "514"),
          MakeServer("EC", "udp", "c.example", "514")},
          "\n" + kFormat + "local5.* @h.example:514;VelkFormat\n"
          "local6.* @s.example:514;VelkFormat\nlocal7.* @c.example:514;VelkFormat\n", true},
      {"two servers with every flag, in order", kTemplate, true,
          {MakeServer("EHSC", "tcp", "10.0.0.1", "6514"),
          MakeServer("EHSC", "udp", "[2001:db8::1]", "514")},
          "\n" + kLocal + kFormat + "local5.* @@10.0.0.1:6514;VelkFormat\n"
          "local6.* @@10.0.0.1:6514;VelkFormat\nlocal7.* @@10.0.0.1:6514;VelkFormat\n"
          "local5.* @[2001:db8::1]:514;VelkFormat\nlocal6.* @[2001:db8::1]:514;VelkFormat\n"
          "local7.* @[2001:db8::1]:514;VelkFormat\n", true},
      {"only the exact text tcp is TCP", kTemplate, false,
          {MakeServer("EH", "TCP", "a", "1"), MakeServer("EH", "", "b", "2"),
          MakeServer("EH", "tcp ", "c", "3")},
          "\n" + kFormat + "local5.* @a:1;VelkFormat\nlocal5.* @b:2;VelkFormat\n"
          "local5.* @c:3;VelkFormat\n", true},
      {"texts are written as they are", kTemplate, false,
          {MakeServer("EH", "udp", "", ""), MakeServer("ES", "tcp", "x y", "abc"),
          MakeServer("EH", "udp", "caf\xC3\xA9 ~!", "514")},
          "\n" + kFormat + "local5.* @:;VelkFormat\nlocal6.* @@x y:abc;VelkFormat\n"
          "local5.* @caf\xC3\xA9 ~!:514;VelkFormat\n", false},
      // Texts that would break their line are harmless where nothing is
      // written.
      {"line breaks in servers that write nothing", kTemplate, false,
          {MakeServer("HSC", "udp", "a\nb", "1\\"), MakeServer("E", "udp", "a\nb", "1\\")},
          "\n" + kFormat, false},
      {"template without a final line feed", "# site", true, {}, "\n" + kLocal, false},
      {"rules the template has already are written again",
          kTemplate + "local5.* -/var/zev/velk.log\n", true, {}, "\n" + kLocal, true},
      // An empty template has no last line to end.
      {"empty template", "", true, {MakeServer("EH", "udp", "a", "1")},
          kLocal + kFormat + "local5.* @a:1;VelkFormat\n", false},
      {"empty template, nothing to configure", "", false, {}, "", false},
      // clang-format on
  };
  WriteFile("/etc/.rsyslog.conf.new.tmp",
            "stale, partial");                        // a killed writer's
  params.values["SyslogForwardQueue"] = {0, "none"};  // the classic lines
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(kIn, c.templateText);
    policy.m_bLocalLogEnabled = c.localLog;
    policy.m_strLocalLogMaxSize = "MAXSIZE-TEXT";  // never written
    policy.m_vecSyslogServers = c.servers;
    logger.lines.clear();
    ASSERT_TRUE(Configure()) << message;
    EXPECT_EQ(message, "");
    EXPECT_EQ(ReadFile(kNew), c.templateText + c.generated);
    EXPECT_EQ(
        LinesAt(12).size(),
        1 + c.servers.size());  // every setting reported, disabled servers too
    EXPECT_EQ(logger.lines.at(0).text, std::string("Local syslog: enabled = ") +
                                           (c.localLog ? "true" : "false") +
                                           ", max size = MAXSIZE-TEXT");
    if (c.checkWithRsyslogd) {
      EXPECT_EQ(
          std::system(
              ("rsyslogd -N1 -f " + kNew + " >/tmp/check.log 2>&1").c_str()),
          0)
          << ReadFile("/tmp/check.log");
    }
  }
  EXPECT_EQ(Leftovers(), Lines());
}

// /etc as a tiny file system of its own, for a full or read-only disk; the
// template is a link to a large file outside it.
bool g_smallEtc = false;
void SmallEtc(bool readOnly) {
  WriteFile("/tmp/big-template", std::string(64 * 1024, '#') + "\n");
  ASSERT_EQ(::mount("velk-small", "/etc", "tmpfs", 0, "size=16k"), 0);
  g_smallEtc = true;
  WriteFile(kNew, "previous\n");
  WriteFile(kLive, "live\n");
  ASSERT_EQ(::symlink("/tmp/big-template", kIn.c_str()), 0);
  if (readOnly) {
    ASSERT_EQ(
        ::mount(nullptr, "/etc", nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  }
}

// Every failure leaves /etc/rsyslog.conf.new as it was and nothing else
// behind, and logs its message once at level 1 as an argument of "%s".  A
// text that would end or continue its rsyslog line fails before any file
// is opened, the template included.
TEST_F(VelkConfigTest, FailuresLeaveTheOutputAsItWas) {
  const std::string invalid = "Error: Invalid character in the ";
  const struct {
    const char* name;
    std::vector<Server> servers;
    std::function<void()> arrange;
    std::string message;
  } cases[] = {
      // clang-format off
      {"no template", {}, [] { ::unlink(kIn.c_str()); },
          "Error: Unable to open file /etc/rsyslog.conf.in "},
      {"template cannot be read", {}, [] {::unlink(kIn.c_str()); ::mkdir(kIn.c_str(), 0755);},
          "Error: Unable to write file /etc/rsyslog.conf.new: Is a directory"},
      {"output is a directory", {}, [] {::unlink(kNew.c_str()); ::mkdir(kNew.c_str(), 0755);},
          "Error: Unable to open file /etc/rsyslog.conf.new "},
      {"full disk", {}, [] { SmallEtc(false); },
          "Error: Unable to write file /etc/rsyslog.conf.new: No space left on device"},
      {"read-only disk", {}, [] { SmallEtc(true); },
          "Error: Unable to open file /etc/rsyslog.conf.new "},
      {"line feed in a server", {MakeServer("EH", "udp", "a\n*.* |/bin/sh", "514")}, nullptr,
          invalid + "server text of remote syslog server 1 "},
      {"line feed in a port", {MakeServer("EH", "udp", "a", "514\nlocal0.* /etc/shadow")}, nullptr,
          invalid + "port text of remote syslog server 1 "},
      {"backslash", {MakeServer("EHSC", "tcp", "ok", "1"), MakeServer("EC", "udp", "b\\", "514")},
          nullptr, invalid + "server text of remote syslog server 2 "},
      {"first written server counts",
          {MakeServer("E", "udp", "x", "1"), MakeServer("H", "udp", "\n", "\n"),
          MakeServer("ES", "udp", "a\rb", "1\t")}, nullptr,
          invalid + "server text of remote syslog server 3 "},
      {"NUL", {MakeServer("ES", "udp", "a", std::string("1\0", 2))}, nullptr,
          invalid + "port text of remote syslog server 1 "},
      {"DEL", {MakeServer("ES", "udp", "a\x7f", "1")}, nullptr,
          invalid + "server text of remote syslog server 1 "},
      {"unit separator", {MakeServer("ES", "udp", "a\x1f", "1")}, nullptr,
          invalid + "server text of remote syslog server 1 "},
      // clang-format on
  };
  policy.m_bLocalLogEnabled = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(kNew, "previous\n");
    WriteFile(kLive, "live\n");
    policy.m_vecSyslogServers =
        c.servers.empty()
            ? std::vector<Server>{MakeServer("EH", "udp", "a", "1")}
            : c.servers;
    if (c.arrange) {
      c.arrange();
    } else {
      ::unlink(kIn.c_str());  // not even the template is opened
    }
    logger.lines.clear();
    EXPECT_FALSE(Configure());
    EXPECT_EQ(message, c.message);
    if (!c.arrange) {
      EXPECT_EQ(logger.lines.size(), 1u);
    }
    EXPECT_EQ(LinesAt(1), Lines{c.message});
    EXPECT_EQ(logger.formats.back(), "%s");
    struct stat st;
    if (::stat(kNew.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      EXPECT_EQ(ReadFile(kNew), "previous\n");
    }
    EXPECT_EQ(ReadFile(kLive), "live\n");
    EXPECT_EQ(Leftovers(), Lines());
    if (g_smallEtc) {
      g_smallEtc = false;
      ASSERT_EQ(::umount2("/etc", MNT_DETACH), 0);
    }
    ::rmdir(kIn.c_str());
    ::rmdir(kNew.c_str());
    WriteFile(kIn, kTemplate);
  }
}

// The queue the host chooses: each mode's text passes rsyslogd's check for
// IPv4, IPv6 and host-name servers over TCP and UDP; a value the plug-in
// does not know fails before any file is made.  Writing the file makes no
// directory: the disk queues' one is made by the commit.
TEST_F(VelkConfigTest, ForwardQueueParameter) {
  const std::string spool = "/var/zev/spool";
  const std::string kDiskTcp =
      "local6.*;local7.* action(type=\"omfwd\" target=\"10.0.0.1\" "
      "port=\"6514\" protocol=\"tcp\" "
      "template=\"VelkFormat\" ResendLastMSGOnReconnect=\"on\"\n"
      "    queue.type=\"LinkedList\" "
      "queue.filename=\"velk-fwd-1-tcp-10.0.0.1-6514\" "
      "queue.spoolDirectory=\"/var/zev/spool\" queue.maxDiskSpace=\"32m\" "
      "queue.saveOnShutdown=\"on\"\n"
      "    queue.size=\"50000\" queue.highWatermark=\"2000\" "
      "queue.lowWatermark=\"1000\"\n"
      "    queue.timeoutEnqueue=\"0\" queue.timeoutShutdown=\"20\" "
      "queue.timeoutActionCompletion=\"100\"\n"
      "    action.resumeRetryCount=\"-1\" action.resumeInterval=\"1\" "
      "action.resumeIntervalMax=\"1\")\n";
  const std::string kMemoryUdp =
      "local5.* action(type=\"omfwd\" target=\"2001:db8::1\" port=\"514\" "
      "protocol=\"udp\" "
      "template=\"VelkFormat\"\n"
      "    queue.type=\"LinkedList\" queue.size=\"10000\"\n"
      "    queue.timeoutEnqueue=\"0\" queue.timeoutShutdown=\"20\" "
      "queue.timeoutActionCompletion=\"100\"\n"
      "    action.resumeRetryCount=\"-1\" action.resumeInterval=\"1\" "
      "action.resumeIntervalMax=\"1\")\n";
  const struct {
    const char* name;
    int rc;  // the host's answer; 1: it does not know the parameter
    const char* value;
    const char* pinned;  // one server's rules that the text must hold
  } cases[] = {
      {"host does not know it", 1, "", kDiskTcp.c_str()},
      {"empty", 0, "", kDiskTcp.c_str()},
      {"disk", 0, "disk", kDiskTcp.c_str()},
      {"any letter case", 0, "Disk", kDiskTcp.c_str()},
      {"memory", 0, "memory", kMemoryUdp.c_str()},
      {"none", 0, "NONE", "local5.* @[2001:db8::1]:514;VelkFormat\n"},
  };
  policy.m_bLocalLogEnabled = true;
  policy.m_vecSyslogServers = {
      MakeServer("ESC", "tcp", "10.0.0.1", "6514"),
      MakeServer("EH", "udp", "[2001:db8::1]", "514"),
      MakeServer("EHSC", "tcp", "collector.example", "10601"),
      MakeServer("EHSC", "tcp", "::1", "514")};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::system(("rm -rf " + spool).c_str());
    params.values["SyslogForwardQueue"] = {c.rc, c.value};
    ASSERT_TRUE(Configure()) << message;
    const std::string text = ReadFile(kNew);
    EXPECT_NE(text.find(c.pinned), std::string::npos) << text;
    EXPECT_NE(text.find(kLocal), std::string::npos);  // the same in every mode
    EXPECT_EQ(
        std::system(
            ("rsyslogd -N1 -f " + kNew + " >/tmp/check.log 2>&1").c_str()),
        0)
        << ReadFile("/tmp/check.log") << text;
    EXPECT_FALSE(Exists(spool));
  }

  // Queue files: one per forward, named from the server, safe characters
  // only.
  params.values["SyslogForwardQueue"] = {0, "disk"};
  ASSERT_TRUE(Configure()) << message;
  const std::string text = ReadFile(kNew);
  for (const char* name :
       {"velk-fwd-1-tcp-10.0.0.1-6514\"", "velk-fwd-2-udp-2001_db8__1-514\"",
        "velk-fwd-3-tcp-collector.example-10601\"",
        "velk-fwd-4-tcp-__1-514\""}) {
    EXPECT_NE(text.find(std::string("queue.filename=\"") + name),
              std::string::npos)
        << name;
  }

  for (const char* value : {"bogus", "disk ", "nonE\n"}) {
    SCOPED_TRACE(value);
    std::system(("rm -rf " + spool).c_str());
    WriteFile(kNew, "previous\n");
    params.values["SyslogForwardQueue"] = {0, value};
    logger.lines.clear();
    EXPECT_FALSE(Configure());
    const std::string expected =
        std::string("Error: Invalid value '") + value +
        "' of the configuration parameter SyslogForwardQueue (expected disk, "
        "memory or none) ";
    EXPECT_EQ(message, expected);
    EXPECT_EQ(LinesAt(1), Lines{expected});
    EXPECT_EQ(ReadFile(kNew), "previous\n");
    EXPECT_FALSE(Exists(spool));
  }
}

// A double quote would end a quoted parameter of the queued forms; the
// selector lines take it as it is.
TEST_F(VelkConfigTest, QuoteRefusedWhereItWouldEndAString) {
  policy.m_vecSyslogServers = {MakeServer("EH", "udp", "a\"b", "514"),
                               MakeServer("EH", "tcp", "c", "5\"")};
  for (const char* mode : {"disk", "memory", "none"}) {
    SCOPED_TRACE(mode);
    params.values["SyslogForwardQueue"] = {0, mode};
    if (std::string(mode) == "none") {
      EXPECT_TRUE(Configure()) << message;
    } else {
      EXPECT_FALSE(Configure());
      EXPECT_EQ(message,
                "Error: Invalid character in the server text of remote syslog "
                "server 1 ");
    }
  }
}

// TLS forwards: checked by name against the host's CA, in every mode; a
// plain TCP server after them stays plain; rsyslogd accepts the text for
// IPv4, IPv6 and host names, with and without a client certificate.
TEST_F(VelkConfigTest, TlsForwards) {
  WriteFile("/tmp/ca.pem", "ca\n");
  WriteFile("/tmp/sensor.pem", "cert\n");
  WriteFile("/tmp/sensor.key", "key\n");
  policy.m_vecSyslogServers = {
      MakeServer("EHC", "tls", "[2001:db8::1]", "6514"),
      MakeServer("ESC", "tls", "10.0.0.2", "6514"),
      MakeServer("EC", "tls", "collector.example", "6514"),
      MakeServer("EH", "tcp", "10.0.0.3", "514")};
  const std::string kTls =
      "local5.*;local7.* action(type=\"omfwd\" target=\"2001:db8::1\" "
      "port=\"6514\" protocol=\"tcp\" template=\"VelkFormat\" "
      "ResendLastMSGOnReconnect=\"on\"\n"
      "    StreamDriver=\"gtls\" StreamDriverMode=\"1\" "
      "StreamDriverAuthMode=\"x509/name\" "
      "StreamDriverPermittedPeers=\"2001:db8::1\"\n"
      "    StreamDriver.CAFile=\"/tmp/ca.pem\"";
  for (const char* mode : {"disk", "memory", "none"}) {
    for (const bool client : {false, true}) {
      SCOPED_TRACE(std::string(mode) + (client ? " with" : " without") +
                   " a client certificate");
      params.values = {{"SyslogForwardQueue", {0, mode}},
                       {"SyslogTlsCaFile", {0, "/tmp/ca.pem"}}};
      if (client) {
        params.values["SyslogTlsCertFile"] = {0, "/tmp/sensor.pem"};
        params.values["SyslogTlsKeyFile"] = {0, "/tmp/sensor.key"};
      }
      ASSERT_TRUE(Configure()) << message;
      const std::string text = ReadFile(kNew);
      const std::string client_files =
          " StreamDriver.CertFile=\"/tmp/sensor.pem\" "
          "StreamDriver.KeyFile=\"/tmp/sensor.key\"";
      EXPECT_NE(text.find(kTls + (client ? client_files : "") +
                          (std::string(mode) == "none" ? ")\n" : "\n")),
                std::string::npos)
          << text;
      EXPECT_NE(text.find("StreamDriverPermittedPeers=\"collector.example\""),
                std::string::npos);
      // gtls appears on the three TLS forwards only.
      std::size_t drivers = 0;
      for (std::size_t at = 0;
           (at = text.find("StreamDriver=", at)) != std::string::npos; ++at) {
        ++drivers;
      }
      EXPECT_EQ(drivers, 3u);
      EXPECT_EQ(
          std::system(
              ("rsyslogd -N1 -f " + kNew + " >/tmp/check.log 2>&1").c_str()),
          0)
          << ReadFile("/tmp/check.log") << text;
    }
  }
}

// A TLS server with missing, unreadable or half-given files, or a file
// name that would end its quoted parameter, fails before any file is
// touched; without an enabled TLS forward the parameters are not asked
// for.
TEST_F(VelkConfigTest, TlsParametersFailEarly) {
  WriteFile("/tmp/ca.pem", "ca\n");
  const std::string invalid =
      "Error: Invalid character in the configuration parameter ";
  const struct {
    const char* name;
    Answers values;
    std::string message;
  } cases[] = {
      // clang-format off
      {"no CA", {}, "Error: The configuration parameter SyslogTlsCaFile is not set; remote "
          "syslog server 2 uses tls "},
      {"CA missing", {{"SyslogTlsCaFile", {0, "/tmp/none.pem"}}},
          "Error: Unable to read file /tmp/none.pem named by the configuration parameter "
          "SyslogTlsCaFile: No such file or directory "},
      {"CA a directory", {{"SyslogTlsCaFile", {0, "/tmp"}}},
          "Error: Unable to read file /tmp named by the configuration parameter SyslogTlsCaFile: "
          "Is a directory "},
      {"certificate without key",
          {{"SyslogTlsCaFile", {0, "/tmp/ca.pem"}}, {"SyslogTlsCertFile", {0, "/tmp/ca.pem"}}},
          "Error: The configuration parameter SyslogTlsKeyFile is not set; SyslogTlsCertFile "
          "needs it "},
      {"key without certificate",
          {{"SyslogTlsCaFile", {0, "/tmp/ca.pem"}}, {"SyslogTlsKeyFile", {0, "/tmp/ca.pem"}}},
          "Error: The configuration parameter SyslogTlsCertFile is not set; SyslogTlsKeyFile "
          "needs it "},
      {"key unreadable",
          {{"SyslogTlsCaFile", {0, "/tmp/ca.pem"}}, {"SyslogTlsCertFile", {0, "/tmp/ca.pem"}},
          {"SyslogTlsKeyFile", {0, "/tmp/no.key"}}},
          "Error: Unable to read file /tmp/no.key named by the configuration parameter "
          "SyslogTlsKeyFile: No such file or directory "},
      {"quote", {{"SyslogTlsCaFile", {0, "/tmp/ca\".pem"}}}, invalid + "SyslogTlsCaFile "},
      {"line feed", {{"SyslogTlsCaFile", {0, "/tmp/ca.pem\n*.* /x"}}},
          invalid + "SyslogTlsCaFile "},
      {"backslash", {{"SyslogTlsCaFile", {0, "/tmp/ca.pem"}}, {"SyslogTlsCertFile", {0, "c\\"}},
          {"SyslogTlsKeyFile", {0, "k"}}}, invalid + "SyslogTlsCertFile "},
      // clang-format on
  };
  policy.m_vecSyslogServers = {MakeServer("EHSC", "tls", "a", "1"),
                               MakeServer("EH", "tls", "b", "2")};
  policy.m_vecSyslogServers[0].enabled = false;  // writes nothing
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(kNew, "previous\n");
    params.values = c.values;
    logger.lines.clear();
    EXPECT_FALSE(Configure());
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(LinesAt(1), Lines{c.message});
    EXPECT_EQ(ReadFile(kNew), "previous\n");
  }

  policy.m_vecSyslogServers[1].proto = "TLS";  // not tls: UDP, as any text
  params.values.clear();
  params.asked.clear();
  ASSERT_TRUE(Configure()) << message;
  EXPECT_EQ(params.asked, Lines{"GetValue(SyslogForwardQueue,'')"});
  EXPECT_NE(ReadFile(kNew).find("port=\"2\" protocol=\"udp\""),
            std::string::npos);
}

TEST_F(VelkConfigTest, NoPolicyToConfigure) {
  class OtherProcessor : public XmlPolicyProcessor {
   public:
    OtherProcessor() : XmlPolicyProcessor("urn:other", "policy") {}
    int Parse(xercesc::DOMDocument*) override { return 0; }
  } other;
  for (XmlPolicyProcessor* processor :
       {static_cast<XmlPolicyProcessor*>(nullptr),
        static_cast<XmlPolicyProcessor*>(&other)}) {
    VelkConfig config;
    EXPECT_FALSE(config.Configure(processor));
    EXPECT_EQ(config.m_strErrorMessage,
              "Error: No syslog forwarding policy to configure ");
  }
  EXPECT_FALSE(Exists(kNew));
}

// A file's content in the cases below: nullptr none, "/" a directory.
void Lay(const std::string& path, const char* content) {
  std::system(("rm -rf " + path).c_str());
  if (content == nullptr) return;
  if (std::string(content) != "/") return WriteFile(path, content);
  ::mkdir(path.c_str(), 0755);
  WriteFile(path + "/keep", "x");
}

// The commit: the log of each step, the files, and the restart.
class CommitTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    serviceLog_ = std::string(std::getenv("VELK_SANDBOX")) + "/service.log";
    ::unlink(serviceLog_.c_str());
    Lay(kLive, nullptr);
    Lay(kNew, nullptr);
  }
  static bool Commit() { return VelkConfig().CommitTempFiles(); }
  std::string serviceLog_;
};

TEST_F(CommitTest, ReplacesTheLiveFileOrLogsWhyNot) {
  const std::string removeFile = "VelkConfig::remove_file: ";
  const std::string renameError =
      "VelkConfig::replace_file: ERROR: The specified file could not be "
      "renamed. Source file: "
      "'/etc/rsyslog.conf.new', Destination file: '/etc/rsyslog.conf'. "
      "Reason: ";
  const Lines removed = {removeFile + "Entered method",
                         removeFile + "Leaving method. Result: true"};
  const struct {
    const char* name;
    const char *live, *fresh;  // before
    bool result;
    Lines middle;  // the log between replace_file's first and last line
    const char *liveAfter, *freshAfter;
  } cases[] = {
      // clang-format off
      {"replaces the live file", "old\n", "new\n", true, removed, "new\n", nullptr},
      {"nothing new", "old\n", nullptr, false,
          {"VelkConfig::replace_file: ERROR: The specified file cannot be replaced because it "
          "cannot be accessed. File: '/etc/rsyslog.conf.new' Reason: No such file or directory"},
          "old\n", nullptr},
      {"no live file yet", nullptr, "new\n", true,
          {removeFile + "Entered method", removeFile + "File '/etc/rsyslog.conf' does not exist",
          removeFile + "Leaving method. Result: true"}, "new\n", nullptr},
      // A failed rename keeps the live file, while the log tells what
      // deleting it first would have done.
      {"new file is a directory", "old\n", "/", false,
          {removed[0], removed[1], renameError + "Not a directory"}, "old\n", "/"},
      {"live file is a directory", "/", "new\n", false,
          {removeFile + "Entered method",
          removeFile + "Unable to delete file '/etc/rsyslog.conf'. Reason: Is a directory",
          removeFile + "Leaving method. Result: false", renameError + "Is a directory"}, "/",
          "new\n"},
      // clang-format on
  };
  std::string restarts;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Lay(kLive, c.live);
    Lay(kNew, c.fresh);
    logger.lines.clear();
    EXPECT_EQ(Commit(), c.result);
    const std::string result = c.result ? "true" : "false";
    Lines log = {"VelkConfig::CommitTempFiles: Entered method",
                 "VelkConfig::replace_file: Entered method"};
    log.insert(log.end(), c.middle.begin(), c.middle.end());
    log.push_back("VelkConfig::replace_file: Leaving method. Result: " +
                  result);
    log.push_back("VelkConfig::CommitTempFiles: Leaving method. Result: " +
                  result);
    EXPECT_EQ(LinesAt(12), log);
    EXPECT_EQ(logger.lines.size(), log.size());
    for (const auto& [path, want] :
         {std::pair{kLive, c.liveAfter}, std::pair{kNew, c.freshAfter}}) {
      if (want == nullptr) {
        EXPECT_FALSE(Exists(path)) << path;
      } else if (std::string(want) == "/") {
        EXPECT_TRUE(Exists(path + "/keep")) << path;
      } else {
        EXPECT_EQ(ReadFile(path), want) << path;
      }
    }
    restarts += "service syslog restart\n";  // whatever the result
    EXPECT_EQ(ReadFile(serviceLog_), restarts);
  }
}

// The disk queues' directory is there when the daemon restarts, open to
// root alone whatever the umask, and an existing one is kept as it is.
TEST_F(CommitTest, MakesTheSpoolDirectory) {
  const std::string spool = "/var/zev/spool";
  for (const mode_t umask : {mode_t{0}, mode_t{077}}) {
    std::system("rm -rf /var/zev/spool");
    WriteFile(kNew, "new\n");
    const mode_t before = ::umask(umask);
    const bool committed = Commit();
    ::umask(before);
    EXPECT_TRUE(committed);
    struct stat st;
    ASSERT_EQ(::stat(spool.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
  WriteFile(spool + "/queued", "kept\n");
  EXPECT_FALSE(Commit());  // nothing new; the directory stays
  EXPECT_EQ(ReadFile(spool + "/queued"), "kept\n");
}

// The restart's outcome is not the commit's.
TEST_F(CommitTest, RestartFailureDoesNotChangeTheResult) {
  const std::string path = std::getenv("PATH");
  MakeDirs("/tmp/failing-service");
  WriteFile("/tmp/failing-service/service", "#!/bin/sh\nexit 1\n");
  ::chmod("/tmp/failing-service/service", 0755);
  for (const char* searchPath : {"/tmp/failing-service", "/nonexistent"}) {
    SCOPED_TRACE(searchPath);
    WriteFile(kNew, "new\n");
    ::setenv("PATH", searchPath, 1);
    logger.lines.clear();
    const bool committed = Commit();
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(committed);
    EXPECT_EQ(logger.Texts().back(),
              "VelkConfig::CommitTempFiles: Leaving method. Result: true");
  }
  EXPECT_FALSE(Exists(serviceLog_));
}

}  // namespace
