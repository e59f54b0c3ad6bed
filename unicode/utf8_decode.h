// UTF-8 decoding behind ConvertUTF8toUTF16 and ConvertUTF8toUTF32, for the
// string wrappers that need it with other unit types.
#ifndef VELKCONF_UNICODE_UTF8_DECODE_H_
#define VELKCONF_UNICODE_UTF8_DECODE_H_

#include <string>

#include "velkconf/convert_utf.h"

namespace velk {

// The string form of ConvertUTF8toUTF16 for any string of 16-bit or wider
// units; each unit of String holds one UTF-16 unit.
template <typename String>
ConversionResult Utf8ToUtf16String(const unsigned char** sourceStart,
                                   const unsigned char* sourceEnd,
                                   String& target, unsigned long* count,
                                   ConversionFlags flags);

extern template ConversionResult Utf8ToUtf16String<std::wstring>(
    const unsigned char**, const unsigned char*, std::wstring&, unsigned long*,
    ConversionFlags);

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF8_DECODE_H_
