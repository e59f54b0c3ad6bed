// UTF-16 to UTF-8: the one core loop behind both exported forms of
// ConvertUTF16toUTF8 and the parser-string conversions.
#include "unicode/utf16_to_utf8.h"

#include "unicode/convert_run.h"
#include "unicode/simd_runs.h"
#include "unicode/utf_tables.h"

namespace velk {

namespace {

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
    // A block of BMP characters that need no checks: every unit is at
    // most three bytes, so a block that fits three bytes a unit needs no
    // room test either.
    const Unit* const start = src;
    std::size_t pairs = 0;
    const Unit* const blockEnd = src + SafeUnits(run.srcEnd - src, (run.dstEnd - dst) / 3);
    while (src < blockEnd) {
      const unsigned long unit = UnitValue(*src);
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
      } else if (IsHighSurrogate(unit) && blockEnd - src >= 2 &&
                 IsLowSurrogate(UnitValue(src[1]))) {
        // A pair inside the block: four bytes for two units.
        const unsigned long ch =
            ((unit - kSurHighStart) << 10) + (UnitValue(src[1]) - kSurLowStart) + 0x10000;
        if (ch > kMax) break;
        WriteUtf8(ch, 4, dst);
        dst += 4;
        ++src;
        ++pairs;
      } else {
        break;
      }
      ++src;
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
    if (problem != conversionOK) {
      if (run.strict) {
        // A pair above the maximum leaves the position at its second unit.
        src = problem == sourceIllegal ? src - 1 : first;
        stop = problem;
        break;
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
template ConversionResult Utf16ToUtf8String<char16_t>(
    const char16_t**, const char16_t*, std::string&, unsigned long*,
    ConversionFlags);
template ConversionResult Utf16ToUtf8Buffer<unsigned short>(
    const unsigned short**, const unsigned short*, unsigned char**,
    unsigned char*, ConversionFlags);
template ConversionResult Utf16ToUtf8Buffer<char16_t>(
    const char16_t**, const char16_t*, unsigned char**, unsigned char*,
    ConversionFlags);

}  // namespace velk

ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    unsigned char** targetStart,
                                    unsigned char* targetEnd,
                                    ConversionFlags flags) {
  return velk::Utf16ToUtf8Buffer(sourceStart, sourceEnd, targetStart,
                                 targetEnd, flags);
}

ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    std::string& target, unsigned long* count,
                                    ConversionFlags flags) {
  return velk::Utf16ToUtf8String(sourceStart, sourceEnd, target, count, flags);
}
