// UTF-16 to UTF-8: the one routine behind both exported forms of
// ConvertUTF16toUTF8 and the parser-string conversions.
#include "unicode/utf16_to_utf8.h"

#include "unicode/utf_tables.h"

namespace velk {

const unsigned char firstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0,
                                        0xF0, 0xF8, 0xFC};

namespace {

// Where the converted bytes go.  The buffer sink can run out of room; the
// string sink grows.
struct BufferSink {
  unsigned char* pos;
  unsigned char* end;
  static constexpr unsigned long kMax = 0x10FFFE;
  bool Fits(int length) const { return length <= end - pos; }
  void Put(unsigned long value, int length) {
    WriteUtf8(value, length, pos);
    pos += length;
  }
};

struct StringSink {
  std::string& out;
  unsigned long* count;
  static constexpr unsigned long kMax = 0x10FFFF;
  bool Fits(int) const { return true; }
  void Put(unsigned long value, int length) {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length));
    WriteUtf8(value, length, reinterpret_cast<unsigned char*>(&out[at]));
    ++*count;
  }
};

template <typename Unit, typename Sink>
ConversionResult Convert(const Unit** sourceStart, const Unit* sourceEnd,
                         Sink& sink, ConversionFlags flags) {
  const bool strict = flags == strictConversion;
  ConversionResult result = conversionOK;
  const Unit* src = *sourceStart;
  while (src < sourceEnd) {
    // Runs of ASCII need none of the checks below.
    if (*src < 0x80 && sink.Fits(1)) {
      sink.Put(static_cast<unsigned long>(*src++), 1);
      continue;
    }
    const Unit* const first = src;
    unsigned long ch = static_cast<unsigned long>(*src++);
    ConversionResult problem = conversionOK;
    if (IsHighSurrogate(ch)) {
      if (src >= sourceEnd) {  // the pair is cut off by the end of the source
        src = first;
        result = sourceExhausted;
        break;
      }
      const unsigned long ch2 = static_cast<unsigned long>(*src);
      if (IsLowSurrogate(ch2)) {
        ch = ((ch - kSurHighStart) << 10) + (ch2 - kSurLowStart) + 0x10000;
        ++src;
      } else {
        problem = sourceUnpairedSurrogate;
      }
    } else if (IsLowSurrogate(ch)) {
      problem = sourceUnpairedSurrogate;
    } else if (IsNonCharacter(ch)) {
      problem = sourceNonCharacter;
    }
    // Only a pair can exceed the maximum (U+10FFFF in the buffer form).
    if (problem == conversionOK && ch > Sink::kMax) problem = sourceIllegal;
    if (problem != conversionOK) {
      if (strict) {
        // An illegal pair leaves the position at its second unit.
        src = problem == sourceIllegal ? src - 1 : first;
        result = problem;
        break;
      }
      ch = kReplacementChar;
    }
    int length;
    if (ch < 0x80) {
      length = 1;
    } else if (ch < 0x800) {
      length = 2;
    } else if (ch < 0x10000) {
      length = 3;
    } else {
      length = 4;
    }
    if (!sink.Fits(length)) {
      src = first;
      result = targetExhausted;
      break;
    }
    sink.Put(ch, length);
    if (problem != conversionOK) result = problem;
  }
  *sourceStart = src;
  return result;
}

}  // namespace

template <typename Unit>
ConversionResult Utf16ToUtf8String(const Unit** sourceStart,
                                   const Unit* sourceEnd, std::string& target,
                                   unsigned long* count,
                                   ConversionFlags flags) {
  *count = 0;
  // One reservation: two bytes per source unit.
  target.reserve(target.size() +
                 2 * static_cast<std::size_t>(sourceEnd - *sourceStart));
  StringSink sink{target, count};
  return Convert(sourceStart, sourceEnd, sink, flags);
}

template <typename Unit>
ConversionResult Utf16ToUtf8Buffer(const Unit** sourceStart,
                                   const Unit* sourceEnd,
                                   unsigned char** targetStart,
                                   unsigned char* targetEnd,
                                   ConversionFlags flags) {
  BufferSink sink{*targetStart, targetEnd};
  const ConversionResult result =
      Convert(sourceStart, sourceEnd, sink, flags);
  *targetStart = sink.pos;
  return result;
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
