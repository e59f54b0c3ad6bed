// Kernels into UTF-8 from UTF-16 and UTF-32, with SSE2: groups of
// characters below U+0800 or of three-byte ones, and groups of any
// characters as one word each (see simd_runs.h for how kernels run).
#ifndef VELKCONF_UNICODE_KERNELS_TO_UTF8_H_
#define VELKCONF_UNICODE_KERNELS_TO_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "unicode/simd_vector.h"

namespace velk {

#if defined(VELK_UTF_SSE2)
namespace simd {

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
#else
namespace simd {
template <std::size_t>
inline constexpr NoGroups TwoByteToUtf8{};
template <std::size_t>
inline constexpr NoGroups ThreeByteToUtf8{};
template <unsigned long>
inline constexpr NoGroups PairsToUtf8{};
inline constexpr NoGroups Utf32ToUtf8Words{};
}  // namespace simd
#endif  // VELK_UTF_SSE2

}  // namespace velk

#endif  // VELKCONF_UNICODE_KERNELS_TO_UTF8_H_
