// A host linked with the library that defines functions of the library's
// own names, as a host with its own Log(int, const char*, ...) does.  The
// plug-in's calls must stay inside the library: its lines reach the host's
// ILogger, its questions the host's ISensorPolicyInfo, and the host's own
// functions see nothing of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "support/recording_host.h"
#include "velkconf/velkconf.h"

namespace {
std::vector<std::string> g_ownCalls;
}  // namespace

void Log(int, const char* format, ...) {
  g_ownCalls.push_back(std::string("Log ") + format);
}
void SetLoggerInterface(const ILogger*) {
  g_ownCalls.push_back("SetLoggerInterface");
}
int GetNamespaceInfo(const std::string&, const std::string& key, std::string&) {
  g_ownCalls.push_back("GetNamespaceInfo " + key);
  return 1;
}

namespace {

TEST(HostWithOwnNames, PluginCallsStayInTheLibrary) {
  xercesc::XMLPlatformUtils::Initialize();
  RecordingLogger logger;
  FakePolicyInfo info;
  ASSERT_EQ(Initialize(&logger, &info, nullptr, nullptr), 0);
  ASSERT_EQ(PreProcess(), 0);
  const std::string policy = "<not a policy";
  EXPECT_NE(Process("ns", reinterpret_cast<const unsigned char*>(policy.data()),
                    static_cast<unsigned int>(policy.size())),
            0);
  xercesc::XMLPlatformUtils::Terminate();

  EXPECT_EQ(g_ownCalls, std::vector<std::string>());
  const std::vector<std::string> texts = logger.Texts(12);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Finished initializing VELK config lib.");
  EXPECT_EQ(texts[1], "PreProcess() start.");
  EXPECT_EQ(texts[2], "PreProcess() finished");
  EXPECT_NE(info.asked, std::vector<std::string>());
  // The host's own functions still answer the host.
  Log(1, "host line");
  EXPECT_EQ(g_ownCalls, std::vector<std::string>{"Log host line"});
}

}  // namespace
