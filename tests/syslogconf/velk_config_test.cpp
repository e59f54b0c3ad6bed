// Runs inside the sandbox: writes /etc/rsyslog.conf*, mounts over /etc and
// runs the sandbox's "service".
#include "syslogconf/velk_config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>

#include "support/policy_fixture.h"
#include "syslogconf/velk_policy_processor.h"

namespace {

typedef VelkPolicyProcessor::SyslogServer_t Server;

const std::string kIn = "/etc/rsyslog.conf.in";
const std::string kNew = "/etc/rsyslog.conf.new";
const std::string kLive = "/etc/rsyslog.conf";

// A real rsyslog configuration that needs no /dev/log.
const std::string kTemplate =
    "global(workDirectory=\"/tmp/velk-rsyslog\")\n"
    "module(load=\"imudp\")\n"
    "input(type=\"imudp\" address=\"127.0.0.1\" port=\"5514\")\n"
    "mail.* -/tmp/velk-rsyslog/mail.log\n";

const std::string kLocalLines =
    "local5.* -/var/zev/velk.log\n"
    "local6.* -/var/zev/velk.log\n"
    "local7.* -/var/zev/velk.log\n";
const std::string kFormat =
    "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\n";

Server MakeServer(const std::string& flags, const std::string& proto,
                  const std::string& server, const std::string& port) {
  // flags: E enabled, H health, S system, C security.
  Server s;
  s.enabled = flags.find('E') != std::string::npos;
  s.healthEvent = flags.find('H') != std::string::npos;
  s.systemEvent = flags.find('S') != std::string::npos;
  s.securityEvent = flags.find('C') != std::string::npos;
  s.proto = proto;
  s.server = server;
  s.port = port;
  return s;
}

// The files in /etc whose names begin with prefix.
std::vector<std::string> EtcFiles(const std::string& prefix) {
  std::vector<std::string> names;
  DIR* dir = ::opendir("/etc");
  while (dirent* entry = ::readdir(dir)) {
    if (std::string(entry->d_name).rfind(prefix, 0) == 0) {
      names.push_back(entry->d_name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
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
  bool Configure(const VelkPolicyProcessor& policy) {
    VelkConfig config;
    const bool ok = config.Configure(const_cast<VelkPolicyProcessor*>(&policy));
    message = config.m_strErrorMessage;
    return ok;
  }
  // rsyslogd's own check of a configuration.
  static int RsyslogCheck(const std::string& path) {
    const std::string command =
        "rsyslogd -N1 -f " + path + " >/tmp/rsyslogd-check.log 2>&1";
    return std::system(command.c_str());
  }

  VelkPolicyProcessor policy;
  std::string message;
};

struct OutputCase {
  const char* name;
  std::string templateText;
  bool localLog;
  std::vector<Server> servers;
  std::string generated;  // what follows the template
  bool checkWithRsyslogd;
};

TEST_F(VelkConfigTest, WritesTemplateThenRules) {
  const OutputCase cases[] = {
      {"nothing to configure", kTemplate, false, {}, "\n", true},
      {"local log only", kTemplate, true, {}, "\n" + kLocalLines, true},
      {"all servers disabled",
       kTemplate,
       true,
       {MakeServer("HSC", "tcp", "a", "1"), MakeServer("H", "udp", "b", "2")},
       "\n" + kLocalLines + kFormat,
       true},
      {"enabled server without flags",
       kTemplate,
       false,
       {MakeServer("E", "udp", "a", "514")},
       "\n" + kFormat,
       true},
      {"each flag selects its facility",
       kTemplate,
       false,
       {MakeServer("EH", "udp", "h.example", "514"),
        MakeServer("ES", "udp", "s.example", "514"),
        MakeServer("EC", "udp", "c.example", "514")},
       "\n" + kFormat + "local5.* @h.example:514;VelkFormat\n" +
           "local6.* @s.example:514;VelkFormat\n" +
           "local7.* @c.example:514;VelkFormat\n",
       true},
      {"two servers with every flag, in order",
       kTemplate,
       true,
       {MakeServer("EHSC", "tcp", "10.0.0.1", "6514"),
        MakeServer("EHSC", "udp", "[2001:db8::1]", "514")},
       "\n" + kLocalLines + kFormat +
           "local5.* @@10.0.0.1:6514;VelkFormat\n"
           "local6.* @@10.0.0.1:6514;VelkFormat\n"
           "local7.* @@10.0.0.1:6514;VelkFormat\n"
           "local5.* @[2001:db8::1]:514;VelkFormat\n"
           "local6.* @[2001:db8::1]:514;VelkFormat\n"
           "local7.* @[2001:db8::1]:514;VelkFormat\n",
       true},
      {"only the exact text tcp is TCP",
       kTemplate,
       false,
       {MakeServer("EH", "TCP", "a", "1"), MakeServer("EH", "", "b", "2"),
        MakeServer("EH", "tcp ", "c", "3")},
       "\n" + kFormat + "local5.* @a:1;VelkFormat\n" +
           "local5.* @b:2;VelkFormat\n" + "local5.* @c:3;VelkFormat\n",
       true},
      {"empty texts are written as they are",
       kTemplate,
       false,
       {MakeServer("EH", "udp", "", ""), MakeServer("ES", "tcp", "x y", "abc")},
       "\n" + kFormat + "local5.* @:;VelkFormat\n" +
           "local6.* @@x y:abc;VelkFormat\n",
       false},
      {"template without a final line feed", "# site", true, {},
       "\n" + kLocalLines, false},
      {"rules the template has already are written again",
       kTemplate + "local5.* -/var/zev/velk.log\n", true, {},
       "\n" + kLocalLines, true},
      // An empty template has no last line to end.
      {"empty template", "", true, {MakeServer("EH", "udp", "a", "1")},
       kLocalLines + kFormat + "local5.* @a:1;VelkFormat\n", false},
      {"empty template, nothing to configure", "", false, {}, "", false},
  };
  // What a process killed while writing left behind.
  WriteFile("/etc/.rsyslog.conf.new.tmp", "stale, partial");
  for (const OutputCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(kIn, c.templateText);
    policy.m_bLocalLogEnabled = c.localLog;
    policy.m_strLocalLogMaxSize = "MAXSIZE-TEXT";
    policy.m_vecSyslogServers = c.servers;
    ASSERT_TRUE(Configure(policy)) << message;
    EXPECT_EQ(message, "");
    const std::string written = ReadFile(kNew);
    EXPECT_EQ(written, c.templateText + c.generated);
    EXPECT_EQ(written.find("MAXSIZE-TEXT"), std::string::npos);
    if (c.checkWithRsyslogd) {
      EXPECT_EQ(RsyslogCheck(kNew), 0) << ReadFile("/tmp/rsyslogd-check.log");
    }
    struct stat st;
    ASSERT_EQ(::stat(kNew.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
  }
  EXPECT_EQ(EtcFiles(".rsyslog"), std::vector<std::string>());
}

TEST_F(VelkConfigTest, ReportsEverySettingInTheLog) {
  policy.m_bLocalLogEnabled = false;
  policy.m_strLocalLogMaxSize = "10MB";
  policy.m_vecSyslogServers = {MakeServer("EHC", "tcp", "a.example", "6514"),
                               MakeServer("S", "udp", "", "")};
  ASSERT_TRUE(Configure(policy));
  EXPECT_EQ(logger.Texts(),
            (std::vector<std::string>{
                "Local syslog: enabled = false, max size = 10MB",
                "Remote syslog server: enabled = true, health event = true, "
                "system event = false, security event = true, server = "
                "(tcp)a.example:6514",
                "Remote syslog server: enabled = false, health event = false, "
                "system event = true, security event = false, server = (udp):",
            }));
  for (const RecordingLogger::Line& line : logger.lines) {
    EXPECT_EQ(line.level, 12);
  }
}

// Failures leave /etc/rsyslog.conf.new as it was and nothing else behind,
// and report one level-1 line with the message.
struct FaultCase {
  const char* name;
  std::function<void()> arrange;
  const char* message;
};

TEST_F(VelkConfigTest, FailuresLeaveTheOutputAsItWas) {
  const FaultCase cases[] = {
      {"no template", [] { ::unlink(kIn.c_str()); },
       "Error: Unable to open file /etc/rsyslog.conf.in "},
      {"template cannot be read",
       [] {
         ::unlink(kIn.c_str());
         ASSERT_EQ(::mkdir(kIn.c_str(), 0755), 0);
       },
       "Error: Unable to write file /etc/rsyslog.conf.new: Is a directory"},
      {"output is a directory",
       [] {
         ::unlink(kNew.c_str());
         ASSERT_EQ(::mkdir(kNew.c_str(), 0755), 0);
       },
       "Error: Unable to open file /etc/rsyslog.conf.new "},
  };
  policy.m_bLocalLogEnabled = true;
  policy.m_vecSyslogServers = {MakeServer("EH", "udp", "a", "1")};
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(kNew, "previous\n");
    c.arrange();
    logger.lines.clear();
    EXPECT_FALSE(Configure(policy));
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(LinesAt(1), std::vector<std::string>{c.message});
    EXPECT_EQ(logger.formats[logger.formats.size() - 1], "%s");
    struct stat st;
    if (::stat(kNew.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      EXPECT_EQ(ReadFile(kNew), "previous\n");
    }
    EXPECT_EQ(EtcFiles(".rsyslog"), std::vector<std::string>());
    ::rmdir(kIn.c_str());
    ::unlink(kIn.c_str());
    ::rmdir(kNew.c_str());
    WriteFile(kIn, kTemplate);
  }
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

// A text that would end or continue its rsyslog line fails the whole
// configuration before any file is opened.
TEST_F(VelkConfigTest, RefusesTextsThatBreakOutOfTheirLine) {
  const struct {
    std::vector<Server> servers;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {{MakeServer("EH", "udp", "a\n*.* |/bin/sh", "514")},
       "Error: Invalid character in the server text of remote syslog server 1 "},
      {{MakeServer("EH", "udp", "a", "514\nlocal0.* /etc/shadow")},
       "Error: Invalid character in the port text of remote syslog server 1 "},
      {{MakeServer("EHSC", "tcp", "ok", "1"),
        MakeServer("EC", "udp", "b\\", "514")},
       "Error: Invalid character in the server text of remote syslog server 2 "},
      {{MakeServer("E", "udp", "x", "1"), MakeServer("H", "udp", "\n", "\n"),
        MakeServer("ES", "udp", "a\rb", "1\t")},
       "Error: Invalid character in the server text of remote syslog server 3 "},
      {{MakeServer("ES", "udp", "a", std::string("1\0", 2))},
       "Error: Invalid character in the port text of remote syslog server 1 "},
      {{MakeServer("ES", "udp", "a\x7f", "1")},
       "Error: Invalid character in the server text of remote syslog server 1 "},
      {{MakeServer("ES", "udp", "a\x1f", "1")},
       "Error: Invalid character in the server text of remote syslog server 1 "},
      // Nothing of these is written: a disabled server, one without flags.
      {{MakeServer("HSC", "udp", "a\nb", "1\\"),
        MakeServer("E", "udp", "a\nb", "1\\")},
       nullptr},
      {{MakeServer("EH", "udp", "caf\xC3\xA9 ~!", "514")}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "accepted");
    WriteFile(kNew, "previous\n");
    logger.lines.clear();
    policy.m_vecSyslogServers = c.servers;
    if (c.message == nullptr) {
      EXPECT_TRUE(Configure(policy)) << message;
      continue;
    }
    ::unlink(kIn.c_str());  // not even the template is opened
    EXPECT_FALSE(Configure(policy));
    EXPECT_EQ(message, c.message);
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0].level, 1);
    EXPECT_EQ(logger.lines[0].text, c.message);
    EXPECT_EQ(logger.formats[0], "%s");
    EXPECT_EQ(ReadFile(kNew), "previous\n");
    WriteFile(kIn, kTemplate);
  }
}

// /etc as a tiny file system of its own, for the faults of a full or
// read-only disk; the template is a link to a file outside it.
class SmallEtcTest : public VelkConfigTest {
 protected:
  void SetUp() override {
    VelkConfigTest::SetUp();
    WriteFile("/tmp/big-template", std::string(64 * 1024, '#') + "\n");
    ASSERT_EQ(::mount("velk-small", "/etc", "tmpfs", 0, "size=16k"), 0);
    WriteFile(kNew, "previous\n");
    WriteFile(kLive, "live\n");
    ASSERT_EQ(::symlink("/tmp/big-template", kIn.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(::umount2("/etc", MNT_DETACH), 0);
    VelkConfigTest::TearDown();
  }
};

TEST_F(SmallEtcTest, FullDiskRemovesThePartialOutput) {
  EXPECT_FALSE(Configure(policy));
  EXPECT_EQ(message,
            "Error: Unable to write file /etc/rsyslog.conf.new: No space left "
            "on device");
  EXPECT_EQ(LinesAt(1), std::vector<std::string>{message});
  EXPECT_EQ(ReadFile(kNew), "previous\n");
  EXPECT_EQ(ReadFile(kLive), "live\n");
  EXPECT_EQ(EtcFiles(".rsyslog"), std::vector<std::string>());
}

TEST_F(SmallEtcTest, ReadOnlyDiskCannotOpenTheOutput) {
  ASSERT_EQ(::mount(nullptr, "/etc", nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
            0);
  EXPECT_FALSE(Configure(policy));
  EXPECT_EQ(message, "Error: Unable to open file /etc/rsyslog.conf.new ");
  EXPECT_EQ(ReadFile(kNew), "previous\n");
}

// The commit: the log of each step, the files, and the restart.
class CommitTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    serviceLog_ = std::string(std::getenv("VELK_SANDBOX")) + "/service.log";
    ::unlink(serviceLog_.c_str());
    for (const std::string& path : {kNew, kLive}) {
      ::unlink(path.c_str());
      std::system(("rm -rf " + path).c_str());
    }
  }
  bool Commit() {
    const VelkConfig config;
    return config.CommitTempFiles();
  }
  std::vector<std::string> Log(const std::vector<std::string>& middle,
                               bool result) {
    std::vector<std::string> lines = {
        "VelkConfig::CommitTempFiles: Entered method",
        "VelkConfig::replace_file: Entered method"};
    lines.insert(lines.end(), middle.begin(), middle.end());
    lines.push_back(std::string("VelkConfig::replace_file: Leaving method. Result: ") +
                    (result ? "true" : "false"));
    lines.push_back(
        std::string("VelkConfig::CommitTempFiles: Leaving method. Result: ") +
        (result ? "true" : "false"));
    return lines;
  }
  std::string Restarts() { return ReadFile(serviceLog_); }

  std::string serviceLog_;
};

const std::vector<std::string> kRemoved = {
    "VelkConfig::remove_file: Entered method",
    "VelkConfig::remove_file: Leaving method. Result: true"};

TEST_F(CommitTest, ReplacesTheLiveFile) {
  WriteFile(kLive, "old\n");
  WriteFile(kNew, "new\n");
  EXPECT_TRUE(Commit());
  EXPECT_EQ(logger.Texts(), Log(kRemoved, true));
  EXPECT_EQ(ReadFile(kLive), "new\n");
  EXPECT_FALSE(Exists(kNew));
  EXPECT_EQ(Restarts(), "service syslog restart\n");
  for (const RecordingLogger::Line& line : logger.lines) {
    EXPECT_EQ(line.level, 12);
  }

  // Again, with nothing new: fails, and restarts all the same.
  logger.lines.clear();
  EXPECT_FALSE(Commit());
  EXPECT_EQ(logger.Texts(),
            Log({"VelkConfig::replace_file: ERROR: The specified file cannot be "
                 "replaced because it cannot be accessed. File: "
                 "'/etc/rsyslog.conf.new' Reason: No such file or directory"},
                false));
  EXPECT_EQ(ReadFile(kLive), "new\n");
  EXPECT_EQ(Restarts(), "service syslog restart\nservice syslog restart\n");
}

TEST_F(CommitTest, NoLiveFileYet) {
  WriteFile(kNew, "new\n");
  EXPECT_TRUE(Commit());
  EXPECT_EQ(logger.Texts(),
            Log({"VelkConfig::remove_file: Entered method",
                 "VelkConfig::remove_file: File '/etc/rsyslog.conf' does not "
                 "exist",
                 "VelkConfig::remove_file: Leaving method. Result: true"},
                true));
  EXPECT_EQ(ReadFile(kLive), "new\n");
}

// A rename that fails leaves the live file in place, while the log tells
// what deleting it first would have done.
TEST_F(CommitTest, FailedRenameKeepsTheLiveFile) {
  const std::string renameError =
      "VelkConfig::replace_file: ERROR: The specified file could not be "
      "renamed. Source file: '/etc/rsyslog.conf.new', Destination file: "
      "'/etc/rsyslog.conf'. Reason: ";

  // The new "file" is a directory: the live file could have been deleted.
  WriteFile(kLive, "old\n");
  ASSERT_EQ(::mkdir(kNew.c_str(), 0755), 0);
  EXPECT_FALSE(Commit());
  std::vector<std::string> middle = kRemoved;
  middle.push_back(renameError + "Not a directory");
  EXPECT_EQ(logger.Texts(), Log(middle, false));
  EXPECT_EQ(ReadFile(kLive), "old\n");
  EXPECT_EQ(Restarts(), "service syslog restart\n");

  // The live "file" is a directory: it could not have been deleted.
  ::rmdir(kNew.c_str());
  ::unlink(kLive.c_str());
  ASSERT_EQ(::mkdir(kLive.c_str(), 0755), 0);
  WriteFile(kLive + "/keep", "x");
  WriteFile(kNew, "new\n");
  logger.lines.clear();
  EXPECT_FALSE(Commit());
  EXPECT_EQ(logger.Texts(),
            Log({"VelkConfig::remove_file: Entered method",
                 "VelkConfig::remove_file: Unable to delete file "
                 "'/etc/rsyslog.conf'. Reason: Is a directory",
                 "VelkConfig::remove_file: Leaving method. Result: false",
                 renameError + "Is a directory"},
                false));
  EXPECT_EQ(ReadFile(kNew), "new\n");
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
