// The entry points, driven as a host drives them: the plug-in is loaded
// with dlopen, each test in a fresh process, inside the sandbox (Process
// and Commit touch /etc and run the service command).
#include <gtest/gtest.h>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/fresh_process.h"
#include "support/loaded_plugin.h"
#include "support/recording_host.h"
#include "velkconf/velkconf.h"

namespace {

using Lines = std::vector<std::string>;

const char kTemplate[] = "# site template\n";
const char kPolicy[] =
    "<?xml version=\"1.0\"?>\n"
    "<policy xmlns=\"" VELKCONF_POLICY_NAMESPACE "\">\n"
    "  <LocalLog enabled=\"true\" maxSize=\"10MB\"/>\n"
    "  <RemoteSyslogServer enabled=\"true\" healthEvent=\"true\""
    " systemEvent=\"false\" securityEvent=\"false\" proto=\"udp\""
    " port=\"514\" server=\"127.0.0.1\"/>\n"
    "</policy>\n";

std::string ServiceLogPath() {
  const char* box = std::getenv("VELK_SANDBOX");
  return std::string(box ? box : "/nonexistent") + "/service.log";
}

std::string ServiceLog() { return ReadFile(ServiceLogPath()); }

// A host as the plug-in expects one: the parser library initialised, the
// plug-in loaded and initialised with recording services.
class Host {
 public:
  Host() : plugin(LoadPlugin()) {
    xercesc::XMLPlatformUtils::Initialize();
    plugin.Initialize(&logger, &info, &params, &caps);
    logger.lines.clear();
    std::remove("/etc/rsyslog.conf.new");
    std::remove("/etc/rsyslog.conf");
    WriteFile("/etc/rsyslog.conf.in", kTemplate);
    WriteFile(ServiceLogPath(), "");
  }
  ~Host() { xercesc::XMLPlatformUtils::Terminate(); }

  long Process(const std::string& policy, const char* ns = "velk-ns") {
    return plugin.Process(ns,
                          reinterpret_cast<const unsigned char*>(policy.data()),
                          static_cast<unsigned int>(policy.size()));
  }

  Plugin plugin;
  RecordingLogger logger;
  FakePolicyInfo info;
  FakeConfigParameters params;
  FakeCapabilities caps;
};

TEST(Identification, StringsAreExportedByteForByte) {
  InFreshProcess([] {
    Plugin plugin = LoadPlugin();
    EXPECT_STREQ(*plugin.name, "@(#)!ZEVNAME!libvelkconf.so!ZEVNAME!");
    EXPECT_STREQ(*plugin.version, "@(#)!ZEVVER!!ZEVVER!");
    EXPECT_STREQ(*plugin.special, "@(#)!ZEVSPECIAL!!ZEVSPECIAL!");
  });
}

TEST(Initialize, FirstLineIsDroppedAndARepeatGoesToThePreviousLogger) {
  InFreshProcess([] {
    Plugin plugin = LoadPlugin();
    RecordingLogger first, second;
    EXPECT_EQ(plugin.Initialize(&first, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(first.lines, (std::vector<RecordingLogger::Line>{
                               {12, "Finished initializing VELK config lib."}}));
    EXPECT_EQ(plugin.Initialize(&second, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(first.Texts(), (Lines{"Finished initializing VELK config lib.",
                                    "Initializing VELK config lib."}));
    EXPECT_EQ(second.Texts(), (Lines{"Finished initializing VELK config lib."}));
    plugin.Validate();
    EXPECT_EQ(second.Texts().back(), "Validate called.");
    EXPECT_EQ(first.lines.size(), 2u);
  });
}

TEST(EntryPoints, TraceLinesOfTheSimpleEntryPoints) {
  InFreshProcess([] {
    Host host;
    long result = 99;
    EXPECT_EQ(host.plugin.PreProcess(), 0);
    EXPECT_EQ(host.plugin.PostProcess(-42, &result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.plugin.Validate(), 0);
    host.plugin.Uninitialize();
    // Uninitialize keeps the logger.
    host.plugin.Validate();
    EXPECT_EQ(host.logger.Texts(),
              (Lines{"PreProcess() start.", "PreProcess() finished",
                     "PostProcess() start. input=-42",
                     "PostProcess() finished, result=0.", "Validate called.",
                     "Uninitialize called.", "Validate called."}));
    for (const auto& line : host.logger.lines) EXPECT_EQ(line.level, 12);
  });
}

TEST(ErrorMessage, FreshCopiesOfTheCurrentText) {
  InFreshProcess([] {
    Host host;
    char* a = nullptr;
    char* b = nullptr;
    EXPECT_EQ(host.plugin.PreProcess(), 0);
    EXPECT_EQ(host.plugin.GetErrorMessage(&a), 0);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a, "");
    EXPECT_EQ(host.plugin.GetErrorMessage(&b), 0);
    EXPECT_NE(a, b);
    host.plugin.ReleaseErrorMessage(a);
    host.plugin.ReleaseErrorMessage(b);
    host.plugin.ReleaseErrorMessage(nullptr);
  });
}

TEST(ErrorMessage, LifeCycleAcrossProcessAndCommit) {
  InFreshProcess([] {
    Host host;
    // A failed commit: nothing to commit.
    EXPECT_EQ(host.plugin.Commit(), 1);
    EXPECT_EQ(host.plugin.LastError(),
              "Unable to commit the new syslog configuration");
    // PreProcess clears it.
    host.plugin.PreProcess();
    EXPECT_EQ(host.plugin.LastError(), "");
    // A failed Process sets it ...
    EXPECT_EQ(host.Process("<policy"), 1);
    const std::string parse_error = host.plugin.LastError();
    EXPECT_EQ(parse_error.rfind("SAXParseException while parsing input stream: ", 0), 0u)
        << parse_error;
    // ... and a successful Commit leaves it as it was.
    WriteFile("/etc/rsyslog.conf.new", "new\n");
    EXPECT_EQ(host.plugin.Commit(), 0);
    EXPECT_EQ(host.plugin.LastError(), parse_error);
    // Process clears it at its start.
    EXPECT_EQ(host.Process(kPolicy), 0);
    EXPECT_EQ(host.plugin.LastError(), "");
  });
}

TEST(Process, SuccessfulUpdateLogsWritesAndCommits) {
  InFreshProcess([] {
    Host host;
    const std::string policy = kPolicy;
    EXPECT_EQ(host.Process(policy, VELKCONF_POLICY_NAMESPACE), 0);
    const std::string size = std::to_string(policy.size());
    EXPECT_EQ(host.logger.Texts(),
              (Lines{"Process: ns = " VELKCONF_POLICY_NAMESPACE ", buffer size = " + size,
                     "Found policy from target directory",
                     "Process: stream size = " + size,
                     "Parsing policy from input stream",
                     "Local syslog: enabled = true, max size = 10MB",
                     "Remote syslog server: enabled = true, health event = true, "
                     "system event = false, security event = false, "
                     "server = (udp)127.0.0.1:514",
                     "Process() result code: 0"}));
    const std::string expected = std::string(kTemplate) +
                                 "\n"
                                 "local5.* -/var/zev/velk.log\n"
                                 "local6.* -/var/zev/velk.log\n"
                                 "local7.* -/var/zev/velk.log\n"
                                 "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\n"
                                 "local5.* @127.0.0.1:514;VelkFormat\n";
    EXPECT_EQ(ReadFile("/etc/rsyslog.conf.new"), expected);
    EXPECT_FALSE(Exists("/etc/rsyslog.conf"));

    host.logger.lines.clear();
    EXPECT_EQ(host.plugin.Commit(), 0);
    EXPECT_EQ(ReadFile("/etc/rsyslog.conf"), expected);
    EXPECT_FALSE(Exists("/etc/rsyslog.conf.new"));
    EXPECT_EQ(ServiceLog(), "service syslog restart\n");
    EXPECT_EQ(host.logger.Texts().back(), "Commit() finished, result=0.");

    // A second commit finds nothing new, restarts all the same, and fails.
    EXPECT_EQ(host.plugin.Commit(), 1);
    EXPECT_EQ(ServiceLog(), "service syslog restart\nservice syslog restart\n");
    EXPECT_EQ(host.logger.Texts().back(), "Commit() finished, result=1.");
    EXPECT_EQ(ReadFile("/etc/rsyslog.conf"), expected);
  });
}

TEST(Process, NullNamespaceIsLoggedAndTheUpdateGoesOn) {
  InFreshProcess([] {
    Host host;
    EXPECT_EQ(host.plugin.Process(nullptr,
                                  reinterpret_cast<const unsigned char*>(kPolicy),
                                  sizeof kPolicy - 1),
              0);
    EXPECT_EQ(host.logger.Texts().front(),
              "Process: ns = (null), buffer size = " + std::to_string(sizeof kPolicy - 1));
  });
}

TEST(Process, Failures) {
  InFreshProcess([] {
    Host host;
    // Missing template: the configuration writer's message, with its blank.
    std::remove("/etc/rsyslog.conf.in");
    EXPECT_EQ(host.Process(kPolicy), 1);
    EXPECT_EQ(host.plugin.LastError(), "Error: Unable to open file /etc/rsyslog.conf.in ");
    EXPECT_FALSE(Exists("/etc/rsyslog.conf.new"));
    EXPECT_EQ(host.logger.Texts().back(), "Process() result code: 1");

    // A policy that does not parse writes nothing.
    WriteFile("/etc/rsyslog.conf.in", kTemplate);
    host.logger.lines.clear();
    EXPECT_EQ(host.Process("<policy><LocalLog></policy>"), 1);
    EXPECT_FALSE(Exists("/etc/rsyslog.conf.new"));
    EXPECT_EQ(host.logger.Texts().back(), "Process() result code: 1");
    bool logged_at_level_1 = false;
    for (const auto& line : host.logger.lines) logged_at_level_1 |= line.level == 1;
    EXPECT_TRUE(logged_at_level_1);

    // No buffer at all: the policy is looked for in the repository, which
    // the host has not described, so the parse fails.
    EXPECT_NE(host.plugin.Process("ns", nullptr, 0), 0);
    EXPECT_FALSE(host.plugin.LastError().empty());
  });
}

}  // namespace
