// The mixed-width kernel out of UTF-8 (see from_utf8_ssse3.h).
#include "unicode/from_utf8_ssse3.h"

#if defined(VELK_UTF_SSE2)
#include <tmmintrin.h>

#include <cstdint>
#include <cstring>

#include "unicode/utf8_check_ssse3.h"

namespace velk {
namespace simd {
namespace {

constexpr CompactTable<8, 2> kCompact = MakeCompactTable<8, 2>();

VELK_SSSE3 inline __m128i Choose(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// The units of 16 bytes, eight a half, and which lanes hold one.
struct Block {
  __m128i units[2];
  unsigned emit;    // a bit a byte that yields a unit
  unsigned ends;    // a bit a byte that ends a character
  unsigned thirds;  // a bit a third byte of a four-byte sequence
  // Into UTF-32, with a four-byte sequence: bits 16 to 20 of each unit.
  bool astral;
  __m128i high[2];
};

// One half (lanes 0-7 when kHigh is false) of the units: each byte's unit
// as if it ended its character, from the byte b and the bytes p1, p2 and
// p3 before it, chosen by the lead among them.
template <bool kHigh, bool kUtf16>
VELK_SSSE3 inline __m128i HalfUnits(__m128i in, __m128i p1, __m128i p2,
                                    __m128i p3, __m128i lead2, __m128i lead3,
                                    __m128i lead4at2, __m128i lead4at3) {
  const __m128i zero = _mm_setzero_si128();
  const auto widen = [zero](__m128i v) {
    return kHigh ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
  };
  const auto mask = [](__m128i m) {
    return kHigh ? _mm_unpackhi_epi8(m, m) : _mm_unpacklo_epi8(m, m);
  };
  const __m128i b = widen(in), q1 = widen(p1), q2 = widen(p2);
  const __m128i low6 = _mm_and_si128(b, _mm_set1_epi16(0x3F));
  const __m128i mid6 =
      _mm_slli_epi16(_mm_and_si128(q1, _mm_set1_epi16(0x3F)), 6);
  const __m128i two = _mm_or_si128(
      _mm_slli_epi16(_mm_and_si128(q1, _mm_set1_epi16(0x1F)), 6), low6);
  const __m128i three = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(q2, 12), mid6),
                                     low6);  // (q2 << 12 keeps its low nibble)
  __m128i v = Choose(mask(lead2), two, b);
  v = Choose(mask(lead3), three, v);
  if (kUtf16) {
    // The third byte: (value >> 10) - 0x40 + D800; the fourth: DC00 and
    // the value's low ten bits.
    const __m128i high = _mm_add_epi16(
        _mm_or_si128(
            _mm_or_si128(
                _mm_slli_epi16(_mm_and_si128(q2, _mm_set1_epi16(7)), 8),
                _mm_slli_epi16(_mm_and_si128(q1, _mm_set1_epi16(0x3F)), 2)),
            _mm_and_si128(_mm_srli_epi16(b, 4), _mm_set1_epi16(3))),
        _mm_set1_epi16(static_cast<short>(0xD7C0)));
    const __m128i low = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(q1, _mm_set1_epi16(0x0F)), 6),
                     low6),
        _mm_set1_epi16(static_cast<short>(0xDC00)));
    v = Choose(mask(lead4at2), high, v);
    v = Choose(mask(lead4at3), low, v);
  }
  (void)p3;
  return v;
}

// Decodes the 16 bytes `in` (prev: the 16 before them).  False when they are
// not all well-formed, hold U+FFFE or U+FFFF or (into UTF-32) a four-byte
// sequence.
template <bool kUtf16>
VELK_SSSE3 inline bool DecodeBlock(__m128i in, __m128i prev, Block& block) {
  const __m128i zero = _mm_setzero_si128();
  if (_mm_movemask_epi8(in) == 0) {  // ASCII, unless a sequence runs into it
    if (!AllZero(Incomplete(prev))) return false;
    block.units[0] = _mm_unpacklo_epi8(in, zero);
    block.units[1] = _mm_unpackhi_epi8(in, zero);
    block.emit = block.ends = 0xFFFF;
    block.thirds = 0;
    block.astral = false;
    return true;
  }
  __m128i bad = Utf8Errors(in, prev);
  const __m128i p1 = _mm_alignr_epi8(in, prev, 15);
  const __m128i p2 = _mm_alignr_epi8(in, prev, 14);
  const __m128i p3 = _mm_alignr_epi8(in, prev, 13);
  const auto leads = [](__m128i p, int top, int tag) {
    return _mm_cmpeq_epi8(
        _mm_and_si128(p, _mm_set1_epi8(static_cast<char>(top))),
        _mm_set1_epi8(static_cast<char>(tag)));
  };
  const __m128i lead2 = leads(p1, 0xE0, 0xC0), lead3 = leads(p2, 0xF0, 0xE0);
  const __m128i lead4at2 = leads(p2, 0xF8, 0xF0),
                lead4at3 = leads(p3, 0xF8, 0xF0);
  // EF BF BE and EF BF BF.
  const __m128i nonChar = _mm_and_si128(
      _mm_and_si128(_mm_cmpeq_epi8(p2, _mm_set1_epi8(static_cast<char>(0xEF))),
                    _mm_cmpeq_epi8(p1, _mm_set1_epi8(static_cast<char>(0xBF)))),
      _mm_cmpgt_epi8(
          in, _mm_set1_epi8(static_cast<char>(0xBD))));  // BE, BF (signed)
  bad = _mm_or_si128(bad, nonChar);
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF)
    return false;
  // A byte ends a character when it is ASCII or its lead is as far back
  // as the lead's length says.  (A sequence that runs on past the block is
  // checked with the next one.)
  const __m128i ends =
      _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi8(in, _mm_set1_epi8(-1)), lead2),
                   _mm_or_si128(lead3, lead4at3));
  block.ends = static_cast<unsigned>(_mm_movemask_epi8(ends));
  block.emit = block.ends;
  block.thirds = 0;
  block.astral = _mm_movemask_epi8(_mm_or_si128(lead4at2, lead4at3)) != 0;
  if (kUtf16 && block.astral) {
    block.thirds = static_cast<unsigned>(_mm_movemask_epi8(lead4at2));
    block.emit |= block.thirds;
    block.units[0] = HalfUnits<false, kUtf16>(in, p1, p2, p3, lead2, lead3,
                                              lead4at2, lead4at3);
    block.units[1] = HalfUnits<true, kUtf16>(in, p1, p2, p3, lead2, lead3,
                                             lead4at2, lead4at3);
    return true;
  }
  // Units of up to 16 bits (into UTF-32, their low 16 bits): b | q1 << 6 |
  // q2 << 12, where b is the byte itself (a continuation byte less 80), q1
  // the byte before it less its marks when it is a lead of two or the
  // second to last byte of a longer sequence, and q2 the low nibble of the
  // byte two back in a longer sequence.
  const __m128i longer = _mm_or_si128(lead3, lead4at3);
  const __m128i cont = _mm_cmplt_epi8(in, _mm_set1_epi8(-64));
  const __m128i b = _mm_sub_epi8(
      in, _mm_and_si128(cont, _mm_set1_epi8(static_cast<char>(0x80))));
  const __m128i q1 = _mm_and_si128(
      p1, _mm_or_si128(_mm_and_si128(lead2, _mm_set1_epi8(0x1F)),
                       _mm_and_si128(longer, _mm_set1_epi8(0x3F))));
  const __m128i q2 =
      _mm_and_si128(p2, _mm_and_si128(longer, _mm_set1_epi8(0x0F)));
  block.units[0] =
      _mm_or_si128(_mm_or_si128(_mm_unpacklo_epi8(b, zero),
                                _mm_slli_epi16(_mm_unpacklo_epi8(q1, zero), 6)),
                   _mm_slli_epi16(_mm_unpacklo_epi8(q2, zero), 12));
  block.units[1] =
      _mm_or_si128(_mm_or_si128(_mm_unpackhi_epi8(b, zero),
                                _mm_slli_epi16(_mm_unpackhi_epi8(q1, zero), 6)),
                   _mm_slli_epi16(_mm_unpackhi_epi8(q2, zero), 12));
  if (block.astral) {  // bits 4-5 of the byte two back, 0-2 of the lead
    const __m128i high = _mm_and_si128(
        lead4at3,
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(p2, 4), _mm_set1_epi8(3)),
                     _mm_slli_epi16(_mm_and_si128(p3, _mm_set1_epi8(7)), 2)));
    block.high[0] = _mm_unpacklo_epi8(high, zero);
    block.high[1] = _mm_unpackhi_epi8(high, zero);
  }
  return true;
}

// Stores eight 16-bit units as units of kOutSize bytes.
template <std::size_t kOutSize>
VELK_SSSE3 inline void StoreUnits(__m128i units, unsigned char* out) {
  if constexpr (kOutSize == 2) {
    Store(out, units);
  } else {
    const __m128i zero = _mm_setzero_si128();
    StoreDwords<kOutSize>(_mm_unpacklo_epi16(units, zero), out);
    StoreDwords<kOutSize>(_mm_unpackhi_epi16(units, zero), out);
  }
}

}  // namespace

template <bool kUtf16, std::size_t kOutSize>
VELK_SSSE3 std::size_t Utf8ToUnitsMixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& out,
                                        std::size_t& charsOut) {
  // Local copies, kept in registers (see StoreGroups).
  unsigned char* dst = out;
  std::size_t chars = charsOut;
  // Each half stores 8 units, of which at least one is output: what it
  // leaves past its end, at most 7 units, the next store overwrites.  A
  // group writes at least 10 units, so its last unit and the 8 past it,
  // saved before its stores, are still what they were before the kernel
  // ran; after the last group they are put back (its last unit too when
  // that is the high surrogate of a pair whose fourth byte is beyond it).
  constexpr std::size_t kSaved = 9 * kOutSize;
  unsigned char saved[kSaved];
  __m128i prev = _mm_setzero_si128();
  std::size_t i = 0, pending = 0;  // bytes of an unfinished character
  bool any = false, dangling = false;
  for (; i + 32 <= n; i += 32) {
    const unsigned char* s = src + i;
    const __m128i a = Load(s), b = Load(s + 16);
    if (pending == 0 && _mm_movemask_epi8(_mm_or_si128(a, b)) == 0) {  // ASCII
      std::memcpy(saved, dst + 31 * kOutSize, kSaved);
      StoreWidened<kOutSize>(a, dst);
      StoreWidened<kOutSize>(b, dst + 16 * kOutSize);
      dst += 32 * kOutSize;
      chars += 32;
      prev = b;
      any = true;
      dangling = false;
      continue;
    }
    Block blocks[2];
    if (!DecodeBlock<kUtf16>(a, prev, blocks[0]) ||
        !DecodeBlock<kUtf16>(b, a, blocks[1])) {
      break;
    }
    unsigned masks[4], total = 0;
    for (int k = 0; k < 4; ++k) {
      masks[k] = (blocks[k / 2].emit >> (8 * (k % 2))) & 0xFF;
      total += static_cast<unsigned>(__builtin_popcount(masks[k]));
    }
    std::memcpy(saved, dst + (total - 1) * kOutSize, kSaved);
    for (int k = 0; k < 4; ++k) {
      const __m128i shuffle = _mm_load_si128(
          reinterpret_cast<const __m128i*>(kCompact.shuffle[masks[k]]));
      const Block& block = blocks[k / 2];
      const __m128i units = _mm_shuffle_epi8(block.units[k % 2], shuffle);
      if (!kUtf16 && block.astral) {
        const __m128i high = _mm_shuffle_epi8(block.high[k % 2], shuffle);
        unsigned char* out = dst;
        StoreDwords<kOutSize>(_mm_unpacklo_epi16(units, high), out);
        StoreDwords<kOutSize>(_mm_unpackhi_epi16(units, high), out);
      } else {
        StoreUnits<kOutSize>(units, dst);
      }
      dst += kOutSize * static_cast<unsigned>(__builtin_popcount(masks[k]));
    }
    const unsigned ends = blocks[0].ends | (blocks[1].ends << 16);
    chars += static_cast<std::size_t>(__builtin_popcount(ends));
    pending = static_cast<std::size_t>(__builtin_clz(ends));  // ends has bits
    dangling = kUtf16 && (blocks[1].thirds >> 15) != 0;
    prev = b;
    any = true;
  }
  if (any) {
    if (dangling) dst -= kOutSize;
    std::memcpy(dst, saved + (dangling ? 0 : kOutSize),
                kSaved - (dangling ? 0 : kOutSize));
  }
  out = dst;
  charsOut = chars;
  return i - pending;
}

template std::size_t Utf8ToUnitsMixed<true, 2>(const unsigned char*,
                                               std::size_t, unsigned char*&,
                                               std::size_t&);
template std::size_t Utf8ToUnitsMixed<true, 4>(const unsigned char*,
                                               std::size_t, unsigned char*&,
                                               std::size_t&);
template std::size_t Utf8ToUnitsMixed<false, 8>(const unsigned char*,
                                                std::size_t, unsigned char*&,
                                                std::size_t&);

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
