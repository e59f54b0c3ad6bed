// UTF-16 to UTF-8: the one core loop behind both exported forms of
// ConvertUTF16toUTF8 and the parser-string conversions.
#include "unicode/utf16_to_utf8.h"

#include <algorithm>

#include "unicode/convert_run.h"
#include "unicode/kernels_to_utf8.h"
#include "unicode/simd_runs.h"
#include "unicode/to_utf8_avx512.h"
#include "unicode/to_utf8_ssse3.h"
#include "unicode/utf_tables.h"

namespace velk {

namespace {

// Units of the block loop, after which the groups get their turn again.
constexpr std::ptrdiff_t kBlock = 16;

// kStringForm: the string form encodes up to U+10FFFF, the buffer form only
// up to U+10FFFE.
template <bool kStringForm, typename Unit>
ConversionResult Utf16ToUtf8Core(Run<Unit, unsigned char>& caller) {
  Run<Unit, unsigned char> run = caller;
  constexpr unsigned long kMax = kStringForm ? kMaxUtf16 : kMaxUtf16 - 1;
  const Unit* src = run.src;
  unsigned char* dst = run.dst;
  ConversionResult stop = conversionOK;
  while (src < run.srcEnd) {
    if (UnitValue(*src) < 0x80) {
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
    // With AVX-512, groups of any characters first, while three bytes a
    // unit fit.
    if (HasAvx512()) {
      const auto wide = [&run](const unsigned char* s, std::size_t units,
                               unsigned char*& d) {
        return simd::Utf16ToUtf8Avx512<kMax>(s, units, d, run.chars);
      };
      if (RunGroups(wide, src, SafeUnits(left, room / 3), dst) != 0) continue;
    }
    // With SSSE3, groups of any characters while they last and three bytes
    // a unit fit.
    if (HasSsse3()) {
      const auto mixed = [&run](const unsigned char* s, std::size_t units,
                                unsigned char*& d) {
        return simd::Utf16ToUtf8Mixed<kMax>(s, units, d, run.chars);
      };
      if (RunGroups(mixed, src, SafeUnits(left, (room - 16) / 3), dst) != 0)
        continue;
    }
#endif
    // Groups of units below U+0800, or of units of three bytes, while they
    // last and two or three bytes a unit fit.
    // Else groups of any BMP characters and pairs.
    const std::size_t n = UnitValue(*src) < 0x800
                              ? RunGroups(simd::TwoByteToUtf8<2>, src,
                                          SafeUnits(left, room / 2), dst)
                              : RunGroups(simd::ThreeByteToUtf8<2>, src,
                                          SafeUnits(left, room / 3), dst);
    if (n != 0) {
      run.chars += n;
      continue;
    }
    const auto mixed = [&run](const unsigned char* s, std::size_t units,
                              unsigned char*& d) {
      return simd::PairsToUtf8<kMax>(s, units, d, run.chars);
    };
    if (RunGroups(mixed, src, SafeUnits(left, (room - 4) / 3), dst) != 0)
      continue;
    // A short block of characters that need no end tests: a character
    // takes at most three bytes a unit, and the block leaves one unit of
    // source for a pair's second unit and one byte of room for a pair read
    // at its last unit.  Below U+0800 there is no branch on the length: a
    // unit stores its last byte, then its first (the same byte again for
    // ASCII).  It is short so that the groups above get their turn again
    // soon.
    const Unit* const start = src;
    std::size_t pairs = 0;
    const Unit* const blockEnd =
        src +
        SafeUnits(std::min<std::ptrdiff_t>(left - 1, kBlock), (room - 1) / 3);
    while (src < blockEnd) {
      const unsigned long unit = UnitValue(src[0]);
      if (unit < 0x800) {
        const unsigned long two = unit >= 0x80;
        dst[two] =
            static_cast<unsigned char>(Select(two, 0x80 | (unit & 0x3F), unit));
        dst[0] =
            static_cast<unsigned char>(Select(two, 0xC0 | (unit >> 6), unit));
        dst += 1 + two;
        ++src;
        continue;
      }
      if (IsPlainBmp(unit)) {
        dst[0] = static_cast<unsigned char>(0xE0 | (unit >> 12));
        dst[1] = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
        dst[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        dst += 3;
        ++src;
        continue;
      }
      const unsigned long next = UnitValue(src[1]);
      if (!IsHighSurrogate(unit) || !IsLowSurrogate(next)) break;
      const unsigned long ch =
          ((unit - kSurHighStart) << 10) + (next - kSurLowStart) + 0x10000;
      if (ch > kMax) break;
      WriteUtf8(ch, 4, dst);
      dst += 4;
      src += 2;
      ++pairs;
    }
    if (src != start) {
      run.chars += static_cast<std::size_t>(src - start) - pairs;
      continue;
    }
    const Unit* const first = src;
    unsigned long ch;
    ConversionResult problem = ReadUtf16(src, run.srcEnd, ch);
    if (problem == sourceExhausted) {
      stop = problem;
      break;
    }
    // Only a pair can exceed the maximum.
    if (problem == conversionOK && ch > kMax) problem = sourceIllegal;
    stop = run.Settle(problem, ch, kReplacementChar, [&](unsigned long c) {
      return PutUtf8(c, dst, run.dstEnd);
    });
    if (stop != conversionOK) {
      // A pair above the maximum leaves the position at its second unit.
      src = stop == sourceIllegal ? src - 1 : first;
      break;
    }
  }
  return run.Leave(caller, src, dst, stop);
}

}  // namespace

template <typename Unit>
ConversionResult Utf16ToUtf8String(const Unit** sourceStart,
                                   const Unit* sourceEnd, std::string& target,
                                   unsigned long* count,
                                   ConversionFlags flags) {
  // One reservation: two bytes per source unit.
  return ConvertString(&Utf16ToUtf8Core<true, Unit>, sourceStart, sourceEnd,
                       target, count, flags,
                       2 * SourceUnits(*sourceStart, sourceEnd));
}

template <typename Unit>
ConversionResult Utf16ToUtf8Buffer(const Unit** sourceStart,
                                   const Unit* sourceEnd,
                                   unsigned char** targetStart,
                                   unsigned char* targetEnd,
                                   ConversionFlags flags) {
  return ConvertBuffer(&Utf16ToUtf8Core<false, Unit>, sourceStart, sourceEnd,
                       targetStart, targetEnd, flags);
}

template ConversionResult Utf16ToUtf8String<unsigned short>(
    const unsigned short**, const unsigned short*, std::string&, unsigned long*,
    ConversionFlags);
template ConversionResult Utf16ToUtf8String<char16_t>(const char16_t**,
                                                      const char16_t*,
                                                      std::string&,
                                                      unsigned long*,
                                                      ConversionFlags);
template ConversionResult Utf16ToUtf8Buffer<unsigned short>(
    const unsigned short**, const unsigned short*, unsigned char**,
    unsigned char*, ConversionFlags);
template ConversionResult Utf16ToUtf8Buffer<char16_t>(const char16_t**,
                                                      const char16_t*,
                                                      unsigned char**,
                                                      unsigned char*,
                                                      ConversionFlags);

}  // namespace velk

ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    unsigned char** targetStart,
                                    unsigned char* targetEnd,
                                    ConversionFlags flags) {
  return velk::Utf16ToUtf8Buffer(sourceStart, sourceEnd, targetStart, targetEnd,
                                 flags);
}

ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    std::string& target, unsigned long* count,
                                    ConversionFlags flags) {
  return velk::Utf16ToUtf8String(sourceStart, sourceEnd, target, count, flags);
}
