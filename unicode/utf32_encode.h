// UTF-32 encoding behind ConvertUTF32toUTF16, for the string wrappers that
// hold UTF-32 in wide characters.
#ifndef VELKCONF_UNICODE_UTF32_ENCODE_H_
#define VELKCONF_UNICODE_UTF32_ENCODE_H_

#include <string>

#include "velkconf/convert_utf.h"

namespace velk {

// The string form of ConvertUTF32toUTF16 over any UTF-32 unit type (each
// unit taken as an unsigned value).
template <typename Unit>
ConversionResult Utf32ToUtf16String(const Unit** sourceStart,
                                    const Unit* sourceEnd,
                                    std::basic_string<unsigned short>& target,
                                    unsigned long* count,
                                    ConversionFlags flags);

extern template ConversionResult Utf32ToUtf16String<wchar_t>(
    const wchar_t**, const wchar_t*, std::basic_string<unsigned short>&,
    unsigned long*, ConversionFlags);

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF32_ENCODE_H_
