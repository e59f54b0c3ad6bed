// The library's dynamic symbols are exactly its outward face: each name
// hosts were built against is found with dlsym in the loaded plug-in (a
// changed parameter type shows as a missing name), and `nm -D` lists
// nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "support/loaded_plugin.h"

namespace {

// clang-format off
const std::set<std::string> kExports = {
    // Entry points and identification strings.
    "Commit", "GetErrorMessage", "Initialize", "PostProcess", "PreProcess", "Process",
    "ReleaseErrorMessage", "Uninitialize", "Validate", "s___name", "s___special", "s___version",
    // Logging and capability glue.
    "_Z10SCGetModelB5cxx11v", "_Z11SetLogLeveli",
    "_Z13SCGetAVPValueRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERS4_",
    "_Z15SCGetNumOfPortsv",
    "_Z16GetNamespaceInfoRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES6_RS4_",
    "_Z18SetLoggerInterfacePK7ILogger", "_Z19SetSensorPolicyInfoPK17ISensorPolicyInfo",
    "_Z24SetCapabilitiesInterfacePK19ISensorCapabilities", "_Z3LogiPKcz",
    "_Z4vLogiPKcP13__va_list_tag", "_Z5LogDBiPKc", "_Z6LogMsgPKci",
    // ConfigParameters.
    "_ZN16ConfigParameters15m_pConfigParmIfE",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRb",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRi",
    "_ZN16ConfigParameters18SetConfigInterfaceEPK17IConfigParameters",
    "_ZN16ConfigParameters8GetValueEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_ZN16ConfigParameters8GetValueEPKcRb", "_ZN16ConfigParameters8GetValueEPKcRi",
    "_ZN16ConfigParameters8ParseIntERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERi",
    "_ZN16ConfigParameters9ParseBoolERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERb",
    // Conversions, string wrappers and zevUnicode<unsigned short>.
    "_Z14MakeWideStringB5cxx11PKt", "_Z15MakeUtf16StringB5cxx11PKw",
    "_Z18ConvertUTF16toUTF8PPKtS0_PPhS2_15ConversionFlags",
    "_Z18ConvertUTF16toUTF8PPKtS0_RNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPm15ConversionFlags",
    "_Z18ConvertUTF32toUTF8PPKmS0_PPhS2_15ConversionFlags",
    "_Z18ConvertUTF32toUTF8PPKmS0_RNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPm15ConversionFlags",
    "_Z18ConvertUTF8toUTF16PPKhS0_PPtS2_15ConversionFlags",
    "_Z18ConvertUTF8toUTF16PPKhS0_RNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPm15ConversionFlags",
    "_Z18ConvertUTF8toUTF32PPKhS0_PPmS2_15ConversionFlags",
    "_Z19ConvertUTF16toUTF32IwmEjPPKtS1_RNSt7__cxx1112basic_stringIT_St11char_traitsIS5_ESaIS5_EEEPT0_15ConversionFlags",
    "_Z19ConvertUTF16toUTF32PPKtS0_PPmS2_15ConversionFlags",
    "_Z19ConvertUTF32toUTF16PPKmS0_PPtS2_15ConversionFlags",
    "_Z19ConvertUTF32toUTF16PPKmS0_RNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPm15ConversionFlags",
    "_Z19isLegalUTF8SequencePKhS0_",
    "_Z9strA2strWNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_Z9strA2strWNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERNS0_IwS1_IwESaIwEEEb",
    "_Z9strTowstrRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_Z9strTowstrRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERNS0_IwS1_IwESaIwEEEb",
    "_Z9strW2strANSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE",
    "_Z9strW2strANSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEERNS0_IcS1_IcESaIcEEEb",
    "_Z9wstrTostrRKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE",
    "_Z9wstrTostrRKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEERNS0_IcS1_IcESaIcEEEb",
    "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPKcRj",
    "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPPKcRj",
    "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPKtRj",
    "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPPKtRj",
    "_ZN10zevUnicodeItED0Ev", "_ZN10zevUnicodeItED1Ev", "_ZN10zevUnicodeItED2Ev",
    "_ZTI10zevUnicodeItE", "_ZTS10zevUnicodeItE", "_ZTV10zevUnicodeItE",
};
// clang-format on

// The lines a command prints; fails the test if it fails.
std::vector<std::string> Output(const std::string& command) {
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr) << command;
  if (pipe == nullptr) return lines;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    lines.emplace_back(line);
    if (lines.back().back() == '\n') lines.back().pop_back();
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return lines;
}

TEST(Exports, ExactlyTheOutwardFace) {
  const Plugin plugin = LoadPlugin();
  for (const std::string& name : kExports) Symbol<void*>(plugin, name.c_str());
  // "ADDRESS TYPE NAME@@VERSION"; the version itself is listed with type A.
  std::set<std::string> exported;
  for (const std::string& line :
       Output("nm -D --defined-only " + PluginPath())) {
    char type = 0;
    char name[4096];
    if (std::sscanf(line.c_str(), "%*s %c %4095s", &type, name) != 2 ||
        type == 'A')
      continue;
    exported.insert(std::string(name).substr(0, std::string(name).find('@')));
  }
  for (const std::string& name : exported)
    EXPECT_EQ(kExports.count(name), 1u) << "exported: " << name;
  for (const std::string& name : kExports)
    EXPECT_EQ(exported.count(name), 1u) << "not exported: " << name;
}

// Hosts dlopen the development name libvelkconf.so (as this test does);
// programs linked against it record the versioned SONAME.
TEST(Exports, VersionedSoname) {
  EXPECT_EQ(PluginPath().substr(PluginPath().rfind('/') + 1), "libvelkconf.so");
  std::vector<std::string> sonames;
  for (const std::string& line : Output("readelf -d " + PluginPath())) {
    if (line.find("(SONAME)") != std::string::npos)
      sonames.push_back(line.substr(line.find('[')));
  }
  EXPECT_EQ(sonames, std::vector<std::string>{"[libvelkconf.so.1]"});
}

// The vtable holds, after the two destructors, the four operations in
// their documented order.
TEST(Exports, ZevUnicodeVtableSlots) {
  const Plugin plugin = LoadPlugin();
  const auto vtable = Symbol<void* const*>(plugin, "_ZTV10zevUnicodeItE");
  ASSERT_NE(vtable, nullptr);
  const char* const kSlots[] = {
      "_ZN10zevUnicodeItED1Ev",
      "_ZN10zevUnicodeItED0Ev",
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_"
      "traitsIcESaIcEEEPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_"
      "traitsItESaItEEEPKcRj",
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_"
      "traitsIcESaIcEEEPPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_"
      "traitsItESaItEEEPPKcRj",
  };
  // Past offset-to-top and type info.
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(vtable[2 + i], Symbol<void*>(plugin, kSlots[i])) << kSlots[i];
}

}  // namespace
