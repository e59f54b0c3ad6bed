// Mixed-width kernels into UTF-8 with SSSE3 (see to_utf8_ssse3.h).
#include "unicode/to_utf8_ssse3.h"

#include "unicode/kernels_to_utf8.h"

#if defined(VELK_UTF_SSE2)
#include <tmmintrin.h>

#include <cstdint>
#include <cstring>

namespace velk {
namespace simd {
namespace {

// For four 32-bit lanes holding UTF-8 sequences lead byte first (or one
// or two UTF-16 units, the first lowest), whose lengths in units of
// `width` bytes are `first` + the 2-bit fields of an index (lane 0
// lowest): the shuffle that packs their bytes together and their total
// length in bytes.
// Two entries after the 256 of lengths: kWhole keeps all 16 bytes as they
// are, kHalf the first 8.
constexpr unsigned kWhole = 256, kHalf = 257;
struct PackTable {
  alignas(16) unsigned char shuffle[kHalf + 1][16];
  unsigned char length[kHalf + 1];
};

constexpr PackTable MakePackTable(int first, int width) {
  PackTable t{};
  for (int index = 0; index < 256; ++index) {
    int out = 0;
    for (int lane = 0; lane < 4; ++lane) {
      // (Lanes of more than four bytes come from indexes never used.)
      const int bytes = width * (first + ((index >> (2 * lane)) & 3));
      const int length = bytes < 4 ? bytes : 4;
      for (int k = 0; k < length; ++k)
        t.shuffle[index][out++] = static_cast<unsigned char>(4 * lane + k);
    }
    t.length[index] = static_cast<unsigned char>(out);
    while (out < 16) t.shuffle[index][out++] = 0x80;  // zero
  }
  for (int k = 0; k < 16; ++k)
    t.shuffle[kWhole][k] = t.shuffle[kHalf][k] = static_cast<unsigned char>(k);
  t.length[kWhole] = 16;
  t.length[kHalf] = 8;
  return t;
}

constexpr PackTable kLengths0To3 = MakePackTable(0, 1);
constexpr PackTable kLengths1To4 = MakePackTable(1, 1);
constexpr PackTable kUnits1To2 = MakePackTable(1, 2);

// The index of four lengths, one a byte of x, each 0 to 3.
inline unsigned PackIndex(std::uint32_t x) {
  return (x | x >> 6 | x >> 12 | x >> 18) & 0xFF;
}

// Stores the sequences in the lanes of words, their lengths given by
// index into table, at dst, and moves dst past them.  The store is 16
// bytes wide: what lies past the sequences is overwritten by the next
// store or put back by the caller.
VELK_SSSE3 inline void PackStore(__m128i words, unsigned index,
                                 const PackTable& table, unsigned char*& dst) {
  const __m128i shuffle =
      _mm_load_si128(reinterpret_cast<const __m128i*>(table.shuffle[index]));
  Store(dst, _mm_shuffle_epi8(words, shuffle));
  dst += table.length[index];
}

VELK_SSSE3 inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Four UTF-8 sequences, one a 32-bit lane, and the index of their
// lengths in the table they go with.
struct Quad {
  __m128i words;
  unsigned index;
};

// Stores groups of quads at dst and moves dst past them; restores, after
// the last, what lay past the output.  group(s, i, quads, count) fills
// count quads (kQuads, or 1 for 16 bytes kept whole) from the kUnits
// source units at s, the i-th of src, and returns the units it took, 0
// when they do not qualify.  Every group writes more bytes than its last
// store leaves past its end (at most 13), so the bytes past a group's
// output, saved before its stores, are still what they were before the
// kernel ran.
template <std::size_t kInSize, std::size_t kUnits, int kQuads, typename Group>
VELK_SSSE3 inline std::size_t StoreGroups(const unsigned char* src,
                                          std::size_t n, unsigned char*& out,
                                          const PackTable& table, Group group) {
  // A local copy: stores through dst could otherwise change the caller's
  // pointer, which would then be reloaded after every store.
  unsigned char* dst = out;
  std::size_t i = 0;
  __m128i saved = _mm_setzero_si128();
  Quad quads[kQuads];
  while (i + kUnits <= n) {
    int count = kQuads;
    const std::size_t taken = group(src + kInSize * i, i, quads, count);
    if (taken == 0) break;
    unsigned bytes = 0;
    for (int q = 0; q < count; ++q) bytes += table.length[quads[q].index];
    saved = Load(dst + bytes);
    for (int q = 0; q < count; ++q) {
      PackStore(quads[q].words, quads[q].index, table, dst);
    }
    i += taken;
  }
  if (i != 0) Store(dst, saved);
  out = dst;
  return i;
}

// Eight UTF-16 units v, with the unit before each in prev and the unit
// after each in next, as two quads (or, all ASCII, as one of 8 bytes).
// Each unit writes its own bytes: a high surrogate the first two of its
// pair's four, the low one the last two; a high surrogate in the last
// lane, when lastHigh is set, nothing (the next group starts at it).
// Returns the quads filled, 0 when a unit is not one the kernel takes.
// kPairs false: v holds scalars of the BMP (from UTF-32), so no surrogate
// needs a test or pairing; prev, next and lastHigh are not used.
template <unsigned long kMax, int kFirst = 0, bool kPairs = true>
VELK_SSSE3 inline int EightUnits(__m128i v, __m128i prev, __m128i next,
                                 bool lastHigh, Quad* quads,
                                 std::size_t& lows) {
  if (AllZero(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))))) {
    quads[0] = {_mm_packus_epi16(v, v), kHalf};
    return 1;
  }
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  const __m128i signedV = _mm_xor_si128(v, flip);
  __m128i high = _mm_setzero_si128(), low = _mm_setzero_si128();
  if constexpr (kPairs) {
    const __m128i top6 = _mm_set1_epi16(static_cast<short>(0xFC00));
    const __m128i highTag = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i lowTag = _mm_set1_epi16(static_cast<short>(0xDC00));
    high = _mm_cmpeq_epi16(_mm_and_si128(v, top6), highTag);
    low = _mm_cmpeq_epi16(_mm_and_si128(v, top6), lowTag);
    const __m128i nextLow = _mm_cmpeq_epi16(_mm_and_si128(next, top6), lowTag);
    const __m128i prevHigh =
        _mm_cmpeq_epi16(_mm_and_si128(prev, top6), highTag);
    __m128i bad = _mm_or_si128(_mm_andnot_si128(nextLow, high),
                               _mm_andnot_si128(prevHigh, low));
    bad = _mm_or_si128(bad, _mm_cmpgt_epi16(signedV, _mm_set1_epi16(0x7FFD)));
    if (kMax < 0x10FFFF) {  // the pair DBFF DFFF
      bad = _mm_or_si128(
          bad,
          _mm_and_si128(
              _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(0xDBFF))),
              _mm_cmpeq_epi16(next,
                              _mm_set1_epi16(static_cast<short>(0xDFFF)))));
    }
    if (_mm_movemask_epi8(bad) != 0) return 0;
  }
  const __m128i x3F = _mm_set1_epi16(0x3F), x80 = _mm_set1_epi16(0x80);
  // one: u above 7F; three: u above 7FF and no surrogate.
  const __m128i one =
      _mm_cmpgt_epi16(signedV, _mm_set1_epi16(static_cast<short>(0x807F)));
  const __m128i beyond2 =
      _mm_cmpgt_epi16(signedV, _mm_set1_epi16(static_cast<short>(0x87FF)));
  const __m128i three =
      kPairs ? _mm_andnot_si128(_mm_or_si128(high, low), beyond2) : beyond2;
  // The first two bytes of each unit (b0 low, b1 high) and its third.
  const __m128i last6 = _mm_or_si128(_mm_and_si128(v, x3F), x80);
  const __m128i mid6 =
      _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 6), x3F), x80);
  const __m128i two01 =
      _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0)),
                   _mm_slli_epi16(last6, 8));
  const __m128i three01 =
      _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 12), _mm_set1_epi16(0xE0)),
                   _mm_slli_epi16(mid6, 8));
  // A high surrogate: w = (u & 3FF) + 40 is the pair's value >> 10.
  const __m128i w = _mm_add_epi16(_mm_and_si128(v, _mm_set1_epi16(0x3FF)),
                                  _mm_set1_epi16(0x40));
  const __m128i high01 = _mm_or_si128(
      _mm_or_si128(_mm_srli_epi16(w, 8), _mm_set1_epi16(0xF0)),
      _mm_slli_epi16(
          _mm_or_si128(_mm_and_si128(_mm_srli_epi16(w, 2), x3F), x80), 8));
  // A low surrogate: the two low bits of the high unit before it (those of
  // its w), the unit's bits 6 to 9, then its last six.
  const __m128i low0 = _mm_or_si128(
      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(prev, _mm_set1_epi16(3)), 4),
                   _mm_and_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xF))),
      x80);
  const __m128i low01 = _mm_or_si128(low0, _mm_slli_epi16(last6, 8));
  __m128i b01 = Select(one, two01, v);
  b01 = Select(three, three01, b01);
  b01 = Select(high, high01, b01);
  b01 = Select(low, low01, b01);
  const __m128i b2 = _mm_and_si128(three, last6);
  // Lengths: 1, one more above 7F (surrogates too), one more for three;
  // less kFirst, the table's shortest length.
  __m128i length =
      _mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(1 - kFirst), one), three);
  if (lastHigh)
    length =
        _mm_and_si128(length, _mm_setr_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
  std::uint64_t lengths;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&lengths),
                   _mm_packus_epi16(length, length));
  quads[0] = {_mm_unpacklo_epi16(b01, b2),
              PackIndex(static_cast<std::uint32_t>(lengths))};
  quads[1] = {_mm_unpackhi_epi16(b01, b2),
              PackIndex(static_cast<std::uint32_t>(lengths >> 32))};
  lows += static_cast<std::size_t>(__builtin_popcount(
              static_cast<unsigned>(_mm_movemask_epi8(low)))) /
          2;
  return 2;
}

// Four UTF-32 units of eight bytes at s as 32-bit lanes of cp; false when
// one is above U+10FFFF, a surrogate, U+FFFE or U+FFFF.
VELK_SSSE3 inline bool PlainScalars(const unsigned char* s, __m128i& cp) {
  const __m128i a = Load(s), b = Load(s + 16);
  cp = LowHalves(a, b);
  const __m128i bad = _mm_or_si128(
      _mm_or_si128(HighHalves(a, b), _mm_cmpgt_epi32(_mm_srli_epi32(cp, 16),
                                                     _mm_set1_epi32(0x10))),
      _mm_or_si128(_mm_cmpeq_epi32(_mm_and_si128(cp, _mm_set1_epi32(~0x7FF)),
                                   _mm_set1_epi32(0xD800)),
                   _mm_cmpeq_epi32(_mm_or_si128(cp, _mm_set1_epi32(1)),
                                   _mm_set1_epi32(0xFFFF))));
  return AllZero(bad);
}

// The index of four lengths in 32-bit lanes (each 0 to 3).
VELK_SSSE3 inline unsigned LaneIndex(__m128i lengths) {
  const __m128i bytes =
      _mm_packus_epi16(_mm_packs_epi32(lengths, lengths), lengths);
  return PackIndex(static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes)));
}

}  // namespace

template <unsigned long kMax>
VELK_SSSE3 std::size_t Utf16ToUtf8Mixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& dst,
                                        std::size_t& charsOut) {
  std::size_t chars = 0;  // local, as dst is in StoreGroups
  // 16 units a group, and the one after them.
  const std::size_t taken = StoreGroups<2, 17, 4>(
      src, n, dst, kLengths0To3,
      [&chars](const unsigned char* s, std::size_t i, Quad* quads, int& count)
          VELK_SSSE3 -> std::size_t {
            const __m128i a = Load(s), b = Load(s + 16);
            if (AllZero(_mm_and_si128(
                    _mm_or_si128(a, b),
                    _mm_set1_epi16(static_cast<short>(0xFF80))))) {
              quads[0] = {_mm_packus_epi16(a, b), kWhole};  // ASCII
              count = 1;
              chars += 16;
              return 16;
            }
            const __m128i prevA = i == 0 ? _mm_bslli_si128(a, 2) : Load(s - 2);
            const bool lastHigh = (s[31] & 0xFC) == 0xD8;
            std::size_t lows = 0;
            const int first =
                EightUnits<kMax>(a, prevA, Load(s + 2), false, quads, lows);
            if (first == 0) return 0;
            const int second = EightUnits<kMax>(b, Load(s + 14), Load(s + 18),
                                                lastHigh, quads + first, lows);
            if (second == 0) return 0;
            count = first + second;
            const std::size_t taken = 16 - lastHigh;
            chars += taken - lows;
            return taken;
          });
  charsOut += chars;
  return taken;
}

template std::size_t Utf16ToUtf8Mixed<0x10FFFF>(const unsigned char*,
                                                std::size_t, unsigned char*&,
                                                std::size_t&);
template std::size_t Utf16ToUtf8Mixed<0x10FFFE>(const unsigned char*,
                                                std::size_t, unsigned char*&,
                                                std::size_t&);

VELK_SSSE3 std::size_t Utf32ToUtf8Mixed(const unsigned char* src, std::size_t n,
                                        unsigned char*& dst) {
  return StoreGroups<8, 16, 4>(
      src, n, dst, kLengths1To4,
      [](const unsigned char* s, std::size_t, Quad* quads,
         int& count) VELK_SSSE3 -> std::size_t {
        // All below U+D800, as most text is, needs one test; others the
        // full checks.
        __m128i cp[4], high = _mm_setzero_si128(), below = _mm_set1_epi32(-1);
        for (int q = 0; q < 4; ++q) {
          const __m128i a = Load(s + 32 * q), b = Load(s + 32 * q + 16);
          high = _mm_or_si128(high, _mm_or_si128(a, b));
          cp[q] = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a),
                                                  _mm_castsi128_ps(b),
                                                  _MM_SHUFFLE(2, 0, 2, 0)));
          below = _mm_and_si128(below,
                                _mm_cmplt_epi32(_mm_srli_epi32(cp[q], 11),
                                                _mm_set1_epi32(0xD800 >> 11)));
        }
        high = _mm_and_si128(
            high,
            _mm_set1_epi64x(static_cast<long long>(0xFFFFFFFF00000000ULL)));
        if (!AllZero(high) || _mm_movemask_epi8(below) != 0xFFFF) {
          for (int q = 0; q < 4; ++q) {
            if (!PlainScalars(s + 32 * q, cp[q])) return 0;
          }
        }
        const __m128i any = _mm_or_si128(_mm_or_si128(cp[0], cp[1]),
                                         _mm_or_si128(cp[2], cp[3]));
        if (AllZero(_mm_and_si128(any, _mm_set1_epi32(~0x7F)))) {  // ASCII
          quads[0] = {_mm_packus_epi16(_mm_packs_epi32(cp[0], cp[1]),
                                       _mm_packs_epi32(cp[2], cp[3])),
                      kWhole};
          count = 1;
          return 16;
        }
        if (AllZero(_mm_srli_epi32(any, 16))) {  // the BMP: as UTF-16
          const __m128i zero = _mm_setzero_si128();
          std::size_t lows = 0;
          const int first = EightUnits<0x10FFFF, 1, false>(
              PackBmp(cp[0], cp[1]), zero, zero, false, quads, lows);
          count = first + EightUnits<0x10FFFF, 1, false>(PackBmp(cp[2], cp[3]),
                                                         zero, zero, false,
                                                         quads + first, lows);
          return 16;
        }
        for (int q = 0; q < 4; ++q) {
          __m128i lengths;
          Utf8Words(cp[q], quads[q].words, lengths);
          quads[q].index = LaneIndex(_mm_sub_epi32(lengths, _mm_set1_epi32(1)));
        }
        return 16;
      });
}

VELK_SSSE3 std::size_t Utf32ToUtf16Mixed(const unsigned char* src,
                                         std::size_t n, unsigned char*& dst) {
  return StoreGroups<8, 8, 2>(
      src, n, dst, kUnits1To2,
      [](const unsigned char* s, std::size_t, Quad* quads,
         int& count) VELK_SSSE3 -> std::size_t {
        __m128i cp[2];
        if (!PlainScalars(s, cp[0]) || !PlainScalars(s + 32, cp[1])) return 0;
        if (AllZero(
                _mm_srli_epi32(_mm_or_si128(cp[0], cp[1]), 16))) {  // no pair
          quads[0] = {PackBmp(cp[0], cp[1]), kWhole};
          count = 1;
          return 8;
        }
        for (int q = 0; q < 2; ++q) {
          // Above U+FFFF: the high surrogate low, the low one high.
          const __m128i pair = _mm_cmpgt_epi32(cp[q], _mm_set1_epi32(0xFFFF));
          const __m128i astral = _mm_sub_epi32(cp[q], _mm_set1_epi32(0x10000));
          const __m128i units = _mm_or_si128(
              _mm_add_epi32(_mm_srli_epi32(astral, 10), _mm_set1_epi32(0xD800)),
              _mm_slli_epi32(
                  _mm_add_epi32(_mm_and_si128(astral, _mm_set1_epi32(0x3FF)),
                                _mm_set1_epi32(0xDC00)),
                  16));
          quads[q].words = Select(pair, units, cp[q]);
          quads[q].index =
              LaneIndex(_mm_sub_epi32(_mm_setzero_si128(), pair));  // 1 a pair
        }
        return 8;
      });
}

}  // namespace simd
}  // namespace velk
#endif  // VELK_UTF_SSE2
