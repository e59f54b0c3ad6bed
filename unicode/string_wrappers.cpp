// Whole-string conversions among narrow, wide and UTF-16 strings.
//
// A wide string holds either UTF-32 (MakeWideString, MakeUtf16String) or
// UTF-16 with one unit per wide character (wstrTostr, strTowstr).  In the
// latter, a wide character above 0xFFFF is no UTF-16 unit and comes out as
// U+FFFD.
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <utility>

#include "unicode/utf16_to_utf8.h"
#include "unicode/utf32_encode.h"
#include "unicode/utf8_decode.h"
#include "unicode/utf_tables.h"
#include "velkconf/convert_utf.h"

std::basic_string<unsigned short> MakeUtf16String(const wchar_t* s) {
  std::basic_string<unsigned short> out;
  if (s == nullptr) return out;
  unsigned long count = 0;
  velk::Utf32ToUtf16String(&s, s + std::wcslen(s), out, &count,
                           lenientConversion);
  return out;
}

std::wstring MakeWideString(const unsigned short* s) {
  std::wstring out;
  if (s == nullptr) return out;
  const unsigned short* end = s;
  while (*end != 0) ++end;
  unsigned long count = 0;
  ConvertUTF16toUTF32<wchar_t, unsigned long>(&s, end, out, &count,
                                              lenientConversion);
  return out;
}

void wstrTostr(const std::wstring& src, std::string& dst, bool append) {
  if (!append) dst.clear();
  std::basic_string<unsigned short> units(src.size(), 0);
  for (std::size_t i = 0; i < src.size(); ++i) {
    const unsigned long unit = velk::UnitValue(src[i]);
    units[i] = static_cast<unsigned short>(
        unit > 0xFFFF ? velk::kReplacementChar : unit);
  }
  const unsigned short* begin = units.data();
  unsigned long count = 0;
  velk::Utf16ToUtf8String(&begin, begin + units.size(), dst, &count,
                          lenientConversion);
}

std::string wstrTostr(const std::wstring& src) {
  std::string dst;
  wstrTostr(src, dst, false);
  return dst;
}

void strTowstr(const std::string& src, std::wstring& dst, bool append) {
  if (!append) dst.clear();
  const auto* bytes = reinterpret_cast<const unsigned char*>(src.data());
  unsigned long count = 0;
  velk::Utf8ToUtf16String(&bytes, bytes + src.size(), dst, &count,
                          lenientConversion);
}

std::wstring strTowstr(const std::string& src) {
  std::wstring dst;
  strTowstr(src, dst, false);
  return dst;
}

// The multibyte side is whatever the process's LC_CTYPE locale selects.  A
// conversion that needs more than twice as many bytes as src has
// characters keeps the whole characters that fit.
void strW2strA(std::wstring src, std::string& dst, bool keep) {
  const std::size_t size = 2 * src.size() + 1;
  std::unique_ptr<char[]> buffer(new char[size]);
  if (!keep) dst.clear();
  const std::size_t n = std::wcstombs(buffer.get(), src.c_str(), size);
  if (n != static_cast<std::size_t>(-1)) dst.assign(buffer.get(), n);
}

std::string strW2strA(std::wstring src) {
  std::string dst;
  strW2strA(std::move(src), dst, false);
  return dst;
}

void strA2strW(std::string src, std::wstring& dst, bool keep) {
  const std::size_t size = src.size() + 1;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[size]);
  if (!keep) dst.clear();
  const std::size_t n = std::mbstowcs(buffer.get(), src.c_str(), size);
  if (n != static_cast<std::size_t>(-1)) dst.assign(buffer.get(), n);
}

std::wstring strA2strW(std::string src) {
  std::wstring dst;
  strA2strW(std::move(src), dst, false);
  return dst;
}
