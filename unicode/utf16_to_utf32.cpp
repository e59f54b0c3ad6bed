// UTF-16 to UTF-32: the buffer form and the template that fills a string of
// UTF-32 characters (exported for wchar_t).
#include "unicode/convert_run.h"
#include "unicode/kernels_utf16_to_utf32.h"
#include "unicode/simd_runs.h"
#include "unicode/utf16_to_utf32_avx512.h"
#include "unicode/utf16_to_utf32_ssse3.h"
#include "unicode/utf_tables.h"

namespace velk {
namespace {

template <typename Out>
ConversionResult Utf16ToUtf32Core(Run<unsigned short, Out>& caller) {
  Run<unsigned short, Out> run = caller;
  const unsigned short* src = run.src;
  Out* dst = run.dst;
  ConversionResult stop = conversionOK;
  while (src < run.srcEnd) {
    if (*src < kSurHighStart) {
      const std::size_t n =
          CopyRun<kSurHighStart>(src, run.srcEnd, dst, run.dstEnd);
      if (n == 0) {
        stop = targetExhausted;
        break;
      }
      run.chars += n;
      continue;
    }
    // Groups of BMP characters and pairs while they last and one unit a
    // unit fits (with AVX-512 packed by a compress, with SSSE3 by
    // shuffles, else by stores in turn).
    std::size_t n = 0;
#if defined(VELK_UTF_SSE2)
    if (HasAvx512()) {
      n = RunUnitGroups(simd::Utf16ToUtf32Avx512<sizeof(Out)>, src,
                        SafeUnits(run.srcEnd - src, run.dstEnd - dst), dst);
    } else if (HasSsse3()) {
      n = RunUnitGroups(simd::Utf16ToUtf32Mixed<sizeof(Out)>, src,
                        SafeUnits(run.srcEnd - src, run.dstEnd - dst - 4), dst);
    }
#endif
    if (n == 0) {
      n = RunUnitGroups(simd::PairsToWide<sizeof(Out)>, src,
                        SafeUnits(run.srcEnd - src, run.dstEnd - dst), dst);
    }
    if (n != 0) {
      run.chars += n;
      continue;
    }
    // A block of characters that need no checks: no character writes more
    // units than it reads.
    const unsigned short* const start = src;
    const unsigned short* const blockEnd =
        src + SafeUnits(run.srcEnd - src, run.dstEnd - dst);
    while (src < blockEnd) {
      const unsigned long unit = *src;
      if (IsPlainBmp(unit)) {
        *dst++ = static_cast<Out>(unit);
        ++src;
      } else if (IsHighSurrogate(unit) && blockEnd - src >= 2 &&
                 IsLowSurrogate(src[1])) {
        *dst++ = static_cast<Out>(((unit - kSurHighStart) << 10) +
                                  (src[1] - kSurLowStart) + 0x10000);
        src += 2;
      } else {
        break;
      }
      ++run.chars;
    }
    if (src != start) continue;
    const unsigned short* const first = src;
    unsigned long ch;
    const ConversionResult problem = ReadUtf16(src, run.srcEnd, ch);
    if (problem == sourceExhausted) {
      stop = problem;
      break;
    }
    // U+FFFE and U+FFFF pass through; only lone surrogates are replaced.
    stop = run.Settle(
        problem, ch, problem == sourceUnpairedSurrogate ? kReplacementChar : ch,
        [&](unsigned long c) { return PutUnit(c, dst, run.dstEnd); });
    if (stop != conversionOK) {
      src = first;
      break;
    }
  }
  return run.Leave(caller, src, dst, stop);
}

}  // namespace
}  // namespace velk

ConversionResult ConvertUTF16toUTF32(const unsigned short** sourceStart,
                                     const unsigned short* sourceEnd,
                                     unsigned long** targetStart,
                                     unsigned long* targetEnd,
                                     ConversionFlags flags) {
  return velk::ConvertBuffer(&velk::Utf16ToUtf32Core<unsigned long>,
                             sourceStart, sourceEnd, targetStart, targetEnd,
                             flags);
}

// The string is lengthened by one character per source unit (the most the
// source can need), converted into in place and cut back to what was
// written.  *count is the string's whole length afterwards.
template <typename CharT, typename CountT>
unsigned int ConvertUTF16toUTF32(const unsigned short** sourceStart,
                                 const unsigned short* sourceEnd,
                                 std::basic_string<CharT>& target,
                                 CountT* count, ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const std::size_t units = velk::SourceUnits(*sourceStart, sourceEnd);
  if (units != 0) {
    const std::size_t old = target.size();
    target.resize(old + units);
    CharT* const room = &target[old];
    CharT* end = room;
    result = velk::ConvertBuffer(&velk::Utf16ToUtf32Core<CharT>, sourceStart,
                                 sourceEnd, &end, room + units, flags);
    target.resize(old + static_cast<std::size_t>(end - room));
  }
  *count = static_cast<CountT>(target.size());
  return result;
}

template unsigned int ConvertUTF16toUTF32<wchar_t, unsigned long>(
    const unsigned short**, const unsigned short*, std::basic_string<wchar_t>&,
    unsigned long*, ConversionFlags);
