// UTF-16 to UTF-8, templated over the 16-bit unit type so that the parser's
// XMLCh (char16_t) and the exported unsigned short share one routine without
// reinterpreting one type as the other.
#ifndef VELKCONF_UNICODE_UTF16_TO_UTF8_H_
#define VELKCONF_UNICODE_UTF16_TO_UTF8_H_

#include <string>

#include "velkconf/convert_utf.h"

namespace velk {

// String form: appends to target, *count = characters appended.
template <typename Unit>
ConversionResult Utf16ToUtf8String(const Unit** sourceStart,
                                   const Unit* sourceEnd, std::string& target,
                                   unsigned long* count, ConversionFlags flags);

// Buffer form.
template <typename Unit>
ConversionResult Utf16ToUtf8Buffer(const Unit** sourceStart,
                                   const Unit* sourceEnd,
                                   unsigned char** targetStart,
                                   unsigned char* targetEnd,
                                   ConversionFlags flags);

// A zero-terminated UTF-16 text (null counts as empty) as UTF-8, lenient:
// ill-formed units come out as U+FFFD.
template <typename Unit>
std::string Utf16ZToUtf8(const Unit* text) {
  std::string out;
  if (text == nullptr) return out;
  const Unit* end = text;
  while (*end != 0) ++end;
  unsigned long count = 0;
  Utf16ToUtf8String(&text, end, out, &count, lenientConversion);
  return out;
}

extern template ConversionResult Utf16ToUtf8String<unsigned short>(
    const unsigned short**, const unsigned short*, std::string&, unsigned long*,
    ConversionFlags);
extern template ConversionResult Utf16ToUtf8String<char16_t>(const char16_t**,
                                                             const char16_t*,
                                                             std::string&,
                                                             unsigned long*,
                                                             ConversionFlags);
extern template ConversionResult Utf16ToUtf8Buffer<unsigned short>(
    const unsigned short**, const unsigned short*, unsigned char**,
    unsigned char*, ConversionFlags);
extern template ConversionResult Utf16ToUtf8Buffer<char16_t>(const char16_t**,
                                                             const char16_t*,
                                                             unsigned char**,
                                                             unsigned char*,
                                                             ConversionFlags);

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF16_TO_UTF8_H_
