// UTF-8 to UTF-16 and UTF-32, and the UTF-8 validator.
#include "unicode/utf8_decode.h"

#include "unicode/convert_run.h"
#include "unicode/from_utf8_avx512.h"
#include "unicode/from_utf8_ssse3.h"
#include "unicode/kernels_from_utf8.h"
#include "unicode/simd_runs.h"
#include "unicode/utf_tables.h"

namespace velk {

namespace {

// Characters of one class in a row after which the block loop hands back
// to the runs.
constexpr int kStreak = 16;

// kUtf16: characters above U+FFFF become surrogate pairs (two units);
// otherwise every character is one UTF-32 unit.
template <bool kUtf16, typename Out>
ConversionResult Utf8Core(Run<unsigned char, Out>& caller) {
  Run<unsigned char, Out> run = caller;
  const unsigned char* src = run.src;
  const unsigned char* const end = run.srcEnd;
  Out* dst = run.dst;
  ConversionResult stop = conversionOK;
  while (src < end) {
    if (*src < 0x80) {
      const std::size_t n = CopyRun<0x80>(src, end, dst, run.dstEnd);
      if (n == 0) {
        stop = targetExhausted;
        break;
      }
      run.chars += n;
      continue;
    }
    // Groups of three-byte sequences while they last and one unit a byte
    // fits.  Then, with SSSE3, groups of any sequences; else groups of
    // sequences of up to two bytes.
    const std::ptrdiff_t bytes = SafeUnits(end - src, run.dstEnd - dst);
#if defined(VELK_UTF_SSE2)
    // With AVX-512, blocks of any characters first.
    if (HasAvx512()) {
      const auto wide = [&run](const unsigned char* s, std::size_t units,
                               unsigned char*& d) {
        return simd::Utf8ToUnitsAvx512<kUtf16, sizeof(Out)>(s, units, d,
                                                            run.chars);
      };
      if (RunGroups(wide, src, bytes, dst) != 0) continue;
    }
#endif
    std::size_t n = 0;
    if (*src >= 0xE0 && *src < 0xF0) {
      n = RunUnitGroups(simd::ThreeByte8ToWide<sizeof(Out)>, src, bytes, dst);
    }
#if defined(VELK_UTF_SSE2)
    if (n == 0 && HasSsse3()) {
      const auto mixed = [&run](const unsigned char* s, std::size_t units,
                                unsigned char*& d) {
        return simd::Utf8ToUnitsMixed<kUtf16, sizeof(Out)>(s, units, d,
                                                           run.chars);
      };
      if (RunGroups(mixed, src, SafeUnits(end - src, run.dstEnd - dst - 8),
                    dst) != 0)
        continue;
    }
#endif
    if (n == 0 && *src < 0xE0)
      n = RunUnitGroups(simd::TwoByte8ToUnits<Out>, src, bytes, dst);
    if (n != 0) {
      run.chars += n;
      continue;
    }
    // A block of well-formed sequences that need no checks.  No sequence
    // writes more units than it has bytes, so while three bytes of source
    // and room for three units are left beyond the sequence's lead, neither
    // end needs testing.  A streak of one- and two-byte sequences, or of
    // three-byte ones, goes back to the runs above.
    const unsigned char* const blockEnd =
        src + SafeUnits(end - src - 3, run.dstEnd - dst - 3);
    const unsigned char* const start = src;
    int below = 0, threes = 0;
    while (src < blockEnd) {
      const unsigned long lead = src[0];
      const unsigned long c1 = src[1] ^ 0x80, c2 = src[2] ^ 0x80,
                          c3 = src[3] ^ 0x80;
      if (lead < 0x80) {
        *dst++ = static_cast<Out>(lead);
        src += 1;
        ++below;
        threes = 0;
      } else if (lead >= 0xC2 && lead < 0xE0 && c1 < 0x40) {
        *dst++ = static_cast<Out>(((lead & 0x1F) << 6) | c1);
        src += 2;
        ++below;
        threes = 0;
      } else if ((lead & 0xF0) == 0xE0 && (c1 | c2) < 0x40) {
        const unsigned long ch = ((lead & 0x0F) << 12) | (c1 << 6) | c2;
        if (ch < 0x800 || !IsPlainBmp(ch)) break;
        *dst++ = static_cast<Out>(ch);
        src += 3;
        ++threes;
        below = 0;
      } else if ((lead & 0xF8) == 0xF0 && (c1 | c2 | c3) < 0x40) {
        const unsigned long ch =
            ((lead & 0x07) << 18) | (c1 << 12) | (c2 << 6) | c3;
        if (ch < 0x10000 || ch > kMaxUtf16) break;
        if (kUtf16) {
          dst[0] = static_cast<Out>(((ch - 0x10000) >> 10) + kSurHighStart);
          dst[1] = static_cast<Out>(((ch - 0x10000) & 0x3FF) + kSurLowStart);
          dst += 2;
        } else {
          *dst++ = static_cast<Out>(ch);
        }
        src += 4;
        below = threes = 0;
      } else {
        break;
      }
      ++run.chars;
      if (below == kStreak || threes == kStreak) break;
    }
    if (src != start) continue;
    const unsigned long lead = *src;
    const int extra = trailingBytesForUTF8[lead];
    // A lead that announces more bytes than remain ends the source, before
    // and whatever its bytes are.
    if (end - src <= extra) {
      stop = sourceExhausted;
      break;
    }
    const auto put = [&](unsigned long c) {
      return kUtf16 ? PutUtf16(c, dst, run.dstEnd)
                    : PutUnit(c, dst, run.dstEnd);
    };
    unsigned long ch;
    if (!DecodeUtf8(src, extra, ch)) {
      // One replacement for the lead and the continuation bytes after it
      // (at most as many as it announced); anything else starts afresh.
      stop = run.Settle(sourceIllegalSequence, 0, kReplacementChar, put);
      if (stop != conversionOK) break;
      const unsigned char* const last = src + extra;
      ++src;
      while (src <= last && (*src & 0xC0) == 0x80) ++src;
      continue;
    }
    // Room first: with none left, even a strict core stops for room.
    if (dst >= run.dstEnd) {
      stop = targetExhausted;
      break;
    }
    stop = run.Settle(IsNonCharacter(ch) ? sourceNonCharacter : conversionOK,
                      ch, kReplacementChar, put);
    if (stop != conversionOK) break;
    src += extra + 1;
  }
  return run.Leave(caller, src, dst, stop);
}

}  // namespace

template <typename String>
ConversionResult Utf8ToUtf16String(const unsigned char** sourceStart,
                                   const unsigned char* sourceEnd,
                                   String& target, unsigned long* count,
                                   ConversionFlags flags) {
  // One unit per source byte.
  return ConvertString(&Utf8Core<true, typename String::value_type>,
                       sourceStart, sourceEnd, target, count, flags,
                       SourceUnits(*sourceStart, sourceEnd));
}

template ConversionResult Utf8ToUtf16String<std::wstring>(const unsigned char**,
                                                          const unsigned char*,
                                                          std::wstring&,
                                                          unsigned long*,
                                                          ConversionFlags);

}  // namespace velk

ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    unsigned short** targetStart,
                                    unsigned short* targetEnd,
                                    ConversionFlags flags) {
  return velk::ConvertBuffer(&velk::Utf8Core<true, unsigned short>, sourceStart,
                             sourceEnd, targetStart, targetEnd, flags);
}

ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    std::basic_string<unsigned short>& target,
                                    unsigned long* count,
                                    ConversionFlags flags) {
  return velk::Utf8ToUtf16String(sourceStart, sourceEnd, target, count, flags);
}

ConversionResult ConvertUTF8toUTF32(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    unsigned long** targetStart,
                                    unsigned long* targetEnd,
                                    ConversionFlags flags) {
  return velk::ConvertBuffer(&velk::Utf8Core<false, unsigned long>, sourceStart,
                             sourceEnd, targetStart, targetEnd, flags);
}
