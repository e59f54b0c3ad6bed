// zevUnicode: UTF-8 bytes to and from UTF-16 strings.  The pointer forms
// are lenient and work on a copy of the caller's pointer; the
// pointer-to-pointer forms are strict and move the caller's pointer to the
// first element not converted.
#include "unicode/utf16_to_utf8.h"
#include "velkconf/convert_utf.h"

namespace {

template <typename T>
ConversionResult ToUtf8(std::string& dst, const T** src, unsigned int& len,
                        ConversionFlags flags) {
  unsigned long count = 0;
  const ConversionResult result =
      velk::Utf16ToUtf8String(src, *src + len, dst, &count, flags);
  len = static_cast<unsigned int>(count);
  return result;
}

template <typename T>
ConversionResult FromUtf8(std::basic_string<T>& dst, const char** src,
                          unsigned int& len, ConversionFlags flags) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(*src);
  unsigned long count = 0;
  const ConversionResult result =
      ConvertUTF8toUTF16(&bytes, bytes + len, dst, &count, flags);
  *src = reinterpret_cast<const char*>(bytes);
  len = static_cast<unsigned int>(count);
  return result;
}

}  // namespace

template <typename T>
zevUnicode<T>::~zevUnicode() = default;

template <typename T>
ConversionResult zevUnicode<T>::WideToUTF8(std::string& dst, const T* src,
                                           unsigned int& len) {
  return ToUtf8(dst, &src, len, lenientConversion);
}

template <typename T>
ConversionResult zevUnicode<T>::UTF8ToWide(std::basic_string<T>& dst,
                                           const char* src, unsigned int& len) {
  return FromUtf8(dst, &src, len, lenientConversion);
}

template <typename T>
ConversionResult zevUnicode<T>::WideToUTF8(std::string& dst, const T** src,
                                           unsigned int& len) {
  return ToUtf8(dst, src, len, strictConversion);
}

template <typename T>
ConversionResult zevUnicode<T>::UTF8ToWide(std::basic_string<T>& dst,
                                           const char** src,
                                           unsigned int& len) {
  return FromUtf8(dst, src, len, strictConversion);
}

template class zevUnicode<unsigned short>;
