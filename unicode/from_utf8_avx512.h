// A kernel out of UTF-8 with AVX-512 (F, BW, VL and VBMI2): sequences of
// any length in any order, 64 bytes at a time.  Each block is checked as
// the validator checks it; every byte that ends a character (and, into
// UTF-16, the third byte of a four-byte sequence, which yields the high
// surrogate) computes its unit from itself and the bytes before it, and a
// compress packs those units together; masked stores write them and
// nothing past them.
#ifndef VELKCONF_UNICODE_FROM_UTF8_AVX512_H_
#define VELKCONF_UNICODE_FROM_UTF8_AVX512_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// Well-formed UTF-8 but U+FFFE and U+FFFF from src (n bytes readable) into
// units of kOutSize bytes: UTF-16 when kUtf16 (2 or 4 bytes), pairs for
// four-byte sequences; else UTF-32 (8 bytes).  The room must hold one unit
// a byte.  Returns the bytes converted, always whole characters, moves dst
// past the units written and adds the characters to chars.  Only where
// HasAvx512().
template <bool kUtf16, std::size_t kOutSize>
VELK_AVX512 std::size_t Utf8ToUnitsAvx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& dst,
                                          std::size_t& chars);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_FROM_UTF8_AVX512_H_
