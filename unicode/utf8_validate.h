// The paths of the UTF-8 validator, for the tests and fuzz targets to run
// each of them; isLegalUTF8Sequence takes the fastest the processor has.
#ifndef VELKCONF_UNICODE_UTF8_VALIDATE_H_
#define VELKCONF_UNICODE_UTF8_VALIDATE_H_

#include "unicode/simd_vector.h"

namespace velk {

// Whether [s, end) is well-formed UTF-8 through and through.  Portable:
// eight ASCII bytes at a time, any other sequence one by one.
bool ValidUtf8Portable(const unsigned char* s, const unsigned char* end);

#if defined(VELK_UTF_SSE2)
// With SSSE3: 64 bytes at a time, every sequence checked by table lookups
// on the high and low nibbles of each byte and the byte before it.  Only
// where HasSsse3().
bool ValidUtf8Ssse3(const unsigned char* s, const unsigned char* end);
// With AVX-512: the same checks 64 bytes a step.  Only where HasAvx512().
bool ValidUtf8Avx512(const unsigned char* s, const unsigned char* end);
#endif

}  // namespace velk

#endif  // VELKCONF_UNICODE_UTF8_VALIDATE_H_
