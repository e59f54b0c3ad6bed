// A kernel from UTF-16 to UTF-32 with AVX-512 (F, BW, VL and VBMI2): BMP
// characters and surrogate pairs in any order, 32 units at a time.  A
// high surrogate's lane computes its pair's character from the unit after
// it, a compress drops the low surrogates' lanes, and masked stores write
// the characters and nothing past them.
#ifndef VELKCONF_UNICODE_UTF16_TO_UTF32_AVX512_H_
#define VELKCONF_UNICODE_UTF16_TO_UTF32_AVX512_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// UTF-16 units of BMP characters but U+FFFE and U+FFFF, and pairs, from
// src (n units readable) into units of kOutSize (4 or 8) bytes; a high
// surrogate in a group's last unit waits for the next group, and a group
// with anything else ends the run.  The room must hold one unit a source
// unit.  Returns the source units converted and moves dst past the units
// written.  Only where HasAvx512().
template <std::size_t kOutSize>
VELK_AVX512 std::size_t Utf16ToUtf32Avx512(const unsigned char* src,
                                           std::size_t n, unsigned char*& dst);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_UTF16_TO_UTF32_AVX512_H_
