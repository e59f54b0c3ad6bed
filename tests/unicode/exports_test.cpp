// The conversion family as a host sees it: loaded with dlopen and found by
// mangled name, so a changed parameter type shows as a missing symbol.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "velkconf/convert_utf.h"

namespace {

class Exports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* path = std::getenv("VELK_PLUGIN");
    handle_ = dlopen(path ? path : "libvelkconf.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  static void TearDownTestSuite() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  template <typename T>
  static T Find(const char* name) {
    void* address = dlsym(handle_, name);
    EXPECT_NE(address, nullptr) << "not exported: " << name;
    return reinterpret_cast<T>(address);
  }
  static void* handle_;
};
void* Exports::handle_ = nullptr;

const char* const kSymbols[] = {
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
};

TEST_F(Exports, EveryRoutineByItsMangledName) {
  for (const char* name : kSymbols) Find<void*>(name);
}

TEST_F(Exports, CallsThroughTheResolvedSymbols) {
  using Buffer16to8 = ConversionResult (*)(const unsigned short**, const unsigned short*,
                                           unsigned char**, unsigned char*, ConversionFlags);
  const auto to8 = Find<Buffer16to8>("_Z18ConvertUTF16toUTF8PPKtS0_PPhS2_15ConversionFlags");
  ASSERT_NE(to8, nullptr);
  const unsigned short in[] = {0x41, 0xDBFF, 0xDFFF};
  unsigned char out[8];
  const unsigned short* src = in;
  unsigned char* dst = out;
  EXPECT_EQ(to8(&src, in + 3, &dst, out + 8, strictConversion), sourceIllegal);
  EXPECT_EQ(src, in + 2);
  EXPECT_EQ(dst, out + 1);

  using Template = unsigned int (*)(const unsigned short**, const unsigned short*,
                                    std::wstring&, unsigned long*, ConversionFlags);
  const auto to32 = Find<Template>(kSymbols[6]);
  ASSERT_NE(to32, nullptr);
  std::wstring wide = L"ab";
  unsigned long count = 0;
  src = in;
  EXPECT_EQ(to32(&src, in + 3, wide, &count, strictConversion), conversionOK);
  EXPECT_EQ(wide, L"abA\U0010FFFF");
  EXPECT_EQ(count, 4u);
}

// The vtable holds, after the two destructors, the four operations in
// their documented order.
TEST_F(Exports, ZevUnicodeVtableSlots) {
  const auto vtable = Find<void* const*>("_ZTV10zevUnicodeItE");
  ASSERT_NE(vtable, nullptr);
  void* const* slots = vtable + 2;  // past offset-to-top and type info
  const char* const kSlots[] = {
      "_ZN10zevUnicodeItED1Ev",
      "_ZN10zevUnicodeItED0Ev",
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPKcRj",
      "_ZN10zevUnicodeItE10WideToUTF8ERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPPKtRj",
      "_ZN10zevUnicodeItE10UTF8ToWideERNSt7__cxx1112basic_stringItSt11char_traitsItESaItEEEPPKcRj",
  };
  for (int i = 0; i < 6; ++i) EXPECT_EQ(slots[i], Find<void*>(kSlots[i])) << kSlots[i];
  Find<void*>("_ZTI10zevUnicodeItE");
}

}  // namespace
