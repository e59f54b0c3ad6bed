// The exported host glue: what it hands to the host's service objects and
// what it answers without them.  (That hosts find each function by its C++
// name in the loaded plug-in: exports_test.)
#include <gtest/gtest.h>

#include <string>

#include "support/recording_host.h"
#include "velkconf/host_glue.h"

namespace {

void CallVLog(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vLog(level, format, args);
  va_end(args);
}

TEST(HostGlue, Logging) {
  // Without interfaces everything is neutral.
  SetLoggerInterface(nullptr);
  SetSensorPolicyInfo(nullptr);
  SetCapabilitiesInterface(nullptr);
  Log(1, "%s %d %s", "no", 1, "listens");
  CallVLog(1, "%s", "nobody");
  LogMsg("nobody", 3);
  SetLogLevel(4);
  LogDB(5, "nobody");
  EXPECT_EQ(SCGetNumOfPorts(), 0);
  EXPECT_EQ(SCGetModel(), "");
  std::string value = "kept";
  EXPECT_EQ(GetNamespaceInfo("ns", "fileName", value), 1);
  EXPECT_EQ(value, "kept");
  EXPECT_FALSE(SCGetAVPValue("avp", value));
  EXPECT_EQ(value, "kept");

  // With a logger, format and arguments pass through.
  RecordingLogger logger;
  SetLoggerInterface(&logger);
  Log(7, "a %s b %d c %ld", "x", -3, 40L);
  CallVLog(8, "v %s", "y");
  LogMsg("message", 9);
  SetLogLevel(10);
  LogDB(11, "db");
  ASSERT_EQ(logger.lines.size(), 2u);
  EXPECT_EQ(logger.lines[0], (RecordingLogger::Line{7, "a x b -3 c 40"}));
  EXPECT_EQ(logger.formats[0], "a %s b %d c %ld");
  EXPECT_EQ(logger.lines[1], (RecordingLogger::Line{8, "v y"}));
  EXPECT_EQ(logger.calls,
            (std::vector<std::string>{"LogMsg(message,9)", "SetLogLevel(10)",
                                      "LogDB(11,db)"}));
  // A null logger stops the forwarding again.
  SetLoggerInterface(nullptr);
  Log(1, "dropped");
  EXPECT_EQ(logger.lines.size(), 2u);
}

TEST(HostGlue, CapabilitiesAndNamespaceInfo) {
  FakeCapabilities caps;
  SetCapabilitiesInterface(&caps);

  caps.ports = 6;
  EXPECT_EQ(SCGetNumOfPorts(), 6);
  caps.write_ports = false;  // the host leaves the preset count alone
  EXPECT_EQ(SCGetNumOfPorts(), 0);

  caps.model = "VS-2000";
  EXPECT_EQ(SCGetModel(), "VS-2000");
  caps.model_rc = 5;  // written, but not vouched for
  EXPECT_EQ(SCGetModel(), "");
  caps.model_rc = 0;
  caps.model = std::string(79, 'm');
  EXPECT_EQ(SCGetModel(), std::string(79, 'm'));
  caps.model = std::string(80, 'u');  // no NUL inside the buffer
  EXPECT_EQ(SCGetModel(), std::string(80, 'u'));

  caps.avps["serial"] = {0, "AB12"};
  caps.avps["broken"] = {3, "junk"};
  std::string value = "a much longer earlier value";
  EXPECT_TRUE(SCGetAVPValue("serial", value));
  EXPECT_EQ(value, "AB12");
  EXPECT_FALSE(SCGetAVPValue("broken", value));
  EXPECT_FALSE(SCGetAVPValue("absent", value));
  EXPECT_EQ(value, "AB12");
  // The buffer is cleared before every model and AVP query.
  for (const std::string& first : caps.first_bytes) EXPECT_EQ(first, "NUL");
  SetCapabilitiesInterface(nullptr);

  FakePolicyInfo info;
  SetSensorPolicyInfo(&info);
  // The host's code comes back as it is; the value afterwards starts from
  // "previous value".
  const struct {
    const char* name;
    std::string raw;
    int rc;
    std::string want;
  } cases[] = {
      {"plain", "a/b.xml", 0, "a/b.xml"},
      {"host code passes through", "ignored", 7, "previous value"},
      {"negative code passes through", "ignored", -2, "previous value"},
      {"511 characters fit", std::string(511, 'x'), 0, std::string(511, 'x')},
      {"embedded NUL ends the text", std::string("ab\0cd", 5), 0, "ab"},
      {"no NUL in 512 bytes", std::string(600, 'y'), 0, std::string(512, 'y')},
      {"empty text", "", 0, ""},
  };
  for (const auto& c : cases) {
    info.Set("key", c.raw, c.rc);
    std::string value = "previous value";
    EXPECT_EQ(GetNamespaceInfo("some-ns", "key", value), c.rc) << c.name;
    EXPECT_EQ(value, c.want) << c.name;
  }
  EXPECT_EQ(info.asked.back(), "some-ns|key");
  SetSensorPolicyInfo(nullptr);
}

}  // namespace
