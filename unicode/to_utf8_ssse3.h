// Mixed-width kernels into UTF-8 with SSSE3: characters of any UTF-8
// length, in any order, 16 source units at a time.  Each character's bytes
// are computed in a 32-bit lane (lead byte lowest), and a shuffle chosen by
// the lengths of four lanes packs them together.
//
// Each kernel converts whole groups of 16 units from src (n units
// readable; the UTF-16 one reads one unit past a group) into dst and stops
// at the first group it cannot take, leaving it to the scalar loops.  The
// room at dst must hold the output of all n units and 16 bytes more; no
// byte past the output changes.  They return the source units converted
// and move dst past the bytes written; only where HasSsse3().
#ifndef VELKCONF_UNICODE_TO_UTF8_SSSE3_H_
#define VELKCONF_UNICODE_TO_UTF8_SSSE3_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// UTF-16 units of BMP characters but U+FFFE and U+FFFF, and surrogate
// pairs up to kMax (U+10FFFF, or U+10FFFE for the buffer form); chars
// grows by the characters converted.
template <unsigned long kMax>
VELK_SSSE3 std::size_t Utf16ToUtf8Mixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& dst,
                                        std::size_t& chars);

// UTF-32 units of eight bytes: values up to U+10FFFF but surrogates and
// U+FFFE and U+FFFF.
VELK_SSSE3 std::size_t Utf32ToUtf8Mixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& dst);

// UTF-32 units of eight bytes to UTF-16 (a group of 8 units; the room
// holds two units a source unit and 8 more): values up to U+10FFFF but
// surrogates and U+FFFE and U+FFFF, pairs where they need them.
VELK_SSSE3 std::size_t Utf32ToUtf16Mixed(const unsigned char* src,
                                         std::size_t n, unsigned char*& dst);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_TO_UTF8_SSSE3_H_
