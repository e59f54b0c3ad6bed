// The conversions' fast paths, with SSE2 (which every x86-64 has).
//
// CopyBelow<kLimit>(src, n, dst) copies the leading units of src[0, n) whose
// value is below kLimit into dst, each as one unit of dst's type, and
// returns how many it copied.  kLimit is 0x80 where one side is UTF-8
// (ASCII) and 0xD800 between UTF-16 and UTF-32 (everything below the
// surrogates).  Nothing is written past dst + the returned count.  SSE2
// handles whole blocks; a scalar loop the rest.
//
// The group converters in namespace simd take a fixed number of units at
// a time that need no test of their own (characters of one UTF-8 length,
// or any characters whose output is computed lane by lane) and stop at the
// first group that does not qualify, leaving it to the scalar loops, which
// handle every error.  RunGroups runs one of them over the caller's
// pointers.  None of them writes past the end of what it reports.
#ifndef VELKCONF_UNICODE_SIMD_RUNS_H_
#define VELKCONF_UNICODE_SIMD_RUNS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "unicode/convert_run.h"
#include "unicode/utf_tables.h"

// VELK_NO_SIMD (the build option VELK_SIMD=OFF) builds the portable path
// alone, as a machine without SSE2 would.
#if defined(__SSE2__) && !defined(VELK_NO_SIMD)
#define VELK_UTF_SSE2 1
#include <emmintrin.h>
#endif

namespace velk {

template <unsigned long kLimit, typename In, typename Out>
std::size_t CopyBelowScalar(const In* src, std::size_t n, Out* dst,
                            std::size_t i = 0) {
  while (i < n && UnitValue(src[i]) < kLimit) {
    dst[i] = static_cast<Out>(src[i]);
    ++i;
  }
  return i;
}

#if defined(VELK_UTF_SSE2)
// Whether the processor has SSSE3, for the kernels that need it; they are
// compiled for it with VELK_SSSE3.
bool HasSsse3();
#define VELK_SSSE3 __attribute__((target("ssse3")))

namespace simd {

inline __m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m128i v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
// Low 32-bit halves of the four 64-bit lanes of a and b, in order.
inline __m128i LowHalves(__m128i a, __m128i b) {
  const __m128i a2 = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i b2 = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_unpacklo_epi64(a2, b2);
}
// High 32-bit halves likewise.
inline __m128i HighHalves(__m128i a, __m128i b) {
  const __m128i a2 = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i b2 = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_unpackhi_epi64(a2, b2);
}
inline bool AllZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}
// Eight 32-bit values below 0x10000, four in a and four in b, as 16-bit
// lanes in order.  (Shifted into the signed range so that the saturating
// pack is exact.)
inline __m128i PackBmp(__m128i a, __m128i b) {
  const __m128i bias = _mm_set1_epi32(0x8000);
  const __m128i packed =
      _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
  return _mm_add_epi16(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
}

// Stores the four 32-bit lanes of v as units of kOutSize (4 or 8) bytes
// and moves out past them.
template <std::size_t kOutSize>
inline void StoreDwords(__m128i v, unsigned char*& out) {
  if constexpr (kOutSize == 4) {
    Store(out, v);
  } else {
    Store(out, _mm_unpacklo_epi32(v, _mm_setzero_si128()));
    Store(out + 16, _mm_unpackhi_epi32(v, _mm_setzero_si128()));
  }
  out += 4 * kOutSize;
}

// Stores the 16 bytes of v as 16 units of kOutSize bytes each.
template <std::size_t kOutSize>
inline void StoreWidened(__m128i v, unsigned char* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
  for (const __m128i& words : w) {
    if constexpr (kOutSize == 2) {
      Store(out, words);
      out += 16;
    } else {
      StoreDwords<kOutSize>(_mm_unpacklo_epi16(words, zero), out);
      StoreDwords<kOutSize>(_mm_unpackhi_epi16(words, zero), out);
    }
  }
}

// Bytes to units of kOutSize bytes, 16 at a time.
template <std::size_t kOutSize>
inline std::size_t AsciiWiden(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = Load(src + i);
    if (_mm_movemask_epi8(v) != 0) break;
    StoreWidened<kOutSize>(v, dst + kOutSize * i);
  }
  return i;
}

// 16-bit units below 0x80 to bytes, 16 at a time.
inline std::size_t Ascii16To8(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = Load(src + 2 * i);
    const __m128i b = Load(src + 2 * i + 16);
    if (!AllZero(_mm_and_si128(_mm_or_si128(a, b), high))) break;
    Store(dst + i, _mm_packus_epi16(a, b));
  }
  return i;
}

// 64-bit units below 0x80 to bytes, 16 at a time.
inline std::size_t Ascii64To8(const unsigned char* src, std::size_t n,
                              unsigned char* dst) {
  const __m128i high = _mm_set1_epi64x(~0x7FLL);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i v[8];
    __m128i any = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k) {
      v[k] = Load(src + 8 * i + 16 * k);
      any = _mm_or_si128(any, v[k]);
    }
    if (!AllZero(_mm_and_si128(any, high))) break;
    const __m128i w0 =
        _mm_packs_epi32(LowHalves(v[0], v[1]), LowHalves(v[2], v[3]));
    const __m128i w1 =
        _mm_packs_epi32(LowHalves(v[4], v[5]), LowHalves(v[6], v[7]));
    Store(dst + i, _mm_packus_epi16(w0, w1));
  }
  return i;
}

// 16-bit units below the surrogates to 32- or 64-bit units, 8 at a time.
template <std::size_t kOutSize>
inline std::size_t Bmp16ToWide(const unsigned char* src, std::size_t n,
                               unsigned char* dst) {
  static_assert(kOutSize == 4 || kOutSize == 8, "UTF-32 units");
  const __m128i zero = _mm_setzero_si128();
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  // u < 0xD800 exactly when (u ^ 0x8000) < 0x5800 as a signed value.
  const __m128i limit = _mm_set1_epi16(0x5800);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i v = Load(src + 2 * i);
    const __m128i below = _mm_cmplt_epi16(_mm_xor_si128(v, flip), limit);
    if (_mm_movemask_epi8(below) != 0xFFFF) break;
    unsigned char* out = dst + kOutSize * i;
    StoreDwords<kOutSize>(_mm_unpacklo_epi16(v, zero), out);
    StoreDwords<kOutSize>(_mm_unpackhi_epi16(v, zero), out);
  }
  return i;
}

// 64-bit units below the surrogates to 16-bit units, 8 at a time.
inline std::size_t Bmp64To16(const unsigned char* src, std::size_t n,
                             unsigned char* dst) {
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i limit = _mm_set1_epi32(static_cast<int>(0xD800u ^ 0x80000000u));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i a = Load(src + 8 * i), b = Load(src + 8 * i + 16);
    const __m128i c = Load(src + 8 * i + 32), d = Load(src + 8 * i + 48);
    const __m128i low0 = LowHalves(a, b), low1 = LowHalves(c, d);
    if (!AllZero(_mm_or_si128(HighHalves(a, b), HighHalves(c, d)))) break;
    const __m128i below =
        _mm_and_si128(_mm_cmplt_epi32(_mm_xor_si128(low0, flip), limit),
                      _mm_cmplt_epi32(_mm_xor_si128(low1, flip), limit));
    if (_mm_movemask_epi8(below) != 0xFFFF) break;
    Store(dst + 2 * i, PackBmp(low0, low1));
  }
  return i;
}

// UTF-8 of one and two bytes (U+0000 to U+07FF), 16 bytes at a time into
// units of type Out.  Returns the bytes converted, always whole sequences
// (a two-byte lead in a group's last byte waits for the next group), and
// moves dst past the units written.  Every byte of a group yields the
// unit of the sequence it belongs to; a continuation byte stores its unit
// again over the one its lead just stored, so each byte costs the same
// and nothing lands past the end of the output.
template <typename Out>
inline std::size_t TwoByte8ToUnits(const unsigned char* src, std::size_t n,
                                   unsigned char*& dst) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i zero = _mm_setzero_si128();
  Out* out = reinterpret_cast<Out*>(dst);
  std::size_t i = 0;
  while (i + 16 <= n) {
    const __m128i b = Load(src + i);
    // Signed classes after flipping the top bit: ASCII below 0, a
    // continuation 0 to 0x3F, a lead of C2 to DF 0x42 to 0x5F.
    const __m128i x = _mm_xor_si128(b, flip);
    const __m128i ascii = _mm_cmplt_epi8(x, zero);
    const __m128i cont =
        _mm_andnot_si128(ascii, _mm_cmplt_epi8(x, _mm_set1_epi8(0x40)));
    const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x41)),
                                       _mm_cmplt_epi8(x, _mm_set1_epi8(0x60)));
    const unsigned leads = static_cast<unsigned>(_mm_movemask_epi8(lead));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(ascii, cont), lead)) !=
            0xFFFF ||
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_bslli_si128(lead, 1), cont)) !=
            0xFFFF) {
      break;
    }
    const unsigned conts = static_cast<unsigned>(_mm_movemask_epi8(cont));
    if (leads == 0) {  // all ASCII
      StoreWidened<sizeof(Out)>(b, reinterpret_cast<unsigned char*>(out));
      out += 16;
      i += 16;
      continue;
    }
    // A lead's unit from it and the byte after it; ASCII as it is.
    const __m128i next = _mm_bsrli_si128(b, 1);
    const __m128i high = _mm_and_si128(b, _mm_set1_epi8(0x1F));
    const __m128i low = _mm_and_si128(next, _mm_set1_epi8(0x3F));
    alignas(16) unsigned short unit[16];
    for (int half = 0; half < 2; ++half) {
      const __m128i h =
          half ? _mm_unpackhi_epi8(high, zero) : _mm_unpacklo_epi8(high, zero);
      const __m128i l =
          half ? _mm_unpackhi_epi8(low, zero) : _mm_unpacklo_epi8(low, zero);
      const __m128i plain =
          half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
      const __m128i isLead =
          half ? _mm_unpackhi_epi8(lead, lead) : _mm_unpacklo_epi8(lead, lead);
      const __m128i two = _mm_or_si128(_mm_slli_epi16(h, 6), l);
      _mm_store_si128(reinterpret_cast<__m128i*>(unit + 8 * half),
                      _mm_or_si128(_mm_and_si128(isLead, two),
                                   _mm_andnot_si128(isLead, plain)));
    }
    const int bytes = 16 - static_cast<int>(leads >> 15);
    for (int k = 0; k < bytes; ++k) {  // conts has no bit 0
      const int c = static_cast<int>((conts >> k) & 1);
      out -= c;
      out[0] = static_cast<Out>(unit[k - c]);
      ++out;
    }
    i += static_cast<std::size_t>(bytes);
  }
  dst = reinterpret_cast<unsigned char*>(out);
  return i;
}

// The 32-bit words at byte offsets 0, 3, 6 and 9 of v, one a lane: lane k
// is v moved up by k bytes.  (All in registers: a gather through memory
// would stall on store forwarding.)
inline __m128i ThreeByteLanes(__m128i v) {
  const __m128i lane0 = _mm_setr_epi32(-1, 0, 0, 0),
                lane1 = _mm_setr_epi32(0, -1, 0, 0);
  const __m128i lane2 = _mm_setr_epi32(0, 0, -1, 0),
                lane3 = _mm_setr_epi32(0, 0, 0, -1);
  return _mm_or_si128(
      _mm_or_si128(_mm_and_si128(v, lane0),
                   _mm_and_si128(_mm_bslli_si128(v, 1), lane1)),
      _mm_or_si128(_mm_and_si128(_mm_bslli_si128(v, 2), lane2),
                   _mm_and_si128(_mm_bslli_si128(v, 3), lane3)));
}

// Three-byte UTF-8 sequences (U+0800 to U+FFFD, no surrogate), 8 at a
// time into units of kOutSize bytes; n is the bytes readable at src (a
// group reads four bytes past its 24).  Returns the bytes converted and
// moves dst past the units written.
template <std::size_t kOutSize>
inline std::size_t ThreeByte8ToWide(const unsigned char* src, std::size_t n,
                                    unsigned char*& dst) {
  const __m128i shape = _mm_set1_epi32(0xC0C0F0),
                marks = _mm_set1_epi32(0x8080E0);
  const __m128i top5 = _mm_set1_epi32(0xF800),
                surrogates = _mm_set1_epi32(0xD800);
  const __m128i below = _mm_set1_epi32(0x7FF), most = _mm_set1_epi32(0xFFFE);
  // Four sequences, one per 32-bit lane, to their values; all-ones in
  // `bad` for a lane that is not one of them.
  const auto decode = [&](const unsigned char* s, __m128i& bad) {
    const __m128i v = ThreeByteLanes(Load(s));
    const __m128i ch = _mm_or_si128(
        _mm_or_si128(
            _mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x0F)), 12),
            _mm_srli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x3F00)), 2)),
        _mm_srli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x3F0000)), 16));
    const __m128i good = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(v, shape), marks),
                      _mm_cmpgt_epi32(ch, below)),
        _mm_andnot_si128(_mm_cmpeq_epi32(_mm_and_si128(ch, top5), surrogates),
                         _mm_cmplt_epi32(ch, most)));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi32(good, _mm_setzero_si128()));
    return ch;
  };
  std::size_t i = 0;
  for (; i + 28 <= n; i += 24, dst += 8 * kOutSize) {
    __m128i bad = _mm_setzero_si128();
    const __m128i a = decode(src + i, bad), b = decode(src + i + 12, bad);
    if (_mm_movemask_epi8(bad) != 0) break;
    if constexpr (kOutSize == 2) {
      Store(dst, PackBmp(a, b));
    } else {
      unsigned char* out = dst;
      StoreDwords<kOutSize>(a, out);
      StoreDwords<kOutSize>(b, out);
    }
  }
  return i;
}

// Eight UTF-16 units of BMP characters other than U+FFFE and U+FFFF, and
// of surrogate pairs, as the characters they belong to: false when the
// units are not such (a high surrogate in the last unit may wait for the
// next group).  cp[0] and cp[1] get the four lanes each, a high
// surrogate's lane the pair's character; lows and highs one bit a unit;
// quiet, if asked for, all-ones in the 32-bit lanes that end no character.
inline bool PairLanes(__m128i v, __m128i cp[2], unsigned& lows, unsigned& highs,
                      __m128i* quiet = nullptr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i top6 = _mm_set1_epi16(static_cast<short>(0xFC00));
  const __m128i high = _mm_cmpeq_epi16(
      _mm_and_si128(v, top6), _mm_set1_epi16(static_cast<short>(0xD800)));
  const __m128i low = _mm_cmpeq_epi16(
      _mm_and_si128(v, top6), _mm_set1_epi16(static_cast<short>(0xDC00)));
  const __m128i nonChar = _mm_cmpgt_epi16(
      _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000))),
      _mm_set1_epi16(0x7FFD));
  // Each low surrogate right after a high one, each high one (but the last
  // unit) right before a low one, no non-character.
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_bslli_si128(high, 2), low)) !=
          0xFFFF ||
      _mm_movemask_epi8(nonChar) != 0) {
    return false;
  }
  lows = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, zero)));
  highs = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(high, zero)));
  const __m128i next = _mm_bsrli_si128(v, 2);
  for (int half = 0; half < 2; ++half) {
    const __m128i u =
        half ? _mm_unpackhi_epi16(v, zero) : _mm_unpacklo_epi16(v, zero);
    const __m128i following =
        half ? _mm_unpackhi_epi16(next, zero) : _mm_unpacklo_epi16(next, zero);
    const __m128i isHigh =
        half ? _mm_unpackhi_epi16(high, high) : _mm_unpacklo_epi16(high, high);
    // (high - D800) << 10 + (low - DC00) + 10000
    const __m128i pair =
        _mm_sub_epi32(_mm_add_epi32(_mm_slli_epi32(u, 10), following),
                      _mm_set1_epi32(0x35FDC00));
    cp[half] =
        _mm_or_si128(_mm_and_si128(isHigh, pair), _mm_andnot_si128(isHigh, u));
  }
  if (quiet != nullptr) {  // lanes that end no character: a low surrogate, a
                           // last high one
    const __m128i lastHigh =
        _mm_and_si128(high, _mm_set_epi16(-1, 0, 0, 0, 0, 0, 0, 0));
    const __m128i none = _mm_or_si128(low, lastHigh);
    quiet[0] = _mm_unpacklo_epi16(none, none);
    quiet[1] = _mm_unpackhi_epi16(none, none);
  }
  return true;
}

// UTF-16 to UTF-32 units of kOutSize (4 or 8) bytes, 8 units at a time
// (see PairLanes).  Returns the units converted and moves dst past the
// units written.  Every unit of a group yields the character it belongs
// to; a pair's low surrogate stores its character again over the one its
// high surrogate just stored.
template <std::size_t kOutSize>
inline std::size_t PairsToWide(const unsigned char* src, std::size_t n,
                               unsigned char*& dst) {
  using Out = std::conditional_t<kOutSize == 4, std::uint32_t, std::uint64_t>;
  Out* out = reinterpret_cast<Out*>(dst);
  std::size_t i = 0;
  __m128i cp[2];
  unsigned lows, highs;
  while (i + 8 <= n) {
    const __m128i v = Load(src + 2 * i);
    // Units that are all below the surrogates go back to the faster copy.
    const __m128i below = _mm_cmplt_epi16(
        _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000))),
        _mm_set1_epi16(0x5800));
    if (_mm_movemask_epi8(below) == 0xFFFF || !PairLanes(v, cp, lows, highs))
      break;
    alignas(16) std::uint32_t ch[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(ch), cp[0]);
    _mm_store_si128(reinterpret_cast<__m128i*>(ch + 4), cp[1]);
    const int units = 8 - static_cast<int>((highs >> 7) & 1);
    for (int k = 0; k < units; ++k) {  // lows has no bit 0
      const int c = static_cast<int>((lows >> k) & 1);
      out -= c;
      out[0] = ch[k - c];
      ++out;
    }
    i += static_cast<std::size_t>(units);
  }
  dst = reinterpret_cast<unsigned char*>(out);
  return i;
}

// Eight code points, one per 16-bit lane of v, that take one or two bytes
// of UTF-8 (all below U+0800) to UTF-8 at out; false, writing nothing,
// when one of them does not.  The bytes are computed together; each lane
// then stores its last byte and its first, in that order, so that a
// one-byte lane writes the same byte twice and nothing lands past the end
// of the output.
inline bool TwoByteGroup(__m128i v, unsigned char*& out) {
  const __m128i zero = _mm_setzero_si128();
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(
          _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))),
          zero)) != 0xFFFF) {
    return false;
  }
  const __m128i two = _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F));
  const unsigned twos =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(two, zero)));
  if (twos == 0) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(v, zero));
    out += 8;
    return true;
  }
  // Per lane: first byte low, last byte high (a one-byte lane: both u).
  const __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
  const __m128i last = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)),
                                    _mm_set1_epi16(0x80));
  const __m128i pairs = _mm_or_si128(lead, _mm_slli_epi16(last, 8));
  const __m128i bytes = _mm_or_si128(
      _mm_and_si128(two, pairs),
      _mm_andnot_si128(two, _mm_or_si128(v, _mm_slli_epi16(v, 8))));
  alignas(16) unsigned short w[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(w), bytes);
  for (int k = 0; k < 8; ++k) {
    const unsigned t = (twos >> k) & 1;
    out[t] = static_cast<unsigned char>(w[k] >> 8);
    out[0] = static_cast<unsigned char>(w[k]);
    out += 1 + t;
  }
  return true;
}

// Eight code points, one per 16-bit lane of v, that take three bytes of
// UTF-8 (U+0800 to U+FFFD, no surrogate) to the 24 bytes at out; false,
// writing nothing, when one of them does not.
inline bool ThreeByteGroup(__m128i v, unsigned char*& out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i x =
      _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
  const __m128i inRange = _mm_and_si128(
      _mm_cmpgt_epi16(x, _mm_set1_epi16(static_cast<short>(0x07FF ^ 0x8000))),
      _mm_cmplt_epi16(x, _mm_set1_epi16(static_cast<short>(0xFFFE ^ 0x8000))));
  const __m128i surrogate = _mm_cmpeq_epi16(
      _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))),
      _mm_set1_epi16(static_cast<short>(0xD800)));
  if (_mm_movemask_epi8(_mm_andnot_si128(surrogate, inRange)) != 0xFFFF)
    return false;
  // Per 32-bit lane: the three bytes E0|u>>12, 80|(u>>6)&3F, 80|u&3F.
  const auto encode = [](__m128i u) {
    const __m128i lead = _mm_srli_epi32(u, 12);
    const __m128i mid =
        _mm_and_si128(_mm_slli_epi32(u, 2), _mm_set1_epi32(0x3F00));
    const __m128i last =
        _mm_and_si128(_mm_slli_epi32(u, 16), _mm_set1_epi32(0x3F0000));
    return _mm_or_si128(_mm_or_si128(lead, mid),
                        _mm_or_si128(last, _mm_set1_epi32(0x8080E0)));
  };
  // Four lanes of three bytes each into the low 12 bytes.
  const auto pack = [zero](__m128i w) {
    const __m128i six = _mm_or_si128(
        _mm_and_si128(w, _mm_set1_epi64x(0xFFFFFF)),
        _mm_and_si128(_mm_srli_epi64(w, 8), _mm_set1_epi64x(0xFFFFFF000000)));
    return _mm_or_si128(_mm_move_epi64(six),
                        _mm_bslli_si128(_mm_unpackhi_epi64(six, zero), 6));
  };
  const __m128i a = pack(encode(_mm_unpacklo_epi16(v, zero)));
  const __m128i b = pack(encode(_mm_unpackhi_epi16(v, zero)));
  Store(out, _mm_or_si128(a, _mm_bslli_si128(b, 12)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_bsrli_si128(b, 4));
  out += 24;
  return true;
}

// The UTF-8 sequences of four code points (at most U+10FFFF, one per
// 32-bit lane of cp), each as a little-endian word of up to four bytes,
// and their lengths.
inline void Utf8Words(__m128i cp, __m128i& words, __m128i& lengths) {
  const auto bits = [cp](int shift) {  // the six bits of cp from shift up
    return _mm_and_si128(_mm_srli_epi32(cp, shift), _mm_set1_epi32(0x3F));
  };
  const __m128i two = _mm_cmpgt_epi32(cp, _mm_set1_epi32(0x7F));
  const __m128i three = _mm_cmpgt_epi32(cp, _mm_set1_epi32(0x7FF));
  const __m128i four = _mm_cmpgt_epi32(cp, _mm_set1_epi32(0xFFFF));
  const __m128i w2 = _mm_or_si128(
      _mm_or_si128(_mm_srli_epi32(cp, 6), _mm_slli_epi32(bits(0), 8)),
      _mm_set1_epi32(0x80C0));
  const __m128i w3 = _mm_or_si128(
      _mm_or_si128(_mm_srli_epi32(cp, 12), _mm_slli_epi32(bits(6), 8)),
      _mm_or_si128(_mm_slli_epi32(bits(0), 16), _mm_set1_epi32(0x8080E0)));
  const __m128i w4 = _mm_or_si128(
      _mm_or_si128(_mm_srli_epi32(cp, 18), _mm_slli_epi32(bits(12), 8)),
      _mm_or_si128(_mm_or_si128(_mm_slli_epi32(bits(6), 16),
                                _mm_slli_epi32(bits(0), 24)),
                   _mm_set1_epi32(static_cast<int>(0x808080F0u))));
  const auto pick = [](__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
  };
  words = pick(four, w4, pick(three, w3, pick(two, w2, cp)));
  lengths = _mm_sub_epi32(_mm_set1_epi32(1),
                          _mm_add_epi32(_mm_add_epi32(two, three), four));
}

// Stores the words of the UTF-8 sequences of groups at out, each whole at
// the position the one before it ends, and moves out past them.  The bytes
// a shorter sequence stores past its end are overwritten by the next word;
// the caller restores those after the last (see WordGroups).
inline void StoreWords(const std::uint32_t* words, const std::uint32_t* lengths,
                       int count, unsigned char*& out) {
  for (int k = 0; k < count; ++k) {
    std::memcpy(out, &words[k], 4);  // little-endian: the lead byte first
    out += lengths[k];
  }
}

// Converts groups into UTF-8 as words (see StoreWords): group(src + i,
// words, lengths, bytes, chars) fills the words and lengths of kLanes
// characters (a length of 0 for a lane that writes nothing), adds their
// bytes and characters, and returns the source units it took, 0 when the
// group does not qualify.  n is the source units to take at most; the room
// must hold their output and 4 bytes more.  chars grows by the characters
// written.  Nothing past the final position changes: the 4 bytes after
// each group's output are saved before its words are stored, and after
// the last group put back.
template <std::size_t kInSize, int kLanes, typename Group>
inline std::size_t WordGroups(const unsigned char* src, std::size_t n,
                              unsigned char*& dst, std::size_t& chars,
                              Group group) {
  alignas(16) std::uint32_t words[kLanes], lengths[kLanes];
  std::uint32_t saved = 0;
  std::size_t i = 0;
  while (i + kLanes <= n) {
    std::size_t bytes = 0;
    const std::size_t taken =
        group(src + kInSize * i, words, lengths, bytes, chars);
    if (taken == 0) break;
    std::memcpy(&saved, dst + bytes, 4);
    StoreWords(words, lengths, kLanes, dst);
    i += taken;
  }
  if (i != 0) std::memcpy(dst, &saved, 4);
  return i;
}

// True when UTF-8 lengths l (four 32-bit lanes, or eight in l and m) are
// all up to two or all three: characters the groups of one kind convert
// faster than words do.
inline bool OneKind(__m128i l, __m128i m) {
  const __m128i three = _mm_set1_epi32(3);
  const __m128i below =
      _mm_and_si128(_mm_cmpgt_epi32(three, l), _mm_cmpgt_epi32(three, m));
  const __m128i threes =
      _mm_and_si128(_mm_cmpeq_epi32(l, three), _mm_cmpeq_epi32(m, three));
  return _mm_movemask_epi8(below) == 0xFFFF ||
         _mm_movemask_epi8(threes) == 0xFFFF;
}

// The sum of the four 32-bit lanes of v.
inline std::uint32_t LaneSum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

// UTF-16 to UTF-8 by groups of 8 units of BMP characters and pairs (see
// PairLanes); a pair above kMax ends the groups, and so does a group of
// one kind (see OneKind).
template <unsigned long kMax>
inline std::size_t PairsToUtf8(const unsigned char* src, std::size_t n,
                               unsigned char*& dst, std::size_t& chars) {
  return WordGroups<2, 8>(
      src, n, dst, chars,
      [](const unsigned char* s, std::uint32_t* words, std::uint32_t* lengths,
         std::size_t& bytes, std::size_t& count) -> std::size_t {
        __m128i cp[2], quiet[2];
        unsigned lows, highs;
        if (!PairLanes(Load(s), cp, lows, highs, quiet)) return 0;
        const __m128i most = _mm_set1_epi32(static_cast<int>(kMax));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi32(cp[0], most),
                                           _mm_cmpgt_epi32(cp[1], most))) !=
            0) {
          return 0;
        }
        __m128i w[2], l[2];
        Utf8Words(cp[0], w[0], l[0]);
        Utf8Words(cp[1], w[1], l[1]);
        if (OneKind(l[0], l[1])) return 0;  // (no pair then)
        __m128i total = _mm_setzero_si128();
        for (int half = 0; half < 2; ++half) {
          l[half] = _mm_andnot_si128(quiet[half], l[half]);
          total = _mm_add_epi32(total, l[half]);
          _mm_store_si128(reinterpret_cast<__m128i*>(words + 4 * half),
                          w[half]);
          _mm_store_si128(reinterpret_cast<__m128i*>(lengths + 4 * half),
                          l[half]);
        }
        bytes = LaneSum(total);
        const unsigned lastHigh = (highs >> 7) & 1;
        count +=
            8 - static_cast<std::size_t>(__builtin_popcount(lows)) - lastHigh;
        return 8 - lastHigh;
      });
}

// UTF-32 units of eight bytes to UTF-8 by groups of 4: values up to
// U+10FFFF, no surrogate, no non-character, not of one kind (see OneKind).
inline std::size_t Utf32ToUtf8Words(const unsigned char* src, std::size_t n,
                                    unsigned char*& dst) {
  std::size_t chars = 0;  // one a unit
  return WordGroups<8, 4>(
      src, n, dst, chars,
      [](const unsigned char* s, std::uint32_t* words, std::uint32_t* lengths,
         std::size_t& bytes, std::size_t& count) -> std::size_t {
        const __m128i a = Load(s), b = Load(s + 16);
        const __m128i cp = LowHalves(a, b);
        const __m128i bad = _mm_or_si128(
            _mm_or_si128(
                HighHalves(a, b),
                _mm_cmpgt_epi32(_mm_srli_epi32(cp, 16), _mm_set1_epi32(0x10))),
            _mm_or_si128(
                _mm_cmpeq_epi32(_mm_and_si128(cp, _mm_set1_epi32(~0x7FF)),
                                _mm_set1_epi32(0xD800)),
                _mm_cmpeq_epi32(_mm_or_si128(cp, _mm_set1_epi32(1)),
                                _mm_set1_epi32(0xFFFF))));
        if (!AllZero(bad)) return 0;
        __m128i w, l;
        Utf8Words(cp, w, l);
        if (OneKind(l, l)) return 0;
        _mm_store_si128(reinterpret_cast<__m128i*>(words), w);
        _mm_store_si128(reinterpret_cast<__m128i*>(lengths), l);
        bytes = LaneSum(l);
        count += 4;
        return 4;
      });
}

// Eight UTF-16 units (kInSize 2) or UTF-32 units of eight bytes (kInSize 8)
// at src as 16-bit lanes; false when a UTF-32 unit is above 0xFFFF.
template <std::size_t kInSize>
inline bool LoadEight(const unsigned char* src, __m128i& v) {
  if constexpr (kInSize == 2) {
    v = Load(src);
    return true;
  } else {
    static_assert(kInSize == 8, "UTF-16 or UTF-32 units");
    const __m128i a = Load(src), b = Load(src + 16), c = Load(src + 32),
                  d = Load(src + 48);
    const __m128i low0 = LowHalves(a, b), low1 = LowHalves(c, d);
    const __m128i above =
        _mm_or_si128(_mm_or_si128(HighHalves(a, b), HighHalves(c, d)),
                     _mm_srli_epi32(_mm_or_si128(low0, low1), 16));
    if (!AllZero(above)) return false;
    v = PackBmp(low0, low1);
    return true;
  }
}

// UTF-16 or UTF-32 units to UTF-8, 8 at a time, while Group takes them.
// Returns the units converted and moves dst past the bytes written.
template <std::size_t kInSize, bool (*Group)(__m128i, unsigned char*&)>
inline std::size_t GroupsToUtf8(const unsigned char* src, std::size_t n,
                                unsigned char*& dst) {
  std::size_t i = 0;
  __m128i v;
  for (;
       i + 8 <= n && LoadEight<kInSize>(src + kInSize * i, v) && Group(v, dst);
       i += 8) {
  }
  return i;
}
template <std::size_t kInSize>
inline std::size_t TwoByteToUtf8(const unsigned char* src, std::size_t n,
                                 unsigned char*& dst) {
  return GroupsToUtf8<kInSize, TwoByteGroup>(src, n, dst);
}
template <std::size_t kInSize>
inline std::size_t ThreeByteToUtf8(const unsigned char* src, std::size_t n,
                                   unsigned char*& dst) {
  return GroupsToUtf8<kInSize, ThreeByteGroup>(src, n, dst);
}

}  // namespace simd
#else   // Without SSE2 no group qualifies; the scalar loops do all the work.
namespace simd {
// A converter of groups that takes none (any arguments, returns 0).
struct NoGroups {
  template <typename... Args>
  constexpr std::size_t operator()(Args&&...) const {
    return 0;
  }
};
template <std::size_t>
inline constexpr NoGroups TwoByteToUtf8{};
template <std::size_t>
inline constexpr NoGroups ThreeByteToUtf8{};
template <typename>
inline constexpr NoGroups TwoByte8ToUnits{};
template <std::size_t>
inline constexpr NoGroups ThreeByte8ToWide{};
template <std::size_t>
inline constexpr NoGroups PairsToWide{};
template <unsigned long>
inline constexpr NoGroups PairsToUtf8{};
inline constexpr NoGroups Utf32ToUtf8Words{};
}  // namespace simd
#endif  // VELK_UTF_SSE2

template <unsigned long kLimit, typename In, typename Out>
std::size_t CopyBelow(const In* src, std::size_t n, Out* dst) {
  std::size_t i = 0;
#if defined(VELK_UTF_SSE2)
  const auto* in = reinterpret_cast<const unsigned char*>(src);
  auto* out = reinterpret_cast<unsigned char*>(dst);
  constexpr bool kUnsignedIn = std::is_unsigned<In>::value;
  constexpr std::size_t kIn = sizeof(In), kOut = sizeof(Out);
  if constexpr (kLimit == 0x80 && kIn == 1 && kOut > 1) {
    i = simd::AsciiWiden<kOut>(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 2 && kOut == 1) {
    i = simd::Ascii16To8(in, n, out);
  } else if constexpr (kLimit == 0x80 && kIn == 8 && kOut == 1) {
    i = simd::Ascii64To8(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 2 &&
                       (kOut == 4 || kOut == 8)) {
    i = simd::Bmp16ToWide<kOut>(in, n, out);
  } else if constexpr (kLimit == 0xD800 && kIn == 8 && kOut == 2 &&
                       kUnsignedIn) {
    i = simd::Bmp64To16(in, n, out);
  }
#endif
  return CopyBelowScalar<kLimit>(src, n, dst, i);
}

// CopyBelow from src into dst as far as both ranges allow; advances both
// and returns the number of units copied (0 only when dst is full or the
// first unit is not below kLimit).
template <unsigned long kLimit, typename In, typename Out>
inline std::size_t CopyRun(const In*& src, const In* srcEnd, Out*& dst,
                           Out* dstEnd) {
  const std::ptrdiff_t in = srcEnd - src, out = dstEnd - dst;
  const std::size_t n = CopyBelow<kLimit>(
      src, static_cast<std::size_t>(in < out ? in : out), dst);
  src += n;
  dst += n;
  return n;
}

// Runs a converter of groups (one of those above, with the signature
// std::size_t(const unsigned char* src, std::size_t n, unsigned char*& dst))
// over at most n units at src; advances src and dst past what it converted
// and returns the source units it took (0 when no group qualifies).
template <typename In, typename Out, typename Groups>
inline std::size_t RunGroups(Groups groups, const In*& src, std::ptrdiff_t n,
                             Out*& dst) {
  auto* out = reinterpret_cast<unsigned char*>(dst);
  const std::size_t taken = groups(reinterpret_cast<const unsigned char*>(src),
                                   static_cast<std::size_t>(n), out);
  src += taken;
  dst = reinterpret_cast<Out*>(out);
  return taken;
}

// RunGroups for a direction that writes one unit a character: returns the
// characters converted.
template <typename In, typename Out, typename Groups>
inline std::size_t RunUnitGroups(Groups groups, const In*& src,
                                 std::ptrdiff_t n, Out*& dst) {
  Out* const start = dst;
  RunGroups(groups, src, n, dst);
  return static_cast<std::size_t>(dst - start);
}

}  // namespace velk

#endif  // VELKCONF_UNICODE_SIMD_RUNS_H_
