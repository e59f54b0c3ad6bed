// zevUnicode and the UTF wrappers against the model: the byte input is
// taken both as UTF-8 and as UTF-16 units.
#include <type_traits>
#include <vector>

#include "fuzz_support.h"

namespace {

template <typename String>
model::Units UnitsOf(const String& s) {
  model::Units units;
  for (auto c : s)
    units.push_back(static_cast<std::make_unsigned_t<decltype(c)>>(c));
  return units;
}

// A whole-string wrapper gives the lenient string form's output alone.
model::Outcome Output(const model::Units& out) {
  return model::Outcome{conversionOK, 0, out, 0, ""};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const fuzz::Input input(data, size);
  const model::Units bytes = input.Units(1);
  const model::Units units = input.Units(2);
  const std::vector<unsigned short> units16(units.begin(), units.end());
  zevUnicode<unsigned short> zev;

  // Lenient by pointer, strict by pointer to pointer; len is what was
  // written, and the strict forms advance the source.
  for (bool strict : {false, true}) {
    const model::Outcome want = model::FromUtf8(bytes, strict, true);
    std::basic_string<unsigned short> dst;
    const char* const start = reinterpret_cast<const char*>(input.data);
    const char* src = start;
    unsigned int len = static_cast<unsigned int>(bytes.size());
    model::Outcome got;
    got.code =
        strict ? zev.UTF8ToWide(dst, &src, len) : zev.UTF8ToWide(dst, src, len);
    got.consumed =
        strict ? static_cast<std::size_t>(src - start) : want.consumed;
    got.out = UnitsOf(dst);
    got.chars = len;
    fuzz::Same(want, got, true, "zevUnicode::UTF8ToWide");
  }
  for (bool strict : {false, true}) {
    const model::Outcome want = model::Utf16ToUtf8(units, strict, true);
    std::string dst;
    const unsigned short* src = units16.data();
    unsigned int len = static_cast<unsigned int>(units16.size());
    model::Outcome got;
    got.code =
        strict ? zev.WideToUTF8(dst, &src, len) : zev.WideToUTF8(dst, src, len);
    got.consumed =
        strict ? static_cast<std::size_t>(src - units16.data()) : want.consumed;
    got.out = UnitsOf(dst);
    got.chars = len;
    fuzz::Same(want, got, true, "zevUnicode::WideToUTF8");
  }
  // strTowstr and wstrTostr are the lenient string forms.
  const std::string text(input.data, input.data + input.size);
  fuzz::Same(Output(model::FromUtf8(bytes, false, true).out),
             Output(UnitsOf(strTowstr(text))), false, "strTowstr");
  const std::wstring wide(units.begin(), units.end());
  fuzz::Same(Output(model::Utf16ToUtf8(units, false, true).out),
             Output(UnitsOf(wstrTostr(wide))), false, "wstrTostr");
  return 0;
}
