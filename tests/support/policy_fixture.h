// What the policy pipeline's tests share: Xerces initialised as a host
// process does it, the recording host installed in the library's globals,
// and the file helpers.
#ifndef VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_
#define VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "support/files.h"
#include "support/recording_host.h"
#include "velkconf/host_glue.h"

// The files of an update, and a real rsyslog template that needs no
// /dev/log.
inline const std::string kIn = "/etc/rsyslog.conf.in";
inline const std::string kNew = "/etc/rsyslog.conf.new";
inline const std::string kLive = "/etc/rsyslog.conf";
inline const std::string kPolicyFile = "/etc/tesk/policies/velk/velk.xml";
inline const std::string kTemplate =
    "global(workDirectory=\"/tmp/velk-rsyslog\")\nmodule(load=\"imudp\")\n"
    "input(type=\"imudp\" address=\"127.0.0.1\" port=\"5514\")\nmail.* "
    "-/tmp/velk-rsyslog/mail.log\n";

// The library never initialises Xerces: the host does, once per process.
class XercesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { xercesc::XMLPlatformUtils::Initialize(); }
  void TearDown() override { xercesc::XMLPlatformUtils::Terminate(); }
};
inline ::testing::Environment* const g_xercesEnvironment =
    ::testing::AddGlobalTestEnvironment(new XercesEnvironment);

// Installs a fresh logger, policy information and configuration parameters
// for each test, and takes them away afterwards.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLoggerInterface(&logger);
    SetSensorPolicyInfo(&info);
    ConfigParameters::SetConfigInterface(&params);
  }
  void TearDown() override {
    SetLoggerInterface(nullptr);
    SetSensorPolicyInfo(nullptr);
    ConfigParameters::SetConfigInterface(nullptr);
  }

  // A sensor's policy repository under the default root, as the host
  // describes it: the policy at /etc/tesk/policies/velk/velk.xml, its copy
  // at /tmp/ppd/velk.xml and the schema at /etc/tesk/schemas/velk/velk.xsd.
  // Only inside the sandbox.
  void LayOutRepository() {
    info.Set("fileName", "velk/velk.xml");
    info.Set("relativePath", "velk");
    info.Set("schemaName", "velk.xsd");
    MakeDirs("/etc/tesk/policies/velk");
    MakeDirs("/etc/tesk/schemas/velk");
    WriteFile("/etc/tesk/schemas/velk/velk.xsd",
              ReadFile(SourceDir() + "/schemas/velk.xsd"));
  }

  // The lines logged at level.
  std::vector<std::string> LinesAt(int level) const {
    return logger.Texts(level);
  }

  RecordingLogger logger;
  FakePolicyInfo info;
  FakeConfigParameters params;
};

#endif  // VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_
