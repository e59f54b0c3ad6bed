// Kernels into UTF-8 with AVX-512 (F, BW, VL and VBMI2): each character
// is written as up to four bytes in a 32-bit lane, lead first, and a
// compress of the bytes that belong to their sequence packs sixteen lanes
// together; masked stores write them and nothing past them.
#ifndef VELKCONF_UNICODE_TO_UTF8_AVX512_H_
#define VELKCONF_UNICODE_TO_UTF8_AVX512_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// UTF-16 units of characters up to kMax but U+FFFE and U+FFFF, pairs
// among them, from src (n units readable), 32 at a time; a high surrogate
// in a group's last unit waits for the next group, and a group with
// anything else ends the run.  The room must hold three bytes a unit.
// Returns the units converted, moves dst past the bytes written and adds
// the characters to chars.  Only where HasAvx512().
template <unsigned long kMax>
VELK_AVX512 std::size_t Utf16ToUtf8Avx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& dst,
                                          std::size_t& chars);

// UTF-32 units of eight bytes, any scalar value but U+FFFE and U+FFFF, 16
// at a time, likewise; the room must hold four bytes a unit.
VELK_AVX512 std::size_t Utf32ToUtf8Avx512(const unsigned char* src,
                                          std::size_t n, unsigned char*& dst);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_TO_UTF8_AVX512_H_
