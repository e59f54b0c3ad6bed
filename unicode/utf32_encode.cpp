// UTF-32 to UTF-16 and UTF-8.
#include "unicode/utf32_encode.h"

#include <algorithm>

#include "unicode/convert_run.h"
#include "unicode/kernels_to_utf8.h"
#include "unicode/simd_runs.h"
#include "unicode/to_utf8_avx512.h"
#include "unicode/to_utf8_ssse3.h"
#include "unicode/utf_tables.h"

namespace velk {
namespace {

constexpr std::ptrdiff_t kBlock = 64;

template <typename Unit>
ConversionResult Utf32ToUtf16Core(Run<Unit, unsigned short>& caller) {
  Run<Unit, unsigned short> run = caller;
  const Unit* src = run.src;
  unsigned short* dst = run.dst;
  ConversionResult stop = conversionOK;
  while (src < run.srcEnd) {
    // Room is tested before the unit is even looked at.
    if (dst >= run.dstEnd) {
      stop = targetExhausted;
      break;
    }
    unsigned long ch = UnitValue(*src);
    if (ch < kSurHighStart) {
      run.chars += CopyRun<kSurHighStart>(src, run.srcEnd, dst, run.dstEnd);
      continue;
    }
#if defined(VELK_UTF_SSE2)
    // With SSSE3, groups of any characters, pairs among them, while they
    // last and two units a unit fit.
    if (sizeof(Unit) == 8 && HasSsse3()) {
      const std::size_t taken = RunGroups(
          simd::Utf32ToUtf16Mixed, src,
          SafeUnits(run.srcEnd - src, (run.dstEnd - dst - 8) / 2), dst);
      if (taken != 0) {
        run.chars += taken;
        continue;
      }
    }
#endif
    // A block of characters that need no checks: two units a character
    // surely fit.  No branch on the number of units: a pair stores its
    // second unit, then its first; a BMP character stores itself twice.
    const Unit* const start = src;
    const Unit* const blockEnd =
        src + SafeUnits(run.srcEnd - src, (run.dstEnd - dst) / 2);
    for (; src < blockEnd; ++src) {
      const unsigned long unit = UnitValue(*src);
      if (!IsPlainScalar(unit)) break;
      const unsigned long two = unit > 0xFFFF, astral = unit - 0x10000;
      dst[two] = static_cast<unsigned short>(
          Select(two, (astral & 0x3FF) + kSurLowStart, unit));
      dst[0] = static_cast<unsigned short>(
          Select(two, (astral >> 10) + kSurHighStart, unit));
      dst += 1 + two;
    }
    if (src != start) {
      run.chars += static_cast<std::size_t>(src - start);
      continue;
    }
    stop = run.Settle(
        CheckUtf32(ch, kMaxUtf16, sourceOutOfRange), ch, kReplacementChar,
        [&](unsigned long c) { return PutUtf16(c, dst, run.dstEnd); });
    if (stop != conversionOK) break;
    ++src;
  }
  return run.Leave(caller, src, dst, stop);
}

// kStringForm: the string form replaces a high surrogate followed by a low
// one as a single character (lenient mode only).
template <bool kStringForm>
ConversionResult Utf32ToUtf8Core(Run<unsigned long, unsigned char>& caller) {
  Run<unsigned long, unsigned char> run = caller;
  const unsigned long* src = run.src;
  unsigned char* dst = run.dst;
  ConversionResult stop = conversionOK;
  while (src < run.srcEnd) {
    unsigned long ch = *src;
    if (ch < 0x80) {
      const std::size_t n = CopyRun<0x80>(src, run.srcEnd, dst, run.dstEnd);
      if (n == 0) {
        stop = targetExhausted;
        break;
      }
      run.chars += n;
      continue;
    }
    const std::ptrdiff_t left = run.srcEnd - src, room = run.dstEnd - dst;
#if defined(VELK_UTF_SSE2)
    // With AVX-512 or else SSSE3, groups of any characters while they last
    // and four bytes a unit fit.
    if (HasAvx512()) {
      const std::size_t taken = RunGroups(simd::Utf32ToUtf8Avx512, src,
                                          SafeUnits(left, room / 4), dst);
      if (taken != 0) {
        run.chars += taken;
        continue;
      }
    }
    if (HasSsse3()) {
      const std::size_t taken = RunGroups(
          simd::Utf32ToUtf8Mixed, src, SafeUnits(left, (room - 16) / 4), dst);
      if (taken != 0) {
        run.chars += taken;
        continue;
      }
    }
#endif
    // Groups of units below U+0800, or of three-byte units, while they
    // last and two or three bytes a unit fit; else groups of any.
    const std::size_t n =
        ch < 0x800 ? RunGroups(simd::TwoByteToUtf8<sizeof(unsigned long)>, src,
                               SafeUnits(left, room / 2), dst)
        : ch < 0x10000 ? RunGroups(simd::ThreeByteToUtf8<sizeof(unsigned long)>,
                                   src, SafeUnits(left, room / 3), dst)
                       : RunGroups(simd::Utf32ToUtf8Words, src,
                                   SafeUnits(left, (room - 4) / 4), dst);
    if (n != 0) {
      run.chars += n;
      continue;
    }
    // A short block of characters up to U+10FFFF that need no checks: four
    // bytes a unit surely fit.  It has no branch on the length, so mixed
    // text does not pay for mispredicted branches, and it is short so that
    // the groups above get their turn again soon.
    const unsigned long* const start = src;
    const unsigned long* const blockEnd =
        src + SafeUnits(std::min<std::ptrdiff_t>(left, kBlock), room / 4);
    for (; src < blockEnd; ++src) {
      if (!IsPlainScalar(*src)) break;
      dst += StoreUtf8(*src, dst);
    }
    if (src != start) {
      run.chars += static_cast<std::size_t>(src - start);
      continue;
    }
    const ConversionResult problem = CheckUtf32(ch, kMaxSixByte, sourceIllegal);
    stop = run.Settle(problem, ch, kReplacementChar, [&](unsigned long c) {
      return PutUtf8(c, dst, run.dstEnd);
    });
    if (stop != conversionOK) break;
    ++src;
    // The string form replaces a high surrogate and a low one after it as
    // one character.
    if (kStringForm && problem != conversionOK && IsHighSurrogate(ch) &&
        src < run.srcEnd && IsLowSurrogate(*src)) {
      ++src;
    }
  }
  return run.Leave(caller, src, dst, stop);
}

}  // namespace

template <typename Unit>
ConversionResult Utf32ToUtf16String(const Unit** sourceStart,
                                    const Unit* sourceEnd,
                                    std::basic_string<unsigned short>& target,
                                    unsigned long* count,
                                    ConversionFlags flags) {
  // Two units per source unit.
  return ConvertString(&Utf32ToUtf16Core<Unit>, sourceStart, sourceEnd, target,
                       count, flags, 2 * SourceUnits(*sourceStart, sourceEnd));
}

template ConversionResult Utf32ToUtf16String<wchar_t>(
    const wchar_t**, const wchar_t*, std::basic_string<unsigned short>&,
    unsigned long*, ConversionFlags);

}  // namespace velk

ConversionResult ConvertUTF32toUTF16(const unsigned long** sourceStart,
                                     const unsigned long* sourceEnd,
                                     unsigned short** targetStart,
                                     unsigned short* targetEnd,
                                     ConversionFlags flags) {
  return velk::ConvertBuffer(&velk::Utf32ToUtf16Core<unsigned long>,
                             sourceStart, sourceEnd, targetStart, targetEnd,
                             flags);
}

ConversionResult ConvertUTF32toUTF16(const unsigned long** sourceStart,
                                     const unsigned long* sourceEnd,
                                     std::basic_string<unsigned short>& target,
                                     unsigned long* count,
                                     ConversionFlags flags) {
  return velk::Utf32ToUtf16String(sourceStart, sourceEnd, target, count, flags);
}

ConversionResult ConvertUTF32toUTF8(const unsigned long** sourceStart,
                                    const unsigned long* sourceEnd,
                                    unsigned char** targetStart,
                                    unsigned char* targetEnd,
                                    ConversionFlags flags) {
  return velk::ConvertBuffer(&velk::Utf32ToUtf8Core<false>, sourceStart,
                             sourceEnd, targetStart, targetEnd, flags);
}

ConversionResult ConvertUTF32toUTF8(const unsigned long** sourceStart,
                                    const unsigned long* sourceEnd,
                                    std::string& target, unsigned long* count,
                                    ConversionFlags flags) {
  // Four bytes per source unit.
  return velk::ConvertString(&velk::Utf32ToUtf8Core<true>, sourceStart,
                             sourceEnd, target, count, flags,
                             4 * velk::SourceUnits(*sourceStart, sourceEnd));
}
