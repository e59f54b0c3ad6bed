// The exported host glue, reached the way a host reaches it: by its C++
// symbol names in the loaded plug-in.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/loaded_plugin.h"
#include "support/recording_host.h"

namespace {

// The glue's exported names: part of the contract with hosts.
struct Glue {
  explicit Glue(const Plugin& p) {
    Bind(p, SetLogger, "_Z18SetLoggerInterfacePK7ILogger");
    Bind(p, SetPolicyInfo, "_Z19SetSensorPolicyInfoPK17ISensorPolicyInfo");
    Bind(p, SetCapabilities,
         "_Z24SetCapabilitiesInterfacePK19ISensorCapabilities");
    Bind(p, Log, "_Z3LogiPKcz");
    Bind(p, vLog, "_Z4vLogiPKcP13__va_list_tag");
    Bind(p, LogMsg, "_Z6LogMsgPKci");
    Bind(p, SetLogLevel, "_Z11SetLogLeveli");
    Bind(p, LogDB, "_Z5LogDBiPKc");
    Bind(p, SCGetNumOfPorts, "_Z15SCGetNumOfPortsv");
    Bind(p, SCGetModel, "_Z10SCGetModelB5cxx11v");
    Bind(p, GetNamespaceInfo,
         "_Z16GetNamespaceInfoRKNSt7__cxx1112basic_stringIcSt11char_"
         "traitsIcESaIcEEES6_RS4_");
    Bind(p, SCGetAVPValue,
         "_Z13SCGetAVPValueRKNSt7__cxx1112basic_stringIcSt11char_"
         "traitsIcESaIcEEERS4_");
  }
  template <typename T>
  static void Bind(const Plugin& p, T& fn, const char* name) {
    fn = Symbol<T>(p, name);
  }

  void (*SetLogger)(const ILogger*);
  void (*SetPolicyInfo)(const ISensorPolicyInfo*);
  void (*SetCapabilities)(const ISensorCapabilities*);
  void (*Log)(int, const char*, ...);
  void (*vLog)(int, const char*, va_list);
  void (*LogMsg)(const char*, int);
  void (*SetLogLevel)(int);
  void (*LogDB)(int, const char*);
  int (*SCGetNumOfPorts)();
  std::string (*SCGetModel)();
  int (*GetNamespaceInfo)(const std::string&, const std::string&, std::string&);
  bool (*SCGetAVPValue)(const std::string&, std::string&);
};

// Runs body against a freshly loaded plug-in.
void WithGlue(const std::function<void(const Glue&)>& body) {
  InFreshProcess([&] {
    Plugin plugin = LoadPlugin();
    body(Glue(plugin));
  });
}

void CallVLog(const Glue& glue, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  glue.vLog(level, format, args);
  va_end(args);
}

TEST(HostGlue, Logging) {
  // Without interfaces everything is neutral.
  WithGlue([](const Glue& glue) {
    glue.Log(1, "%s %d %s", "no", 1, "listens");
    CallVLog(glue, 1, "%s", "nobody");
    glue.LogMsg("nobody", 3);
    glue.SetLogLevel(4);
    glue.LogDB(5, "nobody");
    EXPECT_EQ(glue.SCGetNumOfPorts(), 0);
    EXPECT_EQ(glue.SCGetModel(), "");
    std::string value = "kept";
    EXPECT_EQ(glue.GetNamespaceInfo("ns", "fileName", value), 1);
    EXPECT_EQ(value, "kept");
    EXPECT_FALSE(glue.SCGetAVPValue("avp", value));
    EXPECT_EQ(value, "kept");

    // With a logger, format and arguments pass through.
    RecordingLogger logger;
    glue.SetLogger(&logger);
    glue.Log(7, "a %s b %d c %ld", "x", -3, 40L);
    CallVLog(glue, 8, "v %s", "y");
    glue.LogMsg("message", 9);
    glue.SetLogLevel(10);
    glue.LogDB(11, "db");
    ASSERT_EQ(logger.lines.size(), 2u);
    EXPECT_EQ(logger.lines[0], (RecordingLogger::Line{7, "a x b -3 c 40"}));
    EXPECT_EQ(logger.formats[0], "a %s b %d c %ld");
    EXPECT_EQ(logger.lines[1], (RecordingLogger::Line{8, "v y"}));
    EXPECT_EQ(logger.calls,
              (std::vector<std::string>{"LogMsg(message,9)", "SetLogLevel(10)",
                                        "LogDB(11,db)"}));
    // A null logger stops the forwarding again.
    glue.SetLogger(nullptr);
    glue.Log(1, "dropped");
    EXPECT_EQ(logger.lines.size(), 2u);
  });
}

TEST(HostGlue, CapabilitiesAndNamespaceInfo) {
  WithGlue([](const Glue& glue) {
    FakeCapabilities caps;
    glue.SetCapabilities(&caps);

    caps.ports = 6;
    EXPECT_EQ(glue.SCGetNumOfPorts(), 6);
    caps.write_ports = false;  // the host leaves the preset count alone
    EXPECT_EQ(glue.SCGetNumOfPorts(), 0);

    caps.model = "VS-2000";
    EXPECT_EQ(glue.SCGetModel(), "VS-2000");
    caps.model_rc = 5;  // written, but not vouched for
    EXPECT_EQ(glue.SCGetModel(), "");
    caps.model_rc = 0;
    caps.model = std::string(79, 'm');
    EXPECT_EQ(glue.SCGetModel(), std::string(79, 'm'));
    caps.model = std::string(80, 'u');  // no NUL inside the buffer
    EXPECT_EQ(glue.SCGetModel(), std::string(80, 'u'));

    caps.avps["serial"] = {0, "AB12"};
    caps.avps["broken"] = {3, "junk"};
    std::string value = "a much longer earlier value";
    EXPECT_TRUE(glue.SCGetAVPValue("serial", value));
    EXPECT_EQ(value, "AB12");
    EXPECT_FALSE(glue.SCGetAVPValue("broken", value));
    EXPECT_FALSE(glue.SCGetAVPValue("absent", value));
    EXPECT_EQ(value, "AB12");
    // The buffer is cleared before every model and AVP query.
    for (const std::string& first : caps.first_bytes) EXPECT_EQ(first, "NUL");

    FakePolicyInfo info;
    glue.SetPolicyInfo(&info);
    // The host's code comes back as it is; the value afterwards starts
    // from "previous value".
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
        {"no NUL in 512 bytes", std::string(600, 'y'), 0,
         std::string(512, 'y')},
        {"empty text", "", 0, ""},
    };
    for (const auto& c : cases) {
      info.Set("key", c.raw, c.rc);
      std::string value = "previous value";
      EXPECT_EQ(glue.GetNamespaceInfo("some-ns", "key", value), c.rc) << c.name;
      EXPECT_EQ(value, c.want) << c.name;
    }
    EXPECT_EQ(info.asked.back(), "some-ns|key");
  });
}

}  // namespace
