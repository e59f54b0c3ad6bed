// ASCII bytes into UTF-32 units with AVX-512, for long runs
// of ASCII: a 64-byte store a cache line beats four 16-byte ones where the
// output is four or eight times the input.  As AsciiWiden, it converts
// whole blocks (32 bytes) of the leading bytes of src[0, n) below 0x80 and
// returns how many it converted, leaving the rest of the run to a scalar
// loop; nothing past them is written.  Only where HasAvx512().
#ifndef VELKCONF_UNICODE_WIDEN_AVX512_H_
#define VELKCONF_UNICODE_WIDEN_AVX512_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// Bytes below 0x80 into units of kOutSize (4 or 8) bytes.
template <std::size_t kOutSize>
VELK_AVX512 std::size_t AsciiWidenAvx512(const unsigned char* src,
                                         std::size_t n, unsigned char* dst);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_WIDEN_AVX512_H_
