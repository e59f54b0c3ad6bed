// The dynamic symbols hosts were built against, found with dlsym in the
// loaded plug-in so that a changed parameter type shows as a missing name.
// (The entry points and the logging and capability glue are resolved by
// name where they are driven: entry_points_test and host_services_test.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/loaded_plugin.h"

namespace {

const char* const kSymbols[] = {
    "_ZN16ConfigParameters15m_pConfigParmIfE",
    "_ZN16ConfigParameters18SetConfigInterfaceEPK17IConfigParameters",
    "_ZN16ConfigParameters8GetValueEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_ZN16ConfigParameters8GetValueEPKcRi",
    "_ZN16ConfigParameters8GetValueEPKcRb",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRi",
    "_ZN16ConfigParameters18GetTuningParameterEPKcRb",
    "_ZN16ConfigParameters8ParseIntERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERi",
    "_ZN16ConfigParameters9ParseBoolERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERb",
    "_Z18ConvertUTF16toUTF8PPKtS0_PPhS2_15ConversionFlags",
    "_Z18ConvertUTF16toUTF8PPKtS0_RNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPm15ConversionFlags",
    "_Z18ConvertUTF8toUTF16PPKhS0_PPtS2_15ConversionFlags",
    "_Z18ConvertUTF8toUTF16PPKhS0_RNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPm15ConversionFlags",
    "_Z18ConvertUTF8toUTF32PPKhS0_PPmS2_15ConversionFlags",
    "_Z19ConvertUTF16toUTF32PPKtS0_PPmS2_15ConversionFlags",
    "_Z19ConvertUTF16toUTF32IwmEjPPKtS1_RNSt7__cxx1112basic_stringIT_St11char_traitsIS5_ESaIS5_EEEPT0_15ConversionFlags",
    "_Z19ConvertUTF32toUTF16PPKmS0_PPtS2_15ConversionFlags",
    "_Z19ConvertUTF32toUTF16PPKmS0_RNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPm15ConversionFlags",
    "_Z18ConvertUTF32toUTF8PPKmS0_PPhS2_15ConversionFlags",
    "_Z18ConvertUTF32toUTF8PPKmS0_RNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPm15ConversionFlags",
    "_Z19isLegalUTF8SequencePKhS0_",
    "_Z14MakeWideStringB5cxx11PKt",
    "_Z15MakeUtf16StringB5cxx11PKw",
    "_Z9wstrTostrRKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEERNS0_IcS1_IcESaIcEEEb",
    "_Z9strTowstrRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERNS0_IwS1_IwESaIwEEEb",
    "_Z9strW2strANSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEERNS0_IcS1_IcESaIcEEEb",
    "_Z9strA2strWNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERNS0_IwS1_IwESaIwEEEb",
    "_ZTI10zevUnicodeItE",
};

TEST(Exports, EveryNameAndTheEntryPointsWithoutCxxLinkage) {
  const Plugin plugin = LoadPlugin();
  for (const char* name : kSymbols) Symbol<void*>(plugin, name);
  // No entry point may carry a C++ name as well.
  FILE* nm = popen(("nm -D --defined-only " + PluginPath()).c_str(), "r");
  ASSERT_NE(nm, nullptr);
  char line[4096];
  int lines = 0;
  for (; std::fgets(line, sizeof line, nm) != nullptr; ++lines) {
    for (const char* entry : {"10Initialize", "7Process", "6Commit"}) {
      EXPECT_EQ(std::string(line).find(std::string(" _Z") + entry), std::string::npos) << line;
    }
  }
  EXPECT_EQ(pclose(nm), 0);
  EXPECT_GT(lines, 30);
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
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPKcRj",
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPPKcRj",
  };
  // Past offset-to-top and type info.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vtable[2 + i], Symbol<void*>(plugin, kSlots[i])) << kSlots[i];
}

}  // namespace
