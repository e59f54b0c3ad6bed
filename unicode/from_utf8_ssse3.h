// A mixed-width kernel out of UTF-8 with SSSE3: sequences of any length, in
// any order, 32 bytes at a time.  Each block of 16 bytes is checked as the
// validator checks it; every byte that ends a character (and, into UTF-16,
// the third byte of a four-byte sequence, which yields the high surrogate)
// computes its unit from itself and the bytes before it, and a shuffle
// chosen by the mask of those bytes packs the units together.
#ifndef VELKCONF_UNICODE_FROM_UTF8_SSSE3_H_
#define VELKCONF_UNICODE_FROM_UTF8_SSSE3_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// Well-formed UTF-8 but U+FFFE and U+FFFF from src (n bytes readable) into
// units of kOutSize bytes: UTF-16 when kUtf16, pairs for four-byte sequences;
// else UTF-32.  The room must hold
// one unit a byte and 8 units more; no unit past the output changes.  Returns
// the bytes converted, always whole characters, moves dst past the units
// written and adds the characters to chars.  Only where HasSsse3().
template <bool kUtf16, std::size_t kOutSize>
VELK_SSSE3 std::size_t Utf8ToUnitsMixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& dst,
                                        std::size_t& chars);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_FROM_UTF8_SSSE3_H_
