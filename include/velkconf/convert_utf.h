// Conversions among UTF-8, UTF-16 and UTF-32, exported by libvelkconf.
//
// Units: UTF-8 is unsigned char, UTF-16 is unsigned short, UTF-32 is
// unsigned long (values are taken as they come: on LP64 the type is wider
// than 32 bits and anything above 0x7FFFFFFF is simply illegal).
//
// Buffer forms convert [*sourceStart, sourceEnd) into [*targetStart,
// targetEnd) and leave both positions just past what they consumed and
// wrote.  String forms append to their string, set *count to 0 on entry and
// then count the characters appended.  strictConversion stops at the first
// bad character; any other flag value replaces it with U+FFFD, remembers
// the reason and goes on.
#ifndef VELKCONF_CONVERT_UTF_H_
#define VELKCONF_CONVERT_UTF_H_

#include <string>

enum ConversionFlags { strictConversion = 0, lenientConversion = 1 };

typedef unsigned int ConversionResult;

const ConversionResult conversionOK = 0x00000000u;
const ConversionResult targetExhausted = 0xC7210001u;
const ConversionResult sourceNonCharacter = 0xC7210014u;
const ConversionResult sourceOutOfRange = 0xC7210016u;
const ConversionResult sourceUnpairedSurrogate = 0xC7210017u;
const ConversionResult sourceIllegalSequence = 0xC7210019u;
const ConversionResult sourceExhausted = 0xC7210032u;
const ConversionResult sourceIllegal = 0xC7210034u;

// UTF-16 -> UTF-8.  Buffer form: maximum U+10FFFE.  String form: U+10FFFF.
ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    unsigned char** targetStart,
                                    unsigned char* targetEnd,
                                    ConversionFlags flags);
ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd,
                                    std::string& target, unsigned long* count,
                                    ConversionFlags flags);

// UTF-8 -> UTF-16.
ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    unsigned short** targetStart,
                                    unsigned short* targetEnd,
                                    ConversionFlags flags);
ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    std::basic_string<unsigned short>& target,
                                    unsigned long* count,
                                    ConversionFlags flags);

// UTF-8 -> UTF-32.
ConversionResult ConvertUTF8toUTF32(const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd,
                                    unsigned long** targetStart,
                                    unsigned long* targetEnd,
                                    ConversionFlags flags);

// UTF-16 -> UTF-32.  Lenient mode passes U+FFFE and U+FFFF through.
ConversionResult ConvertUTF16toUTF32(const unsigned short** sourceStart,
                                     const unsigned short* sourceEnd,
                                     unsigned long** targetStart,
                                     unsigned long* targetEnd,
                                     ConversionFlags flags);

// UTF-16 -> a string of CharT, one UTF-32 value per character.  *count
// receives the string's whole length afterwards.  The library exports the
// <wchar_t, unsigned long> instantiation.
template <typename CharT, typename CountT>
unsigned int ConvertUTF16toUTF32(const unsigned short** sourceStart,
                                 const unsigned short* sourceEnd,
                                 std::basic_string<CharT>& target,
                                 CountT* count, ConversionFlags flags);
extern template unsigned int ConvertUTF16toUTF32<wchar_t, unsigned long>(
    const unsigned short**, const unsigned short*, std::basic_string<wchar_t>&,
    unsigned long*, ConversionFlags);

// UTF-32 -> UTF-16.  Maximum U+10FFFF.
ConversionResult ConvertUTF32toUTF16(const unsigned long** sourceStart,
                                     const unsigned long* sourceEnd,
                                     unsigned short** targetStart,
                                     unsigned short* targetEnd,
                                     ConversionFlags flags);
ConversionResult ConvertUTF32toUTF16(const unsigned long** sourceStart,
                                     const unsigned long* sourceEnd,
                                     std::basic_string<unsigned short>& target,
                                     unsigned long* count,
                                     ConversionFlags flags);

// UTF-32 -> UTF-8.  Maximum 0x7FFFFFFF, with five- and six-byte sequences.
ConversionResult ConvertUTF32toUTF8(const unsigned long** sourceStart,
                                    const unsigned long* sourceEnd,
                                    unsigned char** targetStart,
                                    unsigned char* targetEnd,
                                    ConversionFlags flags);
ConversionResult ConvertUTF32toUTF8(const unsigned long** sourceStart,
                                    const unsigned long* sourceEnd,
                                    std::string& target, unsigned long* count,
                                    ConversionFlags flags);

// True when [source, sourceEnd) is a whole number of well-formed UTF-8
// sequences (an empty range is).
bool isLegalUTF8Sequence(const unsigned char* source,
                         const unsigned char* sourceEnd);

// A stateless converter between UTF-8 bytes and UTF-16 strings.  len is the
// number of source elements on entry and the number of characters appended
// on return.  The pointer forms are lenient and leave the caller's pointer
// alone; the pointer-to-pointer forms are strict and advance *src to the
// first element not converted.
template <typename T>
class zevUnicode {
 public:
  virtual ~zevUnicode();
  virtual ConversionResult WideToUTF8(std::string& dst, const T* src,
                                      unsigned int& len);
  virtual ConversionResult UTF8ToWide(std::basic_string<T>& dst,
                                      const char* src, unsigned int& len);
  virtual ConversionResult WideToUTF8(std::string& dst, const T** src,
                                      unsigned int& len);
  virtual ConversionResult UTF8ToWide(std::basic_string<T>& dst,
                                      const char** src, unsigned int& len);
};
extern template class zevUnicode<unsigned short>;

// Whole-string conversions.  None of them reports a failure: ill-formed
// input comes out as U+FFFD.
std::basic_string<unsigned short> MakeUtf16String(const wchar_t* s);
std::wstring MakeWideString(const unsigned short* s);
// A wide string that carries UTF-16 holds one UTF-16 unit per character.
void wstrTostr(const std::wstring& src, std::string& dst, bool append);
std::string wstrTostr(const std::wstring& src);
void strTowstr(const std::string& src, std::wstring& dst, bool append);
std::wstring strTowstr(const std::string& src);

// Conversions in the process's current LC_CTYPE locale (wcstombs,
// mbstowcs).  On failure the target is empty, or as it was when keep is
// true.
void strW2strA(std::wstring src, std::string& dst, bool keep);
std::string strW2strA(std::wstring src);
void strA2strW(std::string src, std::wstring& dst, bool keep);
std::wstring strA2strW(std::string src);

#endif  // VELKCONF_CONVERT_UTF_H_
