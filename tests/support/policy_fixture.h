// What the policy pipeline's tests share: Xerces initialised as a host
// process does it, the recording host installed in the library's globals,
// and small file helpers.
#ifndef VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_
#define VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <xercesc/util/PlatformUtils.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "velkconf/host_glue.h"

// The library never initialises Xerces: the host does, once per process.
class XercesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { xercesc::XMLPlatformUtils::Initialize(); }
  void TearDown() override { xercesc::XMLPlatformUtils::Terminate(); }
};
inline ::testing::Environment* const g_xercesEnvironment =
    ::testing::AddGlobalTestEnvironment(new XercesEnvironment);

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline void MakeDirs(const std::string& path) {
  for (std::string::size_type at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    ::mkdir(path.substr(0, at).c_str(), 0755);
  }
}

inline std::string SourceDir() {
  const char* dir = std::getenv("VELK_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

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
    std::vector<std::string> out;
    for (const RecordingLogger::Line& line : logger.lines) {
      if (line.level == level) out.push_back(line.text);
    }
    return out;
  }
  // Every line, whatever its level, as one text.
  std::string WholeLog() const {
    std::string out;
    for (const RecordingLogger::Line& line : logger.lines) {
      out += line.text + "\n";
    }
    return out;
  }

  RecordingLogger logger;
  FakePolicyInfo info;
  FakeConfigParameters params;
};

#endif  // VELKCONF_TESTS_SUPPORT_POLICY_FIXTURE_H_
