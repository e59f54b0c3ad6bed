// UTF-32 to UTF-16 and UTF-8.
#include "unicode/utf32_encode.h"

#include "unicode/convert_run.h"
#include "unicode/simd_runs.h"
#include "unicode/utf_tables.h"

namespace velk {
namespace {

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
    // A block of characters that need no checks: two units a character
    // surely fit.
    const Unit* const start = src;
    const Unit* const blockEnd = src + SafeUnits(run.srcEnd - src, (run.dstEnd - dst) / 2);
    for (; src < blockEnd; ++src) {
      const unsigned long unit = UnitValue(*src);
      if (IsPlainBmp(unit)) {
        *dst++ = static_cast<unsigned short>(unit);
      } else if (unit > 0xFFFF && unit <= kMaxUtf16) {
        dst[0] = static_cast<unsigned short>(((unit - 0x10000) >> 10) + kSurHighStart);
        dst[1] = static_cast<unsigned short>(((unit - 0x10000) & 0x3FF) + kSurLowStart);
        dst += 2;
      } else {
        break;
      }
    }
    if (src != start) {
      run.chars += static_cast<std::size_t>(src - start);
      continue;
    }
    const ConversionResult problem = CheckUtf32(ch, kMaxUtf16, sourceOutOfRange);
    if (problem != conversionOK) {
      if (run.strict) {
        stop = problem;
        break;
      }
      ch = kReplacementChar;
    }
    if (!PutUtf16(ch, dst, run.dstEnd)) {
      stop = targetExhausted;
      break;
    }
    ++src;
    run.Wrote(problem);
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
    // A block of characters up to U+10FFFF that need no checks: four
    // bytes a unit surely fit.
    const unsigned long* const start = src;
    const unsigned long* const blockEnd = src + SafeUnits(run.srcEnd - src, (run.dstEnd - dst) / 4);
    for (; src < blockEnd; ++src) {
      const unsigned long unit = *src;
      if (unit < 0x80) {
        *dst++ = static_cast<unsigned char>(unit);
      } else if (unit < 0x800) {
        dst[0] = static_cast<unsigned char>(0xC0 | (unit >> 6));
        dst[1] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        dst += 2;
      } else if (IsPlainBmp(unit)) {
        dst[0] = static_cast<unsigned char>(0xE0 | (unit >> 12));
        dst[1] = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
        dst[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        dst += 3;
      } else if (unit > 0xFFFF && unit <= kMaxUtf16) {
        WriteUtf8(unit, 4, dst);
        dst += 4;
      } else {
        break;
      }
    }
    if (src != start) {
      run.chars += static_cast<std::size_t>(src - start);
      continue;
    }
    const unsigned long* const first = src++;
    const ConversionResult problem = CheckUtf32(ch, kMaxSixByte, sourceIllegal);
    if (problem != conversionOK) {
      if (run.strict) {
        src = first;
        stop = problem;
        break;
      }
      if (kStringForm && IsHighSurrogate(ch) && src < run.srcEnd &&
          IsLowSurrogate(*src)) {
        ++src;
      }
      ch = kReplacementChar;
    }
    if (!PutUtf8(ch, dst, run.dstEnd)) {
      src = first;
      stop = targetExhausted;
      break;
    }
    run.Wrote(problem);
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
  return ConvertString(&Utf32ToUtf16Core<Unit>, sourceStart, sourceEnd,
                       target, count, flags,
                       2 * SourceUnits(*sourceStart, sourceEnd));
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
  return velk::Utf32ToUtf16String(sourceStart, sourceEnd, target, count,
                                  flags);
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
