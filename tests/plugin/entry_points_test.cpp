// The entry points, driven as a host drives them: the plug-in is loaded
// with dlopen and its entry points resolved by name, each test in a fresh
// process, inside the sandbox (Process and Commit touch /etc and run the
// service command).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "support/files.h"
#include "support/loaded_plugin.h"
#include "support/recording_host.h"

namespace {

using Lines = std::vector<std::string>;

const char kTemplate[] = "# site template\n";
const std::string kPolicy =
    "<?xml version=\"1.0\"?>\n<policy xmlns=\"" VELKCONF_POLICY_NAMESPACE
    "\">\n"
    "  <LocalLog enabled=\"true\" maxSize=\"10MB\"/>\n"
    "  <RemoteSyslogServer enabled=\"true\" healthEvent=\"true\" "
    "systemEvent=\"false\""
    " securityEvent=\"false\" proto=\"udp\" port=\"514\" "
    "server=\"127.0.0.1\"/>\n</policy>\n";
const char kNew[] = "/etc/rsyslog.conf.new";
const char kLive[] = "/etc/rsyslog.conf";

std::string ServiceLog() {
  return ReadFile(std::string(std::getenv("VELK_SANDBOX")) + "/service.log");
}

// A host as the plug-in expects one: the parser library initialised, the
// plug-in freshly loaded and initialised with recording services.
class Host {
 public:
  Host() : plugin(LoadPlugin()) {
    xercesc::XMLPlatformUtils::Initialize();
    plugin.Initialize(&logger, &info, &params, &caps);
    logger.lines.clear();
    std::remove(kNew);
    std::remove(kLive);
    WriteFile("/etc/rsyslog.conf.in", kTemplate);
    WriteFile(std::string(std::getenv("VELK_SANDBOX")) + "/service.log", "");
  }
  ~Host() { xercesc::XMLPlatformUtils::Terminate(); }

  long Process(const std::string& policy, const char* ns = "velk-ns") {
    return ProcessText(plugin, policy, ns);
  }

  Plugin plugin;
  RecordingLogger logger;
  FakePolicyInfo info;
  FakeConfigParameters params;
  FakeCapabilities caps;
};

TEST(EntryPoints, IdentificationAndInitialize) {
  InFreshProcess([] {
    Plugin plugin = LoadPlugin();
    EXPECT_STREQ(*plugin.name, "@(#)!ZEVNAME!libvelkconf.so!ZEVNAME!");
    EXPECT_STREQ(*plugin.version, "@(#)!ZEVVER!!ZEVVER!");
    EXPECT_STREQ(*plugin.special, "@(#)!ZEVSPECIAL!!ZEVSPECIAL!");
    // The first line of the first Initialize has no logger yet; a repeat
    // sends it to the previous one.
    RecordingLogger first, second;
    EXPECT_EQ(plugin.Initialize(&first, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(first.lines,
              (std::vector<RecordingLogger::Line>{
                  {12, "Finished initializing VELK config lib."}}));
    EXPECT_EQ(plugin.Initialize(&second, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(first.Texts(), (Lines{"Finished initializing VELK config lib.",
                                    "Initializing VELK config lib."}));
    EXPECT_EQ(second.Texts(),
              (Lines{"Finished initializing VELK config lib."}));
  });
}

TEST(EntryPoints, SimpleEntryPointsAndErrorMessageCopies) {
  InFreshProcess([] {
    Host host;
    long result = 99;
    EXPECT_EQ(host.plugin.PreProcess(), 0);
    EXPECT_EQ(host.plugin.PostProcess(-42, &result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.plugin.Validate(), 0);
    host.plugin.Uninitialize();
    host.plugin.Validate();  // Uninitialize keeps the logger
    EXPECT_EQ(host.logger.Texts(),
              (Lines{"PreProcess() start.", "PreProcess() finished",
                     "PostProcess() start. input=-42",
                     "PostProcess() finished, result=0.", "Validate called.",
                     "Uninitialize called.", "Validate called."}));
    for (const auto& line : host.logger.lines) EXPECT_EQ(line.level, 12);
    // Each call hands out a fresh copy, the empty text included.
    char* a = nullptr;
    char* b = nullptr;
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

TEST(EntryPoints, ErrorMessageAcrossProcessAndCommit) {
  InFreshProcess([] {
    Host host;
    EXPECT_EQ(host.plugin.Commit(), 1);  // nothing to commit
    EXPECT_EQ(host.plugin.LastError(),
              "Unable to commit the new syslog configuration");
    host.plugin.PreProcess();  // clears it
    EXPECT_EQ(host.plugin.LastError(), "");
    // A policy looked for in a repository the host does not describe.
    EXPECT_EQ(host.plugin.Process("ns", nullptr, 0), 1);
    EXPECT_EQ(host.plugin.LastError(),
              "SAXParseException while parsing input stream: unable to open "
              "primary document entity ''");
    EXPECT_EQ(host.Process("<policy"), 1);
    EXPECT_EQ(host.logger.Texts().back(), "Process() result code: 1");
    EXPECT_FALSE(Exists(kNew));
    const std::string parse_error = host.plugin.LastError();
    EXPECT_EQ(
        parse_error.rfind("SAXParseException while parsing input stream: ", 0),
        0u)
        << parse_error;
    WriteFile(kNew, "new\n");
    EXPECT_EQ(host.plugin.Commit(), 0);  // a success leaves it
    EXPECT_EQ(host.plugin.LastError(), parse_error);
    EXPECT_EQ(host.Process(kPolicy), 0);  // Process clears it at its start
    EXPECT_EQ(host.plugin.LastError(), "");
  });
}

TEST(EntryPoints, UpdateLogsWritesAndCommits) {
  InFreshProcess([] {
    Host host;
    host.params.values["SyslogForwardQueue"] = {0,
                                                "none"};  // the classic lines
    EXPECT_EQ(host.Process(kPolicy, VELKCONF_POLICY_NAMESPACE), 0);
    const std::string size = std::to_string(kPolicy.size());
    EXPECT_EQ(
        host.logger.Texts(),
        (Lines{"Process: ns = " VELKCONF_POLICY_NAMESPACE ", buffer size = " +
                   size,
               "Found policy from target directory",
               "Process: stream size = " + size,
               "Parsing policy from input stream",
               "Local syslog: enabled = true, max size = 10MB",
               "Remote syslog server: enabled = true, health event = true, "
               "system event = false, "
               "security event = false, server = (udp)127.0.0.1:514",
               "Process() result code: 0"}));
    // (The generated text: policy_pipeline_test and velk_config_test.)
    const std::string generated = ReadFile(kNew);
    EXPECT_NE(generated.find("\nlocal5.* @127.0.0.1:514;VelkFormat\n"),
              std::string::npos);
    EXPECT_FALSE(Exists(kLive));

    EXPECT_EQ(host.plugin.Commit(), 0);
    EXPECT_EQ(ReadFile(kLive), generated);
    EXPECT_FALSE(Exists(kNew));
    EXPECT_EQ(ServiceLog(), "service syslog restart\n");
    EXPECT_EQ(host.logger.Texts().back(), "Commit() finished, result=0.");
    // A second commit finds nothing new, restarts all the same, and fails.
    EXPECT_EQ(host.plugin.Commit(), 1);
    EXPECT_EQ(ServiceLog(), "service syslog restart\nservice syslog restart\n");
    EXPECT_EQ(host.logger.Texts().back(), "Commit() finished, result=1.");
    EXPECT_EQ(ReadFile(kLive), generated);

    // A null namespace is logged as such and the update goes on.
    host.logger.lines.clear();
    EXPECT_EQ(
        host.plugin.Process(
            nullptr, reinterpret_cast<const unsigned char*>(kPolicy.data()),
            static_cast<unsigned int>(kPolicy.size())),
        0);
    EXPECT_EQ(host.logger.Texts().front(),
              "Process: ns = (null), buffer size = " + size);
  });
}

}  // namespace
