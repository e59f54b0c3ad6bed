// The vector primitives the conversions' kernels are built of, with SSE2
// (which every x86-64 has): loads and stores, 64-bit units split into
// their 32-bit halves, packing and widening of lanes, and the decoding of
// UTF-16 units and surrogate pairs lane by lane.  VELK_UTF_SSE2 is set
// where they exist; VELK_NO_SIMD (the build option VELK_SIMD=OFF) builds
// the portable path alone, as a machine without SSE2 would.  Kernels that
// need SSSE3 are compiled for it with VELK_SSSE3 and run only where
// HasSsse3(); those with AVX-512 (VELK_AVX512) only where HasAvx512().
#ifndef VELKCONF_UNICODE_SIMD_VECTOR_H_
#define VELKCONF_UNICODE_SIMD_VECTOR_H_

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) && !defined(VELK_NO_SIMD)
#define VELK_UTF_SSE2 1
#include <emmintrin.h>
#endif

namespace velk {

#if defined(VELK_UTF_SSE2)
// The sets of kernels, each used with those of the sets before it.
enum class KernelSet { kSse2, kSsse3, kAvx512 };
// Whether the processor has SSSE3 and POPCNT, which the kernels compiled
// with VELK_SSSE3 use, and AVX-512 F, BW, VL and VBMI2 (VELK_AVX512); false
// also when LimitKernels keeps their set out.
bool HasSsse3();
bool HasAvx512();
// For the tests: no kernel of a set above best runs, so that the paths
// of a processor without them run on one that has them too.  (Not for
// use while another thread converts.)
void LimitKernels(KernelSet best);
#define VELK_SSSE3 __attribute__((target("ssse3,popcnt")))
#define VELK_AVX512 \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt")))

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

// For each mask of kLanes lanes of kWidth bytes (16 bytes in all), the
// shuffle that gathers the lanes of its set bits, in order, to the front,
// with zero bytes behind them.
template <int kLanes, int kWidth>
struct CompactTable {
  alignas(16) unsigned char shuffle[1 << kLanes][16];
};

template <int kLanes, int kWidth>
constexpr CompactTable<kLanes, kWidth> MakeCompactTable() {
  static_assert(kLanes * kWidth == 16, "lanes of one vector");
  CompactTable<kLanes, kWidth> t{};
  for (int mask = 0; mask < (1 << kLanes); ++mask) {
    int out = 0;
    for (int lane = 0; lane < kLanes; ++lane) {
      if (((mask >> lane) & 1) == 0) continue;
      for (int k = 0; k < kWidth; ++k) {
        t.shuffle[mask][out++] = static_cast<unsigned char>(kWidth * lane + k);
      }
    }
    while (out < 16) t.shuffle[mask][out++] = 0x80;
  }
  return t;
}

}  // namespace simd
#else
namespace simd {
// Without SSE2 no group qualifies: a converter of groups that takes none
// (any arguments, returns 0) stands for each kernel.
struct NoGroups {
  template <typename... Args>
  constexpr std::size_t operator()(Args&&...) const {
    return 0;
  }
};
}  // namespace simd
#endif  // VELK_UTF_SSE2

}  // namespace velk

#endif  // VELKCONF_UNICODE_SIMD_VECTOR_H_
