// A mixed kernel from UTF-16 to UTF-32 with SSSE3: BMP characters and
// surrogate pairs in any order, 8 units at a time.  Each unit computes the
// character it starts (see PairLanes) and a shuffle chosen by the units
// that start one packs those characters together.
#ifndef VELKCONF_UNICODE_UTF16_TO_UTF32_SSSE3_H_
#define VELKCONF_UNICODE_UTF16_TO_UTF32_SSSE3_H_

#include <cstddef>

#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace simd {

// UTF-16 units of BMP characters but U+FFFE and U+FFFF, and pairs, from
// src (n units readable) into units of kOutSize (4 or 8) bytes; a high
// surrogate in a group's last unit waits for the next group.  The room
// must hold one unit a source unit and 4 more; no unit past the output
// changes.  Returns the source units converted and moves dst past the
// units written.  Only where HasSsse3().
template <std::size_t kOutSize>
VELK_SSSE3 std::size_t Utf16ToUtf32Mixed(const unsigned char* src,
                                         std::size_t n, unsigned char*& dst);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2

#endif  // VELKCONF_UNICODE_UTF16_TO_UTF32_SSSE3_H_
