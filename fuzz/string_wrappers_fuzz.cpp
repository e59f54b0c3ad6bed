// zevUnicode and the UTF wrappers against the model: the byte input is
// taken both as UTF-8 and as UTF-16 units.
#include "fuzz_support.h"

namespace {

// A wide string holding one UTF-16 unit per character, as a vector.
std::vector<unsigned short> Units16(const std::wstring& w) {
  return std::vector<unsigned short>(w.begin(), w.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::Input input(data, size);
  const std::vector<unsigned char> bytes(input.data, input.data + input.size);
  const auto units = input.Units<unsigned short>();
  zevUnicode<unsigned short> zev;

  // UTF-8 to UTF-16, lenient by pointer and strict by pointer to pointer.
  for (bool strict : {false, true}) {
    const auto want = model::FromUtf8<unsigned short>(bytes, strict, true);
    std::basic_string<unsigned short> dst;
    const char* src = reinterpret_cast<const char*>(bytes.data());
    unsigned int len = static_cast<unsigned int>(bytes.size());
    model::Outcome<unsigned short> got;
    got.code = strict ? zev.UTF8ToWide(dst, &src, len) : zev.UTF8ToWide(dst, src, len);
    got.consumed = strict ? static_cast<std::size_t>(src - reinterpret_cast<const char*>(bytes.data()))
                          : want.consumed;
    got.out.assign(dst.begin(), dst.end());
    got.chars = len;
    fuzz::Same(want, got, true, "zevUnicode::UTF8ToWide");
  }
  // UTF-16 to UTF-8 likewise.
  for (bool strict : {false, true}) {
    const auto want = model::Utf16ToUtf8(units, strict, true);
    std::string dst;
    const unsigned short* src = units.data();
    unsigned int len = static_cast<unsigned int>(units.size());
    model::Outcome<unsigned char> got;
    got.code = strict ? zev.WideToUTF8(dst, &src, len) : zev.WideToUTF8(dst, src, len);
    got.consumed = strict ? static_cast<std::size_t>(src - units.data()) : want.consumed;
    got.out.assign(dst.begin(), dst.end());
    got.chars = len;
    fuzz::Same(want, got, true, "zevUnicode::WideToUTF8");
  }
  // strTowstr and wstrTostr are the lenient string forms.
  const std::string text(bytes.begin(), bytes.end());
  model::Outcome<unsigned short> wide = model::FromUtf8<unsigned short>(bytes, false, true);
  wide.code = conversionOK;
  wide.consumed = wide.chars = 0;
  fuzz::Same(wide, model::Outcome<unsigned short>{conversionOK, 0, Units16(strTowstr(text)), 0, ""},
             false, "strTowstr");
  const std::wstring w(units.begin(), units.end());
  model::Outcome<unsigned char> narrow = model::Utf16ToUtf8(units, false, true);
  const std::string out = wstrTostr(w);
  narrow.code = conversionOK;
  narrow.consumed = narrow.chars = 0;
  fuzz::Same(narrow, model::Outcome<unsigned char>{conversionOK, 0, {out.begin(), out.end()}, 0, ""},
             false, "wstrTostr");
  return 0;
}
